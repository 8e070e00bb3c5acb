#include "ui/CaptionFit.h"

#include <QFontInfo>
#include <QWidget>

namespace vantor::ui {

void CaptionFit::fit(QWidget& control) {
    QFont font = control.font();
    int size = QFontInfo(font).pixelSize();
    while (control.sizeHint().width() > control.width() && size > kSmallestPixelSize) {
        font.setPixelSize(--size);
        control.setFont(font);
    }
}

}  // namespace vantor::ui

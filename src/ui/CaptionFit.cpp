#include "ui/CaptionFit.h"

#include <QFontInfo>
#include <QWidget>
#include <algorithm>
#include <limits>

namespace vantor::ui {

void CaptionFit::fit(QWidget& control) {
    QFont font = control.font();
    int size = QFontInfo(font).pixelSize();
    while (control.sizeHint().width() > control.width() && size > kSmallestPixelSize) {
        font.setPixelSize(--size);
        control.setFont(font);
    }
}

void CaptionFit::fitTogether(std::initializer_list<QWidget*> controls) {
    int size = std::numeric_limits<int>::max();
    for (QWidget* control : controls) {
        fit(*control);
        size = std::min(size, QFontInfo(control->font()).pixelSize());
    }
    for (QWidget* control : controls) {
        QFont font = control->font();
        font.setPixelSize(size);
        control->setFont(font);
    }
}

}  // namespace vantor::ui

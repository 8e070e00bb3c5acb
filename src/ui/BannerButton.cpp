#include "ui/BannerButton.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

namespace vantor::ui {

BannerButton::BannerButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void BannerButton::setPixmap(const QPixmap& pixmap) {
    if (pixmap.cacheKey() == pixmap_.cacheKey()) {
        return;
    }
    pixmap_ = pixmap;
    update();
}

QSize BannerButton::sizeHint() const {
    return pixmap_.size();
}

void BannerButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = rect();
    const QPoint offset = isDown() ? QPoint(1, 1) : QPoint(0, 0);
    QRect target = pixmap_.rect();
    target.moveCenter(area.center() + offset);
    painter.fillRect(area, palette().color(QPalette::Button));
    painter.drawPixmap(target, pixmap_);
    // A raised edge, sunk while pressed, so that the band reads as a button.
    const QColor light = isDown() ? palette().color(QPalette::Dark) : QColor(Qt::white);
    const QColor dark = isDown() ? QColor(Qt::white) : palette().color(QPalette::Shadow);
    painter.setPen(light);
    painter.drawLine(area.topLeft(), area.topRight());
    painter.drawLine(area.topLeft(), area.bottomLeft());
    painter.setPen(dark);
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.topRight(), area.bottomRight());
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = area.adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

}  // namespace vantor::ui

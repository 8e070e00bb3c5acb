#include "ui/ProgramIcon.h"

#include <QPainter>
#include <QPainterPath>

#include "ui/BannerPainter.h"

namespace vantor::ui {

QPixmap ProgramIcon::pixmap(int size) {
    QPixmap image(size, size);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    // The device: a rounded box with a status light.
    painter.setPen(QPen(QColor(20, 40, 80), 1.5));
    painter.setBrush(BannerPainter::firstColour());
    painter.drawRoundedRect(QRectF(3, 4, 26, 16), 3, 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(120, 220, 90));
    painter.drawEllipse(QPointF(8, 12), 2.2, 2.2);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(13, 10.5, 12, 3));

    // The link down to the network.
    painter.setPen(QPen(QColor(20, 40, 80), 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(16, 20), QPointF(16, 27));
    painter.drawLine(QPointF(6, 27), QPointF(26, 27));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 40, 80));
    painter.drawEllipse(QPointF(6, 27), 2.5, 2.5);
    painter.drawEllipse(QPointF(26, 27), 2.5, 2.5);
    return image;
}

QIcon ProgramIcon::icon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64}) {
        icon.addPixmap(pixmap(size));
    }
    return icon;
}

}  // namespace vantor::ui

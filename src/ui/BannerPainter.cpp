#include "ui/BannerPainter.h"

#include <QFont>
#include <QPainter>

#include "console/ConsoleLimits.h"

namespace vantor::ui {

namespace {

const QColor kBlue(0, 96, 192);
const QColor kRed(255, 0, 0);
const QColor kGreen(64, 96, 0);
const QColor kText(255, 255, 255);
constexpr int kTextPixelSize = 14;

}  // namespace

QColor BannerPainter::firstColour() {
    return kBlue;
}

BannerPainter::Design BannerPainter::design(BannerPair pair) {
    switch (pair) {
        case BannerPair::AutoHint:
            return {QStringLiteral("Press, then release the Reset button on the back of your "
                                   "device"),
                    kRed};
        case BannerPair::ManualHint:
            return {QStringLiteral("Input MAC address and IP address then press \u201CSet\u201D"),
                    kRed};
        case BannerPair::PowerUpHint:
            return {QStringLiteral("Press and hold the Reset button on the back of your Device "
                                   "while powering up"),
                    kRed};
        case BannerPair::SetupButton:
            return {QStringLiteral("Press this button to setup your Device"), kGreen};
        case BannerPair::StatusButton:
            return {QStringLiteral("View Status of your System Update"), kGreen};
        case BannerPair::UpgradeButton:
            // After a firmware file upgrade the button opens the device's root page.
            return {QStringLiteral("Press this button to open your upgraded Device"), kGreen};
    }
    return {QString(), kRed};
}

QPixmap BannerPainter::paint(BannerPair pair, bool firstImage) {
    const Design look = design(pair);
    QPixmap image(kBannerImageWidth, kBannerImageHeight);
    image.fill(firstImage ? kBlue : look.second);
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(kTextPixelSize);
    font.setBold(true);
    // The longest instruction must fit the band; a narrower desktop font is left as it is.
    const int room = kBannerImageWidth - 8;
    for (int size = kTextPixelSize; size > 8; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).horizontalAdvance(look.text) <= room) {
            break;
        }
    }
    painter.setFont(font);
    painter.setPen(kText);
    painter.drawText(image.rect(), Qt::AlignCenter, look.text);
    return image;
}

}  // namespace vantor::ui

#include "ui/BannerImages.h"

#include "ui/BannerPainter.h"

namespace vantor::ui {

namespace {

std::size_t indexOf(BannerPair pair, bool firstImage) {
    return static_cast<std::size_t>(pair) * 2 + (firstImage ? 0 : 1);
}

}  // namespace

BannerImages::BannerImages() {
    for (std::size_t p = 0; p < kPairCount; ++p) {
        const auto pair = static_cast<BannerPair>(p);
        images_[indexOf(pair, true)] = BannerPainter::paint(pair, true);
        images_[indexOf(pair, false)] = BannerPainter::paint(pair, false);
    }
}

const QPixmap& BannerImages::image(BannerPair pair, bool firstImage) const {
    return images_.at(indexOf(pair, firstImage));
}

}  // namespace vantor::ui

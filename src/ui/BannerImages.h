#pragma once

#include <QPixmap>
#include <array>

#include "ports/BannerState.h"

namespace vantor::ui {

// The twelve banner images, drawn once when the window is built: the banner blinks twice a
// second for the whole life of the window and must not redraw text each time.
class BannerImages {
  public:
    BannerImages();
    const QPixmap& image(BannerPair pair, bool firstImage) const;

    static constexpr std::size_t kPairCount = 6;

  private:
    std::array<QPixmap, kPairCount * 2> images_;
};

}  // namespace vantor::ui

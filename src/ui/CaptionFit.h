#pragma once

class QWidget;

namespace vantor::ui {

// The layout's rectangles were measured for a narrow 8-point dialog font; the desktop's
// sans-serif is usually wider. A caption that would be cut off is drawn a pixel or two
// smaller instead, so that the window keeps its layout and every caption stays whole.
class CaptionFit {
  public:
    static void fit(QWidget& control);

    static constexpr int kSmallestPixelSize = 8;
};

}  // namespace vantor::ui

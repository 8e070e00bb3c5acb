#pragma once

#include <initializer_list>

class QWidget;

namespace vantor::ui {

// The layout's rectangles were measured for a narrow 8-point dialog font; the desktop's
// sans-serif is usually wider. A caption that would be cut off is drawn a pixel or two
// smaller instead, so that the window keeps its layout and every caption stays whole.
class CaptionFit {
  public:
    static void fit(QWidget& control);
    // Controls of one kind side by side (the mode radios) share one size: the largest at
    // which every caption of them fits, so that no caption stands out from its neighbours.
    static void fitTogether(std::initializer_list<QWidget*> controls);

    static constexpr int kSmallestPixelSize = 8;
};

}  // namespace vantor::ui

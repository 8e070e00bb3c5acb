#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace vantor::ui {

// A rectangle in dialog units: the window's layout is given in the units of an 8-point
// dialog font, so that it scales with the font rather than with the screen.
struct DuRect {
    int x;
    int y;
    int width;
    int height;
};

// Converts dialog units to pixels for the base units of an 8-point sans-serif font at 96 DPI
// (6 x 13 pixels): x * 6/4 and y * 13/8. Each number is converted on its own and rounded half
// up, as the dialog manager does, so that a 17-unit-high banner is 28 pixels high wherever it
// stands.
class DialogUnits {
  public:
    static int toPixelsX(int units);
    static int toPixelsY(int units);
    static QRect toPixels(const DuRect& rect);
    static QSize toPixels(int width, int height);

    // The desktop's sans-serif at the size of the dialog font these units stand for: 8 points
    // at 96 DPI, 11 pixels.
    static QFont font();
};

}  // namespace vantor::ui

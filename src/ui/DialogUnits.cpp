#include "ui/DialogUnits.h"

#include <QFontDatabase>

namespace vantor::ui {

namespace {

// Base units of the dialog font: a dialog unit is a quarter of the average character width
// and an eighth of the character height.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;
constexpr int kQuartersPerCharacter = 4;
constexpr int kEighthsPerCharacter = 8;
constexpr int kFontPixels = 11;

// units * numerator / denominator, rounded half away from zero.
int scale(int units, int numerator, int denominator) {
    const int product = units * numerator;
    const int half = denominator / 2;
    return product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
}

}  // namespace

int DialogUnits::toPixelsX(int units) {
    return scale(units, kBaseUnitX, kQuartersPerCharacter);
}

int DialogUnits::toPixelsY(int units) {
    return scale(units, kBaseUnitY, kEighthsPerCharacter);
}

QRect DialogUnits::toPixels(const DuRect& rect) {
    return {toPixelsX(rect.x), toPixelsY(rect.y), toPixelsX(rect.width), toPixelsY(rect.height)};
}

QSize DialogUnits::toPixels(int width, int height) {
    return {toPixelsX(width), toPixelsY(height)};
}

QFont DialogUnits::font() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(kFontPixels);
    return font;
}

}  // namespace vantor::ui

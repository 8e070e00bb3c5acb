#include "ui/ConsoleRadioButton.h"

namespace vantor::ui {

ConsoleRadioButton::ConsoleRadioButton(const QString& text, QWidget* parent)
    : QRadioButton(text, parent) {
    // The console unchecks the others; Qt's own group logic would do it before the console
    // had a say.
    setAutoExclusive(false);
}

}  // namespace vantor::ui

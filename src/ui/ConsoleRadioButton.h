#pragma once

#include <QRadioButton>

namespace vantor::ui {

// A mode radio whose check mark only the console sets. A click is reported and nothing more:
// the console decides whether the mode may change and then checks the radio of the mode it
// is in, so the window never shows a mode that the console refused.
class ConsoleRadioButton final : public QRadioButton {
    Q_OBJECT

  public:
    ConsoleRadioButton(const QString& text, QWidget* parent);

  protected:
    void nextCheckState() override {}
};

}  // namespace vantor::ui

#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

namespace vantor::ui {

// The modal box that the window's "About" entry opens: the program icon, the version, the
// recovery kit in use (a few words, see OperatorConsole::recoveryKitDescription) and OK.
class AboutBox final : public QDialog {
    Q_OBJECT

  public:
    explicit AboutBox(const std::string& recoveryKit, QWidget* parent = nullptr);

    QLabel* textLabel() const { return text_; }
    QLabel* kitLabel() const { return kit_; }
    QPushButton* okButton() const { return ok_; }

  private:
    QLabel* text_;
    QLabel* kit_;
    QPushButton* ok_;
};

}  // namespace vantor::ui

#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace vantor::ui {

// The modal box that the window's "About" entry opens: the program icon, the version and OK.
class AboutBox final : public QDialog {
    Q_OBJECT

  public:
    explicit AboutBox(QWidget* parent = nullptr);

    QLabel* textLabel() const { return text_; }
    QPushButton* okButton() const { return ok_; }

  private:
    QLabel* text_;
    QPushButton* ok_;
};

}  // namespace vantor::ui

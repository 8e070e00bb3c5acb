#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace vantor {

class OperatorConsole;

namespace ui {

// "Upgrade several devices...": the operator pastes or loads a list of addresses, chooses how
// many devices go at once and starts; the table shows each device's state, progress and
// result while the batch runs, and "Save results..." writes them as CSV. The archive, the
// password and the one-page choice are the firmware file mode's own fields.
class BatchUpgradeDialog final : public QDialog {
    Q_OBJECT

  public:
    BatchUpgradeDialog(OperatorConsole& console, QWidget* parent);

    // The results as CSV: a header line, then one line per device.
    static QString resultsCsv(const QTableWidget& table);

  protected:
    // Escape and the close button stop a running batch first; the dialog stays until its
    // sessions have ended.
    void reject() override;

  private:
    void onLoad();
    void onStart();
    void onSave();
    void refresh();
    bool running() const;

    OperatorConsole& console_;
    QPlainTextEdit* addresses_ = nullptr;
    QSpinBox* parallel_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* save_ = nullptr;
    QTableWidget* table_ = nullptr;
    QTimer* poll_ = nullptr;
    bool started_ = false;
};

}  // namespace ui
}  // namespace vantor

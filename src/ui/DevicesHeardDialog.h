#pragma once

#include <QDialog>
#include <cstdint>
#include <vector>

#include "ports/HeardDevices.h"

class QTableWidget;
class QTimer;

namespace vantor {

class OperatorConsole;

namespace ui {

// "Devices heard": every device that announced itself in Auto this session, refreshed while
// the dialog is open. A double click opens the device's page; the table's context menu makes
// a device the current one or copies its row; "Save list..." writes the list as CSV. What a
// click does is the console's to decide.
class DevicesHeardDialog final : public QDialog {
    Q_OBJECT

  public:
    enum Column { kMac, kAddress, kName, kInterface, kState, kFirstHeard, kLastHeard, kColumns };

    DevicesHeardDialog(OperatorConsole& console, QWidget* parent);

    QTableWidget* table() const { return table_; }
    // Reads the list again when it changed since the last look.
    void refresh();
    // The actions of the table's context menu, on the given row.
    void makeCurrent(int row);
    void copyRow(int row) const;
    // A row's cells joined by tabs, as "Copy row" puts them on the clipboard.
    QString rowText(int row) const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void onContextMenu(const QPoint& at);
    void openPage(int row);

    OperatorConsole& console_;
    QTableWidget* table_ = nullptr;
    QTimer* poll_ = nullptr;
    std::vector<MacOctets> macs_;  // of the table's rows, in order
    std::uint64_t shownRevision_ = 0;
    bool shownOnce_ = false;
};

}  // namespace ui
}  // namespace vantor

#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace vantor::ui {

// The PC's routing table, as the "Routing table detail" button shows it: the listing's
// tab-separated columns padded to a common width in a fixed-pitch font, so that every value
// stands under its heading, in a read-only text the operator can select and copy.
class RoutingTableDialog final : public QDialog {
    Q_OBJECT

  public:
    explicit RoutingTableDialog(const QString& listing, QWidget* parent = nullptr);

    QPlainTextEdit* textView() const { return text_; }

    // Pads the cells of every line that holds tabs to the widest cell of their column, with
    // two blanks between columns; lines without tabs are left as they are. Widths count
    // characters, which a fixed-pitch font draws alike.
    static QString alignColumns(const QString& listing);

  private:
    QPlainTextEdit* text_;
};

}  // namespace vantor::ui

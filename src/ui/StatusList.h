#pragma once

#include <QListWidget>
#include <string>

namespace vantor::ui {

// The status log's list: white on black, both scroll bars always there, one row per appended
// text. A row keeps the text exactly as it was appended; the line breaks inside it (most rows
// end in CR LF, some begin with one) are not drawn, so a row never spills onto two lines and
// the row "\r\n" shows as an empty separator.
class StatusList final : public QListWidget {
    Q_OBJECT

  public:
    explicit StatusList(QWidget* parent = nullptr);

    void appendRow(const std::string& text);
    void removeOldestRows(std::size_t count);

    // The text of a row as it was appended.
    std::string rowText(int row) const;
    static QString shownText(const std::string& text);

    static constexpr int kTextRole = Qt::UserRole;
};

}  // namespace vantor::ui

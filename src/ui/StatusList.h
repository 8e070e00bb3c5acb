#pragma once

#include <QListWidget>
#include <functional>
#include <optional>
#include <string>

namespace vantor::ui {

// The status log's list: white on black, both scroll bars always there, one row per appended
// text. A row keeps the text exactly as it was appended; the line breaks inside it (most rows
// end in CR LF, some begin with one) are not drawn, so a row never spills onto two lines and
// the row "\r\n" shows as an empty separator. Its context menu copies the selected rows and
// saves the log to a file the installer can send.
class StatusList final : public QListWidget {
    Q_OBJECT

  public:
    explicit StatusList(QWidget* parent = nullptr);

    void appendRow(const std::string& text);
    void removeOldestRows(std::size_t count);

    // The text of a row as it was appended.
    std::string rowText(int row) const;
    static QString shownText(const std::string& text);

    // Writes the whole log to a file: the reason when that failed.
    using LogSaver = std::function<std::optional<std::string>(const std::string& destination)>;
    // What "Save log as..." saves: the log file with every row; without one, the rows shown.
    void setLogSaver(LogSaver saver) { logSaver_ = std::move(saver); }

    // The context menu's entries.
    void copySelectedRows() const;  // to the clipboard, one line a row, in list order
    std::optional<std::string> saveLog(const QString& destination) const;
    QAction* copyAction() const { return copyAction_; }
    QAction* saveLogAction() const { return saveLogAction_; }

    static constexpr int kTextRole = Qt::UserRole;

  private:
    void saveLogAs();

    LogSaver logSaver_;
    QAction* copyAction_ = nullptr;
    QAction* saveLogAction_ = nullptr;
};

}  // namespace vantor::ui

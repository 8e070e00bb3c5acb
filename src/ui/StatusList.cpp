#include "ui/StatusList.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMessageBox>
#include <algorithm>
#include <memory>

#include "ui/TextConversion.h"

namespace vantor::ui {

namespace {

constexpr int kFontPixelSize = 10;

}  // namespace

StatusList::StatusList(QWidget* parent) : QListWidget(parent) {
    QPalette colours = palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Base, Qt::black);
        colours.setColor(group, QPalette::Text, Qt::white);
    }
    setPalette(colours);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(kFontPixelSize);
    setFont(font);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Rows are selected to be copied: a range with Shift, single rows with Ctrl.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Every row is measured (uniform item sizes would give them all the first row's width):
    // the horizontal scroll range reaches the end of the longest row, and no row is cut short.
    setUniformItemSizes(false);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);

    // A menu of its own: the window's entries are on its background, around the list.
    setContextMenuPolicy(Qt::ActionsContextMenu);
    copyAction_ = new QAction(QStringLiteral("Copy"), this);
    copyAction_->setShortcut(QKeySequence::Copy);
    copyAction_->setShortcutContext(Qt::WidgetShortcut);
    addAction(copyAction_);
    saveLogAction_ = new QAction(QStringLiteral("Save log as..."), this);
    addAction(saveLogAction_);
    connect(copyAction_, &QAction::triggered, this, [this] { copySelectedRows(); });
    connect(saveLogAction_, &QAction::triggered, this, [this] { saveLogAs(); });
}

void StatusList::copySelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());  // selected in any order, copied in the list's
    QStringList lines;
    for (int row : rows) {
        lines.push_back(item(row)->text());
    }
    if (!lines.isEmpty()) {
        QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }
}

std::optional<std::string> StatusList::saveLog(const QString& destination) const {
    if (logSaver_) {
        return logSaver_(toStdString(destination));
    }
    QFile file(destination);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        return toStdString(file.errorString());
    }
    for (int row = 0; row < count(); ++row) {
        file.write(item(row)->text().toUtf8() + '\n');
    }
    if (!file.flush()) {
        return toStdString(file.errorString());
    }
    return std::nullopt;
}

void StatusList::saveLogAs() {
    const QString destination = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save log as"), QStringLiteral("vantor.log"),
        QStringLiteral("Log files (*.log);;All files (*)"));
    if (destination.isEmpty()) {
        return;  // cancelled
    }
    if (const auto problem = saveLog(destination)) {
        QMessageBox::warning(this, QStringLiteral("Save log as"),
                             QStringLiteral("The log could not be saved to %1: %2")
                                 .arg(destination, toQString(*problem)));
    }
}

QString StatusList::shownText(const std::string& text) {
    QString shown = toQString(text);
    shown.remove(QLatin1Char('\r'));
    shown.remove(QLatin1Char('\n'));
    return shown;
}

void StatusList::appendRow(const std::string& text) {
    auto item = std::make_unique<QListWidgetItem>(shownText(text));
    item->setData(kTextRole, toQString(text));
    addItem(item.release());  // the list owns its items
    scrollToBottom();
}

void StatusList::removeOldestRows(std::size_t count) {
    const bool wasUpdating = updatesEnabled();
    setUpdatesEnabled(false);
    for (std::size_t i = 0; i<count&& this->count()> 0; ++i) {
        const std::unique_ptr<QListWidgetItem> oldest(takeItem(0));
    }
    setUpdatesEnabled(wasUpdating);
    scrollToBottom();
}

std::string StatusList::rowText(int row) const {
    const QListWidgetItem* found = item(row);
    return found != nullptr ? toStdString(found->data(kTextRole).toString()) : std::string();
}

}  // namespace vantor::ui

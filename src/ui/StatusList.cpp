#include "ui/StatusList.h"

#include <QFontDatabase>
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
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Every row is measured (uniform item sizes would give them all the first row's width):
    // the horizontal scroll range reaches the end of the longest row, and no row is cut short.
    setUniformItemSizes(false);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
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

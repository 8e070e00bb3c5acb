#include "ui/DevicesHeardDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>

#include "console/OperatorConsole.h"
#include "ui/TextConversion.h"

namespace vantor::ui {

namespace {

constexpr int kRefreshMs = 500;  // the table follows the listeners this often
constexpr int kWidth = 860;
constexpr int kHeight = 360;

QString timeText(std::chrono::system_clock::time_point at) {
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(millis).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

DevicesHeardDialog::DevicesHeardDialog(OperatorConsole& console, QWidget* parent)
    : QDialog(parent), console_(console) {
    setWindowTitle(QStringLiteral("Devices heard"));
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(0, kColumns, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("MAC"), QStringLiteral("Address"),
                                       QStringLiteral("Name"), QStringLiteral("Interface"),
                                       QStringLiteral("State"), QStringLiteral("First heard"),
                                       QStringLiteral("Last heard")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    table_->setWordWrap(false);
    // Every column as wide as its longest cell; the name takes what is left.
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Stretch);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(table_);

    auto* bottom = new QHBoxLayout;
    auto* save = new QPushButton(QStringLiteral("Save list..."), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    bottom->addWidget(save);
    bottom->addStretch();
    bottom->addWidget(close);
    layout->addLayout(bottom);
    resize(kWidth, kHeight);

    poll_ = new QTimer(this);
    poll_->setInterval(kRefreshMs);
    connect(poll_, &QTimer::timeout, this, &DevicesHeardDialog::refresh);
    connect(this, &QDialog::finished, poll_, &QTimer::stop);
    connect(table_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { openPage(row); });
    connect(table_, &QWidget::customContextMenuRequested, this, &DevicesHeardDialog::onContextMenu);
    connect(save, &QPushButton::clicked, this, [this] { console_.OnSaveHeardDevices(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void DevicesHeardDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    refresh();
    poll_->start();
}

void DevicesHeardDialog::refresh() {
    const std::uint64_t revision = console_.heardRevision();
    if (shownOnce_ && revision == shownRevision_) {
        return;
    }
    shownOnce_ = true;
    shownRevision_ = revision;
    const std::vector<HeardDevice> devices = console_.heardDevices();
    table_->setRowCount(static_cast<int>(devices.size()));
    macs_.clear();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const HeardDevice& device = devices[i];
        macs_.push_back(device.mac);
        const QString cells[kColumns] = {toQString(macText(device.mac)),
                                         toQString(ipv4Text(device.address)),
                                         toQString(device.name),
                                         toQString(device.interfaceAddress),
                                         toQString(std::string(heardStateName(device.state))),
                                         timeText(device.firstHeard),
                                         timeText(device.lastHeard)};
        const int row = static_cast<int>(i);
        for (int column = 0; column < kColumns; ++column) {
            if (table_->item(row, column) == nullptr) {
                table_->setItem(row, column, new QTableWidgetItem);
            }
            table_->item(row, column)->setText(cells[column]);
        }
    }
}

void DevicesHeardDialog::makeCurrent(int row) {
    if (row >= 0 && row < static_cast<int>(macs_.size())) {
        console_.OnMakeCurrent(macs_[static_cast<std::size_t>(row)]);
    }
}

void DevicesHeardDialog::openPage(int row) {
    if (row >= 0 && row < static_cast<int>(macs_.size())) {
        console_.OnOpenDevicePage(macs_[static_cast<std::size_t>(row)]);
    }
}

QString DevicesHeardDialog::rowText(int row) const {
    QStringList cells;
    for (int column = 0; column < kColumns; ++column) {
        const QTableWidgetItem* item = table_->item(row, column);
        cells << (item != nullptr ? item->text() : QString());
    }
    return cells.join(QLatin1Char('\t'));
}

void DevicesHeardDialog::copyRow(int row) const {
    if (row >= 0 && row < table_->rowCount()) {
        QApplication::clipboard()->setText(rowText(row));
    }
}

void DevicesHeardDialog::onContextMenu(const QPoint& at) {
    const int row = table_->rowAt(at.y());
    if (row < 0) {
        return;
    }
    QMenu menu(this);
    QAction* current = menu.addAction(QStringLiteral("Make current"));
    // The current device is Auto's; elsewhere the fields are the operator's.
    current->setEnabled(console_.mode() == ConsoleMode::Auto);
    QAction* copy = menu.addAction(QStringLiteral("Copy row"));
    QAction* chosen = menu.exec(table_->viewport()->mapToGlobal(at));
    if (chosen == current) {
        makeCurrent(row);
    } else if (chosen == copy) {
        copyRow(row);
    }
}

}  // namespace vantor::ui

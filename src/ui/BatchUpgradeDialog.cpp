#include "ui/BatchUpgradeDialog.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextStream>
#include <QTimer>
#include <QVBoxLayout>

#include "console/BatchAddressList.h"
#include "console/OperatorConsole.h"
#include "ui/TextConversion.h"

namespace vantor::ui {

namespace {

constexpr int kRefreshMs = 200;         // the table follows the sessions this often
constexpr qint64 kListLimit = 1 << 20;  // an address list is small; a larger file is not one
enum Column { kAddress, kState, kProgress, kResult, kTime, kColumns };

QString seconds(std::chrono::milliseconds duration) {
    return QString::number(static_cast<double>(duration.count()) / 1000.0, 'f', 1);
}

// A CSV field, quoted when it must be (RFC 4180).
QString csvField(QString text) {
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
        text.contains(QLatin1Char('\n'))) {
        text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        return QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

}  // namespace

BatchUpgradeDialog::BatchUpgradeDialog(OperatorConsole& console, QWidget* parent)
    : QDialog(parent), console_(console) {
    setWindowTitle(QStringLiteral("Upgrade several devices"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Device addresses, one a line (# starts a comment):"), this));
    addresses_ = new QPlainTextEdit(this);
    addresses_->setMaximumHeight(120);
    layout->addWidget(addresses_);

    auto* controls = new QHBoxLayout;
    auto* load = new QPushButton(QStringLiteral("Load..."), this);
    controls->addWidget(load);
    controls->addWidget(new QLabel(QStringLiteral("At once:"), this));
    parallel_ = new QSpinBox(this);
    parallel_->setRange(1, kBatchMaxParallel);
    parallel_->setValue(kBatchDefaultParallel);
    controls->addWidget(parallel_);
    controls->addStretch();
    start_ = new QPushButton(QStringLiteral("Start"), this);
    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    stop_->setEnabled(false);
    controls->addWidget(start_);
    controls->addWidget(stop_);
    layout->addLayout(controls);

    table_ = new QTableWidget(0, kColumns, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("Device"), QStringLiteral("State"),
                                       QStringLiteral("Progress"), QStringLiteral("Result"),
                                       QStringLiteral("Time (s)")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(kResult, QHeaderView::Stretch);
    layout->addWidget(table_);

    auto* bottom = new QHBoxLayout;
    save_ = new QPushButton(QStringLiteral("Save results..."), this);
    save_->setEnabled(false);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    bottom->addWidget(save_);
    bottom->addStretch();
    bottom->addWidget(close);
    layout->addLayout(bottom);
    resize(640, 480);

    poll_ = new QTimer(this);
    poll_->setInterval(kRefreshMs);
    connect(poll_, &QTimer::timeout, this, &BatchUpgradeDialog::refresh);
    connect(load, &QPushButton::clicked, this, &BatchUpgradeDialog::onLoad);
    connect(start_, &QPushButton::clicked, this, &BatchUpgradeDialog::onStart);
    connect(stop_, &QPushButton::clicked, this, [this] { console_.OnStopUpgrade(); });
    connect(save_, &QPushButton::clicked, this, &BatchUpgradeDialog::onSave);
    connect(close, &QPushButton::clicked, this, &BatchUpgradeDialog::reject);
}

bool BatchUpgradeDialog::running() const {
    const BatchUpgrader* batch = console_.upgradeBatch();
    return batch != nullptr && batch->batchActive();
}

void BatchUpgradeDialog::reject() {
    if (running()) {
        console_.OnStopUpgrade();
        return;  // closed by the operator again once the sessions have ended
    }
    QDialog::reject();
}

void BatchUpgradeDialog::onLoad() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Load addresses"));
    if (path.isEmpty()) {
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kListLimit) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("Cannot read ") + path);
        return;
    }
    addresses_->setPlainText(QString::fromUtf8(file.readAll()));
}

void BatchUpgradeDialog::onStart() {
    BatchUpgrader* batch = console_.upgradeBatch();
    if (batch == nullptr || running()) {
        return;
    }
    const BatchAddressList list = BatchAddressList::parse(toStdString(addresses_->toPlainText()));
    if (!list.error.empty()) {
        QMessageBox::warning(this, windowTitle(), toQString(list.error));
        return;
    }
    BatchRequest request;
    request.addresses = list.addresses;
    request.archivePath = console_.panel().text(ControlId::FirmwarePath);
    request.setPassword = console_.panel().text(ControlId::PasswordEdit);
    request.onePagePerPacket = console_.panel().checked(ControlId::OnePageCheck);
    request.parallel = parallel_->value();
    if (request.archivePath.empty()) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("Error! Firmware file is not entered."));
        return;
    }
    if (request.setPassword.empty()) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("Error! Password is not entered."));
        return;
    }
    if (!batch->startBatch(request)) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The batch did not start: see the status log."));
        return;
    }
    started_ = true;
    table_->setRowCount(static_cast<int>(request.addresses.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        for (int column = 0; column < kColumns; ++column) {
            if (column != kProgress) {
                table_->setItem(row, column, new QTableWidgetItem);
            }
        }
        auto* bar = new QProgressBar(table_);
        bar->setRange(0, 100);
        bar->setValue(0);
        table_->setCellWidget(row, kProgress, bar);
    }
    refresh();
    poll_->start();
}

void BatchUpgradeDialog::refresh() {
    const BatchUpgrader* batch = console_.upgradeBatch();
    const bool active = running();
    start_->setEnabled(!active && batch != nullptr);
    stop_->setEnabled(active);
    addresses_->setReadOnly(active);
    parallel_->setEnabled(!active);
    save_->setEnabled(!active && started_);
    if (batch == nullptr || !started_) {
        poll_->stop();
        return;
    }
    const std::vector<BatchDeviceStatus> devices = batch->batchStatus();
    for (int row = 0; row < table_->rowCount() && row < static_cast<int>(devices.size()); ++row) {
        const BatchDeviceStatus& device = devices[static_cast<std::size_t>(row)];
        table_->item(row, kAddress)->setText(toQString(device.address));
        table_->item(row, kState)->setText(QString::fromLatin1(batchStateName(device.state)));
        table_->item(row, kResult)->setText(toQString(device.result));
        table_->item(row, kTime)->setText(seconds(device.duration));
        auto* bar = static_cast<QProgressBar*>(table_->cellWidget(row, kProgress));
        const int percent =
            device.state == BatchDeviceState::Completed
                ? 100
                : (device.total > 0 ? static_cast<int>(device.done * 100 / device.total) : 0);
        bar->setValue(percent);
        bar->setFormat(device.region.empty() ? QStringLiteral("%p%")
                                             : toQString(device.region) + QStringLiteral(" %p%"));
    }
    if (!active) {
        poll_->stop();
    }
}

QString BatchUpgradeDialog::resultsCsv(const QTableWidget& table) {
    QString csv = QStringLiteral("address,state,result,seconds\n");
    for (int row = 0; row < table.rowCount(); ++row) {
        QStringList fields;
        for (const int column : {kAddress, kState, kResult, kTime}) {
            const QTableWidgetItem* item = table.item(row, column);
            fields << csvField(item != nullptr ? item->text() : QString());
        }
        csv += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return csv;
}

void BatchUpgradeDialog::onSave() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save results"),
                                                      QStringLiteral("upgrade-results.csv"),
                                                      QStringLiteral("CSV File (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("Cannot write ") + path);
        return;
    }
    QTextStream(&file) << resultsCsv(*table_);
}

}  // namespace vantor::ui

#include "ui/MainWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>

#include "base/Product.h"
#include "console/AddressFields.h"
#include "console/CloseRequestWatch.h"
#include "console/ConsoleLimits.h"
#include "console/OperatorConsole.h"
#include "ui/AboutBox.h"
#include "ui/BannerButton.h"
#include "ui/BatchUpgradeDialog.h"
#include "ui/CaptionFit.h"
#include "ui/ConsoleRadioButton.h"
#include "ui/ControlInputFilter.h"
#include "ui/DevicesHeardDialog.h"
#include "ui/DialogUnits.h"
#include "ui/FileFilter.h"
#include "ui/ProgramIcon.h"
#include "ui/RoutingTableDialog.h"
#include "ui/StatusList.h"
#include "ui/TextConversion.h"
#include "ui/TransferProgressBar.h"
#include "ui/WindowLayout.h"

namespace vantor::ui {

namespace {

constexpr int kNoticeLeftMargin = 5;
// QLineEdit's own ceiling stands for "no limit".
constexpr int kUnlimitedText = 32767;
// The shell-style result of a page the desktop opened.
constexpr int kOpenedResult = kShellSuccessThreshold + 1;

const char* const kMessageTitle = "Vantor";
const char* const kFirmwareFileEntry = "Firmware file upgrade...";
const char* const kBatchUpgradeEntry = "Upgrade several devices...";
const char* const kRecoveryKitEntry = "Recovery kit folder...";
const char* const kDevicesHeardEntry = "Devices heard...";
const char* const kRecoveryKitTitle = "Recovery kit folder";
const char* const kKitNotRemembered =
    "%1 could not be written: the recovery kit folder chosen "
    "is not remembered and not used.";
const char* const kModeTip =
    "Right-click the window for more: firmware file upgrade (Ctrl+Shift+F) and About Vantor.";

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

MainWindow::MainWindow(OperatorConsole& console, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      console_(console),
      inputFilter_(new ControlInputFilter(this)) {
    setWindowTitle(toQString(kWindowTitle));
    setWindowIcon(ProgramIcon::icon());
    setFont(DialogUnits::font());
    setFixedSize(DialogUnits::toPixels(layout::kWindowWidth, layout::kWindowHeight));

    // Frames first, so that the controls inside them lie above them.
    buildFrames();
    buildControls();
    buildMenu();
    connectInput();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildFrames() {
    for (std::size_t i = 0; i < layout::kFrames.size(); ++i) {
        const layout::Frame& frame = layout::kFrames[i];
        auto* box = new QGroupBox(QString::fromLatin1(frame.caption), this);
        box->setGeometry(DialogUnits::toPixels(frame.rect));
        box->setFocusPolicy(Qt::NoFocus);
        if (box->title() == QLatin1String("Mode")) {
            box->setToolTip(QString::fromLatin1(kModeTip));
        }
        if (i == layout::kUpperFrame) {
            upperFrame_ = box;
        } else if (i == layout::kStatusFrame) {
            statusFrame_ = box;
        }
    }
}

template <typename Widget>
Widget* MainWindow::place(Widget* widget, ControlId id) {
    widget->setGeometry(DialogUnits::toPixels(layout::controlRect(id)));
    widget->setObjectName(toQString(controlName(id)));
    controls_[id] = widget;
    inputFilter_->watch(widget, id);
    return widget;
}

void MainWindow::buildControls() {
    // Created in the order the Tab key walks them.
    bannerPicture_ = place(new QLabel(this), ControlId::BannerPicture);
    bannerPicture_->setAlignment(Qt::AlignCenter);
    bannerPicture_->setPixmap(banners_.image(BannerPair::AutoHint, true));
    bannerButton_ = place(new BannerButton(this), ControlId::BannerButton);
    bannerButton_->setPixmap(banners_.image(BannerPair::SetupButton, true));
    bannerButton_->hide();

    place(new ConsoleRadioButton(QStringLiteral("Automatically Get MAC"), this),
          ControlId::RadioAuto);
    place(new ConsoleRadioButton(QStringLiteral("Manually Enter MAC"), this),
          ControlId::RadioManual);
    place(new ConsoleRadioButton(QStringLiteral("Firmware Upgrade"), this),
          ControlId::RadioRecovery);
    place(new ConsoleRadioButton(QStringLiteral("Firmware Upgrade"), this),
          ControlId::RadioFirmwareFile)
        ->hide();

    for (std::size_t i = 0; i < kMacControls.size(); ++i) {
        auto* field = place(new QLineEdit(this), kMacControls[i]);
        field->setAlignment(Qt::AlignCenter);
        field->setReadOnly(true);
        if (i < layout::kMacDashes.size()) {
            auto* dash = new QLabel(QStringLiteral("-"), this);
            dash->setAlignment(Qt::AlignCenter);
            dash->setGeometry(DialogUnits::toPixels(layout::kMacDashes[i]));
        }
    }
    for (std::size_t i = 0; i < kIpControls.size(); ++i) {
        auto* field = place(new QLineEdit(this), kIpControls[i]);
        field->setAlignment(Qt::AlignCenter);
        field->setReadOnly(true);
        if (i < layout::kIpDots.size()) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            dot->setGeometry(DialogUnits::toPixels(layout::kIpDots[i]));
        }
    }
    auto* set = place(new QPushButton(QStringLiteral("Set"), this), ControlId::SetButton);
    set->setDefault(true);
    set->setEnabled(false);
    auto* clear = place(
        new QCheckBox(QStringLiteral("Clear MAC and IP Address  when setting  complete"), this),
        ControlId::ClearCheck);
    clear->setEnabled(false);

    place(new QLabel(QStringLiteral("Password"), this), ControlId::PasswordLabel)->hide();
    place(new QLabel(QStringLiteral("Enter firmware file (.zip)"), this), ControlId::FirmwareLabel)
        ->hide();
    auto* password = place(new QLineEdit(this), ControlId::PasswordEdit);
    password->setEchoMode(QLineEdit::Password);
    password->hide();
    place(new QLineEdit(this), ControlId::FirmwarePath)->hide();
    place(new QPushButton(QStringLiteral("Browse"), this), ControlId::BrowseButton)->hide();
    place(new QPushButton(QStringLiteral("Update"), this), ControlId::UpdateButton)->hide();
    place(new QCheckBox(QStringLiteral("Send 1 page per package."), this), ControlId::OnePageCheck)
        ->hide();
    // The full name is the context menu's entry and the button's tooltip; the button has room
    // for a short caption only.
    batchButton_ = new QPushButton(QStringLiteral("Several..."), this);
    batchButton_->setToolTip(QString::fromLatin1(kBatchUpgradeEntry));
    batchButton_->setGeometry(DialogUnits::toPixels(layout::kBatchUpgradeButton));
    batchButton_->hide();

    statusList_ = place(new StatusList(this), ControlId::StatusList);
    place(new QPushButton(QStringLiteral("Routing table detail"), this), ControlId::RoutingButton);
    place(new QPushButton(QStringLiteral("Exit Vantor"), this), ControlId::ExitButton);
    place(new QCheckBox(QStringLiteral("Take every device"), this), ControlId::EveryDeviceCheck);
    devicesButton_ = new QPushButton(QString::fromLatin1(kDevicesHeardEntry), this);
    devicesButton_->setGeometry(DialogUnits::toPixels(layout::kDevicesHeardButton));
    progressBar_ = new TransferProgressBar(this);
    progressBar_->setGeometry(DialogUnits::toPixels(layout::kProgressBar));

    auto* notice = place(new QLineEdit(this), ControlId::NoticeLine);
    notice->setReadOnly(true);
    notice->setTextMargins(kNoticeLeftMargin, 0, 0, 0);
    notice->setMaxLength(kUnlimitedText);

    batchButton_->raise();
    CaptionFit::fit(*batchButton_);
    CaptionFit::fit(*devicesButton_);

    CaptionFit::fitTogether({control(ControlId::RadioAuto), control(ControlId::RadioManual),
                             control(ControlId::RadioRecovery),
                             control(ControlId::RadioFirmwareFile)});
    CaptionFit::fitTogether({control(ControlId::ClearCheck), control(ControlId::OnePageCheck),
                             control(ControlId::EveryDeviceCheck)});
    CaptionFit::fitTogether({control(ControlId::PasswordLabel), control(ControlId::FirmwareLabel)});
}

void MainWindow::buildMenu() {
    // There is no system menu to extend on a Linux desktop: its entries are the window's
    // context menu instead, on a right click anywhere outside the edit fields.
    setContextMenuPolicy(Qt::ActionsContextMenu);
    firmwareFileAction_ = new QAction(QString::fromLatin1(kFirmwareFileEntry), this);
    firmwareFileAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    firmwareFileAction_->setShortcutContext(Qt::WindowShortcut);
    addAction(firmwareFileAction_);
    recoveryKitAction_ = new QAction(QString::fromLatin1(kRecoveryKitEntry), this);
    connect(recoveryKitAction_, &QAction::triggered, this, &MainWindow::chooseRecoveryKit);
    addAction(recoveryKitAction_);
    devicesAction_ = new QAction(QString::fromLatin1(kDevicesHeardEntry), this);
    connect(devicesAction_, &QAction::triggered, this, &MainWindow::openDevicesDialog);
    addAction(devicesAction_);
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    addAction(separator);
    // In the menu only while the firmware file mode is current (see setVisible).
    batchAction_ = new QAction(QString::fromLatin1(kBatchUpgradeEntry), this);
    connect(batchAction_, &QAction::triggered, this, &MainWindow::openBatchDialog);
    aboutAction_ = new QAction(toQString(kAboutMenuEntry), this);
    addAction(aboutAction_);

    connect(firmwareFileAction_, &QAction::triggered, this, [this] {
        if (forwarding()) {
            console_.OnRadioClicked(ControlId::RadioFirmwareFile);
        }
    });
    connect(aboutAction_, &QAction::triggered, this, [this] {
        if (forwarding()) {
            console_.OnAbout();
        }
    });
}

void MainWindow::connectInput() {
    for (ControlId id : kModeRadios) {
        connect(static_cast<QAbstractButton*>(control(id)), &QAbstractButton::clicked, this,
                [this, id] {
                    if (forwarding()) {
                        console_.OnRadioClicked(id);
                    }
                });
    }
    for (ControlId id :
         {ControlId::ClearCheck, ControlId::OnePageCheck, ControlId::EveryDeviceCheck}) {
        // clicked, not toggled: the console's own setChecked must not come back as input.
        connect(static_cast<QAbstractButton*>(control(id)), &QAbstractButton::clicked, this,
                [this, id](bool on) {
                    if (forwarding()) {
                        console_.OnCheckToggled(id, on);
                    }
                });
    }
    for (ControlId id : kMacControls) {
        connect(lineEdit(id), &QLineEdit::textEdited, this, [this, id](const QString& text) {
            if (forwarding()) {
                console_.OnFieldEdited(id, toStdString(text));
            }
        });
    }
    for (ControlId id : kIpControls) {
        connect(lineEdit(id), &QLineEdit::textEdited, this, [this, id](const QString& text) {
            if (forwarding()) {
                console_.OnFieldEdited(id, toStdString(text));
            }
        });
    }
    for (ControlId id : {ControlId::PasswordEdit, ControlId::FirmwarePath}) {
        connect(lineEdit(id), &QLineEdit::textEdited, this, [this, id](const QString& text) {
            if (forwarding()) {
                console_.OnTextEdited(id, toStdString(text));
            }
        });
    }
    const auto button = [this](ControlId id) { return static_cast<QAbstractButton*>(control(id)); };
    connect(button(ControlId::BannerButton), &QAbstractButton::clicked, this, [this] {
        if (forwarding()) {
            console_.OnBanner();
        }
    });
    connect(button(ControlId::ExitButton), &QAbstractButton::clicked, this, [this] {
        if (forwarding()) {
            console_.OnExit();
        }
    });
    connect(button(ControlId::BrowseButton), &QAbstractButton::clicked, this, [this] {
        if (forwarding()) {
            console_.OnBrowse();
        }
    });
    connect(button(ControlId::UpdateButton), &QAbstractButton::clicked, this, [this] {
        if (forwarding()) {
            console_.OnUpdate();
        }
    });
    connect(batchButton_, &QAbstractButton::clicked, this, &MainWindow::openBatchDialog);
    connect(devicesButton_, &QAbstractButton::clicked, this, &MainWindow::openDevicesDialog);
    connect(button(ControlId::SetButton), &QAbstractButton::clicked, this, &MainWindow::onSet);
    connect(button(ControlId::RoutingButton), &QAbstractButton::clicked, this,
            &MainWindow::onRoutingTable);

    connect(inputFilter_, &ControlInputFilter::fieldFull, this, [this](ControlId id) {
        if (forwarding()) {
            console_.OnFieldFull(id);
        }
    });
    connect(inputFilter_, &ControlInputFilter::focusGained, this, [this](ControlId id) {
        if (forwarding() && !parking_) {
            console_.OnFocusGained(id);
        }
    });
    connect(inputFilter_, &ControlInputFilter::focusLost, this, [this](ControlId id) {
        if (forwarding() && !parking_ && AddressFields::isAddressField(id)) {
            console_.OnFieldFocusLost(id);
        }
    });
}

void MainWindow::openBatchDialog() {
    if (!forwarding() || !batchButton_->isVisible() || !batchButton_->isEnabled()) {
        return;
    }
    if (batchDialog_ == nullptr) {
        batchDialog_ = new BatchUpgradeDialog(console_, this);
    }
    batchDialog_->open();
}

void MainWindow::openDevicesDialog() {
    if (!forwarding()) {
        return;
    }
    if (devicesDialog_ == nullptr) {
        devicesDialog_ = new DevicesHeardDialog(console_, this);
    }
    devicesDialog_->open();
}

void MainWindow::chooseRecoveryKit() {
    if (!forwarding()) {
        return;
    }
    if (!chooseKitFolder_) {
        chooseKitFolder_ = [this](const QString& start) {
            return QFileDialog::getExistingDirectory(this, QString::fromLatin1(kRecoveryKitTitle),
                                                     start);
        };
    }
    const QString remembered = toQString(console_.rememberedRecoveryKit());
    const QString folder = chooseKitFolder_(remembered.isEmpty() ? QDir::homePath() : remembered);
    if (folder.isEmpty()) {
        return;
    }
    // The kit is looked up through the remembered folder, so a choice that could not be kept
    // would silently change nothing: the operator is told instead.
    if (!console_.rememberRecoveryKit(toStdString(folder))) {
        const QString file = toQString(console_.recoveryKitMemoryFile());
        showMessage(toStdString(QString::fromLatin1(kKitNotRemembered).arg(file)),
                    MessageIcon::Exclamation);
        return;
    }
    console_.OnRecoveryKitChosen();
}

void MainWindow::onRoutingTable() {
    console_.ShowRoutingTable();
}

void MainWindow::onSet() {
    // The Set blocks this thread for seconds of echoes: a termination signal meanwhile cuts
    // them short, and the window closes once the Set has returned.
    const CloseRequestWatch closer(console_, terminationFd_, console_.timings().workerPoll);
    console_.OnSet();
}

QWidget* MainWindow::control(ControlId id) const {
    const auto found = controls_.find(id);
    return found != controls_.end() ? found->second : nullptr;
}

QLineEdit* MainWindow::lineEdit(ControlId id) const {
    return qobject_cast<QLineEdit*>(control(id));
}

// ---- ConsoleView ------------------------------------------------------------------------

void MainWindow::setEnabled(ControlId id, bool on) {
    QWidget* widget = control(id);
    if (widget == nullptr) {
        return;
    }
    // Qt hands the focus of a control being disabled to the next control in the Tab order, so
    // a mode switch, which disables the radio just clicked, would move the focus into the
    // fields and have their texts normalised on the way out. The console expects the focus to
    // stay where it was, as a dialog's does: it waits on the window itself, unseen by the
    // console, and comes back when the control is enabled again, unless it moved meanwhile.
    if (!on && focusWidget() == widget) {
        parking_ = true;
        QWidget::setFocus(Qt::OtherFocusReason);
        parking_ = false;
        parkedFocus_ = id;
    }
    widget->setEnabled(on);
    if (id == ControlId::RadioFirmwareFile) {
        firmwareFileAction_->setEnabled(on);  // the hidden radio's stand-in in the menu
    }
    if (id == ControlId::UpdateButton) {
        // Off with Update while a run lasts; the dialog of a running batch stays open.
        batchButton_->setEnabled(on);
        batchAction_->setEnabled(on);
    }
    if (on && parkedFocus_ == id) {
        parkedFocus_.reset();
        if (focusWidget() == nullptr || focusWidget() == this) {
            parking_ = true;
            widget->setFocus(Qt::OtherFocusReason);
            parking_ = false;
        }
    }
}

void MainWindow::setVisible(ControlId id, bool on) {
    if (QWidget* widget = control(id)) {
        widget->setVisible(on);
    }
    if (id == ControlId::EveryDeviceCheck) {
        devicesButton_->setVisible(on);
    }
    if (std::find(kFirmwareControls.begin(), kFirmwareControls.end(), id) !=
        kFirmwareControls.end()) {
        arrangeForFirmwareControls();
    }
    if (id == ControlId::UpdateButton) {
        batchButton_->setVisible(on);
        const QList<QAction*> entries = actions();
        if (!on) {
            removeAction(batchAction_);
        } else if (!entries.contains(batchAction_)) {
            // Right under "Firmware file upgrade...".
            const auto after = entries.indexOf(firmwareFileAction_) + 1;
            insertAction(after < entries.size() ? entries[after] : nullptr, batchAction_);
        }
    }
}

void MainWindow::arrangeForFirmwareControls() {
    const bool shown = std::any_of(kFirmwareControls.begin(), kFirmwareControls.end(),
                                   [this](ControlId id) { return !control(id)->isHidden(); });
    const auto frameRect = [](std::size_t frame) { return layout::kFrames[frame].rect; };
    upperFrame_->setGeometry(DialogUnits::toPixels(shown ? layout::kUpperFrameWithFirmware
                                                         : frameRect(layout::kUpperFrame)));
    statusFrame_->setGeometry(DialogUnits::toPixels(shown ? layout::kStatusFrameWithFirmware
                                                          : frameRect(layout::kStatusFrame)));
    statusList_->setGeometry(DialogUnits::toPixels(
        shown ? layout::kStatusListWithFirmware : layout::controlRect(ControlId::StatusList)));
}

void MainWindow::setChecked(ControlId id, bool on) {
    if (auto* button = qobject_cast<QAbstractButton*>(control(id))) {
        button->setChecked(on);
    }
}

void MainWindow::setText(ControlId id, const std::string& text) {
    // Only the edits carry texts of the console; captions belong to the window's layout.
    QLineEdit* field = lineEdit(id);
    if (field == nullptr) {
        return;
    }
    const QString shown = toQString(text);
    // An unchanged text is left alone so that the caret and selection stay put.
    if (field->text() != shown) {
        field->setText(shown);
    }
}

void MainWindow::setReadOnly(ControlId id, bool on) {
    if (QLineEdit* field = lineEdit(id)) {
        field->setReadOnly(on);
    }
}

void MainWindow::setTextLimit(ControlId id, int characters) {
    if (QLineEdit* field = lineEdit(id)) {
        field->setMaxLength(characters > 0 ? characters : kUnlimitedText);
    }
}

void MainWindow::focus(ControlId id) {
    QWidget* widget = control(id);
    if (widget == nullptr) {
        return;
    }
    parkedFocus_.reset();
    widget->setFocus(Qt::OtherFocusReason);
    if (auto* field = qobject_cast<QLineEdit*>(widget)) {
        field->selectAll();
    }
}

void MainWindow::appendStatusRow(const std::string& text) {
    statusList_->appendRow(text);
}

void MainWindow::removeOldestStatusRows(std::size_t count) {
    statusList_->removeOldestRows(count);
}

void MainWindow::clearStatusRows() {
    statusList_->clear();
}

void MainWindow::showBanner(BannerPair pair, bool firstImage, bool asButton) {
    const QPixmap& image = banners_.image(pair, firstImage);
    if (asButton) {
        bannerButton_->setPixmap(image);
        bannerPicture_->hide();
        bannerButton_->show();
    } else {
        if (bannerPicture_->pixmap().cacheKey() != image.cacheKey()) {
            bannerPicture_->setPixmap(image);
        }
        bannerButton_->hide();
        bannerPicture_->show();
    }
}

void MainWindow::showMessage(const std::string& text, MessageIcon icon) {
    QMessageBox box(boxIcon(icon), QString::fromLatin1(kMessageTitle), toQString(text),
                    QMessageBox::Ok, this);
    box.exec();
}

void MainWindow::showRoutingTable(const std::string& listing) {
    RoutingTableDialog dialog(toQString(listing), this);
    dialog.exec();
}

int MainWindow::openUrl(const std::string& url) {
    if (QDesktopServices::openUrl(QUrl(toQString(url)))) {
        return kOpenedResult;
    }
    // Qt starts xdg-open (or a browser it finds by name) detached: false means it found none,
    // or the one it found did not start.
    return QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()
               ? kPageOpenerNotFound
               : kPageOpenerFailed;
}

std::optional<std::string> MainWindow::chooseFile(const std::string& filter) {
    const QString chosen =
        QFileDialog::getOpenFileName(this, QString(), QString(), FileFilter::toQt(filter));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return toStdString(chosen);
}

std::optional<std::string> MainWindow::chooseSaveFile(const std::string& filter,
                                                      const std::string& suggestedName) {
    if (!chooseSaveFile_) {
        chooseSaveFile_ = [this](const QString& qtFilter, const QString& name) {
            return QFileDialog::getSaveFileName(this, QString(), name, qtFilter);
        };
    }
    const QString chosen = chooseSaveFile_(FileFilter::toQt(filter), toQString(suggestedName));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return toStdString(chosen);
}

void MainWindow::showAbout() {
    AboutBox box(console_.recoveryKitDescription(), this);
    box.exec();
}

void MainWindow::closeWindow() {
    close();
}

void MainWindow::showProgress(const TransferProgress& progress) {
    progressBar_->showProgress(progress);
}

// ---- Closing ------------------------------------------------------------------------------

void MainWindow::reject() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (attached_) {
        // The workers may still be reporting to the window: stop them while it exists, then
        // let go of it, so that nothing reaches it once it is gone.
        console_.Shutdown();
        console_.attachView(nullptr);
        attached_ = false;
        Q_EMIT closed();
    }
    event->accept();
}

}  // namespace vantor::ui

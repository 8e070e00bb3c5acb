#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <map>
#include <optional>

#include "console/ConsoleView.h"
#include "ui/BannerImages.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantor {
class OperatorConsole;
}

namespace vantor::ui {

class BannerButton;
class ControlInputFilter;
class DevicesHeardDialog;
class StatusList;
class TransferProgressBar;

// The program's main window: the controls of the console, laid out as its dialog template
// has them, showing what the console tells it and reporting the operator's input back. It
// decides nothing itself: every click, edit and focus change goes to the console, which
// changes the controls through the ConsoleView calls.
class MainWindow final : public QDialog, public ConsoleView {
    Q_OBJECT

  public:
    explicit MainWindow(OperatorConsole& console, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The descriptor on which the program's termination signals arrive (-1: none).
    void setTerminationFd(int fd) { terminationFd_ = fd; }

    QWidget* control(ControlId id) const;
    StatusList* statusList() const { return statusList_; }
    QAction* firmwareFileAction() const { return firmwareFileAction_; }
    QAction* aboutAction() const { return aboutAction_; }
    QAction* recoveryKitAction() const { return recoveryKitAction_; }
    QAction* devicesHeardAction() const { return devicesAction_; }
    QPushButton* devicesHeardButton() const { return devicesButton_; }
    // The "Devices heard" dialog once opened, else null.
    DevicesHeardDialog* devicesHeardDialog() const { return devicesDialog_; }
    // Asks the operator for the recovery kit folder, starting at the given one; empty: no
    // choice. A folder dialog unless a test puts its own answer in.
    using KitFolderChooser = std::function<QString(const QString& start)>;
    void setKitFolderChooser(KitFolderChooser chooser) { chooseKitFolder_ = std::move(chooser); }
    // Asks where to save a file (filter in Qt's form, the name offered); empty: cancelled. A
    // save dialog unless a test puts its own answer in.
    using SaveFileChooser = std::function<QString(const QString& filter, const QString& name)>;
    void setSaveFileChooser(SaveFileChooser chooser) { chooseSaveFile_ = std::move(chooser); }

    // ConsoleView. The widget's own setEnabled(bool) and setVisible(bool) stay reachable.
    using QDialog::setEnabled;
    using QDialog::setVisible;
    void setEnabled(ControlId id, bool on) override;
    void setVisible(ControlId id, bool on) override;
    void setChecked(ControlId id, bool on) override;
    void setText(ControlId id, const std::string& text) override;
    void setReadOnly(ControlId id, bool on) override;
    void setTextLimit(ControlId id, int characters) override;
    void focus(ControlId id) override;
    void appendStatusRow(const std::string& text) override;
    void removeOldestStatusRows(std::size_t count) override;
    void clearStatusRows() override;
    void showBanner(BannerPair pair, bool firstImage, bool asButton) override;
    void showMessage(const std::string& text, MessageIcon icon) override;
    void showRoutingTable(const std::string& listing) override;
    int openUrl(const std::string& url) override;
    std::optional<std::string> chooseFile(const std::string& filter) override;
    std::optional<std::string> chooseSaveFile(const std::string& filter,
                                              const std::string& suggestedName) override;
    void showAbout() override;
    void closeWindow() override;
    void showProgress(const TransferProgress& progress) override;
    TransferProgressBar* progressBar() const { return progressBar_; }

  Q_SIGNALS:
    // The window closed and the console has stopped every worker and let go of it.
    void closed();

  public Q_SLOTS:
    // Escape closes the window like its close button, which ends the program.
    void reject() override;

  private Q_SLOTS:
    void onRoutingTable();
    void onSet();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildFrames();
    void buildControls();
    void buildMenu();
    void connectInput();
    void openBatchDialog();
    void openDevicesDialog();
    void chooseRecoveryKit();
    template <typename Widget>
    Widget* place(Widget* widget, ControlId id);
    QLineEdit* lineEdit(ControlId id) const;
    // Puts the frames and the status list where the controls shown leave room for them.
    void arrangeForFirmwareControls();
    // Whether operator input still goes to the console (not once the window has closed).
    bool forwarding() const { return attached_; }

    OperatorConsole& console_;
    int terminationFd_ = -1;  // the program's termination signals, watched during a Set
    BannerImages banners_;
    std::map<ControlId, QWidget*> controls_;
    QGroupBox* upperFrame_ = nullptr;
    QGroupBox* statusFrame_ = nullptr;
    BannerButton* bannerButton_ = nullptr;
    QLabel* bannerPicture_ = nullptr;
    StatusList* statusList_ = nullptr;
    TransferProgressBar* progressBar_ = nullptr;
    ControlInputFilter* inputFilter_ = nullptr;
    QAction* firmwareFileAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QAction* recoveryKitAction_ = nullptr;  // in every mode: any may come to use the kit
    KitFolderChooser chooseKitFolder_;
    // "Upgrade several devices...": beside Update and in the context menu, shown and enabled
    // with Update.
    QPushButton* batchButton_ = nullptr;
    QAction* batchAction_ = nullptr;
    QDialog* batchDialog_ = nullptr;
    // "Devices heard...": in the context menu in every mode, and as a button in Auto.
    QPushButton* devicesButton_ = nullptr;
    QAction* devicesAction_ = nullptr;
    DevicesHeardDialog* devicesDialog_ = nullptr;
    SaveFileChooser chooseSaveFile_;
    bool attached_ = true;
    // A control that had the focus when it was disabled: the focus waits on the window until
    // the control is enabled again (see setEnabled).
    std::optional<ControlId> parkedFocus_;
    bool parking_ = false;
};

}  // namespace vantor::ui

#pragma once

#include <optional>
#include <string>

#include "base/MessageIcon.h"
#include "ports/BannerState.h"
#include "ports/ControlId.h"
#include "ports/HeardDevices.h"
#include "ports/TransferProgress.h"

namespace vantor {

// What the console asks of a front-end. Every call arrives on the user-interface thread; the
// console owns the state, a view only shows it and reports the operator's input back.
class ConsoleView {
  public:
    virtual ~ConsoleView() = default;

    virtual void setEnabled(ControlId id, bool on) = 0;
    virtual void setVisible(ControlId id, bool on) = 0;
    virtual void setChecked(ControlId id, bool on) = 0;
    virtual void setText(ControlId id, const std::string& text) = 0;
    virtual void setReadOnly(ControlId id, bool on) = 0;
    virtual void setTextLimit(ControlId id, int characters) = 0;
    // Gives the control the keyboard focus; for an edit, selects its whole text too.
    virtual void focus(ControlId id) = 0;

    // The status list: one appended row, the oldest rows dropped, or everything removed.
    virtual void appendStatusRow(const std::string& text) = 0;
    virtual void removeOldestStatusRows(std::size_t count) = 0;
    virtual void clearStatusRows() = 0;

    // One banner image on the button (asButton) or on the picture; the other one is hidden.
    virtual void showBanner(BannerPair pair, bool firstImage, bool asButton) = 0;

    // The banner's state changed; url is the page its button opens (empty without a device).
    // Views that show the banner through showBanner() may ignore it.
    virtual void bannerStateChanged(BannerState state, const std::string& url) {
        (void)state;
        (void)url;
    }

    // How far a transfer has come (see ReportPort::reportProgress). Views without a progress
    // display may ignore it.
    virtual void showProgress(const TransferProgress& progress) { (void)progress; }

    // A device heard in Auto is new, or its state or address changed. Views without a list of
    // devices may ignore it.
    virtual void heardDeviceChanged(const HeardDevice& device) { (void)device; }

    // A modal message box with an OK button.
    virtual void showMessage(const std::string& text, MessageIcon icon) = 0;
    // The PC's routing table: a heading row and route rows of tab-separated columns. Views
    // that have no better way show it as a message.
    virtual void showRoutingTable(const std::string& listing) {
        showMessage(listing, MessageIcon::Information);
    }
    // Opens a URL in the desktop's browser; the result is a shell-style code, above 32 on
    // success, else one of the two below.
    virtual int openUrl(const std::string& url) = 0;
    // No program that opens web pages (xdg-open) was found, or the one found did not start.
    static constexpr int kPageOpenerNotFound = 2;
    static constexpr int kPageOpenerFailed = 31;
    // An open-file dialog; nothing when the operator cancels.
    virtual std::optional<std::string> chooseFile(const std::string& filter) = 0;
    // A save-file dialog offering `suggestedName`; nothing when the operator cancels or the
    // view has no dialogs.
    virtual std::optional<std::string> chooseSaveFile(const std::string& filter,
                                                      const std::string& suggestedName) {
        (void)filter;
        (void)suggestedName;
        return std::nullopt;
    }
    virtual void showAbout() = 0;
    virtual void closeWindow() = 0;
};

}  // namespace vantor

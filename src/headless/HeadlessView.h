#pragma once

#include <functional>
#include <mutex>
#include <ostream>
#include <string>

#include "console/ConsoleView.h"

namespace vantor {

// The console without a window: what an operator would see is written as lines to a stream.
// Status rows as they are accepted ("\r\n" written as "\n", one line each), "notice: TEXT"
// when the notice line changes, "banner: STATE [URL]" when the banner changes and
// "message: TEXT" for a message box, "progress: [Device ADDRESS] NAME DONE TOTAL" (bytes; the
// device part only when the report names one) for the progress of a transfer, and
// "device: MAC ADDRESS STATE" when a device heard is new or its state or address changes.
class HeadlessView final : public ConsoleView {
  public:
    // onClose is called when the console asks the window to close.
    HeadlessView(std::ostream& out, std::function<void()> onClose);

    void setEnabled(ControlId, bool) override {}
    void setVisible(ControlId, bool) override {}
    void setChecked(ControlId, bool) override {}
    void setText(ControlId id, const std::string& text) override;
    void setReadOnly(ControlId, bool) override {}
    void setTextLimit(ControlId, int) override {}
    void focus(ControlId) override {}
    void appendStatusRow(const std::string& text) override;
    void removeOldestStatusRows(std::size_t) override {}
    void clearStatusRows() override {}
    void showBanner(BannerPair, bool, bool) override {}
    void bannerStateChanged(BannerState state, const std::string& url) override;
    void showProgress(const TransferProgress& progress) override;
    void heardDeviceChanged(const HeardDevice& device) override;
    void showMessage(const std::string& text, MessageIcon icon) override;
    int openUrl(const std::string& url) override;
    std::optional<std::string> chooseFile(const std::string& filter) override;
    void showAbout() override;
    void closeWindow() override;

    // A status row as one or more output lines.
    static std::string rowAsLines(const std::string& row);
    // A progress report as its output line.
    static std::string progressLine(const TransferProgress& progress);

  private:
    void write(const std::string& text);

    std::mutex mutex_;
    std::ostream& out_;
    std::function<void()> onClose_;
    std::string notice_;
    std::string banner_;
};

}  // namespace vantor

#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "console/Banner.h"
#include "console/ConsoleLimits.h"
#include "console/ControlBoard.h"
#include "console/ProgressThinning.h"
#include "console/StatusLog.h"
#include "console/UiDispatcher.h"
#include "ports/ReportPort.h"

namespace vantor {

class ConsoleView;
class StatusLogFile;

// The console's report port: the status log and its mirror in the view, the notice line,
// the device found, the banner and the device's address. Workers write through the port on
// their own threads; each change is made on the user-interface thread.
class ConsoleReport final : public ReportPort, private StatusLog::Observer {
  public:
    // view: the console's view slot, read on the user-interface thread only. logFile: where
    // every row is kept as well (or none).
    ConsoleReport(UiDispatcher& dispatcher, ControlBoard& board, ConsoleView* const& view,
                  const std::atomic<ConsoleMode>& mode, StatusLogFile* logFile = nullptr);
    ~ConsoleReport() override;
    ConsoleReport(const ConsoleReport&) = delete;
    ConsoleReport& operator=(const ConsoleReport&) = delete;

    // ReportPort.
    void appendStatus(int statusTag, const std::string& text) override;
    LogGroup logGroup() override;
    bool claimDevice(const std::string& noticeWhenTaken) override;
    void setNoticeLine(const std::string& text) override;
    void showDeviceMac(const std::array<std::uint8_t, 6>& octets) override;
    void showDeviceIp(const std::array<std::uint8_t, 4>& octets) override;
    void setServerAddress(const std::string& address) override;
    void setBannerState(BannerState state) override;
    void showMessage(const std::string& text) override;
    void reportProgress(const TransferProgress& progress) override;

    // The coordinator's side.
    void clearStatus();  // as one group
    // Listening begins again: no device is claimed and the notice line is empty.
    void forgetDevice();
    std::vector<std::string> rows() const { return log_.rows(); }
    // Shows the view the rows as they are (user-interface thread).
    void mirrorRows();
    std::string noticeLine() const { return board_.text(ControlId::NoticeLine); }
    std::string serverAddress() const;
    BannerState bannerState() const { return banner_.state(); }
    std::string devicePagePath() const { return banner_.devicePagePath(); }
    // The address the banner button opens, or empty without a device.
    std::string deviceUrl() const;
    Banner::Frame bannerTick() { return banner_.OnTimerTick(mode_.load()); }
    void resetBannerBlink() { banner_.resetBlink(); }

  private:
    void rowAppended(const std::string& text) override;
    void oldestRowsRemoved(std::size_t count) override;
    void cleared() override;

    UiDispatcher& dispatcher_;
    ControlBoard& board_;
    ConsoleView* const& view_;
    const std::atomic<ConsoleMode>& mode_;
    StatusLogFile* const logFile_;

    StatusLog log_;
    std::mutex logLock_;    // held by a log group
    std::mutex fieldLock_;  // the notice line and whether a device was claimed
    bool deviceClaimed_ = false;
    std::mutex bannerLock_;
    Banner banner_;
    mutable std::mutex addressMutex_;
    std::string serverAddress_;
    std::mutex progressLock_;
    ProgressThinning progressThinning_{kProgressReportInterval};
};

}  // namespace vantor

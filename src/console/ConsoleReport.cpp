#include "console/ConsoleReport.h"

#include "console/AddressFieldWriter.h"
#include "console/ConsoleView.h"
#include "console/StatusLogFile.h"

namespace vantor {

ConsoleReport::ConsoleReport(UiDispatcher& dispatcher, ControlBoard& board,
                             ConsoleView* const& view, const std::atomic<ConsoleMode>& mode,
                             StatusLogFile* logFile)
    : dispatcher_(dispatcher),
      board_(board),
      view_(view),
      mode_(mode),
      logFile_(logFile),
      log_(mode),
      banner_(bannerLock_) {
    log_.setObserver(this);
}

ConsoleReport::~ConsoleReport() {
    log_.setObserver(nullptr);
}

// ---- Status log -------------------------------------------------------------------------

void ConsoleReport::rowAppended(const std::string& text) {
    // The file keeps every row, also those the list drops; queued, never written here.
    if (logFile_ != nullptr) {
        logFile_->append(text);
    }
    if (view_ != nullptr) {
        view_->appendStatusRow(text);
    }
}

void ConsoleReport::oldestRowsRemoved(std::size_t count) {
    if (view_ != nullptr) {
        view_->removeOldestStatusRows(count);
    }
}

void ConsoleReport::cleared() {
    if (view_ != nullptr) {
        view_->clearStatusRows();
    }
}

void ConsoleReport::mirrorRows() {
    if (view_ == nullptr) {
        return;
    }
    view_->clearStatusRows();
    for (const std::string& row : log_.rows()) {
        view_->appendStatusRow(row);
    }
}

void ConsoleReport::appendStatus(int statusTag, const std::string& text) {
    if (!log_.accepts(statusTag)) {
        return;  // dropped before the user-interface thread is bothered
    }
    dispatcher_.invoke([&] { log_.append(statusTag, text); });
}

LogGroup ConsoleReport::logGroup() {
    return LogGroup(dispatcher_.lockServing(logLock_));
}

void ConsoleReport::clearStatus() {
    const LogGroup group = logGroup();
    dispatcher_.invoke([&] { log_.clear(); });
}

// ---- Notice line and the device found ----------------------------------------------------

bool ConsoleReport::claimDevice(const std::string& noticeWhenTaken) {
    const auto fields = dispatcher_.lockServing(fieldLock_);
    if (deviceClaimed_) {
        dispatcher_.invoke([&] { board_.setText(ControlId::NoticeLine, noticeWhenTaken); });
        return false;
    }
    deviceClaimed_ = true;
    return true;
}

void ConsoleReport::forgetDevice() {
    const auto fields = dispatcher_.lockServing(fieldLock_);
    deviceClaimed_ = false;
    dispatcher_.invoke([&] { board_.setText(ControlId::NoticeLine, ""); });
}

void ConsoleReport::setNoticeLine(const std::string& text) {
    const auto fields = dispatcher_.lockServing(fieldLock_);
    dispatcher_.invoke([&] { board_.setText(ControlId::NoticeLine, text); });
}

void ConsoleReport::showDeviceMac(const std::array<std::uint8_t, 6>& octets) {
    dispatcher_.invoke([&] {
        for (std::size_t i = 0; i < kMacControls.size(); ++i) {
            writeAddressField(board_, kMacControls[i], AddressFields::macOctet(octets[i]));
        }
    });
}

void ConsoleReport::showDeviceIp(const std::array<std::uint8_t, 4>& octets) {
    dispatcher_.invoke([&] {
        for (std::size_t i = 0; i < kIpControls.size(); ++i) {
            writeAddressField(board_, kIpControls[i], std::to_string(octets[i]));
        }
    });
}

void ConsoleReport::showMessage(const std::string& text) {
    dispatcher_.post([this, text] {
        if (view_ != nullptr) {
            view_->showMessage(text, MessageIcon::None);
        }
    });
}

void ConsoleReport::reportProgress(const TransferProgress& progress) {
    {
        const std::lock_guard lock(progressLock_);
        if (!progressThinning_.pass(progress, ProgressThinning::Clock::now())) {
            return;  // thinned out here, before the user-interface thread is bothered
        }
    }
    dispatcher_.post([this, progress] {
        if (view_ != nullptr) {
            view_->showProgress(progress);
        }
    });
}

// ---- Banner and the device's address -----------------------------------------------------

void ConsoleReport::setServerAddress(const std::string& address) {
    std::lock_guard lock(addressMutex_);
    serverAddress_ = address;
}

std::string ConsoleReport::serverAddress() const {
    std::lock_guard lock(addressMutex_);
    return serverAddress_;
}

void ConsoleReport::setBannerState(BannerState state) {
    banner_.SetBannerState(state, mode_.load());
    // Told after bannerLock is released; queued so that a worker never waits here.
    dispatcher_.post([this, state] {
        if (view_ != nullptr) {
            view_->bannerStateChanged(state, deviceUrl());
        }
    });
}

std::string ConsoleReport::deviceUrl() const {
    const std::string address = serverAddress();
    if (address.empty()) {
        return {};
    }
    return "http://" + address + banner_.devicePagePath();
}

}  // namespace vantor

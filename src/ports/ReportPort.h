#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ports/BannerState.h"
#include "ports/LogGroup.h"
#include "ports/TransferProgress.h"

namespace vantor {

// How a worker tells the operator what it does: status rows, the device it found, the notice
// line under the log, the banner and the device's address. Callable from any thread; each
// call returns once the change is made (a message box alone is queued).
class ReportPort {
  public:
    virtual ~ReportPort() = default;

    // One status-log row, shown only while the tag's mode is current (kTagAlways: always).
    virtual void appendStatus(int statusTag, const std::string& text) = 0;
    // Keeps the rows written until it ends together in the log.
    virtual LogGroup logGroup() = 0;

    // Claims the device just heard as the current one: true for the first since listening
    // began; for any later one the notice line shows noticeWhenTaken instead, and false.
    virtual bool claimDevice(const std::string& noticeWhenTaken) = 0;
    virtual void setNoticeLine(const std::string& text) = 0;
    // The device's MAC and IP in the address fields.
    virtual void showDeviceMac(const std::array<std::uint8_t, 6>& octets) = 0;
    virtual void showDeviceIp(const std::array<std::uint8_t, 4>& octets) = 0;
    // The address the banner's button opens, once a device answers there.
    virtual void setServerAddress(const std::string& address) = 0;
    virtual void setBannerState(BannerState state) = 0;
    // A message box that does not hold up the calling worker.
    virtual void showMessage(const std::string& text) = 0;
    // How far a transfer has come; call it as often as convenient (the console thins the
    // reports out), and once more with done == total when it completes. A transfer that ends
    // early ends with a report whose total is 0.
    virtual void reportProgress(const TransferProgress& progress) = 0;
};

}  // namespace vantor

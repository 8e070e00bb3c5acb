#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "base/Timings.h"
#include "upgrade/CodeUpdateTransfer.h"
#include "upgrade/CodeUpdateTransport.h"
#include "upgrade/StatusSink.h"
#include "upgrade/StopSignal.h"
#include "upgrade/UpdateImage.h"

namespace vantor {

// Carries out the code update protocol over a transport: runs one CodeUpdateTransfer per call,
// doing its sends, waits and pauses and writing its lines. Used by the upgrade worker only.
class CodeUpdateSender {
  public:
    // enableModeRadios switches the console's mode radios; the transfer enables them while it
    // asks the device for its model.
    CodeUpdateSender(CodeUpdateTransport& transport, StatusSink& status, const Timings& timings,
                     StopSignal& stop, std::function<void(bool)> enableModeRadios);

    // Sends one region of the kind (or asks for the model): 1 when the device accepted it, 0
    // on any failure, and at once when a stop is requested.
    int transferFile(std::uint8_t kind, const UpdateImage& image,
                     const CodeUpdateSettings& settings);

    // Told how far each region has come: region is "microcode", "tail", "bin" or "logo"; done
    // and total are bytes. Called when the region begins, after each acknowledged packet, and
    // once with a total of 0 when the region ends before its last page was acknowledged.
    using ProgressHandler =
        std::function<void(std::string_view region, std::uint64_t done, std::uint64_t total)>;
    void onProgress(ProgressHandler handler) { progress_ = std::move(handler); }

    // One wait for a reply: its length, 0 when the wait was silent, -1 when it failed.
    int receiveCommand(std::span<std::uint8_t> buffer);

    // The device refused protocol version 0x0011 earlier in the run; the run clears it before
    // each model query of its own.
    bool versionFallback() const { return versionFallback_; }
    void setVersionFallback(bool on) { versionFallback_ = on; }

  private:
    void carryOut(const CodeUpdateAction& action);
    int run(CodeUpdateTransfer& transfer);

    CodeUpdateTransport& transport_;
    StatusSink& status_;
    const Timings& timings_;
    StopSignal& stop_;
    std::function<void(bool)> enableModeRadios_;
    bool versionFallback_ = false;
    ProgressHandler progress_;
};

}  // namespace vantor

#include "upgrade/CodeUpdateSender.h"

#include <algorithm>
#include <vector>

#include "ports/ConsoleMode.h"
#include "upgrade/CodeUpdateWire.h"

namespace vantor {

CodeUpdateSender::CodeUpdateSender(CodeUpdateTransport& transport, StatusSink& status,
                                   const Timings& timings, StopSignal& stop,
                                   std::function<void(bool)> enableModeRadios)
    : transport_(transport),
      status_(status),
      timings_(timings),
      stop_(stop),
      enableModeRadios_(std::move(enableModeRadios)) {}

int CodeUpdateSender::receiveCommand(std::span<std::uint8_t> buffer) {
    return transport_.receive(buffer, timings_.codeUpdateReceive);
}

void CodeUpdateSender::carryOut(const CodeUpdateAction& action) {
    for (const CodeUpdateEffect& effect : action.effects) {
        if (const auto* line = std::get_if<std::string>(&effect)) {
            status_.AppendStatus(tagOf(ConsoleMode::FirmwareFile), *line);
        } else if (enableModeRadios_) {
            enableModeRadios_(std::get<ModeRadios>(effect) == ModeRadios::Enable);
        }
    }
}

int CodeUpdateSender::transferFile(std::uint8_t kind, const UpdateImage& image,
                                   const CodeUpdateSettings& settings) {
    CodeUpdateTransfer transfer(kind, image, settings, versionFallback_);
    std::vector<std::uint8_t> buffer(kCodeUpdateReceiveSize);
    CodeUpdateAction action = transfer.start();
    for (;;) {
        carryOut(action);
        versionFallback_ = transfer.versionFallback();
        switch (action.kind) {
            case CodeUpdateAction::Kind::Finish:
                return action.succeeded ? 1 : 0;
            case CodeUpdateAction::Kind::Send:
                // A stop request ends the call at its next step, whatever the device does:
                // the console is waiting for the run to end.
                if (stop_.requested()) {
                    return 0;
                }
                if (!transport_.send(action.packet)) {
                    action = transfer.sendFailed();
                    continue;
                }
                if (action.pauseAfterSend && !stop_.sleepFor(timings_.microcodePause)) {
                    return 0;
                }
                break;
            case CodeUpdateAction::Kind::Wait:
                break;
        }
        const int length = receiveCommand(buffer);
        if (length < 0) {
            action = transfer.receiveFailed();
        } else if (stop_.requested()) {
            return 0;
        } else if (length == 0) {
            action = transfer.silent();
        } else {
            const std::size_t got = std::min(static_cast<std::size_t>(length), buffer.size());
            action = transfer.replied(std::span(buffer).first(got));
        }
    }
}

}  // namespace vantor

#include "upgrade/CodeUpdateSender.h"

#include <algorithm>
#include <optional>
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

namespace {

std::string_view regionName(std::uint8_t kind) {
    switch (kind) {
        case TYPE_MICROCODE:
            return "microcode";
        case KIND_TAIL:
            return "tail";
        case TYPE_BIN:
            return "bin";
        case TYPE_LOGO:
            return "logo";
        default:
            return "region";
    }
}

}  // namespace

int CodeUpdateSender::transferFile(std::uint8_t kind, const UpdateImage& image,
                                   const CodeUpdateSettings& settings) {
    CodeUpdateTransfer transfer(kind, image, settings, versionFallback_);
    const int result = run(transfer);
    if (progress_) {
        const auto last = transfer.regionProgress();
        if (last && (result != 1 || last->done < last->total)) {
            progress_(regionName(kind), last->done, 0);  // ended early
        }
    }
    return result;
}

int CodeUpdateSender::run(CodeUpdateTransfer& transfer) {
    std::vector<std::uint8_t> buffer(kCodeUpdateReceiveSize);
    std::optional<CodeUpdateTransfer::RegionProgress> reported;
    CodeUpdateAction action = transfer.start();
    for (;;) {
        carryOut(action);
        versionFallback_ = transfer.versionFallback();
        if (const auto now = transfer.regionProgress(); progress_ && now && now != reported) {
            reported = now;
            progress_(regionName(transfer.kind()), now->done, now->total);
        }
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

// The device's replies to one code update call, arbitrary. The first byte sets up the call
// (bits 0-2: kind, bit 3: one page per packet, bit 4: image with header, bit 5: version already
// refused, bit 6: model known). Then each event is one control byte: 0xFF a failed receive,
// 0xFE a failed send, bit 7 a 23-byte reply, otherwise a reply of (control & 31) bytes (0: a
// silent wait); the reply's bytes follow. When the input ends every wait is silent, so the call
// must end by itself.
#include <algorithm>
#include <cstdint>
#include <span>
#include <variant>

#include "upgrade/CodeUpdatePacket.h"
#include "upgrade/CodeUpdateTransfer.h"

namespace {

const vantor::UpdateImage& image() {
    static const vantor::UpdateImage prepared = [] {
        vantor::UpdateImage i;
        i.imageLength = 8 + 3 * 256 + 17;
        for (std::size_t n = 0; n < i.imageLength; ++n) {
            i.imageBuffer[n] = static_cast<std::uint8_t>(n * 31);
        }
        i.tailBuffer.assign(i.tailBuffer.size(), 0x77);
        return i;
    }();
    return prepared;
}

void check(const vantor::CodeUpdateAction& action) {
    if (action.kind != vantor::CodeUpdateAction::Kind::Send) {
        return;
    }
    const std::size_t size = action.packet.size();
    if (size < vantor::kCodeUpdateHeaderSize || size > 23 + 4 * 256 + 8 ||
        action.packet[5] != 'p') {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    constexpr std::uint8_t kKinds[] = {vantor::TYPE_MICROCODE,   vantor::TYPE_LOGO,
                                       vantor::TYPE_BIN,         vantor::KIND_TAIL,
                                       vantor::KIND_MODEL_QUERY, 3};
    const std::uint8_t setup = data[0];
    vantor::CodeUpdateSettings settings;
    settings.setPassword = "pw";
    settings.onePagePerPacket = (setup & 0x08) != 0;
    settings.hasHeader = (setup & 0x10) != 0;
    if ((setup & 0x40) != 0) {
        settings.model = 1;
    }
    vantor::CodeUpdateTransfer transfer(kKinds[(setup & 7) % 6], image(), settings,
                                        (setup & 0x20) != 0);
    vantor::CodeUpdateAction action = transfer.start();
    std::size_t at = 1;
    // Far more steps than any call takes once its replies run out.
    for (int steps = 0; action.kind != vantor::CodeUpdateAction::Kind::Finish; ++steps) {
        if (steps > 1000000) {
            __builtin_trap();
        }
        check(action);
        if (at >= size) {
            action = transfer.silent();
            continue;
        }
        const std::uint8_t control = data[at++];
        if (control == 0xFF) {
            action = transfer.receiveFailed();
            continue;
        }
        if (control == 0xFE) {
            action = transfer.sendFailed();
            continue;
        }
        const std::size_t wanted = (control & 0x80) != 0 ? 23 : (control & 31);
        const std::span<const std::uint8_t> reply(data + at, std::min(wanted, size - at));
        at += reply.size();
        // The parser alone: a reply is taken at exactly 23 bytes, and its fields are the bytes.
        const auto parsed = vantor::parseCodeUpdateReply(reply);
        if (std::holds_alternative<vantor::CodeUpdateReply>(parsed) != (reply.size() == 23)) {
            __builtin_trap();
        }
        action = reply.empty() ? transfer.silent() : transfer.replied(reply);
    }
    return 0;
}

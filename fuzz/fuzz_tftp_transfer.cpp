// A transfer fed an arbitrary sequence of events. The first byte picks the terms (bit 0: an
// OACK first, bits 1-2: a window of 1, 2, 4 or 8 blocks, bit 3: 8-byte blocks instead of
// 512). Each event is one control byte (bits 0-1: datagram from the client, datagram from a
// stranger, interrupted wait, time passing; bits 2-7: datagram length) followed by the
// datagram's bytes.
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "recovery/MemorySource.h"
#include "recovery/TftpPacket.h"
#include "recovery/TftpTransfer.h"

namespace {

void check(const vantor::TftpStep& step, const vantor::Endpoint& client) {
    for (const vantor::TftpOutgoing& out : step.send) {
        if (out.bytes.size() > 516 || (out.essential && !(out.to == client)) ||
            step.send.size() > 8 + 1) {
            __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::uint8_t> content(1536 + 100, 0x5A);
    if (size == 0) {
        return 0;
    }
    vantor::TftpTerms terms;
    if ((data[0] & 1) != 0) {
        terms.acknowledged.push_back({"blksize", "8"});
    }
    terms.windowSize = 1U << ((data[0] >> 1) & 3);
    if ((data[0] & 8) != 0) {
        terms.blockSize = 8;
    }
    vantor::MemorySource source(content);
    const vantor::Endpoint client{0x6400A8C0, 3000};
    const vantor::Endpoint stranger{0x6400A8C0, 3001};
    vantor::TftpTransfer transfer(source, client, vantor::Millis{60000}, vantor::Millis{1000},
                                  terms);
    auto now = vantor::TftpTransfer::Clock::time_point{} + std::chrono::hours(1);
    check(transfer.Start(now), client);
    std::size_t at = 1;
    while (at < size) {
        const std::uint8_t control = data[at++];
        const std::size_t length = std::min<std::size_t>(control >> 2, size - at);
        const std::span<const std::uint8_t> datagram(data + at, length);
        at += length;
        const bool over = transfer.state() != vantor::TftpTransferState::waiting;
        vantor::TftpStep step;
        switch (control & 3) {
            case 0:
                step = transfer.OnDatagram(datagram, client, now);
                break;
            case 1:
                step = transfer.OnDatagram(datagram, stranger, now);
                break;
            case 2:
                step = transfer.OnInterrupted(now);
                break;
            default:
                now += std::chrono::milliseconds(length * 2000);
                continue;
        }
        check(step, client);
        if (over && !step.send.empty()) {
            __builtin_trap();  // nothing goes out once the transfer is over
        }
    }
    return 0;
}

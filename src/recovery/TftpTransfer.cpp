#include "recovery/TftpTransfer.h"

#include <array>

#include "recovery/TftpPacket.h"
#include "recovery/TftpWire.h"

namespace vantor {

TftpTransfer::TftpTransfer(BlockSource& source, Endpoint client, Millis timeout,
                           Millis duplicateResend)
    : source_(source), client_(client), timeout_(timeout), duplicateResend_(duplicateResend) {}

TftpStep TftpTransfer::Start(Clock::time_point now) {
    return nextBlock(now);
}

TftpStep TftpTransfer::nextBlock(Clock::time_point now) {
    std::array<std::uint8_t, kTftpBlockSize> block{};
    const auto length = source_.read(block);
    if (!length) {
        // Sending what was read as the last block would pass a cut file off as complete.
        TftpStep step = end(TftpTransferState::readFailed);
        step.send.push_back(
            {TftpPacket::BuildError(kTftpErrorNotDefined, kTftpReadErrorText), client_, false});
        return step;
    }
    ++block_;  // 16-bit: block 0 follows block 65535
    lastLength_ = *length;
    resend_ = false;
    packet_ = TftpPacket::BuildData(block_, std::span(block).first(*length));
    deadline_ = now + timeout_;
    sentAt_ = now;
    TftpStep step;
    step.send.push_back({packet_, client_, true});
    return step;
}

TftpStep TftpTransfer::resendBlock(Clock::time_point now) {
    resend_ = true;
    deadline_ = now + timeout_;
    sentAt_ = now;
    TftpStep step;
    step.send.push_back({packet_, client_, true});
    step.resent = true;
    return step;
}

TftpStep TftpTransfer::end(TftpTransferState state) {
    if (state_ == TftpTransferState::waiting) {
        state_ = state;
    }
    TftpStep step;
    step.state = state_;
    return step;
}

TftpStep TftpTransfer::OnDatagram(std::span<const std::uint8_t> datagram, Endpoint from,
                                  Clock::time_point now) {
    if (state_ != TftpTransferState::waiting) {
        return end(state_);
    }
    if (from != client_) {
        // RFC 1350 section 4: a packet from a wrong transfer ID is answered with ERROR 5 and
        // does not disturb the transfer. An ERROR packet is never answered (no ping-pong).
        TftpStep step;
        if (TftpPacket::Opcode(datagram) != kTftpError) {
            step.send.push_back(
                {TftpPacket::BuildError(kTftpErrorUnknownTid, kTftpUnknownTidText), from, false});
        }
        // A stream of such packets keeps the socket's wait from expiring: honour the
        // deadline here.
        if (now >= deadline_) {
            TftpStep expired = OnInterrupted(now);
            step.send.insert(step.send.end(), expired.send.begin(), expired.send.end());
            step.state = expired.state;
            step.resent = expired.resent;
        }
        return step;
    }
    if (TftpPacket::Opcode(datagram) == kTftpError) {
        // RFC 1350 section 7: the client gave up; an ERROR is neither acknowledged nor
        // retransmitted, so nothing goes back.
        return end(TftpTransferState::clientError);
    }
    // Equality only: with numbers that roll over, "later" cannot be told from "earlier", and
    // an ACK of a block not yet sent acknowledges nothing.
    const auto ack = TftpPacket::ParseAck(datagram);
    if (ack && *ack == block_) {
        resend_ = false;
        if (lastLength_ == kTftpBlockSize) {
            return nextBlock(now);
        }
        return end(TftpTransferState::completed);
    }
    // A duplicate ACK or anything else from the client: the client's retry after a lost DATA
    // packet looks the same as a duplicate that crossed the DATA packet, so the block goes
    // out again only once it has gone unanswered for a while.
    if (now - sentAt_ >= duplicateResend_) {
        return resendBlock(now);
    }
    return {};
}

TftpStep TftpTransfer::OnInterrupted(Clock::time_point now) {
    if (state_ != TftpTransferState::waiting) {
        return end(state_);
    }
    if (resend_) {
        return end(TftpTransferState::noResponse);
    }
    return resendBlock(now);
}

TftpStep TftpTransfer::OnSocketError() {
    return end(TftpTransferState::socketError);
}

TftpStep TftpTransfer::OnSendFailed() {
    return end(TftpTransferState::sendFailed);
}

Millis TftpTransfer::Remaining(Clock::time_point now) const {
    if (now >= deadline_) {
        return Millis{0};
    }
    return std::chrono::ceil<Millis>(deadline_ - now);
}

}  // namespace vantor

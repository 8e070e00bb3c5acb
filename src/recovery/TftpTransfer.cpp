#include "recovery/TftpTransfer.h"

#include <utility>

#include "recovery/TftpPacket.h"
#include "recovery/TftpWire.h"

namespace vantor {

TftpTransfer::TftpTransfer(BlockSource& source, Endpoint client, Millis timeout,
                           Millis duplicateResend, TftpTerms terms)
    : source_(source),
      client_(client),
      timeout_(terms.timeout.value_or(timeout)),
      duplicateResend_(duplicateResend),
      terms_(std::move(terms)),
      buffer_(terms_.blockSize) {}

std::uint16_t TftpTransfer::block() const {
    return static_cast<std::uint16_t>(acknowledged_ + window_.size());
}

TftpStep TftpTransfer::Start(Clock::time_point now) {
    if (!terms_.oack()) {
        return fillWindow(now);
    }
    // The OACK stands in the window as block 0: its ACK is ACK 0 (RFC 2347).
    acknowledged_ = static_cast<std::uint16_t>(-1);
    oackOut_ = true;
    window_.push_back({TftpPacket::BuildOack(terms_.acknowledged), 0});
    resend_ = false;
    deadline_ = now + timeout_;
    sentAt_ = now;
    TftpStep step;
    step.send.push_back({window_.back().packet, client_, true});
    return step;
}

TftpStep TftpTransfer::fillWindow(Clock::time_point now, TftpStep step) {
    while (window_.size() < terms_.windowSize && !lastBlockRead_) {
        const auto length = source_.read(buffer_);
        if (!length) {
            // Sending what was read as the last block would pass a cut file off as complete.
            TftpStep failed = end(TftpTransferState::readFailed);
            failed.send.push_back(
                {TftpPacket::BuildError(kTftpErrorNotDefined, kTftpReadErrorText), client_, false});
            return failed;
        }
        // 16-bit: block 0 follows block 65535.
        const auto number = static_cast<std::uint16_t>(acknowledged_ + window_.size() + 1);
        lastBlockRead_ = *length < terms_.blockSize;
        window_.push_back(
            {TftpPacket::BuildData(number, std::span(buffer_).first(*length)), *length});
        step.send.push_back({window_.back().packet, client_, true});
    }
    resend_ = false;
    deadline_ = now + timeout_;
    sentAt_ = now;
    return step;
}

TftpStep TftpTransfer::resendWindow(Clock::time_point now) {
    resend_ = true;
    resentAhead_ = window_.size();
    deadline_ = now + timeout_;
    sentAt_ = now;
    TftpStep step;
    for (const Unacknowledged& out : window_) {
        step.send.push_back({out.packet, client_, true});
    }
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
    if (const auto error = TftpPacket::ParseError(datagram)) {
        // RFC 2347: ERROR 8 answers an OACK whose terms the client will not take; the
        // client may ask again without options. Either way the client gave up (RFC 1350
        // section 7); an ERROR is neither acknowledged nor retransmitted, so nothing goes back.
        return end(oackOut_ && error->code == kTftpErrorOptionRefused
                       ? TftpTransferState::optionsRefused
                       : TftpTransferState::clientError);
    }
    if (TftpPacket::Opcode(datagram) == kTftpError) {
        return end(TftpTransferState::clientError);
    }
    // Progress is an ACK of a block in the window, counted from the last one acknowledged so
    // that numbers that roll over still compare; with a window of one that is the current
    // block alone. "Later" cannot be told from "earlier" by the numbers themselves, and an
    // ACK of a block not yet sent acknowledges nothing.
    const auto ack = TftpPacket::ParseAck(datagram);
    const std::size_t ahead = ack ? static_cast<std::uint16_t>(*ack - acknowledged_) : 0;
    if (ahead >= 1 && ahead <= window_.size()) {
        for (std::size_t i = 0; i < ahead; ++i) {
            acknowledgedBytes_ += window_.front().payload;
            window_.pop_front();
        }
        acknowledged_ = *ack;
        oackOut_ = false;
        repeatAnswered_ = false;
        if (window_.empty() && lastBlockRead_) {
            resend_ = false;
            return end(TftpTransferState::completed);
        }
        // RFC 7440: the window goes on from the block after the one acknowledged; what was
        // out after it is sent again first, unless it already went out again after a loss.
        TftpStep step;
        resentAhead_ = resentAhead_ > ahead ? resentAhead_ - ahead : 0;
        if (resentAhead_ == 0) {
            for (const Unacknowledged& out : window_) {
                step.send.push_back({out.packet, client_, true});
            }
            resentAhead_ = window_.size();
        }
        step.resent = !step.send.empty();
        return fillWindow(now, std::move(step));
    }
    if (ack && *ack == acknowledged_ && !oackOut_ && terms_.windowSize > 1 && !repeatAnswered_) {
        repeatAnswered_ = true;
        TftpStep step = resendWindow(now);
        resend_ = false;  // the client is there: a wait after this is no second silence
        return step;
    }
    // A duplicate ACK or anything else from the client: the client's retry after a lost DATA
    // packet looks the same as a duplicate that crossed the DATA packet, so the window goes
    // out again only once it has gone unanswered for a while.
    if (now - sentAt_ >= duplicateResend_) {
        return resendWindow(now);
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
    return resendWindow(now);
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

#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "base/Timings.h"
#include "net/Endpoint.h"
#include "recovery/BlockSource.h"

namespace vantor {

enum class TftpTransferState {
    waiting,      // a DATA packet is out; waiting for its ACK
    completed,    // the short (or empty) last block was acknowledged
    noResponse,   // the wait ended twice in a row without an ACK
    socketError,  // the wait failed with another socket error
    sendFailed,   // a DATA packet could not be sent
    readFailed,   // the source could not be read
};

struct TftpOutgoing {
    std::vector<std::uint8_t> bytes;
    Endpoint to{};
    // A DATA packet of the transfer: when it cannot be sent the transfer ends (OnSendFailed).
    // The courtesy ERROR packets need not arrive.
    bool essential = false;
};

struct TftpStep {
    std::vector<TftpOutgoing> send;  // in order
    TftpTransferState state = TftpTransferState::waiting;
    bool resent = false;  // the DATA packet in `send` repeats the one before
};

// One read transfer (RFC 1350, octet mode, 512-byte blocks) as a state machine without
// sockets: fed the datagrams that arrive, the ends of waits and the time, it says what to
// send and when the transfer is over. A thin loop does the socket work.
//
// A block goes out again after a wait that ends without a datagram (time-out or cancel), or
// after a stale ACK or another datagram of the client; a wait that ends without a datagram
// while the block is being resent ends the transfer. Datagrams from any other address or port
// are answered with ERROR 5 and otherwise ignored (RFC 1350 section 4): they neither redirect
// the transfer nor make a block go out again, and they do not push its deadline back.
class TftpTransfer {
  public:
    using Clock = std::chrono::steady_clock;

    // `client`: the address and port the read request came from, the only transfer ID the
    // transfer will talk to.
    TftpTransfer(BlockSource& source, Endpoint client, Millis timeout);

    // Reads block 1 and returns it to send.
    TftpStep Start(Clock::time_point now);
    // A datagram arrived on the transfer socket.
    TftpStep OnDatagram(std::span<const std::uint8_t> datagram, Endpoint from,
                        Clock::time_point now);
    // The wait ended without a datagram: its time-out expired or it was cancelled.
    TftpStep OnInterrupted(Clock::time_point now);
    // The wait failed with any other socket error.
    TftpStep OnSocketError();
    // An essential packet of the last step could not be sent.
    TftpStep OnSendFailed();

    // How long the current wait may still last: arm the socket's time-out with this.
    Millis Remaining(Clock::time_point now) const;

    TftpTransferState state() const { return state_; }
    std::uint16_t block() const { return block_; }
    bool resending() const { return resend_; }
    const Endpoint& client() const { return client_; }

  private:
    TftpStep nextBlock(Clock::time_point now);
    TftpStep resendBlock(Clock::time_point now);
    TftpStep end(TftpTransferState state);

    BlockSource& source_;
    Endpoint client_;
    Millis timeout_;
    std::uint16_t block_ = 0;
    std::size_t lastLength_ = 0;
    bool resend_ = false;
    std::vector<std::uint8_t> packet_;  // the DATA packet of the current block
    Clock::time_point deadline_{};
    TftpTransferState state_ = TftpTransferState::waiting;
};

}  // namespace vantor

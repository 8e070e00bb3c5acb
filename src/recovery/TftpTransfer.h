#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "base/Timings.h"
#include "net/Endpoint.h"
#include "recovery/BlockSource.h"
#include "recovery/TftpOptions.h"

namespace vantor {

enum class TftpTransferState {
    waiting,         // a DATA packet is out; waiting for its ACK
    completed,       // the short (or empty) last block was acknowledged
    noResponse,      // the wait ended twice in a row without an ACK
    clientError,     // the client sent an ERROR: it gave the transfer up (RFC 1350 section 7)
    optionsRefused,  // the client answered the OACK with ERROR 8 (RFC 2347): nothing was sent
    socketError,     // the wait failed with another socket error
    sendFailed,      // a DATA packet could not be sent
    readFailed,      // the source could not be read
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
    bool resent = false;  // `send` repeats packets that went out before
};

// One read transfer (RFC 1350, octet mode) as a state machine without sockets: fed the
// datagrams that arrive, the ends of waits and the time, it says what to send and when the
// transfer is over. A thin loop does the socket work.
//
// The terms come from the option negotiation: without options, 512-byte blocks in lock-step.
// With options the transfer begins with the OACK, which the client acknowledges as block 0
// (RFC 2347); blksize sets the block size (RFC 2348), timeout the wait for an ACK (RFC 2349),
// and windowsize how many blocks go out before an ACK is waited for (RFC 7440). An ACK of any
// block of the window moves the window on to the block after it: the blocks after it that
// were sent already go out again, as RFC 7440 has a receiver that lost one of them ask.
//
// Only an ACK of a block that is out and not yet acknowledged (in lock-step: the current
// block) is progress. In lock-step a duplicate ACK, an ACK of a block not yet sent or another
// datagram of the client does not make the block go out at once (that would answer every
// duplicate with a duplicate and double the traffic for the rest of the file: the Sorcerer's
// Apprentice of RFC 1123 section 4.2.3.1). With a window, the client's repeat of its last ACK
// says the block after it was lost (RFC 7440): the window goes out again at once, once until
// the window moves on. An ACK inside a window's blocks that went out again after a loss moves
// the window on without sending those blocks a third time: they are still on their way, and
// sending them again on every such ACK would snowball. It makes it go out again only when
// the block has gone unanswered for `duplicateResend`, so a lost DATA packet is recovered at
// the client's retry rather than at the time-out. A window also goes out again after a wait
// that ends without a datagram (time-out or cancel); a wait that ends without a datagram while
// the window is being resent ends the transfer. An ERROR of the client ends the transfer at
// once, unanswered. Datagrams from any other address or port are answered with ERROR 5 and
// otherwise ignored (RFC 1350 section 4): they neither redirect the transfer nor make a block
// go out again, and they do not push its deadline back.
//
// Block numbers are 16 bits: a file of more than 65535 blocks goes on with block 0 after
// block 65535, as clients that roll over expect.
class TftpTransfer {
  public:
    using Clock = std::chrono::steady_clock;

    // `client`: the address and port the read request came from, the only transfer ID the
    // transfer will talk to. `duplicateResend`: how long the current block must have gone
    // unanswered before a duplicate ACK makes it go out again. `terms`: what the options
    // settled; a timeout there replaces `timeout`.
    TftpTransfer(BlockSource& source, Endpoint client, Millis timeout, Millis duplicateResend,
                 TftpTerms terms = {});

    // Returns the OACK, or reads the first window, to send.
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
    // The last block sent (0 while the OACK waits for its ACK).
    std::uint16_t block() const;
    bool resending() const { return resend_; }
    const Endpoint& client() const { return client_; }
    // The bytes of the file the client has acknowledged.
    std::uint64_t acknowledgedBytes() const { return acknowledgedBytes_; }

  private:
    // A packet that is out and not yet acknowledged: the OACK or a DATA packet.
    struct Unacknowledged {
        std::vector<std::uint8_t> packet;
        std::size_t payload = 0;
    };

    // Reads blocks until the window is full or the file has ended, and sends them.
    TftpStep fillWindow(Clock::time_point now, TftpStep step = {});
    TftpStep resendWindow(Clock::time_point now);
    TftpStep end(TftpTransferState state);

    BlockSource& source_;
    Endpoint client_;
    Millis timeout_;
    Millis duplicateResend_;
    TftpTerms terms_;
    // The last block acknowledged; the window holds the blocks after it, in order.
    std::uint16_t acknowledged_ = 0;
    std::deque<Unacknowledged> window_;
    bool lastBlockRead_ = false;  // the short (or empty) last block has been read
    bool oackOut_ = false;        // the OACK is the packet waiting for its ACK
    std::uint64_t acknowledgedBytes_ = 0;
    bool resend_ = false;
    // Blocks at the front of the window that went out again after the last loss the client
    // reported, and may still be on their way: an ACK among them is no new loss.
    std::size_t resentAhead_ = 0;
    // The client's repeat of its last ACK (RFC 7440: the block after it was lost) has been
    // answered since the window last moved on.
    bool repeatAnswered_ = false;
    std::vector<std::uint8_t> buffer_;  // one block read from the source
    Clock::time_point deadline_{};
    Clock::time_point sentAt_{};  // when the current block last went out
    TftpTransferState state_ = TftpTransferState::waiting;
};

}  // namespace vantor

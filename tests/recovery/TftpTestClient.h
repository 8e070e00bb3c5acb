#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/CTimedSocket.h"
#include "recovery/RecoveryLab.h"
#include "recovery/TftpPacket.h"

namespace vantor::test {

// A TFTP client of our own, in a device namespace, for what a real client will not do: lose
// acknowledgements, fall silent, send stray datagrams, ask for names a URL cannot carry.
class TftpTestClient {
  public:
    struct Packet {
        std::uint16_t opcode = 0;
        std::uint16_t number = 0;  // block of DATA, code of ERROR
        std::vector<std::uint8_t> payload;
        std::string text;                 // message of ERROR
        std::vector<TftpOption> options;  // of an OACK
        Endpoint from{};
    };

    // `from`: the device's address to send from (0: the device's own).
    TftpTestClient(RecoveryLab& lab, const RecoveryLab::Device& device, std::uint32_t from = 0);

    // Sends a request to port 69 of the device's link.
    void request(std::uint16_t opcode, const std::string& name,
                 const std::vector<TftpOption>& options = {});
    void requestRaw(const std::vector<std::uint8_t>& bytes);
    // The next datagram within `limit`; the first one names the server's transfer port.
    std::optional<Packet> next(std::chrono::milliseconds limit = RecoveryLab::kPatience);
    void ack(std::uint16_t block);
    // Sends raw bytes to the server's transfer port.
    void send(const std::vector<std::uint8_t>& bytes);
    const Endpoint& transfer() const { return transfer_; }
    // Room for whole windows of large blocks, which the default receive buffer drops.
    bool raiseReceiveBuffer(std::size_t bytes) { return socket_->RaiseReceiveBuffer(bytes); }

    // Fetches a file, acknowledging each new block unless drop(block, times seen) says to
    // stay silent; stops at the last block or when nothing comes within `limit`. The blocks
    // in the order they came (repeats included) go to `seen`.
    struct Fetch {
        std::vector<std::uint8_t> content;
        std::vector<std::uint16_t> seen;
        bool complete = false;
    };
    Fetch fetch(const std::string& name,
                const std::function<bool(std::uint16_t block, int times)>& drop = {},
                std::chrono::milliseconds limit = RecoveryLab::kPatience);

    // Fetches a file asking for options, as an RFC 7440 receiver: the OACK (if one comes) is
    // acknowledged with ACK 0 and kept in `oack`; blocks of the agreed size are acknowledged
    // at the end of each window of `window` blocks, and a block out of order is answered
    // once with the ACK of the last block in order. drop() loses blocks as in fetch().
    struct OptionFetch {
        Fetch fetch;
        std::optional<std::vector<TftpOption>> oack;
    };
    OptionFetch fetchWithOptions(const std::string& name, const std::vector<TftpOption>& options,
                                 std::size_t blockSize, std::size_t window,
                                 const std::function<bool(std::uint16_t, int)>& drop = {});

  private:
    std::unique_ptr<CTimedSocket> socket_;
    Endpoint server_;
    Endpoint transfer_{};
};

}  // namespace vantor::test

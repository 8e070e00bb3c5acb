#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "upgrade/CodeUpdateTransport.h"

namespace vantor::test {

using Bytes = std::vector<std::uint8_t>;

// A packet of the PC as a device reads it, decoded here byte by byte, independently of the
// sender's own codec.
struct SentPacket {
    std::uint8_t command = 0;
    std::uint8_t count = 0;
    std::uint8_t flags = 0;
    std::uint16_t page = 0;
    Bytes password;  // the 16-byte field
    std::uint16_t version = 0;
    Bytes body;
    std::size_t length = 0;
};
SentPacket decode(const Bytes& packet);

// A reply of the device: 23 bytes unless told.
Bytes reply(std::uint8_t code, std::uint8_t detail = 0, std::uint16_t page = 0,
            std::size_t length = 23);

// A device in the test's process. Each packet sent is recorded and handed to the responder,
// whose replies are queued for the following waits; a wait with nothing queued is silent. A
// queued empty optional is a failed receive.
class FakeCodeUpdateDevice {
  public:
    using Replies = std::vector<std::optional<Bytes>>;
    using Responder = std::function<Replies(const SentPacket& packet, std::size_t index)>;

    explicit FakeCodeUpdateDevice(Responder responder);

    // A transport to this device (several may exist; they share the device).
    std::unique_ptr<CodeUpdateTransport> transport();

    std::vector<SentPacket> sent() const;
    int waits() const;
    void failSendsFrom(std::size_t index);  // sends from this one on fail
    // Called on every wait, before it is answered (a test's hook, e.g. to request a stop).
    void onWait(std::function<void(int wait)> hook);

    bool send(const Bytes& packet);
    int receive(std::uint8_t* buffer, std::size_t size);

  private:
    mutable std::mutex mutex_;
    Responder responder_;
    std::vector<SentPacket> sent_;
    std::deque<std::optional<Bytes>> queue_;
    int waits_ = 0;
    std::optional<std::size_t> failFrom_;
    std::function<void(int)> waitHook_;
};

// A device that knows its model: it answers a model query with TFTP_MODEL, acknowledges each
// data packet's first page and accepts every end packet.
FakeCodeUpdateDevice::Responder goodDevice(std::uint8_t model = 1);

// The packets of one kind among those sent.
std::vector<SentPacket> ofCommand(const std::vector<SentPacket>& packets, std::uint8_t command);

}  // namespace vantor::test

#pragma once

#include <chrono>
#include <cstdint>
#include <span>

namespace vantor {

// The datagram path between the code update sender and one device.
class CodeUpdateTransport {
  public:
    virtual ~CodeUpdateTransport() = default;
    // Sends one datagram to the device; false when it could not be sent.
    virtual bool send(std::span<const std::uint8_t> datagram) = 0;
    // Waits up to timeout for a datagram from any sender and receives it into buffer: its
    // length (an empty datagram gives 0), 0 when the time ran out or the wait was woken by a
    // stop request, -1 when the wait or the receive failed. A datagram longer than the buffer
    // is cut to it.
    virtual int receive(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) = 0;
};

}  // namespace vantor

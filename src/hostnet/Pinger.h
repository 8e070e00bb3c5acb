#pragma once

#include <cstddef>
#include <string>

namespace vantor {

// Asks whether a host answers ICMP echo: up to `attempts` requests, one after the other, each
// with dataSize bytes of data; true at the first valid reply. Safe to call from several
// threads at once. Blocks for up to about attempts times the echo time-out.
class Pinger {
  public:
    virtual ~Pinger() = default;
    virtual bool PingHost(const std::string& host, int attempts, std::size_t dataSize) = 0;
    // Whether this PC may send echo requests at all: without, PingHost's false says nothing
    // about the host.
    virtual bool CanSendEcho() { return true; }
};

}  // namespace vantor

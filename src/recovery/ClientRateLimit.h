#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

#include "base/Timings.h"
#include "recovery/DhcpWire.h"
#include "recovery/RecentTable.h"

namespace vantor {

// Whether the responder answers a DHCP message: at most kDhcpMessagesPerClientWindow of one
// client MAC per window, the rest dropped until the next window of that MAC. A client in a
// loop, or a host flooding with one MAC, would otherwise have every message answered, each
// answer costing a reply and a run of the route and ARP tools. MACs are followed in a bounded
// table; a MAC not in it is always let through, even when the table is full, so a flood of
// forged MACs never locks a real device out. Pure: the time is a parameter.
class ClientRateLimit {
  public:
    using Clock = std::chrono::steady_clock;

    struct Verdict {
        bool answer = true;
        // The messages of this MAC dropped in its current window, this one included: 1 at the
        // first drop (the moment to trace it), 0 when the message is answered.
        std::size_t droppedInWindow = 0;
    };

    explicit ClientRateLimit(Millis window) : window_(window) {}

    // A message of `macText` came at `now`.
    Verdict Admit(std::string_view macText, Clock::time_point now);
    // Every message dropped since the start.
    std::size_t droppedTotal() const { return droppedTotal_; }

  private:
    struct Client {
        Clock::time_point since;  // the start of its window
        std::size_t answered = 0;
        std::size_t dropped = 0;
    };

    Millis window_;
    RecentTable<Client> clients_{kDhcpRateLimitedClients};
    std::size_t droppedTotal_ = 0;
};

}  // namespace vantor

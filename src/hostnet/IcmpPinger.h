#pragma once

#include <functional>

#include "base/Timings.h"
#include "hostnet/IcmpSocketKind.h"
#include "hostnet/Pinger.h"

namespace vantor {

// PingHost over the kernel's ICMP sockets, with the fixed request parameters: time to live
// 30, type of service 0, fragmentation allowed, data of "E" bytes, Timings::pingTimeout per
// attempt.
class IcmpPinger final : public Pinger {
  public:
    // cancelled, when given, is asked before every attempt: true ends the call unanswered.
    // rawSource, when given, makes the raw sockets (see CPing).
    explicit IcmpPinger(const Timings& timings, IcmpSocketKind kind = IcmpSocketKind::Any,
                        std::function<bool()> cancelled = {}, RawIcmpSource rawSource = {})
        : timeout_(timings.pingTimeout),
          kind_(kind),
          cancelled_(std::move(cancelled)),
          rawSource_(std::move(rawSource)) {}
    bool PingHost(const std::string& host, int attempts, std::size_t dataSize) override;
    bool CanSendEcho() override;

  private:
    Millis timeout_;
    IcmpSocketKind kind_;
    std::function<bool()> cancelled_;
    RawIcmpSource rawSource_;
};

}  // namespace vantor

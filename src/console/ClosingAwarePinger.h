#pragma once

#include "hostnet/Pinger.h"
#include "ports/RunGate.h"

namespace vantor {

// The pinger workers are handed: echoes take seconds, and a program that is closing has no
// use for their answer, so it answers false at once then.
class ClosingAwarePinger final : public Pinger {
  public:
    ClosingAwarePinger(Pinger& pinger, const RunGate& gate) : pinger_(pinger), gate_(gate) {}
    bool PingHost(const std::string& host, int attempts, std::size_t dataSize) override {
        if (gate_.closing()) {
            return false;
        }
        return pinger_.PingHost(host, attempts, dataSize);
    }
    bool CanSendEcho() override { return pinger_.CanSendEcho(); }

  private:
    Pinger& pinger_;
    const RunGate& gate_;
};

}  // namespace vantor

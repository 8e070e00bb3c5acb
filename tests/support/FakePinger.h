#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "hostnet/Pinger.h"

namespace vantor::test {

// Answers echo for the hosts the test names, and records every call.
class FakePinger final : public Pinger {
  public:
    struct Call {
        std::string host;
        int attempts;
        std::size_t dataSize;
    };

    void answer(const std::string& host, bool on = true);
    // Decides every later call instead of the answering hosts (called without the lock held).
    void script(std::function<bool(const Call& call)> decide);
    bool PingHost(const std::string& host, int attempts, std::size_t dataSize) override;
    // As a PC without the privilege to send echo requests: nobody answers.
    void forbidEcho() { echoAllowed_ = false; }
    bool CanSendEcho() override { return echoAllowed_.load(); }
    std::vector<Call> calls();

  private:
    std::mutex mutex_;
    std::set<std::string> answering_;
    std::function<bool(const Call& call)> script_;
    std::vector<Call> calls_;
    std::atomic<bool> echoAllowed_{true};
};

}  // namespace vantor::test

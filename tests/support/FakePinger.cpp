#include "support/FakePinger.h"

namespace vantor::test {

void FakePinger::answer(const std::string& host, bool on) {
    std::lock_guard lock(mutex_);
    if (on) {
        answering_.insert(host);
    } else {
        answering_.erase(host);
    }
}

void FakePinger::script(std::function<bool(const Call& call)> decide) {
    std::lock_guard lock(mutex_);
    script_ = std::move(decide);
}

bool FakePinger::PingHost(const std::string& host, int attempts, std::size_t dataSize) {
    std::function<bool(const Call& call)> decide;
    const Call call{host, attempts, dataSize};
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
        if (!echoAllowed_) {
            return false;
        }
        if (!script_) {
            return answering_.count(host) > 0;
        }
        decide = script_;
    }
    return decide(call);
}

std::vector<FakePinger::Call> FakePinger::calls() {
    std::lock_guard lock(mutex_);
    return calls_;
}

}  // namespace vantor::test

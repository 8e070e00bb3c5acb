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

bool FakePinger::PingHost(const std::string& host, int attempts, std::size_t dataSize) {
    std::lock_guard lock(mutex_);
    calls_.push_back({host, attempts, dataSize});
    return answering_.count(host) > 0;
}

std::vector<FakePinger::Call> FakePinger::calls() {
    std::lock_guard lock(mutex_);
    return calls_;
}

}  // namespace vantor::test

#include "upgrade/FakeCodeUpdateDevice.h"

#include <algorithm>

namespace vantor::test {

namespace {

class SharedTransport final : public CodeUpdateTransport {
  public:
    explicit SharedTransport(FakeCodeUpdateDevice& device) : device_(device) {}
    bool send(std::span<const std::uint8_t> datagram) override {
        return device_.send(Bytes(datagram.begin(), datagram.end()));
    }
    int receive(std::span<std::uint8_t> buffer, std::chrono::milliseconds) override {
        return device_.receive(buffer.data(), buffer.size());
    }

  private:
    FakeCodeUpdateDevice& device_;
};

}  // namespace

SentPacket decode(const Bytes& p) {
    SentPacket s;
    s.length = p.size();
    if (p.size() < 23) {
        return s;
    }
    s.command = p[0];
    s.count = p[1];
    s.flags = p[2];
    s.page = static_cast<std::uint16_t>(p[3] | (p[4] << 8));
    s.password.assign(p.begin() + 5, p.begin() + 21);
    s.version = static_cast<std::uint16_t>(p[21] | (p[22] << 8));
    s.body.assign(p.begin() + 23, p.end());
    return s;
}

Bytes reply(std::uint8_t code, std::uint8_t detail, std::uint16_t page, std::size_t length) {
    Bytes r(length, 0);
    if (length >= 5) {
        r[0] = code;
        r[1] = detail;
        r[3] = static_cast<std::uint8_t>(page & 0xFF);
        r[4] = static_cast<std::uint8_t>(page >> 8);
    }
    return r;
}

FakeCodeUpdateDevice::FakeCodeUpdateDevice(Responder responder)
    : responder_(std::move(responder)) {}

std::unique_ptr<CodeUpdateTransport> FakeCodeUpdateDevice::transport() {
    return std::make_unique<SharedTransport>(*this);
}

std::vector<SentPacket> FakeCodeUpdateDevice::sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

int FakeCodeUpdateDevice::waits() const {
    std::lock_guard lock(mutex_);
    return waits_;
}

void FakeCodeUpdateDevice::failSendsFrom(std::size_t index) {
    std::lock_guard lock(mutex_);
    failFrom_ = index;
}

void FakeCodeUpdateDevice::onWait(std::function<void(int)> hook) {
    std::lock_guard lock(mutex_);
    waitHook_ = std::move(hook);
}

bool FakeCodeUpdateDevice::send(const Bytes& packet) {
    std::lock_guard lock(mutex_);
    const std::size_t index = sent_.size();
    if (failFrom_ && index >= *failFrom_) {
        return false;
    }
    sent_.push_back(decode(packet));
    for (auto& r : responder_(sent_.back(), index)) {
        queue_.push_back(std::move(r));
    }
    return true;
}

int FakeCodeUpdateDevice::receive(std::uint8_t* buffer, std::size_t size) {
    std::function<void(int)> hook;
    int wait = 0;
    {
        std::lock_guard lock(mutex_);
        wait = ++waits_;
        hook = waitHook_;
    }
    if (hook) {
        hook(wait);
    }
    std::lock_guard lock(mutex_);
    if (queue_.empty()) {
        return 0;
    }
    const std::optional<Bytes> next = std::move(queue_.front());
    queue_.pop_front();
    if (!next) {
        return -1;
    }
    const std::size_t n = std::min(size, next->size());
    std::fill(buffer, buffer + size, std::uint8_t{0});
    std::copy_n(next->begin(), n, buffer);
    return static_cast<int>(n);
}

FakeCodeUpdateDevice::Responder goodDevice(std::uint8_t model) {
    return [model](const SentPacket& p, std::size_t) -> FakeCodeUpdateDevice::Replies {
        switch (p.command) {
            case 7:
                return {reply(7, model)};
            case 5:
                return {reply(1, 0, p.page)};
            case 6:
                return {reply(1)};
            default:
                return {};
        }
    };
}

std::vector<SentPacket> ofCommand(const std::vector<SentPacket>& packets, std::uint8_t command) {
    std::vector<SentPacket> out;
    std::copy_if(packets.begin(), packets.end(), std::back_inserter(out),
                 [&](const SentPacket& p) { return p.command == command; });
    return out;
}

}  // namespace vantor::test

#include "support/FakeInterfaceSource.h"

#include "base/Ipv4.h"

namespace vantor::test {

FakeInterfaceSource::FakeInterfaceSource(std::vector<std::string> addresses,
                                         std::optional<std::string> name)
    : addresses_(std::move(addresses)), name_(std::move(name)) {}

void FakeInterfaceSource::set(std::vector<std::string> addresses) {
    std::lock_guard lock(mutex_);
    addresses_ = std::move(addresses);
}

void FakeInterfaceSource::setName(std::optional<std::string> name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

std::optional<std::string> FakeInterfaceSource::hostName() {
    std::lock_guard lock(mutex_);
    return name_;
}

std::vector<std::uint32_t> FakeInterfaceSource::addresses() {
    std::lock_guard lock(mutex_);
    std::vector<std::uint32_t> result;
    for (const std::string& text : addresses_) {
        if (const auto address = Ipv4::parse(text)) {
            result.push_back(*address);
        }
    }
    return result;
}

}  // namespace vantor::test

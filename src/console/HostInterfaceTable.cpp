#include "console/HostInterfaceTable.h"

#include "base/Ipv4.h"

namespace vantor {

namespace {

constexpr std::string_view kHostNameWarning =
    "> Warning: The host name of this machine could not be obtained.\r\n";
constexpr std::string_view kLoopbackText = "127.0.0.1";

std::vector<std::uint32_t> capped(std::vector<std::uint32_t> addresses) {
    if (addresses.size() > kMaxInterfaces) {
        addresses.resize(kMaxInterfaces);  // the table holds 16; further addresses are ignored
    }
    return addresses;
}

}  // namespace

bool HostInterfaceTable::store(const std::vector<std::uint32_t>& addresses) {
    count_ = 0;
    for (std::uint32_t address : addresses) {
        addresses_[static_cast<std::size_t>(count_++)] = Ipv4::format(address);
    }
    const bool onlyLoopback = count_ == 1 && addresses_[0] == kLoopbackText;
    if (onlyLoopback) {
        count_ = 0;
    }
    return onlyLoopback;
}

bool HostInterfaceTable::refresh() {
    if (!source_.hostName()) {
        return false;
    }
    const std::vector<std::uint32_t> addresses = capped(source_.addresses());
    std::lock_guard lock(mutex_);
    store(addresses);
    return true;
}

std::vector<std::string> HostInterfaceTable::addresses() const {
    std::lock_guard lock(mutex_);
    return {addresses_.begin(), addresses_.begin() + static_cast<std::ptrdiff_t>(count_)};
}

int HostInterfaceTable::count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

std::string HostInterfaceTable::prefixFor(std::uint32_t nic) const {
    if (count() > 1) {
        return "> [NIC " + Ipv4::format(nic) + "]";
    }
    return ">";
}

std::vector<std::uint32_t> HostInterfaceTable::listForMode(ConsoleMode mode, ReportPort& report) {
    const int tag = tagOf(mode);
    std::optional<std::string> hostName = source_.hostName();
    if (!hostName) {
        report.appendStatus(tag, std::string(kHostNameWarning));
        hostName = std::string();
    }
    std::vector<std::uint32_t> addresses = capped(source_.addresses());
    int count = 0;
    {
        std::lock_guard lock(mutex_);
        const bool onlyLoopback = store(addresses);
        // Listening for announcements needs an address; recovery reports an empty host as zero
        // interfaces rather than as an error.
        const bool none = onlyLoopback || (mode == ConsoleMode::Auto && count_ == 0);
        count = none ? -1 : count_;
    }
    if (count < 0) {
        report.appendStatus(tag, "> Error: No NIC found on this machine (" + *hostName + "):\r\n");
        return {};
    }
    report.appendStatus(
        tag, "> " + std::to_string(count) + " NICs found on this machine (" + *hostName + "):\r\n");
    addresses.resize(static_cast<std::size_t>(count));
    return addresses;
}

}  // namespace vantor

#include "hostnet/PrivilegeCheck.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

#include "hostnet/Capabilities.h"
#include "net/WellKnownPorts.h"

namespace vantor {
namespace {

std::string readSetting(const char* path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

// "a", "a and b", "a, b and c".
std::string joinWithAnd(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            text += i + 1 == items.size() ? " and " : ", ";
        }
        text += items[i];
    }
    return text;
}

std::string_view jobOf(Privilege privilege) {
    switch (privilege) {
        case Privilege::ArpAndRoutes:
            return "change the ARP cache and the routing table";
        case Privilege::Echo:
            return "send ICMP echo requests";
        case Privilege::BootPorts:
            return "answer boot requests on UDP ports 67 and 69";
    }
    return {};
}

std::string_view capabilityOf(Privilege privilege) {
    switch (privilege) {
        case Privilege::ArpAndRoutes:
            return "cap_net_admin";
        case Privilege::Echo:
            return "cap_net_raw";
        case Privilege::BootPorts:
            return "cap_net_bind_service";
    }
    return {};
}

}  // namespace

PrivilegeState PrivilegeCheck::Probe() {
    PrivilegeState state;
    if (const auto sets = Capabilities::OfThisThread()) {
        state.effective = sets->effective;
        state.permitted = sets->permitted;
    }
    std::vector<gid_t> groups(1, ::getegid());
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        groups.resize(1 + static_cast<std::size_t>(count));
        const int got = ::getgroups(count, groups.data() + 1);
        groups.resize(1 + static_cast<std::size_t>(got < 0 ? 0 : got));
    }
    // /proc/sys/net shows the settings of the calling thread's network namespace.
    state.pingGroupAllowed =
        PingGroupAllows(readSetting("/proc/sys/net/ipv4/ping_group_range"), groups);
    const std::string portStart = readSetting("/proc/sys/net/ipv4/ip_unprivileged_port_start");
    int value = 0;
    if (std::from_chars(portStart.data(), portStart.data() + portStart.size(), value).ec ==
        std::errc{}) {
        state.unprivilegedPortStart = value;
    }
    return state;
}

bool PrivilegeCheck::CanChangeArpAndRoutes(const PrivilegeState& state) {
    return (state.permitted & Capabilities::kNetAdmin) != 0;
}

bool PrivilegeCheck::CanSendEcho(const PrivilegeState& state) {
    return (state.effective & Capabilities::kNetRaw) != 0 || state.pingGroupAllowed;
}

bool PrivilegeCheck::CanServeBootRequests(const PrivilegeState& state) {
    const int lowestPort = std::min<int>(kDhcpServerPort, kTftpPort);
    return (state.effective & Capabilities::kNetBindService) != 0 ||
           state.unprivilegedPortStart <= lowestPort;
}

bool PrivilegeCheck::Has(const PrivilegeState& state, Privilege privilege) {
    switch (privilege) {
        case Privilege::ArpAndRoutes:
            return CanChangeArpAndRoutes(state);
        case Privilege::Echo:
            return CanSendEcho(state);
        case Privilege::BootPorts:
            return CanServeBootRequests(state);
    }
    return false;
}

std::string PrivilegeCheck::StatusText(const PrivilegeState& state) {
    return StatusText(state, kEveryPrivilege);
}

std::string PrivilegeCheck::StatusText(const PrivilegeState& state,
                                       std::span<const Privilege> needed) {
    std::vector<std::string> jobs;
    std::vector<Privilege> missing;
    for (const Privilege privilege : needed) {
        if (Has(state, privilege)) {
            continue;
        }
        missing.push_back(privilege);
        jobs.emplace_back(jobOf(privilege));
    }
    if (jobs.empty()) {
        return {};
    }
    return "> Warning: Vantor is not allowed to " + joinWithAnd(jobs) +
           ", so these steps will fail. " + Remedy(missing, state) + "\r\n";
}

std::string PrivilegeCheck::Remedy(std::span<const Privilege> missing,
                                   const PrivilegeState& state) {
    std::string setcap;
    for (const Privilege privilege : missing) {
        if (!setcap.empty()) {
            setcap += ',';
        }
        setcap += capabilityOf(privilege);
    }
    if (state.helperPath.empty()) {
        return "Run it as root, or give the program the capabilities with \"setcap " + setcap +
               "+ep\".";
    }
    const std::string line = "\"setcap " + setcap + "+ep " + state.helperPath + "\"";
    if (!state.helperProblem.empty()) {
        return "Its network helper " + state.helperPath + " could not be started (" +
               state.helperProblem + "): run Vantor as root, or install the helper and give it " +
               "the capabilities with " + line + ".";
    }
    return "Run it as root, or give its network helper the capabilities with " + line + ".";
}

bool PrivilegeCheck::PingGroupAllows(std::string_view range, std::span<const gid_t> groups) {
    std::istringstream in{std::string(range)};
    long long low = 0;
    long long high = 0;
    if (!(in >> low >> high)) {
        return false;
    }
    for (const gid_t group : groups) {
        if (static_cast<long long>(group) >= low && static_cast<long long>(group) <= high) {
            return true;
        }
    }
    return false;
}

}  // namespace vantor

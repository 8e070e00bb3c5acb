#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace vantor {

// What the program may do on the network, as far as the kernel will let it.
struct PrivilegeState {
    std::uint64_t effective = 0;  // capability bits of the calling thread
    std::uint64_t permitted = 0;
    bool pingGroupAllowed = false;     // net.ipv4.ping_group_range holds one of our groups
    int unprivilegedPortStart = 1024;  // net.ipv4.ip_unprivileged_port_start
    // The network helper whose capabilities `effective` and `permitted` are; empty: this
    // process's own.
    std::string helperPath;
    // Why that helper could not be started (it then holds nothing); empty when it runs.
    std::string helperProblem;
};

// What a job of the program needs beyond an ordinary user's rights.
enum class Privilege : std::uint8_t {
    ArpAndRoutes,  // cap_net_admin, for `ip`
    Echo,          // cap_net_raw, unless the ping group range holds one of our groups
    BootPorts,     // cap_net_bind_service, for UDP ports 67 and 69
};
inline constexpr std::array kEveryPrivilege{Privilege::ArpAndRoutes, Privilege::Echo,
                                            Privilege::BootPorts};

// Tells the operator, in plain words, what the program cannot do for lack of privileges and
// how to grant them: without them the tools and sockets fail one by one and the log would
// only show the effects.
class PrivilegeCheck {
  public:
    // Reads the calling thread's capabilities and the two network settings of its namespace.
    static PrivilegeState Probe();

    // `ip` gets CAP_NET_ADMIN from us as root or as an ambient capability (see
    // AmbientCapabilityScope), both of which need it in our permitted set.
    static bool CanChangeArpAndRoutes(const PrivilegeState& state);
    static bool CanSendEcho(const PrivilegeState& state);
    static bool CanServeBootRequests(const PrivilegeState& state);

    static bool Has(const PrivilegeState& state, Privilege privilege);

    // One status-log line naming what is missing, or empty when nothing is.
    static std::string StatusText(const PrivilegeState& state);
    // The same line for the privileges a mode needs: only those of `needed` that are missing.
    static std::string StatusText(const PrivilegeState& state, std::span<const Privilege> needed);
    // How to grant them: "Run it as root, or give the program the capabilities with
    // \"setcap cap_net_raw+ep\"."; with a helper, the setcap line names the helper's file.
    static std::string Remedy(std::span<const Privilege> missing, const PrivilegeState& state = {});

    // Whether a "low high" group range as in net.ipv4.ping_group_range holds one of groups.
    static bool PingGroupAllows(std::string_view range, std::span<const gid_t> groups);
};

}  // namespace vantor

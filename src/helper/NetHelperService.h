#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/UniqueFd.h"
#include "helper/HelperHost.h"
#include "hostnet/NetHelperRecord.h"

namespace vantor {

// One answer of the helper, and the descriptor that rides on it (when valid).
struct HelperReply {
    HelperAnswer answer;
    UniqueFd descriptor;
};

// The network helper's decisions: which requests of the unprivileged program it carries out
// and which it refuses, and what it has changed on the program's behalf. It remembers the
// neighbour entries it planted and the host routes it added, so that it removes only those
// (never the administrator's) and, at the end, all of those the operator has not kept.
// Single-threaded, as the helper is.
class NetHelperService {
  public:
    // How many neighbour entries, and how many host routes, it holds at once: far more than
    // the modes plant (one a listening interface, one a device being upgraded), and a bound
    // on what a runaway program can leave in the kernel's tables.
    static constexpr std::size_t kMaxRemembered = 1024;

    explicit NetHelperService(HelperHost& host) : host_(host) {}

    HelperReply Handle(const HelperRequest& request);
    // Removes every neighbour entry and host route made here and not kept; failures are
    // passed over, there is nobody left to tell.
    void RemoveAll();

  private:
    struct Neighbour {
        std::uint32_t address = 0;
        std::string interfaceName;
        bool operator==(const Neighbour&) const = default;
    };

    HelperReply dispatch(const HelperRequest& request);
    HelperReply openUdp(const HelperRequest& request);
    HelperReply openUdpOnInterface(const HelperRequest& request);
    HelperReply probeUdpPort(const HelperRequest& request);
    HelperReply openRawIcmp();
    HelperReply plantNeighbour(const HelperRequest& request);
    HelperReply removeNeighbour(const HelperRequest& request);
    HelperReply removeNeighbourOn(const HelperRequest& request);
    HelperReply addHostRoute(const HelperRequest& request);
    HelperReply removeHostRoute(const HelperRequest& request);
    HelperReply keep(const HelperRequest& request);

    ToolResult deleteNeighbour(const Neighbour& neighbour);
    ToolResult deleteRoute(std::uint32_t address);

    HelperHost& host_;
    std::vector<Neighbour> neighbours_;
    std::vector<std::uint32_t> routes_;
    // Made here and kept: left at the end, but still ours to remove before.
    std::vector<std::uint32_t> keptRoutes_;
};

}  // namespace vantor

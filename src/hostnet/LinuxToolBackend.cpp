#include "hostnet/LinuxToolBackend.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <sstream>

#include "base/InterfaceList.h"
#include "base/Ipv4.h"
#include "hostnet/HostToolLimits.h"

namespace vantor {
namespace {

constexpr std::string_view kListingHeader = "Destination\tGateway\tInterface\tSource\tMetric\n";
constexpr std::string_view kOnLink = "On-link";
constexpr std::string_view kAbsent = "-";

// Route types that "ip route" prints in front of the destination.
constexpr std::array<std::string_view, 10> kRouteTypes{
    "unicast",   "local",    "broadcast", "multicast", "unreachable",
    "blackhole", "prohibit", "throw",     "nat",       "anycast"};

struct NextHop {
    std::string via;
    std::string device;
};

struct Route {
    std::string type;
    std::string destination;
    NextHop hop;
    std::string source;
    std::string metric;
    std::vector<NextHop> nextHops;  // of a multipath route, from its "nexthop" lines
};

std::vector<std::string> splitWords(std::string_view line) {
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

// Reads the "via" and "dev" of a route or nexthop line, and optionally "src" and "metric".
void readAttributes(const std::vector<std::string>& words, std::size_t from, NextHop& hop,
                    Route* route) {
    for (std::size_t i = from; i + 1 < words.size(); ++i) {
        const std::string& key = words[i];
        std::string value = words[i + 1];
        if (key == "via") {
            // A gateway of another family is written "via inet6 ADDRESS".
            if ((value == "inet" || value == "inet6") && i + 2 < words.size()) {
                value = words[++i + 1];
            }
            hop.via = value;
            ++i;
        } else if (key == "dev") {
            hop.device = value;
            ++i;
        } else if (route != nullptr && key == "src") {
            route->source = value;
            ++i;
        } else if (route != nullptr && key == "metric") {
            route->metric = value;
            ++i;
        }
    }
}

std::optional<Route> parseRoute(const std::vector<std::string>& words) {
    Route route;
    std::size_t at = 0;
    if (std::find(kRouteTypes.begin(), kRouteTypes.end(), words[0]) != kRouteTypes.end()) {
        route.type = words[0];
        at = 1;
    }
    if (at >= words.size()) {
        return std::nullopt;
    }
    const std::string& destination = words[at];
    if (destination != "default" && (destination[0] < '0' || destination[0] > '9')) {
        return std::nullopt;
    }
    route.destination = destination;
    readAttributes(words, at + 1, route.hop, &route);
    return route;
}

std::string row(const Route& route, const NextHop& hop) {
    std::string gateway = hop.via;
    if (gateway.empty()) {
        gateway = route.type.empty() || route.type == "unicast" ? std::string(kOnLink) : route.type;
    }
    const auto orAbsent = [](const std::string& value) {
        return value.empty() ? std::string(kAbsent) : value;
    };
    return route.destination + "\t" + gateway + "\t" + orAbsent(hop.device) + "\t" +
           orAbsent(route.source) + "\t" + (route.metric.empty() ? "0" : route.metric) + "\n";
}

}  // namespace

LinuxToolBackend::LinuxToolBackend()
    : LinuxToolBackend(std::vector<std::string>(kIpToolPaths.begin(), kIpToolPaths.end()),
                       &IsExecutableFile, &SystemInterfaceOwning) {}

LinuxToolBackend::LinuxToolBackend(std::vector<std::string> toolPaths, FileProbe isExecutable,
                                   InterfaceLookup interfaceOwning)
    : toolPaths_(std::move(toolPaths)),
      isExecutable_(std::move(isExecutable)),
      interfaceOwning_(std::move(interfaceOwning)) {}

std::optional<std::string> LinuxToolBackend::LocateSystemTool(ToolKind kind) const {
    if (kind != ToolKind::Route && kind != ToolKind::Arp) {
        return std::nullopt;
    }
    for (const std::string& path : toolPaths_) {
        if (path.size() < kMaxToolPath && isExecutable_(path)) {
            return path;
        }
    }
    return std::nullopt;
}

std::optional<ToolCommand> LinuxToolBackend::RouteAddCommand(const std::string& routeTool,
                                                             const std::string& destination,
                                                             const std::string& gateway) const {
    const auto local = Ipv4::parse(gateway);
    if (!Ipv4::parse(destination) || !local) {
        return std::nullopt;
    }
    const auto device = interfaceOwning_(*local);
    if (!device) {
        return std::nullopt;
    }
    // The "gateway" is one of our own addresses: the host route is on-link through the
    // interface that owns it, and replies to what we send leave from that address.
    return ToolCommand{routeTool, "route", "replace", destination + "/32",
                       "dev",     *device, "src",     gateway};
}

std::optional<ToolCommand> LinuxToolBackend::RouteDeleteCommand(
    const std::string& routeTool, const std::string& destination) const {
    if (!Ipv4::parse(destination)) {
        return std::nullopt;
    }
    return ToolCommand{routeTool, "route", "del", destination + "/32"};
}

std::optional<ToolCommand> LinuxToolBackend::ArpAddCommand(
    const std::string& arpTool, const std::string& ip, const std::string& mac,
    const std::string& interfaceAddress) const {
    const auto lladdr = LinkLayerAddress(mac);
    const auto local = Ipv4::parse(interfaceAddress);
    if (!Ipv4::parse(ip) || !lladdr || !local) {
        return std::nullopt;
    }
    const auto device = interfaceOwning_(*local);
    if (!device) {
        return std::nullopt;
    }
    return ToolCommand{arpTool, "neigh", "replace", ip,    "lladdr",
                       *lladdr, "dev",   *device,   "nud", "permanent"};
}

std::optional<ToolCommand> LinuxToolBackend::ArpDeleteCommand(const std::string& arpTool,
                                                              const std::string& ip) const {
    // "nud all": a flush leaves permanent entries alone otherwise, and those are the ones we
    // plant. There is no flush of every entry: the table holds the administrator's entries too.
    if (!Ipv4::parse(ip)) {
        return std::nullopt;
    }
    return ToolCommand{arpTool, "neigh", "flush", "to", ip, "nud", "all"};
}

std::optional<ToolCommand> LinuxToolBackend::ArpDeleteOnCommand(
    const std::string& arpTool, const std::string& ip, const std::string& interfaceAddress) const {
    const auto local = Ipv4::parse(interfaceAddress);
    if (!Ipv4::parse(ip) || !local) {
        return std::nullopt;
    }
    const auto device = interfaceOwning_(*local);
    if (!device) {
        return std::nullopt;
    }
    return ToolCommand{arpTool, "neigh", "del", ip, "dev", *device};
}

ToolCommand LinuxToolBackend::RouteListCommand(const std::string& routeTool) const {
    return ToolCommand{routeTool, "-4", "route", "show"};
}

std::string LinuxToolBackend::FormatRoutingTable(const std::string& listing) const {
    return ReformatRouteListing(listing);
}

std::string LinuxToolBackend::ReformatRouteListing(std::string_view listing) {
    // Each item is a route or a line that is none, in the order of the listing.
    std::vector<std::optional<Route>> routes;
    std::vector<std::string> others;
    bool anyRoute = false;
    std::size_t start = 0;
    while (start < listing.size()) {
        std::size_t end = listing.find('\n', start);
        if (end == std::string_view::npos) {
            end = listing.size();
        }
        std::string_view line = listing.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::vector<std::string> words = splitWords(line);
        if (words.empty()) {
            continue;
        }
        const bool indented = line.front() == ' ' || line.front() == '\t';
        if (indented && words[0] == "nexthop" && !routes.empty() && routes.back()) {
            NextHop hop;
            readAttributes(words, 1, hop, nullptr);
            routes.back()->nextHops.push_back(hop);
            continue;
        }
        auto route = parseRoute(words);
        anyRoute = anyRoute || route.has_value();
        others.push_back(route ? std::string() : std::string(line));
        routes.push_back(std::move(route));
    }

    std::string text;
    if (anyRoute) {
        text += kListingHeader;
    }
    for (std::size_t i = 0; i < routes.size(); ++i) {
        if (!routes[i]) {
            text += others[i] + "\n";
        } else if (routes[i]->nextHops.empty()) {
            text += row(*routes[i], routes[i]->hop);
        } else {
            for (const NextHop& hop : routes[i]->nextHops) {
                text += row(*routes[i], hop);
            }
        }
    }
    return text;
}

std::optional<std::string> LinuxToolBackend::LinkLayerAddress(std::string_view mac) {
    constexpr std::size_t kLength = 17;  // six groups of two digits and five separators
    if (mac.size() != kLength) {
        return std::nullopt;
    }
    std::string result(mac);
    for (std::size_t i = 0; i < kLength; ++i) {
        const char c = mac[i];
        if (i % 3 == 2) {
            if (c != '-' && c != ':') {
                return std::nullopt;
            }
            result[i] = ':';
        } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
    }
    return result;
}

bool LinuxToolBackend::IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> LinuxToolBackend::SystemInterfaceOwning(std::uint32_t address) {
    if (auto owner = InterfaceList::owning(address)) {
        return std::move(owner->name);
    }
    return std::nullopt;
}

}  // namespace vantor

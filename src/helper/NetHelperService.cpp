#include "helper/NetHelperService.h"

#include <algorithm>
#include <cerrno>

#include "base/Ipv4.h"
#include "helper/HelperRules.h"

namespace vantor {
namespace {

constexpr std::string_view kHostPrefix = "/32";

HelperReply done(std::uint8_t flags = 0) {
    HelperReply reply;
    reply.answer.flags = flags;
    return reply;
}

HelperReply refused(std::string why) {
    HelperReply reply;
    reply.answer.status = HelperStatus::refused;
    reply.answer.text = std::move(why);
    return reply;
}

HelperReply failed(int error) {
    HelperReply reply;
    reply.answer.status = HelperStatus::failed;
    reply.answer.error = static_cast<std::uint32_t>(error);
    return reply;
}

// A missing `ip` is ENOENT without words, which the program reports as its missing tool; a
// run that failed carries the tool's words.
HelperReply failed(const ToolResult& result) {
    if (result.toolNotFound()) {
        return failed(ENOENT);
    }
    HelperReply reply;
    reply.answer.status = HelperStatus::failed;
    reply.answer.text = result.failure;
    return reply;
}

HelperReply toolReply(const ToolResult& result) {
    return result.succeeded() ? done() : failed(result);
}

HelperReply handOver(HostSocket socket) {
    if (!socket.descriptor) {
        return failed(socket.error);
    }
    HelperReply reply = done(kHelperDescriptorSent);
    reply.descriptor = std::move(socket.descriptor);
    return reply;
}

std::string notOwned(std::uint32_t address) {
    return "no interface of this PC holds " + Ipv4::format(address);
}

std::string tooMany(std::string_view what) {
    return "the helper holds " + std::to_string(NetHelperService::kMaxRemembered) + " " +
           std::string(what) + " already";
}

}  // namespace

HelperReply NetHelperService::Handle(const HelperRequest& request) {
    HelperReply reply = dispatch(request);
    reply.answer.kind = request.kind;
    reply.answer.sequence = request.sequence;
    return reply;
}

HelperReply NetHelperService::dispatch(const HelperRequest& request) {
    switch (request.kind) {
        case HelperRequestKind::hello: {
            HelperReply reply = done();
            reply.answer.capabilities = host_.EffectiveCapabilities();
            return reply;
        }
        case HelperRequestKind::openUdp:
            return openUdp(request);
        case HelperRequestKind::openUdpOnInterface:
            return openUdpOnInterface(request);
        case HelperRequestKind::probeUdpPort:
            return probeUdpPort(request);
        case HelperRequestKind::openRawIcmp:
            return openRawIcmp();
        case HelperRequestKind::plantNeighbour:
            return plantNeighbour(request);
        case HelperRequestKind::removeNeighbour:
            return removeNeighbour(request);
        case HelperRequestKind::removeNeighbourOn:
            return removeNeighbourOn(request);
        case HelperRequestKind::addHostRoute:
            return addHostRoute(request);
        case HelperRequestKind::removeHostRoute:
            return removeHostRoute(request);
        case HelperRequestKind::keep:
            return keep(request);
    }
    return refused("the helper does not know that request");  // a parse lets no other kind by
}

HelperReply NetHelperService::openUdp(const HelperRequest& request) {
    if (auto refusal = HelperRules::PortRefusal(request.port)) {
        return refused(std::move(*refusal));
    }
    if (!HelperRules::OwnerOf(request.address, host_.Interfaces())) {
        return refused(notOwned(request.address));
    }
    return handOver(host_.OpenUdp(request.address, request.port));
}

HelperReply NetHelperService::openUdpOnInterface(const HelperRequest& request) {
    if (auto refusal = HelperRules::PortRefusal(request.port)) {
        return refused(std::move(*refusal));
    }
    const auto owner = HelperRules::OwnerOf(request.localAddress, host_.Interfaces());
    if (!owner) {
        return refused(notOwned(request.localAddress));
    }
    return handOver(host_.OpenUdpOnInterface(owner->name, request.port));
}

HelperReply NetHelperService::probeUdpPort(const HelperRequest& request) {
    if (auto refusal = HelperRules::PortRefusal(request.port)) {
        return refused(std::move(*refusal));
    }
    const auto owner = HelperRules::OwnerOf(request.localAddress, host_.Interfaces());
    if (!owner) {
        return refused(notOwned(request.localAddress));
    }
    const int error = host_.ProbeUdpPort(owner->name, request.port);
    if (error == EADDRINUSE) {
        return done(kHelperPortTaken);
    }
    return error == 0 ? done() : failed(error);
}

HelperReply NetHelperService::openRawIcmp() {
    if (host_.DatagramIcmpAllowed()) {
        return refused("datagram ICMP sockets are open to this user; no raw socket is needed");
    }
    return handOver(host_.OpenRawIcmp());
}

HelperReply NetHelperService::plantNeighbour(const HelperRequest& request) {
    const auto interfaces = host_.Interfaces();
    if (auto refusal = HelperRules::PeerRefusal(request.address, interfaces)) {
        return refused(std::move(*refusal));
    }
    if (auto refusal = HelperRules::MacRefusal(request.mac)) {
        return refused(std::move(*refusal));
    }
    const auto owner = HelperRules::OwnerOf(request.localAddress, interfaces);
    if (!owner) {
        return refused(notOwned(request.localAddress));
    }
    const Neighbour neighbour{request.address, owner->name};
    const bool known =
        std::find(neighbours_.begin(), neighbours_.end(), neighbour) != neighbours_.end();
    if (!known && neighbours_.size() >= kMaxRemembered) {
        return refused(tooMany("neighbour entries"));
    }
    const ToolResult result =
        host_.RunIp({"neigh", "replace", Ipv4::format(request.address), "lladdr",
                     HelperRules::MacText(request.mac), "dev", owner->name, "nud", "permanent"});
    if (result.succeeded() && !known) {
        neighbours_.push_back(neighbour);
    }
    return toolReply(result);
}

HelperReply NetHelperService::removeNeighbour(const HelperRequest& request) {
    if (auto refusal = HelperRules::PeerRefusal(request.address, host_.Interfaces())) {
        return refused(std::move(*refusal));
    }
    std::optional<ToolResult> firstFailure;
    std::erase_if(neighbours_, [&](const Neighbour& neighbour) {
        if (neighbour.address != request.address) {
            return false;
        }
        const ToolResult result = deleteNeighbour(neighbour);
        if (!result.succeeded() && !firstFailure) {
            firstFailure = result;
        }
        return result.succeeded();
    });
    // Without "nud all": iproute2's flush passes over permanent and noarp entries, so the
    // administrator's permanent entries stay and only the kernel's learnt ones go
    // (ip-neighbour(8)).
    const ToolResult flushed =
        host_.RunIp({"-4", "neigh", "flush", "to", Ipv4::format(request.address)});
    return toolReply(firstFailure.value_or(flushed));
}

HelperReply NetHelperService::removeNeighbourOn(const HelperRequest& request) {
    const auto owner = HelperRules::OwnerOf(request.localAddress, host_.Interfaces());
    if (!owner) {
        return refused(notOwned(request.localAddress));
    }
    const auto planted =
        std::find(neighbours_.begin(), neighbours_.end(), Neighbour{request.address, owner->name});
    if (planted == neighbours_.end()) {
        return refused("no neighbour entry for " + Ipv4::format(request.address) + " on " +
                       owner->name + " was made here");
    }
    const ToolResult result = deleteNeighbour(*planted);
    if (result.succeeded()) {
        neighbours_.erase(planted);
    }
    return toolReply(result);
}

HelperReply NetHelperService::addHostRoute(const HelperRequest& request) {
    const auto interfaces = host_.Interfaces();
    if (auto refusal = HelperRules::PeerRefusal(request.address, interfaces)) {
        return refused(std::move(*refusal));
    }
    const auto owner = HelperRules::OwnerOf(request.localAddress, interfaces);
    if (!owner) {
        return refused(notOwned(request.localAddress));
    }
    const bool known =
        std::find(routes_.begin(), routes_.end(), request.address) != routes_.end() ||
        std::find(keptRoutes_.begin(), keptRoutes_.end(), request.address) != keptRoutes_.end();
    if (!known && routes_.size() >= kMaxRemembered) {
        return refused(tooMany("host routes"));
    }
    const ToolResult result =
        host_.RunIp({"route", "replace", Ipv4::format(request.address) + std::string(kHostPrefix),
                     "dev", owner->name, "src", Ipv4::format(request.localAddress)});
    if (result.succeeded() && !known) {
        routes_.push_back(request.address);
    }
    return toolReply(result);
}

HelperReply NetHelperService::removeHostRoute(const HelperRequest& request) {
    // A kept route may go too: the program moves it when its device moves.
    std::vector<std::uint32_t>& list =
        std::find(routes_.begin(), routes_.end(), request.address) != routes_.end() ? routes_
                                                                                    : keptRoutes_;
    const auto made = std::find(list.begin(), list.end(), request.address);
    if (made == list.end()) {
        return refused("no host route to " + Ipv4::format(request.address) + " was made here");
    }
    const ToolResult result = deleteRoute(request.address);
    if (result.succeeded()) {
        list.erase(made);
    }
    return toolReply(result);
}

HelperReply NetHelperService::keep(const HelperRequest& request) {
    std::erase_if(neighbours_,
                  [&](const Neighbour& neighbour) { return neighbour.address == request.address; });
    if (std::erase(routes_, request.address) > 0 && keptRoutes_.size() < kMaxRemembered) {
        keptRoutes_.push_back(request.address);
    }
    return done();
}

void NetHelperService::RemoveAll() {
    for (const Neighbour& neighbour : neighbours_) {
        deleteNeighbour(neighbour);
    }
    for (const std::uint32_t address : routes_) {
        deleteRoute(address);
    }
    neighbours_.clear();
    routes_.clear();
}

ToolResult NetHelperService::deleteNeighbour(const Neighbour& neighbour) {
    return host_.RunIp(
        {"neigh", "del", Ipv4::format(neighbour.address), "dev", neighbour.interfaceName});
}

ToolResult NetHelperService::deleteRoute(std::uint32_t address) {
    return host_.RunIp({"route", "del", Ipv4::format(address) + std::string(kHostPrefix)});
}

}  // namespace vantor

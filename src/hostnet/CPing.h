#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "hostnet/IcmpSocketKind.h"
#include "hostnet/PingReply.h"

namespace vantor {

// One ICMP echo request and the wait for its reply. Every call opens a socket of its own and
// uses an identifier and sequence number no other call of this process uses at the same time,
// so concurrent calls never take each other's replies (a raw socket sees every echo reply
// that reaches the host; ours are picked out by identifier and sequence).
class CPing {
  public:
    // rawSource, when given, makes the raw sockets: the network helper, for a program without
    // CAP_NET_RAW.
    explicit CPing(IcmpSocketKind kind = IcmpSocketKind::Any, RawIcmpSource rawSource = {})
        : kind_(kind), rawSource_(std::move(rawSource)) {}

    // host: a dotted IPv4 address or a name (its first IPv4 address is used). False at once
    // when the host does not resolve or no ICMP socket can be opened; false after timeoutMs
    // without a valid reply. On true, reply is filled.
    bool PingUsingICMP(const std::string& host, PingReply& reply, int timeToLive, int timeoutMs,
                       std::size_t dataSize, int typeOfService, bool dontFragment);

    static std::optional<std::uint32_t> ResolveHost(const std::string& host);
    // Whether an ICMP socket of this kind may be opened: the kernel refuses one without
    // CAP_NET_RAW or a group in net.ipv4.ping_group_range.
    static bool CanOpenSocket(IcmpSocketKind kind, const RawIcmpSource& rawSource = {});

  private:
    IcmpSocketKind kind_;
    RawIcmpSource rawSource_;
};

}  // namespace vantor

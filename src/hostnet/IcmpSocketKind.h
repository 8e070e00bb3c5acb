#pragma once

#include <functional>

#include "base/UniqueFd.h"

namespace vantor {

// Which kernel facility sends the echo requests. Datagram ICMP sockets need no privilege where
// net.ipv4.ping_group_range admits one of our groups; raw ICMP sockets need CAP_NET_RAW.
enum class IcmpSocketKind {
    Any,       // datagram where allowed, else raw
    Datagram,  // datagram only
    Raw,       // raw only
};

// Where a raw ICMP socket comes from when this process may not open one (an invalid
// descriptor when none can be had).
using RawIcmpSource = std::function<UniqueFd()>;

}  // namespace vantor

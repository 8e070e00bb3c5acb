#pragma once

namespace vantor {

// Which kernel facility sends the echo requests. Datagram ICMP sockets need no privilege where
// net.ipv4.ping_group_range admits one of our groups; raw ICMP sockets need CAP_NET_RAW.
enum class IcmpSocketKind {
    Any,       // datagram where allowed, else raw
    Datagram,  // datagram only
    Raw,       // raw only
};

}  // namespace vantor

#include "hostnet/IcmpPinger.h"

#include "hostnet/CPing.h"
#include "hostnet/IcmpWire.h"

namespace vantor {

bool IcmpPinger::PingHost(const std::string& host, int attempts, std::size_t dataSize) {
    CPing ping(kind_, rawSource_);
    PingReply reply;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (cancelled_ && cancelled_()) {
            return false;
        }
        if (ping.PingUsingICMP(host, reply, kPingTtl, static_cast<int>(timeout_.count()), dataSize,
                               kPingTypeOfService, kPingDontFragment)) {
            return true;
        }
    }
    return false;
}

bool IcmpPinger::CanSendEcho() {
    return CPing::CanOpenSocket(kind_, rawSource_);
}

}  // namespace vantor

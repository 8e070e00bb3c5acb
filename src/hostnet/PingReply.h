#pragma once

#include <cstdint>

namespace vantor {

// What a successful echo attempt learnt. No caller needs it beyond the yes or no.
struct PingReply {
    std::uint32_t address = 0;        // the replying address, network byte order
    std::uint32_t roundTripTime = 0;  // milliseconds
    std::uint32_t status = 0;         // 0: an echo reply arrived
};

}  // namespace vantor

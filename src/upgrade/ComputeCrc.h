#pragma once

#include <cstdint>
#include <span>

namespace vantor {

// The 16-bit check value of the code update protocol and of the update file header. The
// result's low byte is the complemented register's high byte, so that storing the result
// little-endian puts the register high byte first. No bytes give 0.
std::uint16_t computeCrc(std::span<const std::uint8_t> data);

}  // namespace vantor

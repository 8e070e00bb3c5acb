#pragma once

#include <array>
#include <string>

namespace vantor {

// The texts of the six MAC fields and the four IP fields, as the operator left them.
using MacTexts = std::array<std::string, 6>;
using IpTexts = std::array<std::string, 4>;

}  // namespace vantor

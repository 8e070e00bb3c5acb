#pragma once

#include <cstdint>
#include <string_view>

namespace vantor {

// The console's working mode. The same numbers tag status-log rows, so a row written by a
// worker of one mode is shown only while that mode is current.
enum class ConsoleMode : std::int8_t {
    Switching = 0,
    Auto = 1,
    Manual = 2,
    Recovery = 3,
    FirmwareFile = 4,
};

// Status-log tag of a mode; tag 0 is shown in every mode.
inline constexpr int kTagAlways = 0;
constexpr int tagOf(ConsoleMode mode) {
    return static_cast<int>(mode);
}

std::string_view modeName(ConsoleMode mode);

}  // namespace vantor

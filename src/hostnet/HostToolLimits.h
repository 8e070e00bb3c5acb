// The host network tools: where they are looked for, and how much of their output is read.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace vantor {

inline constexpr std::size_t kRunnerBufferSize = 8192;
inline constexpr std::size_t kRunnerMaxRead = kRunnerBufferSize - 1;
inline constexpr std::size_t kMaxToolPath = 260;
// iproute2's `ip`, looked for at these paths only (never through $PATH).
inline constexpr std::array<std::string_view, 4> kIpToolPaths{"/usr/sbin/ip", "/sbin/ip",
                                                              "/usr/bin/ip", "/bin/ip"};

}  // namespace vantor

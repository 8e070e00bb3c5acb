// The host network tools: where they are looked for, and how much of their output is read.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace vantor {

inline constexpr std::size_t kRunnerBufferSize = 8192;
inline constexpr std::size_t kRunnerMaxRead = kRunnerBufferSize - 1;
inline constexpr std::size_t kMaxToolPath = 260;
// The route listing of route.exe: its section rules, and the shorter rule we show instead.
inline constexpr std::size_t kRoutePrintRuleLength = 75;
inline constexpr std::size_t kRoutingTableRuleLength = 52;
// Where route.exe and arp.exe are looked for last, whatever the Windows directory.
inline constexpr std::string_view kWindowsToolFallbackDirectory = "C:\\WINDOWS\\system32\\";
// iproute2's `ip`, looked for at these paths only (never through $PATH).
inline constexpr std::array<std::string_view, 4> kIpToolPaths{"/usr/sbin/ip", "/sbin/ip",
                                                              "/usr/bin/ip", "/bin/ip"};

}  // namespace vantor

// The operator console's fixed sizes: the interface table, the status log, the address fields and
// the banner.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

namespace vantor {

inline constexpr std::size_t kStatusLogMaxRows = 250;
// At most four progress reports a second per transfer reach the view (plus its last one).
inline constexpr std::chrono::milliseconds kProgressReportInterval{250};
inline constexpr std::size_t kMacFieldCount = 6;
inline constexpr std::size_t kIpFieldCount = 4;
inline constexpr std::size_t kMacFieldLimit = 2;
inline constexpr std::size_t kIpFieldLimit = 3;
inline constexpr std::string_view kBlankMarker = " ";
inline constexpr int kBannerTimerId = 1;
inline constexpr int kBannerImageWidth = 432;
inline constexpr int kBannerImageHeight = 29;
inline constexpr std::string_view kDevicePagePathSetup = "/QuickStart/Qlogin.php";
inline constexpr std::string_view kDevicePagePathRoot = "/";
// Shell-style result codes: anything above this value means the page was opened.
inline constexpr int kShellSuccessThreshold = 32;

}  // namespace vantor

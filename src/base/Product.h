// The product's identity: its name and version as the window and the About box show them, and
// the maker's OUI it was built for.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "base/BuildConfig.h"

namespace vantor {

// The project's version (the build's), as `vantor --version` prints it.
inline constexpr std::string_view kVersion = build::kVersion;
inline constexpr std::string_view kWindowTitle = "Vantor  Ver. 5.6.4.0,  Jan 15, 2008";
inline constexpr std::string_view kAboutTitle = "About Vantor";
inline constexpr std::string_view kAboutText = "Vantor Version 5.6.4.0,  Jan 15, 2008";
inline constexpr std::string_view kAboutMenuEntry = "&About Vantor...";
inline constexpr int kAboutMenuCommand = 16;
// The maker's OUI, configured at build time (VANTOR_DEVICE_OUI).
inline constexpr std::array<std::uint8_t, 3> kDeviceOui = build::kDeviceOui;

}  // namespace vantor

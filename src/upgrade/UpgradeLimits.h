// The firmware upgrade's fixed values: the archive's password, how members are told apart and the
// echoes that check the device.
#pragma once

#include <cstddef>
#include <string_view>

namespace vantor {

inline constexpr std::string_view kArchivePassword = "wqzt";
// Upgrade driver.
inline constexpr std::string_view kZipFileFilter = "Zip File (*.zip)|*.zip||";
// Archive members are told apart by the last characters of their stored names.
inline constexpr std::size_t kMemberSuffixSize = 3;
inline constexpr std::string_view kMicrocodeSuffix = "enc";
inline constexpr std::string_view kBinSuffix = "bin";
inline constexpr std::string_view kLogoSuffix = "gif";
inline constexpr int kUpgradeReachAttempts = 2;
inline constexpr int kUpgradeRebootAttempts = 30;
inline constexpr int kUpgradeRebootChecks = 20;
inline constexpr std::size_t kUpgradePingDataSize = 96;

}  // namespace vantor

// The recovery boot service: the address it hands out, the images it serves and the echoes that
// check a device before and after.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vantor {

inline constexpr std::string_view kRecoveryAddress = "192.168.0.100";
inline constexpr std::array<std::uint8_t, 4> kRecoveryAddressOctets = {192, 168, 0, 100};
inline constexpr int kRecoveryPrecheckAttempts = 1;
inline constexpr std::size_t kRecoveryPrecheckDataSize = 96;
inline constexpr int kRecoveryTestAttempts = 3;
inline constexpr std::size_t kRecoveryTestDataSize = 32;
inline constexpr int kRecoveryTestRounds = 30;
// Devices of one interface whose restart after a RAM disk is waited for and pinged at once.
inline constexpr std::size_t kRecoveryMaxRestartWatches = 8;
inline constexpr std::string_view kKernelImage = "kernel.img";
inline constexpr std::string_view kRamDiskImage = "initrds.img";
inline constexpr std::string_view kPxaKernelImage = "kernel-pxa.img";
inline constexpr std::string_view kPxaRamDiskImage = "initrd-pxa.img";
inline constexpr std::size_t kBootImageCount = 4;
inline constexpr std::array<std::string_view, kBootImageCount> kBootImageNames = {
    kKernelImage, kRamDiskImage, kPxaKernelImage, kPxaRamDiskImage};
// The sizes of the images the product ships; the placeholders the build makes have them too.
inline constexpr std::array<std::size_t, kBootImageCount> kBootImageSizes = {754016, 3776576,
                                                                             956692, 4509760};
inline constexpr std::array<int, kBootImageCount> kBootImageResourceIds = {165, 166, 167, 168};
inline constexpr std::size_t kUbootHeaderSize = 64;
// A completed file whose name begins with this is a RAM disk: the device restarts after it.
inline constexpr std::string_view kRamDiskPrefix = "initrd";
// A Host Name option that begins with this tag marks the board that boots "kernel-pxa.img".
inline constexpr std::string_view kPxaBoardTag = "veltpxa";

// The status rows a peer causes (Timings::peerRowWindow is the window): beyond this many row
// groups of one peer a window, the rest are only counted. A host sending thousands of bad
// requests a second would otherwise rotate the whole session out of the bounded log file.
inline constexpr std::size_t kPeerRowGroupsPerWindow = 5;
// The same over all peers together, so that a flood from forged source addresses, each new,
// is folded too.
inline constexpr std::size_t kAllPeersRowGroupsPerWindow = 20;
// Peers whose row groups are counted; the peer seen least recently is forgotten first.
inline constexpr std::size_t kRowCountedPeers = 256;

}  // namespace vantor

// Every fixed number of the system in one place: ports, sizes, counts, addresses and the
// product's identity. Time values live in Timings.h so that tests can shrink them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "console/BuildConfig.h"

namespace vantor {

// ---- Product identity -------------------------------------------------------------------
inline constexpr std::string_view kWindowTitle = "Vantor  Ver. 5.6.4.0,  Jan 15, 2008";
inline constexpr std::string_view kAboutTitle = "About Vantor";
inline constexpr std::string_view kAboutText = "Vantor Version 5.6.4.0,  Jan 15, 2008";
inline constexpr std::string_view kAboutMenuEntry = "&About Vantor...";
inline constexpr int kAboutMenuCommand = 16;

// The maker's OUI, configured at build time (VANTOR_DEVICE_OUI).
inline constexpr std::array<std::uint8_t, 3> kDeviceOui = build::kDeviceOui;

// ---- Operator console ---------------------------------------------------------------------
inline constexpr std::size_t kMaxInterfaces = 16;
inline constexpr std::size_t kHostNameBufferSize = 100;
inline constexpr std::size_t kStatusLogMaxRows = 250;
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

// ---- Host network tools -------------------------------------------------------------------
inline constexpr std::size_t kRunnerBufferSize = 8192;
inline constexpr std::size_t kRunnerMaxRead = kRunnerBufferSize - 1;
inline constexpr std::size_t kMaxToolPath = 260;
inline constexpr int kPingTtl = 30;
inline constexpr int kPingTypeOfService = 0;
inline constexpr bool kPingDontFragment = false;
inline constexpr std::uint8_t kPingDataByte = 'E';
inline constexpr std::size_t kPingReplyOverhead = 28;
// The route listing of route.exe: its section rules, and the shorter rule we show instead.
inline constexpr std::size_t kRoutePrintRuleLength = 75;
inline constexpr std::size_t kRoutingTableRuleLength = 52;
// Where route.exe and arp.exe are looked for last, whatever the Windows directory.
inline constexpr std::string_view kWindowsToolFallbackDirectory = "C:\\WINDOWS\\system32\\";
// iproute2's `ip`, looked for at these paths only (never through $PATH).
inline constexpr std::array<std::string_view, 4> kIpToolPaths{"/usr/sbin/ip", "/sbin/ip",
                                                              "/usr/bin/ip", "/bin/ip"};
// ICMP echo on the wire (RFC 792) inside IPv4 (RFC 791).
inline constexpr std::uint8_t kIpProtocolIcmp = 1;
inline constexpr std::uint8_t kIcmpEchoReply = 0;
inline constexpr std::uint8_t kIcmpEchoRequest = 8;
inline constexpr std::size_t kIcmpEchoHeaderSize = 8;
inline constexpr std::size_t kIpv4MinHeaderSize = 20;
inline constexpr std::size_t kIpv4MaxHeaderSize = 60;

// Echo attempts and data sizes asked for by the callers.
inline constexpr int kManualCheckAttempts = 3;
inline constexpr std::size_t kManualCheckDataSize = 32;
inline constexpr int kManualTestAttempts = 3;
inline constexpr std::size_t kManualTestDataSize = 89;
inline constexpr int kAnnouncePingAttempts = 3;
inline constexpr std::size_t kAnnouncePingDataSize = 32;
inline constexpr int kAnnouncePingRounds = 10;
inline constexpr int kRecoveryPrecheckAttempts = 1;
inline constexpr std::size_t kRecoveryPrecheckDataSize = 96;
inline constexpr int kRecoveryTestAttempts = 3;
inline constexpr std::size_t kRecoveryTestDataSize = 32;
inline constexpr int kRecoveryTestRounds = 30;
inline constexpr int kUpgradeReachAttempts = 2;
inline constexpr int kUpgradeRebootAttempts = 30;
inline constexpr int kUpgradeRebootChecks = 20;
inline constexpr std::size_t kUpgradePingDataSize = 96;

// ---- Address assignment -------------------------------------------------------------------
inline constexpr std::uint16_t kAnnouncePort = 1810;
inline constexpr std::uint16_t kNotifyPort = 1809;
inline constexpr std::size_t kAnnouncementSize = 82;
inline constexpr std::size_t kAnnouncementMacOffset = 8;
inline constexpr std::size_t kAnnouncementIpOffset = 14;
inline constexpr std::size_t kAnnouncementTextOffset = 18;
inline constexpr std::size_t kAnnouncementTextSize = 64;

// ---- Recovery boot service ----------------------------------------------------------------
inline constexpr std::string_view kRecoveryAddress = "192.168.0.100";
inline constexpr std::uint16_t kDhcpServerPort = 67;
inline constexpr std::uint16_t kDhcpClientPort = 68;
inline constexpr std::uint16_t kTftpPort = 69;
inline constexpr std::size_t kDhcpReceiveSize = 1458;
inline constexpr std::size_t kDhcpMinimumSize = 236;
inline constexpr std::size_t kDhcpReplySize = 270;
inline constexpr std::size_t kTftpBlockSize = 512;

// ---- Firmware upgrade ---------------------------------------------------------------------
inline constexpr std::uint16_t kCodeUpdatePort = 69;
inline constexpr std::string_view kArchivePassword = "wqzt";
inline constexpr std::size_t kCodeUpdateHeaderSize = 23;
inline constexpr std::size_t kCodeUpdatePageSize = 256;

}  // namespace vantor

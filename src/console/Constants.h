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
inline constexpr std::array<std::uint8_t, 4> kRecoveryAddressOctets = {192, 168, 0, 100};

// BOOTP/DHCP message layout (RFC 951, RFC 2131) and the responder's fixed answers.
inline constexpr std::uint8_t kBootRequest = 1;
inline constexpr std::uint8_t kBootReply = 2;
inline constexpr std::size_t kDhcpOpOffset = 0;
inline constexpr std::size_t kDhcpHlenOffset = 2;
inline constexpr std::size_t kDhcpCiaddrOffset = 12;
inline constexpr std::size_t kDhcpYiaddrOffset = 16;
inline constexpr std::size_t kDhcpSiaddrOffset = 20;
inline constexpr std::size_t kDhcpChaddrOffset = 28;
inline constexpr std::size_t kDhcpChaddrSize = 16;
inline constexpr std::size_t kDhcpSnameOffset = 44;
inline constexpr std::size_t kDhcpSnameSize = 64;
inline constexpr std::size_t kDhcpFileOffset = 108;
inline constexpr std::size_t kDhcpFileSize = 128;
inline constexpr std::size_t kDhcpCookieOffset = 236;
inline constexpr std::array<std::uint8_t, 4> kDhcpMagicCookie = {99, 130, 83, 99};
inline constexpr std::size_t kDhcpOptionsOffset = 240;
inline constexpr std::uint8_t kDhcpOptionPad = 0;
inline constexpr std::uint8_t kDhcpOptionSubnetMask = 1;
inline constexpr std::uint8_t kDhcpOptionRouter = 3;
inline constexpr std::uint8_t kDhcpOptionHostName = 12;
inline constexpr std::uint8_t kDhcpOptionLeaseTime = 51;
inline constexpr std::uint8_t kDhcpOptionMessageType = 53;
inline constexpr std::uint8_t kDhcpOptionServerId = 54;
inline constexpr std::uint8_t kDhcpOptionEnd = 255;
inline constexpr std::uint8_t kDhcpTypeBootp = 0;  // no message-type option: plain BOOTP
inline constexpr std::uint8_t kDhcpDiscover = 1;
inline constexpr std::uint8_t kDhcpOffer = 2;
inline constexpr std::uint8_t kDhcpRequest = 3;
inline constexpr std::uint8_t kDhcpAck = 5;
inline constexpr std::uint32_t kDhcpLeaseSeconds = 600;
inline constexpr std::size_t kHostNameMaxSize = 128;
inline constexpr std::size_t kServerNameMaxLength = kDhcpSnameSize - 1;
inline constexpr std::string_view kFallbackServerName = "Solvd32DchpServer";
// A Host Name option that begins with this tag marks the board that boots "kernel-pxa.img".
inline constexpr std::string_view kPxaBoardTag = "veltpxa";
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

// TFTP (RFC 1350).
inline constexpr std::uint16_t kTftpRrq = 1;
inline constexpr std::uint16_t kTftpWrq = 2;
inline constexpr std::uint16_t kTftpData = 3;
inline constexpr std::uint16_t kTftpAck = 4;
inline constexpr std::uint16_t kTftpError = 5;
inline constexpr std::size_t kTftpHeaderSize = 4;
inline constexpr std::size_t kTftpReceiveSize = kTftpHeaderSize + kTftpBlockSize;  // 516
inline constexpr std::size_t kTftpMaxFileName = 59;
inline constexpr std::size_t kTftpMaxMode = 11;
inline constexpr std::uint16_t kTftpErrorNotDefined = 0;
inline constexpr std::uint16_t kTftpErrorFileNotFound = 1;
inline constexpr std::uint16_t kTftpErrorUnknownTid = 5;
inline constexpr std::string_view kTftpNotDefinedText = "Command not defined";
inline constexpr std::string_view kTftpFileNotFoundText = "File not found";
inline constexpr std::string_view kTftpUnknownTidText = "Unknown transfer ID";
inline constexpr std::string_view kTftpReadErrorText = "File read error";
// A completed file whose name begins with this is a RAM disk: the device restarts after it.
inline constexpr std::string_view kRamDiskPrefix = "initrd";

// ---- Firmware upgrade ---------------------------------------------------------------------
inline constexpr std::uint16_t kCodeUpdatePort = 69;
inline constexpr std::string_view kArchivePassword = "wqzt";
inline constexpr std::size_t kCodeUpdateHeaderSize = 23;
inline constexpr std::size_t kCodeUpdatePageSize = 256;

// Update file types (low 4 bits of the header's type byte) and the sender's transfer kinds.
inline constexpr std::uint8_t TYPE_MICROCODE = 2;
inline constexpr std::uint8_t TYPE_LOGO = 4;
inline constexpr std::uint8_t TYPE_BIN = 6;
inline constexpr std::uint8_t KIND_TAIL = 9;
inline constexpr std::uint8_t KIND_MODEL_QUERY = 10;

// Regions of the device's code store, in pages (end pages exclusive).
inline constexpr std::uint16_t kLogoFirstPage = 1385;
inline constexpr std::uint16_t kLogoEndPage = 1401;
inline constexpr std::uint16_t kBinFirstPage = 0;
inline constexpr std::uint16_t kBinEndPage = 845;
inline constexpr std::uint16_t kTailFirstPage = 1690;
inline constexpr std::uint16_t kTailEndPage = 1802;
// Bytes that the first packet of a region with header carries in front of its pages.
inline constexpr std::size_t kHeaderRegionExtra = 8;

// Microcode update file: a 12-byte header, then the image.
inline constexpr std::size_t kUpdateImageBufferSize = 262144;
inline constexpr std::size_t kTailRegionSize = 28672;
inline constexpr std::size_t kUpdateHeaderSize = 12;
inline constexpr std::size_t kUpdateHeaderMagicOffset = 0;
inline constexpr std::size_t kUpdateHeaderTypeOffset = 1;
inline constexpr std::size_t kUpdateHeaderMinAddressOffset = 2;
inline constexpr std::size_t kUpdateHeaderCrcOffset = 10;
inline constexpr std::uint8_t kUpdateMagic = 0x41;
inline constexpr std::uint8_t kFileTypeMask = 0x0F;
inline constexpr unsigned kModelShift = 4;
inline constexpr std::uint8_t kFileTypeMax = 9;
inline constexpr std::uint8_t kMicrocodeModelMin = 1;
inline constexpr std::uint8_t kMicrocodeModelMax = 3;
inline constexpr std::size_t kLogoLengthPrefixSize = 2;
// The check value: a 16-bit register shifted right, 0x1021 applied in that right-shifting form.
inline constexpr std::uint16_t kCheckValueInitial = 0xFFFF;
inline constexpr std::uint16_t kCheckValuePolynomial = 0x1021;

// Code update protocol: the PC's packets begin with a 23-byte header; replies are 23 bytes.
inline constexpr std::size_t kCodeUpdateCommandOffset = 0;
inline constexpr std::size_t kCodeUpdateCountOffset = 1;  // page count, or END subcode
inline constexpr std::size_t kCodeUpdateFlagsOffset = 2;
inline constexpr std::size_t kCodeUpdatePageOffset = 3;
inline constexpr std::size_t kCodeUpdatePasswordOffset = 5;
inline constexpr std::size_t kCodeUpdatePasswordSize = 16;
inline constexpr std::size_t kCodeUpdateVersionOffset = 21;
inline constexpr std::size_t kCodeUpdateReplySize = 23;
inline constexpr std::size_t kCodeUpdateReplyDetailOffset = 1;  // model or NACK code
inline constexpr std::size_t kCodeUpdateReceiveSize = 2048;
inline constexpr std::size_t kCodeUpdateEndBodySize = 6;  // first page, end page, check value
inline constexpr std::size_t kCodeUpdateEndPacketSize =
    kCodeUpdateHeaderSize + kCodeUpdateEndBodySize;  // 29
inline constexpr std::uint16_t kProtocolVersion = 0x0011;
inline constexpr std::uint16_t kProtocolVersionFallback = 0x0010;
// Reply and request codes.
inline constexpr std::uint8_t TFTP_ACK = 1;
inline constexpr std::uint8_t TFTP_NACK = 2;
inline constexpr std::uint8_t TFTP_DATA = 5;
inline constexpr std::uint8_t TFTP_END = 6;
inline constexpr std::uint8_t TFTP_MODEL = 7;
inline constexpr std::uint8_t NACK_UNKNOWN_MODEL = 1;
inline constexpr std::uint8_t NACK_BAD_PASSWORD = 4;
inline constexpr std::uint8_t NACK_BAD_CRC = 6;
inline constexpr std::uint8_t NACK_BAD_VERSION = 8;
inline constexpr std::uint8_t END_FINISH = 9;
inline constexpr std::uint8_t END_CODE = 11;
inline constexpr std::uint8_t END_BIN = 13;
// Flags of TFTP_DATA and TFTP_END packets.
inline constexpr std::uint8_t kFlagsFirstHeaderPacket = 0x81;
inline constexpr std::uint8_t kFlagsHeaderImage = 0x01;
inline constexpr std::uint8_t kFlagsNone = 0x00;
// In one-page mode the packets after the first of a header image keep flag 1 until this many
// packets have been accepted.
inline constexpr int kOnePageFlaggedPackets = 3;
inline constexpr std::uint8_t kPagesPerPacket = 4;
inline constexpr std::uint16_t kMicrocodeFirstPage = 0;
// The page cleared after a microcode region, before the final end packet.
inline constexpr std::uint16_t kClearPage = 1829;
// Waits for one reply before a packet is sent again, and model query attempts in one series.
inline constexpr int kCodeUpdateWaits = 15;
inline constexpr int kModelQueryAttempts = 15;
// Sends of one packet before the sender gives up on a device that stays silent.
inline constexpr int kCodeUpdateMaxSends = 10;

// Upgrade driver.
inline constexpr std::string_view kZipFileFilter = "Zip File (*.zip)|*.zip||";
// Archive members are told apart by the last characters of their stored names.
inline constexpr std::size_t kMemberSuffixSize = 3;
inline constexpr std::string_view kMicrocodeSuffix = "enc";
inline constexpr std::string_view kBinSuffix = "bin";
inline constexpr std::string_view kLogoSuffix = "gif";

// Firmware archive (zip, traditional PKWARE encryption; the ZIP application note).
inline constexpr std::uint32_t kZipEndRecordSignature = 0x06054b50;
inline constexpr std::uint32_t kZipCentralHeaderSignature = 0x02014b50;
inline constexpr std::uint32_t kZipLocalHeaderSignature = 0x04034b50;
inline constexpr std::size_t kZipEndRecordSize = 22;
inline constexpr std::size_t kZipCentralHeaderSize = 46;
inline constexpr std::size_t kZipLocalHeaderSize = 30;
inline constexpr std::size_t kZipMaxCommentSize = 65535;
inline constexpr std::size_t kZipEndSearchSize = kZipEndRecordSize + kZipMaxCommentSize;
inline constexpr std::size_t kZipSignatureSize = 4;
// A writer that does not know the archive's size in advance (one reading standard input) puts a
// 64-bit end record and its locator between the central directory and the end record.
inline constexpr std::uint32_t kZip64EndRecordSignature = 0x06064b50;
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
inline constexpr std::size_t kZip64EndRecordSize = 56;
inline constexpr std::size_t kZip64LocatorSize = 20;
// The record's own size field counts neither the signature nor the field itself.
inline constexpr std::uint64_t kZip64EndRecordSizeField = kZip64EndRecordSize - 12;
// The end-record search reads chunks backwards, each overlapping the previous one by the
// signature size - 1 so that a signature across a chunk border is found.
inline constexpr std::size_t kZipEndSearchChunk = 1024;
inline constexpr std::size_t kZipEndSearchOverlap = kZipSignatureSize - 1;
inline constexpr std::size_t kZipReadChunk = 16384;
inline constexpr std::uint16_t kZipFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kZipFlagDataDescriptor = 0x0008;
inline constexpr std::uint16_t kZipMethodStored = 0;
inline constexpr std::uint16_t kZipMethodDeflated = 8;
inline constexpr int kZipRawDeflateWindowBits = -15;
inline constexpr std::size_t kZipEncryptionHeaderSize = 12;
inline constexpr std::array<std::uint32_t, 3> kZipCipherInitialKeys = {0x12345678, 0x23456789,
                                                                       0x34567890};
inline constexpr std::uint32_t kZipCipherKeyMultiplier = 134775813;

}  // namespace vantor

// TFTP on the wire (RFC 1350) and its options (RFC 2347, 2348, 2349, 7440).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/WellKnownPorts.h"

namespace vantor {

inline constexpr std::size_t kTftpBlockSize = 512;
// TFTP (RFC 1350).
inline constexpr std::uint16_t kTftpRrq = 1;
inline constexpr std::uint16_t kTftpWrq = 2;
inline constexpr std::uint16_t kTftpData = 3;
inline constexpr std::uint16_t kTftpAck = 4;
inline constexpr std::uint16_t kTftpError = 5;
inline constexpr std::uint16_t kTftpOack = 6;  // RFC 2347
inline constexpr std::size_t kTftpHeaderSize = 4;
inline constexpr std::size_t kTftpReceiveSize = kTftpHeaderSize + kTftpBlockSize;  // 516
inline constexpr std::size_t kTftpMaxFileName = 59;
inline constexpr std::size_t kTftpMaxMode = 11;
inline constexpr std::uint16_t kTftpErrorNotDefined = 0;
inline constexpr std::uint16_t kTftpErrorFileNotFound = 1;
inline constexpr std::uint16_t kTftpErrorUnknownTid = 5;
// RFC 2347: the client refuses the options the server acknowledged.
inline constexpr std::uint16_t kTftpErrorOptionRefused = 8;
inline constexpr std::string_view kTftpNotDefinedText = "Command not defined";
inline constexpr std::string_view kTftpFileNotFoundText = "File not found";
inline constexpr std::string_view kTftpUnknownTidText = "Unknown transfer ID";
inline constexpr std::string_view kTftpReadErrorText = "File read error";
// A boot image that failed its check: never sent (ERROR 0).
inline constexpr std::string_view kTftpDamagedImageText = "Damaged boot image";
// Transfers one interface serves at once: more requests are refused with ERROR 0 at once
// rather than queued behind clients that may never finish. A boot loader fetches one file at
// a time, so this is eight devices booting side by side.
inline constexpr std::size_t kTftpMaxTransfersPerInterface = 8;
// Of those, one client address may hold half: a single host, silent or hostile, never takes
// every place from the devices beside it.
inline constexpr std::size_t kTftpMaxTransfersPerClient = 4;
inline constexpr std::string_view kTftpServerBusyText = "server busy";
// A copy of the read request just served, from the same client port, this soon after its
// transfer ended, is the client's retransmission that queued up meanwhile: not served again.
inline constexpr std::chrono::milliseconds kTftpRepeatedRequestWindow{1000};

// Options, named case-insensitively (RFC 2347).
inline constexpr std::string_view kTftpOptionBlockSize = "blksize";      // RFC 2348
inline constexpr std::string_view kTftpOptionTransferSize = "tsize";     // RFC 2349
inline constexpr std::string_view kTftpOptionTimeout = "timeout";        // RFC 2349
inline constexpr std::string_view kTftpOptionWindowSize = "windowsize";  // RFC 7440
inline constexpr std::size_t kTftpMinBlockSize = 8;                      // RFC 2348
inline constexpr std::size_t kTftpMaxBlockSize = 65464;                  // RFC 2348
inline constexpr std::uint32_t kTftpMinTimeoutSeconds = 1;               // RFC 2349
inline constexpr std::uint32_t kTftpMaxTimeoutSeconds = 255;             // RFC 2349
inline constexpr std::uint32_t kTftpMinWindowSize = 1;                   // RFC 7440
inline constexpr std::uint32_t kTftpWindowSizeLimit = 65535;             // RFC 7440
// RFC 7440 allows up to 65535; a server may answer less. More blocks in flight than this gain
// nothing on a link and only lengthen the burst that a lost block makes the client discard.
inline constexpr std::uint32_t kTftpMaxWindowSize = 64;
// A DATA packet must fit the interface's MTU unfragmented: the IPv4 and UDP headers and the
// four-byte TFTP header come off (1500 on Ethernet leaves 1468).
inline constexpr std::size_t kIpv4UdpHeaderSize = 20 + 8;
// Assumed when the interface's own MTU cannot be read.
inline constexpr std::size_t kEthernetMtu = 1500;

// What one DATA datagram costs the sending socket's buffer (Linux 6.x, 64-bit), which bounds
// the window a server answers (RFC 7440 lets it answer a smaller one). UDP builds a datagram
// of up to about 16 KiB as one linear allocation: the IPv4 and UDP headers and the payload,
// with room for the link header (LL_RESERVED_SPACE: Ethernet's 14 bytes aligned to 16) and
// ip_append_data's 15 bytes of alignment slack. The allocator appends skb_shared_info and
// rounds the whole up to a power of two, except that one of up to 576 bytes comes from the
// cache of small heads; the sk_buff is charged on top. Measured on loopback: 1280 for a
// 512-byte block, 2304 for 1468, 16640 for 8968.
inline constexpr std::size_t kSkbLinkHeaderRoom = 16;
inline constexpr std::size_t kSkbAlignmentSlack = 15;
inline constexpr std::size_t kSkbSharedInfoSize = 320;  // SKB_DATA_ALIGN(sizeof(skb_shared_info))
inline constexpr std::size_t kSkbSmallHeadSize = 576;   // SKB_SMALL_HEAD_CACHE_SIZE
inline constexpr std::size_t kSkbStructSize = 256;      // SKB_DATA_ALIGN(sizeof(struct sk_buff))
// The most send buffer a transfer asks for: a full window of 8968-byte blocks needs about
// 1 MiB; more would only pin memory for blocks no link needs.
inline constexpr std::size_t kTftpMaxSendBuffer = 4 * 1024 * 1024;

// Digits a numeric option value may have: more is junk, and cannot overflow the parse.
inline constexpr std::size_t kTftpMaxOptionDigits = 19;

}  // namespace vantor

// The devices' code update protocol on the wire (UDP port 69): packets, replies, regions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

inline constexpr std::uint16_t kCodeUpdatePort = 69;
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

}  // namespace vantor

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

#include "upgrade/CodeUpdateWire.h"

namespace vantor {

// The 23-byte header that every packet of the PC begins with. Multi-byte fields go out
// little-endian.
struct CodeUpdateHeader {
    std::uint8_t command = 0;
    std::uint8_t count = 0;  // pages of a TFTP_DATA packet, subcode of a TFTP_END packet
    std::uint8_t flags = kFlagsNone;
    std::uint16_t page = 0;
    std::array<std::uint8_t, kCodeUpdatePasswordSize> password{};
    std::uint16_t version = kProtocolVersion;
};

// The password field: the first 16 bytes of the password, zero-filled behind a shorter one. A
// password of 16 bytes or more has no terminating zero on the wire.
std::array<std::uint8_t, kCodeUpdatePasswordSize> passwordField(std::string_view password);

void writeCodeUpdateHeader(const CodeUpdateHeader& header,
                           std::span<std::uint8_t, kCodeUpdateHeaderSize> out);

// TFTP_MODEL with count, flags and page zero; the password and version come from base.
std::vector<std::uint8_t> buildModelQuery(const CodeUpdateHeader& base);
// The header followed by the body (pages, and in front of the first pages of a header image
// the extra bytes).
std::vector<std::uint8_t> buildDataPacket(const CodeUpdateHeader& header,
                                          std::span<const std::uint8_t> body);
// TFTP_END: the header, then first page and end page little-endian and the check value as
// computeCrc returns it, also little-endian (which puts the register's high byte first).
std::vector<std::uint8_t> buildEndPacket(const CodeUpdateHeader& header, std::uint16_t firstPage,
                                         std::uint16_t endPage, std::uint16_t checkValue);

// A device's reply. Only the code, byte 1 and the page are read.
struct CodeUpdateReply {
    std::uint8_t code = 0;
    std::uint8_t detail = 0;  // the model (model query) or the NACK code
    std::uint16_t page = 0;
};

enum class ReplyFault {
    WrongLength,  // a reply is exactly 23 bytes
};

std::variant<CodeUpdateReply, ReplyFault> parseCodeUpdateReply(
    std::span<const std::uint8_t> datagram);

}  // namespace vantor

#include "upgrade/CodeUpdatePacket.h"

#include <algorithm>

namespace vantor {

namespace {

void putLe16(std::span<std::uint8_t> out, std::size_t offset, std::uint16_t value) {
    out[offset] = static_cast<std::uint8_t>(value & 0xFFu);
    out[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::vector<std::uint8_t> withHeader(const CodeUpdateHeader& header, std::size_t bodySize) {
    std::vector<std::uint8_t> packet(kCodeUpdateHeaderSize + bodySize);
    writeCodeUpdateHeader(header, std::span(packet).first<kCodeUpdateHeaderSize>());
    return packet;
}

}  // namespace

std::array<std::uint8_t, kCodeUpdatePasswordSize> passwordField(std::string_view password) {
    std::array<std::uint8_t, kCodeUpdatePasswordSize> field{};
    const std::size_t count = std::min(password.size(), field.size());
    std::transform(password.begin(), password.begin() + static_cast<std::ptrdiff_t>(count),
                   field.begin(), [](char c) { return static_cast<std::uint8_t>(c); });
    return field;
}

void writeCodeUpdateHeader(const CodeUpdateHeader& header,
                           std::span<std::uint8_t, kCodeUpdateHeaderSize> out) {
    out[kCodeUpdateCommandOffset] = header.command;
    out[kCodeUpdateCountOffset] = header.count;
    out[kCodeUpdateFlagsOffset] = header.flags;
    putLe16(out, kCodeUpdatePageOffset, header.page);
    std::copy(header.password.begin(), header.password.end(),
              out.begin() + kCodeUpdatePasswordOffset);
    putLe16(out, kCodeUpdateVersionOffset, header.version);
}

std::vector<std::uint8_t> buildModelQuery(const CodeUpdateHeader& base) {
    CodeUpdateHeader header = base;
    header.command = TFTP_MODEL;
    header.count = 0;
    header.flags = kFlagsNone;
    header.page = 0;
    return withHeader(header, 0);
}

std::vector<std::uint8_t> buildDataPacket(const CodeUpdateHeader& header,
                                          std::span<const std::uint8_t> body) {
    std::vector<std::uint8_t> packet = withHeader(header, body.size());
    std::copy(body.begin(), body.end(), packet.begin() + kCodeUpdateHeaderSize);
    return packet;
}

std::vector<std::uint8_t> buildEndPacket(const CodeUpdateHeader& header, std::uint16_t firstPage,
                                         std::uint16_t endPage, std::uint16_t checkValue) {
    std::vector<std::uint8_t> packet = withHeader(header, kCodeUpdateEndBodySize);
    const auto body = std::span(packet).subspan(kCodeUpdateHeaderSize);
    putLe16(body, 0, firstPage);
    putLe16(body, 2, endPage);
    putLe16(body, 4, checkValue);
    return packet;
}

std::variant<CodeUpdateReply, ReplyFault> parseCodeUpdateReply(
    std::span<const std::uint8_t> datagram) {
    if (datagram.size() != kCodeUpdateReplySize) {
        return ReplyFault::WrongLength;
    }
    CodeUpdateReply reply;
    reply.code = datagram[kCodeUpdateCommandOffset];
    reply.detail = datagram[kCodeUpdateReplyDetailOffset];
    reply.page = static_cast<std::uint16_t>(datagram[kCodeUpdatePageOffset] |
                                            (datagram[kCodeUpdatePageOffset + 1] << 8));
    return reply;
}

}  // namespace vantor

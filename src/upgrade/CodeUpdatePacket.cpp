#include "upgrade/CodeUpdatePacket.h"

#include <algorithm>

#include "base/ByteReader.h"
#include "base/ByteWriter.h"

namespace vantor {

namespace {

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
    ByteWriter writer(out, ByteOrder::little);
    writer.seek(kCodeUpdateCommandOffset).u8(header.command);
    writer.seek(kCodeUpdateCountOffset).u8(header.count);
    writer.seek(kCodeUpdateFlagsOffset).u8(header.flags);
    writer.seek(kCodeUpdatePageOffset).u16(header.page);
    writer.seek(kCodeUpdatePasswordOffset).bytes(header.password);
    writer.seek(kCodeUpdateVersionOffset).u16(header.version);
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
    ByteWriter(std::span<std::uint8_t>(packet), ByteOrder::little)
        .seek(kCodeUpdateHeaderSize)
        .u16(firstPage)
        .u16(endPage)
        .u16(checkValue);
    return packet;
}

std::variant<CodeUpdateReply, ReplyFault> parseCodeUpdateReply(
    std::span<const std::uint8_t> datagram) {
    if (datagram.size() != kCodeUpdateReplySize) {
        return ReplyFault::WrongLength;
    }
    ByteReader reader(datagram, ByteOrder::little);
    CodeUpdateReply reply;
    reader.seek(kCodeUpdateCommandOffset);
    reply.code = reader.u8();
    reader.seek(kCodeUpdateReplyDetailOffset);
    reply.detail = reader.u8();
    reader.seek(kCodeUpdatePageOffset);
    reply.page = reader.u16();
    return reply;
}

}  // namespace vantor

#include "recovery/TftpPacket.h"

#include <algorithm>

#include "base/ByteReader.h"
#include "base/ByteWriter.h"
#include "recovery/TftpWire.h"

namespace vantor {
namespace {

constexpr std::uint8_t kStringEnd = 0;
constexpr std::size_t kOpcodeSize = sizeof(std::uint16_t);

// The opcode and the 16-bit number behind it (block or error code), or nothing when the
// datagram is shorter than the four-byte header.
struct Header {
    std::uint16_t opcode = 0;
    std::uint16_t number = 0;
};

std::optional<Header> readHeader(std::span<const std::uint8_t> datagram) {
    ByteReader reader(datagram, ByteOrder::big);
    Header header;
    header.opcode = reader.u16();
    header.number = reader.u16();
    if (!reader.ok()) {
        return std::nullopt;
    }
    return header;
}

// The NUL-terminated string starting at `offset`; nothing when no NUL follows inside.
std::optional<std::string> readString(std::span<const std::uint8_t> bytes, std::size_t& offset) {
    if (offset >= bytes.size()) {
        return std::nullopt;
    }
    const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto end = std::find(begin, bytes.end(), kStringEnd);
    if (end == bytes.end()) {
        return std::nullopt;
    }
    offset = static_cast<std::size_t>(end - bytes.begin()) + 1;
    return std::string(begin, end);
}

// Name and value pairs from `offset` to the end. A pair without its terminating zeros ends
// the list: it was cut off, and a guess at its value could be wrong. So does an empty name,
// the padding some clients add.
std::vector<TftpOption> readOptions(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::vector<TftpOption> options;
    while (offset < bytes.size()) {
        auto name = readString(bytes, offset);
        if (!name || name->empty()) {
            break;
        }
        auto value = readString(bytes, offset);
        if (!value) {
            break;
        }
        options.push_back({std::move(*name), std::move(*value)});
    }
    return options;
}

void writeOptions(ByteWriter& writer, std::span<const TftpOption> options) {
    for (const TftpOption& option : options) {
        writer.text(option.name).u8(kStringEnd).text(option.value).u8(kStringEnd);
    }
}

}  // namespace

std::optional<std::uint16_t> TftpPacket::Opcode(std::span<const std::uint8_t> datagram) {
    ByteReader reader(datagram, ByteOrder::big);
    const std::uint16_t opcode = reader.u16();
    if (!reader.ok()) {
        return std::nullopt;
    }
    return opcode;
}

TftpRequest TftpPacket::ParseRequest(std::span<const std::uint8_t> datagram) {
    TftpRequest request;
    const auto opcode = Opcode(datagram);
    if (!opcode) {
        return request;
    }
    request.opcode = *opcode;
    std::size_t offset = kOpcodeSize;
    auto fileName = readString(datagram, offset);
    auto mode = fileName ? readString(datagram, offset) : std::nullopt;
    if (fileName) {
        request.fileName = std::move(*fileName);
    }
    if (mode) {
        request.mode = std::move(*mode);
    }
    if (*opcode != kTftpRrq) {
        request.kind = TftpRequestKind::otherOpcode;
    } else if (fileName && mode) {
        request.kind = TftpRequestKind::read;
        request.options = readOptions(datagram, offset);
    }
    return request;
}

std::optional<std::uint16_t> TftpPacket::ParseAck(std::span<const std::uint8_t> datagram) {
    const auto header = readHeader(datagram);
    if (!header || header->opcode != kTftpAck) {
        return std::nullopt;
    }
    return header->number;
}

std::optional<TftpData> TftpPacket::ParseData(std::span<const std::uint8_t> datagram) {
    const auto header = readHeader(datagram);
    if (!header || header->opcode != kTftpData) {
        return std::nullopt;
    }
    return TftpData{header->number, datagram.subspan(kTftpHeaderSize)};
}

std::optional<TftpErrorPacket> TftpPacket::ParseError(std::span<const std::uint8_t> datagram) {
    const auto header = readHeader(datagram);
    if (!header || header->opcode != kTftpError) {
        return std::nullopt;
    }
    std::size_t offset = kTftpHeaderSize;
    auto message = readString(datagram, offset);
    if (!message) {
        return std::nullopt;
    }
    return TftpErrorPacket{header->number, std::move(*message)};
}

std::optional<std::vector<TftpOption>> TftpPacket::ParseOack(
    std::span<const std::uint8_t> datagram) {
    if (Opcode(datagram) != kTftpOack) {
        return std::nullopt;
    }
    std::vector<TftpOption> options = readOptions(datagram, kOpcodeSize);
    std::size_t length = kOpcodeSize;
    for (const TftpOption& option : options) {
        length += option.name.size() + option.value.size() + 2 * sizeof kStringEnd;
    }
    if (length != datagram.size()) {
        return std::nullopt;  // cut off, or junk after the last pair
    }
    return options;
}

std::vector<std::uint8_t> TftpPacket::BuildRequest(std::uint16_t opcode, std::string_view fileName,
                                                   std::string_view mode,
                                                   std::span<const TftpOption> options) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kOpcodeSize + fileName.size() + sizeof kStringEnd + mode.size() +
                  sizeof kStringEnd);
    ByteWriter writer(bytes, ByteOrder::big);
    writer.u16(opcode).text(fileName).u8(kStringEnd).text(mode).u8(kStringEnd);
    writeOptions(writer, options);
    return bytes;
}

std::vector<std::uint8_t> TftpPacket::BuildOack(std::span<const TftpOption> options) {
    std::vector<std::uint8_t> bytes;
    ByteWriter writer(bytes, ByteOrder::big);
    writer.u16(kTftpOack);
    writeOptions(writer, options);
    return bytes;
}

std::vector<std::uint8_t> TftpPacket::BuildData(std::uint16_t block,
                                                std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kTftpHeaderSize + payload.size());
    ByteWriter(bytes, ByteOrder::big).u16(kTftpData).u16(block).bytes(payload);
    return bytes;
}

std::vector<std::uint8_t> TftpPacket::BuildAck(std::uint16_t block) {
    std::vector<std::uint8_t> bytes;
    ByteWriter(bytes, ByteOrder::big).u16(kTftpAck).u16(block);
    return bytes;
}

std::vector<std::uint8_t> TftpPacket::BuildError(std::uint16_t code, std::string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kTftpHeaderSize + text.size() + sizeof kStringEnd);
    ByteWriter(bytes, ByteOrder::big).u16(kTftpError).u16(code).text(text).u8(kStringEnd);
    return bytes;
}

}  // namespace vantor

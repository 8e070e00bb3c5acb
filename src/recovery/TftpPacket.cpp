#include "recovery/TftpPacket.h"

#include <algorithm>

#include "recovery/TftpWire.h"

namespace vantor {
namespace {

std::uint16_t read16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

void put16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

// The NUL-terminated string starting at `offset`; nothing when no NUL follows inside.
std::optional<std::string> readString(std::span<const std::uint8_t> bytes, std::size_t& offset) {
    if (offset >= bytes.size()) {
        return std::nullopt;
    }
    const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto end = std::find(begin, bytes.end(), std::uint8_t{0});
    if (end == bytes.end()) {
        return std::nullopt;
    }
    offset = static_cast<std::size_t>(end - bytes.begin()) + 1;
    return std::string(begin, end);
}

}  // namespace

std::optional<std::uint16_t> TftpPacket::Opcode(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < 2) {
        return std::nullopt;
    }
    return read16(datagram, 0);
}

TftpRequest TftpPacket::ParseRequest(std::span<const std::uint8_t> datagram) {
    TftpRequest request;
    const auto opcode = Opcode(datagram);
    if (!opcode) {
        return request;
    }
    request.opcode = *opcode;
    std::size_t offset = 2;
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
        // Anything after the mode (RFC 2347 options) is ignored: the answer is plain
        // RFC 1350, which option-aware clients accept.
        request.kind = TftpRequestKind::read;
    }
    return request;
}

std::optional<std::uint16_t> TftpPacket::ParseAck(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < kTftpHeaderSize || read16(datagram, 0) != kTftpAck) {
        return std::nullopt;
    }
    return read16(datagram, 2);
}

std::optional<TftpData> TftpPacket::ParseData(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < kTftpHeaderSize || datagram.size() > kTftpReceiveSize ||
        read16(datagram, 0) != kTftpData) {
        return std::nullopt;
    }
    return TftpData{read16(datagram, 2), datagram.subspan(kTftpHeaderSize)};
}

std::optional<TftpErrorPacket> TftpPacket::ParseError(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < kTftpHeaderSize + 1 || read16(datagram, 0) != kTftpError) {
        return std::nullopt;
    }
    std::size_t offset = kTftpHeaderSize;
    auto message = readString(datagram, offset);
    if (!message) {
        return std::nullopt;
    }
    return TftpErrorPacket{read16(datagram, 2), std::move(*message)};
}

std::vector<std::uint8_t> TftpPacket::BuildRequest(std::uint16_t opcode, std::string_view fileName,
                                                   std::string_view mode) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(fileName.size() + mode.size() + 4);
    put16(bytes, opcode);
    bytes.insert(bytes.end(), fileName.begin(), fileName.end());
    bytes.push_back(0);
    bytes.insert(bytes.end(), mode.begin(), mode.end());
    bytes.push_back(0);
    return bytes;
}

std::vector<std::uint8_t> TftpPacket::BuildData(std::uint16_t block,
                                                std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kTftpHeaderSize + payload.size());
    put16(bytes, kTftpData);
    put16(bytes, block);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

std::vector<std::uint8_t> TftpPacket::BuildAck(std::uint16_t block) {
    std::vector<std::uint8_t> bytes;
    put16(bytes, kTftpAck);
    put16(bytes, block);
    return bytes;
}

std::vector<std::uint8_t> TftpPacket::BuildError(std::uint16_t code, std::string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kTftpHeaderSize + text.size() + 1);
    put16(bytes, kTftpError);
    put16(bytes, code);
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

}  // namespace vantor

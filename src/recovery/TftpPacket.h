#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

enum class TftpRequestKind {
    read,         // a well-formed RRQ
    otherOpcode,  // any other opcode (WRQ included): answered with ERROR 0
    malformed,    // an RRQ whose file name or mode is not terminated inside the datagram,
                  // or a datagram too short to hold an opcode
};

// An option of a request or an OACK (RFC 2347): name and value as they were sent.
struct TftpOption {
    std::string name;
    std::string value;
    bool operator==(const TftpOption&) const = default;
};

struct TftpRequest {
    TftpRequestKind kind = TftpRequestKind::malformed;
    std::uint16_t opcode = 0;
    std::string fileName;  // complete, never cut at the product's 59 characters
    std::string mode;      // read and ignored: every file goes as octets
    // The options after the mode (RFC 2347), in order; a pair that lacks a terminating zero
    // inside the datagram, and everything after it, is left out.
    std::vector<TftpOption> options;
};

struct TftpData {
    std::uint16_t block = 0;
    std::span<const std::uint8_t> payload;
};

struct TftpErrorPacket {
    std::uint16_t code = 0;
    std::string message;
};

// TFTP packets (RFC 1350): 16-bit numbers in network order, strings NUL-terminated. Every
// parse reads only inside the datagram and refuses what does not fit.
struct TftpPacket {
    static std::optional<std::uint16_t> Opcode(std::span<const std::uint8_t> datagram);
    static TftpRequest ParseRequest(std::span<const std::uint8_t> datagram);
    // The block number of an ACK (4 bytes at least; later bytes are ignored), else nothing.
    static std::optional<std::uint16_t> ParseAck(std::span<const std::uint8_t> datagram);
    static std::optional<TftpData> ParseData(std::span<const std::uint8_t> datagram);
    static std::optional<TftpErrorPacket> ParseError(std::span<const std::uint8_t> datagram);
    // The options of an OACK (RFC 2347), in order; nothing when it is not a complete OACK.
    static std::optional<std::vector<TftpOption>> ParseOack(std::span<const std::uint8_t> datagram);

    static std::vector<std::uint8_t> BuildRequest(std::uint16_t opcode, std::string_view fileName,
                                                  std::string_view mode,
                                                  std::span<const TftpOption> options = {});
    static std::vector<std::uint8_t> BuildData(std::uint16_t block,
                                               std::span<const std::uint8_t> payload);
    static std::vector<std::uint8_t> BuildAck(std::uint16_t block);
    static std::vector<std::uint8_t> BuildOack(std::span<const TftpOption> options);
    // Code, text and its terminating zero: text length + 5 bytes.
    static std::vector<std::uint8_t> BuildError(std::uint16_t code, std::string_view text);
};

}  // namespace vantor

// TFTP on the wire (RFC 1350).
#pragma once

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

}  // namespace vantor

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantor::test {

// A small zip writer for tests, written from the ZIP application note independently of the
// reader under test: stored or deflated members, traditional PKWARE encryption, data
// descriptors, a comment and a stub in front. It also tells where each record landed so that
// tests can damage exactly one field.

// Field offsets within the records, for patching.
inline constexpr std::size_t kLocalFlags = 6;
inline constexpr std::size_t kLocalMethod = 8;
inline constexpr std::size_t kLocalCrc = 14;
inline constexpr std::size_t kLocalCompressedSize = 18;
inline constexpr std::size_t kLocalUncompressedSize = 22;
inline constexpr std::size_t kLocalNameLength = 26;
inline constexpr std::size_t kCentralFlags = 8;
inline constexpr std::size_t kCentralMethod = 10;
inline constexpr std::size_t kCentralCrc = 16;
inline constexpr std::size_t kCentralCompressedSize = 20;
inline constexpr std::size_t kCentralUncompressedSize = 24;
inline constexpr std::size_t kCentralLocalOffset = 42;
inline constexpr std::size_t kEndEntriesOnDisk = 8;
inline constexpr std::size_t kEndTotalEntries = 10;
inline constexpr std::size_t kEndCentralSize = 12;
inline constexpr std::size_t kEndCentralOffset = 16;
inline constexpr std::size_t kEndCommentLength = 20;

struct ZipMember {
    std::string name;
    std::vector<std::uint8_t> data;
    std::uint16_t method = 8;  // 8 deflates; any other number stores the data under it
    std::string password;      // empty: not encrypted
    bool dataDescriptor = false;
    std::uint16_t modTime = 0x5A21;  // 11:17:02
    std::uint16_t modDate = 0x5788;  // 2023-12-08
};

struct ZipOptions {
    std::string comment;
    std::size_t stubSize = 0;         // bytes of junk in front of the archive
    bool offsetsIncludeStub = false;  // offsets from the file's start rather than the archive's
};

struct ZipLayout {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> localOffsets;    // file offsets of the local headers
    std::vector<std::size_t> dataOffsets;     // file offsets of the data (encryption header first)
    std::vector<std::size_t> centralOffsets;  // file offsets of the central headers
    std::size_t centralOffset = 0;            // file offset of the central directory
    std::size_t endOffset = 0;                // file offset of the end record
};

ZipLayout buildZip(const std::vector<ZipMember>& members, const ZipOptions& options = {});

// Deterministic bytes that compress somewhat and never contain a zip signature.
std::vector<std::uint8_t> patternBytes(std::size_t count, std::uint32_t seed);
std::vector<std::uint8_t> textBytes(std::string_view text);

// Offset of the last end-record signature in bytes.
std::optional<std::size_t> findEnd(std::span<const std::uint8_t> bytes);

void putLe16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value);
void putLe32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);
std::uint16_t getLe16(std::span<const std::uint8_t> bytes, std::size_t offset);
std::uint32_t getLe32(std::span<const std::uint8_t> bytes, std::size_t offset);

}  // namespace vantor::test

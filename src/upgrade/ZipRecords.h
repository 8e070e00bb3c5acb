#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantor {

// The records of a zip archive that a reader of single-file archives needs, as the ZIP
// application note lays them out (all fields little-endian).

struct ZipEndRecord {
    std::uint16_t diskNumber = 0;
    std::uint16_t centralDisk = 0;
    std::uint16_t entriesOnDisk = 0;
    std::uint16_t totalEntries = 0;
    std::uint32_t centralSize = 0;
    std::uint32_t centralOffset = 0;
    std::uint16_t commentLength = 0;
};

// The 64-bit end record; only its size field and the values that the 32-bit end record
// repeats are read.
struct Zip64EndRecord {
    std::uint64_t recordSize = 0;
    std::uint32_t diskNumber = 0;
    std::uint32_t centralDisk = 0;
    std::uint64_t entriesOnDisk = 0;
    std::uint64_t totalEntries = 0;
    std::uint64_t centralSize = 0;
    std::uint64_t centralOffset = 0;
};

struct ZipCentralEntry {
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t modTime = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint32_t localHeaderOffset = 0;
    std::string name;
};

struct ZipLocalHeader {
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t modTime = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t extraLength = 0;
};

// Offset of the last occurrence of the little-endian signature within bytes.
std::optional<std::size_t> findLastSignature(std::span<const std::uint8_t> bytes,
                                             std::uint32_t signature);

// The fixed part of the end record; nothing when it is short or its signature is wrong.
std::optional<ZipEndRecord> parseZipEndRecord(std::span<const std::uint8_t> bytes);

// Whether bytes begin with the locator of a 64-bit end record.
bool isZip64Locator(std::span<const std::uint8_t> bytes);

// The fixed part of a 64-bit end record; nothing when it is short or its signature is wrong.
std::optional<Zip64EndRecord> parseZip64EndRecord(std::span<const std::uint8_t> bytes);

// count central directory headers from the front of bytes; nothing when one lacks its
// signature or runs past the end (including its name, extra field and comment).
std::optional<std::vector<ZipCentralEntry>> parseZipCentralDirectory(
    std::span<const std::uint8_t> bytes, std::size_t count);

// The fixed part of a local file header; nothing when it is short or its signature is wrong.
std::optional<ZipLocalHeader> parseZipLocalHeader(std::span<const std::uint8_t> bytes);

}  // namespace vantor

#include "upgrade/ZipRecords.h"

#include "base/ByteReader.h"
#include "upgrade/ZipFormat.h"

namespace vantor {

namespace {

// Fields the reader does not use are skipped by their sizes.
constexpr std::size_t kVersionFieldSize = 2;
constexpr std::size_t kDateFieldSize = 2;
constexpr std::size_t kCentralDiskAndAttributesSize = 2 + 2 + 4;  // disk start, internal, external

}  // namespace

std::optional<std::size_t> findLastSignature(std::span<const std::uint8_t> bytes,
                                             std::uint32_t signature) {
    if (bytes.size() < kZipSignatureSize) {
        return std::nullopt;
    }
    for (std::size_t i = bytes.size() - kZipSignatureSize + 1; i-- > 0;) {
        ByteReader reader(bytes.subspan(i, kZipSignatureSize));
        if (reader.u32() == signature) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<ZipEndRecord> parseZipEndRecord(std::span<const std::uint8_t> bytes) {
    ByteReader reader(bytes);
    if (reader.u32() != kZipEndRecordSignature) {
        return std::nullopt;
    }
    ZipEndRecord record;
    record.diskNumber = reader.u16();
    record.centralDisk = reader.u16();
    record.entriesOnDisk = reader.u16();
    record.totalEntries = reader.u16();
    record.centralSize = reader.u32();
    record.centralOffset = reader.u32();
    record.commentLength = reader.u16();
    if (!reader.ok()) {
        return std::nullopt;
    }
    return record;
}

bool isZip64Locator(std::span<const std::uint8_t> bytes) {
    ByteReader reader(bytes);
    return reader.u32() == kZip64LocatorSignature && bytes.size() >= kZip64LocatorSize;
}

std::optional<Zip64EndRecord> parseZip64EndRecord(std::span<const std::uint8_t> bytes) {
    ByteReader reader(bytes);
    if (reader.u32() != kZip64EndRecordSignature) {
        return std::nullopt;
    }
    Zip64EndRecord record;
    record.recordSize = reader.u64();
    reader.skip(2 * kVersionFieldSize);
    record.diskNumber = reader.u32();
    record.centralDisk = reader.u32();
    record.entriesOnDisk = reader.u64();
    record.totalEntries = reader.u64();
    record.centralSize = reader.u64();
    record.centralOffset = reader.u64();
    if (!reader.ok()) {
        return std::nullopt;
    }
    return record;
}

std::optional<std::vector<ZipCentralEntry>> parseZipCentralDirectory(
    std::span<const std::uint8_t> bytes, std::size_t count) {
    // Every header takes at least its fixed size: a count that cannot fit is refused before
    // anything is reserved for it.
    if (count > bytes.size() / kZipCentralHeaderSize) {
        return std::nullopt;
    }
    std::vector<ZipCentralEntry> entries;
    entries.reserve(count);
    ByteReader reader(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        if (reader.u32() != kZipCentralHeaderSignature) {
            return std::nullopt;
        }
        ZipCentralEntry entry;
        reader.skip(2 * kVersionFieldSize);  // made by, needed to extract
        entry.flags = reader.u16();
        entry.method = reader.u16();
        entry.modTime = reader.u16();
        reader.skip(kDateFieldSize);
        entry.crc32 = reader.u32();
        entry.compressedSize = reader.u32();
        entry.uncompressedSize = reader.u32();
        const std::uint16_t nameLength = reader.u16();
        const std::uint16_t extraLength = reader.u16();
        const std::uint16_t commentLength = reader.u16();
        reader.skip(kCentralDiskAndAttributesSize);
        entry.localHeaderOffset = reader.u32();
        const auto name = reader.bytes(nameLength);
        reader.skip(extraLength);
        reader.skip(commentLength);
        if (!reader.ok()) {
            return std::nullopt;
        }
        entry.name.assign(name.begin(), name.end());
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::optional<ZipLocalHeader> parseZipLocalHeader(std::span<const std::uint8_t> bytes) {
    ByteReader reader(bytes);
    if (reader.u32() != kZipLocalHeaderSignature) {
        return std::nullopt;
    }
    ZipLocalHeader header;
    reader.skip(kVersionFieldSize);
    header.flags = reader.u16();
    header.method = reader.u16();
    header.modTime = reader.u16();
    reader.skip(kDateFieldSize);
    header.crc32 = reader.u32();
    header.compressedSize = reader.u32();
    header.uncompressedSize = reader.u32();
    header.nameLength = reader.u16();
    header.extraLength = reader.u16();
    if (!reader.ok()) {
        return std::nullopt;
    }
    return header;
}

}  // namespace vantor

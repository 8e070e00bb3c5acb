// The firmware archive: zip records and traditional PKWARE encryption (the ZIP application note).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantor {

// Firmware archive (zip, traditional PKWARE encryption; the ZIP application note).
inline constexpr std::uint32_t kZipEndRecordSignature = 0x06054b50;
inline constexpr std::uint32_t kZipCentralHeaderSignature = 0x02014b50;
inline constexpr std::uint32_t kZipLocalHeaderSignature = 0x04034b50;
inline constexpr std::size_t kZipEndRecordSize = 22;
inline constexpr std::size_t kZipCentralHeaderSize = 46;
inline constexpr std::size_t kZipLocalHeaderSize = 30;
inline constexpr std::size_t kZipMaxCommentSize = 65535;
inline constexpr std::size_t kZipEndSearchSize = kZipEndRecordSize + kZipMaxCommentSize;
inline constexpr std::size_t kZipSignatureSize = 4;
// The largest central directory a firmware archive may have. Its few members need some hundred
// bytes; the cap leaves room for long names and extra fields, and the directory is read whole
// into memory, so a forged end record must not make the reader allocate what it claims.
inline constexpr std::size_t kZipMaxCentralDirectorySize = 1024 * 1024;
// A writer that does not know the archive's size in advance (one reading standard input) puts a
// 64-bit end record and its locator between the central directory and the end record.
inline constexpr std::uint32_t kZip64EndRecordSignature = 0x06064b50;
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
inline constexpr std::size_t kZip64EndRecordSize = 56;
inline constexpr std::size_t kZip64LocatorSize = 20;
// The record's own size field counts neither the signature nor the field itself.
inline constexpr std::uint64_t kZip64EndRecordSizeField = kZip64EndRecordSize - 12;
// The end-record search reads chunks backwards, each overlapping the previous one by the
// signature size - 1 so that a signature across a chunk border is found.
inline constexpr std::size_t kZipEndSearchChunk = 1024;
inline constexpr std::size_t kZipEndSearchOverlap = kZipSignatureSize - 1;
inline constexpr std::size_t kZipReadChunk = 16384;
inline constexpr std::uint16_t kZipFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kZipFlagDataDescriptor = 0x0008;
inline constexpr std::uint16_t kZipMethodStored = 0;
inline constexpr std::uint16_t kZipMethodDeflated = 8;
inline constexpr int kZipRawDeflateWindowBits = -15;
inline constexpr std::size_t kZipEncryptionHeaderSize = 12;
inline constexpr std::array<std::uint32_t, 3> kZipCipherInitialKeys = {0x12345678, 0x23456789,
                                                                       0x34567890};
inline constexpr std::uint32_t kZipCipherKeyMultiplier = 134775813;

}  // namespace vantor

// The U-Boot legacy image header (include/image.h of U-Boot): 64 bytes in front of the data,
// every number big-endian. The boot loaders of the devices refuse an image whose header or
// data CRC-32 is wrong, so the server checks the same before it sends one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

inline constexpr std::uint32_t kUbootMagic = 0x27051956;
inline constexpr std::size_t kUbootHeaderSize = 64;
inline constexpr std::size_t kUbootNameSize = 32;

// Offsets of the fields in the header.
inline constexpr std::size_t kUbootMagicOffset = 0;
inline constexpr std::size_t kUbootHeaderCrcOffset = 4;  // CRC-32 of the header, this field 0
inline constexpr std::size_t kUbootTimeOffset = 8;       // seconds since 1970
inline constexpr std::size_t kUbootDataSizeOffset = 12;  // bytes after the header
inline constexpr std::size_t kUbootLoadOffset = 16;      // load address
inline constexpr std::size_t kUbootEntryOffset = 20;     // entry point
inline constexpr std::size_t kUbootDataCrcOffset = 24;   // CRC-32 of the data
inline constexpr std::size_t kUbootOsOffset = 28;
inline constexpr std::size_t kUbootArchOffset = 29;
inline constexpr std::size_t kUbootTypeOffset = 30;
inline constexpr std::size_t kUbootCompressionOffset = 31;
inline constexpr std::size_t kUbootNameOffset = 32;  // NUL-padded

inline constexpr std::uint8_t kUbootOsLinux = 5;
inline constexpr std::uint8_t kUbootArchArm = 2;
inline constexpr std::uint8_t kUbootTypeKernel = 2;
inline constexpr std::uint8_t kUbootTypeRamDisk = 3;
inline constexpr std::uint8_t kUbootCompressionNone = 0;

// The largest image file the server reads: the devices' kernels and RAM disks are a few
// megabytes, and a file many times that is not a boot image, so the loader reads no further.
inline constexpr std::size_t kUbootMaxImageFileSize = 64 * 1024 * 1024;  // 67108864

}  // namespace vantor

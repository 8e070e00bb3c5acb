// The update files inside a firmware archive: the microcode header, the logo's length prefix and
// the check value.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

// Microcode update file: a 12-byte header, then the image.
inline constexpr std::size_t kUpdateImageBufferSize = 262144;
inline constexpr std::size_t kTailRegionSize = 28672;
inline constexpr std::size_t kUpdateHeaderSize = 12;
inline constexpr std::size_t kUpdateHeaderMagicOffset = 0;
inline constexpr std::size_t kUpdateHeaderTypeOffset = 1;
inline constexpr std::size_t kUpdateHeaderMinAddressOffset = 2;
inline constexpr std::size_t kUpdateHeaderCrcOffset = 10;
inline constexpr std::uint8_t kUpdateMagic = 0x41;
inline constexpr std::uint8_t kFileTypeMask = 0x0F;
inline constexpr unsigned kModelShift = 4;
inline constexpr std::uint8_t kFileTypeMax = 9;
inline constexpr std::uint8_t kMicrocodeModelMin = 1;
inline constexpr std::uint8_t kMicrocodeModelMax = 3;
inline constexpr std::size_t kLogoLengthPrefixSize = 2;
// The check value: a 16-bit register shifted right, 0x1021 applied in that right-shifting form.
inline constexpr std::uint16_t kCheckValueInitial = 0xFFFF;
inline constexpr std::uint16_t kCheckValuePolynomial = 0x1021;

}  // namespace vantor

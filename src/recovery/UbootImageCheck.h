#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace vantor {

// What a boot image file holds, once it passed every check.
struct UbootImageInfo {
    std::string name;  // ih_name up to its first zero, control bytes shown as '?'
    std::uint32_t dataSize = 0;
    std::uint8_t type = 0;
    std::uint32_t loadAddress = 0;
};

// Why a boot image file was refused, first problem only, in the order the checks run.
enum class UbootImageError {
    tooLarge,  // over kUbootMaxImageFileSize
    tooShort,  // shorter than the 64-byte header
    badMagic,
    headerCrc,
    sizeMismatch,  // ih_size is not what follows the header: cut short, or bytes trail it
    dataCrc,
    wrongType,  // not the type the file's name asks for
    wrongArch,  // not built for ARM
};

struct UbootImageProblem {
    UbootImageError error = UbootImageError::tooShort;
    std::string text;  // short and plain, for a status row: "the header CRC does not match"
};

// Checks one U-Boot legacy image file (recovery/UbootImageFormat.h) before the recovery
// server sends it to a device: a device that boots a damaged kernel or RAM disk stays bricked,
// and the server can tell the installer why instead.
struct UbootImageCheck {
    using Result = std::variant<UbootImageInfo, UbootImageProblem>;

    // The checks, in order: size bound, header length, magic, header CRC, data size against
    // the file, data CRC, type against expectedType, architecture ARM.
    static Result Check(std::span<const std::uint8_t> file, std::uint8_t expectedType);

    // The type a file of this name must hold: "kernel*.img" a kernel, "initrd*.img" a RAM
    // disk; nothing for any other name.
    static std::optional<std::uint8_t> ExpectedType(std::string_view fileName);

    // Whether a file of this many bytes may be an image at all; the loader reads no more.
    static bool FitsSizeBound(std::uint64_t fileSize);
};

}  // namespace vantor

#include "recovery/UbootImageCheck.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>

#include "base/ByteReader.h"
#include "base/PrintableText.h"
#include "recovery/UbootImageFormat.h"

namespace vantor {
namespace {

constexpr std::string_view kKernelPrefix = "kernel";
constexpr std::string_view kRamDiskPrefix = "initrd";
constexpr std::string_view kImageSuffix = ".img";

// zlib's crc32 takes a uInt length; Check refuses a file over the size bound before any CRC,
// so one call covers the whole span.
static_assert(kUbootMaxImageFileSize <= std::numeric_limits<uInt>::max());

std::uint32_t crc32Of(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint32_t>(
        crc32(crc32(0, nullptr, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

std::string typeText(std::uint8_t type) {
    switch (type) {
        case kUbootTypeKernel:
            return "a kernel";
        case kUbootTypeRamDisk:
            return "a RAM disk";
        default:
            return "an image of type " + std::to_string(type);
    }
}

UbootImageProblem problem(UbootImageError error, std::string text) {
    return UbootImageProblem{error, std::move(text)};
}

std::string nameOf(std::span<const std::uint8_t> field) {
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return printableText(std::string(field.begin(), end));
}

}  // namespace

bool UbootImageCheck::FitsSizeBound(std::uint64_t fileSize) {
    return fileSize <= kUbootMaxImageFileSize;
}

std::optional<std::uint8_t> UbootImageCheck::ExpectedType(std::string_view fileName) {
    if (!fileName.ends_with(kImageSuffix)) {
        return std::nullopt;
    }
    if (fileName.starts_with(kKernelPrefix)) {
        return kUbootTypeKernel;
    }
    if (fileName.starts_with(kRamDiskPrefix)) {
        return kUbootTypeRamDisk;
    }
    return std::nullopt;
}

UbootImageCheck::Result UbootImageCheck::Check(std::span<const std::uint8_t> file,
                                               std::uint8_t expectedType) {
    if (!FitsSizeBound(file.size())) {
        return problem(UbootImageError::tooLarge,
                       "the file holds " + std::to_string(file.size()) + " bytes, more than the " +
                           std::to_string(kUbootMaxImageFileSize) + " an image may have");
    }
    if (file.size() < kUbootHeaderSize) {
        return problem(UbootImageError::tooShort, "the file holds " + std::to_string(file.size()) +
                                                      " bytes, less than a 64-byte header");
    }
    ByteReader reader(file.first(kUbootHeaderSize), ByteOrder::big);
    const std::uint32_t magic = reader.u32();
    const std::uint32_t headerCrc = reader.u32();
    reader.seek(kUbootDataSizeOffset);
    const std::uint32_t dataSize = reader.u32();
    const std::uint32_t load = reader.u32();
    reader.seek(kUbootDataCrcOffset);
    const std::uint32_t dataCrc = reader.u32();
    reader.seek(kUbootArchOffset);
    const std::uint8_t arch = reader.u8();
    const std::uint8_t type = reader.u8();
    reader.seek(kUbootNameOffset);
    const auto nameField = reader.bytes(kUbootNameSize);
    // The header is 64 bytes long, so every read above is inside it.

    if (magic != kUbootMagic) {
        return problem(UbootImageError::badMagic, "this is not a U-Boot image (bad magic number)");
    }
    // The header CRC covers the header with its own field taken as zero.
    std::array<std::uint8_t, kUbootHeaderSize> header{};
    std::copy_n(file.begin(), kUbootHeaderSize, header.begin());
    std::fill_n(header.begin() + kUbootHeaderCrcOffset, sizeof(std::uint32_t), std::uint8_t{0});
    if (crc32Of(header) != headerCrc) {
        return problem(UbootImageError::headerCrc, "the header CRC does not match");
    }
    const auto data = file.subspan(kUbootHeaderSize);
    if (dataSize != data.size()) {
        const std::string how =
            dataSize > data.size() ? "the file was cut short" : "bytes trail the data";
        return problem(UbootImageError::sizeMismatch,
                       "the header says " + std::to_string(dataSize) +
                           " bytes of data but the file holds " + std::to_string(data.size()) +
                           " (" + how + ")");
    }
    if (crc32Of(data) != dataCrc) {
        return problem(UbootImageError::dataCrc, "the data CRC does not match");
    }
    if (type != expectedType) {
        return problem(UbootImageError::wrongType,
                       typeText(type) + ", not " + typeText(expectedType));
    }
    if (arch != kUbootArchArm) {
        return problem(UbootImageError::wrongArch,
                       "built for architecture " + std::to_string(arch) + ", not ARM");
    }
    return UbootImageInfo{nameOf(nameField), dataSize, type, load};
}

}  // namespace vantor

#include "recovery/BootImages.h"

#include <algorithm>
#include <array>

#include "recovery/BootImageConfig.h"
#include "recovery/FileSource.h"
#include "recovery/MemorySource.h"
#include "recovery/RecoveryService.h"
#include "recovery/TftpWire.h"

// Defined by the generated assembler file that embeds the images (.incbin).
extern "C" {
extern const std::uint8_t vantor_boot_image_0_data[];
extern const std::uint64_t vantor_boot_image_0_size;
extern const std::uint8_t vantor_boot_image_1_data[];
extern const std::uint64_t vantor_boot_image_1_size;
extern const std::uint8_t vantor_boot_image_2_data[];
extern const std::uint64_t vantor_boot_image_2_size;
extern const std::uint8_t vantor_boot_image_3_data[];
extern const std::uint64_t vantor_boot_image_3_size;
}

namespace vantor {
namespace {

// In the order of kBootImageNames.
std::span<const std::uint8_t> embedded(std::size_t index) {
    switch (index) {
        case 0:
            return {vantor_boot_image_0_data, vantor_boot_image_0_size};
        case 1:
            return {vantor_boot_image_1_data, vantor_boot_image_1_size};
        case 2:
            return {vantor_boot_image_2_data, vantor_boot_image_2_size};
        default:
            return {vantor_boot_image_3_data, vantor_boot_image_3_size};
    }
}

}  // namespace

std::optional<std::span<const std::uint8_t>> BootImages::Find(std::string_view name) {
    const auto found = std::find(kBootImageNames.begin(), kBootImageNames.end(), name);
    if (found == kBootImageNames.end()) {
        return std::nullopt;
    }
    return embedded(static_cast<std::size_t>(found - kBootImageNames.begin()));
}

bool BootImages::IsPlainFileName(std::string_view name) {
    if (name.empty() || name.size() > kTftpMaxFileName) {
        return false;
    }
    // ":" names a drive or a stream on the platform the product came from; ".." anywhere
    // is refused rather than reasoned about.
    return name.find_first_of("/\\:") == std::string_view::npos &&
           name.find("..") == std::string_view::npos && name != ".";
}

std::unique_ptr<BlockSource> BootImages::Open(std::string_view name, const std::string& directory) {
    // Only an image may be replaced from the working directory: any other name served from
    // there would hand whatever lies beside the program (notes, shell histories) to any host
    // on the segment.
    const auto image = Find(name);
    if (!image || !IsPlainFileName(name)) {
        return nullptr;
    }
    const std::string path =
        directory.empty() ? std::string(name) : directory + "/" + std::string(name);
    // FileSource checks with fstat, after opening, that this is a regular file.
    if (auto file = FileSource::Open(path)) {
        return file;
    }
    return std::make_unique<MemorySource>(*image);
}

bool BootImages::ArePlaceholders() {
    return build::kPlaceholderBootImages;
}

}  // namespace vantor

// Checks the input as a boot image of either type and parses it as a kit.conf: neither may
// crash, and a passed image must agree with the bytes it came from.
#include <string_view>
#include <variant>

#include "recovery/KitConfig.h"
#include "recovery/UbootImageCheck.h"
#include "recovery/UbootImageFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    for (const std::uint8_t type : {vantor::kUbootTypeKernel, vantor::kUbootTypeRamDisk}) {
        const auto result = vantor::UbootImageCheck::Check(bytes, type);
        const auto* info = std::get_if<vantor::UbootImageInfo>(&result);
        if (info != nullptr &&
            (info->type != type || info->dataSize + vantor::kUbootHeaderSize != size)) {
            __builtin_trap();
        }
    }
    (void)vantor::KitConfig::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "recovery/BlockSource.h"

namespace vantor {

// The four boot images built into the program ("kernel.img", "initrds.img",
// "kernel-pxa.img", "initrd-pxa.img"), and the choice of what a TFTP read request gets.
struct BootImages {
    // The embedded image of exactly this name (case-sensitive), or nothing.
    static std::optional<std::span<const std::uint8_t>> Find(std::string_view name);

    // Whether a requested name may name a file in a directory: not empty, at most
    // 59 characters, no "/" or "\", no ":", no "..". Anything else would let any host on the
    // segment read any file of the PC ("../../etc/shadow", "/etc/passwd").
    static bool IsPlainFileName(std::string_view name);

    // The source for a read request of one of the four image names: a regular file of that
    // name in `directory` (the working directory when empty), which replaces the embedded
    // image; else the embedded image. Any other name is a missing file, whatever the
    // directory holds.
    static std::unique_ptr<BlockSource> Open(std::string_view name,
                                             const std::string& directory = {});

    // True when the build embedded generated placeholders rather than real images.
    static bool ArePlaceholders();
};

}  // namespace vantor

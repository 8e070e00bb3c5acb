#pragma once

#include <cstdint>
#include <vector>

#include "upgrade/CodeUpdateWire.h"
#include "upgrade/UpdateFileFormat.h"

namespace vantor {

// The image of the region that the code update sender sends next, as the update file reader
// leaves it. The upgrade driver owns one and keeps it between runs.
struct UpdateImage {
    // The image from offset 0; every byte past imageLength is zero.
    std::vector<std::uint8_t> imageBuffer = std::vector<std::uint8_t>(kUpdateImageBufferSize);
    // The last kTailRegionSize bytes of a microcode image; zero after reading any other.
    std::vector<std::uint8_t> tailBuffer = std::vector<std::uint8_t>(kTailRegionSize);
    std::uint32_t imageLength = 0;
    // Offset within the source buffer of the first byte that is sent.
    std::uint32_t nMinHexAddress = 0;
    // From the update file header; for a member without one, the caller sets fileType
    // (TYPE_BIN or TYPE_LOGO) before reading it.
    std::uint8_t fileType = 0;
    std::uint8_t model = 0;
};

}  // namespace vantor

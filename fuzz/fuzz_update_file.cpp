// Prepares the input as an update file member and checks what the sender will rely on. The
// first byte chooses the form: with the header, or as a bin or logo member without one.
#include <cstring>
#include <string>
#include <vector>

#include "upgrade/UpdateFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Kept from one input to the next, as the upgrade driver keeps its image between members.
    static vantor::UpdateImage image;
    static const std::vector<std::uint8_t> zeros(vantor::kUpdateImageBufferSize);
    if (size == 0) {
        return 0;
    }
    const bool hasHeader = (data[0] & 1u) != 0;
    image.fileType = (data[0] & 2u) != 0 ? vantor::TYPE_LOGO : vantor::TYPE_BIN;
    const auto result =
        vantor::prepareUpdateImage(std::span(data + 1, size - 1), hasHeader, "fuzz.zip", image);
    const std::size_t length = result.imageLength;
    if (length > image.imageBuffer.size() || length != image.imageLength ||
        (length > 0 && !vantor::regionsFitBuffers(image, hasHeader)) ||
        std::memcmp(image.imageBuffer.data() + length, zeros.data(),
                    image.imageBuffer.size() - length) != 0) {
        __builtin_trap();
    }
    return 0;
}

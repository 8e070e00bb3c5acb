#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "upgrade/FirmwareArchive.h"
#include "upgrade/StatusSink.h"
#include "upgrade/UpdateImage.h"

namespace vantor {

// The outcome of preparing an image: its length (0 when refused or empty) and the one
// status line that says why it was refused (empty when there is none).
struct UpdateFileResult {
    std::uint32_t imageLength = 0;
    std::string line;
};

// Checks a member's bytes (the first kUpdateImageBufferSize of them at most) and puts them
// into image in the form the sender sends: with hasHeader the 12-byte update file header is
// checked and removed, a microcode image gives up its tail region, a logo gets its length in
// front. archivePath names the archive in the lines.
UpdateFileResult prepareUpdateImage(std::span<const std::uint8_t> member, bool hasHeader,
                                    const std::string& archivePath, UpdateImage& image);

// Whether every region the sender would read for this image, from its source buffer at
// nMinHexAddress, stays inside that buffer (and a microcode image is long enough for its page
// count). Types that the sender refuses read nothing and always fit.
bool regionsFitBuffers(const UpdateImage& image, bool hasHeader);

// Reads member memberIndex of the open archive into image and appends the outcome's line,
// if any, under the firmware file tag. Returns imageLength, or 0 when the member was refused,
// empty, or the archive failed; archive.error() then tells an archive failure apart (a wrong
// password is BadPassword).
std::uint32_t readUpdateFile(FirmwareArchive& archive, std::size_t memberIndex, bool hasHeader,
                             const std::string& archivePath, UpdateImage& image,
                             StatusSink& status);

}  // namespace vantor

#include "upgrade/UpdateFile.h"

#include <algorithm>
#include <string_view>

#include "base/ByteReader.h"
#include "base/ByteWriter.h"
#include "ports/ConsoleMode.h"
#include "upgrade/CodeUpdateWire.h"
#include "upgrade/ComputeCrc.h"
#include "upgrade/UpdateFileFormat.h"

namespace vantor {

namespace {

constexpr std::string_view kNotAnUpdateFile = ", This is not an VELT microcode update file: ";
constexpr std::string_view kAppearsCorrupted = ", this file appears corrupted\n";
constexpr std::string_view kMicrocodeTooShort = "Error! Microcode image too short from: ";

std::string notAnUpdateFile(std::string_view reason, const std::string& archivePath) {
    return "> " + std::string(reason) + std::string(kNotAnUpdateFile) + archivePath + "\n";
}

std::string corrupted(std::string_view reason, const std::string& archivePath) {
    return "> " + std::string(reason) + archivePath + std::string(kAppearsCorrupted);
}

// Both buffers: the driver keeps its image from run to run, and a member that fills only one
// of them (a type 9 image gives no tail, yet is sent as the tail region) must not send what an
// earlier archive left in the other.
void resetImage(UpdateImage& image) {
    image.nMinHexAddress = 0;
    image.imageLength = 0;
    std::fill(image.imageBuffer.begin(), image.imageBuffer.end(), std::uint8_t{0});
    std::fill(image.tailBuffer.begin(), image.tailBuffer.end(), std::uint8_t{0});
}

// A refused image leaves no bytes behind its length of 0; type and model stay as read.
UpdateFileResult refuse(UpdateImage& image, std::string line) {
    resetImage(image);
    return UpdateFileResult{0, std::move(line)};
}

std::uint64_t pageBytes(std::uint64_t pages) {
    return pages * kCodeUpdatePageSize;
}

// Whether one region of the sender, read from a buffer of bufferSize bytes at start, stays
// inside it.
bool fits(std::uint64_t start, std::uint64_t bytes, std::size_t bufferSize) {
    return start + bytes <= bufferSize;
}

enum class RegionFault { None, StartAddress, ImageTooShort };

RegionFault regionFault(std::uint8_t fileType, bool hasHeader, std::uint32_t nMinHexAddress,
                        std::uint32_t imageLength) {
    const std::uint64_t start = nMinHexAddress;
    const std::uint64_t extra = hasHeader ? kHeaderRegionExtra : 0;
    // A tail region never carries the extra bytes, whatever the image.
    const bool tailFits = fits(start, pageBytes(kTailEndPage - kTailFirstPage), kTailRegionSize);
    const auto faultUnless = [](bool ok) {
        return ok ? RegionFault::None : RegionFault::StartAddress;
    };
    switch (fileType) {
        case TYPE_MICROCODE: {
            if (!tailFits) {
                return RegionFault::StartAddress;
            }
            // The page count is taken from what lies past the start and the extra bytes.
            if (imageLength < start + extra) {
                return RegionFault::ImageTooShort;
            }
            const std::uint64_t pages =
                (imageLength - start - extra + kCodeUpdatePageSize - 1) / kCodeUpdatePageSize;
            return faultUnless(fits(start, extra + pageBytes(pages), kUpdateImageBufferSize));
        }
        case TYPE_LOGO:
            return faultUnless(fits(start, extra + pageBytes(kLogoEndPage - kLogoFirstPage),
                                    kUpdateImageBufferSize));
        case TYPE_BIN:
            return faultUnless(fits(start, extra + pageBytes(kBinEndPage - kBinFirstPage),
                                    kUpdateImageBufferSize));
        case KIND_TAIL:
            return faultUnless(tailFits);
        default:
            return RegionFault::None;  // refused by the sender before it reads anything
    }
}

}  // namespace

bool regionsFitBuffers(const UpdateImage& image, bool hasHeader) {
    return regionFault(image.fileType, hasHeader, image.nMinHexAddress, image.imageLength) ==
           RegionFault::None;
}

UpdateFileResult prepareUpdateImage(std::span<const std::uint8_t> member, bool hasHeader,
                                    const std::string& archivePath, UpdateImage& image) {
    resetImage(image);
    member = member.first(std::min(member.size(), kUpdateImageBufferSize));
    auto& buffer = image.imageBuffer;
    std::size_t length = 0;
    std::uint16_t storedCrc = 0;

    if (hasHeader) {
        if (member.size() < kUpdateHeaderSize) {
            return refuse(image, notAnUpdateFile("Error! File too short", archivePath));
        }
        if (member[kUpdateHeaderMagicOffset] != kUpdateMagic) {
            return refuse(image, notAnUpdateFile("Wrong Magic Number", archivePath));
        }
        const std::uint8_t typeByte = member[kUpdateHeaderTypeOffset];
        image.fileType = static_cast<std::uint8_t>(typeByte & kFileTypeMask);
        image.model = static_cast<std::uint8_t>(typeByte >> kModelShift);
        if (image.fileType == 0 || image.fileType > kFileTypeMax) {
            return refuse(image, notAnUpdateFile("Bad File Type", archivePath));
        }
        if (image.fileType == TYPE_MICROCODE &&
            (image.model < kMicrocodeModelMin || image.model > kMicrocodeModelMax)) {
            return refuse(image, "> Wrong auraNode model: " + std::to_string(image.model) + "\n");
        }
        image.nMinHexAddress = ByteReader(member.subspan(kUpdateHeaderMinAddressOffset)).u32();
        storedCrc = ByteReader(member.subspan(kUpdateHeaderCrcOffset)).u16();
        const auto body = member.subspan(kUpdateHeaderSize);
        std::copy(body.begin(), body.end(), buffer.begin());
        length = body.size();
    } else {
        // A logo needs two bytes in front for its length; one that leaves no room for them
        // is refused rather than cut, since a cut logo would carry a length that is neither
        // its own nor the member's.
        if (image.fileType != TYPE_BIN &&
            member.size() > kUpdateImageBufferSize - kLogoLengthPrefixSize) {
            return refuse(image, "> Error! Logo file is too large: " + archivePath + "\n");
        }
        std::copy(member.begin(), member.end(), buffer.begin());
        length = member.size();
    }

    if (image.fileType == TYPE_MICROCODE) {
        if (length < kTailRegionSize) {
            return refuse(image, corrupted(kMicrocodeTooShort, archivePath));
        }
        const auto tail = buffer.begin() + static_cast<std::ptrdiff_t>(length - kTailRegionSize);
        std::copy_n(tail, kTailRegionSize, image.tailBuffer.begin());
        std::fill_n(tail, kTailRegionSize, std::uint8_t{0});
        length -= kTailRegionSize;
    }

    if (!hasHeader && image.fileType != TYPE_BIN) {
        std::copy_backward(
            buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length),
            buffer.begin() + static_cast<std::ptrdiff_t>(length + kLogoLengthPrefixSize));
        // The device reads the prefix as a 16-bit little-endian count.
        ByteWriter(std::span<std::uint8_t>(buffer), ByteOrder::little)
            .u16(static_cast<std::uint16_t>(length));
        length += kLogoLengthPrefixSize;
    }

    const auto imageLength = static_cast<std::uint32_t>(length);
    if (hasHeader) {
        if (computeCrc(std::span(buffer).first(length)) != storedCrc) {
            return refuse(image, corrupted("Bad crc from: ", archivePath));
        }
        // The start address is outside the check value: a bad one would make the sender read
        // past its buffers.
        switch (regionFault(image.fileType, hasHeader, image.nMinHexAddress, imageLength)) {
            case RegionFault::None:
                break;
            case RegionFault::StartAddress:
                return refuse(image, corrupted("Error! Bad start address from: ", archivePath));
            case RegionFault::ImageTooShort:
                return refuse(image, corrupted(kMicrocodeTooShort, archivePath));
        }
    }
    image.imageLength = imageLength;
    return UpdateFileResult{imageLength, {}};
}

std::uint32_t readUpdateFile(FirmwareArchive& archive, std::size_t memberIndex, bool hasHeader,
                             const std::string& archivePath, UpdateImage& image,
                             StatusSink& status) {
    const int tag = tagOf(ConsoleMode::FirmwareFile);
    resetImage(image);
    if (!archive.OpenMember(memberIndex)) {
        status.AppendStatus(tag,
                            "> Could not open zip file : " + std::to_string(memberIndex) + "\n");
        return 0;
    }
    // Longer members are read only up to the buffer's size; the rest stays unread.
    std::vector<std::uint8_t> work(kUpdateImageBufferSize);
    std::size_t count = 0;
    while (count < work.size()) {
        const std::size_t got = archive.ReadMember(std::span(work).subspan(count));
        if (got == 0) {
            break;
        }
        count += got;
    }
    // Damaged data, or a CRC-32 that does not match, must not reach the device.
    if (archive.error() || archive.CloseMember() == FirmwareArchive::kMemberFailed) {
        status.AppendStatus(
            tag, "> Error! Could not read zip file : " + std::to_string(memberIndex) + "\n");
        return 0;
    }
    const UpdateFileResult result =
        prepareUpdateImage(std::span(work).first(count), hasHeader, archivePath, image);
    if (!result.line.empty()) {
        status.AppendStatus(tag, result.line);
    }
    return result.imageLength;
}

}  // namespace vantor

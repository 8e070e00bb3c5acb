// Opens the input as a firmware archive and reads every member as the upgrade would.
#include <memory>
#include <vector>

#include "upgrade/FirmwareArchive.h"
#include "upgrade/MemoryArchiveSource.h"
#include "upgrade/UpdateFileFormat.h"
#include "upgrade/UpgradeLimits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vantor::FirmwareArchive archive;
    if (!archive.Open(std::make_unique<vantor::MemoryArchiveSource>(std::span(data, size)))) {
        return 0;
    }
    archive.SetPassword(vantor::kArchivePassword);
    std::vector<std::uint8_t> buffer(4096);
    for (std::size_t i = 0; i < archive.Count(); ++i) {
        if (!archive.OpenMember(i)) {
            continue;
        }
        // Bounded like the upgrade's reads: a member may claim gigabytes.
        std::size_t total = 0;
        while (total < vantor::kUpdateImageBufferSize) {
            const std::size_t got = archive.ReadMember(buffer);
            if (got == 0) {
                break;
            }
            total += got;
        }
        archive.CloseMember();
    }
    return 0;
}

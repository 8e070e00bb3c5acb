#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "upgrade/FirmwareArchive.h"
#include "upgrade/MemoryArchiveSource.h"

namespace vantor {

// Lets test failures name the kind.
inline void PrintTo(ArchiveError error, std::ostream* out) {
    *out << archiveErrorName(error);
}

}  // namespace vantor

namespace vantor::test {

// What reading one member to its end (or to a limit) gave.
struct ReadBack {
    bool opened = false;
    std::vector<std::uint8_t> data;
    int closeResult = FirmwareArchive::kMemberFailed;
    std::optional<ArchiveError> error;
};

inline bool openBytes(FirmwareArchive& archive, const std::vector<std::uint8_t>& bytes) {
    return archive.Open(std::make_unique<MemoryArchiveSource>(bytes));
}

inline ReadBack readMember(FirmwareArchive& archive, std::size_t index, std::size_t chunk = 777,
                           std::size_t limit = std::numeric_limits<std::size_t>::max()) {
    ReadBack result;
    result.opened = archive.OpenMember(index);
    result.error = archive.error();
    if (!result.opened) {
        return result;
    }
    std::vector<std::uint8_t> buffer(chunk);
    while (result.data.size() < limit) {
        const std::size_t want = std::min(chunk, limit - result.data.size());
        const std::size_t got = archive.ReadMember(std::span(buffer).first(want));
        if (got == 0) {
            result.error = archive.error();
            if (result.error) {
                return result;
            }
            break;
        }
        result.data.insert(result.data.end(), buffer.begin(),
                           buffer.begin() + static_cast<std::ptrdiff_t>(got));
    }
    result.closeResult = archive.CloseMember();
    result.error = archive.error();
    return result;
}

}  // namespace vantor::test

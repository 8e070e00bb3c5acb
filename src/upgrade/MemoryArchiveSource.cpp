#include "upgrade/MemoryArchiveSource.h"

#include <algorithm>

namespace vantor {

std::optional<std::size_t> MemoryArchiveSource::readAt(std::uint64_t offset,
                                                       std::span<std::uint8_t> buffer) {
    if (offset >= bytes_.size()) {
        return 0;
    }
    const auto start = static_cast<std::size_t>(offset);
    const std::size_t count = std::min(buffer.size(), bytes_.size() - start);
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(start), count, buffer.begin());
    return count;
}

}  // namespace vantor

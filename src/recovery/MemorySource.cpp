#include "recovery/MemorySource.h"

#include <algorithm>

namespace vantor {

std::optional<std::size_t> MemorySource::read(std::span<std::uint8_t> out) {
    const std::size_t count = std::min(out.size(), bytes_.size() - position_);
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, out.begin());
    position_ += count;
    return count;
}

}  // namespace vantor

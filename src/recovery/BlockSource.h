#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vantor {

// The content a TFTP transfer sends, read front to back.
class BlockSource {
  public:
    virtual ~BlockSource() = default;
    // Fills `out` as far as the content goes and returns the count; fewer than out.size()
    // bytes only at the end. Nothing on a read error.
    virtual std::optional<std::size_t> read(std::span<std::uint8_t> out) = 0;
    // The whole content's size when it is known before reading.
    virtual std::optional<std::uint64_t> size() const { return std::nullopt; }
};

}  // namespace vantor

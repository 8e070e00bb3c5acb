#pragma once

#include <cstdint>
#include <span>

#include "recovery/BlockSource.h"

namespace vantor {

// Content held in memory, such as an embedded boot image. The bytes must outlive the source.
class MemorySource final : public BlockSource {
  public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::optional<std::size_t> read(std::span<std::uint8_t> out) override;
    std::optional<std::uint64_t> size() const override { return bytes_.size(); }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

}  // namespace vantor

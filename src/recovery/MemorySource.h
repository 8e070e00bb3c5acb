#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <utility>

#include "recovery/BlockSource.h"

namespace vantor {

// Content held in memory, such as an embedded boot image. The bytes must outlive the source,
// or `keeper` must own them (a kit's image read from a file, which a change of the file
// replaces while a transfer still sends the old one).
class MemorySource final : public BlockSource {
  public:
    explicit MemorySource(std::span<const std::uint8_t> bytes,
                          std::shared_ptr<const void> keeper = {})
        : bytes_(bytes), keeper_(std::move(keeper)) {}
    std::optional<std::size_t> read(std::span<std::uint8_t> out) override;
    std::optional<std::uint64_t> size() const override { return bytes_.size(); }

  private:
    std::span<const std::uint8_t> bytes_;
    std::shared_ptr<const void> keeper_;
    std::size_t position_ = 0;
};

}  // namespace vantor

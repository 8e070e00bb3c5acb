#pragma once

#include <vector>

#include "upgrade/ArchiveSource.h"

namespace vantor {

// An archive held in memory; it keeps its own copy of the bytes.
class MemoryArchiveSource final : public ArchiveSource {
  public:
    explicit MemoryArchiveSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    explicit MemoryArchiveSource(std::span<const std::uint8_t> bytes)
        : bytes_(bytes.begin(), bytes.end()) {}

    std::uint64_t size() const override { return bytes_.size(); }
    std::optional<std::size_t> readAt(std::uint64_t offset,
                                      std::span<std::uint8_t> buffer) override;

  private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace vantor

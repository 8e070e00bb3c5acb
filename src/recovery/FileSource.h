#pragma once

#include <memory>
#include <string>

#include "base/UniqueFd.h"
#include "recovery/BlockSource.h"

namespace vantor {

// A regular file, read through its own descriptor.
class FileSource final : public BlockSource {
  public:
    // Opens `path` for reading if it is a regular file; nothing otherwise (missing,
    // unreadable, a directory, a FIFO that would block the transfer thread, ...).
    static std::unique_ptr<FileSource> Open(const std::string& path);

    explicit FileSource(UniqueFd fd) : fd_(std::move(fd)) {}

    std::optional<std::size_t> read(std::span<std::uint8_t> out) override;

  private:
    UniqueFd fd_;
};

}  // namespace vantor

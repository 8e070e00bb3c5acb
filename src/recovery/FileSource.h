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

    FileSource(UniqueFd fd, std::uint64_t size) : fd_(std::move(fd)), size_(size) {}

    std::optional<std::size_t> read(std::span<std::uint8_t> out) override;
    // The size when the file was opened.
    std::optional<std::uint64_t> size() const override { return size_; }

  private:
    UniqueFd fd_;
    std::uint64_t size_ = 0;
};

}  // namespace vantor

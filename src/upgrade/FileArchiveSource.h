#pragma once

#include <memory>
#include <string>

#include "upgrade/ArchiveSource.h"

namespace vantor {

// An archive file, opened for reading only: a firmware archive on read-only media, or one the
// operator may read but not write, must open all the same.
class FileArchiveSource final : public ArchiveSource {
  public:
    // Nothing when the path cannot be opened for reading or is not a regular file.
    static std::unique_ptr<FileArchiveSource> open(const std::string& path);

    ~FileArchiveSource() override;
    FileArchiveSource(const FileArchiveSource&) = delete;
    FileArchiveSource& operator=(const FileArchiveSource&) = delete;

    std::uint64_t size() const override { return size_; }
    std::optional<std::size_t> readAt(std::uint64_t offset,
                                      std::span<std::uint8_t> buffer) override;

  private:
    // Only open() makes one; the key keeps the constructor usable by std::make_unique.
    struct Key {
        explicit Key() = default;
    };

  public:
    FileArchiveSource(Key, int fd, std::uint64_t size) : fd_(fd), size_(size) {}

  private:
    int fd_;
    std::uint64_t size_;
};

}  // namespace vantor

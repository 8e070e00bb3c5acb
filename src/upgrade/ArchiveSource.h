#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vantor {

// Random read access to the bytes of an archive: a file, or a buffer in tests and fuzzing.
class ArchiveSource {
  public:
    virtual ~ArchiveSource() = default;

    // The length of the archive, fixed when the source was opened.
    virtual std::uint64_t size() const = 0;
    // Reads up to buffer.size() bytes from offset; fewer only at the end. Nothing on an I/O
    // error.
    virtual std::optional<std::size_t> readAt(std::uint64_t offset,
                                              std::span<std::uint8_t> buffer) = 0;
};

}  // namespace vantor

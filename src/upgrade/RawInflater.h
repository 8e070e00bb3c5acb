#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantor {

// A zlib inflate stream over raw deflate data (no zlib or gzip wrapper), as zip members
// carry it. Owns the stream; neither copied nor moved, since zlib keeps pointers into it.
class RawInflater {
  public:
    enum class Status { Progress, StreamEnd, Damaged };
    struct Step {
        std::size_t consumed = 0;
        std::size_t produced = 0;
        Status status = Status::Progress;
    };

    RawInflater();
    ~RawInflater();
    RawInflater(const RawInflater&) = delete;
    RawInflater& operator=(const RawInflater&) = delete;

    // False when zlib could not set the stream up (out of memory).
    bool ok() const { return ok_; }

    // Inflates from input into output as far as both allow.
    Step inflate(std::span<const std::uint8_t> input, std::span<std::uint8_t> output);

  private:
    z_stream stream_{};
    bool ok_ = false;
};

}  // namespace vantor

#include "upgrade/RawInflater.h"

#include <algorithm>
#include <limits>

#include "upgrade/ZipFormat.h"

namespace vantor {

RawInflater::RawInflater() {
    ok_ = inflateInit2(&stream_, kZipRawDeflateWindowBits) == Z_OK;
}

RawInflater::~RawInflater() {
    if (ok_) {
        inflateEnd(&stream_);
    }
}

RawInflater::Step RawInflater::inflate(std::span<const std::uint8_t> input,
                                       std::span<std::uint8_t> output) {
    Step step;
    if (!ok_) {
        step.status = Status::Damaged;
        return step;
    }
    constexpr std::size_t kMaxChunk = std::numeric_limits<uInt>::max();
    const auto inCount = static_cast<uInt>(std::min(input.size(), kMaxChunk));
    const auto outCount = static_cast<uInt>(std::min(output.size(), kMaxChunk));
    // zlib takes a non-const input pointer but never writes through it.
    stream_.next_in = const_cast<Bytef*>(input.data());
    stream_.avail_in = inCount;
    stream_.next_out = output.data();
    stream_.avail_out = outCount;
    const int result = ::inflate(&stream_, Z_SYNC_FLUSH);
    step.consumed = inCount - stream_.avail_in;
    step.produced = outCount - stream_.avail_out;
    stream_.next_in = nullptr;
    stream_.next_out = nullptr;
    switch (result) {
        case Z_OK:
            step.status = Status::Progress;
            break;
        case Z_STREAM_END:
            step.status = Status::StreamEnd;
            break;
        case Z_BUF_ERROR:
            // No progress was possible: the caller decides whether input ran out for good.
            step.status = Status::Progress;
            break;
        default:  // Z_DATA_ERROR, Z_NEED_DICT (no dictionary in a zip member), Z_MEM_ERROR
            step.status = Status::Damaged;
            break;
    }
    return step;
}

}  // namespace vantor

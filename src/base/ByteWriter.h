#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "base/ByteOrder.h"

namespace vantor {

// Writes fields one byte at a time, whatever the host's byte order, into a byte vector (which
// grows as needed) or into a fixed span (which never grows), from the first byte on. seek() moves
// to an absolute offset, so a field can be written in place afterwards, as a checksum is. A write
// that does not fit writes nothing and marks the writer failed, and every later write does
// nothing; check ok() once at the end. Writes return the writer so fields can be chained.
class ByteWriter {
  public:
    // Writes into `out` from its first byte, growing it when a write reaches past its end;
    // seek(out.size()) first to append to what it holds.
    ByteWriter(std::vector<std::uint8_t>& out, ByteOrder order) : growable_(&out), order_(order) {}
    // Writes into `out` from its first byte, never past its last.
    ByteWriter(std::span<std::uint8_t> out, ByteOrder order) : fixed_(out), order_(order) {}

    ByteWriter& u8(std::uint8_t value) { return write(value, sizeof value); }
    ByteWriter& u16(std::uint16_t value) { return write(value, sizeof value); }
    ByteWriter& u32(std::uint32_t value) { return write(value, sizeof value); }
    ByteWriter& u64(std::uint64_t value) { return write(value, sizeof value); }

    ByteWriter& bytes(std::span<const std::uint8_t> data) {
        const auto out = claim(data.size());
        // One copy, not a loop of byte stores: a DATA packet's block goes through here, and
        // at -O2 the loop was most of the TFTP server's own time.
        std::copy_n(data.begin(), out.size(), out.begin());
        return *this;
    }
    // The characters as bytes, without a terminator.
    ByteWriter& text(std::string_view characters) {
        const auto out = claim(characters.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = static_cast<std::uint8_t>(characters[i]);
        }
        return *this;
    }
    // Moves to an absolute offset; the current end is a valid place. An offset past the end
    // fails the writer.
    ByteWriter& seek(std::size_t offset) {
        if (!ok_ || offset > target().size()) {
            ok_ = false;
        } else {
            pos_ = offset;
        }
        return *this;
    }

    bool ok() const { return ok_; }
    std::size_t position() const { return pos_; }

  private:
    static constexpr unsigned kBitsPerByte = 8;

    std::span<std::uint8_t> target() const {
        return growable_ != nullptr ? std::span<std::uint8_t>(*growable_) : fixed_;
    }

    // The next count bytes to write, after growing a vector to hold them; empty (and failed)
    // when a span has too few left.
    std::span<std::uint8_t> claim(std::size_t count) {
        if (ok_ && growable_ != nullptr && pos_ <= growable_->size() &&
            count > growable_->size() - pos_) {
            growable_->resize(pos_ + count);
        }
        const auto out = target();
        if (!ok_ || pos_ > out.size() || count > out.size() - pos_) {
            ok_ = false;
            return {};
        }
        pos_ += count;
        return out.subspan(pos_ - count, count);
    }

    ByteWriter& write(std::uint64_t value, std::size_t size) {
        const auto out = claim(size);
        for (std::size_t i = 0; i < out.size(); ++i) {
            const std::size_t shift = kBitsPerByte * (order_ == ByteOrder::big ? size - 1 - i : i);
            out[i] = static_cast<std::uint8_t>(value >> shift);
        }
        return *this;
    }

    std::vector<std::uint8_t>* growable_ = nullptr;
    std::span<std::uint8_t> fixed_;
    std::size_t pos_ = 0;
    ByteOrder order_;
    bool ok_ = true;
};

}  // namespace vantor

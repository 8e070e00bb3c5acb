#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/ByteOrder.h"

namespace vantor {

// Reads fields from the front of a byte span, one byte at a time, whatever the host's byte
// order. A read past the end yields zero and marks the reader failed, and every later read
// fails too, so a parser reads its fields in order and checks ok() once instead of before
// every field. The bytes are untrusted input: nothing here asserts or reads out of bounds.
// Multi-byte fields are little-endian unless the reader is made for ByteOrder::big.
class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes, ByteOrder order = ByteOrder::little)
        : bytes_(bytes), order_(order) {}

    std::uint8_t u8() { return static_cast<std::uint8_t>(read(sizeof(std::uint8_t))); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(read(sizeof(std::uint16_t))); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(read(sizeof(std::uint32_t))); }
    std::uint64_t u64() { return read(sizeof(std::uint64_t)); }

    // The next count bytes; empty (and failed) when fewer are left.
    std::span<const std::uint8_t> bytes(std::size_t count) {
        if (!has(count)) {
            return {};
        }
        const auto out = bytes_.subspan(pos_, count);
        pos_ += count;
        return out;
    }
    void skip(std::size_t count) { (void)bytes(count); }
    // Moves to an absolute offset; the end itself is a valid place (nothing more to read).
    // An offset past the end fails the reader.
    void seek(std::size_t offset) {
        if (!ok_ || offset > bytes_.size()) {
            ok_ = false;
            return;
        }
        pos_ = offset;
    }

    bool ok() const { return ok_; }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return bytes_.size() - pos_; }

  private:
    static constexpr unsigned kBitsPerByte = 8;

    bool has(std::size_t count) {
        if (!ok_ || count > bytes_.size() - pos_) {
            ok_ = false;
            return false;
        }
        return true;
    }

    std::uint64_t read(std::size_t size) {
        if (!has(size)) {
            return 0;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            const std::uint64_t byte = bytes_[pos_ + i];
            if (order_ == ByteOrder::big) {
                value = value << kBitsPerByte | byte;
            } else {
                value |= byte << (kBitsPerByte * i);
            }
        }
        pos_ += size;
        return value;
    }

    std::span<const std::uint8_t> bytes_;
    ByteOrder order_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace vantor

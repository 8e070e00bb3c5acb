#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantor {

// Reads little-endian fields from the front of a byte span, one byte at a time, whatever the
// host's byte order. A read past the end yields zero and marks the reader failed, so a parser
// reads its fields in order and checks ok() once instead of before every field.
class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t u8() {
        if (!has(1)) {
            return 0;
        }
        return bytes_[pos_++];
    }
    std::uint16_t u16() {
        if (!has(2)) {
            return 0;
        }
        const auto value =
            static_cast<std::uint16_t>(bytes_[pos_] | static_cast<unsigned>(bytes_[pos_ + 1]) << 8);
        pos_ += 2;
        return value;
    }
    std::uint32_t u32() {
        if (!has(4)) {
            return 0;
        }
        const std::uint32_t value = static_cast<std::uint32_t>(bytes_[pos_]) |
                                    static_cast<std::uint32_t>(bytes_[pos_ + 1]) << 8 |
                                    static_cast<std::uint32_t>(bytes_[pos_ + 2]) << 16 |
                                    static_cast<std::uint32_t>(bytes_[pos_ + 3]) << 24;
        pos_ += 4;
        return value;
    }
    std::uint64_t u64() {
        const std::uint64_t low = u32();
        const std::uint64_t high = u32();
        return low | high << 32;
    }
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

    bool ok() const { return ok_; }
    std::size_t position() const { return pos_; }

  private:
    bool has(std::size_t count) {
        if (!ok_ || count > bytes_.size() - pos_) {
            ok_ = false;
            return false;
        }
        return true;
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace vantor

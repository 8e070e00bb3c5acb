#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vantor {

// The traditional PKWARE stream cipher of the ZIP application note: three 32-bit keys set up
// from the password and advanced by every plain byte. Only decryption is needed here.
class TraditionalCipher {
  public:
    explicit TraditionalCipher(std::span<const std::uint8_t> password);

    std::uint8_t decrypt(std::uint8_t cipherByte);
    void decrypt(std::span<std::uint8_t> bytes);

  private:
    void updateKeys(std::uint8_t plainByte);
    std::uint8_t keyStreamByte() const;

    std::array<std::uint32_t, 3> keys_;
};

}  // namespace vantor

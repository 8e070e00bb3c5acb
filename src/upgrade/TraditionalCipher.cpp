#include "upgrade/TraditionalCipher.h"

#include <zlib.h>

#include "upgrade/ZipFormat.h"

namespace vantor {

namespace {

// One byte of the raw CRC-32 register update (no inversions), as the key schedule needs it;
// the table is zlib's, the same that its crc32() uses.
std::uint32_t crcStep(std::uint32_t crc, std::uint8_t byte) {
    static const z_crc_t* const table = get_crc_table();
    return static_cast<std::uint32_t>(table[(crc ^ byte) & 0xFFu]) ^ (crc >> 8);
}

}  // namespace

TraditionalCipher::TraditionalCipher(std::span<const std::uint8_t> password)
    : keys_(kZipCipherInitialKeys) {
    for (const std::uint8_t byte : password) {
        updateKeys(byte);
    }
}

void TraditionalCipher::updateKeys(std::uint8_t plainByte) {
    keys_[0] = crcStep(keys_[0], plainByte);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFFu)) * kZipCipherKeyMultiplier + 1;
    keys_[2] = crcStep(keys_[2], static_cast<std::uint8_t>(keys_[1] >> 24));
}

std::uint8_t TraditionalCipher::keyStreamByte() const {
    const std::uint32_t temp = (keys_[2] | 2u) & 0xFFFFu;
    return static_cast<std::uint8_t>((temp * (temp ^ 1u)) >> 8);
}

std::uint8_t TraditionalCipher::decrypt(std::uint8_t cipherByte) {
    const auto plain = static_cast<std::uint8_t>(cipherByte ^ keyStreamByte());
    updateKeys(plain);
    return plain;
}

void TraditionalCipher::decrypt(std::span<std::uint8_t> bytes) {
    for (std::uint8_t& byte : bytes) {
        byte = decrypt(byte);
    }
}

}  // namespace vantor

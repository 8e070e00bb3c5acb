#include "upgrade/ComputeCrc.h"

#include "upgrade/UpdateFileFormat.h"

namespace vantor {

std::uint16_t computeCrc(std::span<const std::uint8_t> data) {
    if (data.empty()) {
        return 0;
    }
    std::uint16_t reg = kCheckValueInitial;
    for (const std::uint8_t byte : data) {
        for (unsigned bit = 0; bit < 8; ++bit) {
            const bool dataBit = ((byte >> bit) & 1u) != 0;
            const bool regBit = (reg & 1u) != 0;
            reg = static_cast<std::uint16_t>(reg >> 1);
            if (regBit != dataBit) {
                reg ^= kCheckValuePolynomial;
            }
        }
    }
    reg = static_cast<std::uint16_t>(~reg);
    return static_cast<std::uint16_t>((reg >> 8) | (reg << 8));
}

}  // namespace vantor

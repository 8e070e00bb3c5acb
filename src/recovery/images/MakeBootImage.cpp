// Writes a deterministic placeholder boot image in the U-Boot legacy format: the 64-byte
// header (all numbers big-endian) and a payload of a seeded pseudo-random pattern, so that
// the build has images of the product's sizes without shipping real kernels.
//
// Usage: MakeBootImage OUTPUT kernel|ramdisk TOTAL_SIZE LOAD_ADDRESS NAME

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kMagic = 0x27051956;
constexpr std::size_t kHeaderSize = 64;
constexpr std::size_t kNameSize = 32;
constexpr std::uint8_t kOsLinux = 5;
constexpr std::uint8_t kArchArm = 2;
constexpr std::uint8_t kTypeKernel = 2;
constexpr std::uint8_t kTypeRamDisk = 3;
constexpr std::uint8_t kCompressionNone = 0;
constexpr std::uint32_t kTimestamp = 1200355200;  // 2008-01-15 00:00:00 UTC, fixed

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            }
            entries[n] = c;
        }
        return entries;
    }();
    std::uint32_t crc = 0xFFFFFFFFU;
    for (std::size_t i = 0; i < size; ++i) {
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFU;
}

void put32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s OUTPUT kernel|ramdisk TOTAL_SIZE LOAD_ADDRESS NAME\n",
                     argv[0]);
        return 2;
    }
    const std::string output = argv[1];
    const std::string kind = argv[2];
    const unsigned long long total = std::strtoull(argv[3], nullptr, 10);
    const auto load = static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 0));
    const std::string name = argv[5];
    if ((kind != "kernel" && kind != "ramdisk") || total <= kHeaderSize || total > 0xFFFFFFFFULL ||
        name.size() >= kNameSize) {
        std::fprintf(stderr, "MakeBootImage: bad arguments\n");
        return 2;
    }

    std::vector<std::uint8_t> image(static_cast<std::size_t>(total), 0);
    // xorshift32 seeded from the name (FNV-1a), so each image differs and never changes.
    std::uint32_t state = 2166136261U;
    for (const char c : name) {
        state = (state ^ static_cast<std::uint8_t>(c)) * 16777619U;
    }
    state |= 1;
    for (std::size_t i = kHeaderSize; i < image.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[i] = static_cast<std::uint8_t>(state >> 24);
    }

    std::uint8_t* header = image.data();
    const std::size_t payload = image.size() - kHeaderSize;
    put32(header + 0, kMagic);
    put32(header + 8, kTimestamp);
    put32(header + 12, static_cast<std::uint32_t>(payload));
    put32(header + 16, load);
    put32(header + 20, load);
    put32(header + 24, crc32(image.data() + kHeaderSize, payload));
    header[28] = kOsLinux;
    header[29] = kArchArm;
    header[30] = kind == "kernel" ? kTypeKernel : kTypeRamDisk;
    header[31] = kCompressionNone;
    std::memcpy(header + 32, name.data(), name.size());
    // The header CRC covers the header with its own field zero, as U-Boot checks it.
    put32(header + 4, crc32(header, kHeaderSize));

    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "MakeBootImage: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}

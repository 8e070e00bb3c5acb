// Writes a deterministic placeholder boot image in the U-Boot legacy format: the 64-byte
// header (all numbers big-endian) and a payload of a seeded pseudo-random pattern, so that
// the build has images of the product's sizes without shipping real kernels.
//
// Usage: MakeBootImage OUTPUT kernel|ramdisk TOTAL_SIZE LOAD_ADDRESS NAME

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "recovery/UbootImageFormat.h"

namespace {

using namespace vantor;

constexpr std::uint32_t kTimestamp = 1200355200;  // 2008-01-15 00:00:00 UTC, fixed

std::uint32_t crc32Of(const std::uint8_t* data, std::size_t size) {
    return static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), data, static_cast<uInt>(size)));
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
    if ((kind != "kernel" && kind != "ramdisk") || total <= kUbootHeaderSize ||
        total > kUbootMaxImageFileSize || name.size() >= kUbootNameSize) {
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
    for (std::size_t i = kUbootHeaderSize; i < image.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[i] = static_cast<std::uint8_t>(state >> 24);
    }

    std::uint8_t* header = image.data();
    const std::size_t payload = image.size() - kUbootHeaderSize;
    put32(header + kUbootMagicOffset, kUbootMagic);
    put32(header + kUbootTimeOffset, kTimestamp);
    put32(header + kUbootDataSizeOffset, static_cast<std::uint32_t>(payload));
    put32(header + kUbootLoadOffset, load);
    put32(header + kUbootEntryOffset, load);
    put32(header + kUbootDataCrcOffset, crc32Of(image.data() + kUbootHeaderSize, payload));
    header[kUbootOsOffset] = kUbootOsLinux;
    header[kUbootArchOffset] = kUbootArchArm;
    header[kUbootTypeOffset] = kind == "kernel" ? kUbootTypeKernel : kUbootTypeRamDisk;
    header[kUbootCompressionOffset] = kUbootCompressionNone;
    std::memcpy(header + kUbootNameOffset, name.data(), name.size());
    // The header CRC covers the header with its own field zero, as U-Boot checks it.
    put32(header + kUbootHeaderCrcOffset, crc32Of(header, kUbootHeaderSize));

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

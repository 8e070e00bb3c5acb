#include "upgrade/UpgradeArchives.h"

#include <fstream>

#include "upgrade/ComputeCrc.h"
#include "upgrade/UpdateFileFormat.h"
#include "upgrade/UpgradeLimits.h"

namespace vantor::test {

namespace {

std::vector<std::uint8_t> padded(std::vector<std::uint8_t> bytes, std::size_t size) {
    bytes.resize(size, 0);
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> microcodeFile(std::uint8_t model, std::size_t imageLength,
                                        std::uint32_t seed) {
    const std::vector<std::uint8_t> image = patternBytes(imageLength, seed);
    std::vector<std::uint8_t> file(12);
    file[0] = 0x41;
    file[1] = static_cast<std::uint8_t>(model << 4 | 2);
    putLe32(file, 6, 0xFFFFFFFF);
    putLe16(file, 10, computeCrc(std::span(image).first(imageLength - kTailRegionSize)));
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

ZipMember firmwareMember(const std::string& name, std::vector<std::uint8_t> data) {
    ZipMember member;
    member.name = name;
    member.data = std::move(data);
    member.password = std::string(kArchivePassword);
    return member;
}

std::string writeArchive(const TempDir& dir, const std::string& fileName,
                         const std::vector<ZipMember>& members) {
    const std::string path = dir.file(fileName);
    const ZipLayout layout = buildZip(members);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(layout.bytes.data()),
               static_cast<std::streamsize>(layout.bytes.size()));
    return path;
}

std::vector<std::uint8_t> expectedTail(const std::vector<std::uint8_t>& microcode) {
    return std::vector<std::uint8_t>(microcode.end() - kTailRegionSize, microcode.end());
}

std::vector<std::uint8_t> expectedMicrocode(const std::vector<std::uint8_t>& microcode) {
    const std::size_t length = microcode.size() - 12 - kTailRegionSize;
    const std::size_t pages = (length - 8 + 255) / 256;
    std::vector<std::uint8_t> image(microcode.begin() + 12,
                                    microcode.begin() + 12 + static_cast<std::ptrdiff_t>(length));
    return padded(std::move(image), 8 + pages * 256);
}

std::vector<std::uint8_t> expectedBin(const std::vector<std::uint8_t>& bin) {
    return padded(bin, 845 * 256);
}

std::vector<std::uint8_t> expectedLogo(const std::vector<std::uint8_t>& logo) {
    std::vector<std::uint8_t> out = {static_cast<std::uint8_t>(logo.size() & 0xFF),
                                     static_cast<std::uint8_t>(logo.size() >> 8)};
    out.insert(out.end(), logo.begin(), logo.end());
    return padded(std::move(out), 16 * 256);
}

}  // namespace vantor::test

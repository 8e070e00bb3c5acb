#include "recovery/UbootImageCheck.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <string>
#include <vector>

#include "base/ByteWriter.h"
#include "recovery/BootImages.h"

namespace vantor {
namespace {

std::uint32_t zlibCrc(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

// A legacy image written field by field with the numbers of U-Boot's image.h, not the
// constants under test.
std::vector<std::uint8_t> image(std::uint8_t type, std::uint8_t arch, std::size_t dataSize) {
    std::vector<std::uint8_t> data(dataSize);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7);
    }
    std::vector<std::uint8_t> bytes;
    ByteWriter writer(bytes, ByteOrder::big);
    writer.u32(0x27051956).u32(0).u32(0).u32(static_cast<std::uint32_t>(dataSize));
    writer.u32(0x8000).u32(0x8000).u32(zlibCrc(data)).u8(5).u8(arch).u8(type).u8(0);
    writer.text("test\x01name").bytes(std::vector<std::uint8_t>(23)).bytes(data);
    writer.seek(4).u32(zlibCrc(std::span(bytes).first(64)));
    return bytes;
}

struct Damage {
    std::string what;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    UbootImageError error;
    std::string text;
};

TEST(UbootImageCheck, RefusesEachDamageWithTheFirstProblem) {
    const std::vector<Damage> cases{
        {"magic", [](auto& b) { b[0] ^= 1; }, UbootImageError::badMagic, ""},
        {"header byte", [](auto& b) { b[40] ^= 1; }, UbootImageError::headerCrc,
         "the header CRC does not match"},
        {"last data byte", [](auto& b) { b.back() ^= 1; }, UbootImageError::dataCrc,
         "the data CRC does not match"},
        {"cut by one", [](auto& b) { b.pop_back(); }, UbootImageError::sizeMismatch,
         "the header says 100 bytes of data but the file holds 99 (the file was cut short)"},
        {"one trailing", [](auto& b) { b.push_back(0); }, UbootImageError::sizeMismatch,
         "the header says 100 bytes of data but the file holds 101 (bytes trail the data)"},
        {"RAM disk", [](auto& b) { b = image(3, 2, 100); }, UbootImageError::wrongType,
         "a RAM disk, not a kernel"},
        {"type 7", [](auto& b) { b = image(7, 5, 100); }, UbootImageError::wrongType,
         "an image of type 7, not a kernel"},
        {"arch", [](auto& b) { b = image(2, 5, 100); }, UbootImageError::wrongArch,
         "built for architecture 5, not ARM"},
        {"empty", [](auto& b) { b.clear(); }, UbootImageError::tooShort, ""},
        {"63 bytes", [](auto& b) { b.resize(63); }, UbootImageError::tooShort,
         "the file holds 63 bytes, less than a 64-byte header"},
    };
    for (const Damage& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = image(2, 2, 100);
        c.damage(bytes);
        const auto result = UbootImageCheck::Check(bytes, 2);
        const auto* problem = std::get_if<UbootImageProblem>(&result);
        ASSERT_NE(problem, nullptr);
        EXPECT_EQ(problem->error, c.error);
        if (!c.text.empty()) {
            EXPECT_EQ(problem->text, c.text);
        }
    }
}

TEST(UbootImageCheck, PassesAWholeImageAndAHeaderWithoutData) {
    const auto result = UbootImageCheck::Check(image(2, 2, 100), 2);
    const auto* info = std::get_if<UbootImageInfo>(&result);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->name, "test?name");
    EXPECT_EQ(info->dataSize, 100u);
    EXPECT_EQ(info->type, 2);
    EXPECT_EQ(info->loadAddress, 0x8000u);
    EXPECT_TRUE(std::holds_alternative<UbootImageInfo>(UbootImageCheck::Check(image(3, 2, 0), 3)));
}

TEST(UbootImageCheck, BoundsTheFileAt67108864Bytes) {
    EXPECT_TRUE(UbootImageCheck::FitsSizeBound(67108864));
    EXPECT_FALSE(UbootImageCheck::FitsSizeBound(67108865));
}

TEST(UbootImageCheck, TakesTheExpectedTypeFromTheName) {
    EXPECT_EQ(UbootImageCheck::ExpectedType("kernel-pxa.img"), 2);
    EXPECT_EQ(UbootImageCheck::ExpectedType("initrds.img"), 3);
    EXPECT_EQ(UbootImageCheck::ExpectedType("kernel.bin"), std::nullopt);
    EXPECT_EQ(UbootImageCheck::ExpectedType("vmlinux.img"), std::nullopt);
}

TEST(UbootImageCheck, PassesTheBuiltImages) {
    for (const char* name : {"kernel.img", "initrds.img", "kernel-pxa.img", "initrd-pxa.img"}) {
        SCOPED_TRACE(name);
        const auto bytes = BootImages::Find(name);
        const auto type = UbootImageCheck::ExpectedType(name);
        ASSERT_TRUE(bytes && type);
        const auto result = UbootImageCheck::Check(*bytes, *type);
        EXPECT_TRUE(std::holds_alternative<UbootImageInfo>(result))
            << std::get<UbootImageProblem>(result).text;
    }
}

}  // namespace
}  // namespace vantor

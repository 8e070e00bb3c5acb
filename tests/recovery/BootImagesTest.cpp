#include "recovery/BootImages.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "recovery/RecoveryService.h"

namespace vantor {
namespace {

std::uint32_t big32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return (std::uint32_t{bytes[offset]} << 24) | (std::uint32_t{bytes[offset + 1]} << 16) |
           (std::uint32_t{bytes[offset + 2]} << 8) | std::uint32_t{bytes[offset + 3]};
}

std::uint32_t zlibCrc(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

std::vector<std::uint8_t> readAll(BlockSource& source) {
    std::vector<std::uint8_t> content;
    std::array<std::uint8_t, 512> block{};
    for (;;) {
        const auto count = source.read(block);
        EXPECT_TRUE(count.has_value());
        content.insert(content.end(), block.begin(), block.begin() + count.value_or(0));
        if (count.value_or(0) < block.size()) {
            return content;
        }
    }
}

TEST(BootImages, EachImageIsAValidUbootLegacyImage) {
    for (std::size_t i = 0; i < kBootImageNames.size(); ++i) {
        SCOPED_TRACE(std::string(kBootImageNames[i]));
        const auto image = BootImages::Find(kBootImageNames[i]);
        ASSERT_TRUE(image);
        ASSERT_GT(image->size(), kUbootHeaderSize);
        if (BootImages::ArePlaceholders()) {
            EXPECT_EQ(image->size(), kBootImageSizes[i]);
        }
        EXPECT_EQ(big32(*image, 0), 0x27051956u);
        std::vector<std::uint8_t> header(image->begin(), image->begin() + kUbootHeaderSize);
        std::fill_n(header.begin() + 4, 4, 0);  // the header CRC covers itself as zero
        EXPECT_EQ(big32(*image, 4), zlibCrc(header));
        EXPECT_EQ(big32(*image, 12), image->size() - kUbootHeaderSize);
        EXPECT_EQ(big32(*image, 24), zlibCrc(image->subspan(kUbootHeaderSize)));
        if (BootImages::ArePlaceholders()) {
            const bool ramDisk = kBootImageNames[i].starts_with(kRamDiskPrefix);
            EXPECT_EQ((*image)[28], 5);                // Linux
            EXPECT_EQ((*image)[29], 2);                // ARM
            EXPECT_EQ((*image)[30], ramDisk ? 3 : 2);  // RAM disk or kernel
            EXPECT_EQ((*image)[31], 0);                // not compressed
            EXPECT_EQ((*image)[32 + 31], 0);           // the name is terminated
        }
    }
}

TEST(BootImages, ImagesAreFoundByTheirExactNameOnly) {
    EXPECT_TRUE(BootImages::Find("initrd-pxa.img"));
    EXPECT_FALSE(BootImages::Find("Kernel.img"));
    EXPECT_FALSE(BootImages::Find("kernel.img "));
    EXPECT_FALSE(BootImages::Find(""));
    EXPECT_NE(BootImages::Find("kernel.img")->data(), BootImages::Find("initrds.img")->data());
}

struct NameCase {
    std::string name;
    bool plain;
};

class PlainFileNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(PlainFileNames, OnlyPlainNamesMayNameAWorkingDirectoryFile) {
    EXPECT_EQ(BootImages::IsPlainFileName(GetParam().name), GetParam().plain);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PlainFileNames,
    ::testing::Values(NameCase{"kernel.img", true}, NameCase{"initrd-pxa.img", true},
                      NameCase{"my image v2.bin", true}, NameCase{std::string(59, 'k'), true},
                      NameCase{std::string(60, 'k'), false}, NameCase{"", false},
                      NameCase{".", false}, NameCase{"..", false},
                      NameCase{"../../etc/shadow", false}, NameCase{"/etc/passwd", false},
                      NameCase{"images/kernel.img", false}, NameCase{"..\\vantor.ini", false},
                      NameCase{"C:boot.ini", false}, NameCase{"kernel..img", false}));

class BootImagesOpen : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantor-images-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        work_ = root_ / "work";
        std::filesystem::create_directory(work_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    static void write(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::vector<std::uint8_t> served(const std::string& name) {
        const auto source = BootImages::Open(name, work_.string());
        return source ? readAll(*source) : std::vector<std::uint8_t>{};
    }
    bool found(const std::string& name) {
        return BootImages::Open(name, work_.string()) != nullptr;
    }

    std::filesystem::path root_;
    std::filesystem::path work_;
};

TEST_F(BootImagesOpen, AWorkingDirectoryFileReplacesTheImageOfItsName) {
    write(work_ / "kernel.img", "my own kernel");
    EXPECT_EQ(served("kernel.img"), (std::vector<std::uint8_t>{'m', 'y', ' ', 'o', 'w', 'n', ' ',
                                                               'k', 'e', 'r', 'n', 'e', 'l'}));
    const auto image = BootImages::Find("initrds.img");
    EXPECT_EQ(served("initrds.img"), std::vector<std::uint8_t>(image->begin(), image->end()));
}

TEST_F(BootImagesOpen, NoOtherNameInTheWorkingDirectoryIsServed) {
    for (const char* name : {"notes.txt", ".bash_history", "KERNEL.IMG", "kernel.img.bak",
                             "initrds.im", "vantor.ini"}) {
        write(work_ / name, "private");
        EXPECT_FALSE(found(name)) << name;
    }
    EXPECT_FALSE(found("absent.txt"));
}

TEST_F(BootImagesOpen, NamesThatLeaveTheWorkingDirectoryAreMissingEvenWhenTheFileExists) {
    write(root_ / "secret", "s");
    write(root_ / "kernel.img", "outside");
    EXPECT_FALSE(found("../secret"));
    EXPECT_FALSE(found((root_ / "secret").string()));
    EXPECT_FALSE(found("../kernel.img"));  // not even as the embedded kernel
    EXPECT_FALSE(found("./kernel.img"));
}

TEST_F(BootImagesOpen, SomethingThatIsNotARegularFileDoesNotReplaceAnImage) {
    std::filesystem::create_directory(work_ / "initrds.img");
    ASSERT_EQ(mkfifo((work_ / "kernel-pxa.img").c_str(), 0600), 0);
    EXPECT_EQ(served("initrds.img").size(), BootImages::Find("initrds.img")->size());
    EXPECT_EQ(served("kernel-pxa.img").size(), BootImages::Find("kernel-pxa.img")->size());
    // A symbolic link to a regular file is followed: the operator put it there.
    write(root_ / "built.img", "k");
    std::filesystem::create_symlink(root_ / "built.img", work_ / "kernel.img");
    EXPECT_EQ(served("kernel.img").size(), 1u);
}

}  // namespace
}  // namespace vantor

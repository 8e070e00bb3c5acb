#include "upgrade/UpdateFile.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ports/ConsoleMode.h"
#include "upgrade/ArchiveTestSupport.h"
#include "upgrade/CodeUpdateWire.h"
#include "upgrade/ComputeCrc.h"
#include "upgrade/UpdateFileFormat.h"
#include "upgrade/UpgradeLimits.h"
#include "upgrade/ZipFormat.h"
#include "upgrade/ZipWriter.h"

namespace vantor {
namespace {

const std::string kPath = "/media/usb/fw.zip";

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(ComputeCrc, KnownAnswers) {
    // Stored little-endian, "abc" gives the bytes F1 4C: the complemented register 0xF14C,
    // high byte first.
    EXPECT_EQ(computeCrc(bytesOf("abc")), 0x4CF1);
    EXPECT_EQ(computeCrc({}), 0);
}

// A member with the update file header: the check value is taken over checkedLength bytes of
// the image (all of it unless told).
std::vector<std::uint8_t> updateFile(std::uint8_t typeByte, const std::vector<std::uint8_t>& image,
                                     std::uint32_t nMinHexAddress = 0,
                                     std::size_t checkedLength = SIZE_MAX) {
    std::vector<std::uint8_t> out(kUpdateHeaderSize);
    out[0] = kUpdateMagic;
    out[1] = typeByte;
    test::putLe32(out, 2, nMinHexAddress);
    test::putLe32(out, 6, 0xFFFFFFFF);  // the maximum address is not used
    const auto checked = std::span(image).first(std::min(checkedLength, image.size()));
    test::putLe16(out, 10, computeCrc(checked));
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

// A microcode member: its check value leaves out the tail region.
std::vector<std::uint8_t> microcode(std::uint8_t model, std::size_t imageLength,
                                    std::uint32_t nMinHexAddress = 0) {
    const auto image = test::patternBytes(imageLength, 11);
    const std::size_t checked = imageLength >= kTailRegionSize ? imageLength - kTailRegionSize : 0;
    return updateFile(static_cast<std::uint8_t>(model << 4 | TYPE_MICROCODE), image, nMinHexAddress,
                      checked);
}

// Bytes of the buffer from offset on are all zero.
bool zeroFrom(const std::vector<std::uint8_t>& buffer, std::size_t offset) {
    return std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(offset), buffer.end(),
                       [](std::uint8_t b) { return b == 0; });
}

struct HeaderCase {
    const char* name;
    std::vector<std::uint8_t> member;
    std::string line;  // empty: accepted
};

void PrintTo(const HeaderCase& c, std::ostream* out) {
    *out << c.name;
}

class UpdateFileHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(UpdateFileHeader, IsAcceptedOrRefusedWithItsLine) {
    UpdateImage image;
    const auto result = prepareUpdateImage(GetParam().member, true, kPath, image);
    EXPECT_EQ(result.line, GetParam().line);
    EXPECT_EQ(result.imageLength == 0, !GetParam().line.empty());
    EXPECT_EQ(image.imageLength, result.imageLength);
}

std::vector<std::uint8_t> firstBytes(std::vector<std::uint8_t> member, std::size_t count) {
    member.resize(count);
    return member;
}

std::vector<std::uint8_t> withMagic(std::vector<std::uint8_t> member, std::uint8_t magic) {
    member[0] = magic;
    return member;
}

const std::string kNotUpdate = ", This is not an VELT microcode update file: " + kPath + "\n";
const std::string kCorrupted = kPath + ", this file appears corrupted\n";
const std::string kBadStart = "> Error! Bad start address from: " + kCorrupted;
const std::string kShortMicrocode = "> Error! Microcode image too short from: " + kCorrupted;
constexpr std::uint32_t kLogoRegion = (kLogoEndPage - kLogoFirstPage) * kCodeUpdatePageSize;
constexpr std::uint32_t kBinRegion = (kBinEndPage - kBinFirstPage) * kCodeUpdatePageSize;
constexpr std::uint32_t kLastLogoStart = kUpdateImageBufferSize - kHeaderRegionExtra - kLogoRegion;
constexpr std::uint32_t kLastBinStart = kUpdateImageBufferSize - kHeaderRegionExtra - kBinRegion;

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateFileHeader,
    ::testing::Values(
        HeaderCase{"MicrocodeModel1", microcode(1, 40000), ""},
        HeaderCase{"MicrocodeModel3", microcode(3, 40000), ""},
        HeaderCase{"LowerCaseMagic", withMagic(microcode(1, 40000), 'a'),
                   "> Wrong Magic Number" + kNotUpdate},
        HeaderCase{"MicrocodeModel4", microcode(4, 40000), "> Wrong auraNode model: 4\n"},
        HeaderCase{"MicrocodeModel0", microcode(0, 40000), "> Wrong auraNode model: 0\n"},
        HeaderCase{"BinModel4", updateFile(0x46, test::patternBytes(1000, 1)), ""},
        HeaderCase{"Type9", updateFile(0x19, test::patternBytes(1000, 1)), ""},
        HeaderCase{"Type10", updateFile(0x0A, test::patternBytes(1000, 1)),
                   "> Bad File Type" + kNotUpdate},
        HeaderCase{"Type0", updateFile(0x00, test::patternBytes(1000, 1)),
                   "> Bad File Type" + kNotUpdate},
        HeaderCase{"BadCrc", updateFile(0x16, test::patternBytes(1000, 1), 0, 999),
                   "> Bad crc from: " + kCorrupted},
        // Read past buffers otherwise: short headers and images, start addresses that put a
        // region past its buffer.
        HeaderCase{"Empty", {}, "> Error! File too short" + kNotUpdate},
        HeaderCase{"HeaderCutShort", firstBytes(microcode(1, 40000), kUpdateHeaderSize - 1),
                   "> Error! File too short" + kNotUpdate},
        HeaderCase{"MicrocodeWithoutRoomForItsTail", microcode(1, kTailRegionSize - 1),
                   kShortMicrocode},
        HeaderCase{"MicrocodeOnlyItsTail", microcode(1, kTailRegionSize + kHeaderRegionExtra - 1),
                   kShortMicrocode},
        HeaderCase{"MicrocodeShortestImage", microcode(1, kTailRegionSize + kHeaderRegionExtra),
                   ""},
        HeaderCase{"MicrocodeShorterThanItsStart", microcode(1, 40000, 40000), kBadStart},
        HeaderCase{"MicrocodeStartPastTheTail", microcode(1, 40000, 1), kBadStart},
        HeaderCase{"TailStartPastTheTail", updateFile(0x19, test::patternBytes(1000, 1), 1),
                   kBadStart},
        HeaderCase{"LogoLastStart", updateFile(0x04, test::patternBytes(1000, 1), kLastLogoStart),
                   ""},
        HeaderCase{"LogoStartPastTheBuffer",
                   updateFile(0x04, test::patternBytes(1000, 1), kLastLogoStart + 1), kBadStart},
        HeaderCase{"BinLastStart", updateFile(0x06, test::patternBytes(1000, 1), kLastBinStart),
                   ""},
        HeaderCase{"BinStartPastTheBuffer",
                   updateFile(0x06, test::patternBytes(1000, 1), kLastBinStart + 1), kBadStart},
        HeaderCase{"UnsentTypeAnyStart", updateFile(0x01, test::patternBytes(1000, 1), 0xFFFFFFFF),
                   ""}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(UpdateFile, TypeAndModelStayWhenALaterCheckRefuses) {
    UpdateImage image;
    prepareUpdateImage(microcode(4, 40000), true, kPath, image);
    EXPECT_EQ(image.fileType, TYPE_MICROCODE);
    EXPECT_EQ(image.model, 4);
    EXPECT_EQ(image.imageLength, 0u);
}

TEST(UpdateFile, RefusedImageLeavesNoBytesBehind) {
    // Found by fuzzing: a microcode member too short for its tail was refused with its image
    // left in the buffer behind an image length of 0.
    const std::vector<std::uint8_t> member = {0x41, 0x12, 0x00, 0xFF, 0xFF, 0x01, 0x00,
                                              0x00, 0x00, 0x7F, 0x06, 0xF0, 0xCA};
    UpdateImage image;
    EXPECT_EQ(prepareUpdateImage(member, true, kPath, image).line, kShortMicrocode);
    EXPECT_EQ(image.nMinHexAddress, 0u);
    EXPECT_TRUE(zeroFrom(image.imageBuffer, 0));
}

TEST(UpdateFile, MicrocodeGivesUpItsTailRegion) {
    const auto member = microcode(2, 40000, 0);
    UpdateImage image;
    const auto result = prepareUpdateImage(member, true, kPath, image);
    constexpr std::size_t kKept = 40000 - kTailRegionSize;
    ASSERT_EQ(result.imageLength, kKept);
    const auto body = std::span(member).subspan(kUpdateHeaderSize);
    EXPECT_TRUE(std::equal(body.begin(), body.begin() + kKept, image.imageBuffer.begin()));
    EXPECT_TRUE(zeroFrom(image.imageBuffer, kKept));
    EXPECT_TRUE(std::equal(body.begin() + kKept, body.end(), image.tailBuffer.begin()));
    EXPECT_EQ(image.model, 2);
    EXPECT_EQ(image.nMinHexAddress, 0u);
}

TEST(UpdateFile, StartAddressIsTakenFromTheHeader) {
    UpdateImage image;
    ASSERT_GT(prepareUpdateImage(updateFile(0x06, test::patternBytes(100, 1), 0x01020304 & 0xFFFF),
                                 true, kPath, image)
                  .imageLength,
              0u);
    EXPECT_EQ(image.nMinHexAddress, 0x0304u);
}

TEST(UpdateFile, LogoGetsItsLengthInFront) {
    const auto logo = test::patternBytes(100, 3);
    UpdateImage image;
    image.fileType = TYPE_LOGO;
    const auto result = prepareUpdateImage(logo, false, kPath, image);
    ASSERT_EQ(result.imageLength, 102u);
    EXPECT_EQ(image.imageBuffer[0], 0x64);
    EXPECT_EQ(image.imageBuffer[1], 0x00);
    EXPECT_TRUE(std::equal(logo.begin(), logo.end(), image.imageBuffer.begin() + 2));
    EXPECT_TRUE(zeroFrom(image.imageBuffer, 102));
}

TEST(UpdateFile, LogoLengthKeepsItsLow16BitsAndTheLargestFits) {
    UpdateImage image;
    image.fileType = TYPE_LOGO;
    ASSERT_EQ(prepareUpdateImage(test::patternBytes(70000, 3), false, kPath, image).imageLength,
              70002u);
    EXPECT_EQ(image.imageBuffer[0], 70000 & 0xFF);
    EXPECT_EQ(image.imageBuffer[1], (70000 >> 8) & 0xFF);

    constexpr std::size_t kLargest = kUpdateImageBufferSize - kLogoLengthPrefixSize;
    const auto largest = test::patternBytes(kLargest, 4);
    ASSERT_EQ(prepareUpdateImage(largest, false, kPath, image).imageLength, kUpdateImageBufferSize);
    EXPECT_EQ(image.imageBuffer.back(), largest.back());

    const auto result =
        prepareUpdateImage(test::patternBytes(kLargest + 1, 4), false, kPath, image);
    EXPECT_EQ(result.imageLength, 0u);
    EXPECT_EQ(result.line, "> Error! Logo file is too large: " + kPath + "\n");
}

TEST(UpdateFile, BinIsTakenUnchangedAndCutToTheBuffer) {
    UpdateImage image;
    image.fileType = TYPE_BIN;
    const auto bin = test::patternBytes(300000, 5);
    const auto result = prepareUpdateImage(bin, false, kPath, image);
    ASSERT_EQ(result.imageLength, kUpdateImageBufferSize);
    EXPECT_TRUE(std::equal(image.imageBuffer.begin(), image.imageBuffer.end(), bin.begin()));
    EXPECT_EQ(prepareUpdateImage({}, false, kPath, image).imageLength, 0u);  // empty: no line
    EXPECT_EQ(prepareUpdateImage({}, false, kPath, image).line, "");
}

// readUpdateFile over archives: the lines and the archive's errors.
class RecordingSink final : public StatusSink {
  public:
    void AppendStatus(int statusTag, const std::string& text) override {
        EXPECT_EQ(statusTag, tagOf(ConsoleMode::FirmwareFile));
        lines.push_back(text);
    }
    std::vector<std::string> lines;
};

class ReadUpdateFile : public ::testing::Test {
  protected:
    void open(std::vector<test::ZipMember> members) {
        for (auto& member : members) {
            member.password = std::string(kArchivePassword);
        }
        layout_ = test::buildZip(members);
        reopen();
    }
    void reopen() {
        ASSERT_TRUE(test::openBytes(archive_, layout_.bytes));
        archive_.SetPassword(kArchivePassword);
    }

    test::ZipLayout layout_;
    FirmwareArchive archive_;
    UpdateImage image_;
    RecordingSink sink_;
};

TEST_F(ReadUpdateFile, ReadsAMicrocodeMember) {
    open({{"update.enc", microcode(1, 40000), 8, "", false}});
    EXPECT_EQ(readUpdateFile(archive_, 0, true, kPath, image_, sink_), 40000 - kTailRegionSize);
    EXPECT_TRUE(sink_.lines.empty());
}

TEST_F(ReadUpdateFile, ClearsWhatThePreviousMemberLeft) {
    open({{"image.bin", test::patternBytes(50, 6), 8, "", false}});
    std::fill(image_.imageBuffer.begin(), image_.imageBuffer.end(), std::uint8_t{0xAA});
    image_.nMinHexAddress = 77;
    image_.fileType = TYPE_BIN;
    EXPECT_EQ(readUpdateFile(archive_, 0, false, kPath, image_, sink_), 50u);
    EXPECT_EQ(image_.nMinHexAddress, 0u);
    EXPECT_TRUE(zeroFrom(image_.imageBuffer, 50));
}

TEST_F(ReadUpdateFile, LongMemberIsReadOnlyUpToTheBuffer) {
    open({{"image.bin", test::patternBytes(300000, 7), 8, "", false}});
    image_.fileType = TYPE_BIN;
    EXPECT_EQ(readUpdateFile(archive_, 0, false, kPath, image_, sink_), kUpdateImageBufferSize);
    EXPECT_TRUE(sink_.lines.empty());
    EXPECT_EQ(archive_.error(), std::nullopt);
}

TEST_F(ReadUpdateFile, MemberThatCannotBeOpenedIsNamedByIndex) {
    open({{"update.enc", microcode(1, 40000), 8, "", false}});
    EXPECT_EQ(readUpdateFile(archive_, 3, true, kPath, image_, sink_), 0u);
    EXPECT_EQ(archive_.error(), std::nullopt);
    archive_.SetPassword("wqzu");
    EXPECT_EQ(readUpdateFile(archive_, 0, true, kPath, image_, sink_), 0u);
    EXPECT_EQ(archive_.error(), ArchiveError::BadPassword);  // the run shows "bad password"
    EXPECT_EQ(sink_.lines, (std::vector<std::string>{"> Could not open zip file : 3\n",
                                                     "> Could not open zip file : 0\n"}));
}

TEST_F(ReadUpdateFile, DamagedMemberNeverReachesTheImage) {
    open({{"update.enc", microcode(1, 40000), 8, "", false}});
    auto damagedData = layout_.bytes;
    damagedData[layout_.dataOffsets[0] + kZipEncryptionHeaderSize + 100] ^= 0x55;
    auto badCrc = layout_.bytes;
    badCrc[layout_.centralOffsets[0] + test::kCentralCrc] ^= 1;
    badCrc[layout_.localOffsets[0] + test::kLocalCrc] ^= 1;
    for (const auto* bytes : {&damagedData, &badCrc}) {
        layout_.bytes = *bytes;
        reopen();
        sink_.lines.clear();
        EXPECT_EQ(readUpdateFile(archive_, 0, true, kPath, image_, sink_), 0u);
        EXPECT_TRUE(archive_.error() == ArchiveError::DataError ||
                    archive_.error() == ArchiveError::BadCrc);
        EXPECT_EQ(sink_.lines, std::vector<std::string>{"> Error! Could not read zip file : 0\n"});
    }
}

TEST_F(ReadUpdateFile, RefusalLineGoesToTheLog) {
    open({{"update.enc", microcode(5, 40000), 8, "", false}});
    EXPECT_EQ(readUpdateFile(archive_, 0, true, kPath, image_, sink_), 0u);
    EXPECT_EQ(sink_.lines, std::vector<std::string>{"> Wrong auraNode model: 5\n"});
}

}  // namespace
}  // namespace vantor

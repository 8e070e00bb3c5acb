#include "upgrade/FirmwareArchive.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "upgrade/ArchiveTestSupport.h"
#include "upgrade/TempDir.h"
#include "upgrade/UpdateFileFormat.h"
#include "upgrade/UpgradeLimits.h"
#include "upgrade/ZipFormat.h"
#include "upgrade/ZipWriter.h"

namespace vantor {
namespace {

using test::buildZip;
using test::openBytes;
using test::patternBytes;
using test::readMember;
using test::ZipLayout;
using test::ZipMember;
using test::ZipOptions;

constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;

ZipMember member(std::string name, std::vector<std::uint8_t> data, std::uint16_t method = kDeflated,
                 std::string password = "", bool descriptor = false) {
    ZipMember made;
    made.name = std::move(name);
    made.data = std::move(data);
    made.method = method;
    made.password = std::move(password);
    made.dataDescriptor = descriptor;
    return made;
}

// A microcode-like member and a small one: the large one spans several read chunks.
std::vector<ZipMember> twoMembers(std::uint16_t method, const std::string& password = "",
                                  bool descriptor = false) {
    return {member("fw/update.enc", patternBytes(70000, 1), method, password, descriptor),
            member("logo.gif", patternBytes(100, 2), method, password, descriptor)};
}

std::optional<ArchiveError> openError(const std::vector<std::uint8_t>& bytes) {
    FirmwareArchive archive;
    if (openBytes(archive, bytes)) {
        return std::nullopt;
    }
    return archive.error();
}

struct RoundTripCase {
    std::uint16_t method;
    bool encrypted;
    bool descriptor;
};

void PrintTo(const RoundTripCase& c, std::ostream* out) {
    *out << "method " << c.method << (c.encrypted ? ", encrypted" : "")
         << (c.descriptor ? ", streamed" : "");
}

class ArchiveRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(ArchiveRoundTrip, ReadsEveryMemberBackWithItsCrcChecked) {
    const auto& param = GetParam();
    const std::string password = param.encrypted ? std::string(kArchivePassword) : "";
    const auto members = twoMembers(param.method, password, param.descriptor);
    FirmwareArchive archive;
    ASSERT_TRUE(openBytes(archive, buildZip(members).bytes));
    ASSERT_TRUE(archive.SetPassword(kArchivePassword));
    ASSERT_EQ(archive.Count(), members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        EXPECT_EQ(archive.EntryName(i), members[i].name);
        const auto back = readMember(archive, i);
        EXPECT_TRUE(back.opened);
        EXPECT_EQ(back.error, std::nullopt);
        EXPECT_EQ(back.data, members[i].data);
        EXPECT_EQ(back.closeResult, FirmwareArchive::kMemberComplete);
    }
    EXPECT_EQ(archive.EntryName(members.size()), "");
}

INSTANTIATE_TEST_SUITE_P(
    Members, ArchiveRoundTrip,
    ::testing::Values(RoundTripCase{kStored, false, false}, RoundTripCase{kDeflated, false, false},
                      RoundTripCase{kStored, true, false}, RoundTripCase{kDeflated, true, false},
                      RoundTripCase{kStored, true, true}, RoundTripCase{kDeflated, true, true},
                      RoundTripCase{kDeflated, false, true}));

TEST(FirmwareArchive, OpensWithAStubInFrontWhateverItsOffsetsCount) {
    for (const bool absolute : {false, true}) {
        SCOPED_TRACE(absolute ? "offsets from the file's start" : "offsets from the archive's");
        ZipOptions options;
        options.stubSize = 70001;  // longer than the end-record search
        options.offsetsIncludeStub = absolute;
        const auto members = twoMembers(kDeflated, std::string(kArchivePassword));
        FirmwareArchive archive;
        ASSERT_TRUE(openBytes(archive, buildZip(members, options).bytes));
        archive.SetPassword(kArchivePassword);
        EXPECT_EQ(readMember(archive, 0).data, members[0].data);
        EXPECT_EQ(readMember(archive, 1).data, members[1].data);
    }
}

TEST(FirmwareArchive, FindsTheEndRecordBehindCommentsOfEveryLength) {
    // Lengths around the first two chunk borders of the backward search, where the
    // signature straddles two chunks.
    std::vector<std::size_t> lengths = {0, 1, 1000, kZipMaxCommentSize};
    for (std::size_t d = 0; d <= 16; ++d) {
        lengths.push_back(kZipEndSearchChunk - kZipEndRecordSize - 8 + d);
        lengths.push_back(2 * kZipEndSearchChunk - kZipEndSearchOverlap - kZipEndRecordSize - 8 +
                          d);
    }
    for (const std::size_t length : lengths) {
        SCOPED_TRACE(length);
        ZipOptions options;
        options.comment.assign(length, 'c');
        FirmwareArchive archive;
        ASSERT_TRUE(openBytes(archive, buildZip(twoMembers(kStored), options).bytes));
        EXPECT_EQ(archive.Count(), 2u);
    }
}

TEST(FirmwareArchive, EndRecordOutsideTheSearchedTailIsNotFound) {
    ZipOptions options;
    options.comment.assign(kZipMaxCommentSize, 'c');
    auto bytes = buildZip(twoMembers(kStored), options).bytes;
    bytes.push_back('x');  // the record now starts 65558 bytes before the end
    EXPECT_EQ(openError(bytes), ArchiveError::NoEndRecord);
}

TEST(FirmwareArchive, RefusesFilesWithoutAnEndRecord) {
    EXPECT_EQ(openError({}), ArchiveError::NoEndRecord);
    EXPECT_EQ(openError(patternBytes(10, 3)), ArchiveError::NoEndRecord);
}

TEST(FirmwareArchive, EmptyArchiveOpensWithNoMembers) {
    FirmwareArchive archive;
    ASSERT_TRUE(openBytes(archive, buildZip({}).bytes));
    EXPECT_EQ(archive.Count(), 0u);
    EXPECT_FALSE(archive.OpenMember(0));
    EXPECT_EQ(archive.error(), std::nullopt);
}

TEST(FirmwareArchive, CommentLongerThanTheFileIsBadArchive) {
    ZipOptions options;
    options.comment = "firmware 5.6";
    auto layout = buildZip(twoMembers(kStored), options);
    test::putLe16(layout.bytes, layout.endOffset + test::kEndCommentLength,
                  static_cast<std::uint16_t>(options.comment.size() + 1));
    EXPECT_EQ(openError(layout.bytes), ArchiveError::BadArchive);
}

TEST(FirmwareArchive, EveryTruncationIsRefusedAtOpening) {
    ZipOptions options;
    options.comment = "hi";
    // Small members: every prefix of the archive is tried.
    const auto layout = buildZip({member("update.enc", patternBytes(300, 1), kDeflated, "pw"),
                                  member("logo.gif", patternBytes(100, 2), kStored, "pw")},
                                 options);
    for (std::size_t length = 0; length < layout.bytes.size(); ++length) {
        SCOPED_TRACE(length);
        const std::vector<std::uint8_t> cut(
            layout.bytes.begin(), layout.bytes.begin() + static_cast<std::ptrdiff_t>(length));
        const auto expected = length < layout.endOffset + kZipSignatureSize
                                  ? ArchiveError::NoEndRecord
                                  : ArchiveError::BadArchive;
        EXPECT_EQ(openError(cut), expected);
    }
}

TEST(FirmwareArchive, ArchiveCutAtARecordBoundaryBeforeItsEndRecordIsBadArchive) {
    const auto layout = buildZip(twoMembers(kDeflated, "pw"));
    std::vector<std::size_t> boundaries = layout.localOffsets;
    boundaries.insert(boundaries.end(), layout.dataOffsets.begin(), layout.dataOffsets.end());
    boundaries.insert(boundaries.end(), layout.centralOffsets.begin(), layout.centralOffsets.end());
    for (const std::size_t boundary : boundaries) {
        SCOPED_TRACE(boundary);
        std::vector<std::uint8_t> cut(layout.bytes.begin(),
                                      layout.bytes.begin() + static_cast<std::ptrdiff_t>(boundary));
        cut.insert(cut.end(), layout.bytes.begin() + static_cast<std::ptrdiff_t>(layout.endOffset),
                   layout.bytes.end());
        EXPECT_EQ(openError(cut), ArchiveError::BadArchive);
    }
}

// One damaged field of the end record or the central directory.
struct OpenDamage {
    const char* name;
    void (*apply)(ZipLayout&);
};

void PrintTo(const OpenDamage& damage, std::ostream* out) {
    *out << damage.name;
}

class ArchiveOpenDamage : public ::testing::TestWithParam<OpenDamage> {};

TEST_P(ArchiveOpenDamage, IsBadArchive) {
    auto layout = buildZip(twoMembers(kDeflated));
    GetParam().apply(layout);
    EXPECT_EQ(openError(layout.bytes), ArchiveError::BadArchive);
}

INSTANTIATE_TEST_SUITE_P(
    Records, ArchiveOpenDamage,
    ::testing::Values(
        OpenDamage{
            "SizeZeroWithEntries",
            [](ZipLayout& z) { test::putLe32(z.bytes, z.endOffset + test::kEndCentralSize, 0); }},
        OpenDamage{"NoEntriesWithASize",
                   [](ZipLayout& z) {
                       test::putLe16(z.bytes, z.endOffset + test::kEndTotalEntries, 0);
                       test::putLe16(z.bytes, z.endOffset + test::kEndEntriesOnDisk, 0);
                   }},
        OpenDamage{
            "EntriesOnDiskDisagree",
            [](ZipLayout& z) { test::putLe16(z.bytes, z.endOffset + test::kEndEntriesOnDisk, 1); }},
        OpenDamage{"DirectoryBeyondTheEndRecord",
                   [](ZipLayout& z) {
                       test::putLe32(z.bytes, z.endOffset + test::kEndCentralOffset, 0xFFFFFF00u);
                   }},
        OpenDamage{"MoreEntriesThanTheDirectoryHolds",
                   [](ZipLayout& z) {
                       test::putLe16(z.bytes, z.endOffset + test::kEndTotalEntries, 3);
                       test::putLe16(z.bytes, z.endOffset + test::kEndEntriesOnDisk, 3);
                   }},
        OpenDamage{"CentralSignature", [](ZipLayout& z) { z.bytes[z.centralOffsets[1]] ^= 1; }},
        OpenDamage{"DirectoryOneByteShort",
                   [](ZipLayout& z) {
                       const auto size =
                           test::getLe32(z.bytes, z.endOffset + test::kEndCentralSize);
                       test::putLe32(z.bytes, z.endOffset + test::kEndCentralSize, size - 1);
                   }}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

// One damaged field of a member's records. Both members are deflated and encrypted, not
// streamed; the second one's data ends where the central directory begins.
struct MemberDamage {
    const char* name;
    std::size_t index;
    void (*apply)(ZipLayout&);
};

void PrintTo(const MemberDamage& damage, std::ostream* out) {
    *out << damage.name << " of member " << damage.index;
}

class ArchiveMemberDamage : public ::testing::TestWithParam<MemberDamage> {};

TEST_P(ArchiveMemberDamage, IsBadArchiveAndLeavesTheArchiveUsable) {
    const auto members = twoMembers(kDeflated, std::string(kArchivePassword));
    auto layout = buildZip(members);
    GetParam().apply(layout);
    FirmwareArchive archive;
    ASSERT_TRUE(openBytes(archive, layout.bytes));
    archive.SetPassword(kArchivePassword);
    EXPECT_FALSE(archive.OpenMember(GetParam().index));
    EXPECT_EQ(archive.error(), ArchiveError::BadArchive);
    EXPECT_FALSE(archive.memberOpen());
    const std::size_t other = 1 - GetParam().index;
    EXPECT_EQ(readMember(archive, other).data, members[other].data);
}

void put16(ZipLayout& z, std::size_t at, std::uint16_t value) {
    test::putLe16(z.bytes, at, value);
}
void put32(ZipLayout& z, std::size_t at, std::uint32_t value) {
    test::putLe32(z.bytes, at, value);
}
void putSizes(ZipLayout& z, std::size_t index, std::uint32_t compressed) {
    put32(z, z.localOffsets[index] + test::kLocalCompressedSize, compressed);
    put32(z, z.centralOffsets[index] + test::kCentralCompressedSize, compressed);
}

INSTANTIATE_TEST_SUITE_P(
    Records, ArchiveMemberDamage,
    ::testing::Values(
        MemberDamage{"LocalSignature", 0,
                     [](ZipLayout& z) { z.bytes[z.localOffsets[0] + 1] ^= 1; }},
        MemberDamage{"LocalFlags", 0,
                     [](ZipLayout& z) { put16(z, z.localOffsets[0] + test::kLocalFlags, 0x0003); }},
        MemberDamage{"LocalMethod", 0,
                     [](ZipLayout& z) { put16(z, z.localOffsets[0] + test::kLocalMethod, 0); }},
        MemberDamage{"LocalNameLength", 0,
                     [](ZipLayout& z) { put16(z, z.localOffsets[0] + test::kLocalNameLength, 3); }},
        MemberDamage{"LocalCrc", 0,
                     [](ZipLayout& z) { put32(z, z.localOffsets[0] + test::kLocalCrc, 1); }},
        MemberDamage{
            "LocalCompressedSize", 0,
            [](ZipLayout& z) { put32(z, z.localOffsets[0] + test::kLocalCompressedSize, 100); }},
        MemberDamage{
            "LocalUncompressedSize", 0,
            [](ZipLayout& z) { put32(z, z.localOffsets[0] + test::kLocalUncompressedSize, 100); }},
        MemberDamage{"Method12", 0,
                     [](ZipLayout& z) {
                         put16(z, z.localOffsets[0] + test::kLocalMethod, 12);
                         put16(z, z.centralOffsets[0] + test::kCentralMethod, 12);
                     }},
        MemberDamage{"EncryptedShorterThanItsHeader", 0, [](ZipLayout& z) { putSizes(z, 0, 11); }},
        MemberDamage{
            "DataOverlappingTheDirectory", 1,
            [](ZipLayout& z) {
                putSizes(z, 1, static_cast<std::uint32_t>(z.centralOffset - z.dataOffsets[1] + 1));
            }},
        MemberDamage{"DataBeyondTheFile", 0, [](ZipLayout& z) { putSizes(z, 0, 0xFFFFFFF0u); }},
        MemberDamage{"LocalHeaderInsideTheDirectory", 0,
                     [](ZipLayout& z) {
                         put32(z, z.centralOffsets[0] + test::kCentralLocalOffset,
                               static_cast<std::uint32_t>(z.centralOffset));
                     }},
        MemberDamage{"LocalHeaderBeyondTheFile", 0,
                     [](ZipLayout& z) {
                         put32(z, z.centralOffsets[0] + test::kCentralLocalOffset, 0xFFFFFFFFu);
                     }}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(FirmwareArchive, StoredMemberWhoseSizesDisagreeIsBadArchive) {
    const auto members = twoMembers(kStored);
    auto layout = buildZip(members);
    const auto size = static_cast<std::uint32_t>(members[0].data.size() - 1);
    put32(layout, layout.localOffsets[0] + test::kLocalUncompressedSize, size);
    put32(layout, layout.centralOffsets[0] + test::kCentralUncompressedSize, size);
    FirmwareArchive archive;
    ASSERT_TRUE(openBytes(archive, layout.bytes));
    EXPECT_FALSE(archive.OpenMember(0));
    EXPECT_EQ(archive.error(), ArchiveError::BadArchive);
}

TEST(FirmwareArchive, EncryptedMemberOfOnlyItsHeaderReadsEmpty) {
    FirmwareArchive archive;
    ASSERT_TRUE(openBytes(archive, buildZip({member("empty.bin", {}, kStored, "pw")}).bytes));
    archive.SetPassword("pw");
    const auto back = readMember(archive, 0);
    EXPECT_TRUE(back.opened);
    EXPECT_TRUE(back.data.empty());
    EXPECT_EQ(back.closeResult, FirmwareArchive::kMemberComplete);
}

TEST(FirmwareArchive, StreamedMemberTrustsItsCentralEntry) {
    // A streaming writer leaves the local sizes and CRC-32 as zeros; other values there are
    // ignored just the same.
    const auto members = twoMembers(kDeflated, "pw", true);
    auto layout = buildZip(members);
    put32(layout, layout.localOffsets[0] + test::kLocalCrc, 0x12345678u);
    put32(layout, layout.localOffsets[0] + test::kLocalUncompressedSize, 5);
    FirmwareArchive archive;
    ASSERT_TRUE(openBytes(archive, layout.bytes));
    archive.SetPassword("pw");
    const auto back = readMember(archive, 0);
    EXPECT_EQ(back.data, members[0].data);
    EXPECT_EQ(back.closeResult, FirmwareArchive::kMemberComplete);
}

// Opens the archive and its first member; nothing when the member opened.
std::optional<ArchiveError> memberError(const std::vector<std::uint8_t>& bytes,
                                        const std::string& password) {
    FirmwareArchive archive;
    EXPECT_TRUE(openBytes(archive, bytes));
    archive.SetPassword(password);
    if (archive.OpenMember(0)) {
        return std::nullopt;
    }
    return archive.error();
}

TEST(FirmwareArchive, PasswordCheckByteIsTheCrcHighByteUnlessStreamed) {
    constexpr std::size_t kCentralTimeHighByte = 13;
    constexpr std::size_t kCrcHighByte = 3;
    for (const bool streamed : {false, true}) {
        SCOPED_TRACE(streamed ? "streamed" : "not streamed");
        const auto layout = buildZip(twoMembers(kStored, "pw", streamed));
        auto timeChanged = layout.bytes;
        timeChanged[layout.centralOffsets[0] + kCentralTimeHighByte] ^= 0x40;
        auto crcChanged = layout.bytes;
        crcChanged[layout.centralOffsets[0] + test::kCentralCrc + kCrcHighByte] ^= 0x40;
        crcChanged[layout.localOffsets[0] + test::kLocalCrc + kCrcHighByte] ^= 0x40;
        const std::optional<ArchiveError> opened;
        EXPECT_EQ(memberError(timeChanged, "pw"), streamed ? ArchiveError::BadPassword : opened);
        EXPECT_EQ(memberError(crcChanged, "pw"), streamed ? opened : ArchiveError::BadPassword);
    }
}

TEST(FirmwareArchive, WrongPasswordsAreRefusedOrCaughtByTheDataChecks) {
    const auto members = twoMembers(kDeflated, std::string(kArchivePassword));
    const auto stored = twoMembers(kStored, std::string(kArchivePassword));
    const auto deflatedBytes = buildZip(members).bytes;
    const auto storedBytes = buildZip(stored).bytes;
    int refused = 0;
    int passedCheck = 0;
    for (int i = 0; i < 1000; ++i) {
        const std::string password = std::string("p").append(std::to_string(i));
        for (const auto* bytes : {&deflatedBytes, &storedBytes}) {
            FirmwareArchive archive;
            ASSERT_TRUE(openBytes(archive, *bytes));
            archive.SetPassword(password);
            const auto back = readMember(archive, 0);
            if (!back.opened) {
                EXPECT_EQ(back.error, ArchiveError::BadPassword);
                ++refused;
                continue;
            }
            // One in 256 passes the check byte; its data must not pass for good data.
            ++passedCheck;
            EXPECT_TRUE(back.error == ArchiveError::DataError || back.error == ArchiveError::BadCrc)
                << password;
        }
    }
    EXPECT_GT(refused, 1900);
    EXPECT_GT(passedCheck, 0);
}

TEST(FirmwareArchive, EncryptedMemberWithoutPasswordIsNotOpenedAndNotAnError) {
    const auto members = twoMembers(kDeflated, "pw");
    FirmwareArchive archive;
    ASSERT_TRUE(openBytes(archive, buildZip(members).bytes));
    EXPECT_FALSE(archive.OpenMember(0));
    EXPECT_EQ(archive.error(), std::nullopt);
    EXPECT_TRUE(archive.SetPassword("pw"));
    EXPECT_EQ(readMember(archive, 0).data, members[0].data);
}

TEST(FirmwareArchive, OneMemberAtATime) {
    FirmwareArchive archive;
    EXPECT_FALSE(archive.OpenMember(0));  // nothing open
    ASSERT_TRUE(openBytes(archive, buildZip(twoMembers(kDeflated)).bytes));
    EXPECT_FALSE(archive.OpenMember(2));
    ASSERT_TRUE(archive.OpenMember(0));
    EXPECT_FALSE(archive.OpenMember(1));
    EXPECT_FALSE(archive.SetPassword("pw"));
    EXPECT_EQ(archive.error(), std::nullopt);
    EXPECT_EQ(archive.CloseMember(), FirmwareArchive::kMemberUnfinished);
    EXPECT_TRUE(archive.SetPassword("pw"));
    EXPECT_EQ(archive.CloseMember(), FirmwareArchive::kMemberFailed);  // none open
    std::array<std::uint8_t, 4> buffer{};
    EXPECT_EQ(archive.ReadMember(buffer), 0u);
}

TEST(FirmwareArchive, StoppingShortOfTheEndSkipsTheCrcTest) {
    const auto data = patternBytes(300000, 4);
    FirmwareArchive archive;
    ASSERT_TRUE(openBytes(archive, buildZip({member("big.bin", data, kDeflated, "pw")}).bytes));
    archive.SetPassword("pw");
    const auto back = readMember(archive, 0, 65536, kUpdateImageBufferSize);
    EXPECT_EQ(back.data.size(), kUpdateImageBufferSize);
    EXPECT_TRUE(std::equal(back.data.begin(), back.data.end(), data.begin()));
    EXPECT_EQ(back.closeResult, FirmwareArchive::kMemberUnfinished);
    EXPECT_EQ(back.error, std::nullopt);
}

TEST(FirmwareArchive, CrcMismatchIsReportedAtClose) {
    for (const std::uint16_t method : {kStored, kDeflated}) {
        SCOPED_TRACE(method);
        const auto members = twoMembers(method, "pw");
        auto layout = buildZip(members);
        // The low byte: the high byte is the password check.
        layout.bytes[layout.localOffsets[0] + test::kLocalCrc] ^= 1;
        layout.bytes[layout.centralOffsets[0] + test::kCentralCrc] ^= 1;
        FirmwareArchive archive;
        ASSERT_TRUE(openBytes(archive, layout.bytes));
        archive.SetPassword("pw");
        const auto back = readMember(archive, 0);
        EXPECT_EQ(back.data, members[0].data);
        EXPECT_EQ(back.closeResult, FirmwareArchive::kMemberFailed);
        EXPECT_EQ(back.error, ArchiveError::BadCrc);
    }
}

TEST(FirmwareArchive, DamagedDeflateDataIsDataError) {
    const auto members = twoMembers(kDeflated);
    struct Case {
        const char* name;
        void (*apply)(ZipLayout&, std::size_t dataSize);
    };
    const Case cases[] = {
        {"reserved block type",
         [](ZipLayout& z, std::size_t) { z.bytes[z.dataOffsets[0]] = 0xFF; }},
        {"stream shorter than its entry",
         [](ZipLayout& z, std::size_t size) {
             const auto longer = static_cast<std::uint32_t>(size + 1);
             put32(z, z.localOffsets[0] + test::kLocalUncompressedSize, longer);
             put32(z, z.centralOffsets[0] + test::kCentralUncompressedSize, longer);
         }},
        {"stream cut short",
         [](ZipLayout& z, std::size_t) {
             const auto size =
                 test::getLe32(z.bytes, z.centralOffsets[0] + test::kCentralCompressedSize);
             putSizes(z, 0, size / 2);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto layout = buildZip(members);
        c.apply(layout, members[0].data.size());
        FirmwareArchive archive;
        ASSERT_TRUE(openBytes(archive, layout.bytes));
        const auto back = readMember(archive, 0);
        EXPECT_TRUE(back.opened);
        EXPECT_EQ(back.error, ArchiveError::DataError);
        EXPECT_FALSE(archive.memberOpen());
        EXPECT_EQ(readMember(archive, 1).data, members[1].data);
    }
}

// ---- The central directory's bound ------------------------------------------------------------

// The archive with `padding` zero bytes after its last central header, counted in the
// directory's size: the reader takes the directory whole and parses its entries from the front.
std::vector<std::uint8_t> withPaddedDirectory(const ZipLayout& layout, std::size_t padding) {
    std::vector<std::uint8_t> bytes = layout.bytes;
    const auto end = static_cast<std::ptrdiff_t>(layout.endOffset);
    bytes.insert(bytes.begin() + end, padding, std::uint8_t{0});
    const std::size_t endOffset = layout.endOffset + padding;
    const std::uint32_t size = test::getLe32(bytes, endOffset + test::kEndCentralSize);
    test::putLe32(bytes, endOffset + test::kEndCentralSize,
                  static_cast<std::uint32_t>(size + padding));
    return bytes;
}

TEST(FirmwareArchive, CentralDirectoryIsTakenUpToItsCapAndRefusedOneByteOver) {
    const auto members = twoMembers(kDeflated);
    const ZipLayout layout = buildZip(members);
    const std::size_t directory = layout.endOffset - layout.centralOffset;
    {
        SCOPED_TRACE("exactly the cap");
        FirmwareArchive archive;
        ASSERT_TRUE(openBytes(
            archive, withPaddedDirectory(layout, kZipMaxCentralDirectorySize - directory)));
        ASSERT_EQ(archive.Count(), 2u);
        EXPECT_EQ(readMember(archive, 0).data, members[0].data);
    }
    {
        SCOPED_TRACE("one byte over");
        EXPECT_EQ(
            openError(withPaddedDirectory(layout, kZipMaxCentralDirectorySize - directory + 1)),
            ArchiveError::BadArchive);
    }
}

// A sparse file of 2 GiB whose end record claims a central directory of 2 GiB at offset 0: every
// offset and size agrees with the file, so only the cap stops it. The reader runs in a child
// process, whose peak resident size the kernel reports to the parent.
TEST(FirmwareArchive, ForgedDirectoryOfTwoGibibytesIsRefusedWithinASmallPeakOfMemory) {
    constexpr std::uint64_t kClaimed = std::uint64_t{2} << 30;
    test::TempDir dir;
    const std::string path = dir.file("forged.zip");
    {
        std::vector<std::uint8_t> end(kZipEndRecordSize);
        test::putLe32(end, 0, kZipEndRecordSignature);
        test::putLe16(end, test::kEndEntriesOnDisk, 1);
        test::putLe16(end, test::kEndTotalEntries, 1);
        test::putLe32(end, test::kEndCentralSize, static_cast<std::uint32_t>(kClaimed));
        test::putLe32(end, test::kEndCentralOffset, 0);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kClaimed)), 0);
        ASSERT_EQ(::pwrite(fd, end.data(), end.size(), static_cast<off_t>(kClaimed)),
                  static_cast<ssize_t>(end.size()));
        ::close(fd);
    }
    // The child starts with the parent's resident pages (a sanitizer build's shadow among
    // them), so its growth while reading is what counts; it sends that back through a pipe.
    int growth[2];
    ASSERT_EQ(::pipe2(growth, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(growth[0]);
        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
        FirmwareArchive archive;
        const bool refused = !archive.Open(path) && archive.error() == ArchiveError::BadArchive;
        rusage after{};
        ::getrusage(RUSAGE_SELF, &after);
        const long grownKib = after.ru_maxrss - before.ru_maxrss;
        [[maybe_unused]] const ssize_t sent = ::write(growth[1], &grownKib, sizeof grownKib);
        ::_exit(refused ? 0 : 1);
    }
    ::close(growth[1]);
    long grownKib = -1;
    const ssize_t got = ::read(growth[0], &grownKib, sizeof grownKib);
    ::close(growth[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "not refused as BadArchive";
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof grownKib));
    std::printf("peak resident size of the reader grew by %ld KiB\n", grownKib);
    EXPECT_LT(grownKib, 64 * 1024);
}

TEST(FirmwareArchive, UnreadableFileIsFileError) {
    FirmwareArchive archive;
    EXPECT_FALSE(archive.Open(std::string("/nonexistent/firmware.zip")));
    EXPECT_EQ(archive.error(), ArchiveError::FileError);
    EXPECT_FALSE(archive.Open(std::string("/")));  // a directory opens for reading on Linux
    EXPECT_EQ(archive.error(), ArchiveError::FileError);
    // A path swapped for a FIFO with no writer after the operator chose it: refused, not waited on.
    const test::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fw.zip").c_str(), 0600), 0);
    EXPECT_FALSE(archive.Open(dir.file("fw.zip")));
    EXPECT_EQ(archive.error(), ArchiveError::FileError);
    EXPECT_FALSE(archive.isOpen());
}

}  // namespace
}  // namespace vantor

// The archive reader against archives made by the real zip tool, and the test writer against
// the real unzip tool.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

#include "upgrade/ArchiveTestSupport.h"
#include "upgrade/FirmwareArchive.h"
#include "upgrade/TempDir.h"
#include "upgrade/UpgradeLimits.h"
#include "upgrade/ZipFormat.h"
#include "upgrade/ZipWriter.h"

namespace vantor {
namespace {

using test::readMember;
using test::TempDir;

int shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Incompressible bytes, as an encrypted microcode image looks.
std::vector<std::uint8_t> noiseBytes(std::size_t count, std::uint32_t seed) {
    std::vector<std::uint8_t> out(count);
    for (auto& byte : out) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(seed >> 24);
    }
    return out;
}

class ZipToolArchive : public ::testing::Test {
  protected:
    void SetUp() override {
        files_["update.enc"] = noiseBytes(40012, 1);
        files_["image.bin"] = test::patternBytes(300000, 2);
        files_["logo.gif"] = noiseBytes(100, 3);
        files_["readme.txt"] = test::textBytes("Firmware 5.6\n");
        for (const auto& [name, data] : files_) {
            writeFile(dir_.file(name), data);
        }
    }

    // Runs zip in the directory with the archive password; the arguments follow.
    void zip(const std::string& arguments) {
        ASSERT_EQ(shell("cd '" + dir_.path().string() + "' && zip -q -X -P " +
                        std::string(kArchivePassword) + " " + arguments),
                  0)
            << arguments;
    }

    // Every member reads back byte for byte under the archive password.
    void expectReadsBack(const std::string& archivePath) {
        FirmwareArchive archive;
        ASSERT_TRUE(archive.Open(archivePath)) << archivePath;
        archive.SetPassword(kArchivePassword);
        ASSERT_GT(archive.Count(), 0u);
        for (std::size_t i = 0; i < archive.Count(); ++i) {
            const std::string name = archive.EntryName(i);
            SCOPED_TRACE(name);
            const auto& expected = name == "-" ? files_.at("image.bin") : files_.at(name);
            const auto back = readMember(archive, i, 65536);
            EXPECT_EQ(back.error, std::nullopt);
            EXPECT_EQ(back.data, expected);
            EXPECT_EQ(back.closeResult, FirmwareArchive::kMemberComplete);
        }
    }

    TempDir dir_;
    std::map<std::string, std::vector<std::uint8_t>> files_;
    const std::string names_ = "update.enc image.bin logo.gif readme.txt";
};

TEST_F(ZipToolArchive, StoredAndDeflatedMembersReadBackByteIdentical) {
    zip("-0 stored.zip " + names_);
    zip("deflated.zip " + names_);
    expectReadsBack(dir_.file("stored.zip"));
    expectReadsBack(dir_.file("deflated.zip"));
}

TEST_F(ZipToolArchive, MembersStreamedFromStandardInputReadBack) {
    // Without -fz- the tool adds a 64-bit end record, not knowing how large the input is.
    for (const std::string options : {"", "-0", "-fz-", "-fz- -0"}) {
        SCOPED_TRACE(options);
        const std::string name = "streamed.zip";
        zip(options + " - - < image.bin > " + name);
        const auto bytes = readFile(dir_.file(name));
        ASSERT_GT(bytes.size(), test::kLocalFlags);
        EXPECT_NE(bytes[test::kLocalFlags] & 0x08, 0) << "no data descriptor";
        expectReadsBack(dir_.file(name));
        std::remove(dir_.file(name).c_str());
    }
}

TEST_F(ZipToolArchive, ALongCommentAndAStubInFrontStillOpen) {
    zip("deflated.zip " + names_);
    ASSERT_EQ(shell("cd '" + dir_.path().string() +
                    "' && head -c 1000 /dev/zero | tr '\\0' c | zip -q -z deflated.zip"),
              0);
    auto bytes = readFile(dir_.file("deflated.zip"));
    // The tool breaks a long comment into lines ending in CR LF, so it grows a little.
    const auto record = test::findEnd(bytes);
    ASSERT_TRUE(record.has_value());
    ASSERT_GE(test::getLe16(bytes, *record + test::kEndCommentLength), 1000);
    expectReadsBack(dir_.file("deflated.zip"));

    // Prepended as is, the archive's offsets count from its own start; adjusted (-A), from
    // the file's.
    auto stubbed = noiseBytes(5000, 9);
    stubbed.insert(stubbed.end(), bytes.begin(), bytes.end());
    writeFile(dir_.file("stubbed.zip"), stubbed);
    expectReadsBack(dir_.file("stubbed.zip"));
    writeFile(dir_.file("adjusted.zip"), stubbed);
    ASSERT_EQ(shell("cd '" + dir_.path().string() + "' && zip -q -A adjusted.zip"), 0);
    ASSERT_NE(readFile(dir_.file("adjusted.zip")), stubbed) << "zip -A changed nothing";
    expectReadsBack(dir_.file("adjusted.zip"));
}

TEST_F(ZipToolArchive, WrongPasswordIsRefusedOrCaughtByTheDataChecks) {
    zip("-0 stored.zip " + names_);
    zip("deflated.zip " + names_);
    for (const std::string name : {"stored.zip", "deflated.zip"}) {
        FirmwareArchive archive;
        ASSERT_TRUE(archive.Open(dir_.file(name)));
        archive.SetPassword("wqzu");
        for (std::size_t i = 0; i < archive.Count(); ++i) {
            const auto back = readMember(archive, i);
            if (back.opened) {
                EXPECT_TRUE(back.error == ArchiveError::DataError ||
                            back.error == ArchiveError::BadCrc);
            } else {
                EXPECT_EQ(back.error, ArchiveError::BadPassword);
            }
        }
    }
}

TEST_F(ZipToolArchive, SixtyFourBitTrailerThatDisagreesIsBadArchive) {
    zip("- - < image.bin > streamed.zip");
    auto bytes = readFile(dir_.file("streamed.zip"));
    constexpr std::size_t kTrailerSize = kZip64EndRecordSize + kZip64LocatorSize;
    constexpr std::size_t kWideCentralSize = 40;
    const std::size_t record = bytes.size() - kZipEndRecordSize - kTrailerSize;
    ASSERT_EQ(test::getLe32(bytes, record), kZip64EndRecordSignature);
    bytes[record + kWideCentralSize] ^= 1;
    FirmwareArchive archive;
    EXPECT_FALSE(archive.Open(std::make_unique<MemoryArchiveSource>(bytes)));
    EXPECT_EQ(archive.error(), ArchiveError::BadArchive);
}

TEST(ZipWriterCheck, RealUnzipReadsWhatTheTestWriterWrites) {
    // The reader's own tests rest on the writer: it must agree with the real tool.
    TempDir dir;
    std::vector<test::ZipMember> members(4);
    members[0] = {"a.enc", noiseBytes(5000, 4), 8, "wqzt", false};
    members[1] = {"b.bin", test::patternBytes(70000, 5), 0, "wqzt", false};
    members[2] = {"c.gif", test::patternBytes(3000, 6), 8, "wqzt", true};
    members[3] = {"d.txt", test::patternBytes(10, 7), 8, "", false};
    test::ZipOptions options;
    options.comment = "built by the test";
    writeFile(dir.file("w.zip"), test::buildZip(members, options).bytes);
    for (const auto& member : members) {
        SCOPED_TRACE(member.name);
        const std::string out = dir.file(member.name + ".out");
        ASSERT_EQ(shell("unzip -qq -P wqzt -p '" + dir.file("w.zip") + "' " + member.name + " > '" +
                        out + "'"),
                  0);
        EXPECT_EQ(readFile(out), member.data);
    }
}

TEST(FirmwareArchiveFile, OpensAnArchiveTheUserMayReadButNotWrite) {
    TempDir dir;
    const std::string path = dir.file("firmware.zip");
    std::vector<test::ZipMember> members(1);
    members[0] = {"update.enc", test::patternBytes(1000, 8), 8, "wqzt", false};
    writeFile(path, test::buildZip(members).bytes);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    if (::geteuid() != 0) {
        FirmwareArchive archive;
        EXPECT_TRUE(archive.Open(path));
        return;
    }
    // Root may write any file: look at the archive through an unprivileged user's eyes.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(2);
        }
        if (::open(path.c_str(), O_RDWR | O_CLOEXEC) >= 0) {
            ::_exit(3);  // the premise failed: the file is writable
        }
        FirmwareArchive archive;
        ::_exit(archive.Open(path) && archive.Count() == 1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace vantor

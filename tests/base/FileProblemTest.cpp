#include "base/FileProblem.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>

#include "upgrade/TempDir.h"

namespace vantor {
namespace {

// A file named by the operator is read to its limit and no further, and only when it is a
// regular file: a FIFO without a writer, a device that never ends and a directory are refused
// at once.
TEST(FileProblem, ReadsARegularFileUpToItsLimitAndRefusesEveryOtherKind) {
    const test::TempDir dir;
    std::ofstream(dir.file("four")) << "abcd";
    std::ofstream(dir.file("five")) << "abcde";
    std::ofstream(dir.file("empty"));
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    struct Case {
        std::string path;
        std::string bytes;
        bool longer;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {dir.file("four"), "abcd", false, ""},
        {dir.file("five"), "abcd", true, ""},
        {dir.file("empty"), "", false, ""},
        {"/proc/self/status", "Name", true, ""},  // its size says 0: only the reading counts
        {dir.file("fifo"), "", false, "not a regular file"},
        {"/dev/zero", "", false, "not a regular file"},
        {dir.path().string(), "", false, "is a directory"},
        {dir.file("missing"), "", false, "no such file"},
    };
    for (const Case& c : cases) {
        const FileStart start = readFileStart(c.path, 4);
        EXPECT_EQ(start.bytes, c.bytes) << c.path;
        EXPECT_EQ(start.longer, c.longer) << c.path;
        EXPECT_EQ(start.problem, c.problem) << c.path;
        EXPECT_EQ(readableFileProblem(c.path).value_or(""), c.problem) << c.path;
    }
}

}  // namespace
}  // namespace vantor

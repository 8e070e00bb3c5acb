#include "console/StatusLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "base/UniqueFd.h"
#include "upgrade/TempDir.h"

namespace vantor {
namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(StatusLogFile, EachLineOfARowLedByTheStampWithoutItsLineEnd) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"> Listening.....\r\n", "S > Listening.....\n"},
        {"\r\n", "S\n"},  // the list's blank separator row
        {"\r\n> Listening.....\r\n", "S\nS > Listening.....\n"},
        {"> a\r\n> b", "S > a\nS > b\n"},
        {"> a\n\n> b\r\r\n", "S > a\nS\nS > b\n"},
        {"> a\rb", "S > a\nS b\n"},  // a lone CR would overwrite the line on a terminal
        {"> \t'x' \x1b[2J\x7f", "S > \t'x' ?[2J?\n"},
        {"> '\xc2\x9b"
         "2J\xe2\x80\xae' \x9b",
         "S > '?2J?' ?\n"},  // C1 CSI, U+202E, raw 0x9B
        {"", "S\n"},
    };
    for (const auto& [row, lines] : cases) {
        EXPECT_EQ(StatusLogFile::rowLines("S", row), lines) << row;
    }
}

TEST(StatusLogFile, TimestampIsIso8601LocalTimeWithItsOffset) {
    const char* before = std::getenv("TZ");
    const std::string saved = before != nullptr ? before : "";
    const auto at = std::chrono::system_clock::from_time_t(1'765'198'800) +  // 2025-12-08 13:00Z
                    std::chrono::milliseconds(7);
    const std::vector<std::pair<const char*, std::string>> zones = {
        {"UTC0", "2025-12-08T13:00:00.007+00:00"},
        {"IST-5:30", "2025-12-08T18:30:00.007+05:30"},
        {"NST3:30", "2025-12-08T09:30:00.007-03:30"},  // negative, not a whole hour
    };
    for (const auto& [zone, expected] : zones) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        EXPECT_EQ(StatusLogFile::timestamp(at), expected) << zone;
    }
    if (before != nullptr) {
        ::setenv("TZ", saved.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

TEST(StatusLogFile, DefaultPathFollowsXdgStateHome) {
    EXPECT_EQ(StatusLogFile::defaultPath("/state", "/home/op"), "/state/vantor/vantor.log");
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/state"}) {
        EXPECT_EQ(StatusLogFile::defaultPath(ignored, "/home/op"),
                  "/home/op/.local/state/vantor/vantor.log");
    }
}

TEST(StatusLogFile, KeepsEveryRowStampedAndRotatesAtTheLimit) {
    const test::TempDir dir;
    const std::string path = dir.file("logs/vantor.log");  // the folder is made
    std::ostringstream warnings;
    constexpr int kRows = 60;
    {
        StatusLogFile log(path, warnings, LogFileLimits{400, 2});
        for (int row = 0; row < kRows; ++row) {
            log.append("> row " + std::to_string(row) + "\r\n");
        }
        log.flush();
        const std::string saved = dir.file("saved.log");
        EXPECT_EQ(log.saveCopy(saved), std::nullopt);
        // Two rotated files and the current one hold the newest rows, oldest first, each line
        // stamped; what no longer fits is gone with the oldest file.
        const std::string all = contents(saved);
        const std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d > row (\d+))");
        int expected = -1;
        std::istringstream lines(all);
        for (std::string text; std::getline(lines, text);) {
            std::smatch match;
            ASSERT_TRUE(std::regex_match(text, match, line)) << text;
            const int number = std::stoi(match[1]);
            EXPECT_TRUE(expected < 0 || number == expected) << text;
            expected = number + 1;
        }
        EXPECT_EQ(expected, kRows);
        EXPECT_EQ(log.saveCopy(dir.file("logs/vantor.log.1")), "that is the log file itself");
        // A FIFO nobody reads, a folder: refused without waiting, nothing truncated.
        ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
        EXPECT_EQ(log.saveCopy(dir.file("fifo")), "not a regular file");
        EXPECT_EQ(log.saveCopy(dir.file("logs")), "is a directory");
    }
    for (const std::string name : {"vantor.log", "vantor.log.1", "vantor.log.2"}) {
        const auto size = std::filesystem::file_size(dir.file("logs/" + name));
        EXPECT_GT(size, 0u) << name;
        EXPECT_LE(size, 400u) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("logs/vantor.log.3")));
    EXPECT_EQ(warnings.str(), "");

    // A later run appends to the file it finds, and rotates it once it is full.
    StatusLogFile again(path, warnings, LogFileLimits{400, 2});
    again.append("> next run\r\n");
    again.flush();
    EXPECT_NE(contents(path).find("> next run\n"), std::string::npos);
}

// Two instances on one file (two open file descriptions lock each other as two processes do),
// taking turns row by row through many rotations: each file within the limit, and every row
// once, in the order written, from the oldest file to the newest.
TEST(StatusLogFile, TwoInstancesShareOneFileThroughItsRotations) {
    const test::TempDir dir;
    const std::string path = dir.file("vantor.log");
    constexpr int kRows = 150;
    constexpr int kKept = 20;  // 1000-byte files hold about 25 rows of at most 38 bytes each
    std::ostringstream warnings;
    std::string written;
    {
        StatusLogFile first(path, warnings, LogFileLimits{1000, kKept});
        StatusLogFile second(path, warnings, LogFileLimits{1000, kKept});
        for (int row = 0; row < kRows; ++row) {
            for (auto [log, name] : {std::pair{&first, "a"}, std::pair{&second, "b"}}) {
                const std::string text = std::string("> ") + name + " " + std::to_string(row);
                log->append(text);
                log->flush();
                written += text + "\n";
            }
        }
    }
    std::string kept;
    for (int index = kKept; index >= 0; --index) {
        const std::string name = index == 0 ? path : path + "." + std::to_string(index);
        const std::string lines = contents(name);
        EXPECT_LE(lines.size(), 1000u) << name;
        kept += lines;
    }
    EXPECT_EQ(std::regex_replace(kept, std::regex("\\S+ > "), "> "), written);
    EXPECT_TRUE(std::filesystem::exists(path + ".5")) << "fewer rotations than meant";
    EXPECT_EQ(warnings.str(), "");
}

// A FIFO (with or without a reader), a folder or a device is refused at once with one warning,
// and never waited on; /dev/null is the operator's way of keeping no log file.
TEST(StatusLogFile, APathThatIsNoRegularFileIsRefusedWithoutWaiting) {
    const test::TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("folder"));
    struct Case {
        std::string path;
        bool reader;
        std::string problem;  // empty: none
    };
    const std::vector<Case> cases = {
        {fifo, false, "not a regular file"},
        {fifo, true, "not a regular file"},
        {dir.file("folder"), false, "is a directory"},
        {"/dev/zero", false, "not a regular file"},
        {"/dev/null", false, ""},
        {dir.file("new.log"), false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const UniqueFd reader(c.reader ? ::open(c.path.c_str(), O_RDONLY | O_NONBLOCK) : -1);
        EXPECT_EQ(StatusLogFile::pathProblem(c.path).value_or(""), c.problem);
        std::ostringstream warnings;
        {
            StatusLogFile log(c.path, warnings);
            log.append("> one");
            log.append("> two");
            log.flush();
        }
        const std::string warning = "vantor: warning: cannot open the log file " + c.path + ": " +
                                    c.problem + "; going on without it\n";
        EXPECT_EQ(warnings.str(), c.problem.empty() ? "" : warning);
    }
}

TEST(StatusLogFile, AnUnwritableFileWarnsOnceAndTheRowsGoOn) {
    const test::TempDir dir;
    std::ofstream(dir.file("plain")) << "x";  // a file where a folder should be, even for root
    std::ostringstream warnings;
    StatusLogFile log(dir.file("plain/vantor.log"), warnings);
    for (int row = 0; row < 5; ++row) {
        log.append("> row\r\n");
    }
    log.flush();
    const std::string said = warnings.str();
    EXPECT_NE(said.find("cannot open the log file " + dir.file("plain/vantor.log")),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("cannot", said.find("cannot") + 1), std::string::npos) << said;
    EXPECT_NE(log.saveCopy(dir.file("plain/copy.log")), std::nullopt);
}

}  // namespace
}  // namespace vantor

#include "hostnet/CCommandRunner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "base/UniqueFd.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;

const std::string kShell = "/bin/sh";

std::string runChild(std::vector<std::string> commandLine, std::string output = {}) {
    CCommandRunner runner(std::move(commandLine), output);
    runner.Run();
    return output;
}

// No child of ours may be left unreaped.
bool noChildLeft() {
    return ::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD;
}

TEST(CCommandRunnerTest, SilentChildLeavesTheOutputAsItWas) {
    EXPECT_EQ(runChild({"/bin/true"}, "kept"), "kept");
    EXPECT_TRUE(noChildLeft());
}

struct ChunkCase {
    const char* name;
    const char* script;  // run by /bin/sh -c; "sleep" makes the runner see separate chunks
    const char* expected;
};

class CCommandRunnerChunkTest : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(CCommandRunnerChunkTest, OutputArrivesTransformed) {
    EXPECT_EQ(runChild({kShell, "-c", GetParam().script}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, CCommandRunnerChunkTest,
    ::testing::Values(
        ChunkCase{"StdoutAndStderrShareThePipe", "echo out; echo err >&2", "out\nerr\n"},
        ChunkCase{"BackspacesBecomeSpaces", "printf 'a\\bb\\b\\b'", "a b  "},
        ChunkCase{"ZeroByteCutsItsChunk", "printf 'abc\\000def'", "abc"},
        ChunkCase{"ChunksAfterAZeroByteStillArrive", "printf 'abc\\000def'; sleep 0.3; printf ghi",
                  "abcghi"},
        ChunkCase{"PausePromptAndRestOfChunkDropped",
                  "printf 'done\\r\\nPress any key to continue . . .\\r\\nmore'", "done\r\n"},
        ChunkCase{"ChunksAfterThePromptStillArrive",
                  "printf 'a Press any key to continue . . . b'; sleep 0.3; printf later",
                  "a later"},
        ChunkCase{"PromptSplitAcrossChunksIsCut",
                  "printf 'before Press any k'; sleep 0.3; printf 'ey to continue . . . gone'; "
                  "sleep 0.3; printf later",
                  "before later"},
        ChunkCase{"PromptPrefixThatGoesOnElsewhereIsKept",
                  "printf 'Press any'; sleep 0.3; printf ' other key'", "Press any other key"},
        ChunkCase{"PromptPrefixAtTheEndIsKept", "printf 'Press any key to'", "Press any key to"}),
    [](const ::testing::TestParamInfo<ChunkCase>& param) { return param.param.name; });

// The exit code tells a tool's refusal from its success; a child killed by a signal or one
// that never started has none.
TEST(CCommandRunnerTest, ExitCodeIsTheChildsOwn) {
    const std::vector<std::pair<std::vector<std::string>, std::optional<int>>> cases{
        {{"/bin/true"}, 0},
        {{kShell, "-c", "exit 2"}, 2},
        {{kShell, "-c", "exit 255"}, 255},
        {{kShell, "-c", "kill -9 $$"}, std::nullopt},
        {{"/nonexistent/vantor-no-such-program"}, std::nullopt},
    };
    for (const auto& [commandLine, expected] : cases) {
        std::string output;
        CCommandRunner runner(commandLine, output);
        runner.Run();
        EXPECT_EQ(runner.exitCode(), expected) << commandLine.back();
    }
}

TEST(CCommandRunnerTest, ProgramThatCannotStartIsReported) {
    EXPECT_EQ(runChild({"/nonexistent/vantor-no-such-program", "x"}, "> "),
              "> Error creating process\r\nNo such file or directory\r\n");
    // A file nobody may execute, not even root.
    char path[] = "/tmp/vantor-runner-XXXXXX";
    const UniqueFd file(::mkstemp(path));
    ASSERT_TRUE(file.valid());
    ::fchmod(file.get(), 0644);
    EXPECT_EQ(runChild({path}), "Error creating process\r\nPermission denied\r\n");
    ::unlink(path);
    EXPECT_TRUE(noChildLeft());
}

TEST(CCommandRunnerTest, CancelTerminatesAChildThatNeverEnds) {
    std::string output;
    CCommandRunner runner({kShell, "-c", "echo started; exec sleep 60"}, output);
    const auto begin = std::chrono::steady_clock::now();
    std::jthread canceller([&runner] {
        std::this_thread::sleep_for(300ms);
        runner.Cancel();
    });
    runner.Run();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s);
    EXPECT_EQ(output, "started\n\r\nCancelled.\r\n\r\nProcess terminated successfully.\r\n");
    EXPECT_TRUE(noChildLeft());
}

TEST(CCommandRunnerTest, BurstJustBeforeExitIsNotLost) {
    // Far more than a pipe holds, written as fast as possible by a child that ends at once.
    const std::string burst = runChild({kShell, "-c", "head -c 3000000 /dev/zero | tr '\\0' x"});
    EXPECT_EQ(burst.size(), 3000000U);
    EXPECT_EQ(burst.find_first_not_of('x'), std::string::npos);
    // A few words right before the end, many times: the race between the last look at the pipe
    // and the child's exit must never drop them.
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(runChild({"/bin/echo", "last words"}), "last words\n") << "run " << i;
    }
    EXPECT_TRUE(noChildLeft());
}

TEST(CCommandRunnerTest, ChildInheritsNoDescriptorOfOurs) {
    // A descriptor opened without close-on-exec, as a library might.
    const int plain = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(plain, 0);
    const UniqueFd leaked(::fcntl(plain, F_DUPFD, 100));
    ::close(plain);
    ASSERT_GE(leaked.get(), 100);

    std::istringstream listing(runChild({"/bin/ls", "/proc/self/fd"}));
    std::set<int> open;
    for (int fd = 0; listing >> fd;) {
        open.insert(fd);
    }
    // 0, 1, 2 and the directory ls reads.
    EXPECT_EQ(open, (std::set<int>{0, 1, 2, 3}));
    EXPECT_EQ(runChild({"/bin/readlink", "/proc/self/fd/0"}), "/dev/null\n");
}

TEST(CCommandRunnerTest, WorkingDirectoryIsTheChildsOwn) {
    std::string output;
    CCommandRunner runner({"/bin/pwd"}, output, std::string("/tmp"));
    runner.Run();
    EXPECT_EQ(output, "/tmp\n");
}

}  // namespace
}  // namespace vantor

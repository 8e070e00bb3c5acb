// One firmware Update by the program without a window, as a process in a network namespace of
// the lab, against the update simulator in another: the exit code tells the outcome.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ChildProcess.h"
#include "netlab/LabCommand.h"
#include "netlab/NetLab.h"
#include "support/Eventually.h"

namespace {

using namespace std::chrono_literals;

const std::string kPc = "10.92.0.1";
const std::string kDevice = "10.92.0.2";

// A program started inside a namespace, its output read through a pipe; killed if still
// running at the end.
class Process : public vantor::test::ChildProcess {
  public:
    Process(const vantor::netlab::LabNamespace& ns, std::vector<std::string> argv)
        : ChildProcess(inNamespace(ns, std::move(argv))) {}
    // Reads the output until the program exits; its exit code, or -1 when it ran too long.
    int wait(std::chrono::milliseconds limit) { return waitExit(limit); }

  private:
    static std::vector<std::string> inNamespace(const vantor::netlab::LabNamespace& ns,
                                                std::vector<std::string> argv) {
        std::vector<std::string> words{vantor::netlab::LabCommand::IpTool(), "netns", "exec",
                                       ns.name()};
        words.insert(words.end(), argv.begin(), argv.end());
        return words;
    }
};

class HeadlessUpdate : public ::testing::Test {
  protected:
    HeadlessUpdate() : pc_(lab_.addNamespace()), device_(lab_.addNamespace()) {
        lab_.connect(pc_, kPc + "/24", device_, kDevice + "/24");
        char pattern[] = "/tmp/vantor-app-XXXXXX";
        dir_ = ::mkdtemp(pattern);
        // An archive as the maker's tool makes it: a logo under the archive password.
        {
            std::ofstream logo(dir_ + "/logo.gif", std::ios::binary);
            for (int i = 0; i < 1500; ++i) {
                logo.put(static_cast<char>('a' + i % 23));
            }
        }
        archive_ = dir_ + "/fw.zip";
        const auto zipped = vantor::netlab::LabCommand::Run(
            {"/usr/bin/zip", "-q", "-j", "-P", "wqzt", archive_, dir_ + "/logo.gif"});
        EXPECT_EQ(zipped.exitCode, 0) << zipped.output;
    }
    ~HeadlessUpdate() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::unique_ptr<Process> simulator(const std::string& password) {
        auto sim = std::make_unique<Process>(
            device_, std::vector<std::string>{VANTOR_UPDATE_SIM, "--address", kDevice, "--password",
                                              password, "--record", dir_ + "/sim.log", "--duration",
                                              "60000"});
        vantor::test::eventually(
            [&] {
                std::ifstream record(dir_ + "/sim.log");
                std::string line;
                return std::getline(record, line) && line == "ready";
            },
            5s);
        return sim;
    }

    std::unique_ptr<Process> vantor(const std::string& ip, const std::string& password) {
        return std::make_unique<Process>(
            pc_, std::vector<std::string>{VANTOR_BINARY, "--headless", "--mode", "firmware", "--ip",
                                          ip, "--password", password, "--archive", archive_});
    }

    vantor::netlab::NetLab lab_;
    vantor::netlab::LabNamespace& pc_;
    vantor::netlab::LabNamespace& device_;
    std::string dir_;
    std::string archive_;
};

TEST_F(HeadlessUpdate, ExitsZeroAfterACompleteUpgrade) {
    const auto sim = simulator("setpw");
    const auto program = vantor(kDevice, "setpw");
    EXPECT_EQ(program->wait(30s), 0) << program->output();
    EXPECT_NE(program->output().find("> Sending the new gif logo to the remote system\n"),
              std::string::npos);
    EXPECT_NE(program->output().find("> Upgrade Complete\n"), std::string::npos);
}

TEST_F(HeadlessUpdate, ExitsOneWhenTheDeviceRefusesThePassword) {
    const auto sim = simulator("another");
    const auto program = vantor(kDevice, "setpw");
    EXPECT_EQ(program->wait(30s), 1) << program->output();
    EXPECT_NE(program->output().find("> You entered the wrong Set Password\n"), std::string::npos);
    EXPECT_NE(program->output().find("> System update has not completed.\n"), std::string::npos);
}

TEST_F(HeadlessUpdate, ClosingDuringATransferToADeviceThatFellSilentEndsPromptly) {
    auto sim = std::make_unique<Process>(
        device_, std::vector<std::string>{VANTOR_UPDATE_SIM, "--address", kDevice, "--password",
                                          "setpw", "--silent-after", "3", "--duration", "60000"});
    const auto program = vantor(kDevice, "setpw");
    // The device answered the model query and the first pages, then went quiet: the run now
    // waits on time-outs and resends.
    const std::string sending = "> Sending Code Update pages";
    ASSERT_NE(program->readUntil(sending, 1, 15s).find(sending), std::string::npos)
        << program->output();
    program->signal(SIGTERM);
    // An Update cut short did not complete: never a success.
    EXPECT_EQ(program->wait(3s), 1) << program->output();
}

// The device password from each of its sources gives the same upgrade; only the one on the
// command line, which every user can read, is warned about. Every run appends its rows to the
// log file it is given.
TEST_F(HeadlessUpdate, TakesThePasswordFromAFileStandardInputOrTheCommandLine) {
    const auto sim = simulator("setpw");
    std::ofstream(dir_ + "/pw") << "setpw\n";
    const std::string log = dir_ + "/run.log";
    const std::string run = std::string(VANTOR_BINARY) + " --headless --mode firmware --ip " +
                            kDevice + " --archive " + archive_ + " --log-file " + log;
    struct Case {
        std::string source;
        std::string command;
        bool warned;
    };
    const std::vector<Case> cases = {
        {"file", run + " --password-file " + dir_ + "/pw </dev/null", false},
        {"standard input", "printf 'setpw\\r\\n' | " + run + " --password -", false},
        {"command line", run + " --password setpw </dev/null", true},
    };
    for (const Case& c : cases) {
        Process program(pc_, {"sh", "-c", c.command});
        EXPECT_EQ(program.wait(30s), 0) << c.source << "\n" << program.output();
        EXPECT_NE(program.output().find("> Upgrade Complete\n"), std::string::npos) << c.source;
        EXPECT_EQ(program.occurrences("can be read by every user of this PC (ps)"),
                  c.warned ? 1 : 0)
            << c.source << "\n"
            << program.output();
    }
    std::ifstream file(log);
    int completed = 0;
    for (std::string line; std::getline(file, line);) {
        // "2026-12-08T13:05:12.345+00:00 > Upgrade Complete"
        completed += line.size() > 29 && line[10] == 'T' && line[19] == '.' &&
                     line.ends_with(" > Upgrade Complete");
    }
    EXPECT_EQ(completed, static_cast<int>(cases.size()));
}

TEST_F(HeadlessUpdate, ExitsOneWhenTheUpdateIsRefusedBeforeARun) {
    const auto program = vantor("127.0.0.1", "setpw");
    EXPECT_EQ(program->wait(30s), 1) << program->output();
    EXPECT_NE(program->output().find("> Error: Invalid IP address\n"), std::string::npos);
}

}  // namespace

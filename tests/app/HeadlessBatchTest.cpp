// A batch upgrade by the program without a window: devices in namespaces of their own, the
// rows of each with its address, a summary at the end, and SIGTERM in the middle.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/ChildProcess.h"
#include "netlab/LabCommand.h"
#include "netlab/PcLab.h"
#include "support/Eventually.h"

namespace {

using namespace std::chrono_literals;

class Process : public vantor::test::ChildProcess {
  public:
    Process(const vantor::netlab::LabNamespace& ns, std::vector<std::string> argv)
        : ChildProcess(inNamespace(ns, std::move(argv))) {}

  private:
    static std::vector<std::string> inNamespace(const vantor::netlab::LabNamespace& ns,
                                                std::vector<std::string> argv) {
        std::vector<std::string> words{vantor::netlab::LabCommand::IpTool(), "netns", "exec",
                                       ns.name()};
        words.insert(words.end(), argv.begin(), argv.end());
        return words;
    }
};

class HeadlessBatch : public ::testing::Test {
  protected:
    HeadlessBatch() {
        char pattern[] = "/tmp/vantor-batch-XXXXXX";
        dir_ = ::mkdtemp(pattern);
        {
            std::ofstream bin(dir_ + "/image.bin", std::ios::binary);
            for (int i = 0; i < 60000; ++i) {
                bin.put(static_cast<char>(i * 7));
            }
        }
        archive_ = dir_ + "/fw.zip";
        const auto zipped = vantor::netlab::LabCommand::Run(
            {"/usr/bin/zip", "-q", "-j", "-P", "wqzt", archive_, dir_ + "/image.bin"});
        EXPECT_EQ(zipped.exitCode, 0) << zipped.output;
    }
    ~HeadlessBatch() override {
        simulators_.clear();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // A device namespace at 10.97.<n>.2 with the update simulator.
    std::string device(int n, std::vector<std::string> args) {
        const std::string net = "10.97." + std::to_string(n) + ".";
        vantor::netlab::LabNamespace& space = lab_.addDevice(net + "1/24", net + "2/24").space;
        const std::string record = dir_ + "/sim" + std::to_string(n) + ".log";
        std::vector<std::string> argv = {
            VANTOR_UPDATE_SIM, "--address", net + "2",    "--password", "setpw",
            "--record",        record,      "--duration", "60000"};
        argv.insert(argv.end(), args.begin(), args.end());
        simulators_.push_back(std::make_unique<Process>(space, std::move(argv)));
        vantor::test::eventually(
            [&] {
                std::ifstream in(record);
                std::string line;
                return std::getline(in, line) && line == "ready";
            },
            5s);
        return net + "2";
    }

    // The program upgrading the devices at `addresses`, or those that `more` names.
    std::unique_ptr<Process> vantor(const std::vector<std::string>& addresses,
                                    const std::vector<std::string>& more = {}) {
        std::vector<std::string> argv = {VANTOR_BINARY, "--headless", "--mode",    "firmware",
                                         "--password",  "setpw",      "--archive", archive_,
                                         "--parallel",  "2"};
        for (const auto& address : addresses) {
            argv.push_back("--ip");
            argv.push_back(address);
        }
        argv.insert(argv.end(), more.begin(), more.end());
        return std::make_unique<Process>(lab_.pc, std::move(argv));
    }

    vantor::netlab::PcLab lab_;
    std::string dir_;
    std::string archive_;
    std::vector<std::unique_ptr<Process>> simulators_;
};

TEST_F(HeadlessBatch, EachDeviceHasItsRowsAndALineInTheSummary) {
    const std::string a = device(1, {});
    const std::string b = device(2, {"--password", "another"});
    const std::string c = device(3, {});
    const auto program = vantor({a, b, c});
    EXPECT_EQ(program->waitExit(60s), 1) << program->output();
    const std::string& out = program->output();
    EXPECT_NE(out.find("> [Device " + a + "] Upgrade Complete\n"), std::string::npos) << out;
    EXPECT_NE(out.find("> [Device " + b + "] You entered the wrong Set Password\n"),
              std::string::npos);
    EXPECT_NE(out.find("summary: [Device " + a + "] completed in "), std::string::npos);
    EXPECT_NE(out.find("summary: [Device " + b + "] failed after "), std::string::npos);
    EXPECT_NE(out.find(" s: You entered the wrong Set Password\n"), std::string::npos);
    EXPECT_NE(out.find("summary: [Device " + c + "] completed in "), std::string::npos);
    EXPECT_NE(out.find("summary: 3 devices: 2 completed, 1 failed, 0 not finished\n"),
              std::string::npos);
}

// The list as an operator keeps it: comments, a blank line, line ends of either system.
TEST_F(HeadlessBatch, AListFileUpgradesEveryDeviceItNamesAndExitsZeroWhenEachCompleted) {
    const std::string a = device(1, {});
    const std::string b = device(2, {});
    std::ofstream(dir_ + "/site.txt", std::ios::binary) << "# site A\r\n"
                                                        << a << " # lobby\r\n\n"
                                                        << b << "\n# 10.97.3.2\n";
    const auto program = vantor({}, {"--ip-list", dir_ + "/site.txt"});
    EXPECT_EQ(program->waitExit(60s), 0) << program->output();
    EXPECT_NE(program->output().find("summary: 2 devices: 2 completed, 0 failed, 0 not finished\n"),
              std::string::npos)
        << program->output();
}

TEST_F(HeadlessBatch, SigtermEndsEverySessionAndNamesTheDevicesNotFinished) {
    std::vector<std::string> addresses;
    for (int n = 1; n <= 3; ++n) {
        addresses.push_back(device(n, {"--reply-delay-ms", "20"}));
    }
    const auto program = vantor(addresses);
    const std::string sending = "] Sending Code Update pages";
    ASSERT_NE(program->readUntil(sending, 4, 20s).find(sending), std::string::npos)
        << program->output();
    program->signal(SIGTERM);
    EXPECT_EQ(program->waitExit(5s), 1) << program->output();
    const std::string& out = program->output();
    EXPECT_NE(out.find("summary: 3 devices: 0 completed, 0 failed, 3 not finished\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("summary: [Device " + addresses[2] + "] not finished\n"), std::string::npos);
}

TEST_F(HeadlessBatch, ADuplicateInTheListIsRefusedBeforeAnythingIsSent) {
    const auto program = vantor({"10.97.1.2", "10.97.1.20", "10.97.1.2"});
    EXPECT_EQ(program->waitExit(10s), 2) << program->output();
    EXPECT_NE(program->output().find("vantor: --ip: line 3: 10.97.1.2 is listed twice\n"),
              std::string::npos)
        << program->output();
}

}  // namespace

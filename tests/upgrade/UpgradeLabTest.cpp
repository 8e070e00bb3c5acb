// Firmware file upgrades from end to end: the console with the product's upgrade driver in one
// network namespace, the update simulator as the device in another, joined by a veth pair.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/DeviceWorkerFactory.h"
#include "console/OperatorConsole.h"
#include "netlab/NetLab.h"
#include "netlab/PcLab.h"
#include "support/ConsoleHarness.h"
#include "support/Eventually.h"
#include "upgrade/TempDir.h"
#include "upgrade/UpgradeArchives.h"

extern char** environ;

namespace vantor {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

const std::string kPcAddress = "10.91.0.1";
const std::string kDeviceAddress = "10.91.0.2";
const std::string kSetPassword = "letmein";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Bytes readBytes(const std::string& path) {
    const std::string text = readFile(path);
    return Bytes(text.begin(), text.end());
}

Lines linesOf(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::size_t countStarting(const Lines& lines, const std::string& prefix) {
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

// The update simulator running in a namespace until the test ends.
class Simulator {
  public:
    Simulator(const netlab::LabNamespace& ns, const std::string& record,
              std::vector<std::string> args)
        : record_(record) {
        std::vector<std::string> argv = {VANTOR_UPDATE_SIM, "--address", kDeviceAddress,
                                         "--record",        record,      "--duration",
                                         "120000"};
        argv.insert(argv.end(), args.begin(), args.end());
        pid_ = ns.spawn(std::move(argv));
        test::eventually([this] { return ready(); }, 5s);
    }
    ~Simulator() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool ready() const { return readFile(record_).find("ready") != std::string::npos; }
    Lines record() const { return linesOf(readFile(record_)); }

  private:
    std::string record_;
    pid_t pid_ = -1;
};

struct Outcome {
    Lines rows;
    Lines messages;
    UpgradeRuns runs;
};

class UpgradeLab : public ::testing::Test {
  protected:
    UpgradeLab() {
        timings_ = test::fastTimings();
        timings_.pingTimeout = 100ms;
        timings_.codeUpdateReceive = 100ms;
    }

    std::unique_ptr<Simulator> simulate(std::vector<std::string> args) {
        auto sim = std::make_unique<Simulator>(device_, dir_.file("sim.log"), std::move(args));
        EXPECT_TRUE(sim->ready());
        return sim;
    }

    std::string archive(const std::vector<test::ZipMember>& members) {
        return test::writeArchive(dir_, "fw.zip", members);
    }

    std::string region(int n) const { return dir_.file("region") + std::to_string(n) + ".bin"; }

    // One Update pressed in the window, run to its end inside the PC's namespace.
    Outcome update(const std::string& archivePath, bool onePage = false) {
        return pc_.run([&] {
            test::FakeInterfaceSource interfaces({kPcAddress});
            DeviceWorkerFactory workers;
            ConsoleServices services{interfaces, workers, timings_};
            services.reportPrivileges = false;
            OperatorConsole console(std::move(services));
            test::RecordingView view;
            console.attachView(&view);
            console.Initialize();
            console.OnRadioClicked(ControlId::RadioFirmwareFile);
            const Lines octets = {"10", "91", "0", "2"};
            for (std::size_t i = 0; i < kIpControls.size(); ++i) {
                console.OnFieldEdited(kIpControls[i], octets[i]);
            }
            console.OnTextEdited(ControlId::PasswordEdit, kSetPassword);
            console.OnTextEdited(ControlId::FirmwarePath, archivePath);
            console.OnCheckToggled(ControlId::OnePageCheck, onePage);
            console.OnUpdate();
            const FirmwareUpgrader& driver = *console.upgradeDriver();
            test::eventually([&] { return driver.runs().ended >= driver.runs().started; }, 60s, 5ms,
                             [&](Millis wait) { console.dispatcher().drainAndWait(wait); });
            console.dispatcher().drain();
            Outcome outcome{view.rows(), view.messages(), driver.runs()};
            console.Shutdown();
            console.attachView(nullptr);
            return outcome;
        });
    }

    static bool has(const Lines& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    netlab::PcLab lab_;
    netlab::LabNamespace& pc_ = lab_.pc;
    netlab::LabNamespace& device_ =
        lab_.addDevice(kPcAddress + "/24", kDeviceAddress + "/24").space;
    test::TempDir dir_;
    Timings timings_;
};

const Bytes kMicrocode = test::microcodeFile(1, 40000);
const Bytes kBin = test::patternBytes(3000, 41);
const Bytes kLogo = test::patternBytes(900, 42);

class FullRun : public UpgradeLab, public ::testing::WithParamInterface<bool> {};

TEST_P(FullRun, DeviceReceivesEveryRegionAsTheArchiveHoldsIt) {
    const bool onePage = GetParam();
    const auto sim = simulate({"--password", kSetPassword, "--model", "1", "--reboot-ms", "300",
                               "--dump", dir_.file("region")});
    const Outcome out = update(
        archive({test::firmwareMember("update.enc", kMicrocode),
                 test::firmwareMember("image.bin", kBin), test::firmwareMember("logo.gif", kLogo)}),
        onePage);
    ASSERT_TRUE(out.runs.lastSucceeded) << ::testing::PrintToString(out.rows);
    EXPECT_EQ(out.rows.back(), "> Upgrade Complete\n");

    EXPECT_EQ(readBytes(region(0)), test::expectedTail(kMicrocode));
    EXPECT_EQ(readBytes(region(1)), test::expectedMicrocode(kMicrocode));
    EXPECT_EQ(readBytes(region(2)), test::expectedBin(kBin));
    EXPECT_EQ(readBytes(region(3)), test::expectedLogo(kLogo));

    const Lines record = sim->record();
    EXPECT_EQ(countStarting(record, "end "), 5u);  // four regions and the final end
    EXPECT_EQ(countStarting(record, "end sub=9 flags=01"), 1u);
    EXPECT_EQ(std::count_if(record.begin(), record.end(),
                            [](const std::string& l) { return l.find(" bad ") != l.npos; }),
              0);
    EXPECT_EQ(countStarting(record, "bad-length"), 0u);
    EXPECT_EQ(countStarting(record, "model "), 2u);
    EXPECT_TRUE(has(record, "clear"));
    // The PC waited until the device answered pings again before it sent anything more.
    EXPECT_TRUE(has(record, "reboot"));
    EXPECT_EQ(countStarting(record, "ignored"), 0u);

    // The flags of the microcode region, between the tail's end and its own.
    const auto tailEnd = std::find_if(record.begin(), record.end(),
                                      [](const std::string& l) { return l.rfind("end ", 0) == 0; });
    std::string flags;
    for (auto it = tailEnd + 1; it != record.end() && it->rfind("end ", 0) != 0; ++it) {
        if (it->rfind("data ", 0) != 0) {
            continue;
        }
        const std::size_t at = it->find("flags=");
        flags += it->substr(at + 6, 2) + " ";
        if (onePage) {
            EXPECT_NE(it->find("count=1 "), std::string::npos) << *it;
        }
    }
    EXPECT_EQ(flags.substr(0, 12), onePage ? "81 01 01 01 " : "81 00 00 00 ");
    EXPECT_EQ(flags.find("81", 1), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Modes, FullRun, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return std::string(param.param ? "OnePage" : "FourPages");
                         });

TEST_F(UpgradeLab, LogoOnlyRun) {
    const auto sim =
        simulate({"--password", kSetPassword, "--model", "3", "--dump", dir_.file("region")});
    const Outcome out = update(archive({test::firmwareMember("logo.gif", kLogo)}));
    ASSERT_TRUE(out.runs.lastSucceeded) << ::testing::PrintToString(out.rows);
    EXPECT_EQ(readBytes(region(0)), test::expectedLogo(kLogo));
    EXPECT_FALSE(has(out.rows, "> Waiting to complete upgrade, Do Not Unplug.\n"));
}

TEST_F(UpgradeLab, OlderDeviceGetsVersion10ForTheRestOfTheRun) {
    const auto sim = simulate({"--password", kSetPassword, "--old-device", "--reboot-ms", "200"});
    const Outcome out = update(archive(
        {test::firmwareMember("update.enc", kMicrocode), test::firmwareMember("image.bin", kBin)}));
    ASSERT_TRUE(out.runs.lastSucceeded) << ::testing::PrintToString(out.rows);
    const Lines record = sim->record();
    // Each model query of the run is tried with 0x0011 first; everything else goes with 0x0010.
    EXPECT_EQ(countStarting(record, "model version=0011"), 2u);
    EXPECT_EQ(countStarting(record, "model version=0010"), 1u);
    for (const auto& line : record) {
        if (line.rfind("data ", 0) == 0 || line.rfind("end ", 0) == 0) {
            EXPECT_NE(line.find("version=0010"), std::string::npos) << line;
        }
    }
}

TEST_F(UpgradeLab, StrayRepliesAreLoggedAndTheRunStillCompletes) {
    const auto sim = simulate({"--password", kSetPassword, "--noise-packet", "2"});
    const Outcome out = update(archive({test::firmwareMember("logo.gif", kLogo)}));
    ASSERT_TRUE(out.runs.lastSucceeded) << ::testing::PrintToString(out.rows);
    EXPECT_TRUE(
        has(out.rows, "> Received ACK from wrong packet. Wanted packet 1389, got packet 2389\n"));
    EXPECT_TRUE(
        has(out.rows, "> Wrong receive length from Code Update Packet 1389 wanted 23, got 30\n"));
}

// A device that answers pings but has nothing on the update port: the ICMP port unreachable of
// the first model query ends the run, long before a single wait for a reply would.
TEST_F(UpgradeLab, NothingOnTheUpdatePortEndsTheRunAtTheFirstQuery) {
    timings_.codeUpdateReceive = 10s;
    const auto start = std::chrono::steady_clock::now();
    const Outcome out = update(archive({test::firmwareMember("update.enc", kMicrocode)}));
    const auto took = std::chrono::steady_clock::now() - start;
    std::printf("the run failed after %.1f ms\n",
                std::chrono::duration<double, std::milli>(took).count());
    EXPECT_FALSE(out.runs.lastSucceeded);
    EXPECT_LT(took, timings_.codeUpdateReceive);
    EXPECT_EQ(
        Lines(out.rows.end() - std::min<std::ptrdiff_t>(3, std::ssize(out.rows)), out.rows.end()),
        (Lines{"> receiveCommand error!\n", "> System update has not completed.\n",
               "> ready...\n"}));
}

struct FailureCase {
    const char* name;
    std::vector<std::string> simulator;
    std::string line;     // a status row of the failure
    std::string message;  // a message box, or empty
};

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class FailedRun : public UpgradeLab, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailedRun, EndsWithItsLinesAndTheClosingLines) {
    if (GetParam().message == "Cannot ping the device") {
        timings_.pingTimeout = 10ms;  // 20 checks of 30 attempts each
    }
    const auto sim = simulate(GetParam().simulator);
    const Outcome out = update(archive({test::firmwareMember("update.enc", kMicrocode)}));
    EXPECT_FALSE(out.runs.lastSucceeded);
    ASSERT_EQ(out.runs.ended, 1);
    EXPECT_TRUE(has(out.rows, GetParam().line)) << ::testing::PrintToString(out.rows);
    ASSERT_GE(out.rows.size(), 2u);
    EXPECT_EQ(Lines(out.rows.end() - 2, out.rows.end()),
              (Lines{"> System update has not completed.\n", "> ready...\n"}));
    EXPECT_EQ(out.messages, GetParam().message.empty() ? Lines{} : Lines{GetParam().message});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedRun,
    ::testing::Values(FailureCase{"WrongSetPassword",
                                  {"--password", "another"},
                                  "> You entered the wrong Set Password\n",
                                  ""},
                      FailureCase{
                          "WrongModel",
                          {"--password", kSetPassword, "--model", "3"},
                          "> Error! Trying to update the microcode using incorrect auraNode model "
                          "update file\n",
                          ""},
                      FailureCase{"SilentDevice", {"--silent"}, "> recv timout\n", ""},
                      FailureCase{"DeviceNotBackAfterTheMicrocode",
                                  {"--password", kSetPassword, "--reboot-ms", "100000"},
                                  "> Waiting to complete upgrade, Do Not Unplug.\n",
                                  "Cannot ping the device"}),
    [](const ::testing::TestParamInfo<FailureCase>& param) {
        return std::string(param.param.name);
    });

}  // namespace
}  // namespace vantor

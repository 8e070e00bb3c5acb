// The program without a window taking a row of devices: --every-device and --devices-csv, in
// the PC namespace of a lab whose device namespace announces three devices at once.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/ChildProcess.h"
#include "netlab/LabCommand.h"
#include "netlab/NetLab.h"
#include "upgrade/TempDir.h"

namespace vantor {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::vector<std::string> inNamespace(const netlab::LabNamespace& space,
                                     std::vector<std::string> argv) {
    std::vector<std::string> words{netlab::LabCommand::IpTool(), "netns", "exec", space.name()};
    words.insert(words.end(), argv.begin(), argv.end());
    return words;
}

std::string contents(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

TEST(HeadlessDevices, EveryDeviceTakesThreeInARowAndTheListIsWrittenOnSigterm) {
    netlab::NetLab lab;
    netlab::LabNamespace& pc = lab.addNamespace();
    netlab::LabNamespace& device = lab.addNamespace();
    const auto link = lab.connect(pc, "10.78.0.1/24", device, "10.78.0.2/24");
    for (const char* address : {"10.78.0.3/24", "10.78.0.4/24"}) {
        device.ip({"address", "add", address, "dev", link.interfaceB});
    }
    test::TempDir work;
    const std::string csv = work.file("devices.csv");
    test::ChildProcess program(
        inNamespace(pc, {VANTOR_BINARY, "--headless", "--every-device", "--devices-csv", csv}));
    ASSERT_NE(program.readUntil("> Listening.....\n", 1, 15s).find("> Listening"),
              std::string::npos)
        << program.output();

    const auto start = Clock::now();
    std::vector<std::unique_ptr<test::ChildProcess>> devices;
    for (int i = 2; i <= 4; ++i) {
        const std::string n = std::to_string(i);
        devices.push_back(std::make_unique<test::ChildProcess>(
            inNamespace(device, {VANTOR_DEVICE_SIM, "announce", "--iface", link.interfaceB, "--mac",
                                 "02-56-4E-00-02-0" + n, "--ip", "10.78.0." + n, "--text",
                                 "lobby, cam " + n, "--duration", "3000"})));
    }
    for (int i = 2; i <= 4; ++i) {
        const std::string n = std::to_string(i);
        const std::string line = "device: 02-56-4E-00-02-0" + n + " 10.78.0." + n + " answering\n";
        ASSERT_NE(program.readUntil(line, 1, 20s).find(line), std::string::npos)
            << program.output();
    }
    std::printf(
        "three devices answering %lld ms after the first announcement\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count()));
    for (const char* state : {" heard\n", " notified\n", " routed\n"}) {
        EXPECT_EQ(program.occurrences(state), 3) << state << program.output();
    }

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitExit(10s), 0) << program.output();
    const std::string list = contents(csv);
    EXPECT_EQ(list.rfind("MAC,Address,Name,Interface,State,First heard,Last heard\r\n", 0), 0U)
        << list;
    for (int i = 2; i <= 4; ++i) {
        const std::string n = std::to_string(i);
        EXPECT_NE(list.find("02-56-4E-00-02-0" + n + ",10.78.0." + n + ",\"lobby, cam " + n +
                            "\",10.78.0.1,answering,"),
                  std::string::npos)
            << list;
    }
    std::printf("%s", list.c_str());
}

TEST(HeadlessDevices, AListPathThatIsNoRegularFileIsRefusedBeforeAnythingRuns) {
    test::TempDir work;
    test::ChildProcess program({VANTOR_BINARY, "--headless", "--devices-csv", work.path()});
    EXPECT_EQ(program.waitExit(10s), 2);
    EXPECT_NE(program.output().find("--devices-csv '" + work.path().string() + "': is a directory"),
              std::string::npos)
        << program.output();
}

}  // namespace
}  // namespace vantor

// The program without a window taking a row of devices: --every-device and --devices-csv, in
// the PC namespace of a lab whose device namespace announces three devices at once.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/ChildProcess.h"
#include "netlab/LabCommand.h"
#include "netlab/NetLab.h"
#include "upgrade/TempDir.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> inNamespace(const netlab::LabNamespace& space,
                                     std::vector<std::string> argv) {
    argv.insert(argv.begin(), {netlab::LabCommand::IpTool(), "netns", "exec", space.name()});
    return argv;
}

TEST(HeadlessDevices, EveryDeviceTakesThreeInARowAndTheListIsWrittenOnSigterm) {
    netlab::NetLab lab;
    netlab::LabNamespace& pc = lab.addNamespace();
    netlab::LabNamespace& device = lab.addNamespace();
    const auto link = lab.connect(pc, "10.78.0.1/24", device, "10.78.0.2/24");
    device.ip({"address", "add", "10.78.0.3/24", "dev", link.interfaceB});
    device.ip({"address", "add", "10.78.0.4/24", "dev", link.interfaceB});
    test::TempDir work;
    const std::string csv = work.file("devices.csv");
    test::ChildProcess program(
        inNamespace(pc, {VANTOR_BINARY, "--headless", "--every-device", "--devices-csv", csv}));
    ASSERT_NE(program.readUntil("> Listening.....\n", 1, 15s).find("> Listening"),
              std::string::npos)
        << program.output();

    const auto start = std::chrono::steady_clock::now();
    std::vector<std::unique_ptr<test::ChildProcess>> devices;
    for (const std::string n : {"2", "3", "4"}) {
        devices.push_back(std::make_unique<test::ChildProcess>(
            inNamespace(device, {VANTOR_DEVICE_SIM, "announce", "--iface", link.interfaceB, "--mac",
                                 "02-56-4E-00-02-0" + n, "--ip", "10.78.0." + n, "--text",
                                 "lobby, cam " + n, "--duration", "3000"})));
    }
    for (const std::string n : {"2", "3", "4"}) {
        const std::string line = "device: 02-56-4E-00-02-0" + n + " 10.78.0." + n + " answering\n";
        ASSERT_NE(program.readUntil(line, 1, 20s).find(line), std::string::npos)
            << program.output();
    }
    std::printf("three devices answering %lld ms after the first announcement\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - start)
                                           .count()));
    EXPECT_EQ(program.occurrences(" routed\n"), 3) << program.output();

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitExit(10s), 0) << program.output();
    std::ostringstream list;
    list << std::ifstream(csv, std::ios::binary).rdbuf();
    std::printf("%s", list.str().c_str());
    for (const std::string n : {"2", "3", "4"}) {
        EXPECT_NE(list.str().find("\r\n02-56-4E-00-02-0" + n + ",10.78.0." + n + ",\"lobby, cam " +
                                  n + "\",10.78.0.1,answering,"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace vantor

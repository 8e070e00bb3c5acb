// Starts the real program without a window inside a network namespace of its own, with one
// interface (a veth pair whose other end has no address), and talks to it through its standard
// output and signals.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/ChildProcess.h"
#include "netlab/LabCommand.h"
#include "netlab/NetLab.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The program, in a network namespace of its own with one interface unless told otherwise.
class Program : public vantor::test::ChildProcess {
  public:
    explicit Program(const std::vector<std::string>& args, bool inNamespace = true)
        : ChildProcess(argvFor(args, inNamespace)) {}
    // A program started from its full argument vector, as given.
    struct Argv {
        std::vector<std::string> words;
    };
    explicit Program(Argv argv) : ChildProcess(std::move(argv.words)) {}

  private:
    static std::vector<std::string> argvFor(const std::vector<std::string>& args,
                                            bool inNamespace) {
        std::string command = std::string(VANTOR_BINARY);
        for (const auto& a : args) {
            command += " '" + a + "'";
        }
        if (!inNamespace) {
            return {"sh", "-c", "exec " + command};
        }
        // The interface exists only inside the program's own namespace; exec keeps the pid.
        return {"unshare",
                "--net",
                "--",
                "sh",
                "-c",
                "ip link set lo up && ip link add v0 type veth peer name v1 && "
                "ip addr add 10.77.0.1/24 dev v0 && ip link set v0 up && "
                "ip link set v1 up && exec " +
                    command};
    }
};

TEST(HeadlessProgram, ListsTheInterfaceListensAndEndsCleanlyOnSigterm) {
    Program program({"--headless"});
    ASSERT_TRUE(program.started());
    const std::string out = program.readUntil("> Listening.....\n");
    ASSERT_NE(out.find("> Listening....."), std::string::npos)
        << "no listening line; the namespace needs root. Output:\n"
        << out;
    EXPECT_NE(out.find("> 1 NICs found on this machine ("), std::string::npos) << out;
    EXPECT_NE(out.find("    - NIC1: 10.77.0.1\n"), std::string::npos) << out;
    EXPECT_EQ(out.find('\r'), std::string::npos) << "rows are written with plain line feeds";
    EXPECT_NE(program.readUntil("banner: instructions\n").find("banner: instructions\n"),
              std::string::npos);

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitExit(1000ms), 0) << "must stop its workers and exit 0 promptly";
}

TEST(HeadlessProgram, EntersAnotherModeThroughTheModeSwitchAndStopsOnSigint) {
    Program program({"--headless", "--mode", "recovery"});
    // Auto lists first and ends with a blank line before "Listening"; recovery clears the log,
    // lists again and ends without one.
    const std::string recoveryEnd = "    - NIC1: 10.77.0.1\n> Listening.....\n";
    const std::string out = program.readUntil(recoveryEnd);
    ASSERT_NE(out.find(recoveryEnd), std::string::npos) << out;
    EXPECT_LT(out.find("    - NIC1: 10.77.0.1\n\n> Listening.....\n"), out.find(recoveryEnd));
    program.signal(SIGINT);
    EXPECT_EQ(program.waitExit(1000ms), 0);
}

TEST(HeadlessProgram, HelpAndBadArguments) {
    Program help({"--help"}, false);
    EXPECT_NE(help.readUntil("Usage:").find("--headless"), std::string::npos);
    EXPECT_EQ(help.waitExit(5000ms), 0);

    Program bad({"--headless", "--mode", "sideways"}, false);
    const std::string out = bad.readUntil("Usage:");
    EXPECT_NE(out.find("unknown mode 'sideways'"), std::string::npos) << out;
    EXPECT_EQ(bad.waitExit(5000ms), 2);
}

// One Set, then the exit code says whether the device took the address.
TEST(HeadlessSet, ABadMacIsRefusedWithTheWindowsLines) {
    Program program(
        {"--headless", "--mode", "manual", "--mac", "00-11-22-33-44", "--ip", "10.77.0.50"});
    const std::string out = program.readUntil("> Ready\n\n");
    EXPECT_NE(out.find("> Error: Invalid MAC address\n> Ready\n\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Checking for an existing IP"), std::string::npos) << out;
    EXPECT_EQ(program.waitExit(5000ms), 1);
}

TEST(HeadlessSet, NobodyAnsweringFailsAfterEveryInterfaceWasTried) {
    // With the product's echo time-outs: about three seconds for the check and three for the
    // one interface.
    Program program(
        {"--headless", "--mode", "manual", "--mac", "02-11-22-33-44-55", "--ip", "10.77.0.50"});
    const std::string out = program.readUntil("> Ready\n\n", 1, 20000ms);
    EXPECT_NE(out.find("Checking for an existing IP at 10.77.0.50\n"
                       "> Using Ethernet adapter: 10.77.0.1\n"
                       "> Error: Setting IP failed\n"
                       "> Ready\n\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(program.waitExit(5000ms), 1);
}

TEST(HeadlessSet, ClosingDuringTheEchoesEndsPromptly) {
    Program program(
        {"--headless", "--mode", "manual", "--mac", "02-11-22-33-44-55", "--ip", "10.77.0.50"});
    const std::string checking = "Checking for an existing IP at 10.77.0.50\n";
    ASSERT_NE(program.readUntil(checking).find(checking), std::string::npos) << program.output();
    program.signal(SIGTERM);
    // The echoes would go on for about six seconds: a close waits for one at most.
    const int code = program.waitExit(3000ms);
    EXPECT_TRUE(code == 0 || code == 1) << "exit " << code << "\n" << program.output();
}

TEST(HeadlessSet, ASimulatedDeviceTakesTheAddress) {
    vantor::netlab::NetLab lab;
    vantor::netlab::LabNamespace& pc = lab.addNamespace();
    vantor::netlab::LabNamespace& device = lab.addNamespace();
    lab.connect(pc, "10.78.0.1/24", device, "");
    const std::string link = device.ip({"-o", "link", "show", "veth0"});
    std::string mac = link.substr(link.find("link/ether ") + 11, 17);
    for (char& c : mac) {
        c = c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const std::string ip = vantor::netlab::LabCommand::IpTool();

    Program adopt(
        Program::Argv{{ip, "netns", "exec", device.name(), VANTOR_DEVICE_SIM, "adopt", "--iface",
                       "veth0", "--duration", "20000", "--record", "/dev/stdout"}});
    ASSERT_NE(adopt.readUntil("ready\n").find("ready\n"), std::string::npos);
    Program program(Program::Argv{{ip, "netns", "exec", pc.name(), VANTOR_BINARY, "--headless",
                                   "--mode", "manual", "--mac", mac, "--ip", "10.78.0.50"}});
    // The banner line follows the rows of the run; all of it is there once the program ended.
    EXPECT_EQ(program.waitExit(20000ms), 0);
    const std::string& out = program.output();
    EXPECT_NE(out.find("> Successfully assigned the new address\n>     MAC: " + mac +
                       "\n>     IP: 10.78.0.50\n> Ready\n\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("banner: device-ready http://10.78.0.50/QuickStart/Qlogin.php\n"),
              std::string::npos)
        << out;
    EXPECT_NE(adopt.readUntil("adopted 10.78.0.50").find("adopted 10.78.0.50"), std::string::npos);
}

}  // namespace

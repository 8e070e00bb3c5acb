// Starts the real program without a window inside a network namespace of its own, with one
// interface (a veth pair whose other end has no address), and talks to it through its standard
// output and signals.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/ChildProcess.h"
#include "base/Product.h"
#include "headless/CommandLine.h"
#include "hostnet/NetworkAccess.h"
#include "netlab/LabCommand.h"
#include "netlab/NetLab.h"
#include "recovery/BootImages.h"
#include "upgrade/TempDir.h"

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
        command += " </dev/null";  // standard input holds no password line
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

TEST(HeadlessProgram, HelpAndVersion) {
    for (const std::string option : {"--help", "-h"}) {
        Program help({option}, false);
        EXPECT_EQ(help.waitExit(5000ms), 0);
        EXPECT_EQ(help.output(), vantor::CommandLine::usage("vantor")) << option;
    }

    // The kit named on the command line comes before every other place.
    const std::string kit = std::filesystem::temp_directory_path().string();
    Program version({"--boot-images", kit, "--version"}, false);
    // The build tree's helper has capabilities once scripts/run.sh granted them.
    const std::string helper =
        (std::filesystem::path(VANTOR_BINARY).parent_path() / "../libexec/vantor/vantor-net-helper")
            .lexically_normal()
            .string();
    EXPECT_EQ(version.waitExit(5000ms), 0);
    char oui[9];
    std::snprintf(oui, sizeof oui, "%02X-%02X-%02X", vantor::kDeviceOui[0], vantor::kDeviceOui[1],
                  vantor::kDeviceOui[2]);
    EXPECT_EQ(version.output(),
              "vantor " + std::string(vantor::kVersion) + "\ndevice OUI: " + oui +
                  "\nboot images: " +
                  (vantor::BootImages::ArePlaceholders()
                       ? "placeholders (a device cannot boot them; see README)\n"
                       : "embedded from VANTOR_BOOT_IMAGES_DIR\n") +
                  "recovery kit: " + kit + "\nhelper: " + helper +
                  (vantor::NetworkAccess::FileCapabilities(helper) != 0 ? " (capabilities: yes)\n"
                                                                        : " (capabilities: no)\n"));
}

// The places a kit is looked for that the command line does not name: the folder remembered
// from the window, then the user's data folder.
TEST(HeadlessProgram, VersionNamesTheRememberedKitThenTheUsersDataFolder) {
    vantor::test::TempDir home;
    const std::filesystem::path config = home.path() / "config";
    const std::filesystem::path data = home.path() / "data";
    const std::filesystem::path chosen = home.path() / "chosen";
    std::filesystem::create_directories(config / "vantor");
    std::filesystem::create_directories(data / "vantor/images");
    std::filesystem::create_directories(chosen);
    const auto version = [&] {
        Program program(
            Program::Argv{{"env", "XDG_CONFIG_HOME=" + config.string(),
                           "XDG_DATA_HOME=" + data.string(), VANTOR_BINARY, "--version"}});
        program.waitExit(5000ms);
        return program.output();
    };
    std::ofstream(config / "vantor/recovery-kit") << chosen.string() << "\n";
    EXPECT_NE(version().find("\nrecovery kit: " + chosen.string() + "\n"), std::string::npos);
    std::filesystem::remove(config / "vantor/recovery-kit");
    EXPECT_NE(version().find("\nrecovery kit: " + (data / "vantor/images").string() + "\n"),
              std::string::npos);
}

// Every argument error, and every file named on the command line that cannot be used, is
// found before the console starts: exit 2, one line that says why and one that points to
// --help, and not one status row (nothing listened, nothing sent).
TEST(HeadlessProgram, ArgumentErrorsExitTwoBeforeAnythingIsSent) {
    const std::string missing = "/nonexistent-vantor/fw.zip";
    const std::vector<std::string> update = {"--headless", "--mode", "firmware", "--ip",
                                             "10.77.0.50"};
    const auto with = [](std::vector<std::string> args, const std::vector<std::string>& more) {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const vantor::test::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);  // no writer ever opens it
    std::ofstream(dir.file("large")) << "10.77.0.50\n" << std::string(1048577 - 11, '#');
    std::ofstream(dir.file("twice")) << "10.77.0.50\r\n10.77.0.5\r\n10.77.0.50\r\n";
    const auto batch = [&](const std::string& list) {
        return std::vector<std::string>{"--headless",      "--mode", "firmware",  "--ip-list", list,
                                        "--password-file", missing,  "--archive", missing};
    };
    struct Case {
        std::vector<std::string> args;
        std::string said;
    };
    const std::vector<Case> cases = {
        {{"--headless", "--mode", "sideways"},
         "unknown mode 'sideways' (expected auto, manual, recovery or firmware)"},
        {{"--headless", "--mode", "manual", "--mac", "00-11-22-33-44", "--ip", "10.77.0.50"},
         "--mac '00-11-22-33-44' is not a MAC address; expected XX-XX-XX-XX-XX-XX or "
         "xx:xx:xx:xx:xx:xx (hexadecimal)"},
        {{"--headless", "--mode", "manual", "--mac", "02:11:22:33:44:55", "--ip", "10.77.0.256"},
         "--ip '10.77.0.256' is not an IPv4 address; expected A.B.C.D, each part 0 to 255"},
        {with(update, {"--password-file", "/tmp", "--archive", missing}),
         "--password-file '/tmp': is a directory"},
        {with(update, {"--password-file", missing, "--archive", missing}),
         "--password-file '" + missing + "': no such file"},
        {with(update, {"--password", "-", "--archive", missing}),
         "--password -: no password line on standard input"},
        {with(update, {"--password", "-", "--password-file", missing, "--archive", missing}),
         "give the device password once: --password P, --password - or --password-file FILE"},
        {with(update, {"--password", "setpw", "--archive", missing}),
         "--archive '" + missing + "': no such file"},
        {with(update, {"--password", "setpw", "--archive", "/tmp"}),
         "--archive '/tmp': is a directory"},
        {batch(dir.path().string()), "--ip-list '" + dir.path().string() + "': is a directory"},
        {batch(dir.file("fifo")), "--ip-list '" + dir.file("fifo") + "': not a regular file"},
        {batch("/dev/zero"), "--ip-list '/dev/zero': not a regular file"},
        {{"--headless", "--log-file", dir.file("fifo")},
         "--log-file '" + dir.file("fifo") + "': not a regular file"},
        {batch(dir.file("large")),
         "--ip-list '" + dir.file("large") + "': larger than 1048576 bytes"},
        {{"--headless", "--devices-csv", dir.path().string()},
         "--devices-csv '" + dir.path().string() + "': is a directory"},
        {batch(dir.file("twice")),
         "--ip-list '" + dir.file("twice") + "': line 3: 10.77.0.50 is listed twice"},
    };
    for (const Case& c : cases) {
        Program program(c.args);
        EXPECT_EQ(program.waitExit(5000ms), 2) << c.said << "\n" << program.output();
        const std::string& out = program.output();
        EXPECT_TRUE(
            out.ends_with("vantor: " + c.said + "\nTry 'vantor --help' for more information.\n"))
            << out;
        EXPECT_EQ(out.find("> "), std::string::npos) << "a status row: the console ran\n" << out;
    }
}

// Every row reaches the log file, stamped; a file that cannot be written costs one warning.
TEST(HeadlessProgram, KeepsTheStatusLogInAFileOrWarnsOnceWithout) {
    char pattern[] = "/tmp/vantor-log-XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    const std::string path = dir + "/vantor.log";
    {
        Program program({"--headless", "--log-file", path});
        ASSERT_NE(program.readUntil("> Listening.....\n").find("> Listening....."),
                  std::string::npos)
            << program.output();
        program.signal(SIGTERM);
        EXPECT_EQ(program.waitExit(1000ms), 0);
    }
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    const std::regex stamped(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d( .*)?)");
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, stamped)) << line;
        EXPECT_EQ(line.find('\r'), std::string::npos) << line;
    }
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.ends_with(" > Listening.....");
    }));

    // A regular file where the folder should be: unwritable even for root.
    Program program({"--headless", "--log-file", path + "/vantor.log"});
    const std::string out = program.readUntil("> Listening.....\n");
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitExit(1000ms), 0) << out;
    EXPECT_EQ(program.occurrences("vantor: warning: cannot open the log file"), 1)
        << program.output();
    std::filesystem::remove_all(dir);
}

// One Set, then the exit code says whether the device took the address.
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
    // Typed as `ip link` prints it; the rows show it as the window does.
    const std::string typedMac = link.substr(link.find("link/ether ") + 11, 17);
    std::string mac = typedMac;
    for (char& c : mac) {
        c = c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const std::string ip = vantor::netlab::LabCommand::IpTool();

    Program adopt(
        Program::Argv{{ip, "netns", "exec", device.name(), VANTOR_DEVICE_SIM, "adopt", "--iface",
                       "veth0", "--duration", "20000", "--record", "/dev/stdout"}});
    ASSERT_NE(adopt.readUntil("ready\n").find("ready\n"), std::string::npos);
    Program program(Program::Argv{{ip, "netns", "exec", pc.name(), VANTOR_BINARY, "--headless",
                                   "--mode", "manual", "--mac", typedMac, "--ip", "10.78.0.50"}});
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

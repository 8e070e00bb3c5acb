// Starts the real program without a window inside a network namespace of its own, with one
// interface (a veth pair whose other end has no address), and talks to it through its standard
// output and signals.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "netlab/LabCommand.h"
#include "netlab/NetLab.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class Program {
  public:
    explicit Program(const std::vector<std::string>& args, bool inNamespace = true) {
        std::string command = std::string(VANTOR_BINARY);
        for (const auto& a : args) {
            command += " '" + a + "'";
        }
        if (inNamespace) {
            // The interface exists only inside the program's own namespace; exec keeps the pid.
            spawn({"unshare", "--net", "--", "sh", "-c",
                   "ip link set lo up && ip link add v0 type veth peer name v1 && "
                   "ip addr add 10.77.0.1/24 dev v0 && ip link set v0 up && "
                   "ip link set v1 up && exec " +
                       command});
        } else {
            spawn({"sh", "-c", "exec " + command});
        }
    }
    // A program started from its full argument vector, as given.
    struct Argv {
        std::vector<std::string> words;
    };
    explicit Program(Argv argv) { spawn(std::move(argv.words)); }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) {
            close(out_);
        }
    }

    bool started() const { return pid_ > 0; }

    // Reads output until it contains `text` or the time is up; returns everything read.
    std::string readUntil(const std::string& text, std::chrono::milliseconds limit = 5000ms) {
        const auto deadline = Clock::now() + limit;
        while (output_.find(text) == std::string::npos && Clock::now() < deadline) {
            pollfd fd{out_, POLLIN, 0};
            if (poll(&fd, 1, 50) > 0) {
                char buffer[4096];
                const ssize_t n = read(out_, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                output_.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return output_;
    }

    // Waits for the exit; the exit code, or -1 when it did not end in time.
    int waitExit(std::chrono::milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(5ms);
        }
        return -1;
    }

    void signal(int sig) { kill(pid_, sig); }

  private:
    void spawn(std::vector<std::string> argv) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        std::vector<char*> raw;
        for (auto& a : argv) {
            raw.push_back(a.data());
        }
        raw.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        if (posix_spawnp(&pid_, raw[0], &actions, nullptr, raw.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
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
    const std::string out = program.readUntil("> Ready\n\n", 20000ms);
    EXPECT_NE(out.find("Checking for an existing IP at 10.77.0.50\n"
                       "> Using Ethernet adapter: 10.77.0.1\n"
                       "> Error: Setting IP failed\n"
                       "> Ready\n\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(program.waitExit(5000ms), 1);
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
    const std::string out = program.readUntil("> Ready\n\n", 20000ms);
    EXPECT_NE(out.find("> Successfully assigned the new address\n>     MAC: " + mac +
                       "\n>     IP: 10.78.0.50\n> Ready\n\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("banner: device-ready http://10.78.0.50/QuickStart/Qlogin.php\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(program.waitExit(5000ms), 0);
    EXPECT_NE(adopt.readUntil("adopted 10.78.0.50").find("adopted 10.78.0.50"), std::string::npos);
}

}  // namespace

// The program as an ordinary user (nobody) runs it after installing the package: without a
// capability of its own, with its network helper at ../libexec/vantor/ holding the three file
// capabilities the package grants. Each mode does its network work in a lab namespace.
#include <linux/capability.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/ChildProcess.h"
#include "base/Product.h"
#include "netlab/LabCommand.h"
#include "netlab/NetLab.h"
#include "support/Eventually.h"
#include "upgrade/TempDir.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kNobody = 65534;

// The package's layout in a folder every user may read: bin/vantor and
// libexec/vantor/vantor-net-helper with cap_net_bind_service, cap_net_admin and cap_net_raw
// permitted and effective, as `setcap ...+ep` writes them (security.capability, revision 2).
class InstalledCopy {
  public:
    InstalledCopy() {
        fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
        fs::create_directories(dir_.path() / "bin");
        fs::create_directories(dir_.path() / "libexec/vantor");
        fs::copy_file(VANTOR_BINARY, program());
        fs::copy_file(VANTOR_HELPER, helper());
        for (const auto& folder :
             {dir_.path() / "bin", dir_.path() / "libexec", dir_.path() / "libexec/vantor"}) {
            ::chmod(folder.c_str(), 0755);
        }
        vfs_cap_data caps{};
        caps.magic_etc = VFS_CAP_REVISION_2 | VFS_CAP_FLAGS_EFFECTIVE;
        caps.data[0].permitted =
            (1U << CAP_NET_BIND_SERVICE) | (1U << CAP_NET_ADMIN) | (1U << CAP_NET_RAW);
        granted_ = ::setxattr(helper().c_str(), "security.capability", &caps, sizeof caps, 0) == 0;
    }
    std::string program() const { return (dir_.path() / "bin/vantor").string(); }
    std::string helper() const {
        return (dir_.path() / "libexec/vantor/vantor-net-helper").string();
    }
    bool granted() const { return granted_; }
    std::string file(const std::string& name) const { return dir_.file(name); }

  private:
    test::TempDir dir_;
    bool granted_ = false;
};

// The copy's program as user nobody in `space`, from a folder nobody may read.
class AsNobody : public test::ChildProcess {
  public:
    AsNobody(const InstalledCopy& copy, const netlab::LabNamespace& space,
             const std::vector<std::string>& args)
        : ChildProcess(argvFor(copy, space, args)) {}

  private:
    static std::vector<std::string> argvFor(const InstalledCopy& copy,
                                            const netlab::LabNamespace& space,
                                            const std::vector<std::string>& args) {
        std::vector<std::string> argv{netlab::LabCommand::IpTool(),
                                      "netns",
                                      "exec",
                                      space.name(),
                                      "/usr/bin/setpriv",
                                      "--reuid=" + std::to_string(kNobody),
                                      "--regid=" + std::to_string(kNobody),
                                      "--clear-groups",
                                      "--",
                                      "/usr/bin/env",
                                      "-C",
                                      "/",
                                      "HOME=/nonexistent",
                                      copy.program()};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
};

// A line "Name:\tvalue" of /proc/PID/status.
std::string statusField(pid_t pid, const std::string& name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(name + ":", 0) == 0) {
            return line.substr(line.find_first_not_of(" \t", name.size() + 1));
        }
    }
    return {};
}

// The processes whose parent is `pid`.
std::vector<pid_t> childrenOf(pid_t pid) {
    std::vector<pid_t> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") == std::string::npos &&
            statusField(std::stoi(name), "PPid") == std::to_string(pid)) {
            children.push_back(std::stoi(name));
        }
    }
    return children;
}

bool running(pid_t pid) {
    const std::string state = statusField(pid, "State");
    return !state.empty() && state[0] != 'Z';
}

struct Segment {
    netlab::NetLab lab;
    netlab::LabNamespace& pc = lab.addNamespace();
    netlab::LabNamespace& device = lab.addNamespace();
    netlab::NetLab::Link link;
    explicit Segment(const std::string& deviceAddress)
        : link(lab.connect(pc, "10.78.0.1/24", device, deviceAddress)) {}
    std::string route(const std::string& address) {
        return pc.ip({"-4", "route", "show", address + "/32"});
    }
};

class UnprivilegedProgram : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(copy.granted()) << "no file capabilities in the temp dir"; }
    InstalledCopy copy;
};

TEST_F(UnprivilegedProgram, RecoveryServesWithoutACapabilityAndAKillLeavesNoHelperNorItsRoute) {
    Segment segment("10.78.0.2/24");
    char mac[18];
    std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:00:00:07", kDeviceOui[0], kDeviceOui[1],
                  kDeviceOui[2]);
    segment.device.ip({"link", "set", segment.link.interfaceB, "address", mac});
    AsNobody program(copy, segment.pc, {"--headless", "--mode", "recovery"});
    ASSERT_NE(program.readUntil("> Listening", 1, 15s).find("> Listening"), std::string::npos)
        << program.output();
    EXPECT_EQ(statusField(program.pid(), "CapPrm"), "0000000000000000");
    EXPECT_EQ(statusField(program.pid(), "CapEff"), "0000000000000000");
    const std::vector<pid_t> helpers = childrenOf(program.pid());
    ASSERT_EQ(helpers.size(), 1U);
    EXPECT_NE(statusField(helpers[0], "CapEff"), "0000000000000000");

    const std::string script = copy.file("bound.sh");
    std::ofstream(script) << "#!/bin/sh\n[ \"$1\" = bound ] && echo \"$ip\" > '"
                          << copy.file("lease") << "'\nexit 0\n";
    ::chmod(script.c_str(), 0700);
    segment.device.exec({"/usr/sbin/udhcpc", "-i", segment.link.interfaceB, "-f", "-q", "-n", "-t",
                         "3", "-T", "1", "-s", script});
    std::string lease;
    std::getline(std::ifstream(copy.file("lease")), lease);
    EXPECT_EQ(lease, "192.168.0.100") << program.readUntil("");
    EXPECT_EQ(segment.device
                  .exec({"/usr/bin/curl", "-sS", "--max-time", "30", "tftp://10.78.0.1/kernel.img",
                         "-o", copy.file("kernel.img")})
                  .exitCode,
              0);
    EXPECT_NE(program.readUntil("> File transfer completed.").find("> File transfer completed."),
              std::string::npos);
    EXPECT_NE(segment.route("192.168.0.100").find(segment.link.interfaceA), std::string::npos);
    EXPECT_EQ(program.output().find("is not allowed to"), std::string::npos) << program.output();

    // Killed, the program ends nothing in order: its helper sees the socketpair close, removes
    // the route no mode kept yet, and ends.
    program.signal(SIGKILL);
    program.waitExit(5000ms);
    EXPECT_TRUE(test::eventually([&] { return !running(helpers[0]); }, 5s, 20ms));
    EXPECT_TRUE(test::eventually([&] { return segment.route("192.168.0.100").empty(); }, 5s, 20ms));
}

TEST_F(UnprivilegedProgram, SetAndAutoKeepTheRoutesTheyGiveTheOperator) {
    Segment segment("");
    const std::string link = segment.device.ip({"-o", "link", "show", "veth0"});
    const std::string mac = link.substr(link.find("link/ether ") + 11, 17);
    test::ChildProcess adopt({netlab::LabCommand::IpTool(), "netns", "exec", segment.device.name(),
                              VANTOR_DEVICE_SIM, "adopt", "--iface", "veth0", "--duration", "20000",
                              "--record", "/dev/stdout"});
    ASSERT_NE(adopt.readUntil("ready\n").find("ready\n"), std::string::npos);
    AsNobody set(copy, segment.pc,
                 {"--headless", "--mode", "manual", "--mac", mac, "--ip", "10.78.0.50"});
    EXPECT_EQ(set.waitExit(20000ms), 0) << set.output();
    EXPECT_NE(set.output().find("> Successfully assigned the new address"), std::string::npos)
        << set.output();
    EXPECT_NE(segment.route("10.78.0.50").find(segment.link.interfaceA), std::string::npos);
    // The entry that steered the echo to the device has done its work.
    EXPECT_EQ(segment.pc.ip({"neigh", "show", "10.78.0.50", "nud", "permanent"}), "");

    AsNobody autoMode(copy, segment.pc, {"--headless", "--mode", "auto"});
    ASSERT_NE(autoMode.readUntil("> Listening", 1, 15s).find("> Listening"), std::string::npos)
        << autoMode.output();
    segment.device.exec(
        {VANTOR_DEVICE_SIM, "announce", "--iface", "veth0", "--mac", mac, "--ip", "10.79.0.7"});
    EXPECT_TRUE(test::eventually(
        [&] {
            return segment.route("10.79.0.7").find(segment.link.interfaceA) != std::string::npos;
        },
        15s, 20ms))
        << autoMode.readUntil("");
    autoMode.signal(SIGTERM);
    EXPECT_EQ(autoMode.waitExit(10000ms), 0);
    EXPECT_NE(segment.route("10.79.0.7").find(segment.link.interfaceA), std::string::npos);
}

// With the capabilities on the program itself, CAP_NET_ADMIN opened net sysctls that their mode
// keeps from every user; without any, the kernel refuses them as it refuses `cat`.
TEST_F(UnprivilegedProgram, RootOnlyNetworkSettingsStayClosedAndVersionNamesTheHelper) {
    Segment segment("10.78.0.2/24");
    AsNobody password(copy, segment.pc,
                      {"--headless", "--mode", "firmware", "--ip", "10.78.0.2", "--password-file",
                       "/proc/sys/net/ipv4/tcp_fastopen_key", "--archive", "/dev/null"});
    EXPECT_EQ(password.waitExit(10000ms), 2);
    EXPECT_NE(password.output().find("permission denied"), std::string::npos) << password.output();

    AsNobody log(copy, segment.pc,
                 {"--headless", "--mode", "auto", "--log-file", "/proc/sys/net/ipv4/route/flush"});
    log.readUntil("> Listening", 1, 15s);
    log.signal(SIGTERM);
    EXPECT_EQ(log.waitExit(10000ms), 0);
    EXPECT_NE(log.output().find("permission denied"), std::string::npos) << log.output();

    AsNobody version(copy, segment.pc, {"--version"});
    EXPECT_EQ(version.waitExit(10000ms), 0);
    EXPECT_NE(version.output().find("helper: " + copy.helper() + " (capabilities: yes)\n"),
              std::string::npos)
        << version.output();
}

}  // namespace
}  // namespace vantor

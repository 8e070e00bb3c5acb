#include "netlab/NetLab.h"

#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>

#include <gtest/gtest.h>

namespace vantor::netlab {
namespace {

bool namespaceExists(const std::string& name) {
    return ::access(("/run/netns/" + name).c_str(), F_OK) == 0;
}

constexpr std::uint16_t kPort = 40000;

// A UDP datagram from a to b over their veth pair.
bool datagramCrosses(const LabNamespace& a, const LabNamespace& b) {
    return b.run([&] {
        const int in = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(kPort);
        if (::bind(in, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(in);
            return false;
        }
        a.run([] {
            const int out = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(kPort);
            to.sin_addr.s_addr = htonl(0x0AC80002);  // 10.200.0.2
            ::sendto(out, "hello", 5, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            ::close(out);
        });
        pollfd watch{in, POLLIN, 0};
        std::array<char, 16> buffer{};
        const bool got =
            ::poll(&watch, 1, 2000) == 1 && ::recv(in, buffer.data(), buffer.size(), 0) == 5;
        ::close(in);
        return got;
    });
}

TEST(NetLabTest, NamespacesAreJoinedAndRemovedAgain) {
    std::string names[2];
    {
        NetLab lab;
        LabNamespace& a = lab.addNamespace();
        LabNamespace& b = lab.addNamespace();
        names[0] = a.name();
        names[1] = b.name();
        const NetLab::Link link = lab.connect(a, "10.200.0.1/24", b, "10.200.0.2/24");
        EXPECT_EQ(link.interfaceA, "veth0");
        EXPECT_EQ(link.interfaceB, "veth0");
        EXPECT_NE(a.run([] { return ::if_nametoindex("veth0"); }), 0U);
        EXPECT_EQ(::if_nametoindex("veth0"), 0U) << "the veth end leaked into our namespace";
        EXPECT_TRUE(datagramCrosses(a, b));
        EXPECT_TRUE(namespaceExists(names[0]));
    }
    EXPECT_FALSE(namespaceExists(names[0]));
    EXPECT_FALSE(namespaceExists(names[1]));
}

TEST(NetLabTest, SweepRemovesNamespacesOfProcessesThatAreGone) {
    NetLab lab;  // sets the lab up; its own sweep has run already
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ::waitpid(gone, nullptr, 0);
    const std::string stale = "vantor-" + std::to_string(gone) + "-0";
    const std::string alive = "vantor-" + std::to_string(::getpid()) + "-99999";
    LabCommand::Check({LabCommand::IpTool(), "netns", "add", stale});
    LabCommand::Check({LabCommand::IpTool(), "netns", "add", alive});
    NetLab::SweepStale();
    EXPECT_FALSE(namespaceExists(stale));
    EXPECT_TRUE(namespaceExists(alive));
    LabCommand::Run({LabCommand::IpTool(), "netns", "del", stale});
    LabCommand::Run({LabCommand::IpTool(), "netns", "del", alive});
}

TEST(NetLabTest, InterruptedProcessLeavesNoNamespace) {
    std::array<int, 2> channel{};
    ASSERT_EQ(::pipe(channel.data()), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        NetLab lab;
        LabNamespace& a = lab.addNamespace();
        LabNamespace& b = lab.addNamespace();
        lab.connect(a, "10.200.0.1/24", b, "10.200.0.2/24");
        const std::string names = a.name() + " " + b.name();
        if (::write(channel[1], names.data(), names.size()) < 0) {
            ::_exit(1);
        }
        ::close(channel[1]);
        std::raise(SIGTERM);
        ::_exit(2);  // not reached: the handler ends the process with SIGTERM
    }
    ::close(channel[1]);
    std::string names;
    std::array<char, 256> buffer{};
    for (ssize_t got; (got = ::read(channel[0], buffer.data(), buffer.size())) > 0;) {
        names.append(buffer.data(), static_cast<std::size_t>(got));
    }
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    const auto space = names.find(' ');
    ASSERT_NE(space, std::string::npos) << "the child built no lab";
    EXPECT_FALSE(namespaceExists(names.substr(0, space)));
    EXPECT_FALSE(namespaceExists(names.substr(space + 1)));
}

}  // namespace
}  // namespace vantor::netlab

// The built helper as the program starts it (its socket as descriptor 3), in a lab namespace:
// it hands over a working socket, plants and routes, and takes back what it made, and only
// that, when the program closes its end.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cstring>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/Ipv4.h"
#include "base/UniqueFd.h"
#include "helper/HelperProcess.h"
#include "hostnet/NetHelperRecord.h"
#include "netlab/NetLab.h"
#include "support/Eventually.h"

namespace vantor {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using K = HelperRequestKind;

constexpr int kWaitMs = 10000;
const std::uint32_t kPc = Ipv4::fromOctets(10, 200, 1, 1);

// Starts the helper in the calling thread's namespace with `socket` as its descriptor 3.
pid_t spawnHelper(int socket) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, socket, kHelperSocketDescriptor);
    std::string path = VANTOR_NET_HELPER;
    char* argv[] = {path.data(), nullptr};
    char* environment[] = {nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environment);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

// Sends a request; its answer's status, and the descriptor riding on it.
HelperStatus ask(int socket, const HelperRequest& request, UniqueFd* descriptor = nullptr) {
    const auto record = HelperRecord::BuildRequest(request);
    pollfd readable{socket, POLLIN, 0};
    if (::send(socket, record.data(), record.size(), 0) != 32 ||
        ::poll(&readable, 1, kWaitMs) != 1) {
        return HelperStatus::refused;
    }
    std::array<std::uint8_t, kHelperAnswerSize> buffer{};
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(int))> control{};
    iovec part{buffer.data(), buffer.size()};
    msghdr message{nullptr, 0, &part, 1, control.data(), control.size(), 0};
    const bool received = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC) == 256;
    if (const cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr && descriptor) {
        int fd = -1;
        std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
        descriptor->reset(fd);
    }
    const auto answer = HelperRecord::ParseAnswer(buffer);
    EXPECT_TRUE(received && answer && answer->sequence == request.sequence);
    return answer ? answer->status : HelperStatus::refused;
}

TEST(NetHelperLabTest, ServesItsProgramAndTakesBackOnlyWhatItMadeWhenTheProgramCloses) {
    netlab::NetLab lab;
    netlab::LabNamespace& pc = lab.addNamespace();
    netlab::LabNamespace& device = lab.addNamespace();
    lab.connect(pc, "10.200.1.1/24", device, "10.200.1.2/24");
    // The administrator's entry, one digit away from the helper's.
    pc.ip({"neigh", "replace", "10.200.1.50", "lladdr", "02:00:00:00:00:50", "dev", "veth0", "nud",
           "permanent"});
    std::array<int, 2> pair{};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair.data()), 0);
    UniqueFd program(pair[0]);
    UniqueFd helperEnd(pair[1]);
    pid_t helper = pc.run([&] { return spawnHelper(helperEnd.get()); });
    helperEnd.reset();
    ASSERT_GT(helper, 0);
    const std::unique_ptr<pid_t, void (*)(pid_t*)> reaper(&helper, [](pid_t* pid) {
        if (*pid > 0 && ::kill(*pid, SIGKILL) == 0) {
            ::waitpid(*pid, nullptr, 0);
        }
    });

    UniqueFd server;
    ASSERT_EQ(ask(program.get(), {K::openUdpOnInterface, 1, 0, kPc, 67, {}}, &server),
              HelperStatus::done);
    device.run([] {
        const UniqueFd client(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        const sockaddr_in to{AF_INET, htons(67), {kPc}, {}};
        ::sendto(client.get(), "boot", 4, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    });
    pollfd readable{server.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&readable, 1, kWaitMs), 1);
    std::array<char, 8> datagram{};
    EXPECT_EQ(::recv(server.get(), datagram.data(), datagram.size(), 0), 4);

    const std::uint32_t peer = Ipv4::fromOctets(10, 200, 1, 5);
    const std::uint32_t routed = Ipv4::fromOctets(172, 30, 0, 5);
    EXPECT_EQ(ask(program.get(), {K::plantNeighbour, 2, peer, kPc, 0, {2, 0, 0, 0, 0, 5}}),
              HelperStatus::done);
    EXPECT_EQ(ask(program.get(), {K::addHostRoute, 3, routed, kPc, 0, {}}), HelperStatus::done);
    EXPECT_THAT(pc.ip({"neigh", "show", "10.200.1.5"}), HasSubstr("PERMANENT"));
    EXPECT_THAT(pc.ip({"-4", "route", "show", "172.30.0.5/32"}), HasSubstr("dev veth0"));

    program.reset();
    int status = -1;
    ASSERT_TRUE(test::eventually([&] { return ::waitpid(helper, &status, WNOHANG) == helper; },
                                 std::chrono::milliseconds(kWaitMs)));
    helper = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_THAT(pc.ip({"neigh", "show", "10.200.1.5"}), IsEmpty());
    EXPECT_THAT(pc.ip({"-4", "route", "show", "172.30.0.5/32"}), IsEmpty());
    EXPECT_THAT(pc.ip({"neigh", "show", "10.200.1.50"}), HasSubstr("PERMANENT"));
}

}  // namespace
}  // namespace vantor

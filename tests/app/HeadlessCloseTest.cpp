// Closing the program without a window while a slow device is in the middle of a transfer: a
// device that keeps acknowledging TFTP blocks, slowly, and one that answers every code update
// packet late. The close must not wait for either to finish.
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ChildProcess.h"
#include "base/Ipv4.h"
#include "base/UniqueFd.h"
#include "net/WellKnownPorts.h"
#include "netlab/LabCommand.h"
#include "netlab/NetLab.h"
#include "recovery/TftpPacket.h"
#include "recovery/TftpWire.h"
#include "support/Eventually.h"
#include "upgrade/TempDir.h"

namespace vantor {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Far more than a close needs; far less than what the slow devices below would take to finish.
constexpr auto kCloseLimit = 10s;

std::vector<std::string> inNamespace(const netlab::LabNamespace& space,
                                     std::vector<std::string> argv) {
    std::vector<std::string> words{netlab::LabCommand::IpTool(), "netns", "exec", space.name()};
    words.insert(words.end(), argv.begin(), argv.end());
    return words;
}

// Sends SIGTERM and waits for the exit; checks that it came in time, with status 0 or 1 (a
// run cut short may report its failure) and without a crash or a sanitizer report.
void expectPromptCleanClose(test::ChildProcess& program) {
    const auto begin = Clock::now();
    program.signal(SIGTERM);
    const int code = program.waitExit(kCloseLimit + 5s);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin);
    EXPECT_TRUE(code == 0 || code == 1) << "exit " << code << "\n" << program.output();
    EXPECT_LT(took, kCloseLimit) << program.output();
    for (const char* report : {"Sanitizer", "runtime error", "terminate called"}) {
        EXPECT_EQ(program.output().find(report), std::string::npos) << program.output();
    }
    std::printf("closed in %lld ms\n", static_cast<long long>(took.count()));
}

// A booting device fetching its kernel over TFTP (RFC 1350) that acknowledges each block only
// after `pause`: it asks until the first block comes, then goes on until stopped, the count is
// reached or the time is up.
class SlowTftpClient {
  public:
    SlowTftpClient(const netlab::LabNamespace& space, std::uint32_t server,
                   std::chrono::milliseconds pause)
        : socket_(space.run([] { return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); })),
          thread_(
              [this, server, pause](const std::stop_token& stop) { run(stop, server, pause); }) {}

    std::atomic<int> blocks{0};
    std::atomic<bool> lastBlockSeen{false};

  private:
    void run(const std::stop_token& stop, std::uint32_t server, std::chrono::milliseconds pause) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(kTftpPort);
        to.sin_addr.s_addr = server;
        const auto rrq = TftpPacket::BuildRequest(kTftpRrq, "kernel.img", "octet");
        std::vector<std::uint8_t> buffer(1024);
        const auto deadline = Clock::now() + 60s;
        for (int n = 0; n < 5000 && !stop.stop_requested() && Clock::now() < deadline; ++n) {
            if (blocks == 0) {
                ::sendto(socket_.get(), rrq.data(), rrq.size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to);
            }
            pollfd wait{socket_.get(), POLLIN, 0};
            if (::poll(&wait, 1, 200) <= 0) {
                continue;
            }
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t got = ::recvfrom(socket_.get(), buffer.data(), buffer.size(), 0,
                                           reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (got < 0) {
                continue;
            }
            const auto data =
                TftpPacket::ParseData(std::span(buffer.data(), static_cast<std::size_t>(got)));
            if (!data) {
                continue;
            }
            ++blocks;
            lastBlockSeen = lastBlockSeen || data->payload.size() < kTftpBlockSize;
            std::this_thread::sleep_for(pause);
            const auto ack = TftpPacket::BuildAck(data->block);
            ::sendto(socket_.get(), ack.data(), ack.size(), 0,
                     reinterpret_cast<const sockaddr*>(&from), fromSize);
        }
    }

    UniqueFd socket_;
    std::jthread thread_;
};

TEST(HeadlessClose, DuringATftpTransferToADeviceThatKeepsAcknowledgingSlowly) {
    netlab::NetLab lab;
    netlab::LabNamespace& pc = lab.addNamespace();
    netlab::LabNamespace& device = lab.addNamespace();
    lab.connect(pc, "10.93.0.1/24", device, "10.93.0.2/24");
    test::TempDir work;
    test::ChildProcess program(
        inNamespace(pc, {"/bin/sh", "-c",
                         "cd '" + work.path().string() + "' && exec " + VANTOR_BINARY +
                             " --headless --mode recovery"}));
    const std::string listed = "    - NIC1: 10.93.0.1\n> Listening.....\n";
    ASSERT_NE(program.readUntil(listed, 1, 15s).find(listed), std::string::npos)
        << program.output();

    // The kernel's 1473 blocks at 50 ms each would take over a minute.
    SlowTftpClient client(device, Ipv4::fromOctets(10, 93, 0, 1), 50ms);
    // Reading what the program prints meanwhile keeps its pipe from filling up.
    const auto readOn = [&](std::chrono::milliseconds wait) {
        program.readUntil("\n", 1 << 30, wait);
    };
    test::eventually([&] { return client.blocks >= 10; }, 15s, 50ms, readOn);
    ASSERT_GE(client.blocks, 10) << program.output();

    expectPromptCleanClose(program);
    EXPECT_FALSE(client.lastBlockSeen) << "the transfer ended before the close";
    EXPECT_EQ(program.output().find("> File transfer completed."), std::string::npos);
}

TEST(HeadlessClose, DuringACodeUpdateToADeviceThatAnswersSlowly) {
    netlab::NetLab lab;
    netlab::LabNamespace& pc = lab.addNamespace();
    netlab::LabNamespace& device = lab.addNamespace();
    lab.connect(pc, "10.94.0.1/24", device, "10.94.0.2/24");
    test::TempDir work;
    // A logo of 14 pages, sent one page per packet.
    {
        std::ofstream logo(work.file("logo.gif"), std::ios::binary);
        for (int i = 0; i < 3500; ++i) {
            logo.put(static_cast<char>('a' + i % 23));
        }
    }
    const std::string archive = work.file("fw.zip");
    const auto zipped = netlab::LabCommand::Run(
        {"/usr/bin/zip", "-q", "-j", "-P", "wqzt", archive, work.file("logo.gif")});
    ASSERT_EQ(zipped.exitCode, 0) << zipped.output;
    const std::string record = work.file("sim.log");
    test::ChildProcess sim(inNamespace(
        device, {VANTOR_UPDATE_SIM, "--address", "10.94.0.2", "--password", "setpw", "--record",
                 record, "--reply-delay-ms", "400", "--duration", "60000"}));
    const auto recorded = [&](const std::string& text) {
        std::ifstream in(record);
        std::stringstream all;
        all << in.rdbuf();
        return all.str().find(text) != std::string::npos;
    };
    test::eventually([&] { return recorded("ready"); }, 5s);

    test::ChildProcess program(
        inNamespace(pc, {VANTOR_BINARY, "--headless", "--mode", "firmware", "--ip", "10.94.0.2",
                         "--password", "setpw", "--archive", archive, "--one-page"}));
    test::eventually(
        [&] { return recorded("data page=1387"); }, 15s, 50ms,
        [&](std::chrono::milliseconds wait) { program.readUntil("\n", 1 << 30, wait); });
    ASSERT_TRUE(recorded("data page=1387")) << program.output();

    expectPromptCleanClose(program);
    EXPECT_FALSE(recorded("end sub=")) << "the transfer ended before the close";
    EXPECT_EQ(program.output().find("> Upgrade Complete"), std::string::npos) << program.output();
}

}  // namespace
}  // namespace vantor

// The code update socket on loopback: a device with nothing on the update port is found out by
// the ICMP port unreachable its first packet draws, not by the wait running out.
#include "upgrade/UdpCodeUpdateTransport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "base/UniqueFd.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;

// A UDP socket bound to 127.0.0.1 on a port the system chose.
UniqueFd loopbackSocket(std::uint16_t& port) {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof local;
    if (!fd.valid() || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&local), size) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        return UniqueFd();
    }
    port = ntohs(local.sin_port);
    return fd;
}

constexpr auto kWait = 5000ms;  // far longer than loopback takes to answer

TEST(UdpCodeUpdateTransport, APortWithNothingBehindItFailsTheReceiveAtOnce) {
    std::uint16_t port = 0;
    {
        const UniqueFd closed = loopbackSocket(port);  // a port just freed: nobody listens
        ASSERT_TRUE(closed.valid());
    }
    const auto transport = UdpCodeUpdateTransport::open("127.0.0.1", port, -1);
    ASSERT_NE(transport, nullptr);
    std::vector<std::uint8_t> buffer(64);
    const std::vector<std::uint8_t> packet(29, 0x06);
    ASSERT_TRUE(transport->send(packet));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(transport->receive(buffer, kWait), -1);
    const auto took = std::chrono::steady_clock::now() - start;
    std::printf("receive failed after %.3f ms\n",
                std::chrono::duration<double, std::milli>(took).count());
    EXPECT_LT(took, kWait);
    // The error was reported once: the next packet goes out, and its own error ends its wait.
    ASSERT_TRUE(transport->send(packet));
    EXPECT_EQ(transport->receive(buffer, kWait), -1);
}

TEST(UdpCodeUpdateTransport, RepliesOfTheDeviceAreReceivedWhole) {
    std::uint16_t port = 0;
    const UniqueFd device = loopbackSocket(port);
    ASSERT_TRUE(device.valid());
    const auto transport = UdpCodeUpdateTransport::open("127.0.0.1", port, -1);
    ASSERT_NE(transport, nullptr);
    const std::vector<std::uint8_t> packet(29, 0x06);
    ASSERT_TRUE(transport->send(packet));
    std::vector<std::uint8_t> got(64);
    sockaddr_in from{};
    socklen_t size = sizeof from;
    ASSERT_EQ(::recvfrom(device.get(), got.data(), got.size(), 0,
                         reinterpret_cast<sockaddr*>(&from), &size),
              29);
    const std::vector<std::uint8_t> reply(23, 0x01);
    ASSERT_EQ(::sendto(device.get(), reply.data(), reply.size(), 0,
                       reinterpret_cast<const sockaddr*>(&from), size),
              23);
    std::vector<std::uint8_t> buffer(64, 0xEE);
    EXPECT_EQ(transport->receive(buffer, kWait), 23);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 23), reply);
    EXPECT_EQ(buffer[23], 0) << "the buffer past the datagram is cleared";
    // Nothing more comes: the wait runs out as a silent one.
    EXPECT_EQ(transport->receive(buffer, 50ms), 0);
}

}  // namespace
}  // namespace vantor

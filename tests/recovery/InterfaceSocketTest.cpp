// Sockets of two interfaces sharing one port, each receiving and sending broadcasts on its
// own interface only. Runs in namespaces of its own: a PC with two veth interfaces, and a
// device namespace at the far end of each.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/Ipv4.h"
#include "net/CTimedSocket.h"
#include "recovery/DhcpWire.h"
#include "support/MiniLab.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;

// A wait for a datagram that must not come; long enough for a veth hop.
constexpr Millis kSilence{300};
constexpr Millis kGenerous{5000};

const std::uint32_t kPcA = Ipv4::fromOctets(10, 77, 1, 1);
const std::uint32_t kPcB = Ipv4::fromOctets(10, 77, 2, 1);
const std::uint32_t kDeviceA = Ipv4::fromOctets(10, 77, 1, 2);
const std::uint32_t kDeviceB = Ipv4::fromOctets(10, 77, 2, 2);
const std::uint32_t kBroadcast = Ipv4::fromOctets(255, 255, 255, 255);

class InterfaceSocketTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::MiniLab::Supported()) {
            GTEST_SKIP() << "needs root and network namespaces";
        }
        pc_ = lab_.addNamespace();
        deviceA_ = lab_.addNamespace();
        deviceB_ = lab_.addNamespace();
        ASSERT_TRUE(pc_ && deviceA_ && deviceB_);
        ASSERT_TRUE(lab_.link(*pc_, "pcA", "10.77.1.1/24", *deviceA_, "devA", "10.77.1.2/24"));
        ASSERT_TRUE(lab_.link(*pc_, "pcB", "10.77.2.1/24", *deviceB_, "devB", "10.77.2.2/24"));
        // The devices send to 255.255.255.255 through their only interface.
        ASSERT_TRUE(deviceA_->ip({"route", "add", "default", "dev", "devA"}));
        ASSERT_TRUE(deviceB_->ip({"route", "add", "default", "dev", "devB"}));
        pc_->run([this] {
            okA_ = socketA_.CreateOnInterface(kPcA, kDhcpServerPort) && socketA_.SetBroadcast(true);
            okB_ = socketB_.CreateOnInterface(kPcB, kDhcpServerPort) && socketB_.SetBroadcast(true);
        });
        ASSERT_TRUE(okA_) << socketA_.lastError();
        ASSERT_TRUE(okB_) << socketB_.lastError();
        EXPECT_EQ(socketA_.interfaceName(), "pcA");
        EXPECT_EQ(socketB_.interfaceName(), "pcB");
        clientA_ = client(*deviceA_);
        clientB_ = client(*deviceB_);
        ASSERT_TRUE(clientA_ && clientB_);
    }

    // A device's DHCP-client-side socket on port 68.
    static std::unique_ptr<CTimedSocket> client(const test::MiniLab::Namespace& space) {
        auto socket = std::make_unique<CTimedSocket>();
        bool ok = false;
        space.run([&] { ok = socket->Create(0, kDhcpClientPort) && socket->SetBroadcast(true); });
        return ok ? std::move(socket) : nullptr;
    }

    static SocketResult receive(CTimedSocket& socket, Millis wait,
                                std::array<std::uint8_t, 16>& buffer) {
        socket.SetReceiveTimeout(wait);
        const SocketResult result = socket.ReceiveWithTimeout(buffer);
        socket.ClearReceiveTimeout();
        return result;
    }

    test::MiniLab lab_;
    test::MiniLab::Namespace* pc_ = nullptr;
    test::MiniLab::Namespace* deviceA_ = nullptr;
    test::MiniLab::Namespace* deviceB_ = nullptr;
    CTimedSocket socketA_;
    CTimedSocket socketB_;
    bool okA_ = false;
    bool okB_ = false;
    std::unique_ptr<CTimedSocket> clientA_;
    std::unique_ptr<CTimedSocket> clientB_;
    std::array<std::uint8_t, 16> buffer_{};
};

TEST_F(InterfaceSocketTest, ABroadcastArrivingOnOneInterfaceReachesThatInterfacesSocketOnly) {
    const std::array<Endpoint, 2> destinations = {
        Endpoint{kBroadcast, kDhcpServerPort},
        Endpoint{Ipv4::fromOctets(10, 77, 1, 255), kDhcpServerPort}};
    for (const Endpoint& to : destinations) {
        SCOPED_TRACE(Ipv4::format(to.address));
        const std::array<std::uint8_t, 3> discover{1, 2, 3};
        ASSERT_TRUE(clientA_->SendTo(discover, to).ok());
        const SocketResult onA = receive(socketA_, kGenerous, buffer_);
        ASSERT_TRUE(onA.ok());
        EXPECT_EQ(onA.length, discover.size());
        EXPECT_EQ(onA.peer, (Endpoint{kDeviceA, kDhcpClientPort}));
        EXPECT_EQ(receive(socketB_, kSilence, buffer_).error, SocketError::interrupted);
    }
}

TEST_F(InterfaceSocketTest, AUnicastToTheInterfaceAddressStillArrives) {
    const std::array<std::uint8_t, 1> request{7};
    ASSERT_TRUE(clientB_->SendTo(request, Endpoint{kPcB, kDhcpServerPort}).ok());
    const SocketResult onB = receive(socketB_, kGenerous, buffer_);
    ASSERT_TRUE(onB.ok());
    EXPECT_EQ(onB.peer, (Endpoint{kDeviceB, kDhcpClientPort}));
    EXPECT_EQ(receive(socketA_, kSilence, buffer_).error, SocketError::interrupted);
}

TEST_F(InterfaceSocketTest, ABroadcastSentFromOneInterfacesSocketLeavesByThatInterface) {
    const std::array<std::uint8_t, 2> offer{2, 2};
    const SocketResult sent = socketB_.SendTo(offer, Endpoint{kBroadcast, kDhcpClientPort});
    ASSERT_TRUE(sent.ok()) << sent.systemError;
    EXPECT_EQ(sent.length, offer.size());
    const SocketResult onB = receive(*clientB_, kGenerous, buffer_);
    ASSERT_TRUE(onB.ok());
    EXPECT_EQ(onB.peer, (Endpoint{kPcB, kDhcpServerPort}));  // from B's own address
    EXPECT_EQ(receive(*clientA_, kSilence, buffer_).error, SocketError::interrupted);
}

// A child that inherited socketA_ and holds it for `hold` after the test closes its own copy,
// as a program the console starts holds copies until it runs; then a DHCP server socket on
// pcA asks to be alone there with the given patience.
struct LingeringCopy {
    bool created = false;
    int error = 0;
};

LingeringCopy afterALingeringCopy(test::MiniLab::Namespace& pc, CTimedSocket& held, Millis hold,
                                  Millis patience) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::usleep(static_cast<useconds_t>(hold.count() * 1000));
        ::_exit(0);
    }
    held.Close();
    LingeringCopy result;
    CTimedSocket server;
    pc.run([&] {
        result.created = server.CreateOnInterfaceAlone(kPcA, kDhcpServerPort, patience);
        result.error = server.lastError();
    });
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return result;
}

TEST_F(InterfaceSocketTest, AChildsCopyOfOurClosedSocketIsNoRivalButOneThatStaysIs) {
    const LingeringCopy brief = afterALingeringCopy(*pc_, socketA_, 50ms, 3000ms);
    EXPECT_TRUE(brief.created) << brief.error;

    CTimedSocket again;
    pc_->run([&] { ASSERT_TRUE(again.CreateOnInterface(kPcA, kDhcpServerPort)); });
    const LingeringCopy stays = afterALingeringCopy(*pc_, again, 5000ms, 100ms);
    EXPECT_FALSE(stays.created);
    EXPECT_EQ(stays.error, EADDRINUSE);
}

}  // namespace
}  // namespace vantor

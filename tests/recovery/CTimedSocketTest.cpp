#include "net/CTimedSocket.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <thread>
#include <vector>

#include "base/Ipv4.h"
#include "base/UniqueFd.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;

const std::uint32_t kLoopback = Ipv4::fromOctets(127, 0, 0, 1);

// Bounds every wait of these tests: far longer than any of them should take.
constexpr Millis kGenerous{5000};

class CTimedSocketTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(socket_.Create(kLoopback, 0)) << socket_.lastError();
        ASSERT_TRUE(peer_.Create(kLoopback, 0)) << peer_.lastError();
        self_ = *socket_.localEndpoint();
    }

    void sendToSocket(std::vector<std::uint8_t> bytes) {
        ASSERT_TRUE(peer_.SendTo(bytes, self_).ok());
    }

    CTimedSocket socket_;
    CTimedSocket peer_;
    Endpoint self_{};
    std::array<std::uint8_t, 64> buffer_{};
};

TEST_F(CTimedSocketTest, ReceivesADatagramWithItsSenderAndDisarmsTheTimeOut) {
    socket_.SetReceiveTimeout(kGenerous);
    sendToSocket({1, 2, 3});
    const SocketResult result = socket_.ReceiveWithTimeout(buffer_);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.length, 3u);
    EXPECT_EQ(result.peer, *peer_.localEndpoint());
    EXPECT_EQ(socket_.timerId(), 0u);
}

TEST_F(CTimedSocketTest, AnExpiredTimeOutInterruptsTheReceiveOnceAndDisarms) {
    const unsigned id = socket_.SetReceiveTimeout(20ms);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(socket_.ReceiveWithTimeout(buffer_).error, SocketError::interrupted);
    EXPECT_EQ(socket_.timerId(), 0u);
    // Nothing armed now: the next receive waits for a datagram.
    sendToSocket({9});
    EXPECT_TRUE(socket_.ReceiveWithTimeout(buffer_).ok());
}

TEST_F(CTimedSocketTest, ASecondArmKeepsTheFirstDeadline) {
    const unsigned first = socket_.SetReceiveTimeout(30ms);
    const unsigned second = socket_.SetReceiveTimeout(std::chrono::hours(1));
    EXPECT_EQ(first, second);
    // Ends after the first period; with the second one applied the test would hang.
    EXPECT_EQ(socket_.ReceiveWithTimeout(buffer_).error, SocketError::interrupted);
    EXPECT_NE(socket_.SetReceiveTimeout(30ms), first);  // a fresh timer after expiry
}

TEST_F(CTimedSocketTest, ClearingTheTimeOutReportsWhetherOneWasArmed) {
    EXPECT_FALSE(socket_.ClearReceiveTimeout());
    socket_.SetReceiveTimeout(20ms);
    EXPECT_TRUE(socket_.ClearReceiveTimeout());
    EXPECT_EQ(socket_.timerId(), 0u);
    sendToSocket({7});
    EXPECT_TRUE(socket_.ReceiveWithTimeout(buffer_).ok());
}

TEST_F(CTimedSocketTest, ACancelFromAnotherThreadInterruptsAndLeavesTheTimeOutArmed) {
    const unsigned id = socket_.SetReceiveTimeout(std::chrono::hours(1));
    std::thread canceller([this] {
        while (!socket_.IsBlocking()) {
            std::this_thread::sleep_for(1ms);
        }
        socket_.CancelBlockingCall();
    });
    EXPECT_EQ(socket_.ReceiveWithTimeout(buffer_).error, SocketError::interrupted);
    canceller.join();
    EXPECT_FALSE(socket_.IsBlocking());
    EXPECT_EQ(socket_.timerId(), id);
}

TEST_F(CTimedSocketTest, ACancelBeforeTheReceiveEndsThatReceiveOnly) {
    socket_.CancelBlockingCall();
    socket_.CancelBlockingCall();  // several cancels count as one
    sendToSocket({5});
    EXPECT_EQ(socket_.ReceiveWithTimeout(buffer_).error, SocketError::interrupted);
    const SocketResult next = socket_.ReceiveWithTimeout(buffer_);
    ASSERT_TRUE(next.ok());
    EXPECT_EQ(buffer_[0], 5);
}

TEST_F(CTimedSocketTest, ADatagramLargerThanTheBufferIsMessageTooLongAndConsumed) {
    std::vector<std::uint8_t> large(100);
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<std::uint8_t>(i);
    }
    sendToSocket(large);
    sendToSocket({42});
    std::array<std::uint8_t, 10> small{};
    const SocketResult truncated = socket_.ReceiveWithTimeout(small);
    EXPECT_EQ(truncated.error, SocketError::messageTooLong);
    EXPECT_EQ(static_cast<int>(truncated.error), 10040);
    EXPECT_EQ(truncated.length, small.size());
    EXPECT_EQ(small[9], 9);
    const SocketResult next = socket_.ReceiveWithTimeout(small);
    ASSERT_TRUE(next.ok());
    EXPECT_EQ(next.length, 1u);
    EXPECT_EQ(small[0], 42);
}

TEST_F(CTimedSocketTest, APortUnreachableIsReportedAsResetOnceAndSendingGoesOn) {
    Endpoint closed{};
    {
        CTimedSocket gone;
        ASSERT_TRUE(gone.Create(kLoopback, 0));
        closed = *gone.localEndpoint();
    }
    const std::array<std::uint8_t, 1> probe{1};
    ASSERT_TRUE(socket_.SendTo(probe, closed).ok());
    socket_.SetReceiveTimeout(kGenerous);
    const SocketResult reset = socket_.ReceiveWithTimeout(buffer_);
    EXPECT_EQ(reset.error, SocketError::connectionReset);
    EXPECT_EQ(static_cast<int>(reset.error), 10054);
    // Reported once: the next receive gets the next datagram.
    sendToSocket({8});
    const SocketResult next = socket_.ReceiveWithTimeout(buffer_);
    ASSERT_TRUE(next.ok());
    EXPECT_EQ(buffer_[0], 8);
}

TEST_F(CTimedSocketTest, ASendAfterAnUnreadPortUnreachableStillGoesOut) {
    Endpoint closed{};
    {
        CTimedSocket gone;
        ASSERT_TRUE(gone.Create(kLoopback, 0));
        closed = *gone.localEndpoint();
    }
    const std::array<std::uint8_t, 1> probe{1};
    ASSERT_TRUE(socket_.SendTo(probe, closed).ok());
    std::this_thread::sleep_for(20ms);  // let the ICMP error arrive
    const std::array<std::uint8_t, 1> data{3};
    EXPECT_TRUE(socket_.SendTo(data, *peer_.localEndpoint()).ok());
    peer_.SetReceiveTimeout(kGenerous);
    const SocketResult received = peer_.ReceiveWithTimeout(buffer_);
    ASSERT_TRUE(received.ok());
    EXPECT_EQ(buffer_[0], 3);
    // The error still belongs to the socket's next receive.
    socket_.SetReceiveTimeout(kGenerous);
    EXPECT_EQ(socket_.ReceiveWithTimeout(buffer_).error, SocketError::connectionReset);
}

TEST_F(CTimedSocketTest, RaisingTheSendBufferCoversTheFigureAskedAndNeverLowersIt) {
    const std::size_t before = socket_.sendBufferSize();
    EXPECT_TRUE(socket_.RaiseSendBuffer(before / 2));
    EXPECT_EQ(socket_.sendBufferSize(), before);
    // The kernel doubles what it is given: an odd figure must be asked as half, rounded up.
    EXPECT_TRUE(socket_.RaiseSendBuffer(before + 4097));
    EXPECT_EQ(socket_.sendBufferSize(), before + 4098);
}

// SendPatiently on a full buffer: that of a Unix datagram pair, since unlike UDP on loopback,
// which frees each datagram as it sends it, a Unix datagram stays charged to its sender until
// the peer reads it.
class PatientSendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::array<int, 2> ends{};
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends.data()),
                  0);
        sender_.reset(ends[0]);
        receiver_.reset(ends[1]);
        constexpr int kMostDatagrams = 100000;  // far more than a send buffer holds
        for (int sent = 0; sent < kMostDatagrams && trySend() >= 0; ++sent) {
        }
    }
    ssize_t trySend() { return send(sender_.get(), datagram_.data(), datagram_.size(), 0); }
    SocketResult sendPatiently(Millis patience, const CTimedSocket::SendAttempt& attempt) {
        return CTimedSocket::SendPatiently(attempt, sender_.get(), cancel_.get(), patience);
    }

    UniqueFd sender_;
    UniqueFd receiver_;
    UniqueFd cancel_{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
    std::array<std::uint8_t, 1024> datagram_{};
};

TEST_F(PatientSendTest, AFullBufferFailsWithEagainWhenThePatienceRunsOut) {
    for (const Millis patience : {Millis{0}, Millis{20}}) {
        EXPECT_EQ(sendPatiently(patience, [this] { return trySend(); }).systemError, EAGAIN);
    }
}

TEST_F(PatientSendTest, AFullBufferIsWaitedOutUntilThePeerDrainsIt) {
    std::jthread drainer;  // started once a try has found the buffer full
    const SocketResult sent = sendPatiently(kGenerous, [this, &drainer] {
        const ssize_t result = trySend();
        if (result < 0 && !drainer.joinable()) {
            drainer = std::jthread([this] {
                while (recv(receiver_.get(), nullptr, 0, MSG_DONTWAIT) >= 0) {
                }
            });
            errno = EAGAIN;
        }
        return result;
    });
    EXPECT_EQ(sent.length, datagram_.size());
}

TEST_F(PatientSendTest, ACancelEndsTheWaitAndStaysPendingForTheNextReceive) {
    std::uint64_t cancels = 1;
    ASSERT_EQ(write(cancel_.get(), &cancels, sizeof cancels), 8);
    EXPECT_EQ(sendPatiently(kGenerous, [this] { return trySend(); }).error,
              SocketError::interrupted);
    ASSERT_EQ(read(cancel_.get(), &cancels, sizeof cancels), 8);
    EXPECT_EQ(cancels, 1u);
}

// Errors the first tries report, then a success; systemError 0: it went out.
TEST_F(PatientSendTest, OnlyAFullBufferOrQueueIsWaitedOutAndOneRefusalRetried) {
    struct Case {
        std::vector<int> failures;
        Millis patience;
        int systemError;
    };
    for (const Case& c :
         {Case{{EINTR, EINTR, ECONNREFUSED}, Millis{0}, 0},
          Case{{ECONNREFUSED, ECONNREFUSED}, Millis{0}, ECONNREFUSED},
          Case{{ENOBUFS, ENOBUFS}, Millis{100}, 0}, Case{{ENOBUFS}, Millis{0}, ENOBUFS},
          Case{{EMSGSIZE}, kGenerous, EMSGSIZE}}) {
        std::size_t tries = 0;
        const SocketResult result = sendPatiently(c.patience, [&]() -> ssize_t {
            if (tries < c.failures.size()) {
                errno = c.failures[tries++];
                return -1;
            }
            return 1;
        });
        EXPECT_EQ(result.systemError, c.systemError) << "first failure " << c.failures[0];
    }
}

TEST(CTimedSocket, CreateFailsWithTheSystemErrorWhenTheAddressIsNotLocal) {
    CTimedSocket socket;
    EXPECT_FALSE(socket.Create(Ipv4::fromOctets(192, 0, 2, 1), 0));
    EXPECT_EQ(socket.lastError(), EADDRNOTAVAIL);
    EXPECT_FALSE(socket.IsOpen());
    std::array<std::uint8_t, 4> buffer{};
    EXPECT_EQ(socket.ReceiveWithTimeout(buffer).error, SocketError::other);
}

TEST(CTimedSocket, CreateOnInterfaceFailsForAnAddressNoInterfaceOwns) {
    CTimedSocket socket;
    EXPECT_FALSE(socket.CreateOnInterface(Ipv4::fromOctets(192, 0, 2, 1), 0));
    EXPECT_EQ(socket.lastError(), ENODEV);
}

}  // namespace
}  // namespace vantor

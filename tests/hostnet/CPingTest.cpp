#include "hostnet/CPing.h"

#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "base/Ipv4.h"
#include "base/UniqueFd.h"
#include "hostnet/EchoPacket.h"
#include "hostnet/IcmpPinger.h"
#include "netlab/NetLab.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using netlab::LabNamespace;
using netlab::NetLab;

// Echo requests the calling thread's namespace has sent so far.
long outEchos() {
    std::ifstream in("/proc/thread-self/net/snmp");
    std::vector<std::string> names;
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with("Icmp: ")) {
            continue;
        }
        std::istringstream words(line);
        std::vector<std::string> fields;
        for (std::string word; words >> word;) {
            fields.push_back(word);
        }
        if (names.empty()) {
            names = fields;
            continue;
        }
        for (std::size_t i = 0; i < names.size() && i < fields.size(); ++i) {
            if (names[i] == "OutEchos") {
                return std::stol(fields[i]);
            }
        }
    }
    ADD_FAILURE() << "no ICMP counters in /proc/thread-self/net/snmp";
    return -1;
}

// Answers echo requests in its namespace, where the kernel's own answers are off, with data
// of `fill` bytes, and remembers what the requests looked like.
class FakeResponder {
  public:
    struct Seen {
        int requests = 0;
        int timeToLive = -1;
        int typeOfService = -1;
        bool dontFragment = true;
        std::size_t dataSize = 0;
        bool dataAllE = false;
    };

    FakeResponder(const LabNamespace& where, std::uint8_t fill) {
        auto listening = std::make_shared<std::promise<void>>();
        std::future<void> ready = listening->get_future();
        thread_ = where.start(
            [this, fill, listening](std::stop_token stop) { serve(stop, fill, *listening); });
        ready.get();
    }

    Seen seen() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

  private:
    void serve(const std::stop_token& stop, std::uint8_t fill, std::promise<void>& listening) {
        UniqueFd fd(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
        if (!fd.valid()) {
            listening.set_exception(
                std::make_exception_ptr(std::runtime_error("no raw ICMP socket")));
            return;
        }
        icmp_filter onlyRequests{~(1U << ICMP_ECHO)};
        ::setsockopt(fd.get(), SOL_RAW, ICMP_FILTER, &onlyRequests, sizeof onlyRequests);
        listening.set_value();
        std::vector<std::uint8_t> buffer(2048);
        while (!stop.stop_requested()) {
            pollfd watch{fd.get(), POLLIN, 0};
            if (::poll(&watch, 1, 50) <= 0) {
                continue;
            }
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t got = ::recvfrom(fd.get(), buffer.data(), buffer.size(), 0,
                                           reinterpret_cast<sockaddr*>(&from), &length);
            const std::size_t header = got >= 20 ? std::size_t{buffer[0] & 0x0Fu} * 4 : 0;
            if (header == 0 || static_cast<std::size_t>(got) < header + 8) {
                continue;
            }
            std::vector<std::uint8_t> answer(buffer.begin() + static_cast<long>(header),
                                             buffer.begin() + got);
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                ++seen_.requests;
                seen_.timeToLive = buffer[8];
                seen_.typeOfService = buffer[1];
                seen_.dontFragment = (buffer[6] & 0x40) != 0;
                seen_.dataSize = answer.size() - 8;
                seen_.dataAllE = std::all_of(answer.begin() + 8, answer.end(),
                                             [](std::uint8_t b) { return b == 'E'; });
            }
            answer[0] = 0;  // echo reply, same identifier and sequence
            std::fill(answer.begin() + 8, answer.end(), fill);
            answer[2] = answer[3] = 0;
            const std::uint16_t sum = EchoPacket::Checksum(answer);
            answer[2] = static_cast<std::uint8_t>(sum >> 8);
            answer[3] = static_cast<std::uint8_t>(sum);
            ::sendto(fd.get(), answer.data(), answer.size(), 0,
                     reinterpret_cast<const sockaddr*>(&from), sizeof from);
        }
    }

    mutable std::mutex mutex_;
    Seen seen_;
    std::jthread thread_;
};

// a -- b (answers like any host), a -- c (the kernel does not answer; a FakeResponder may).
class PingLabTest : public ::testing::Test {
  protected:
    void SetUp() override {
        a = &lab.addNamespace();
        b = &lab.addNamespace();
        c = &lab.addNamespace();
        lab.connect(*a, "10.200.3.1/24", *b, "10.200.3.2/24");
        lab.connect(*a, "10.200.4.1/24", *c, "10.200.4.2/24");
        c->setSysctl("net/ipv4/icmp_echo_ignore_all", "1");
        timings.pingTimeout = 300ms;
    }

    // Datagram ICMP sockets are off in a fresh namespace, even for root.
    void allowDatagramSockets(bool on) {
        a->setSysctl("net/ipv4/ping_group_range", on ? "0 2147483647" : "1 0");
    }

    NetLab lab;
    LabNamespace* a = nullptr;
    LabNamespace* b = nullptr;
    LabNamespace* c = nullptr;
    Timings timings;
};

class PingEachSocketKindTest : public PingLabTest,
                               public ::testing::WithParamInterface<IcmpSocketKind> {
  protected:
    void SetUp() override {
        PingLabTest::SetUp();
        allowDatagramSockets(GetParam() == IcmpSocketKind::Datagram);
    }
};

TEST_P(PingEachSocketKindTest, PeerAnswersAtTheFirstAttempt) {
    a->run([&] {
        const long before = outEchos();
        CPing ping(GetParam());
        PingReply reply;
        EXPECT_TRUE(ping.PingUsingICMP("10.200.3.2", reply, 30, 300, 32, 0, false));
        EXPECT_EQ(Ipv4::format(reply.address), "10.200.3.2");
        IcmpPinger pinger(timings, GetParam());
        EXPECT_TRUE(pinger.PingHost("10.200.3.2", 3, 89));
        EXPECT_EQ(outEchos() - before, 2) << "attempts after the first answer were made";
    });
}

TEST_P(PingEachSocketKindTest, RequestsCarryTheFixedParameters) {
    const FakeResponder responder(*c, 'E');
    a->run([&] { EXPECT_TRUE(IcmpPinger(timings, GetParam()).PingHost("10.200.4.2", 1, 96)); });
    const FakeResponder::Seen seen = responder.seen();
    EXPECT_EQ(seen.requests, 1);
    EXPECT_EQ(seen.timeToLive, 30);
    EXPECT_EQ(seen.typeOfService, 0);
    EXPECT_FALSE(seen.dontFragment);
    EXPECT_EQ(seen.dataSize, 96U);
    EXPECT_TRUE(seen.dataAllE);
}

TEST_P(PingEachSocketKindTest, ReplyWithOtherDataIsNoReply) {
    const FakeResponder responder(*c, 'F');
    a->run([&] { EXPECT_FALSE(IcmpPinger(timings, GetParam()).PingHost("10.200.4.2", 2, 32)); });
    EXPECT_EQ(responder.seen().requests, 2);
}

TEST_P(PingEachSocketKindTest, ConcurrentCallsTakeOnlyTheirOwnReplies) {
    // Every raw socket sees every echo reply that reaches the namespace: the answered,
    // the wrongly answered and the unanswered calls run side by side.
    const FakeResponder responder(*c, 'F');
    a->run([&] {
        IcmpPinger pinger(timings, GetParam());
        std::atomic<int> wrong{0};
        std::vector<std::jthread> callers;
        for (int i = 0; i < 3; ++i) {
            callers.emplace_back([&] {
                for (int round = 0; round < 10; ++round) {
                    wrong += pinger.PingHost("10.200.3.2", 1, 32) ? 0 : 1;
                    std::this_thread::sleep_for(20ms);
                }
            });
            callers.emplace_back([&] { wrong += pinger.PingHost("10.200.4.2", 2, 32) ? 1 : 0; });
            callers.emplace_back([&] { wrong += pinger.PingHost("10.200.3.99", 2, 32) ? 1 : 0; });
        }
        callers.clear();
        EXPECT_EQ(wrong.load(), 0);
    });
}

INSTANTIATE_TEST_SUITE_P(Kinds, PingEachSocketKindTest,
                         ::testing::Values(IcmpSocketKind::Datagram, IcmpSocketKind::Raw),
                         [](const ::testing::TestParamInfo<IcmpSocketKind>& kind) {
                             return kind.param == IcmpSocketKind::Datagram ? "Datagram" : "Raw";
                         });

TEST_F(PingLabTest, AbsentAddressFailsAfterEveryAttemptHasTimedOut) {
    a->run([&] {
        const long before = outEchos();
        const auto begin = Clock::now();
        EXPECT_FALSE(IcmpPinger(timings).PingHost("10.200.3.99", 3, 32));
        const auto took = Clock::now() - begin;
        EXPECT_GE(took, 3 * timings.pingTimeout);
        EXPECT_LT(took, 3 * timings.pingTimeout + 3s);
        EXPECT_EQ(outEchos() - before, 3);
    });
}

TEST_F(PingLabTest, HostNamesResolve) {
    EXPECT_EQ(CPing::ResolveHost("localhost"), Ipv4::parse("127.0.0.1"));
    EXPECT_EQ(CPing::ResolveHost("10.200.3.2"), Ipv4::parse("10.200.3.2"));
    a->run([&] { EXPECT_TRUE(IcmpPinger(timings).PingHost("localhost", 1, 32)); });
}

TEST_F(PingLabTest, NameThatDoesNotResolveSendsNothing) {
    a->run([&] {
        const long before = outEchos();
        IcmpPinger pinger(timings);
        EXPECT_FALSE(pinger.PingHost("no-such-host.invalid", 3, 32));
        EXPECT_FALSE(pinger.PingHost("", 1, 32));
        EXPECT_FALSE(pinger.PingHost("10.200.3.256", 1, 32));
        EXPECT_EQ(outEchos() - before, 0);
    });
}

TEST_F(PingLabTest, NoIcmpSocketFailsAtOnce) {
    allowDatagramSockets(false);
    a->run([&] {
        const long before = outEchos();
        const auto begin = Clock::now();
        CPing ping(IcmpSocketKind::Datagram);
        PingReply reply;
        EXPECT_FALSE(ping.PingUsingICMP("10.200.3.2", reply, 30, 5000, 32, 0, false));
        EXPECT_LT(Clock::now() - begin, 2s);
        EXPECT_EQ(outEchos() - before, 0);
        // With raw sockets allowed (we are root) the default choice falls back to them.
        EXPECT_TRUE(IcmpPinger(timings).PingHost("10.200.3.2", 1, 32));
    });
}

}  // namespace
}  // namespace vantor

// The recovery service under load on real links: a flood of foreign, malformed and valid
// requests at the BOOTP/DHCP responder, and many TFTP clients at once.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "console/Constants.h"
#include "recovery/BootImages.h"
#include "recovery/DhcpMessage.h"
#include "recovery/RecoveryLab.h"
#include "recovery/TftpPacket.h"
#include "recovery/TftpTestClient.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::BootRequest;
using test::RecoveryLab;
using test::TftpTestClient;

const Endpoint kServer{0xFFFFFFFFu, kDhcpServerPort};

// Heap bytes in use; 0 under a sanitizer, whose allocator does not report them.
std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

// The datagrams nobody may answer: a foreign client's DISCOVER, one too short to be a BOOTP
// message, a reply sent to the server, and bytes of no shape at all.
std::vector<std::uint8_t> junkRequest(std::size_t n) {
    switch (n % 4) {
        case 0: {
            BootRequest foreign;
            foreign.mac = {0x00, 0x11, 0x22, 0x33, 0x44, static_cast<std::uint8_t>(n)};
            foreign.type = kDhcpDiscover;
            return foreign.bytes();
        }
        case 1:
            return std::vector<std::uint8_t>(1 + n % 200, static_cast<std::uint8_t>(n));
        case 2: {
            BootRequest reply;
            reply.mac = test::deviceMac(0x70);
            reply.op = 2;
            reply.type = kDhcpOffer;
            return reply.bytes();
        }
        default: {
            std::vector<std::uint8_t> noise(300 + n % 1100);
            std::uint32_t state = static_cast<std::uint32_t>(n) * 2654435761u;
            for (auto& byte : noise) {
                state = state * 1103515245u + 12345u;
                byte = static_cast<std::uint8_t>(state >> 24);
            }
            noise[0] = 0x07;  // never a BOOTREQUEST
            return noise;
        }
    }
}

// A client asking as a real one does: DISCOVER, wait, ask again. True when an OFFER for its
// MAC came.
bool offered(CTimedSocket& client, const std::array<std::uint8_t, 6>& mac) {
    BootRequest request;
    request.mac = mac;
    request.type = kDhcpDiscover;
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (!client.SendTo(request.bytes(), kServer).ok()) {
            return false;
        }
        const auto until = Clock::now() + 2s;
        while (Clock::now() < until) {
            const auto reply = test::receiveWithin(
                client,
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()));
            if (reply && reply->size() > kDhcpOptionsOffset &&
                std::equal(mac.begin(), mac.end(), reply->begin() + 28)) {
                return true;
            }
        }
    }
    return false;
}

// Datagrams the kernel dropped at the PC's DHCP server sockets because their queue was full:
// the last column of /proc/net/udp for local port 67 (0043).
std::uint64_t serverDrops(RecoveryLab& lab) {
    std::istringstream table(lab.pc.exec({"/bin/cat", "/proc/net/udp"}).output);
    std::uint64_t drops = 0;
    std::string line;
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, field;
        fields >> slot >> local;
        if (local.size() < 5 || local.substr(local.size() - 5) != ":0043") {
            continue;
        }
        while (fields >> field) {
        }
        drops += std::stoull(field);
    }
    return drops;
}

TEST(RecoveryStress, AFloodOfJunkNeitherStarvesValidClientsNorGrowsMemoryOrTheLog) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x51), false);
    Timings timings = test::recoveryTimings();
    // The product's pause after a datagram too short to be a request: a flood of them must
    // not be able to hold the responder off.
    timings.dhcpShortPause = Timings{}.dhcpShortPause;
    lab.start(timings);
    auto flooder = lab.socket(device, 6868);
    auto client = lab.socket(device, kDhcpClientPort);

    // Warm up: the first reply creates whatever the responder keeps.
    ASSERT_TRUE(offered(*client, test::deviceMac(0x01)));
    const std::size_t heapBefore = heapInUse();

    constexpr std::size_t kFlood = 4000;
    constexpr auto kFloodTime = 8s;
    std::atomic<std::size_t> sent{0};
    std::atomic<bool> flooding{true};
    const auto started = Clock::now();
    std::jthread flood([&] {
        // About 1000 datagrams a second in bursts of 20: far more than pauses after each
        // junk datagram would allow for, far less than a responder that keeps reading needs
        // to let the socket's queue (about 90 datagrams of the largest kind) overflow.
        const auto deadline = started + kFloodTime;
        for (std::size_t n = 0; n < kFlood && Clock::now() < deadline; ++n) {
            flooder->SendTo(junkRequest(n), kServer);
            sent = n + 1;
            if (n % 20 == 19) {
                std::this_thread::sleep_for(20ms);
            }
        }
        flooding = false;
    });

    int asked = 0;
    int answered = 0;
    for (std::uint8_t k = 2; flooding && k < 40; ++k) {
        ++asked;
        answered += offered(*client, test::deviceMac(k)) ? 1 : 0;
        std::this_thread::sleep_for(100ms);
    }
    flood.join();
    // The queue is first in, first out: once a request sent after the flood is answered, the
    // responder has read the whole flood.
    ++asked;
    answered += offered(*client, test::deviceMac(0x50)) ? 1 : 0;
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    EXPECT_GT(asked, 1);
    EXPECT_EQ(answered, asked) << "valid clients went unanswered in the flood";
    const std::uint64_t dropped = serverDrops(lab);
    EXPECT_EQ(dropped, 0u) << "the responder fell behind and the kernel dropped requests";
    EXPECT_LE(lab.view().rows().size(), kStatusLogMaxRows);
    EXPECT_LE(lab.console().statusRows().size(), kStatusLogMaxRows);
    const std::size_t heapAfter = heapInUse();
    if (heapBefore != 0) {
        // Thousands of requests: anything kept per request would show as hundreds of KiB.
        EXPECT_LT(heapAfter, heapBefore + 256 * 1024)
            << "heap grew from " << heapBefore << " to " << heapAfter;
    }
    std::printf(
        "flood: %zu junk datagrams in %.2f s (%.0f per second read), %d of %d valid "
        "clients offered an address, heap %zu -> %zu bytes, %zu log rows\n",
        sent.load(), seconds, static_cast<double>(sent.load()) / seconds, answered, asked,
        heapBefore, heapAfter, lab.view().rows().size());
}

TEST(RecoveryStress, TftpClientsAtOnceOnOneAndOnTwoLinksGetTheirImagesAndStraysAreRefused) {
    RecoveryLab lab;
    const auto& first = lab.addDevice(test::deviceMac(0x61));
    const auto& second = lab.addDevice(test::deviceMac(0x62));
    lab.start();
    const std::string name(kBootImageNames[0]);
    const auto found = BootImages::Find(name);
    ASSERT_TRUE(found.has_value());
    const std::vector<std::uint8_t> expected(found->begin(), found->end());

    // Three clients on the first link, whose listener serves them one after the other, and
    // two on the second, served alongside; every client's transfer also draws datagrams from
    // a stranger on its link (another port of the same host) now and then.
    struct Link {
        const RecoveryLab::Device* device;
        std::unique_ptr<CTimedSocket> stranger;
        std::mutex strangerLock;
        int strays = 0;
    };
    std::array<Link, 2> links;
    links[0].device = &first;
    links[1].device = &second;
    for (Link& link : links) {
        link.stranger = lab.socket(*link.device, 0, link.device->address);
    }
    std::vector<Link*> clientLinks = {&links[0], &links[0], &links[0], &links[1], &links[1]};
    std::vector<std::unique_ptr<TftpTestClient>> clients;
    for (Link* link : clientLinks) {
        clients.push_back(std::make_unique<TftpTestClient>(lab, *link->device));
    }
    std::vector<TftpTestClient::Fetch> fetched(clients.size());
    {
        std::vector<std::jthread> running;
        for (std::size_t i = 0; i < clients.size(); ++i) {
            running.emplace_back([&, i] {
                TftpTestClient& client = *clients[i];
                Link& link = *clientLinks[i];
                fetched[i] = client.fetch(name, [&](std::uint16_t block, int) {
                    if (block % 300 == 7) {
                        // Before the client's own ACK: the transfer is waiting for it.
                        const std::lock_guard lock(link.strangerLock);
                        link.stranger->SendTo(TftpPacket::BuildAck(block), client.transfer());
                        ++link.strays;
                    }
                    return false;
                });
            });
        }
    }

    for (std::size_t i = 0; i < fetched.size(); ++i) {
        SCOPED_TRACE("client " + std::to_string(i));
        EXPECT_TRUE(fetched[i].complete);
        EXPECT_TRUE(fetched[i].content == expected) << "the image differs";
        EXPECT_EQ(fetched[i].seen.size(), expected.size() / kTftpBlockSize + 1)
            << "a block went out twice";
    }
    for (Link& link : links) {
        int refused = 0;
        while (const auto answer = test::receiveWithin(*link.stranger, 500ms)) {
            const auto error = TftpPacket::ParseError(*answer);
            refused += error && error->code == kTftpErrorUnknownTid ? 1 : 0;
        }
        EXPECT_GT(link.strays, 0);
        EXPECT_EQ(refused, link.strays) << "every stray gets ERROR 5";
    }
}

}  // namespace
}  // namespace vantor

// The recovery service under load on real links: a flood of foreign, malformed and valid
// requests at the BOOTP/DHCP responder, and many TFTP clients at once.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "console/ConsoleLimits.h"
#include "recovery/BootImages.h"
#include "recovery/DhcpMessage.h"
#include "recovery/DhcpWire.h"
#include "recovery/RecoveryLab.h"
#include "recovery/RecoveryService.h"
#include "recovery/TftpPacket.h"
#include "recovery/TftpTestClient.h"
#include "recovery/TftpWire.h"

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

// Resident pages of this process, for the report.
std::size_t residentKib() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) {
        return 0;
    }
    unsigned long size = 0;
    unsigned long resident = 0;
    const int read = std::fscanf(statm, "%lu %lu", &size, &resident);
    std::fclose(statm);
    return read == 2 ? resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) / 1024 : 0;
}

// The datagrams nobody may answer, of every shape the responder tells apart: a foreign
// client's DISCOVER, datagrams too short to be a BOOTP message (bytes of nothing, a DISCOVER
// cut short), a reply sent to the server, bytes of no shape at all, a device's request whose
// options are garbage behind a message type that wants no answer, one too large for the
// receive buffer, and one addressed to another server.
std::vector<std::uint8_t> junkRequest(std::size_t n) {
    BootRequest request;
    request.mac = test::deviceMac(static_cast<std::uint8_t>(0x70 + n % 16));
    request.type = kDhcpDiscover;
    switch (n % 8) {
        case 0:
            request.mac = {0x00, 0x11, 0x22, 0x33, 0x44, static_cast<std::uint8_t>(n)};
            return request.bytes();
        case 1:
            return std::vector<std::uint8_t>(1 + n % 200, static_cast<std::uint8_t>(n));
        case 2:
            request.op = kBootReply;
            request.type = kDhcpOffer;
            return request.bytes();
        case 3: {
            std::vector<std::uint8_t> noise(300 + n % 1100);
            std::uint32_t state = static_cast<std::uint32_t>(n) * 2654435761u;
            for (auto& byte : noise) {
                state = state * 1103515245u + 12345u;
                byte = static_cast<std::uint8_t>(state >> 24);
            }
            noise[0] = 0x07;  // never a BOOTREQUEST
            return noise;
        }
        case 4: {
            // A type that wants no answer (DECLINE to INFORM, or none known), then options of
            // random codes and lengths, the last running past the end; some carry a host name.
            request.type = static_cast<std::uint8_t>(n % 3 == 0 ? 4 + n % 5 : 9 + n % 200);
            request.hostName =
                n % 16 == 4 ? std::optional<std::string>("veltpxa\xff\x01") : std::nullopt;
            auto bytes = request.bytes();
            bytes.pop_back();  // the end option
            std::uint32_t state = static_cast<std::uint32_t>(n) * 40503u;
            for (int option = 0; option < 12; ++option) {
                state = state * 1103515245u + 12345u;
                bytes.push_back(static_cast<std::uint8_t>(state >> 24));
                bytes.push_back(static_cast<std::uint8_t>(state >> 12) & 0x1F);
                bytes.insert(bytes.end(), (state >> 8) & 0x0F, static_cast<std::uint8_t>(state));
            }
            bytes.insert(bytes.end(), {kDhcpOptionHostName, 200, 'x'});
            return bytes;
        }
        case 5:
            request.size = kDhcpReceiveSize + 1 + n % 14;  // still within one Ethernet frame
            return request.bytes();
        case 6:
            request.serverName = "another-server";
            return request.bytes();
        default: {
            auto bytes = request.bytes();
            bytes.resize(kDhcpMinimumSize - 1 - n % 100);
            return bytes;
        }
    }
}

// A reply of the responder to the request with this transaction ID, of this type.
bool answers(const std::vector<std::uint8_t>& reply, std::uint32_t xid, std::uint8_t type) {
    if (reply.size() < kDhcpOptionsOffset || reply[0] != kBootReply) {
        return false;
    }
    const std::uint32_t got = (std::uint32_t{reply[4]} << 24) | (std::uint32_t{reply[5]} << 16) |
                              (std::uint32_t{reply[6]} << 8) | reply[7];
    return got == xid && DhcpMessage::MessageType(reply) == type;
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

// One link's flood: bursts of junk, each closed by a device's DISCOVER (every fourth a
// REQUEST) whose answer must come, at its first asking, before the next burst goes. The
// queue is first in, first out, so the answer also shows the burst was read; the flood thus
// runs as fast as the responder reads, never overflows the socket's queue, and is as strict
// under a sanitizer as without one.
struct Flood {
    std::unique_ptr<CTimedSocket> socket;
    std::uint32_t tag = 0;
    std::size_t junk = 0;
    int asked = 0;
    int answered = 0;
    std::size_t mostRows = 0;

    void run(RecoveryLab& lab, std::size_t limit, Clock::time_point deadline, std::size_t burst) {
        for (std::size_t n = 0; junk < limit && Clock::now() < deadline; ++n) {
            for (std::size_t k = 0; k < burst && junk < limit; ++k, ++junk) {
                socket->SendTo(junkRequest(junk), kServer);
            }
            BootRequest valid;
            valid.mac = test::deviceMac(static_cast<std::uint8_t>(0x80 + n % 32));
            valid.xid = tag | static_cast<std::uint32_t>(n);
            valid.type = n % 4 == 3 ? kDhcpRequest : kDhcpDiscover;
            valid.hostName = "veltpxa";
            const std::uint8_t expected = n % 4 == 3 ? kDhcpAck : kDhcpOffer;
            ++asked;
            if (!socket->SendTo(valid.bytes(), kServer).ok()) {
                return;
            }
            // Generous: the 100 ms the responder pauses after each reply, and a slow machine.
            const auto until = Clock::now() + 5s;
            while (Clock::now() < until) {
                const auto reply = test::receiveWithin(
                    *socket,
                    std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()));
                if (reply && answers(*reply, valid.xid, expected)) {
                    ++answered;
                    break;
                }
            }
            mostRows = std::max(mostRows, lab.view().rows().size());
        }
    }
};

TEST(RecoveryStress, AFloodOfJunkNeitherStarvesValidClientsNorGrowsMemoryOrTheLog) {
    RecoveryLab lab;
    std::array<const RecoveryLab::Device*, 2> devices = {
        &lab.addDevice(test::deviceMac(0x51), false), &lab.addDevice(test::deviceMac(0x52), false)};
    Timings timings = test::recoveryTimings();
    // The product's pause after a datagram too short to be a request: a flood of them must
    // not be able to hold the responder off. (The pause after each reply stays short, or the
    // valid requests would set the pace.)
    timings.dhcpShortPause = Timings{}.dhcpShortPause;
    lab.start(timings);

    std::array<Flood, 2> floods;
    for (std::size_t i = 0; i < floods.size(); ++i) {
        floods[i].socket = lab.socket(*devices[i], static_cast<std::uint16_t>(6868 + i));
        floods[i].tag = static_cast<std::uint32_t>(i + 1) << 24;
    }
    // Warm up: every kind of datagram once, and enough rows to fill the status log.
    for (Flood& flood : floods) {
        flood.run(lab, 400, Clock::now() + 20s, 40);
        ASSERT_EQ(flood.answered, flood.asked);
    }
    const std::size_t heapBefore = heapInUse();
    const std::size_t residentBefore = residentKib();

    constexpr std::size_t kFloodPerLink = 3000;
    constexpr auto kFloodTime = 10s;
    const auto started = Clock::now();
    for (Flood& flood : floods) {
        flood.junk = 0;
        flood.asked = flood.answered = 0;
    }
    std::map<std::string, std::string> lease;
    {
        std::vector<std::jthread> flooding;
        for (Flood& flood : floods) {
            flooding.emplace_back([&lab, deadline = started + kFloodTime, link = &flood] {
                link->run(lab, kFloodPerLink, deadline, 40);
            });
        }
        // A real client on the first link amid its flood: DISCOVER, OFFER, REQUEST, ACK.
        lease = lab.udhcpc(*devices[0], "veltpxa", 4);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    EXPECT_EQ(lease["ip"], "192.168.0.100") << "busybox udhcpc got no lease in the flood";
    for (const Flood& flood : floods) {
        // Enough to fail if every short datagram still paused the responder 100 ms.
        EXPECT_GE(flood.junk, kFloodPerLink / 2);
        EXPECT_EQ(flood.answered, flood.asked) << "valid requests went unanswered in the flood";
        EXPECT_LE(flood.mostRows, kStatusLogMaxRows);
    }
    EXPECT_EQ(serverDrops(lab), 0u) << "the responder fell behind and the kernel dropped requests";
    EXPECT_LE(lab.view().rows().size(), kStatusLogMaxRows);
    EXPECT_LE(lab.console().statusRows().size(), kStatusLogMaxRows);
    const std::size_t heapAfter = heapInUse();
    if (heapBefore != 0) {
        // Thousands of requests: anything kept per request would show as hundreds of KiB.
        EXPECT_LT(heapAfter, heapBefore + 256 * 1024)
            << "heap grew from " << heapBefore << " to " << heapAfter;
    }
    const std::size_t junk = floods[0].junk + floods[1].junk;
    std::printf(
        "flood: %zu junk datagrams and %d valid requests on two links in %.2f s (%.0f "
        "datagrams per second), %d answered; heap %zu -> %zu bytes, resident %zu -> %zu KiB, "
        "at most %zu log rows\n",
        junk, floods[0].asked + floods[1].asked, seconds,
        static_cast<double>(junk + static_cast<std::size_t>(floods[0].asked + floods[1].asked)) /
            seconds,
        floods[0].answered + floods[1].answered, heapBefore, heapAfter, residentBefore,
        residentKib(), std::max(floods[0].mostRows, floods[1].mostRows));
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
    // two on the second, served alongside; every client's transfer also draws datagrams now
    // and then from the stranger on its own link (another port of the same host) and from the
    // one on the other link (another address), by turns.
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
                        Link& other = &link == &links[0] ? links[1] : links[0];
                        Link& from = (block / 300) % 2 == 0 ? link : other;
                        const std::lock_guard lock(from.strangerLock);
                        from.stranger->SendTo(TftpPacket::BuildAck(block), client.transfer());
                        ++from.strays;
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

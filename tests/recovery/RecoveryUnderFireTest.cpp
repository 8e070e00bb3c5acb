// Recovery on a shared segment where other hosts talk, some of them hostile: silent and
// hostile TFTP clients, another device's DHCP messages and a flood of REQUESTs must not keep a
// real device from its lease and its kernel; a jumbo-frame link with the largest options and
// the negotiated timeout must be served as asked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/Ipv4.h"
#include "recovery/BootImages.h"
#include "recovery/DhcpWire.h"
#include "recovery/RecoveryLab.h"
#include "recovery/RecoveryService.h"
#include "recovery/TftpPacket.h"
#include "recovery/TftpTestClient.h"
#include "recovery/TftpWire.h"
#include "support/FakePinger.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;
using test::bootImage;
using test::longWaits;
using test::RecoveryLab;
using test::secondsSince;
using test::TftpTestClient;
using ::testing::HasSubstr;
using ::testing::Not;
using Clock = std::chrono::steady_clock;

// Clients that ask for a long timeout and never acknowledge the OACK: each holds a transfer
// for as long as the server lets it.
std::vector<std::unique_ptr<TftpTestClient>> silentClients(RecoveryLab& lab,
                                                           const RecoveryLab::Device& device,
                                                           int count, std::uint32_t from) {
    std::vector<std::unique_ptr<TftpTestClient>> clients;
    for (int i = 0; i < count; ++i) {
        auto client = std::make_unique<TftpTestClient>(lab, device, from);
        client->request(kTftpRrq, "kernel.img", {{"timeout", "255"}});
        const auto oack = client->next();
        EXPECT_TRUE(oack && oack->opcode == kTftpOack) << "silent client " << i;
        clients.push_back(std::move(client));
    }
    return clients;
}

// Another host on the device's link: the address .`last` of the link's /24.
std::uint32_t anotherHost(const RecoveryLab::Device& device, std::uint8_t last) {
    const auto octets = reinterpret_cast<const std::uint8_t*>(&device.address);
    const std::uint32_t address = Ipv4::fromOctets(octets[0], octets[1], octets[2], last);
    device.space->ip({"address", "add", Ipv4::format(address) + "/24", "dev", device.interface});
    return address;
}

TEST(RecoveryUnderFire, SilentClientsAndARamDiskRestartDoNotHoldUpAnotherDevicesKernel) {
    test::FakePinger pinger;  // the RAM disk's device never answers: 30 ping rounds
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x81));
    lab.start(longWaits(), &pinger);
    // As many silent clients as one host may have at once (4).
    const auto silent = silentClients(lab, device, 4, anotherHost(device, 0x33));
    TftpTestClient ramDisk(lab, device);
    ASSERT_TRUE(ramDisk.fetch("initrds.img").complete) << lab.log();
    ASSERT_TRUE(lab.waitForLog("Please wait for the system to restart")) << lab.log();

    const auto started = Clock::now();
    TftpTestClient kernel(lab, device);
    const auto fetched = kernel.fetch("kernel.img", {}, 10s);

    EXPECT_TRUE(fetched.complete) << lab.log();
    EXPECT_EQ(fetched.content, bootImage("kernel.img"));
    std::printf("kernel beside 4 silent clients and a restart wait: %.3f s\n",
                secondsSince(started));
}

TEST(RecoveryUnderFire, ANinthTransferIsRefusedAtOnceAndAnEndedOneFreesItsPlace) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x82));
    lab.start(longWaits());
    const std::uint32_t hostile = anotherHost(device, 0x33);
    auto silent = silentClients(lab, device, 4, hostile);
    const auto others = silentClients(lab, device, 4, anotherHost(device, 0x34));

    // A fifth request of one host is refused at once, as a ninth of all hosts is.
    TftpTestClient fifth(lab, device, hostile);
    TftpTestClient ninth(lab, device);
    for (TftpTestClient* refused : {&fifth, &ninth}) {
        refused->request(kTftpRrq, "kernel.img");
        const auto refusal = refused->next(5s);
        ASSERT_TRUE(refusal.has_value());
        EXPECT_EQ(refusal->opcode, kTftpError);
        EXPECT_EQ(refusal->number, 0);
        EXPECT_EQ(refusal->text, "server busy");
    }

    // One silent client gives up (RFC 1350 section 7): its place is free again.
    silent.front()->send(TftpPacket::BuildError(0, "bye"));
    TftpTestClient next(lab, device);
    bool served = false;
    for (int attempt = 0; attempt < 50 && !served; ++attempt) {
        next.request(kTftpRrq, "kernel.img");
        const auto answer = next.next(2s);
        served = answer && answer->opcode == kTftpData;
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(served) << lab.log();
}

TEST(RecoveryUnderFire, DiscoversOfAnotherDeviceDoNotAbortAFetch) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x83));
    lab.start(longWaits());
    // The device takes the recovery address: its REQUEST is acknowledged, then it speaks from
    // 192.168.0.100 as a booting device does.
    auto dhcp = lab.socket(device, kDhcpClientPort, device.address);
    test::BootRequest request;
    request.mac = device.mac;
    request.type = kDhcpRequest;
    ASSERT_TRUE(dhcp->SendTo(request.bytes(), Endpoint{device.pcAddress, kDhcpServerPort}).ok());
    ASSERT_TRUE(test::receiveWithin(*dhcp, RecoveryLab::kPatience).has_value()) << lab.log();
    device.space->ip({"address", "add", "192.168.0.100/32", "dev", device.interface});

    // Another device of the maker (a MAC one digit away) asks for an address twenty times a
    // second while the first fetches its kernel.
    std::atomic<bool> fetching{true};
    std::atomic<int> discovers{0};
    std::jthread other([&] {
        test::BootRequest discover;
        discover.mac = test::deviceMac(0x84);
        discover.type = kDhcpDiscover;
        for (int i = 0; i < 400 && fetching; ++i) {
            dhcp->SendTo(discover.bytes(), Endpoint{device.pcAddress, kDhcpServerPort});
            ++discovers;
            std::this_thread::sleep_for(50ms);
        }
    });
    TftpTestClient client(lab, device, Ipv4::fromOctets(192, 168, 0, 100));
    // Each DATA packet waits a little for its ACK, so that the fetch spans many DISCOVERs.
    const auto fetched = client.fetch("kernel-pxa.img", [](std::uint16_t block, int) {
        if (block % 64 == 0) {
            std::this_thread::sleep_for(5ms);
        }
        return false;
    });
    fetching = false;
    other.join();

    EXPECT_TRUE(fetched.complete) << lab.log();
    EXPECT_EQ(fetched.content, bootImage("kernel-pxa.img"));
    EXPECT_GT(discovers.load(), 1);
    EXPECT_THAT(lab.log(), Not(HasSubstr("failed")));
}

TEST(RecoveryUnderFire, AFloodOfRequestsNeitherDelaysARealLeaseNorLeavesItsNeighbourEntry) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x85));
    lab.start();
    // A host with an address floods REQUESTs under a MAC of the maker: 200 a second, each
    // answered by unicast, for as long as the real client takes.
    const auto flooderMac = test::deviceMac(0x86);
    std::atomic<bool> flooding{true};
    std::jthread flood([&] {
        auto socket = lab.socket(device, kDhcpClientPort, device.address);
        test::BootRequest request;
        request.mac = flooderMac;
        request.type = kDhcpRequest;
        request.clientAddress = device.address;
        for (int i = 0; i < 4000 && flooding; ++i) {
            socket->SendTo(request.bytes(), Endpoint{device.pcAddress, kDhcpServerPort});
            std::this_thread::sleep_for(5ms);
        }
    });
    std::this_thread::sleep_for(200ms);

    for (int lease = 0; lease < 3; ++lease) {
        const auto started = Clock::now();
        const auto got = lab.udhcpc(device, std::nullopt);
        const double seconds = secondsSince(started);
        EXPECT_EQ(got.count("ip") != 0 ? got.at("ip") : "", "192.168.0.100") << lease;
        std::printf("lease %d during a REQUEST flood: %.3f s\n", lease, seconds);
    }
    flooding = false;
    flood.join();

    // The flooder never answered at the recovery address: leaving the mode removes the entry
    // that pointed it there.
    lab.click(ControlId::RadioAuto);
    const std::string flooder = test::macForIp(flooderMac);
    EXPECT_THAT(lab.pc.ip({"neigh", "show", "192.168.0.100"}), Not(HasSubstr(flooder)));
}

TEST(RecoveryUnderFire, AJumboFrameLinkCarriesTheLargestBlocksInTheLargestWindows) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x87));
    lab.pc.ip({"link", "set", "dev", device.pcInterface, "mtu", "9000"});
    device.space->ip({"link", "set", "dev", device.interface, "mtu", "9000"});
    lab.start();
    TftpTestClient client(lab, device);
    // A window of 64 blocks of 8968 bytes is more than half a megabyte on its way at once.
    ASSERT_TRUE(client.raiseReceiveBuffer(4 << 20));

    const auto fetched = client.fetchWithOptions(
        "initrd-pxa.img", {{"blksize", "8968"}, {"windowsize", "64"}}, 8968, 64);

    ASSERT_TRUE(fetched.oack.has_value()) << lab.log();
    EXPECT_THAT(*fetched.oack, ::testing::Contains(TftpOption{"blksize", "8968"}));
    EXPECT_TRUE(fetched.fetch.complete) << lab.log();
    EXPECT_EQ(fetched.fetch.content, bootImage("initrd-pxa.img"));
    EXPECT_THAT(lab.log(), Not(HasSubstr("Can't send")));
}

TEST(RecoveryUnderFire, TheNegotiatedTimeoutGovernsTheFirstWait) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x88));
    lab.start(longWaits());
    TftpTestClient client(lab, device);
    client.request(kTftpRrq, "kernel.img", {{"timeout", "1"}});
    const auto oack = client.next();
    ASSERT_TRUE(oack && oack->opcode == kTftpOack);

    // Unacknowledged, the OACK goes out again after one second, not after the 60 s default.
    const auto started = Clock::now();
    const auto again = client.next(10s);
    ASSERT_TRUE(again.has_value()) << lab.log();
    EXPECT_EQ(again->opcode, kTftpOack);
    std::printf("first resend after %.3f s\n", secondsSince(started));
}

}  // namespace
}  // namespace vantor

// What one client does to the others: a TFTP request that ends in an ERROR, or the restart
// wait after a RAM disk, must not keep the BOOTP/DHCP responder (or the TFTP server) from the
// next device; duplicate and lost packets must cost neither double traffic nor the time-out;
// names from the network must not forge rows; a flood of junk must not flush the log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
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
using Clock = std::chrono::steady_clock;

struct FirstClient {
    const char* what;
    // Runs the first client on the device; whether it ended as it should.
    bool (*run)(RecoveryLab& lab, const RecoveryLab::Device& device);
    const char* lastRow;  // the first client's last row before the next device comes
};

class AfterOneClient : public ::testing::TestWithParam<FirstClient> {};

// The first client's request ends (a missing file, a refused write request) or enters the
// restart wait (a RAM disk); a lease for the next device comes at once, and after an ERROR the
// TFTP server serves the next request at once.
TEST_P(AfterOneClient, TheNextDeviceGetsItsLeaseAndItsKernelAtOnce) {
    test::FakePinger pinger;  // nobody answers after the RAM disk
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x71));
    lab.start(longWaits(), &pinger);

    ASSERT_TRUE(GetParam().run(lab, device)) << lab.log();
    ASSERT_TRUE(lab.waitForLog(GetParam().lastRow)) << lab.log();

    const auto started = Clock::now();
    const auto lease = lab.udhcpc(device, std::nullopt, 3);
    const double leaseSeconds = secondsSince(started);
    EXPECT_EQ(lease.count("ip") != 0 ? lease.at("ip") : "", "192.168.0.100") << lab.log();
    // 60 s when the responder waits behind the first client.
    EXPECT_LT(leaseSeconds, 10.0);
    std::printf("after %s: lease in %.3f s\n", GetParam().what, leaseSeconds);

    if (std::string(GetParam().what) != "RAM disk") {
        const auto fetchStarted = Clock::now();
        EXPECT_EQ(lab.curlGet(device, "kernel.img", lab.temp.file("kernel.img")), 0);
        const double fetchSeconds = secondsSince(fetchStarted);
        EXPECT_LT(fetchSeconds, 10.0);
        std::printf("after %s: kernel fetched in %.3f s\n", GetParam().what, fetchSeconds);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Clients, AfterOneClient,
    ::testing::Values(
        FirstClient{"missing file",
                    [](RecoveryLab& lab, const RecoveryLab::Device& device) {
                        return lab.busyboxTftp(device, {"-g", "-r", "missing.img", "-l",
                                                        lab.temp.file("missing.img")}) != 0;
                    },
                    "initrd-pxa.img)\r\n\r\n> Listening.....\r\n"},
        FirstClient{
            "write request",
            [](RecoveryLab& lab, const RecoveryLab::Device& device) {
                const std::string local = lab.temp.file("upload.img");
                std::ofstream(local) << "firmware";
                return lab.busyboxTftp(device, {"-p", "-l", local, "-r", "kernel.img"}) != 0;
            },
            ""},  // a refusal writes no row
        FirstClient{"RAM disk",
                    [](RecoveryLab& lab, const RecoveryLab::Device& device) {
                        return lab.curlGet(device, "initrds.img", lab.temp.file("initrds.img")) ==
                               0;
                    },
                    "> Please wait for the system to restart 10 seconds "}),
    [](const auto& testCase) {
        std::string name = testCase.param.what;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

// Reads DATA packets and acknowledges each new block `acks` times; `lose` names a block whose
// first DATA packet the client treats as lost. A client that hears nothing for `retry`
// resends its last ACK, as real clients do. Returns the DATA packets that came.
struct FetchRun {
    int dataPackets = 0;
    std::size_t bytes = 0;
    bool complete = false;
    double lossRecovered = 0;  // seconds from the lost packet to its resend
};

FetchRun fetchKernel(TftpTestClient& client, int acks, std::uint16_t lose, Millis retry) {
    FetchRun run;
    client.request(kTftpRrq, "kernel.img");
    std::uint16_t last = 0;  // last block acknowledged
    bool lost = false;
    Clock::time_point lostAt{};
    const auto deadline = Clock::now() + 20s;
    while (Clock::now() < deadline) {
        const auto packet = client.next(retry);
        if (!packet) {
            if (run.complete) {
                break;  // nothing more came after the last block
            }
            if (last != 0) {
                client.ack(last);
            }
            continue;
        }
        if (packet->opcode != kTftpData) {
            break;
        }
        ++run.dataPackets;
        if (packet->number != static_cast<std::uint16_t>(last + 1)) {
            continue;  // a duplicate: real clients ignore it
        }
        if (packet->number == lose && !lost) {
            lost = true;
            lostAt = Clock::now();
            continue;
        }
        if (packet->number == lose) {
            run.lossRecovered = secondsSince(lostAt);
        }
        last = packet->number;
        run.bytes += packet->payload.size();
        for (int i = 0; i < acks; ++i) {
            client.ack(last);
        }
        if (packet->payload.size() < kTftpBlockSize) {
            run.complete = true;
        }
    }
    return run;
}

// The pause before a reply lets an aborted transfer end; with none running there is nothing
// to wait for. The pause is made far longer than the test waits for the OFFER.
TEST(RecoveryPromptness, WithNoTransferRunningADiscoverIsOfferedWithoutThePause) {
    Timings timings = test::recoveryTimings();
    timings.tftpAbortPause = 2 * RecoveryLab::kPatience;
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x79));
    lab.start(timings);
    auto dhcp = lab.socket(device, kDhcpClientPort, device.address);
    test::BootRequest discover;
    discover.mac = device.mac;
    discover.type = kDhcpDiscover;
    discover.clientAddress = device.address;

    for (int i = 0; i < 2; ++i) {
        dhcp->SendTo(discover.bytes(), Endpoint{device.pcAddress, kDhcpServerPort});
        EXPECT_TRUE(test::receiveWithin(*dhcp, RecoveryLab::kPatience).has_value()) << i;
    }
}

TEST(RecoveryPromptness, ADuplicatedAckDoesNotDoubleTheDataPackets) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x72));
    lab.start(longWaits());
    TftpTestClient client(lab, device);

    const FetchRun run = fetchKernel(client, 2, 0, 300ms);

    ASSERT_TRUE(run.complete) << lab.log();
    EXPECT_EQ(run.bytes, kBootImageSizes[0]);
    const int blocks = static_cast<int>(kBootImageSizes[0] / kTftpBlockSize + 1);
    EXPECT_EQ(run.dataPackets, blocks);  // twice as many when every duplicate is answered
    std::printf("every ACK twice: %d DATA packets for %d blocks\n", run.dataPackets, blocks);
}

TEST(RecoveryPromptness, ALostDataPacketIsResentAtTheClientsRetryNotAtTheTimeOut) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x73));
    lab.start(longWaits());
    TftpTestClient client(lab, device);

    const FetchRun run = fetchKernel(client, 1, 5, 200ms);

    ASSERT_TRUE(run.complete) << lab.log();
    EXPECT_EQ(run.bytes, kBootImageSizes[0]);
    EXPECT_GT(run.lossRecovered, 0.0);
    EXPECT_LT(run.lossRecovered, 10.0);  // the time-out is 30 s
    std::printf("a lost DATA packet came again after %.3f s, %d DATA packets\n", run.lossRecovered,
                run.dataPackets);
}

TEST(RecoveryPromptness, AForgedFileNameAddsNoRowAndNoEscapeSequence) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x74));
    lab.start();
    TftpTestClient client(lab, device);
    const std::size_t before = lab.view().rows().size();

    client.request(kTftpRrq, "x\r\n> File transfer completed.\r\n\x1b[31m");
    ASSERT_TRUE(client.next().has_value());
    ASSERT_TRUE(lab.waitForLog("initrd-pxa.img)\r\n\r\n> Listening.....\r\n")) << lab.log();

    std::vector<std::string> rows = lab.view().rows();
    rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(rows.at(0),
              "> Received a request of 'x?"
              "?> File transfer completed.???[31m' from " +
                  Ipv4::format(device.address) + ".\r\n");
    for (const std::string& row : rows) {
        EXPECT_EQ(row.find('\x1b'), std::string::npos) << row;
        EXPECT_NE(row, "> File transfer completed.\r\n");
    }
}

TEST(RecoveryPromptness, AFloodOfShortDatagramsIsOneWarningAndItsCount) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x75));
    lab.start();
    auto junk = lab.socket(device, kDhcpClientPort, device.address);
    const std::size_t before = lab.view().rows().size();

    constexpr int kFlood = 2000;
    for (int i = 0; i < kFlood; ++i) {
        junk->SendTo(std::vector<std::uint8_t>(10, 1), Endpoint{device.pcAddress, kDhcpServerPort});
    }
    ASSERT_TRUE(lab.waitForLog("> Warning: Received dhcp package is too short.\r\n"));
    // A row of another kind brings the count.
    junk.reset();  // port 68 is udhcpc's
    const auto lease = lab.udhcpc(device, std::nullopt, 3);
    EXPECT_FALSE(lease.empty());
    ASSERT_TRUE(lab.waitForLog(" times)\r\n")) << lab.log();

    std::vector<std::string> rows = lab.view().rows();
    rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(before));
    int warnings = 0;
    int counted = 0;
    for (const std::string& row : rows) {
        if (row == "> Warning: Received dhcp package is too short.\r\n") {
            ++warnings;
        }
        const auto at = row.find("(repeated ");
        if (at != std::string::npos) {
            counted += std::stoi(row.substr(at + 10));
        }
    }
    EXPECT_GE(warnings, 1);
    EXPECT_LT(rows.size(), 20u) << lab.log();  // two rows each without the count: 4,000
    EXPECT_LE(warnings + counted, kFlood);     // the kernel may drop some of the flood
    std::printf("%d short datagrams: %zu rows (%d warnings, %d counted repeats)\n", kFlood,
                rows.size(), warnings, counted);
}

}  // namespace
}  // namespace vantor

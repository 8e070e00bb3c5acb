// The recovery listeners' TFTP server on real links: curl and a client of our own in a device
// namespace, the console running in a PC namespace.
#include <netinet/in.h>
#include <sys/socket.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/Ipv4.h"
#include "base/UniqueFd.h"
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
using test::RecoveryLab;
using test::TftpTestClient;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

// The hint after "File not found.": which names are served at all.
const std::string kOnlyKitImages =
    "' must be one of the recovery kit's images (kernel.img, initrds.img, kernel-pxa.img, "
    "initrd-pxa.img)\r\n";

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> image(const std::string& name) {
    const auto found = BootImages::Find(name);
    return found ? std::vector<std::uint8_t>(found->begin(), found->end())
                 : std::vector<std::uint8_t>{};
}

// The rows from index `first` on.
std::vector<std::string> rowsFrom(RecoveryLab& lab, std::size_t first) {
    std::vector<std::string> rows = lab.view().rows();
    rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(first));
    return rows;
}

// Sends a UDP datagram from the device's address and a port that no socket has, through a raw
// socket (the UDP checksum 0 means none, RFC 768).
void sendFromClosedPort(const RecoveryLab::Device& device, Endpoint to,
                        const std::vector<std::uint8_t>& payload) {
    constexpr std::uint16_t kClosedPort = 40999;
    const std::size_t length = 8 + payload.size();
    std::vector<std::uint8_t> datagram(length, 0);
    datagram[0] = static_cast<std::uint8_t>(kClosedPort >> 8);
    datagram[1] = static_cast<std::uint8_t>(kClosedPort & 0xFF);
    datagram[2] = static_cast<std::uint8_t>(to.port >> 8);
    datagram[3] = static_cast<std::uint8_t>(to.port & 0xFF);
    datagram[4] = static_cast<std::uint8_t>(length >> 8);
    datagram[5] = static_cast<std::uint8_t>(length & 0xFF);
    std::copy(payload.begin(), payload.end(), datagram.begin() + 8);
    const bool sent = device.space->run([&] {
        const UniqueFd raw(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_UDP));
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_addr.s_addr = to.address;
        return raw && ::sendto(raw.get(), datagram.data(), datagram.size(), 0,
                               reinterpret_cast<const sockaddr*>(&target),
                               sizeof target) == static_cast<ssize_t>(datagram.size());
    });
    ASSERT_TRUE(sent);
}

Timings withTimeout(std::chrono::milliseconds timeout) {
    Timings timings = test::recoveryTimings();
    timings.tftpTimeout = timeout;
    return timings;
}

// ---- curl ----------------------------------------------------------------------------------

TEST(RecoveryTftp, CurlFetchesEveryEmbeddedImageByteForByte) {
    test::FakePinger pinger;  // nobody answers: the RAM disks end with the time-out warning
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x61));
    lab.start(test::recoveryTimings(), &pinger);
    for (const std::string_view name : kBootImageNames) {
        SCOPED_TRACE(std::string(name));
        const std::size_t before = lab.view().rows().size();
        const std::string out = lab.temp.file(std::string(name));
        ASSERT_EQ(lab.curlGet(device, std::string(name), out), 0) << lab.log();
        EXPECT_EQ(readFile(out), image(std::string(name)));
        const bool ramDisk = name.starts_with("initrd");
        const std::size_t lines = ramDisk ? 8 : 3;
        ASSERT_TRUE(test::eventually([&] { return rowsFrom(lab, before).size() >= lines; },
                                     RecoveryLab::kPatience))
            << lab.log();
        const std::vector<std::string> rows = rowsFrom(lab, before);
        EXPECT_THAT(std::vector<std::string>(rows.begin(), rows.begin() + 3),
                    ElementsAre("> Received a request of '" + std::string(name) + "' from " +
                                    Ipv4::format(device.address) + ".\r\n",
                                "> " + std::string(name) + " being transfered...\r\n",
                                "> File transfer completed.\r\n"));
        EXPECT_EQ(rows.back(),
                  ramDisk ? "\r\n> Listening.....\r\n" : "> File transfer completed.\r\n");
    }
}

TEST(RecoveryTftp, AfterARamDiskThePcPingsTheRestartedDeviceAndOffersItsPage) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x62));
    // The device answers at the recovery address once it has booted; the PC has no route to
    // it yet, so the check before the service starts finds nobody there.
    device.space->ip({"address", "add", "192.168.0.100/32", "dev", device.interface});
    lab.start();
    lab.onUi([](OperatorConsole& console) { console.gate().allowRestart(false); });
    const std::size_t before = lab.view().rows().size();

    ASSERT_EQ(lab.curlGet(device, "initrds.img", lab.temp.file("initrds.img")), 0);

    ASSERT_TRUE(lab.waitForLog("> Ping successful.\r\n")) << lab.log();
    ASSERT_TRUE(lab.waitForLog("successful.\r\n\r\n> Listening.....\r\n")) << lab.log();
    EXPECT_THAT(
        rowsFrom(lab, before),
        ElementsAre(
            "> Received a request of 'initrds.img' from " + Ipv4::format(device.address) + ".\r\n",
            "> initrds.img being transfered...\r\n", "> File transfer completed.\r\n",
            "> Please wait for the system to restart 10 seconds ", "\r\n",
            "> Testing Ping to 192.168.0.100. Please wait.....\r\n", "> Ping successful.\r\n",
            "\r\n> Listening.....\r\n"));
    EXPECT_EQ(lab.console().serverIP(), "192.168.0.100");
    EXPECT_EQ(lab.console().bannerState(), BannerState::DeviceReady);
    EXPECT_TRUE(lab.console().gate().restartAllowed());
    EXPECT_THAT(lab.recoveryRoute(), HasSubstr("dev " + device.pcInterface));

    // The operator opens the device's page; the banner then leads to the update status.
    lab.onUi([](OperatorConsole& console) { console.OnBanner(); });
    EXPECT_THAT(lab.view().openedUrls(), ElementsAre("http://192.168.0.100/"));
    EXPECT_EQ(lab.console().bannerState(), BannerState::UpdateStatus);
}

TEST(RecoveryTftp, AfterARamDiskWhoseDeviceNeverAnswersTheInstructionsStay) {
    test::FakePinger pinger;  // nobody answers at the recovery address
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x6A));
    lab.start(test::recoveryTimings(), &pinger);

    ASSERT_EQ(lab.curlGet(device, "initrds.img", lab.temp.file("initrds.img")), 0);

    ASSERT_TRUE(lab.waitForLog("> Warning: Ping request time out.\r\n\r\n> Listening.....\r\n"))
        << lab.log();
    EXPECT_EQ(lab.console().serverIP(), "");
    EXPECT_EQ(lab.console().bannerState(), BannerState::Instructions);
    EXPECT_TRUE(lab.console().gate().restartAllowed());
}

TEST(RecoveryTftp, CurlIsToldAMissingFileIsNotFound) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x63));
    lab.start(withTimeout(300ms));
    const std::size_t before = lab.view().rows().size();

    EXPECT_NE(lab.curlGet(device, "missing.img", lab.temp.file("missing.img")), 0);

    // RFC 1350: nothing answers an ERROR, so the server listens on at once.
    ASSERT_TRUE(lab.waitForLog("initrd-pxa.img)\r\n\r\n> Listening.....\r\n")) << lab.log();
    EXPECT_THAT(rowsFrom(lab, before),
                ElementsAre("> Received a request of 'missing.img' from " +
                                Ipv4::format(device.address) + ".\r\n",
                            "> Error: File not found.\r\n", "> \t'missing.img" + kOnlyKitImages,
                            "\r\n> Listening.....\r\n"));
    EXPECT_TRUE(lab.console().gate().restartAllowed());
}

// ---- Names that are not served ---------------------------------------------------------------

class UnservedNames : public ::testing::TestWithParam<std::string> {};

TEST_P(UnservedNames, GetError1FromATransferPortAndTheMissingFileLines) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x64));
    lab.start();
    TftpTestClient client(lab, device);
    const std::size_t before = lab.view().rows().size();

    client.request(kTftpRrq, GetParam());
    const auto error = client.next();

    ASSERT_TRUE(error.has_value()) << lab.log();
    EXPECT_EQ(error->opcode, kTftpError);
    EXPECT_EQ(error->number, kTftpErrorFileNotFound);
    EXPECT_EQ(error->from.address, device.pcAddress);
    EXPECT_NE(error->from.port, kTftpPort);
    ASSERT_TRUE(lab.waitForLog("initrd-pxa.img)\r\n\r\n> Listening.....\r\n")) << lab.log();
    EXPECT_THAT(rowsFrom(lab, before),
                ElementsAre("> Received a request of '" + GetParam() + "' from " +
                                Ipv4::format(device.address) + ".\r\n",
                            "> Error: File not found.\r\n", "> \t'" + GetParam() + kOnlyKitImages,
                            "\r\n> Listening.....\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Names, UnservedNames,
                         ::testing::Values("Kernel.img", "../../../../../../etc/passwd",
                                           "/etc/passwd", "images/../kernel.img",
                                           std::string(60, 'k')),
                         [](const auto& param) { return "case" + std::to_string(param.index); });

TEST(RecoveryTftp, AnyOtherOpcodeGetsError0CommandNotDefined) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x65));
    lab.start();
    TftpTestClient client(lab, device);
    const std::size_t before = lab.view().rows().size();

    client.request(kTftpWrq, "kernel.img");
    const auto error = client.next();

    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->opcode, kTftpError);
    EXPECT_EQ(error->number, kTftpErrorNotDefined);
    EXPECT_EQ(error->text, "Command not defined");
    EXPECT_NE(error->from.port, kTftpPort);
    // The next request is served as usual, and the refusal wrote nothing.
    const auto fetched = client.fetch("kernel.img");
    EXPECT_TRUE(fetched.complete);
    EXPECT_THAT(lab.view().rows().at(before), HasSubstr("Received a request of 'kernel.img'"));
}

// ---- Lost acknowledgements and strangers -----------------------------------------------------

TEST(RecoveryTftp, ALostAckMakesTheBlockGoOutOnceMoreAndTheTransferGoesOn) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x66));
    lab.start(withTimeout(300ms));
    TftpTestClient client(lab, device);

    const auto fetched = client.fetch(
        "kernel-pxa.img", [](std::uint16_t block, int times) { return block == 3 && times == 1; });

    ASSERT_TRUE(fetched.complete) << lab.log();
    EXPECT_EQ(fetched.content, image("kernel-pxa.img"));
    EXPECT_EQ(std::count(fetched.seen.begin(), fetched.seen.end(), 3), 2);
    EXPECT_EQ(fetched.seen.size(), kBootImageSizes[2] / kTftpBlockSize + 2);
    ASSERT_TRUE(lab.waitForLog("> File transfer completed.\r\n"));
    EXPECT_THAT(lab.log(), Not(HasSubstr("failed")));
}

TEST(RecoveryTftp, AClientThatFallsSilentGetsOneResendThenTheTransferFails) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x67));
    lab.start(withTimeout(300ms));
    lab.onUi([](OperatorConsole& console) { console.gate().allowRestart(false); });
    TftpTestClient client(lab, device);

    const auto fetched = client.fetch(
        "kernel.img", [](std::uint16_t block, int) { return block >= 2; }, 1500ms);

    EXPECT_FALSE(fetched.complete);
    EXPECT_THAT(fetched.seen, ElementsAre(1, 2, 2));
    ASSERT_TRUE(
        lab.waitForLog("> Error: File transfer failed (no response from client).\r\n"
                       "\r\n> Listening.....\r\n"))
        << lab.log();
    EXPECT_TRUE(lab.console().gate().restartAllowed());
}

TEST(RecoveryTftp, AStrayDatagramGetsError5AndNeitherRedirectsNorDisturbsTheTransfer) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x68));
    lab.start();
    TftpTestClient client(lab, device);

    client.request(kTftpRrq, "kernel.img");
    auto first = client.next();
    ASSERT_TRUE(first.has_value());
    ASSERT_EQ(first->opcode, kTftpData);

    // Another port of the same host acknowledges block 1 before the client does.
    auto strangerSocket = lab.socket(device, 0, device.address);
    strangerSocket->SendTo(TftpPacket::BuildAck(1), client.transfer());
    Endpoint from;
    const auto answer = test::receiveWithin(*strangerSocket, RecoveryLab::kPatience, &from);
    ASSERT_TRUE(answer.has_value());
    const auto error = TftpPacket::ParseError(*answer);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, kTftpErrorUnknownTid);
    EXPECT_EQ(from, client.transfer());

    // The client goes on from block 1: nothing was skipped, nothing sent twice.
    std::vector<std::uint8_t> content = first->payload;
    std::vector<std::uint16_t> seen{first->number};
    client.ack(1);
    while (const auto packet = client.next()) {
        seen.push_back(packet->number);
        content.insert(content.end(), packet->payload.begin(), packet->payload.end());
        client.ack(packet->number);
        if (packet->payload.size() < kTftpBlockSize) {
            break;
        }
    }
    EXPECT_EQ(content, image("kernel.img"));
    EXPECT_EQ(seen.size(), kBootImageSizes[0] / kTftpBlockSize + 1) << "a block went out twice";
}

TEST(RecoveryTftp, OversizedOrVanishedStraysCannotFailTheTransfer) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x6A));
    lab.start();
    TftpTestClient client(lab, device);
    client.request(kTftpRrq, "kernel.img");
    const auto first = client.next();
    ASSERT_TRUE(first.has_value());

    // A datagram too large for the transfer's buffer is still only a stray: ERROR 5.
    auto stranger = lab.socket(device, 0, device.address);
    stranger->SendTo(std::vector<std::uint8_t>(700, 4), client.transfer());
    const auto answer = test::receiveWithin(*stranger, RecoveryLab::kPatience);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(TftpPacket::ParseError(*answer).value_or(TftpErrorPacket{}).code,
              kTftpErrorUnknownTid);
    // A stray from a port nobody listens on: its ERROR 5 draws a port unreachable.
    sendFromClosedPort(device, client.transfer(), TftpPacket::BuildAck(1));
    std::this_thread::sleep_for(100ms);

    std::size_t blocks = 1;
    std::size_t bytes = first->payload.size();
    client.ack(1);
    while (const auto packet = client.next()) {
        ++blocks;
        bytes += packet->payload.size();
        client.ack(packet->number);
        if (packet->payload.size() < kTftpBlockSize) {
            break;
        }
    }
    EXPECT_EQ(bytes, kBootImageSizes[0]);
    EXPECT_EQ(blocks, kBootImageSizes[0] / kTftpBlockSize + 1);
    ASSERT_TRUE(lab.waitForLog("> File transfer completed.\r\n")) << lab.log();
    EXPECT_THAT(lab.log(), Not(HasSubstr("failed")));
}

TEST(RecoveryTftp, ARequestWhoseModeLacksItsFinalZeroIsStillServed) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x6B));
    lab.start();
    TftpTestClient client(lab, device);
    std::vector<std::uint8_t> request = TftpPacket::BuildRequest(kTftpRrq, "kernel.img", "octet");
    request.pop_back();

    client.requestRaw(request);
    const auto first = client.next();

    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->opcode, kTftpData);
    EXPECT_EQ(first->number, 1);
}

TEST(RecoveryTftp, ABootRequestOfTheDeviceEndsItsTransferSilently) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x69));
    lab.start(withTimeout(300ms));
    TftpTestClient client(lab, device);
    client.request(kTftpRrq, "initrd-pxa.img");
    ASSERT_TRUE(client.next().has_value());

    // The device restarted its boot: its DISCOVER arrives while block 1 waits for its ACK.
    auto dhcp = lab.socket(device, kDhcpClientPort, device.address);
    test::BootRequest discover;
    discover.mac = device.mac;
    discover.type = kDhcpDiscover;
    discover.clientAddress = device.address;
    dhcp->SendTo(discover.bytes(), Endpoint{device.pcAddress, kDhcpServerPort});
    ASSERT_TRUE(test::receiveWithin(*dhcp, RecoveryLab::kPatience).has_value());

    // No resend comes even after two time-outs, and the transfer wrote no failure.
    EXPECT_FALSE(client.next(900ms).has_value());
    EXPECT_THAT(lab.log(), Not(HasSubstr("failed")));
    // The server listens for requests again at once.
    TftpTestClient next(lab, device);
    EXPECT_TRUE(next.fetch("kernel.img").complete);
}

}  // namespace
}  // namespace vantor

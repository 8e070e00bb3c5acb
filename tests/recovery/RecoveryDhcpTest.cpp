// The recovery listeners' BOOTP/DHCP responder on real links: busybox udhcpc and hand-built
// requests from device namespaces, the console running in a PC namespace.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/Ipv4.h"
#include "base/Product.h"
#include "recovery/DhcpMessage.h"
#include "recovery/DhcpWire.h"
#include "recovery/RecoveryLab.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;
using test::BootRequest;
using test::RecoveryLab;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

// Long enough for a reply over a veth pair to have come.
constexpr std::chrono::milliseconds kSilence{500};

const std::uint32_t kRecoveryIp = Ipv4::fromOctets(192, 168, 0, 100);
const std::uint32_t kBroadcast = Ipv4::fromOctets(255, 255, 255, 255);

std::vector<std::string> rowsFrom(RecoveryLab& lab, std::size_t first) {
    std::vector<std::string> rows = lab.view().rows();
    rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(first));
    return rows;
}

// What a reply says, read from its fixed offsets.
struct Reply {
    std::size_t size = 0;
    std::uint8_t op = 0;
    std::uint32_t yiaddr = 0;
    std::uint32_t siaddr = 0;
    std::string file;
    std::uint8_t type = 0;
};

Reply readReply(const std::vector<std::uint8_t>& bytes) {
    Reply reply;
    reply.size = bytes.size();
    reply.op = bytes.at(0);
    reply.yiaddr = DhcpMessage::ReadAddress(bytes, kDhcpYiaddrOffset);
    reply.siaddr = DhcpMessage::ReadAddress(bytes, kDhcpSiaddrOffset);
    reply.file = reinterpret_cast<const char*>(&bytes.at(kDhcpFileOffset));
    // Read at its fixed place: a reply to BOOTP without cookie carries no cookie either.
    if (bytes.size() > kDhcpOptionsOffset + 2 &&
        bytes[kDhcpOptionsOffset] == kDhcpOptionMessageType) {
        reply.type = bytes[kDhcpOptionsOffset + 2];
    }
    return reply;
}

// ---- A real client ------------------------------------------------------------------------

struct BoardCase {
    std::optional<std::string> hostName;
    std::string bootFile;
    std::optional<std::string> boardLine;
};

class RealDhcpClient : public ::testing::TestWithParam<BoardCase> {};

TEST_P(RealDhcpClient, GetsTheRecoveryAddressAndItsBoardsKernelAndThePcRoutesToIt) {
    const BoardCase& board = GetParam();
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x31), false);
    lab.start();
    const std::size_t before = lab.view().rows().size();

    const auto lease = lab.udhcpc(device, board.hostName);

    ASSERT_FALSE(lease.empty()) << lab.log();
    const std::string pc = Ipv4::format(device.pcAddress);
    EXPECT_EQ(lease.at("ip"), "192.168.0.100");
    EXPECT_EQ(lease.at("siaddr"), pc);
    EXPECT_EQ(lease.at("serverid"), pc);
    EXPECT_EQ(lease.at("boot_file"), board.bootFile);
    EXPECT_EQ(lease.at("lease"), "600");
    EXPECT_EQ(lease.at("router"), "192.168.0.100");
    EXPECT_EQ(lease.at("subnet"), "0.0.0.0");

    ASSERT_TRUE(lab.waitForLog(">     IP: 192.168.0.100\r\n")) << lab.log();
    const std::string mac = test::macText(device.mac);
    // The rows of each reply together and in order, each with the interface prefix.
    std::vector<std::string> expected{"> Received IP address request from " + mac + ".\r\n"};
    if (board.boardLine) {
        expected.push_back("> " + *board.boardLine);
    }
    expected.push_back("> Assigning IP address...\r\n");
    if (board.boardLine) {
        expected.push_back("> " + *board.boardLine);
    }
    expected.insert(expected.end(), {"> Successfully assigned the new address\r\n",
                                     ">     MAC: " + mac + "\r\n", ">     IP: 192.168.0.100\r\n"});
    EXPECT_THAT(rowsFrom(lab, before), ElementsAreArray(expected));

    EXPECT_THAT(lab.recoveryRoute(),
                HasSubstr("192.168.0.100 dev " + device.pcInterface + " scope link src " + pc));
    std::string macField;
    std::string ipField;
    lab.onUi([&](OperatorConsole& console) {
        macField = console.panel().macText();
        ipField = console.panel().ipText();
    });
    EXPECT_EQ(macField, mac);
    EXPECT_EQ(ipField, "192.168.0.100");
    EXPECT_EQ(lab.console().noticeLine(), "");
    EXPECT_FALSE(lab.console().gate().restartAllowed()) << "a device is being served";
}

INSTANTIATE_TEST_SUITE_P(HostNames, RealDhcpClient,
                         ::testing::Values(BoardCase{"veltpxa270", "kernel-pxa.img",
                                                     "Intel Found!"},
                                           BoardCase{"veltarm", "kernel.img", "Motorolla Found!"},
                                           BoardCase{std::nullopt, "kernel.img", std::nullopt}),
                         [](const auto& param) {
                             return param.param.hostName ? param.param.hostName.value()
                                                         : std::string("none");
                         });

TEST(RecoveryDhcp, AClientOutsideTheMakersOuiGetsNothingAndIsNamedInTheNoticeLine) {
    RecoveryLab lab;
    const std::array<std::uint8_t, 6> foreign{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    ASSERT_NE(foreign[0], kDeviceOui[0]);
    const auto& stranger = lab.addDevice(foreign, false);
    lab.start();
    const std::size_t before = lab.view().rows().size();

    EXPECT_TRUE(lab.udhcpc(stranger, "veltpxa", 1).empty());

    EXPECT_EQ(lab.console().noticeLine(), "Ignoring a packet from 00-11-22-33-44-55");
    EXPECT_THAT(rowsFrom(lab, before), ::testing::IsEmpty());
    EXPECT_THAT(lab.pc.ip({"-4", "route", "show"}), Not(HasSubstr("192.168.0.100")));
}

// ---- Hand-built requests --------------------------------------------------------------------

// A device without an address whose requests come from 0.0.0.0:68.
class HandBuiltRequests : public ::testing::Test {
  protected:
    void SetUp() override {
        device_ = &lab_.addDevice(test::deviceMac(0x42), false);
        lab_.start();
        client_ = lab_.socket(*device_, kDhcpClientPort);
    }

    // Sends a request by broadcast; the reply, if one came.
    std::optional<Reply> exchange(const std::vector<std::uint8_t>& request,
                                  std::vector<std::string>& rows) {
        const std::size_t before = lab_.view().rows().size();
        EXPECT_TRUE(client_->SendTo(request, Endpoint{kBroadcast, kDhcpServerPort}).ok());
        Endpoint from;
        const auto answer = test::receiveWithin(*client_, kSilence, &from);
        if (answer) {
            // The group's last line follows the reply.
            EXPECT_TRUE(test::eventually(
                [&] {
                    const std::string log = lab_.log();
                    return log.find("Assigning IP address", logBefore(before)) !=
                               std::string::npos ||
                           log.find("Successfully assigned", logBefore(before)) !=
                               std::string::npos;
                },
                RecoveryLab::kPatience));
        }
        // Without a reply, the silence gave the lines time to come.
        rows = rowsFrom(lab_, before);
        if (!answer) {
            return std::nullopt;
        }
        EXPECT_EQ(from, (Endpoint{device_->pcAddress, kDhcpServerPort}));
        return readReply(*answer);
    }

    // Where the rows from index `first` begin in the joined log.
    std::size_t logBefore(std::size_t first) {
        std::size_t offset = 0;
        const std::vector<std::string> rows = lab_.view().rows();
        for (std::size_t i = 0; i < first && i < rows.size(); ++i) {
            offset += rows[i].size();
        }
        return offset;
    }

    BootRequest request(std::optional<std::uint8_t> type) const {
        BootRequest built;
        built.mac = device_->mac;
        built.type = type;
        return built;
    }

    RecoveryLab lab_;
    const RecoveryLab::Device* device_ = nullptr;
    std::unique_ptr<CTimedSocket> client_;
};

TEST_F(HandBuiltRequests, BootpWithoutACookieIsOfferedLikeADiscover) {
    BootRequest bootp = request(std::nullopt);
    bootp.cookie = false;
    std::vector<std::string> rows;
    const auto reply = exchange(bootp.bytes(), rows);
    ASSERT_TRUE(reply.has_value()) << lab_.log();
    EXPECT_EQ(reply->size, kDhcpReplySize);
    EXPECT_EQ(reply->op, kBootReply);
    EXPECT_EQ(reply->type, kDhcpOffer);
    EXPECT_EQ(reply->yiaddr, kRecoveryIp);
    EXPECT_EQ(reply->siaddr, device_->pcAddress);
    EXPECT_EQ(reply->file, "kernel.img");
    const std::string mac = test::macText(device_->mac);
    EXPECT_THAT(rows, ElementsAreArray({"> Received IP address request from " + mac + ".\r\n",
                                        std::string("> Assigning IP address...\r\n")}));
}

TEST_F(HandBuiltRequests, TheLengthLimitIs236Bytes) {
    BootRequest shortest = request(std::nullopt);
    shortest.cookie = false;
    shortest.size = 235;
    std::vector<std::string> rows;
    EXPECT_FALSE(exchange(shortest.bytes(), rows).has_value());
    EXPECT_THAT(rows, ElementsAreArray({"> Warning: Received dhcp package is too short.\r\n",
                                        "\r\n> Listening.....\r\n"}));
    EXPECT_TRUE(lab_.console().gate().restartAllowed());

    shortest.size = 236;
    const auto reply = exchange(shortest.bytes(), rows);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->type, kDhcpOffer);
}

struct Ignored {
    std::string name;
    BootRequest request;
    std::vector<std::string> rows;
};

class IgnoredRequests : public HandBuiltRequests, public ::testing::WithParamInterface<Ignored> {};

TEST_P(IgnoredRequests, GetNoReplyAndOnlyTheirBoardLine) {
    BootRequest built = GetParam().request;
    built.mac = device_->mac;
    std::vector<std::string> rows;
    EXPECT_FALSE(exchange(built.bytes(), rows).has_value());
    EXPECT_THAT(rows, ElementsAreArray(GetParam().rows));
}

BootRequest withType(std::uint8_t type, std::optional<std::string> hostName = std::nullopt) {
    BootRequest built;
    built.type = type;
    built.hostName = std::move(hostName);
    return built;
}

BootRequest withServerName(std::string name) {
    BootRequest built = withType(kDhcpDiscover);
    built.serverName = std::move(name);
    return built;
}

BootRequest reply() {
    BootRequest built = withType(kDhcpDiscover, "veltpxa");
    built.op = kBootReply;
    return built;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IgnoredRequests,
    ::testing::Values(Ignored{"Decline", withType(4, "veltpxa"), {"> Intel Found!"}},
                      Ignored{"Release", withType(7), {}},
                      Ignored{"Inform", withType(8, "other"), {"> Motorolla Found!"}},
                      Ignored{"Offer", withType(kDhcpOffer), {}},
                      Ignored{"AnotherServer", withServerName("someone-else"), {}},
                      Ignored{"BootReply", reply(), {}}),
    [](const auto& param) { return param.param.name; });

TEST(RecoveryDhcp, AClientWithAnAddressIsAnsweredByUnicastAfterAStaticArpEntry) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x43), true);
    lab.start();
    auto client = lab.socket(device, kDhcpClientPort, device.address);
    BootRequest discover;
    discover.mac = device.mac;
    discover.type = kDhcpDiscover;
    discover.clientAddress = device.address;

    ASSERT_TRUE(client->SendTo(discover.bytes(), Endpoint{device.pcAddress, kDhcpServerPort}).ok());
    const auto answer = test::receiveWithin(*client, RecoveryLab::kPatience);

    ASSERT_TRUE(answer.has_value()) << lab.log();
    EXPECT_EQ(readReply(*answer).type, kDhcpOffer);
    EXPECT_THAT(lab.pc.ip({"neigh", "show", "192.168.0.100"}),
                HasSubstr("192.168.0.100 dev " + device.pcInterface + " lladdr " +
                          test::macForIp(device.mac) + " PERMANENT"));
}

// ---- Two interfaces -------------------------------------------------------------------------

TEST(RecoveryDhcp, ARequestIsAnsweredOnItsOwnInterfaceOnlyAndTheRouteFollowsTheLastRequest) {
    RecoveryLab lab;
    const auto& first = lab.addDevice(test::deviceMac(0x51), false);
    const auto& second = lab.addDevice(test::deviceMac(0x52), false);
    lab.start();
    auto firstClient = lab.socket(first, kDhcpClientPort);
    auto secondClient = lab.socket(second, kDhcpClientPort);
    const std::string firstPrefix = "> [NIC " + Ipv4::format(first.pcAddress) + "]";
    const std::string secondPrefix = "> [NIC " + Ipv4::format(second.pcAddress) + "]";

    BootRequest discover;
    discover.mac = first.mac;
    discover.type = kDhcpDiscover;
    ASSERT_TRUE(firstClient->SendTo(discover.bytes(), Endpoint{kBroadcast, kDhcpServerPort}).ok());
    Endpoint from;
    const auto offer = test::receiveWithin(*firstClient, RecoveryLab::kPatience, &from);
    ASSERT_TRUE(offer.has_value()) << lab.log();
    EXPECT_EQ(from.address, first.pcAddress);
    EXPECT_EQ(readReply(*offer).siaddr, first.pcAddress);
    EXPECT_FALSE(test::receiveWithin(*secondClient, kSilence).has_value())
        << "the offer left by the other interface too";
    EXPECT_THAT(lab.log(), HasSubstr(firstPrefix + " Assigning IP address...\r\n"));
    EXPECT_THAT(lab.log(), Not(HasSubstr(secondPrefix + " Received")));

    // Devices on both links confirm the same address: the PC reaches it through the link of
    // the latest request.
    BootRequest request = discover;
    request.type = kDhcpRequest;
    ASSERT_TRUE(firstClient->SendTo(request.bytes(), Endpoint{kBroadcast, kDhcpServerPort}).ok());
    ASSERT_TRUE(test::receiveWithin(*firstClient, RecoveryLab::kPatience).has_value());
    EXPECT_THAT(lab.recoveryRoute(), HasSubstr("dev " + first.pcInterface));
    request.mac = second.mac;
    ASSERT_TRUE(secondClient->SendTo(request.bytes(), Endpoint{kBroadcast, kDhcpServerPort}).ok());
    const auto ack = test::receiveWithin(*secondClient, RecoveryLab::kPatience, &from);
    ASSERT_TRUE(ack.has_value());
    EXPECT_EQ(readReply(*ack).type, kDhcpAck);
    EXPECT_EQ(from.address, second.pcAddress);
    EXPECT_THAT(lab.recoveryRoute(), HasSubstr("dev " + second.pcInterface));
    EXPECT_THAT(lab.log(), HasSubstr(secondPrefix + " Successfully assigned the new address\r\n"));
}

}  // namespace
}  // namespace vantor

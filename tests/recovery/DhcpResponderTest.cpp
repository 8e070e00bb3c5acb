#include "recovery/DhcpResponder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/Ipv4.h"
#include "base/Product.h"
#include "recovery/DhcpMessage.h"
#include "recovery/DhcpWire.h"
#include "recovery/RecoveryLog.h"

namespace vantor {
namespace {

const std::uint32_t kNic = Ipv4::fromOctets(10, 0, 0, 1);
const std::string kServerName = "pc1";

// A device MAC: the maker's OUI (from the build) and three more bytes.
std::vector<std::uint8_t> deviceMac() {
    return {kDeviceOui[0], kDeviceOui[1], kDeviceOui[2], 0xA1, 0xB2, 0xC3};
}

std::string ouiText() {
    char text[9];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X", kDeviceOui[0], kDeviceOui[1], kDeviceOui[2]);
    return text;
}

// A BOOTREQUEST: 236 fixed bytes, then the cookie and options unless `cookie` is false.
struct Request {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(236, 0);

    Request() {
        bytes[0] = 1;  // BOOTREQUEST
        bytes[1] = 1;  // Ethernet
        setMac(deviceMac());
        bytes[4] = 0x12;  // xid
        bytes[5] = 0x34;
        bytes[6] = 0x56;
        bytes[7] = 0x78;
    }
    Request& setMac(const std::vector<std::uint8_t>& mac) {
        bytes[2] = static_cast<std::uint8_t>(mac.size());
        std::fill(bytes.begin() + 28, bytes.begin() + 44, 0);
        std::copy_n(mac.begin(), std::min<std::size_t>(mac.size(), 16), bytes.begin() + 28);
        return *this;
    }
    Request& cookie() {
        bytes.insert(bytes.end(), {99, 130, 83, 99});
        return *this;
    }
    Request& option(std::uint8_t code, const std::vector<std::uint8_t>& value) {
        bytes.push_back(code);
        bytes.push_back(static_cast<std::uint8_t>(value.size()));
        bytes.insert(bytes.end(), value.begin(), value.end());
        return *this;
    }
    Request& hostName(const std::string& name) {
        return option(12, std::vector<std::uint8_t>(name.begin(), name.end()));
    }
    Request& type(std::uint8_t t) { return option(53, {t}); }
    Request& end() {
        bytes.push_back(255);
        return *this;
    }
    Request& sname(const std::string& name) {
        std::copy(name.begin(), name.end(), bytes.begin() + 44);
        return *this;
    }
};

Request dhcp(std::uint8_t type) {
    Request request;
    request.cookie().type(type).end();
    return request;
}

const Endpoint kUnconfigured{0, kDhcpClientPort};

class DhcpResponderTest : public ::testing::Test {
  protected:
    DhcpDecision evaluate(const Request& request, Endpoint sender = kUnconfigured) {
        return responder_.Evaluate(request.bytes, sender);
    }
    DhcpResponder responder_{kNic, kServerName};
};

// The reply to a DISCOVER of a PXA board, byte for byte.
TEST_F(DhcpResponderTest, KnownAnswerOfferForADiscover) {
    Request request;
    request.bytes[8] = 0x00;  // secs 3
    request.bytes[9] = 0x03;
    request.bytes[10] = 0x80;  // flags: broadcast
    const std::vector<std::uint8_t> giaddr{10, 0, 0, 254};
    std::copy(giaddr.begin(), giaddr.end(), request.bytes.begin() + 24);
    const std::string oldFile = "previous-boot-file-name";
    std::copy(oldFile.begin(), oldFile.end(), request.bytes.begin() + 108);
    request.cookie().type(1).hostName("veltpxa01").option(55, {1, 3, 6}).end();

    const DhcpDecision decision = evaluate(request);
    ASSERT_EQ(decision.verdict, DhcpVerdict::reply);
    EXPECT_EQ(decision.board, BoardType::pxa);
    EXPECT_EQ(decision.replyType, 2);

    std::vector<std::uint8_t> expected = {2,
                                          1,
                                          6,
                                          0,  // op BOOTREPLY, htype, hlen, hops
                                          0x12,
                                          0x34,
                                          0x56,
                                          0x78,  // xid
                                          0x00,
                                          0x03,
                                          0x80,
                                          0x00,  // secs, flags
                                          0,
                                          0,
                                          0,
                                          0,  // ciaddr
                                          192,
                                          168,
                                          0,
                                          100,  // yiaddr: the recovery address
                                          10,
                                          0,
                                          0,
                                          1,  // siaddr: this interface
                                          10,
                                          0,
                                          0,
                                          254,  // giaddr as received
                                          kDeviceOui[0],
                                          kDeviceOui[1],
                                          kDeviceOui[2],
                                          0xA1,
                                          0xB2,
                                          0xC3};
    expected.resize(44, 0);   // rest of chaddr
    expected.resize(108, 0);  // sname, empty
    const std::string kernel = "kernel-pxa.img";
    expected.insert(expected.end(), kernel.begin(), kernel.end());
    expected.push_back(0);
    // The file bytes after the new name's zero are the request's, as when built in place.
    expected.insert(expected.end(), oldFile.begin() + static_cast<long>(kernel.size()) + 1,
                    oldFile.end());
    expected.resize(236, 0);
    const std::vector<std::uint8_t> tail = {
        99,  130, 83,  99,           // cookie as received
        53,  1,   2,                 // OFFER
        54,  4,   10,  0,   0, 1,    // server identifier
        51,  4,   0,   0,   2, 88,   // lease 600 s
        1,   4,   0,   0,   0, 0,    // subnet mask 0.0.0.0
        3,   4,   192, 168, 0, 100,  // router: the offered address
        255, 0,   0};
    expected.insert(expected.end(), tail.begin(), tail.end());
    ASSERT_EQ(expected.size(), kDhcpReplySize);
    EXPECT_EQ(std::vector<std::uint8_t>(decision.reply.begin(), decision.reply.end()), expected);
}

struct TypeCase {
    std::optional<std::uint8_t> type;  // nothing: no option 53
    DhcpVerdict verdict;
    std::uint8_t replyType;
};

class DhcpMessageTypes : public DhcpResponderTest,
                         public ::testing::WithParamInterface<TypeCase> {};

TEST_P(DhcpMessageTypes, OfferForBootpAndDiscoverAckForRequestNothingElse) {
    Request request;
    request.cookie();
    if (GetParam().type) {
        request.type(*GetParam().type);
    }
    request.end();
    const DhcpDecision decision = evaluate(request);
    EXPECT_EQ(decision.verdict, GetParam().verdict);
    EXPECT_EQ(decision.messageType, GetParam().type.value_or(0));
    if (decision.verdict == DhcpVerdict::reply) {
        EXPECT_EQ(decision.replyType, GetParam().replyType);
        EXPECT_EQ(decision.reply[240], 53);
        EXPECT_EQ(decision.reply[242], GetParam().replyType);
    }
}

INSTANTIATE_TEST_SUITE_P(EachType, DhcpMessageTypes,
                         ::testing::Values(TypeCase{std::nullopt, DhcpVerdict::reply, 2},
                                           TypeCase{1, DhcpVerdict::reply, 2},  // DISCOVER
                                           TypeCase{2, DhcpVerdict::noReply, 0},
                                           TypeCase{3, DhcpVerdict::reply, 5},
                                           TypeCase{4, DhcpVerdict::noReply, 0},  // DECLINE
                                           TypeCase{5, DhcpVerdict::noReply, 0},
                                           TypeCase{6, DhcpVerdict::noReply, 0},
                                           TypeCase{7, DhcpVerdict::noReply, 0},  // RELEASE
                                           TypeCase{8, DhcpVerdict::noReply, 0},  // INFORM
                                           TypeCase{9, DhcpVerdict::noReply, 0},
                                           TypeCase{255, DhcpVerdict::noReply, 0}));

TEST_F(DhcpResponderTest, BootpWithoutCookieIsOfferedWithTheOptionsAfterZeroCookieBytes) {
    Request request;  // exactly 236 bytes, no cookie
    const DhcpDecision decision = evaluate(request);
    ASSERT_EQ(decision.verdict, DhcpVerdict::reply);
    EXPECT_EQ(decision.messageType, 0);
    EXPECT_EQ(decision.replyType, 2);
    EXPECT_EQ(Ipv4::format(DhcpMessage::ReadAddress(decision.reply, 16)), "192.168.0.100");
    EXPECT_EQ(DhcpMessage::ReadAddress(decision.reply, 20), kNic);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&decision.reply[108])), "kernel.img");
    EXPECT_EQ(DhcpMessage::ReadAddress(decision.reply, 236), 0u);  // "as received": nothing
    EXPECT_EQ(decision.reply[240], 53);
}

TEST_F(DhcpResponderTest, TheMinimumLengthIs236Bytes) {
    Request request;
    request.bytes.resize(235);
    EXPECT_EQ(evaluate(request).verdict, DhcpVerdict::tooShort);
    request.bytes.resize(236);
    EXPECT_EQ(evaluate(request).verdict, DhcpVerdict::reply);
    EXPECT_EQ(responder_.Evaluate({}, kUnconfigured).verdict, DhcpVerdict::tooShort);
}

TEST_F(DhcpResponderTest, OptionsRunningOffTheEndOfTheDatagramAreAbsent) {
    {
        SCOPED_TRACE("host name value cut short");
        Request request;
        request.cookie().type(1);
        request.bytes.insert(request.bytes.end(), {12, 20, 'v', 'e', 'l', 't', 'p', 'x', 'a'});
        const DhcpDecision decision = evaluate(request);
        EXPECT_EQ(decision.board, BoardType::unknown);
        EXPECT_EQ(responder_.bootFileNameFor(decision.macText), "kernel.img");
        EXPECT_EQ(decision.messageType, 1);
    }
    {
        SCOPED_TRACE("code byte without a length byte");
        Request request;
        request.cookie();
        request.bytes.push_back(53);
        EXPECT_EQ(evaluate(request).messageType, 0);
    }
    {
        SCOPED_TRACE("an earlier option's length jumps past the end");
        Request request;
        request.cookie().option(60, {1, 2});
        request.bytes.back() = 0;
        request.bytes[request.bytes.size() - 3] = 250;  // option 60 now claims 250 bytes
        request.type(3);
        EXPECT_EQ(evaluate(request).messageType, 0);
    }
    {
        SCOPED_TRACE("a message type option with no value");
        Request request;
        request.cookie().option(53, {}).end();
        EXPECT_EQ(evaluate(request).messageType, 0);
    }
    {
        SCOPED_TRACE("pads to the end of the largest receive");
        Request request;
        request.cookie();
        request.bytes.resize(kDhcpReceiveSize, 0);
        EXPECT_EQ(evaluate(request).verdict, DhcpVerdict::reply);
    }
    {
        SCOPED_TRACE("past the receive buffer's 1458 bytes");
        Request request;
        request.cookie();
        request.bytes.resize(kDhcpReceiveSize - 1, 0);
        request.type(3);  // starts at the last byte of the buffer
        EXPECT_EQ(evaluate(request).messageType, 0);
    }
}

TEST(DhcpMessage, FindDhcpOptionReturnsTheValueInsideTheDatagram) {
    Request request;
    request.cookie().option(0, {}).type(3).hostName("abc").end();  // begins with two pads
    const auto host = DhcpMessage::FindDhcpOption(request.bytes, 12);
    ASSERT_TRUE(host.has_value());
    EXPECT_EQ(std::string(host->begin(), host->end()), "abc");
    EXPECT_FALSE(DhcpMessage::FindDhcpOption(request.bytes, 60).has_value());
    request.bytes[236] = 98;  // wrong cookie: no options at all
    EXPECT_FALSE(DhcpMessage::FindDhcpOption(request.bytes, 12).has_value());
}

TEST_F(DhcpResponderTest, ClientsOutsideTheMakersOuiAreIgnoredWithTheirMacInTheNotice) {
    std::vector<std::uint8_t> foreign = deviceMac();
    foreign[0] ^= 0xFF;
    Request request = dhcp(1);
    request.setMac(foreign);
    const DhcpDecision decision = evaluate(request);
    EXPECT_EQ(decision.verdict, DhcpVerdict::foreignClient);
    EXPECT_EQ(decision.macText, DhcpMessage::FormatMacText(foreign));
    EXPECT_EQ(RecoveryLog::ignoringPacket(decision.macText),
              "Ignoring a packet from " + DhcpMessage::FormatMacText(foreign));
}

TEST_F(DhcpResponderTest, TheOuiIsComparedOnTheHlenBytesOfChaddr) {
    Request request = dhcp(1);
    request.bytes[2] = 2;  // only two bytes of the address count
    EXPECT_EQ(evaluate(request).verdict, DhcpVerdict::foreignClient);
    request.bytes[2] = 0;
    EXPECT_EQ(evaluate(request).macText, "");
    request.bytes[2] = 200;  // capped at the 16 bytes of chaddr
    const DhcpDecision decision = evaluate(request);
    EXPECT_EQ(decision.verdict, DhcpVerdict::reply);
    EXPECT_EQ(decision.macText.size(), 16u * 3 - 1);
    request.bytes[2] = 6;
    EXPECT_EQ(evaluate(request).macText, ouiText() + "-A1-B2-C3");
}

TEST(DhcpMessage, FormatMacTextIsUpperCaseHexPairsJoinedByDashes) {
    const std::vector<std::uint8_t> mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    EXPECT_EQ(DhcpMessage::FormatMacText(mac), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(DhcpMessage::FormatMacText({}), "");
    EXPECT_EQ(DhcpResponder::DeviceOuiText(), ouiText());
}

struct BoardCase {
    std::string hostName;
    BoardType board;
    std::string bootFile;
};

class DhcpBoardTypes : public DhcpResponderTest, public ::testing::WithParamInterface<BoardCase> {};

TEST_P(DhcpBoardTypes, TheHostNameChoosesTheKernel) {
    Request request;
    request.cookie().type(1).hostName(GetParam().hostName).end();
    const DhcpDecision decision = evaluate(request);
    EXPECT_EQ(decision.board, GetParam().board);
    EXPECT_EQ(responder_.bootFileNameFor(decision.macText), GetParam().bootFile);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&decision.reply[108])),
              GetParam().bootFile);
}

INSTANTIATE_TEST_SUITE_P(Names, DhcpBoardTypes,
                         ::testing::Values(BoardCase{"veltpxa", BoardType::pxa, "kernel-pxa.img"},
                                           BoardCase{"veltpxa-00123", BoardType::pxa,
                                                     "kernel-pxa.img"},
                                           BoardCase{"veltpx", BoardType::other, "kernel.img"},
                                           BoardCase{"VELTPXA", BoardType::other, "kernel.img"},
                                           BoardCase{"", BoardType::other, "kernel.img"},
                                           BoardCase{"auranode", BoardType::other, "kernel.img"}));

// The board type is remembered per client MAC: device `n` is the maker's OUI, A1, then n in
// two bytes.
class DhcpBoardMemory : public DhcpResponderTest {
  protected:
    // The boot file name offered to a request of device `n`, with a Host Name or without.
    std::string offered(unsigned n, std::uint8_t type, std::optional<std::string> host) {
        std::vector<std::uint8_t> mac = deviceMac();
        mac[4] = static_cast<std::uint8_t>(n >> 8);
        mac[5] = static_cast<std::uint8_t>(n);
        Request request;
        request.setMac(mac).cookie().type(type);
        if (host) {
            request.hostName(*host);
        }
        last_ = evaluate(request.end());
        return reinterpret_cast<const char*>(&last_.reply[108]);
    }
    DhcpDecision last_;
};

TEST_F(DhcpBoardMemory, ARequestWithoutHostNameGetsWhatItsOwnMacSaidNeverAnothers) {
    EXPECT_EQ(offered(0xC3, 1, "veltpxa01"), "kernel-pxa.img");
    EXPECT_EQ(offered(0xC4, 1, std::nullopt), "kernel.img");  // one digit apart, as U-Boot asks
    EXPECT_EQ(offered(0xC3, 3, std::nullopt), "kernel-pxa.img");
    EXPECT_EQ(last_.board, BoardType::unknown);  // no "Found!" row for it
    // Every accepted request reads the board type, even one that gets no reply.
    offered(0xC3, 4, "auranode");
    EXPECT_EQ(last_.verdict, DhcpVerdict::noReply);
    EXPECT_EQ(offered(0xC3, 3, std::nullopt), "kernel.img");
}

// 1024 MACs are remembered; the one seen least recently, with or without a Host Name, is
// forgotten for the 1025th.
TEST_F(DhcpBoardMemory, TheMemoryHolds1024MacsAndForgetsTheOneSeenLeastRecently) {
    offered(0, 1, "veltpxa");
    offered(1, 1, "veltpxa");
    for (unsigned n = 2; n < 1024; ++n) {
        offered(n, 1, "auranode");
    }
    EXPECT_EQ(offered(0, 3, std::nullopt), "kernel-pxa.img");  // device 0 seen again
    offered(1024, 1, "auranode");
    EXPECT_EQ(offered(1, 3, std::nullopt), "kernel.img");
    EXPECT_EQ(offered(0, 3, std::nullopt), "kernel-pxa.img");
}

TEST_F(DhcpResponderTest, ANonEmptySnameMustNameThisPc) {
    Request request = dhcp(1);
    EXPECT_EQ(evaluate(request).verdict, DhcpVerdict::reply);
    request.sname("pc1");
    EXPECT_EQ(evaluate(request).verdict, DhcpVerdict::reply);
    request.sname("pc2");
    const DhcpDecision other = evaluate(request);
    EXPECT_EQ(other.verdict, DhcpVerdict::otherServer);
    EXPECT_EQ(other.serverName, "pc2");
}

TEST(DhcpResponder, TheServerNameIsTheHostNameUpToItsFirstDotAndAtMost63Characters) {
    EXPECT_EQ(DhcpResponder::ServerNameFor(std::string("pc1.example.com")), "pc1");
    EXPECT_EQ(DhcpResponder::ServerNameFor(std::nullopt), "Solvd32DchpServer");
    const std::string longName(70, 'a');
    EXPECT_EQ(DhcpResponder::ServerNameFor(longName), std::string(63, 'a'));
    // A 64-byte sname is read as 63 characters, so it matches such a name.
    DhcpResponder responder(kNic, DhcpResponder::ServerNameFor(longName));
    Request request = dhcp(1);
    request.sname(std::string(64, 'a'));
    const DhcpDecision decision = responder.Evaluate(request.bytes, kUnconfigured);
    EXPECT_EQ(decision.verdict, DhcpVerdict::reply);
    EXPECT_EQ(decision.reply[107], 0);
}

TEST_F(DhcpResponderTest, RepliesAreNotSentForBootReplies) {
    Request request = dhcp(1);
    request.bytes[0] = 2;
    const DhcpDecision decision = evaluate(request);
    EXPECT_EQ(decision.verdict, DhcpVerdict::notRequest);
    EXPECT_EQ(decision.op, 2);
}

TEST_F(DhcpResponderTest, TheReplyGoesToASenderWithAnAddressElseItIsBroadcast) {
    const Endpoint configured{Ipv4::fromOctets(10, 0, 0, 77), 68};
    Request request = dhcp(3);
    const std::vector<std::uint8_t> ciaddr{10, 0, 0, 77};
    std::copy(ciaddr.begin(), ciaddr.end(), request.bytes.begin() + 12);
    const DhcpDecision unicast = evaluate(request, configured);
    EXPECT_FALSE(unicast.destination.broadcast);
    EXPECT_EQ(unicast.destination.to, configured);
    EXPECT_EQ(unicast.clientAddress, configured.address);
    EXPECT_EQ(DhcpMessage::ReadAddress(unicast.reply, 12), configured.address);

    const std::uint32_t all = Ipv4::fromOctets(255, 255, 255, 255);
    for (const Endpoint sender : {Endpoint{0, 68}, Endpoint{all, 1068}}) {
        const DhcpDestination destination = DhcpResponder::ChooseDestination(sender);
        EXPECT_TRUE(destination.broadcast);
        EXPECT_EQ(destination.to, (Endpoint{all, sender.port}));
    }
}

TEST_F(DhcpResponderTest, TheDecisionCarriesTheClientsMacForTheFields) {
    const DhcpDecision decision = evaluate(dhcp(3));
    EXPECT_EQ(std::vector<std::uint8_t>(decision.mac.begin(), decision.mac.end()), deviceMac());
    EXPECT_EQ(decision.macText, ouiText() + "-A1-B2-C3");
}

}  // namespace
}  // namespace vantor

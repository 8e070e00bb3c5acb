#include "hostnet/EchoPacket.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vantor {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(EchoPacketTest, RequestKnownAnswer) {
    // 0x0800 + 0x1234 + 0x0001 + 0x4545 + 0x4545 = 0xA4BF; its complement is 0x5B40.
    EXPECT_EQ(EchoPacket::BuildRequest(0x1234, 0x0001, 4),
              (Bytes{0x08, 0x00, 0x5B, 0x40, 0x12, 0x34, 0x00, 0x01, 'E', 'E', 'E', 'E'}));
    EXPECT_EQ(EchoPacket::BuildRequest(0xFFFF, 0xFFFF, 0).size(), 8U);
}

TEST(EchoPacketTest, ChecksumOfRfc1071Example) {
    EXPECT_EQ(EchoPacket::Checksum(Bytes{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}), 0x220D);
    EXPECT_EQ(EchoPacket::Checksum(Bytes{0x01}), 0xFEFF);  // an odd byte is the high half
    EXPECT_EQ(EchoPacket::Checksum(EchoPacket::BuildRequest(7, 9, 33)), 0);
}

// A reply as a peer would send it to a request (identifier 0x1234, sequence 7, 32 bytes).
Bytes reply(std::size_t dataSize = 32, std::uint8_t fill = 'E') {
    Bytes bytes = EchoPacket::BuildRequest(0x1234, 7, dataSize);
    bytes[0] = 0;
    std::fill(bytes.begin() + 8, bytes.end(), fill);
    bytes[2] = bytes[3] = 0;
    const std::uint16_t sum = EchoPacket::Checksum(bytes);
    bytes[2] = static_cast<std::uint8_t>(sum >> 8);
    bytes[3] = static_cast<std::uint8_t>(sum);
    return bytes;
}

Bytes prefix(const Bytes& bytes, std::size_t length) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(length));
}

void refreshChecksum(Bytes& icmp) {
    icmp[2] = icmp[3] = 0;
    const std::uint16_t sum = EchoPacket::Checksum(icmp);
    icmp[2] = static_cast<std::uint8_t>(sum >> 8);
    icmp[3] = static_cast<std::uint8_t>(sum);
}

// The reply behind an IPv4 header of headerLength bytes, as a raw socket delivers it.
Bytes withIpHeader(const Bytes& icmp, std::size_t headerLength = 20) {
    const std::size_t total = headerLength + icmp.size();
    Bytes packet(total, 0);
    packet[0] = static_cast<std::uint8_t>(0x40 | (headerLength / 4));
    packet[2] = static_cast<std::uint8_t>(total >> 8);
    packet[3] = static_cast<std::uint8_t>(total);
    packet[8] = 64;  // time to live
    packet[9] = 1;   // ICMP
    std::copy(icmp.begin(), icmp.end(), packet.begin() + static_cast<std::ptrdiff_t>(headerLength));
    return packet;
}

struct ReplyCase {
    const char* name;
    std::function<Bytes()> packet;
    EchoFraming framing;
    EchoError expected;
};

class EchoReplyTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(EchoReplyTest, OnlyOurReplyWithOurDataCounts) {
    const Bytes packet = GetParam().packet();
    EXPECT_EQ(EchoPacket::CheckReply(packet, GetParam().framing, 0x1234, 7, 32),
              GetParam().expected);
}

const auto kIcmp = EchoFraming::IcmpOnly;
const auto kIp = EchoFraming::WithIpHeader;

INSTANTIATE_TEST_SUITE_P(
    Replies, EchoReplyTest,
    ::testing::Values(
        ReplyCase{"Ours", [] { return reply(); }, kIcmp, EchoError::None},
        ReplyCase{"NoData", [] { return reply(0); }, kIcmp, EchoError::None},
        ReplyCase{"FewerBytes", [] { return reply(31); }, kIcmp, EchoError::None},
        ReplyCase{"OneByteTooMany", [] { return reply(33); }, kIcmp, EchoError::TooMuchData},
        ReplyCase{"OtherData", [] { return reply(32, 'F'); }, kIcmp, EchoError::WrongData},
        ReplyCase{"OneWrongByte",
                  [] {
                      Bytes r = reply();
                      r.back() = 'e';
                      refreshChecksum(r);
                      return r;
                  },
                  kIcmp, EchoError::WrongData},
        ReplyCase{"OtherIdentifier",
                  [] {
                      Bytes r = reply();
                      r[5] = 0x35;
                      refreshChecksum(r);
                      return r;
                  },
                  kIcmp, EchoError::OtherIdentifier},
        ReplyCase{"OtherSequence",
                  [] {
                      Bytes r = reply();
                      r[7] = 8;
                      refreshChecksum(r);
                      return r;
                  },
                  kIcmp, EchoError::OtherSequence},
        ReplyCase{"OurOwnRequest", [] { return EchoPacket::BuildRequest(0x1234, 7, 32); }, kIcmp,
                  EchoError::NotEchoReply},
        ReplyCase{"UnreachableReport",
                  [] {
                      Bytes r = reply();
                      r[0] = 3;
                      r[1] = 1;
                      refreshChecksum(r);
                      return r;
                  },
                  kIcmp, EchoError::NotEchoReply},
        ReplyCase{"DamagedInTransit",
                  [] {
                      Bytes r = reply();
                      r[10] ^= 0x01;
                      return r;
                  },
                  kIcmp, EchoError::BadChecksum},
        ReplyCase{"CutShort", [] { return prefix(reply(), 8); }, kIcmp, EchoError::BadChecksum},
        ReplyCase{"ShorterThanHeader", [] { return prefix(reply(), 7); }, kIcmp,
                  EchoError::Truncated},
        ReplyCase{"Empty", [] { return Bytes{}; }, kIcmp, EchoError::Truncated},
        ReplyCase{"BehindIpHeader", [] { return withIpHeader(reply()); }, kIp, EchoError::None},
        ReplyCase{"BehindIpHeaderWithOptions", [] { return withIpHeader(reply(), 24); }, kIp,
                  EchoError::None},
        ReplyCase{"LinkPaddingIgnored",
                  [] {
                      Bytes p = withIpHeader(reply());
                      p.insert(p.end(), 6, 0);
                      return p;
                  },
                  kIp, EchoError::None},
        ReplyCase{"IpHeaderTooShort",
                  [] {
                      Bytes p = withIpHeader(reply());
                      p[0] = 0x44;
                      return p;
                  },
                  kIp, EchoError::NotIpv4},
        ReplyCase{"IpVersion6",
                  [] {
                      Bytes p = withIpHeader(reply());
                      p[0] = 0x65;
                      return p;
                  },
                  kIp, EchoError::NotIpv4},
        ReplyCase{
            "IpHeaderLongerThanPacket",
            [] { return Bytes{0x4F, 0, 0, 60, 0, 0, 0, 0, 64, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}; },
            kIp, EchoError::Truncated},
        ReplyCase{"TotalLengthBeyondPacket",
                  [] {
                      Bytes p = withIpHeader(reply());
                      p.pop_back();
                      return p;
                  },
                  kIp, EchoError::Truncated},
        ReplyCase{"NotIcmp",
                  [] {
                      Bytes p = withIpHeader(reply());
                      p[9] = 17;
                      return p;
                  },
                  kIp, EchoError::NotIcmp},
        ReplyCase{"ShorterThanIpHeader", [] { return Bytes(19, 0x45); }, kIp,
                  EchoError::Truncated}),
    [](const ::testing::TestParamInfo<ReplyCase>& param) { return param.param.name; });

}  // namespace
}  // namespace vantor

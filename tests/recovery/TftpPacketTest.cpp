#include "recovery/TftpPacket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantor {
namespace {

std::vector<std::uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// The bytes of a literal, embedded zeros included, without the literal's own final zero.
template <std::size_t N>
std::string raw(const char (&text)[N]) {
    return std::string(text, N - 1);
}

TEST(TftpPacket, ParsesAReadRequestAndIgnoresOptionsAfterTheMode) {
    const auto request =
        TftpPacket::ParseRequest(bytes(raw("\0\1kernel.img\0octet\0tsize\0"
                                           "0\0")));
    EXPECT_EQ(request.kind, TftpRequestKind::read);
    EXPECT_EQ(request.fileName, "kernel.img");
    EXPECT_EQ(request.mode, "octet");
}

struct RequestCase {
    std::string datagram;
    TftpRequestKind kind;
};

class TftpRequestParse : public ::testing::TestWithParam<RequestCase> {};

TEST_P(TftpRequestParse, NameAndModeMustEndInsideTheDatagram) {
    EXPECT_EQ(TftpPacket::ParseRequest(bytes(GetParam().datagram)).kind, GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TftpRequestParse,
    ::testing::Values(RequestCase{raw(""), TftpRequestKind::malformed},
                      RequestCase{raw("\0"), TftpRequestKind::malformed},
                      RequestCase{raw("\0\1"), TftpRequestKind::malformed},
                      RequestCase{raw("\0\1kernel.img"), TftpRequestKind::malformed},
                      RequestCase{raw("\0\1kernel.img\0octet"), TftpRequestKind::malformed},
                      RequestCase{raw("\0\1\0\0"), TftpRequestKind::read},
                      RequestCase{raw("\0\2kernel.img\0octet\0"), TftpRequestKind::otherOpcode},
                      RequestCase{raw("\0\4\0\1"), TftpRequestKind::otherOpcode},
                      RequestCase{raw("\1\1a\0b\0"), TftpRequestKind::otherOpcode}));

TEST(TftpPacket, LongNamesAreKeptWholeForTheCallerToRefuse) {
    const std::string name(300, 'k');
    const auto request = TftpPacket::ParseRequest(TftpPacket::BuildRequest(1, name, "octet"));
    EXPECT_EQ(request.kind, TftpRequestKind::read);
    EXPECT_EQ(request.fileName, name);
}

TEST(TftpPacket, BuildsDataAckAndErrorPackets) {
    const std::vector<std::uint8_t> payload{0xAA, 0xBB};
    EXPECT_EQ(TftpPacket::BuildData(0x0102, payload),
              (std::vector<std::uint8_t>{0, 3, 1, 2, 0xAA, 0xBB}));
    EXPECT_EQ(TftpPacket::BuildData(7, {}), (std::vector<std::uint8_t>{0, 3, 0, 7}));
    EXPECT_EQ(TftpPacket::BuildAck(0xFFFF), (std::vector<std::uint8_t>{0, 4, 0xFF, 0xFF}));
    const auto notDefined = TftpPacket::BuildError(0, "Command not defined");
    EXPECT_EQ(notDefined.size(), 24u);
    EXPECT_EQ(notDefined, bytes(raw("\0\5\0\0Command not defined\0")));
}

TEST(TftpPacket, ParsesAcksDataAndErrorsWithinTheirBounds) {
    EXPECT_EQ(TftpPacket::ParseAck(std::vector<std::uint8_t>{0, 4, 1, 2}), 0x0102);
    EXPECT_EQ(TftpPacket::ParseAck(std::vector<std::uint8_t>{0, 4, 1, 2, 9}), 0x0102);
    EXPECT_FALSE(TftpPacket::ParseAck(std::vector<std::uint8_t>{0, 4, 1}));
    EXPECT_FALSE(TftpPacket::ParseAck(std::vector<std::uint8_t>{0, 3, 0, 1}));
    const auto data = TftpPacket::ParseData(std::vector<std::uint8_t>{0, 3, 0, 9, 7});
    ASSERT_TRUE(data);
    EXPECT_EQ(data->block, 9);
    EXPECT_EQ(data->payload.size(), 1u);
    EXPECT_FALSE(TftpPacket::ParseData(std::vector<std::uint8_t>(517, 0)));
    const auto error = TftpPacket::ParseError(bytes(raw("\0\5\0\1gone\0")));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 1);
    EXPECT_EQ(error->message, "gone");
    EXPECT_FALSE(TftpPacket::ParseError(bytes(raw("\0\5\0\1gone"))));
}

}  // namespace
}  // namespace vantor

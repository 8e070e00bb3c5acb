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

TEST(TftpPacket, ParsesAReadRequestWithItsOptionsInOrder) {
    const auto request =
        TftpPacket::ParseRequest(bytes(raw("\0\1kernel.img\0octet\0tsize\0"
                                           "0\0BLKSIZE\0"
                                           "1468\0")));
    EXPECT_EQ(request.kind, TftpRequestKind::read);
    EXPECT_EQ(request.fileName, "kernel.img");
    EXPECT_EQ(request.mode, "octet");
    EXPECT_EQ(request.options, (std::vector<TftpOption>{{"tsize", "0"}, {"BLKSIZE", "1468"}}));
}

struct OptionsCase {
    std::string afterMode;
    std::vector<TftpOption> options;
};

class TftpRequestOptions : public ::testing::TestWithParam<OptionsCase> {};

// Only whole name and value pairs count; a pair cut off ends the list.
TEST_P(TftpRequestOptions, AreWholePairsUpToTheFirstIncompleteOne) {
    const auto request =
        TftpPacket::ParseRequest(bytes(raw("\0\1k\0octet\0") + GetParam().afterMode));
    EXPECT_EQ(request.kind, TftpRequestKind::read);
    EXPECT_EQ(request.options, GetParam().options);
}

INSTANTIATE_TEST_SUITE_P(Cases, TftpRequestOptions,
                         ::testing::Values(OptionsCase{"", {}}, OptionsCase{raw("blksize"), {}},
                                           OptionsCase{raw("blksize\0"), {}},
                                           OptionsCase{raw("blksize\0"
                                                           "1468"),
                                                       {}},
                                           OptionsCase{raw("blksize\0"
                                                           "1468\0"),
                                                       {{"blksize", "1468"}}},
                                           OptionsCase{raw("blksize\0"
                                                           "1468\0tsize\0"),
                                                       {{"blksize", "1468"}}},
                                           OptionsCase{raw("a\0\0"), {{"a", ""}}},
                                           OptionsCase{raw("\0\0blksize\0"
                                                           "8\0"),
                                                       {}},
                                           OptionsCase{raw("x\0"
                                                           "1\0x\0"
                                                           "2\0"),
                                                       {{"x", "1"}, {"x", "2"}}}));

TEST(TftpPacket, BuildsAndParsesAnOack) {
    const std::vector<TftpOption> options{{"blksize", "1468"}, {"tsize", "4509760"}};
    const auto oack = TftpPacket::BuildOack(options);
    EXPECT_EQ(oack, bytes(raw("\0\6blksize\0"
                              "1468\0tsize\0"
                              "4509760\0")));
    EXPECT_EQ(TftpPacket::ParseOack(oack), options);
    EXPECT_EQ(TftpPacket::ParseOack(bytes(raw("\0\6"))), std::vector<TftpOption>{});
    auto cut = oack;
    cut.pop_back();
    EXPECT_FALSE(TftpPacket::ParseOack(cut));
    EXPECT_FALSE(TftpPacket::ParseOack(bytes(raw("\0\4\0\0"))));
    EXPECT_EQ(TftpPacket::BuildRequest(1, "k", "octet", options),
              bytes(raw("\0\1k\0octet\0blksize\0"
                        "1468\0tsize\0"
                        "4509760\0")));
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
    // Blocks of any negotiated size, up to RFC 2348's largest.
    std::vector<std::uint8_t> largest(4 + 65464, 0xA5);
    largest[0] = 0;
    largest[1] = 3;
    const auto big = TftpPacket::ParseData(largest);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->payload.size(), 65464u);
    const auto error = TftpPacket::ParseError(bytes(raw("\0\5\0\1gone\0")));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 1);
    EXPECT_EQ(error->message, "gone");
    EXPECT_FALSE(TftpPacket::ParseError(bytes(raw("\0\5\0\1gone"))));
}

}  // namespace
}  // namespace vantor

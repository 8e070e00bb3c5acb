#include "upgrade/CodeUpdatePacket.h"

#include <gtest/gtest.h>

#include "upgrade/ComputeCrc.h"

namespace vantor {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes textBytes(std::string_view text) {
    return {text.begin(), text.end()};
}

CodeUpdateHeader baseHeader(std::string_view password, std::uint16_t version) {
    CodeUpdateHeader header;
    header.password = passwordField(password);
    header.version = version;
    return header;
}

TEST(CodeUpdatePacket, ModelQueryLayout) {
    CodeUpdateHeader base = baseHeader("secret", 0x0011);
    base.count = 9;  // ignored: a query has zero count, flags and page
    base.flags = 0x81;
    base.page = 77;
    const Bytes expected = {7, 0, 0, 0, 0, 's', 'e', 'c', 'r', 'e',  't', 0,
                            0, 0, 0, 0, 0, 0,   0,   0,   0,   0x11, 0x00};
    EXPECT_EQ(buildModelQuery(base), expected);
}

TEST(CodeUpdatePacket, DataPacketLayoutWithPageLittleEndianAndBodyBehindTheHeader) {
    CodeUpdateHeader header = baseHeader("pw", 0x0010);
    header.command = TFTP_DATA;
    header.count = 2;
    header.flags = 0x81;
    header.page = 0x0695;  // 1685
    Bytes body(2 * kCodeUpdatePageSize + kHeaderRegionExtra);
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<std::uint8_t>(i * 7);
    }
    const Bytes packet = buildDataPacket(header, body);
    ASSERT_EQ(packet.size(), 23u + 512u + 8u);
    const Bytes head(packet.begin(), packet.begin() + 23);
    const Bytes expectedHead = {5, 2, 0x81, 0x95, 0x06, 'p', 'w', 0, 0, 0,    0,   0,
                                0, 0, 0,    0,    0,    0,   0,   0, 0, 0x10, 0x00};
    EXPECT_EQ(head, expectedHead);
    EXPECT_TRUE(std::equal(body.begin(), body.end(), packet.begin() + 23));
}

TEST(CodeUpdatePacket, EndPacketCarriesRangeAndCheckValueHighByteFirst) {
    CodeUpdateHeader header = baseHeader("pw", 0x0011);
    header.command = TFTP_END;
    header.count = END_BIN;
    header.flags = 1;
    const Bytes packet = buildEndPacket(header, 1385, 1401, computeCrc(textBytes("abc")));
    ASSERT_EQ(packet.size(), 29u);
    EXPECT_EQ(packet[0], 6);
    EXPECT_EQ(packet[1], 13);
    EXPECT_EQ(packet[2], 1);
    EXPECT_EQ(packet[3], 0);
    EXPECT_EQ(packet[4], 0);
    const Bytes body(packet.begin() + 23, packet.end());
    EXPECT_EQ(body, (Bytes{0x69, 0x05, 0x79, 0x05, 0xF1, 0x4C}));
}

TEST(CodeUpdatePacket, PasswordFieldIsCutAtSixteenBytesWithoutTerminator) {
    const auto field = passwordField("abcdefghijklmnopqrst");  // 20 characters
    EXPECT_EQ(Bytes(field.begin(), field.end()), textBytes("abcdefghijklmnop"));
    const auto exact = passwordField("abcdefghijklmnop");
    EXPECT_EQ(exact.back(), 'p');
    const auto shortOne = passwordField("ab");
    EXPECT_EQ(Bytes(shortOne.begin(), shortOne.end()),
              (Bytes{'a', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(CodeUpdatePacket, ReplyFieldsAreCodeDetailAndLittleEndianPage) {
    Bytes datagram(23, 0xEE);  // the bytes not read may hold anything
    datagram[0] = TFTP_NACK;
    datagram[1] = NACK_BAD_CRC;
    datagram[3] = 0x25;
    datagram[4] = 0x07;
    const auto parsed = parseCodeUpdateReply(datagram);
    const auto* reply = std::get_if<CodeUpdateReply>(&parsed);
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->code, TFTP_NACK);
    EXPECT_EQ(reply->detail, NACK_BAD_CRC);
    EXPECT_EQ(reply->page, 1829);
}

TEST(CodeUpdatePacket, ReplyOfAnyOtherLengthIsRefused) {
    for (std::size_t length : {0u, 1u, 4u, 22u, 24u, 30u, 2048u}) {
        const Bytes datagram(length, TFTP_ACK);
        EXPECT_TRUE(std::holds_alternative<ReplyFault>(parseCodeUpdateReply(datagram))) << length;
    }
}

}  // namespace
}  // namespace vantor

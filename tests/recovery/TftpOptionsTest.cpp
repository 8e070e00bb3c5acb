#include "recovery/TftpOptions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantor {
namespace {

using ::testing::ElementsAreArray;

struct NegotiationCase {
    const char* what;
    std::vector<TftpOption> requested;
    std::vector<TftpOption> acknowledged;  // the OACK, in order
    std::size_t blockSize = kTftpBlockSize;
    std::uint32_t windowSize = 1;
    std::optional<Millis> timeout = std::nullopt;
};

class TftpNegotiation : public ::testing::TestWithParam<NegotiationCase> {};

// The link takes 1468-byte blocks; the file has 4509760 bytes.
TEST_P(TftpNegotiation, AcknowledgesWhatItKnowsWithinRangeAndLeavesTheRestOut) {
    const TftpTerms terms =
        TftpOptions::Negotiate(GetParam().requested, TftpOptionLimits{1468, 4509760});
    EXPECT_THAT(terms.acknowledged, ElementsAreArray(GetParam().acknowledged));
    EXPECT_EQ(terms.oack(), !GetParam().acknowledged.empty());
    EXPECT_EQ(terms.blockSize, GetParam().blockSize);
    EXPECT_EQ(terms.windowSize, GetParam().windowSize);
    EXPECT_EQ(terms.timeout, GetParam().timeout);
}

using namespace std::chrono_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, TftpNegotiation,
    ::testing::Values(
        NegotiationCase{"none", {}, {}}, NegotiationCase{"blksize 7", {{"blksize", "7"}}, {}},
        NegotiationCase{"blksize 8", {{"blksize", "8"}}, {{"blksize", "8"}}, 8},
        NegotiationCase{"blksize 1468", {{"blksize", "1468"}}, {{"blksize", "1468"}}, 1468},
        NegotiationCase{"blksize 1469", {{"blksize", "1469"}}, {{"blksize", "1468"}}, 1468},
        NegotiationCase{"blksize 65464", {{"blksize", "65464"}}, {{"blksize", "1468"}}, 1468},
        NegotiationCase{"blksize 65465", {{"blksize", "65465"}}, {}},
        NegotiationCase{"blksize huge", {{"blksize", "99999999999999999999"}}, {}},
        NegotiationCase{"name case", {{"BlkSize", "1024"}}, {{"blksize", "1024"}}, 1024},
        NegotiationCase{"junk after", {{"blksize", "1024x"}}, {}},
        NegotiationCase{"space before", {{"blksize", " 1024"}}, {}},
        NegotiationCase{"sign", {{"blksize", "+1024"}}, {}},
        NegotiationCase{"empty value", {{"blksize", ""}}, {}},
        NegotiationCase{
            "first counts", {{"blksize", "1024"}, {"BLKSIZE", "512"}}, {{"blksize", "1024"}}, 1024},
        NegotiationCase{"bad first", {{"blksize", "7"}, {"blksize", "1024"}}, {}},
        NegotiationCase{"unknown", {{"multicast", ""}, {"tsize", "0"}}, {{"tsize", "4509760"}}},
        NegotiationCase{"tsize junk", {{"tsize", "zero"}}, {}},
        NegotiationCase{"timeout 0", {{"timeout", "0"}}, {}},
        NegotiationCase{"timeout 1", {{"timeout", "1"}}, {{"timeout", "1"}}, 512, 1, 1s},
        NegotiationCase{"timeout 255", {{"timeout", "255"}}, {{"timeout", "255"}}, 512, 1, 255s},
        NegotiationCase{"timeout 256", {{"timeout", "256"}}, {}},
        NegotiationCase{"windowsize 0", {{"windowsize", "0"}}, {}},
        NegotiationCase{"windowsize 8", {{"windowsize", "8"}}, {{"windowsize", "8"}}, 512, 8},
        NegotiationCase{
            "windowsize 65535", {{"windowsize", "65535"}}, {{"windowsize", "64"}}, 512, 64},
        NegotiationCase{"windowsize 65536", {{"windowsize", "65536"}}, {}},
        NegotiationCase{"all in order",
                        {{"tsize", "0"}, {"windowsize", "4"}, {"blksize", "1432"}},
                        {{"tsize", "4509760"}, {"windowsize", "4"}, {"blksize", "1432"}},
                        1432,
                        4}),
    [](const auto& testCase) {
        std::string name = testCase.param.what;
        for (char& c : name) {
            if (c == ' ') {
                c = '_';
            }
        }
        return name;
    });

TEST(TftpOptions, TransferSizeIsLeftOutWhenTheSizeIsNotKnown) {
    const std::vector<TftpOption> requested{{"tsize", "0"}};
    EXPECT_FALSE(TftpOptions::Negotiate(requested, TftpOptionLimits{1468, std::nullopt}).oack());
}

// A 9000-byte MTU link takes blocks of up to 8968 bytes. One DATA datagram costs the send
// buffer 2304 bytes with 1468-byte blocks and 16640 with 8968-byte ones. The window comes first:
// it is bounded by a block size settled after it.
TEST(TftpOptions, TheWindowIsTheLargestTheSendBufferHoldsButAtLeastOne) {
    struct Case {
        std::string blockSize;
        std::size_t sendBufferBytes;
        std::uint32_t windowSize;
    };
    for (const Case& c :
         {Case{"1468", 212992, 64}, Case{"8968", 212992, 12}, Case{"8968", 199680, 12},
          Case{"8968", 199679, 11}, Case{"8968", 425984, 25}, Case{"8968", 1064960, 64},
          Case{"8968", 16639, 1}, Case{"8968", 0, 64}}) {
        const std::vector<TftpOption> requested{{"windowsize", "64"}, {"blksize", c.blockSize}};
        const TftpTerms terms =
            TftpOptions::Negotiate(requested, {8968, std::nullopt, c.sendBufferBytes});
        EXPECT_EQ(terms.windowSize, c.windowSize) << c.blockSize << " " << c.sendBufferBytes;
        EXPECT_EQ(terms.acknowledged[0].value, std::to_string(c.windowSize));
    }
}

// Measured on loopback, as the receiving socket's SO_MEMINFO.
TEST(TftpOptions, ADatagramCostsItsHeadRoundedToTheAllocatorPlusTheSkb) {
    EXPECT_EQ(TftpOptions::DatagramCost(193), 832u);  // a small head
    EXPECT_EQ(TftpOptions::DatagramCost(194), 1280u);
    EXPECT_EQ(TftpOptions::DatagramCost(1665), 2304u);
    EXPECT_EQ(TftpOptions::DatagramCost(1666), 4352u);
    EXPECT_EQ(TftpOptions::DatagramCost(8968), 16640u);
}

TEST(TftpOptions, TheSendBufferAskedForHoldsTheWholeWindowUpTo4MiB) {
    EXPECT_EQ(TftpOptions::SendBufferFor(8968, 64), 1064960u);
    EXPECT_EQ(TftpOptions::SendBufferFor(16000, 253), 4194304u);
}

TEST(TftpOptions, BlocksFitTheMtuWithinRfc2348sRangeAndNeverUnder512) {
    EXPECT_EQ(TftpOptions::BlockSizeFor(1500), 1468u);
    EXPECT_EQ(TftpOptions::BlockSizeFor(65535), 65464u);
    EXPECT_EQ(TftpOptions::BlockSizeFor(65496), 65464u);
    EXPECT_EQ(TftpOptions::BlockSizeFor(65495), 65463u);
    EXPECT_EQ(TftpOptions::BlockSizeFor(576), 544u);
    EXPECT_EQ(TftpOptions::BlockSizeFor(68), 512u);
    EXPECT_EQ(TftpOptions::BlockSizeFor(0), 512u);
}

}  // namespace
}  // namespace vantor

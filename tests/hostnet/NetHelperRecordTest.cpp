#include "hostnet/NetHelperRecord.h"

#include <gtest/gtest.h>

#include "base/Ipv4.h"

namespace vantor {
namespace {

using Bytes = std::vector<std::uint8_t>;

using K = HelperRequestKind;

const std::uint32_t kPeer = Ipv4::fromOctets(192, 168, 0, 100);
const std::uint32_t kLocal = Ipv4::fromOctets(10, 0, 0, 1);
const HelperRequest kPlant{K::plantNeighbour,       0x01020304, kPeer, kLocal, 67,
                           {2, 0x56, 0x4E, 0, 0, 9}};
const HelperAnswer kFailed{K::plantNeighbour,  7,       HelperStatus::failed, 2, 19,
                           0x0123456789ABCDEF, "ip: no"};
constexpr std::size_t kAfterFailedText = 24 + 6;

TEST(NetHelperRecord, RequestFieldsSitBigEndianWhereTheContractSays) {
    const Bytes record = HelperRecord::BuildRequest(kPlant);
    EXPECT_EQ(record, (Bytes{0x56, 0x4E, 1, 6,    1,    2, 3, 4, 192, 168, 0, 100, 10, 0, 0, 1,
                             0,    67,   2, 0x56, 0x4E, 0, 0, 9, 0,   0,   0, 0,   0,  0, 0, 0}));
    EXPECT_EQ(HelperRecord::ParseRequest(record), kPlant);
}

TEST(NetHelperRecord, AnswerFieldsSitBigEndianWhereTheContractSays) {
    const Bytes record = HelperRecord::BuildAnswer(kFailed);
    ASSERT_EQ(record.size(), 256U);
    EXPECT_EQ(
        Bytes(record.begin(), record.begin() + kAfterFailedText),
        (Bytes{0x56, 0x4E, 1,    6,    0,    0,    0,    7,    2,   2,   0,   6,   0,   0,  0, 19,
               0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 'i', 'p', ':', ' ', 'n', 'o'}));
    EXPECT_EQ(HelperRecord::ParseAnswer(record), kFailed);
}

TEST(NetHelperRecord, TextFillsAllOf232BytesAndIsCutBeyond) {
    HelperAnswer full = kFailed;
    full.text = std::string(232, 'x');
    EXPECT_EQ(HelperRecord::ParseAnswer(HelperRecord::BuildAnswer(full)), full);
    const HelperAnswer longer{K::hello, 7, HelperStatus::failed, 2, 19, 0, full.text + 'y'};
    EXPECT_EQ(HelperRecord::ParseAnswer(HelperRecord::BuildAnswer(longer))->text, full.text);
}

// A valid record of either kind, resized and with one byte changed.
struct Damage {
    bool answer;
    std::size_t size;
    std::size_t offset;
    std::uint8_t value;
};

class DamagedRecord : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedRecord, IsRefused) {
    const Damage& damage = GetParam();
    Bytes record =
        damage.answer ? HelperRecord::BuildAnswer(kFailed) : HelperRecord::BuildRequest(kPlant);
    record.resize(damage.size);
    record.at(damage.offset) = damage.value;
    EXPECT_EQ(damage.answer ? HelperRecord::ParseAnswer(record).has_value()
                            : HelperRecord::ParseRequest(record).has_value(),
              false);
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedRecord,
                         ::testing::Values(Damage{false, 31, 0, 0x56}, Damage{false, 33, 0, 0x56},
                                           Damage{false, 32, 1, 0x4F}, Damage{false, 32, 2, 2},
                                           Damage{false, 32, 3, 0}, Damage{false, 32, 3, 12},
                                           Damage{false, 32, 24, 1}, Damage{false, 32, 31, 1},
                                           Damage{true, 255, 0, 0x56}, Damage{true, 257, 0, 0x56},
                                           Damage{true, 256, 2, 0}, Damage{true, 256, 3, 12},
                                           Damage{true, 256, 8, 3}, Damage{true, 256, 11, 233},
                                           Damage{true, 256, kAfterFailedText, 1},
                                           Damage{true, 256, 255, 1}));

}  // namespace
}  // namespace vantor

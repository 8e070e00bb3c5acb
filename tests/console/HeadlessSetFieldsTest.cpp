// What a headless Set types into the fields for its --mac and --ip texts.
#include <gtest/gtest.h>

#include "headless/HeadlessFrontEnd.h"

namespace vantor {
namespace {

struct Typed {
    const char* mac;
    MacTexts macFields;
    const char* ip;
    IpTexts ipFields;
};

class HeadlessSetFields : public ::testing::TestWithParam<Typed> {};

TEST_P(HeadlessSetFields, TypesTheTextsOrFieldsTheChecksRefuse) {
    EXPECT_EQ(HeadlessFrontEnd::macFieldTexts(GetParam().mac), GetParam().macFields);
    EXPECT_EQ(HeadlessFrontEnd::ipFieldTexts(GetParam().ip), GetParam().ipFields);
}

const MacTexts kRefusedMac = {"00", "00", "00", "00", "00", "00"};
const IpTexts kRefusedIp = {"0", "0", "0", "0"};

INSTANTIATE_TEST_SUITE_P(
    Texts, HeadlessSetFields,
    ::testing::Values(Typed{"00-11-22-33-44-55",
                            {"00", "11", "22", "33", "44", "55"},
                            "192.168.1.50",
                            {"192", "168", "1", "50"}},
                      // Lower case as typed in a window field turns upper; leading zeros go as they
                      // would when a field is left; the range is for the validity check to judge.
                      Typed{"0a-bc-de-f0-01-2f",
                            {"0A", "BC", "DE", "F0", "01", "2F"},
                            "010.0.0.256",
                            {"10", "0", "0", "256"}},
                      Typed{"00-11-22-33-44", kRefusedMac, "192.168.1", kRefusedIp},
                      Typed{"00-11-22-33-44-55-66", kRefusedMac, "1.2.3.4.5", kRefusedIp},
                      Typed{"0-11-22-33-44-555", kRefusedMac, "1..3.4", kRefusedIp},
                      Typed{"00:11:22:33:44:55", kRefusedMac, "1.2.3.1000", kRefusedIp},
                      Typed{"GG-11-22-33-44-55", kRefusedMac, "1.2.3.-4", kRefusedIp},
                      Typed{"", kRefusedMac, "", kRefusedIp}));

}  // namespace
}  // namespace vantor

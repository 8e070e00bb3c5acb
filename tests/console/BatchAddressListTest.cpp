#include "console/BatchAddressList.h"

#include <gtest/gtest.h>

namespace vantor {
namespace {

struct ListCase {
    const char* name;
    std::string text;
    std::vector<std::string> addresses;
    std::string error;
};

void PrintTo(const ListCase& c, std::ostream* out) {
    *out << c.name;
}

class AddressListCase : public ::testing::TestWithParam<ListCase> {};

TEST_P(AddressListCase, ParsesOrRefusesWithTheLine) {
    const BatchAddressList list = BatchAddressList::parse(GetParam().text);
    EXPECT_EQ(list.addresses, GetParam().addresses);
    EXPECT_EQ(list.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressListCase,
    ::testing::Values(
        ListCase{"CommentsAndBlankLines",
                 "# site A\n10.0.0.5\n\n   \n10.0.0.6 # lobby\n#10.0.0.7\n",
                 {"10.0.0.5", "10.0.0.6"},
                 ""},
        ListCase{"BlanksAroundWindowsLineEndsAndAByteOrderMark",
                 "\xEF\xBB\xBF\t10.0.0.5  \r\n 10.0.0.6\r\n",
                 {"10.0.0.5", "10.0.0.6"},
                 ""},
        ListCase{"OneDigitOffIsAnotherDevice",
                 "10.0.0.5\n10.0.0.50\n10.0.0.6\n10.0.1.5",
                 {"10.0.0.5", "10.0.0.50", "10.0.0.6", "10.0.1.5"},
                 ""},
        ListCase{
            "Duplicate", "10.0.0.5\n10.0.0.6\n10.0.0.5\n", {}, "line 3: 10.0.0.5 is listed twice"},
        ListCase{"DuplicateBehindAComment",
                 "10.0.0.5\n10.0.0.5 # again",
                 {},
                 "line 2: 10.0.0.5 is listed twice"},
        ListCase{"BadLastLineWithoutNewline",
                 "10.0.0.5\n10.0.0.256",
                 {},
                 "line 2: '10.0.0.256' is not a device address"},
        ListCase{"GoodLastLineWithoutNewline", "10.0.0.5\n10.0.0.9", {"10.0.0.5", "10.0.0.9"}, ""},
        ListCase{"TwoOnOneLine",
                 "10.0.0.5 10.0.0.6\n",
                 {},
                 "line 1: '10.0.0.5 10.0.0.6' is not a device address"},
        ListCase{"LeadingZero", "010.0.0.5\n", {}, "line 1: '010.0.0.5' is not a device address"},
        ListCase{"NetworkAddress", "10.0.0.0\n", {}, "line 1: '10.0.0.0' is not a device address"},
        ListCase{"Loopback", "127.0.0.1\n", {}, "line 1: '127.0.0.1' is not a device address"},
        ListCase{"Multicast", "224.0.0.1\n", {}, "line 1: '224.0.0.1' is not a device address"},
        ListCase{"Broadcast",
                 "255.255.255.255\n",
                 {},
                 "line 1: '255.255.255.255' is not a device address"},
        ListCase{"HighestUnicast", "223.255.255.254\n1.0.0.1", {"223.255.255.254", "1.0.0.1"}, ""},
        ListCase{"ControlCharactersShownSafely",
                 "10.0.0.5\x1b[2J\n",
                 {},
                 "line 1: '10.0.0.5?[2J' is not a device address"},
        ListCase{"OnlyComments", "# nothing yet\n\n", {}, "the list holds no address"}),
    [](const ::testing::TestParamInfo<ListCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vantor

#include "upgrade/MemberSelection.h"

#include <gtest/gtest.h>

namespace vantor {
namespace {

using Index = std::optional<std::size_t>;

struct SelectionCase {
    const char* name;
    std::vector<std::string> members;
    Index microcode;
    Index bin;
    Index logo;
    std::string refusal;
};

void PrintTo(const SelectionCase& c, std::ostream* out) {
    *out << c.name;
}

class SelectMembers : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(SelectMembers, PicksByTheLastThreeCharacters) {
    const SelectionCase& c = GetParam();
    const MemberSelection s = selectMembers(c.members);
    EXPECT_EQ(s.refusal, c.refusal);
    if (c.refusal.empty()) {
        EXPECT_EQ(s.microcode, c.microcode);
        EXPECT_EQ(s.bin, c.bin);
        EXPECT_EQ(s.logo, c.logo);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectMembers,
    ::testing::Values(
        SelectionCase{"AllThree", {"logo.gif", "image.bin", "update.enc"}, 2, 1, 0, ""},
        SelectionCase{"UpperCaseDoesNotCount", {"FIRMWARE.ENC", "logo.gif"}, {}, {}, 1, ""},
        SelectionCase{"PathAndBareSuffixCount", {"dir/update.enc", "xbin"}, 0, 1, {}, ""},
        SelectionCase{"ShortNamesAreIgnored", {"en", "", "gif"}, {}, {}, 2, ""},
        SelectionCase{"OnlyOtherMembers",
                      {"readme.txt", "FIRMWARE.ENC"},
                      {},
                      {},
                      {},
                      "> Zip file does not have enc or bin file"},
        SelectionCase{"Empty", {}, {}, {}, {}, "> Zip file does not have enc or bin file"},
        SelectionCase{"TwoMicrocodes",
                      {"a.enc", "b.gif", "c.enc"},
                      {},
                      {},
                      {},
                      "> Zip file has more than one enc file\n"},
        SelectionCase{
            "TwoBins", {"a.bin", "b.bin"}, {}, {}, {}, "> Zip file has more than one bin file\n"},
        // The walk stops at the first second member, whatever comes later.
        SelectionCase{"TwoLogosBeforeTwoMicrocodes",
                      {"a.gif", "b.enc", "c.gif", "d.enc"},
                      {},
                      {},
                      {},
                      "> Zif file has more than one gif file"}),
    [](const ::testing::TestParamInfo<SelectionCase>& param) {
        return std::string(param.param.name);
    });

TEST(SelectMembers, LogoOnlyRun) {
    EXPECT_TRUE(selectMembers({"logo.gif"}).logoOnly());
    EXPECT_FALSE(selectMembers({"logo.gif", "a.bin"}).logoOnly());
    EXPECT_FALSE(selectMembers({"a.enc"}).logoOnly());
}

}  // namespace
}  // namespace vantor

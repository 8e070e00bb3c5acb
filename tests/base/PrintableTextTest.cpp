#include "base/PrintableText.h"

#include <gtest/gtest.h>

#include <string>

namespace vantor {
namespace {

struct TextCase {
    std::string in;
    std::string shown;
};

class PrintableTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(PrintableTexts, ControlCharactersBecomeQuestionMarksAndNothingElseChanges) {
    EXPECT_EQ(printableText(GetParam().in), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PrintableTexts,
    ::testing::Values(TextCase{"", ""}, TextCase{"kernel.img", "kernel.img"},
                      // A forged row and a terminal colour sequence.
                      TextCase{"x\r\n> [NIC 1.2.3.4] File transfer completed.\r\n\x1b[31m",
                               "x?"
                               "?> [NIC 1.2.3.4] File transfer completed.???[31m"},
                      // The edges of the control range: NUL, 0x1F, space, '~', DEL.
                      TextCase{std::string("a\0b", 3), "a?b"}, TextCase{"\x1f \x7e\x7f", "? ~?"},
                      // UTF-8 passes whole.
                      TextCase{"cam\xc3\xa9ra", "cam\xc3\xa9ra"}));

}  // namespace
}  // namespace vantor

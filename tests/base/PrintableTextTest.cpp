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

TEST_P(PrintableTexts, ControlAndFormatCharactersBecomeOneQuestionMarkEach) {
    EXPECT_EQ(printableText(GetParam().in), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PrintableTexts,
    ::testing::Values(
        TextCase{"", ""}, TextCase{"kernel.img", "kernel.img"},
        // A forged row and a terminal colour sequence.
        TextCase{"x\r\n> [NIC 1.2.3.4] File transfer completed.\r\n\x1b[31m",
                 "x?"
                 "?> [NIC 1.2.3.4] File transfer completed.???[31m"},
        // The edges of the C0 range: NUL, tab, 0x1F, space, '~', DEL.
        TextCase{std::string("a\0b\t", 4), "a?b?"}, TextCase{"\x1f \x7e\x7f", "? ~?"},
        // UTF-8 passes whole, up to U+10FFFF.
        TextCase{"Ger\xc3\xa4t \xe8\xae\xbe\xe5\xa4\x87 \xf4\x8f\xbf\xbf",
                 "Ger\xc3\xa4t \xe8\xae\xbe\xe5\xa4\x87 \xf4\x8f\xbf\xbf"},
        // A raw C1 byte is a stray continuation byte; U+0080-U+009F encoded is one '?' each,
        // U+00A0 just after passes.
        TextCase{"\x9b[2J", "?[2J"}, TextCase{"\xc2\x80\xc2\x9f\xc2\xa0", "??\xc2\xa0"},
        // Each format or direction range: its first and last code point, then the code points
        // just outside it.
        TextCase{"\xd8\x9c|\xd8\x9b\xd8\x9d", "?|\xd8\x9b\xd8\x9d"},   // U+061C; 061B, 061D
        TextCase{"\xe2\x80\x8b\xe2\x80\x8f|\xe2\x80\x8a\xe2\x80\x90",  // U+200B-200F
                 "??|\xe2\x80\x8a\xe2\x80\x90"},
        TextCase{"\xe2\x80\xa8\xe2\x80\xae|\xe2\x80\xa7\xe2\x80\xaf",  // U+2028-202E
                 "??|\xe2\x80\xa7\xe2\x80\xaf"},
        TextCase{"\xe2\x81\xa0\xe2\x81\xa4|\xe2\x81\x9f\xe2\x81\xa5",  // U+2060-2064
                 "??|\xe2\x81\x9f\xe2\x81\xa5"},
        TextCase{"\xe2\x81\xa6\xe2\x81\xaf|\xe2\x81\xb0",  // U+2066-206F; 2070
                 "??|\xe2\x81\xb0"},
        TextCase{"\xef\xbb\xbf|\xef\xbb\xbe\xef\xbc\x80",  // U+FEFF; FEFE, FF00
                 "?|\xef\xbb\xbe\xef\xbc\x80"},
        // Ill-formed UTF-8: every byte of it a '?' of its own, the next byte read afresh.
        TextCase{"ab\xe8\xae", "ab??"},  // cut short on the last byte
        TextCase{"\xe2"
                 "A",
                 "?A"},
        TextCase{"\xc0\xaf\xe0\x80\xaf", "?????"},    // overlong '/'
        TextCase{"\xed\xa0\x80", "???"},              // a UTF-16 surrogate
        TextCase{"\xf4\x90\x80\x80\xff", "?????"}));  // above U+10FFFF; 0xFF

}  // namespace
}  // namespace vantor

#include "base/PrintableText.h"

#include <cstddef>

namespace vantor {

namespace {

constexpr char kReplacement = '?';
constexpr char32_t kFirstPrintable = 0x20;
constexpr char32_t kDelete = 0x7F;
constexpr char32_t kAsciiEnd = 0x80;
constexpr unsigned char kTailFirst = 0x80;
constexpr unsigned char kTailLast = 0xBF;
constexpr unsigned char kTailBitMask = 0x3F;
constexpr int kTailBits = 6;
constexpr unsigned char kAllBits = 0xFF;

// RFC 3629 section 4: the lead bytes of the longer sequences, each with its length and the
// range its second byte must fall in. Those ranges rule out overlong forms (after 0xE0 and
// 0xF0), the UTF-16 surrogates (after 0xED) and code points above U+10FFFF (after 0xF4); 0xC0,
// 0xC1 and 0xF5-0xFF start nothing.
struct LeadByte {
    unsigned char first;
    unsigned char last;
    std::size_t length;
    unsigned char secondFirst;
    unsigned char secondLast;
};
constexpr LeadByte kLeadBytes[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

// Well-formed code points a peer could still use against the operator: a C1 control moves the
// cursor or ends a line (U+0085) on some terminals; a format character hides text or, as a
// bidirectional override or isolate (Unicode Standard Annex #9), shows it in another order
// than it is; U+2028 and U+2029 end a line in some viewers of the log file.
struct CodePoints {
    char32_t first;
    char32_t last;
};
constexpr CodePoints kRefused[] = {
    {0x0080, 0x009F}, {0x061C, 0x061C}, {0x200B, 0x200F}, {0x2028, 0x202E},
    {0x2060, 0x2064}, {0x2066, 0x206F}, {0xFEFF, 0xFEFF},
};

struct Decoded {
    std::size_t length = 0;  // 0: the first byte starts no well-formed sequence
    char32_t codePoint = 0;
};

Decoded decodeUtf8(std::string_view text) {
    const auto byteAt = [text](std::size_t index) {
        return static_cast<unsigned char>(text[index]);
    };
    const unsigned char lead = byteAt(0);
    if (lead < kAsciiEnd) {
        return {1, lead};
    }
    for (const LeadByte& form : kLeadBytes) {
        if (lead < form.first || lead > form.last) {
            continue;
        }
        if (text.size() < form.length) {
            return {};
        }
        // The lead byte keeps the bits below its length marker: 5 of a two-byte sequence.
        char32_t codePoint = lead & (kAllBits >> (form.length + 1));
        for (std::size_t index = 1; index < form.length; ++index) {
            const unsigned char tail = byteAt(index);
            const unsigned char first = index == 1 ? form.secondFirst : kTailFirst;
            const unsigned char last = index == 1 ? form.secondLast : kTailLast;
            if (tail < first || tail > last) {
                return {};
            }
            codePoint = (codePoint << kTailBits) | (tail & kTailBitMask);
        }
        return {form.length, codePoint};
    }
    return {};
}

bool refused(char32_t codePoint, Tabs tabs) {
    if (codePoint < kFirstPrintable) {
        return codePoint != '\t' || tabs == Tabs::Replaced;
    }
    if (codePoint == kDelete) {
        return true;
    }
    for (const CodePoints& range : kRefused) {
        if (codePoint >= range.first && codePoint <= range.last) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string printableText(std::string_view text, Tabs tabs) {
    std::string shown;
    shown.reserve(text.size());
    while (!text.empty()) {
        const Decoded decoded = decodeUtf8(text);
        if (decoded.length == 0) {
            shown.push_back(kReplacement);  // this byte alone; the next one is read afresh
            text.remove_prefix(1);
            continue;
        }
        if (refused(decoded.codePoint, tabs)) {
            shown.push_back(kReplacement);
        } else {
            shown.append(text.substr(0, decoded.length));
        }
        text.remove_prefix(decoded.length);
    }
    return shown;
}

}  // namespace vantor

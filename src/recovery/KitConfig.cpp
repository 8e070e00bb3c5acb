#include "recovery/KitConfig.h"

#include <algorithm>
#include <optional>

#include "base/PrintableText.h"

namespace vantor {
namespace {

using Oui = std::array<std::uint8_t, 3>;

constexpr char kComment = '#';
constexpr char kAssign = '=';
constexpr std::string_view kBlanks = " \t\r";
constexpr std::size_t kOuiTextLength = 8;  // XX-XX-XX
constexpr std::size_t kHexDigitsPerByte = 2;
constexpr std::size_t kHexBase = 16;
// The group bit: an OUI with it set names multicast addresses, never a device.
constexpr std::uint8_t kMulticastBit = 0x01;

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

std::optional<std::uint8_t> hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint8_t>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<std::uint8_t>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint8_t>(c - 'A' + 10);
    }
    return std::nullopt;
}

std::optional<Oui> parseOui(std::string_view text) {
    if (text.size() != kOuiTextLength) {
        return std::nullopt;
    }
    const char separator = text[kHexDigitsPerByte];
    if ((separator != '-' && separator != ':') || text[2 * kHexDigitsPerByte + 1] != separator) {
        return std::nullopt;
    }
    Oui oui{};
    for (std::size_t i = 0; i < oui.size(); ++i) {
        const auto high = hexDigit(text[i * (kHexDigitsPerByte + 1)]);
        const auto low = hexDigit(text[i * (kHexDigitsPerByte + 1) + 1]);
        if (!high || !low) {
            return std::nullopt;
        }
        oui[i] = static_cast<std::uint8_t>(*high * kHexBase + *low);
    }
    return oui;
}

// The problem of one line, or nothing when it is fine (and then its OUI, if any, is added).
std::optional<std::string> parseLine(std::string_view line, KitSettings& settings) {
    if (line.size() > KitConfig::kMaxLineLength) {
        return "the line is longer than " + std::to_string(KitConfig::kMaxLineLength) +
               " characters";
    }
    line = trim(line.substr(0, line.find(kComment)));
    if (line.empty()) {
        return std::nullopt;
    }
    const auto assign = line.find(kAssign);
    const std::string_view key = trim(line.substr(0, std::min(assign, line.size())));
    if (assign == std::string_view::npos || key.empty()) {
        return std::string("expected key = value");
    }
    if (key != KitConfig::kKeyDeviceOui) {
        return "unknown key '" + printableText(key) + "'";
    }
    const auto oui = parseOui(trim(line.substr(assign + 1)));
    if (!oui) {
        // Built from a std::string first: GCC 12 at -O3 misreads "literal" + rvalue string as
        // an overlapping copy (-Wrestrict).
        return std::string("'").append(KitConfig::kKeyDeviceOui).append("' needs XX-XX-XX");
    }
    if (((*oui)[0] & kMulticastBit) != 0) {
        return std::string("'")
            .append(KitConfig::kKeyDeviceOui)
            .append("' is a multicast OUI, which no device has");
    }
    if (std::find(settings.deviceOuis.begin(), settings.deviceOuis.end(), *oui) ==
        settings.deviceOuis.end()) {
        settings.deviceOuis.push_back(*oui);
    }
    return std::nullopt;
}

}  // namespace

KitConfig::Result KitConfig::Parse(std::string_view text) {
    KitSettings settings;
    std::vector<std::string> problems;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (auto problem = parseLine(line, settings)) {
            problems.push_back(std::string(kFileName) + " line " + std::to_string(lineNumber) +
                               ": " + *problem);
        }
    }
    if (!problems.empty()) {
        return problems;
    }
    return settings;
}

}  // namespace vantor

#include "console/AddressFields.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "console/ConsoleLimits.h"

namespace vantor {

namespace {

template <std::size_t N>
std::optional<std::size_t> indexIn(const std::array<ControlId, N>& controls, ControlId id) {
    const auto it = std::find(controls.begin(), controls.end(), id);
    if (it == controls.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(it - controls.begin());
}

// The control that follows a field: the next field of its kind, IP 1 after the last MAC field,
// and the Set button after the last IP field.
std::optional<ControlId> nextAfter(ControlId id) {
    if (const auto mac = indexIn(kMacControls, id)) {
        return *mac + 1 < kMacControls.size() ? kMacControls[*mac + 1] : ControlId::Ip1;
    }
    if (const auto ip = indexIn(kIpControls, id)) {
        return *ip + 1 < kIpControls.size() ? kIpControls[*ip + 1] : ControlId::SetButton;
    }
    return std::nullopt;
}

bool isBlank(char c) {
    return c == ' ';
}
bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

bool AddressFields::isMacField(ControlId id) {
    return indexIn(kMacControls, id).has_value();
}
bool AddressFields::isIpField(ControlId id) {
    return indexIn(kIpControls, id).has_value();
}
bool AddressFields::isAddressField(ControlId id) {
    return isMacField(id) || isIpField(id);
}

std::optional<ControlId> AddressFields::moveOnAfterChange(ControlId id, std::string_view text) {
    if (id == ControlId::Mac6) {
        return text.size() == kMacFieldLimit ? nextAfter(id) : std::nullopt;
    }
    if (id == ControlId::Ip4) {
        return text.size() == kIpFieldLimit ? nextAfter(id) : std::nullopt;
    }
    if (isMacField(id)) {
        return !text.empty() && text.back() == '-' ? nextAfter(id) : std::nullopt;
    }
    if (isIpField(id)) {
        return !text.empty() && text.back() == '.' ? nextAfter(id) : std::nullopt;
    }
    return std::nullopt;
}

std::optional<ControlId> AddressFields::moveOnWhenFull(ControlId id) {
    return nextAfter(id);
}

std::optional<std::string> AddressFields::normalizeOnFocusLoss(ControlId id, std::string_view text,
                                                               ConsoleMode mode) {
    if (isMacField(id) && mode != ConsoleMode::Auto) {
        return normalizeMac(text);
    }
    if (isIpField(id) && (mode == ConsoleMode::Manual || mode == ConsoleMode::FirmwareFile)) {
        return normalizeIp(text);
    }
    return std::nullopt;
}

std::string AddressFields::normalizeMac(std::string_view text) {
    std::string s(text);
    s.erase(s.begin(), std::find_if_not(s.begin(), s.end(), isBlank));
    while (!s.empty() && (s.back() == ' ' || s.back() == '-')) {
        s.pop_back();
    }
    s.erase(std::remove_if(s.begin(), s.end(), isBlank), s.end());
    if (s.empty()) {
        s = "00";
    } else if (s.size() == 1) {
        s = "0" + s;
    }
    static constexpr std::string_view kHexDigits = "0123456789ABCDEF";
    const std::size_t run = s.find_first_not_of(kHexDigits);
    const std::size_t hexRun = run == std::string::npos ? s.size() : run;
    if (hexRun != 2) {
        s = "00";
    }
    return s;
}

std::string AddressFields::normalizeIp(std::string_view text) {
    std::string s(text);
    s.erase(s.begin(), std::find_if_not(s.begin(), s.end(), isWhiteSpace));
    while (!s.empty() && isWhiteSpace(s.back())) {
        s.pop_back();
    }
    s.erase(std::remove_if(s.begin(), s.end(), isBlank), s.end());
    return std::to_string(atoiLike(s));
}

long long AddressFields::atoiLike(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isWhiteSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr long long kLimit = std::numeric_limits<int>::max();
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(kLimit, value * 10 + (text[i] - '0'));
    }
    return negative ? -value : value;
}

bool AddressFields::isCompleteMacGroup(std::string_view text) {
    while (!text.empty() && text.back() == '-') {
        text.remove_suffix(1);
    }
    return std::count_if(text.begin(), text.end(), [](char c) { return !isBlank(c); }) == 2;
}

bool AddressFields::isValidMac(const MacTexts& mac) {
    if (mac[0] == "FF" || !std::all_of(mac.begin(), mac.end(), isCompleteMacGroup)) {
        return false;
    }
    return !std::all_of(mac.begin(), mac.end(), [](const std::string& t) { return t == "00"; });
}

bool AddressFields::isValidDeviceIp(const IpTexts& ip) {
    const long long a = atoiLike(ip[0]);
    const long long b = atoiLike(ip[1]);
    const long long c = atoiLike(ip[2]);
    const long long d = atoiLike(ip[3]);
    const auto octet = [](long long v) { return v >= 0 && v <= 255; };
    return a >= 1 && a <= 255 && a != 127 && octet(b) && octet(c) && d >= 1 && d <= 255;
}

std::string AddressFields::joinMac(const MacTexts& mac) {
    return mac[0] + "-" + mac[1] + "-" + mac[2] + "-" + mac[3] + "-" + mac[4] + "-" + mac[5];
}

std::string AddressFields::joinIp(const IpTexts& ip) {
    return ip[0] + "." + ip[1] + "." + ip[2] + "." + ip[3];
}

std::string AddressFields::macOctet(unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02X", value & 0xFFu);
    return buffer;
}

}  // namespace vantor

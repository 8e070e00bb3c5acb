#include "console/BatchAddressList.h"

#include <cstdint>
#include <optional>
#include <set>

#include "base/Ipv4.h"
#include "base/PrintableText.h"

namespace vantor {

namespace {

constexpr std::uint8_t kLoopbackNet = 127;
constexpr std::uint8_t kFirstMulticastNet = 224;  // 224.0.0.0/4, then reserved and broadcast

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\v\f";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::optional<std::uint32_t> deviceAddress(std::string_view text) {
    const std::optional<std::uint32_t> address = Ipv4::parse(text);
    if (!address) {
        return std::nullopt;
    }
    const auto* octets = reinterpret_cast<const std::uint8_t*>(&*address);
    if (octets[0] == 0 || octets[0] == kLoopbackNet || octets[0] >= kFirstMulticastNet ||
        octets[3] == 0) {
        return std::nullopt;
    }
    return address;
}

}  // namespace

BatchAddressList BatchAddressList::parse(std::string_view text) {
    BatchAddressList list;
    std::set<std::uint32_t> seen;
    std::size_t lineNumber = 0;
    // Editors on other systems may start a UTF-8 file with a byte-order mark.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = trimmed(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        const std::optional<std::uint32_t> address = deviceAddress(line);
        if (!address) {
            return {{}, where + "'" + printableText(line) + "' is not a device address"};
        }
        const std::string dotted = Ipv4::format(*address);
        if (!seen.insert(*address).second) {
            return {{}, where + dotted + " is listed twice"};
        }
        list.addresses.push_back(dotted);
    }
    if (list.addresses.empty()) {
        list.error = "the list holds no address";
    }
    return list;
}

}  // namespace vantor

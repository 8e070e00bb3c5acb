#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vantor {

// The settings a recovery kit's kit.conf gives.
struct KitSettings {
    // The OUIs (first three MAC bytes) of the kit's devices, in the order first given, each
    // once.
    std::vector<std::array<std::uint8_t, 3>> deviceOuis;
    bool operator==(const KitSettings&) const = default;
};

// The text of a recovery kit's kit.conf: lines of "key = value", whitespace around key and
// value ignored. A '#' starts a comment to the end of its line, on a line of its own or after
// a value (no value contains '#'); blank lines are skipped. Known keys:
//   device-oui = XX-XX-XX   two hex digits each, either case, "-" or ":" between them (the
//                           same both times); may repeat, each adds an OUI.
// The whole file is refused on any problem, so that a kit never half-applies: an unknown key
// is more likely a typo of a known one than something to skip.
struct KitConfig {
    // The caller reads no more of a kit.conf than this; a larger file is refused unread.
    static constexpr std::size_t kMaxFileSize = 64 * 1024;  // 65536
    // A longer line is refused: no valid line comes near it.
    static constexpr std::size_t kMaxLineLength = 256;
    static constexpr std::string_view kFileName = "kit.conf";
    static constexpr std::string_view kKeyDeviceOui = "device-oui";

    using Result = std::variant<KitSettings, std::vector<std::string>>;

    // The settings, or every problem as "kit.conf line N: ..." (line numbers from 1), with
    // the file's text shown only through printableText.
    static Result Parse(std::string_view text);
};

}  // namespace vantor

// Text that came from the network, made fit for the status log, the notice line, traces and a
// terminal.
#pragma once

#include <string>
#include <string_view>

namespace vantor {

// `text` with every control character (below 0x20, and DEL) replaced by '?': a peer cannot
// add rows of its own ("\r\n> ...") or send escape sequences to a terminal that shows the
// headless output. Other bytes pass unchanged, so UTF-8 names stay readable.
inline std::string printableText(std::string_view text) {
    std::string shown(text);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            c = '?';
        }
    }
    return shown;
}

}  // namespace vantor

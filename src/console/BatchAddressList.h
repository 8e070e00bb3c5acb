#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantor {

// The devices of a batch upgrade as the operator lists them: one dotted address a line;
// a UTF-8 byte-order mark before the first line is skipped; "#" starts a comment that runs to the
// line's end; blank lines are ignored and blanks around an address too. An address is taken as the
// Update's IP fields take one (not 0.x.x.x, not 127.x.x.x, not x.x.x.0), and multicast and
// broadcast addresses are refused: an upgrade goes to one device.
struct BatchAddressList {
    std::vector<std::string> addresses;  // in the list's order, normalised ("10.0.0.5")
    std::string error;                   // why the list was refused (with its line); or empty

    static BatchAddressList parse(std::string_view text);
};

}  // namespace vantor

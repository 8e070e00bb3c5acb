#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vantor {

// Which archive members an upgrade sends: the microcode update file, the bin image and the
// logo, told apart by the last three characters of their stored names ("enc", "bin", "gif",
// compared case-sensitively). Other members are ignored.
struct MemberSelection {
    std::optional<std::size_t> microcode;
    std::optional<std::size_t> bin;
    std::optional<std::size_t> logo;
    // Why the archive cannot be used (a second member of a kind, or nothing to send); empty
    // when it can.
    std::string refusal;

    bool logoOnly() const { return !microcode && !bin && logo; }
};

MemberSelection selectMembers(const std::vector<std::string>& names);

}  // namespace vantor

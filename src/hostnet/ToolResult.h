#pragma once

#include <cstdint>
#include <string>

namespace vantor {

enum class ToolStatus : std::uint8_t {
    Succeeded,
    // The tool ran and refused, or the request could not be put to it at all.
    Failed,
    ToolNotFound,
};

// What became of one ARP or route change. Callers word a missing tool their own way, and a
// failed change with the tool's own words.
struct ToolResult {
    ToolStatus status = ToolStatus::Succeeded;
    // On Failed: what the tool said (one line, control characters replaced), or why no
    // command could be composed.
    std::string failure;

    bool succeeded() const { return status == ToolStatus::Succeeded; }
    bool toolNotFound() const { return status == ToolStatus::ToolNotFound; }
};

}  // namespace vantor

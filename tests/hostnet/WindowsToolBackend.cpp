#include "hostnet/WindowsToolBackend.h"

#include <algorithm>
#include <array>

#include "hostnet/HostToolLimits.h"

namespace vantor {
namespace {

// The route listing of route.exe: its section rules, and the shorter rule shown instead.
constexpr std::size_t kRoutePrintRuleLength = 75;
constexpr std::size_t kRoutingTableRuleLength = 52;
// Where route.exe and arp.exe are looked for last, whatever the Windows directory.
constexpr std::string_view kWindowsToolFallbackDirectory = "C:\\WINDOWS\\system32\\";

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

WindowsToolBackend::WindowsToolBackend(std::optional<std::string> windowsDirectory,
                                       FileProbe fileExists)
    : windowsDirectory_(std::move(windowsDirectory)), fileExists_(std::move(fileExists)) {}

std::optional<std::string> WindowsToolBackend::LocateSystemTool(ToolKind kind) const {
    std::string name;
    switch (kind) {
        case ToolKind::Route:
            name = "route.exe";
            break;
        case ToolKind::Arp:
            name = "arp.exe";
            break;
        default:
            return std::nullopt;
    }
    // Without a Windows directory the search gives up at once, fixed fallback included.
    if (!windowsDirectory_ || windowsDirectory_->empty()) {
        return std::nullopt;
    }
    std::string directory = *windowsDirectory_;
    if (directory.back() != '\\') {
        directory += '\\';
    }
    const std::array<std::string, 3> candidates{directory + "system32\\" + name, directory + name,
                                                std::string(kWindowsToolFallbackDirectory) + name};
    for (const std::string& candidate : candidates) {
        if (candidate.size() < kMaxToolPath && fileExists_(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<ToolCommand> WindowsToolBackend::RouteAddCommand(const std::string& routeTool,
                                                               const std::string& destination,
                                                               const std::string& gateway) const {
    return ToolCommand{routeTool + " ADD " + destination + " " + gateway};
}

std::optional<ToolCommand> WindowsToolBackend::RouteDeleteCommand(
    const std::string& routeTool, const std::string& destination) const {
    return ToolCommand{routeTool + " delete " + destination};
}

std::optional<ToolCommand> WindowsToolBackend::ArpAddCommand(
    const std::string& arpTool, const std::string& ip, const std::string& mac,
    const std::string& interfaceAddress) const {
    return ToolCommand{arpTool + " -s " + ip + " " + mac + " " + interfaceAddress};
}

std::optional<ToolCommand> WindowsToolBackend::ArpDeleteCommand(const std::string& arpTool,
                                                                const std::string& ip) const {
    return ToolCommand{arpTool + " -d " + ip};
}

std::optional<ToolCommand> WindowsToolBackend::ArpDeleteOnCommand(
    const std::string& arpTool, const std::string& ip, const std::string& interfaceAddress) const {
    return ToolCommand{arpTool + " -d " + ip + " " + interfaceAddress};
}

ToolCommand WindowsToolBackend::RouteListCommand(const std::string& routeTool) const {
    return ToolCommand{routeTool + " PRINT"};
}

std::string WindowsToolBackend::FormatRoutingTable(const std::string& listing) const {
    return ReformatRoutePrint(listing);
}

std::string WindowsToolBackend::ReformatRoutePrint(std::string text) {
    replaceAll(text, "Network Destination", "Destination");
    replaceAll(text, std::string(kRoutePrintRuleLength, '='),
               std::string(kRoutingTableRuleLength, '='));
    std::replace(text.begin(), text.end(), '\t', ' ');
    std::erase(text, '\r');
    if (const auto persistent = text.find("Persistent Routes:"); persistent != std::string::npos) {
        text.erase(persistent);
    }
    // From the table header on, every run of spaces becomes one tab; the interface list above
    // it keeps its spacing.
    if (const auto table = text.find("Destination"); table != std::string::npos) {
        std::string columns;
        columns.reserve(text.size() - table);
        for (std::size_t i = table; i < text.size(); ++i) {
            if (text[i] != ' ') {
                columns += text[i];
            } else if (i == table || text[i - 1] != ' ') {
                columns += '\t';
            }
        }
        text.replace(table, std::string::npos, columns);
    }
    // Rows that began with spaces would otherwise start with a tab.
    replaceAll(text, "\n\t", "\n");
    replaceAll(text, "Default\tGateway:", "Default Gateway:");
    return text;
}

}  // namespace vantor

#include "hostnet/ToolFailureText.h"

#include <algorithm>

#include "base/PrintableText.h"

namespace vantor {
namespace {

constexpr std::string_view kSilentFailure = "failed without a message";

}  // namespace

std::string ToolFailureText(const ToolCommand& command, std::string_view output) {
    std::string words;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = std::min(output.find_first_of("\r\n", start), output.size());
        std::string_view line = output.substr(start, end - start);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
            line.remove_suffix(1);
        }
        if (!line.empty()) {
            if (!words.empty()) {
                words += ' ';
            }
            words += line;
        }
        start = end + 1;
    }
    std::string name = command.empty() ? std::string() : command.front();
    if (const auto slash = name.rfind('/'); slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    return printableText(name + ": " + (words.empty() ? std::string(kSilentFailure) : words));
}

}  // namespace vantor

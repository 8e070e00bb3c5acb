#pragma once

#include <string>
#include <string_view>

#include "hostnet/HostToolBackend.h"

namespace vantor {

// The tool's name and its own words, as one printable line: "ip: RTNETLINK answers: File
// exists". Every line the tool printed is kept, joined by spaces; a tool that printed nothing
// "failed without a message".
std::string ToolFailureText(const ToolCommand& command, std::string_view output);

}  // namespace vantor

#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/HeardDevices.h"

namespace vantor {

// The list of devices heard as a CSV file (RFC 4180: CRLF line ends, a field holding a comma,
// a quote, CR or LF quoted, its quotes doubled), for an installer who opens it in a
// spreadsheet. A device's name comes from the network, so a cell that a spreadsheet would take
// for a formula (beginning with =, +, -, @, tab or CR) is led by an apostrophe.
struct HeardDevicesCsv {
    // The save dialog's file type and the name it offers.
    static constexpr std::string_view kFilter = "CSV File (*.csv)|*.csv||";
    static constexpr std::string_view kSuggestedName = "devices-heard.csv";
    static constexpr std::string_view kHeader =
        "MAC,Address,Name,Interface,State,First heard,Last heard\r\n";

    static std::string cell(std::string_view text);
    // The header and one line per device; times in ISO 8601 with the local offset.
    static std::string text(const std::vector<HeardDevice>& rows);
    // Writes `text` to a new file in the target's folder and renames it over `path`, so that
    // a failure leaves the earlier file whole. The reason when it failed.
    static std::optional<std::string> save(const std::string& path, std::string_view text);
    // Why `path` cannot take the list before anything is heard: it exists and is not a
    // regular file.
    static std::optional<std::string> targetProblem(const std::string& path);
};

}  // namespace vantor

#include "console/HeardDevicesCsv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/FileProblem.h"
#include "base/UniqueFd.h"
#include "base/WriteAll.h"
#include "console/StatusLogFile.h"

namespace vantor {

namespace {

constexpr std::string_view kFormulaLeads = "=+-@\t\r";
constexpr std::string_view kQuotedBecause = ",\"\r\n";
constexpr std::string_view kTempSuffix = ".XXXXXX";
// Read by whoever the installer mails it to; nothing in it is secret.
constexpr mode_t kListMode = 0644;

}  // namespace

std::string HeardDevicesCsv::cell(std::string_view text) {
    std::string value;
    if (!text.empty() && kFormulaLeads.find(text.front()) != std::string_view::npos) {
        value = "'";
    }
    value += text;
    if (value.find_first_of(kQuotedBecause) == std::string::npos) {
        return value;
    }
    std::string quoted = "\"";
    for (const char c : value) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string HeardDevicesCsv::text(const std::vector<HeardDevice>& rows) {
    std::string csv(kHeader);
    for (const HeardDevice& row : rows) {
        for (const std::string& field :
             {macText(row.mac), ipv4Text(row.address), row.name, row.interfaceAddress,
              std::string(heardStateName(row.state)), StatusLogFile::timestamp(row.firstHeard)}) {
            csv += cell(field) + ",";
        }
        csv += cell(StatusLogFile::timestamp(row.lastHeard)) + "\r\n";
    }
    return csv;
}

std::optional<std::string> HeardDevicesCsv::save(const std::string& path, std::string_view text) {
    if (const auto problem = targetProblem(path)) {
        return problem;
    }
    std::string temp = path + std::string(kTempSuffix);
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd) {
        return fileErrorText(errno);
    }
    int failure = 0;
    if (!writeAll(fd.get(), text) || ::fchmod(fd.get(), kListMode) != 0 || ::fsync(fd.get()) != 0 ||
        ::close(fd.release()) != 0) {
        failure = errno;
    } else if (std::rename(temp.c_str(), path.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        ::unlink(temp.c_str());
        return fileErrorText(failure);
    }
    return std::nullopt;
}

std::optional<std::string> HeardDevicesCsv::targetProblem(const std::string& path) {
    if (path.empty()) {
        return "no file name";
    }
    return writableTargetProblem(path);
}

}  // namespace vantor

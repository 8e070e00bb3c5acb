#include "headless/ArgumentFiles.h"

#include <sstream>
#include <utility>

#include "base/FileProblem.h"
#include "console/BatchAddressList.h"

namespace vantor {

namespace {

// How every file named on the command line is refused: the option, the path as typed, why.
std::string fileRefusal(std::string_view option, const std::string& path,
                        const std::string& reason) {
    return std::string(option) + " '" + path + "': " + reason;
}

}  // namespace

std::optional<std::string> ArgumentFiles::firstLine(std::istream& in) {
    std::string line;
    char c = 0;
    bool any = false;
    while (in.get(c) && c != '\n') {
        any = true;
        if (line.size() == kPasswordLineMax) {
            return std::nullopt;
        }
        line.push_back(c);
    }
    if (!any && c != '\n') {
        return std::nullopt;  // nothing at all: not even an empty line
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

std::optional<std::string> ArgumentFiles::resolve(CommandLine& options, std::istream& standardInput,
                                                  std::ostream& warnings) {
    if (options.action != CommandLine::Action::Update &&
        options.action != CommandLine::Action::BatchUpdate) {
        return std::nullopt;
    }
    std::string listText;
    if (!options.ipList.empty()) {
        FileStart list = readFileStart(options.ipList, kAddressListMax);
        if (!list.problem.empty()) {
            return fileRefusal("--ip-list", options.ipList, list.problem);
        }
        if (list.longer) {
            return fileRefusal("--ip-list", options.ipList,
                               "larger than " + std::to_string(kAddressListMax) + " bytes");
        }
        listText = std::move(list.bytes);
    } else {
        for (const std::string& ip : options.ips) {
            listText += ip + "\n";
        }
    }
    if (options.action == CommandLine::Action::BatchUpdate) {
        // A wrong or repeated address is the list's fault as much as an unreadable file is.
        BatchAddressList list = BatchAddressList::parse(listText);
        if (!list.error.empty()) {
            return options.ipList.empty() ? "--ip: " + list.error
                                          : fileRefusal("--ip-list", options.ipList, list.error);
        }
        options.batchAddresses = std::move(list.addresses);
    }
    switch (options.passwordSource) {
        case CommandLine::PasswordSource::Argument:
            warnings << "vantor: warning: a password on the command line can be read by every "
                        "user of this PC (ps); use --password-file FILE or --password -\n";
            break;
        case CommandLine::PasswordSource::StandardInput: {
            const auto line = firstLine(standardInput);
            if (!line) {
                return "--password -: no password line on standard input";
            }
            options.password = *line;
            break;
        }
        case CommandLine::PasswordSource::File: {
            // The first line and the byte after it: enough to tell a line that ends in time
            // from a longer one, whatever else the file holds.
            const FileStart start = readFileStart(options.passwordFile, kPasswordLineMax + 1);
            if (!start.problem.empty()) {
                return fileRefusal("--password-file", options.passwordFile, start.problem);
            }
            std::istringstream file(start.bytes);
            const auto line = firstLine(file);
            if (!line) {
                return fileRefusal("--password-file", options.passwordFile,
                                   "expected the device password on its first line");
            }
            options.password = *line;
            break;
        }
    }
    if (const auto problem = readableFileProblem(options.archive)) {
        return fileRefusal("--archive", options.archive, *problem);
    }
    return std::nullopt;
}

}  // namespace vantor

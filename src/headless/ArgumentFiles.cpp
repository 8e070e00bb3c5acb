#include "headless/ArgumentFiles.h"

#include <fstream>

#include "base/FileProblem.h"

namespace vantor {

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
            if (const auto problem = readableFileProblem(options.passwordFile)) {
                return "--password-file '" + options.passwordFile + "': " + *problem;
            }
            std::ifstream file(options.passwordFile, std::ios::binary);
            const auto line = firstLine(file);
            if (!line) {
                return "--password-file '" + options.passwordFile +
                       "': expected the device password on its first line";
            }
            options.password = *line;
            break;
        }
    }
    if (const auto problem = readableFileProblem(options.archive)) {
        return "--archive '" + options.archive + "': " + *problem;
    }
    return std::nullopt;
}

}  // namespace vantor

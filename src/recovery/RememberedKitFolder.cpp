#include "recovery/RememberedKitFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "base/FileProblem.h"
#include "base/UniqueFd.h"
#include "base/WriteAll.h"

namespace vantor {

namespace {

constexpr std::string_view kFallbackConfig = "/.config";
constexpr std::string_view kProgramFolder = "/vantor";
constexpr std::string_view kFileName = "/recovery-kit";
constexpr std::string_view kTempSuffix = ".XXXXXX";
constexpr std::string_view kBlanks = " \t\r\n";
// Either would end the remembered line, or the path, short.
constexpr std::string_view kLineEnds("\n\0", 2);
// The XDG Base Directory rules: folders the program creates there are the user's alone.
constexpr mode_t kFolderMode = 0700;

bool absolute(std::string_view path) {
    return !path.empty() && path.front() == '/';
}

// The folder the file lives in: $XDG_CONFIG_HOME/vantor or $HOME/.config/vantor.
std::string configBase() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && absolute(configHome)) {
        return configHome;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && absolute(home)) {
        return std::string(home) + std::string(kFallbackConfig);
    }
    return {};
}

bool makeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), kFolderMode) == 0 || errno == EEXIST;
}

}  // namespace

std::string RememberedKitFolder::File() {
    const std::string base = configBase();
    if (base.empty()) {
        return {};
    }
    return base + std::string(kProgramFolder) + std::string(kFileName);
}

std::string RememberedKitFolder::Load() {
    const std::string file = File();
    if (file.empty()) {
        return {};
    }
    // Read as any file the operator names: a FIFO put there must not hang the start-up.
    const FileStart start = readFileStart(file, kMaxFileBytes);
    if (!start.problem.empty()) {
        return {};
    }
    const std::string& text = start.bytes;
    std::string_view line(text);
    line = line.substr(0, line.find('\n'));
    const std::size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    line = line.substr(first, line.find_last_not_of(kBlanks) - first + 1);
    // A relative path would depend on wherever the program happened to start.
    if (!absolute(line) || line.find(kLineEnds.back()) != std::string_view::npos) {
        return {};
    }
    return std::string(line);
}

bool RememberedKitFolder::Save(const std::string& folder) {
    const std::string file = File();
    if (file.empty()) {
        return false;
    }
    if (folder.empty()) {
        return ::unlink(file.c_str()) == 0 || errno == ENOENT;
    }
    // Load would refuse it, and a line break would cut it short there.
    if (!absolute(folder) || folder.find_first_of(kLineEnds) != std::string::npos) {
        return false;
    }
    const std::string base = configBase();
    if (!makeFolder(base) || !makeFolder(base + std::string(kProgramFolder))) {
        return false;
    }
    // Written beside the file and renamed over it, so that a crash or a full disk leaves the
    // previous choice whole rather than half a path.
    std::string temp = file + std::string(kTempSuffix);
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd) {
        return false;
    }
    temp = name.data();
    const bool written = writeAll(fd.get(), folder + kLineEnds.front()) && ::fsync(fd.get()) == 0 &&
                         ::close(fd.release()) == 0;
    if (!written || std::rename(temp.c_str(), file.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace vantor

#include "netlab/LabCommand.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "netlab/LabError.h"

extern char** environ;

namespace vantor::netlab {

CommandResult LabCommand::Run(const std::vector<std::string>& argv) {
    CommandResult result;
    std::array<int, 2> ends{};
    if (argv.empty() || ::pipe2(ends.data(), O_CLOEXEC) != 0) {
        result.output = "cannot create a pipe";
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    std::vector<std::string> copy = argv;
    std::vector<char*> args;
    for (std::string& arg : copy) {
        args.push_back(arg.data());
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (error != 0) {
        ::close(ends[0]);
        result.output = std::string("cannot start: ") + std::strerror(error);
        return result;
    }
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t got = ::read(ends[0], buffer.data(), buffer.size());
        if (got > 0) {
            result.output.append(buffer.data(), static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(ends[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string LabCommand::Check(const std::vector<std::string>& argv) {
    CommandResult result = Run(argv);
    if (result.exitCode != 0) {
        throw LabError("netlab: `" + Describe(argv) + "` failed (exit " +
                       std::to_string(result.exitCode) + "): " + result.output);
    }
    return result.output;
}

const std::string& LabCommand::IpTool() {
    static const std::string path = [] {
        for (const char* candidate : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}) {
            if (::access(candidate, X_OK) == 0) {
                return std::string(candidate);
            }
        }
        return std::string();
    }();
    if (path.empty()) {
        throw LabError("netlab: iproute2's ip is not installed (apt-get install iproute2)");
    }
    return path;
}

std::string LabCommand::Describe(const std::vector<std::string>& argv) {
    std::string text;
    for (const std::string& arg : argv) {
        text += (text.empty() ? "" : " ") + arg;
    }
    return text;
}

}  // namespace vantor::netlab

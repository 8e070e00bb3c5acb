#include "hostnet/CCommandRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "base/UniqueFd.h"
#include "hostnet/HostToolLimits.h"

extern char** environ;

namespace vantor {
namespace {

// Console programs end with this prompt when run from a batch file; nobody will press a key.
constexpr std::string_view kPausePrompt = "Press any key to continue . . .";
constexpr std::string_view kCancelled =
    "\r\nCancelled.\r\n\r\nProcess terminated successfully.\r\n";
constexpr std::string_view kNoErrorText = "No status because FormatMessage failed.\r\n";

// The child we started, reaped exactly once whatever way the run ends.
class ChildProcess {
  public:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ~ChildProcess() {
        if (!reaped_) {
            ::kill(pid_, SIGKILL);
            reap();
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Asks without waiting whether the child has ended, and reaps it when it has.
    bool hasEnded() {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG) != 0) {
            // ECHILD: it was reaped behind our back (SIGCHLD ignored), so it has ended too.
            reaped_ = errno == ECHILD;
            return reaped_;
        }
        reaped_ = info.si_pid != 0;
        if (reaped_ && info.si_code == CLD_EXITED) {
            exitCode_ = info.si_status;
        }
        return reaped_;
    }
    // The code the child passed to exit(); nothing while it runs or when a signal ended it.
    std::optional<int> exitCode() const { return exitCode_; }
    int terminate() const { return ::kill(pid_, SIGKILL) == 0 ? 0 : errno; }
    void reap() {
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
    }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_;
    bool reaped_ = false;
    std::optional<int> exitCode_;
};

// Frees posix_spawn's argument objects on every return path.
struct SpawnActions {
    posix_spawn_file_actions_t value{};
    int error = posix_spawn_file_actions_init(&value);
    ~SpawnActions() {
        if (error == 0) {
            posix_spawn_file_actions_destroy(&value);
        }
    }
};
struct SpawnAttributes {
    posix_spawnattr_t value{};
    int error = posix_spawnattr_init(&value);
    ~SpawnAttributes() {
        if (error == 0) {
            posix_spawnattr_destroy(&value);
        }
    }
};

std::string systemErrorText(int errorCode) {
    std::array<char, 256> buffer{};
    // The GNU strerror_r returns the text, in our buffer or in a static one.
    const char* text = strerror_r(errorCode, buffer.data(), buffer.size());
    return text == nullptr ? std::string() : std::string(text);
}

}  // namespace

CCommandRunner::CCommandRunner(std::vector<std::string> commandLine, std::string& output,
                               std::optional<std::string> workingDirectory, Millis pollInterval)
    : output_(output),
      commandLine_(std::move(commandLine)),
      workingDirectory_(std::move(workingDirectory)),
      pollInterval_(pollInterval) {}

void CCommandRunner::Cancel() {
    cancelRequested_.store(true);
}

void CCommandRunner::AppendOutput(std::string_view text) {
    output_.append(text);
}

void CCommandRunner::ReportError(std::string_view context, int errorCode) {
    flushHeldBack();
    std::string text(context);
    text += "\r\n";
    const std::string system = systemErrorText(errorCode);
    if (system.empty()) {
        text += kNoErrorText;
    } else {
        text += system;
        text += "\r\n";
    }
    AppendOutput(text);
}

int CCommandRunner::spawnChild(int writeEnd, pid_t& pid) const {
    if (commandLine_.empty()) {
        return ENOENT;
    }
    SpawnActions actions;
    SpawnAttributes attributes;
    if (actions.error != 0) {
        return actions.error;
    }
    if (attributes.error != 0) {
        return attributes.error;
    }
    posix_spawn_file_actions_t* fa = &actions.value;
    int error = posix_spawn_file_actions_addopen(fa, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (error == 0) {
        error = posix_spawn_file_actions_adddup2(fa, writeEnd, STDOUT_FILENO);
    }
    if (error == 0) {
        error = posix_spawn_file_actions_adddup2(fa, writeEnd, STDERR_FILENO);
    }
    // Descriptors opened elsewhere in the program without close-on-exec must not leak into
    // the child either.
    if (error == 0) {
        error = posix_spawn_file_actions_addclosefrom_np(fa, STDERR_FILENO + 1);
    }
    if (error == 0 && workingDirectory_) {
        error = posix_spawn_file_actions_addchdir_np(fa, workingDirectory_->c_str());
    }
    // The calling thread may block or ignore signals; the child starts with a clean slate.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    if (error == 0) {
        error = posix_spawnattr_setsigmask(&attributes.value, &none);
    }
    if (error == 0) {
        error = posix_spawnattr_setsigdefault(&attributes.value, &all);
    }
    if (error == 0) {
        error = posix_spawnattr_setflags(&attributes.value,
                                         POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    if (error != 0) {
        return error;
    }
    std::vector<std::string> arguments = commandLine_;
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    // glibc reports a failed exec (a missing program) as the result of posix_spawn.
    return posix_spawn(&pid, argv[0], fa, &attributes.value, argv.data(), environ);
}

void CCommandRunner::Run() {
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0) {
        ReportError("Error creating pipe", errno);
        return;
    }
    const int readEnd = ends[0];
    const int writeEnd = ends[1];

    pid_t pid = -1;
    const int spawnError = spawnChild(writeEnd, pid);
    if (spawnError != 0) {
        ReportError("Error creating process", spawnError);
        closeReporting(readEnd, "Error closing pipe read handle.");
        closeReporting(writeEnd, "Error closing pipe write handle.");
        return;
    }

    {
        ChildProcess child(pid);
        // A pidfd lets the wait below end as soon as the child does; without one (older
        // kernels) the wait simply runs its full interval.
        UniqueFd exitWatch(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));

        // We keep our copy of the write end open, so the end of the output is "nothing
        // waiting and the child has ended", never end-of-file (a grandchild may hold the
        // pipe for ever).
        std::array<char, kRunnerBufferSize> buffer{};
        bool ended = false;
        for (;;) {
            int waiting = 0;
            if (::ioctl(readEnd, FIONREAD, &waiting) != 0) {
                ReportError("PeekNamedPipe fialed", errno);
                break;
            }
            if (waiting > 0) {
                const ssize_t got = ::read(readEnd, buffer.data(), kRunnerMaxRead);
                if (got < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    ReportError("ReadFile fialed", errno);
                    break;
                }
                takeChunk(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
                continue;  // drain without sleeping while data arrives
            }
            if (ended) {
                break;
            }
            if (child.hasEnded()) {
                // What the child wrote between our last look and its exit is in the pipe
                // now: one more pass collects it.
                ended = true;
                continue;
            }
            if (cancelRequested_.load()) {
                const int error = child.terminate();
                if (error == 0) {
                    child.reap();
                    flushHeldBack();
                    AppendOutput(kCancelled);
                } else {
                    ReportError("Error terminating process.", error);
                }
                break;
            }
            std::array<pollfd, 2> watch{{{readEnd, POLLIN, 0}, {exitWatch.get(), POLLIN, 0}}};
            const nfds_t count = exitWatch.valid() ? 2 : 1;
            if (::poll(watch.data(), count, static_cast<int>(pollInterval_.count())) < 0 &&
                errno != EINTR) {
                ReportError("PeekNamedPipe fialed", errno);
                break;
            }
        }
        flushHeldBack();
        exitCode_ = child.exitCode();
        // A run that ended on an error leaves no orphan behind: ChildProcess kills and reaps.
        if (exitWatch.valid()) {
            closeReporting(exitWatch.release(), "Error closing process handle.");
        }
    }
    closeReporting(readEnd, "Error closing pipe read handle.");
    closeReporting(writeEnd, "Error closing pipe write handle.");
}

void CCommandRunner::takeChunk(std::string_view bytes) {
    std::string chunk = std::move(heldBack_);
    heldBack_.clear();
    bool cut = false;
    // The text of a chunk ends at its first zero byte.
    if (const auto zero = bytes.find('\0'); zero != std::string_view::npos) {
        bytes = bytes.substr(0, zero);
        cut = true;
    }
    chunk.append(bytes);
    std::replace(chunk.begin(), chunk.end(), '\b', ' ');
    if (const auto prompt = chunk.find(kPausePrompt); prompt != std::string::npos) {
        chunk.resize(prompt);
        cut = true;
    }
    if (!cut) {
        // Hold back the longest tail that may still grow into the prompt.
        const std::size_t longest = std::min(chunk.size(), kPausePrompt.size() - 1);
        for (std::size_t length = longest; length > 0; --length) {
            const std::size_t tail = chunk.size() - length;
            if (std::string_view(chunk).substr(tail) == kPausePrompt.substr(0, length)) {
                heldBack_.assign(chunk, tail);
                // erase, not resize: only shrinks, so the optimiser sees no growing copy
                // (resize's append path made GCC 12 -O3 report a false -Wrestrict).
                chunk.erase(tail);
                break;
            }
        }
    }
    AppendOutput(chunk);
}

void CCommandRunner::flushHeldBack() {
    if (!heldBack_.empty()) {
        AppendOutput(heldBack_);
        heldBack_.clear();
    }
}

void CCommandRunner::closeReporting(int fd, std::string_view message) {
    if (::close(fd) != 0 && errno != EINTR) {
        ReportError(message, errno);
    }
}

}  // namespace vantor

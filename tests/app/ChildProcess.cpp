#include "app/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vantor::test {

using Clock = std::chrono::steady_clock;

ChildProcess::ChildProcess(std::vector<std::string> argv) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<char*> raw;
    for (std::string& word : argv) {
        raw.push_back(word.data());
    }
    raw.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
    if (posix_spawnp(&pid_, raw[0], &actions, nullptr, raw.data(), environ) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    out_ = ends[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) {
        close(out_);
    }
}

long ChildProcess::readSome(int timeoutMs) {
    pollfd fd{out_, POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0) {
        return 0;
    }
    char buffer[4096];
    const ssize_t n = read(out_, buffer, sizeof buffer);
    if (n <= 0) {
        return -1;  // every writer has gone
    }
    output_.append(buffer, static_cast<std::size_t>(n));
    return n;
}

const std::string& ChildProcess::readUntil(const std::string& text, int count,
                                           std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (occurrences(text) < count && Clock::now() < deadline && readSome(50) >= 0) {
    }
    return output_;
}

int ChildProcess::occurrences(const std::string& text) const {
    if (text.empty()) {
        return 0;
    }
    int found = 0;
    for (auto at = output_.find(text); at != std::string::npos;
         at = output_.find(text, at + text.size())) {
        ++found;
    }
    return found;
}

void ChildProcess::signal(int sig) {
    if (pid_ > 0) {
        kill(pid_, sig);
    }
}

int ChildProcess::waitExit(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            while (readSome(0) > 0) {
                // what it wrote just before it ended
            }
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (readSome(5) < 0) {
            usleep(5000);
        }
    }
    return -1;
}

}  // namespace vantor::test

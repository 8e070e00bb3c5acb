#include "assign/DeviceSim.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <fstream>
#include <future>
#include <sstream>

#include "netlab/LabError.h"

extern char** environ;

namespace vantor::test {

DeviceSim::DeviceSim(const netlab::LabNamespace& device, std::vector<std::string> args)
    : record_(directory_.file("record")) {
    std::vector<std::string> argv{VANTOR_DEVICE_SIM};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"--record", record_});
    const std::string output = directory_.file("output");
    auto started = std::make_shared<std::promise<void>>();
    std::future<void> spawned = started->get_future();
    // The program is started from a thread inside the namespace, so that it lives there.
    thread_ = device.start([this, argv, output, started](const std::stop_token&) {
        std::vector<char*> raw;
        for (const std::string& arg : argv) {
            raw.push_back(const_cast<char*>(arg.c_str()));
        }
        raw.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid = -1;
        const int error = posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            started->set_exception(std::make_exception_ptr(
                netlab::LabError("cannot start the device simulator " + argv[0])));
            return;
        }
        {
            const std::lock_guard lock(pidMutex_);
            pid_ = pid;
        }
        started->set_value();
        // Waits without reaping first: until the pid is forgotten under the lock, it cannot
        // be reused, so stop() never signals another process.
        siginfo_t info{};
        while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 &&
               errno == EINTR) {
        }
        {
            const std::lock_guard lock(pidMutex_);
            pid_ = -1;
        }
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    });
    spawned.get();
}

DeviceSim::~DeviceSim() {
    stop();
}

void DeviceSim::wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void DeviceSim::stop() {
    {
        const std::lock_guard lock(pidMutex_);
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
        }
    }
    wait();
}

std::string DeviceSim::output() const {
    std::ifstream in(directory_.file("output"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> DeviceSim::records() const {
    std::vector<std::string> lines;
    std::ifstream in(record_);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> DeviceSim::records(const std::string& word) const {
    std::vector<std::string> matching;
    for (const std::string& line : records()) {
        if (line.rfind(word, 0) == 0) {
            matching.push_back(line);
        }
    }
    return matching;
}

}  // namespace vantor::test

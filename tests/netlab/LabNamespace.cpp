#include "netlab/LabNamespace.h"

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <future>

#include "netlab/LabError.h"

namespace vantor::netlab {

void LabNamespace::enter() const {
    const std::string path = "/run/netns/" + name_;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw LabError("netlab: cannot open " + path + ": " + std::strerror(errno));
    }
    const int result = ::setns(fd, CLONE_NEWNET);
    const int error = errno;
    ::close(fd);
    if (result != 0) {
        throw LabError("netlab: cannot enter network namespace " + name_ + ": " +
                       std::strerror(error) + " (the network tests need root)");
    }
}

std::jthread LabNamespace::start(std::function<void(std::stop_token)> fn) const {
    // The thread has entered the namespace (or failed to) before the caller gets it, so that
    // a failure surfaces here and fn never runs in the wrong namespace.
    std::promise<void> entered;
    std::future<void> ready = entered.get_future();
    std::jthread worker(
        [this, fn = std::move(fn), entered = std::move(entered)](std::stop_token stop) mutable {
            try {
                enter();
            } catch (...) {
                entered.set_exception(std::current_exception());
                return;
            }
            entered.set_value();
            fn(stop);
        });
    ready.get();  // rethrows the failure to enter; the thread has ended then
    return worker;
}

CommandResult LabNamespace::exec(const std::vector<std::string>& argv) const {
    return run([&] { return LabCommand::Run(argv); });
}

std::string LabNamespace::ip(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{LabCommand::IpTool(), "-n", name_};
    argv.insert(argv.end(), args.begin(), args.end());
    return LabCommand::Check(argv);
}

std::string LabNamespace::sysctl(std::string_view key) const {
    // /proc/sys/net shows the settings of the reading thread's namespace.
    return run([&] {
        std::ifstream in("/proc/sys/" + std::string(key));
        std::string value;
        std::getline(in, value);
        if (!in) {
            throw LabError("netlab: cannot read /proc/sys/" + std::string(key));
        }
        return value;
    });
}

void LabNamespace::setSysctl(std::string_view key, std::string_view value) const {
    run([&] {
        std::ofstream out("/proc/sys/" + std::string(key));
        out << value << '\n';
        out.flush();
        if (!out) {
            throw LabError("netlab: cannot set /proc/sys/" + std::string(key) + " in " + name_);
        }
    });
}

pid_t LabNamespace::spawn(std::vector<std::string> argv) const {
    return run([&] {
        std::vector<char*> raw;
        for (auto& argument : argv) {
            raw.push_back(argument.data());
        }
        raw.push_back(nullptr);
        pid_t pid = -1;
        return ::posix_spawn(&pid, raw[0], nullptr, nullptr, raw.data(), environ) == 0 ? pid : -1;
    });
}

}  // namespace vantor::netlab

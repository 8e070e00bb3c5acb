#include "support/MiniLab.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <thread>

namespace vantor::test {
namespace {

const char* ipTool() {
    static constexpr std::array<const char*, 4> kPaths = {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip",
                                                          "/bin/ip"};
    for (const char* path : kPaths) {
        if (access(path, X_OK) == 0) {
            return path;
        }
    }
    return nullptr;
}

// A fresh network namespace, made on a short-lived thread so that the test's own threads
// stay where they are (the network namespace is per thread).
UniqueFd newNamespace() {
    UniqueFd result;
    std::thread([&result] {
        if (unshare(CLONE_NEWNET) == 0) {
            result.reset(open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC));
        }
    }).join();
    return result;
}

}  // namespace

void MiniLab::Namespace::run(const std::function<void()>& body) const {
    std::thread([&] {
        if (setns(fd_.get(), CLONE_NEWNET) == 0) {
            body();
        }
    }).join();
}

bool MiniLab::Namespace::ip(const std::vector<std::string>& args) const {
    const char* tool = ipTool();
    if (tool == nullptr) {
        return false;
    }
    // Everything the child needs is prepared before fork(): after it only system calls.
    std::vector<std::string> words{tool};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const int fd = fd_.get();
    const pid_t child = fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        if (setns(fd, CLONE_NEWNET) != 0) {
            _exit(126);
        }
        execv(tool, argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string MiniLab::Namespace::path() const {
    return "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(fd_.get());
}

bool MiniLab::Supported() {
    if (geteuid() != 0 || ipTool() == nullptr) {
        return false;
    }
    return static_cast<bool>(newNamespace());
}

MiniLab::Namespace* MiniLab::addNamespace() {
    UniqueFd fd = newNamespace();
    if (!fd) {
        return nullptr;
    }
    auto space = std::make_unique<Namespace>(std::move(fd));
    if (!space->ip({"link", "set", "lo", "up"})) {
        return nullptr;
    }
    spaces_.push_back(std::move(space));
    return spaces_.back().get();
}

bool MiniLab::link(const Namespace& a, const std::string& nameA, const std::string& addressA,
                   const Namespace& b, const std::string& nameB, const std::string& addressB) {
    return a.ip({"link", "add", nameA, "type", "veth", "peer", "name", nameB, "netns", b.path()}) &&
           a.ip({"address", "add", addressA, "dev", nameA}) &&
           b.ip({"address", "add", addressB, "dev", nameB}) && a.ip({"link", "set", nameA, "up"}) &&
           b.ip({"link", "set", nameB, "up"});
}

}  // namespace vantor::test

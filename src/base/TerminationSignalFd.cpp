#include "base/TerminationSignalFd.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>

namespace vantor {

namespace {

sigset_t terminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void TerminationSignalFd::block() {
    const sigset_t set = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

TerminationSignalFd::TerminationSignalFd() {
    const sigset_t set = terminationSignals();
    fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

TerminationSignalFd::~TerminationSignalFd() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool TerminationSignalFd::drain() {
    signalfd_siginfo info{};
    bool any = false;
    while (fd_ >= 0 && ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        any = true;
    }
    return any;
}

}  // namespace vantor

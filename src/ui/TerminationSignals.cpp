#include "ui/TerminationSignals.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

#include "console/HeadlessFrontEnd.h"

namespace vantor::ui {

namespace {

sigset_t terminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void TerminationSignals::block() {
    HeadlessFrontEnd::blockTerminationSignals();
}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    const sigset_t set = terminationSignals();
    fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd_ < 0) {
        return;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPending);
}

TerminationSignals::~TerminationSignals() {
    if (notifier_ != nullptr) {
        notifier_->setEnabled(false);
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void TerminationSignals::readPending() {
    signalfd_siginfo info{};
    bool any = false;
    while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        any = true;
    }
    if (any) {
        Q_EMIT received();
    }
}

}  // namespace vantor::ui

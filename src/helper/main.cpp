// vantor-net-helper: opens the privileged sockets and changes the neighbour entries and host
// routes the program asks for, over the socketpair it is started with (descriptor 3). It is
// the only part of the product with network capabilities (cap_net_bind_service, cap_net_admin,
// cap_net_raw as file capabilities), so it trusts nothing the program sends: it serves
// well-formed requests one at a time, ends on anything else, and on its way out removes the
// neighbour entries and host routes it made that the operator has not kept.
#include <fcntl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "base/Timings.h"
#include "helper/HelperChannel.h"
#include "helper/HelperProcess.h"
#include "helper/NetHelperService.h"
#include "helper/SystemHelperHost.h"

namespace {

using namespace vantor;

bool isSeqpacketUnixSocket(int fd) {
    int domain = 0;
    int type = 0;
    socklen_t domainSize = sizeof domain;
    socklen_t typeSize = sizeof type;
    return ::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &domainSize) == 0 &&
           ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeSize) == 0 && domain == AF_UNIX &&
           type == SOCK_SEQPACKET;
}

// SIGTERM, SIGHUP and SIGINT, blocked and read from a descriptor, so that one ends the helper
// between two requests and never in the middle of `ip`. CCommandRunner unblocks them again in
// the child it starts.
UniqueFd terminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        sigaddset(&set, signal);
    }
    if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
        return UniqueFd();
    }
    return UniqueFd(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
}

HelperExit serve(HelperChannel& channel, NetHelperService& service) {
    while (true) {
        HelperRequest request;
        HelperChannel::Event event = channel.Receive(request);
        if (event == HelperChannel::Event::ok) {
            event = channel.Send(service.Handle(request));
        }
        switch (event) {
            case HelperChannel::Event::ok:
                break;
            case HelperChannel::Event::closed:
            case HelperChannel::Event::terminated:
                return HelperExit::ended;
            case HelperChannel::Event::bad:
                return HelperExit::badRecord;
        }
    }
}

}  // namespace

int main() {
    // Nothing the program left open beyond the socket lives on here or in `ip`.
    ::close_range(kHelperSocketDescriptor + 1, ~0U, 0);
    if (!isSeqpacketUnixSocket(kHelperSocketDescriptor) ||
        ::fcntl(kHelperSocketDescriptor, F_SETFD, FD_CLOEXEC) != 0) {
        return static_cast<int>(HelperExit::cannotServe);
    }
    // Whoever started it, `ip` runs with this environment alone: CAP_NET_ADMIN reaches it as an
    // ambient capability, which does not make its loader ignore the caller's variables.
    ::clearenv();
    for (const auto& [name, value] : kHelperEnvironment) {
        ::setenv(name, value, 1);
    }
    // A program gone mid-answer is a failed send, not the end of the helper by signal.
    std::signal(SIGPIPE, SIG_IGN);
    const UniqueFd signals = terminationSignals();
    if (!signals) {
        return static_cast<int>(HelperExit::cannotServe);
    }
    SystemHelperHost host(Timings{}.runnerPoll);
    NetHelperService service(host);
    HelperChannel channel(kHelperSocketDescriptor, signals.get());
    const HelperExit exit = serve(channel, service);
    service.RemoveAll();
    return static_cast<int>(exit);
}

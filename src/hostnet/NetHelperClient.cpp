#include "hostnet/NetHelperClient.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstring>
#include <vector>

namespace vantor {
namespace {

// How often the end of the helper is looked for while the program waits for it.
constexpr Millis kFarewellPoll{10};

// Resets what the helper must not inherit from a program that blocks or ignores signals.
bool prepareAttributes(posix_spawnattr_t& attributes) {
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        sigaddset(&defaults, signal);
    }
    return posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                     POSIX_SPAWN_SETPGROUP) == 0 &&
           posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
           posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
           posix_spawnattr_setpgroup(&attributes, 0) == 0;
}

int spawnHelper(const std::string& path, int helperEnd, pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    int error = EINVAL;
    if (posix_spawn_file_actions_adddup2(&actions, helperEnd, kHelperSocketDescriptor) == 0 &&
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
        prepareAttributes(attributes)) {
        std::vector<char> program(path.begin(), path.end());
        program.push_back('\0');
        char* const argv[] = {program.data(), nullptr};
        // Nothing of the caller's environment: "NAME=value" for each fixed variable.
        std::vector<std::string> settings;
        for (const auto& [name, value] : kHelperEnvironment) {
            settings.push_back(std::string(name) + "=" + value);
        }
        std::vector<char*> environment;
        for (std::string& setting : settings) {
            environment.push_back(setting.data());
        }
        environment.push_back(nullptr);
        error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environment.data());
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

}  // namespace

std::unique_ptr<NetHelperClient> NetHelperClient::Start(const std::string& path,
                                                        const Timings& timings,
                                                        std::string& problem) {
    std::array<int, 2> ends{-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends.data()) != 0) {
        problem = std::strerror(errno);
        return nullptr;
    }
    UniqueFd ours(ends[0]);
    const UniqueFd helperEnd(ends[1]);  // closed here once the helper holds its copy
    pid_t pid = 0;
    if (const int error = spawnHelper(path, helperEnd.get(), pid); error != 0) {
        problem = std::strerror(error);
        return nullptr;
    }
    auto client = std::make_unique<NetHelperClient>(std::move(ours), pid, timings);
    UniqueFd none;
    const auto greeting = client->Ask(HelperRequest{HelperRequestKind::hello}, &none);
    if (!greeting || greeting->status != HelperStatus::done) {
        problem = "it did not answer";
        return nullptr;
    }
    client->capabilities_ = greeting->capabilities;
    return client;
}

NetHelperClient::NetHelperClient(UniqueFd socket, pid_t helper, const Timings& timings)
    : socket_(std::move(socket)),
      helper_(helper),
      patience_(timings.helperPatience),
      farewell_(timings.helperFarewell) {
    // The reader takes no signal meant for the process: a front-end blocks SIGTERM and SIGINT
    // to read them from its loop, and may do so only after this thread has started.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    reader_ = std::thread([this] { readAnswers(); });
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

NetHelperClient::~NetHelperClient() {
    // The helper reads the end of the stream as the program's end.
    ::shutdown(socket_.get(), SHUT_RDWR);
    reader_.join();
    if (helper_ <= 0) {
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + farewell_;
    while (::waitpid(helper_, nullptr, WNOHANG) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kFarewellPoll);
    }
}

std::optional<HelperAnswer> NetHelperClient::Ask(HelperRequest request, UniqueFd* descriptor) {
    {
        const std::lock_guard lock(mutex_);
        if (ended_) {
            return std::nullopt;
        }
        request.sequence = nextSequence_++;
    }
    const std::vector<std::uint8_t> record = HelperRecord::BuildRequest(request);
    // One record is one message of the socketpair, sent whole or not at all; a helper whose
    // queue is full is not reading, and waiting for it would hold this caller for nothing.
    if (::send(socket_.get(), record.data(), record.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
        static_cast<ssize_t>(record.size())) {
        const std::lock_guard lock(mutex_);
        endLocked();
        return std::nullopt;
    }
    std::unique_lock lock(mutex_);
    const bool arrived = answered_.wait_for(
        lock, patience_, [&] { return ended_ || answers_.contains(request.sequence); });
    const auto found = answers_.find(request.sequence);
    if (!arrived || found == answers_.end()) {
        endLocked();
        return std::nullopt;
    }
    Received received = std::move(found->second);
    answers_.erase(found);
    if (descriptor != nullptr) {
        *descriptor = std::move(received.descriptor);
    }
    return received.answer;
}

void NetHelperClient::endLocked() {
    if (!ended_) {
        ended_ = true;
        // The helper's end of the stream: it cleans up and ends, and the reader wakes.
        ::shutdown(socket_.get(), SHUT_RDWR);
    }
    answered_.notify_all();
}

void NetHelperClient::readAnswers() {
    for (;;) {
        std::array<std::uint8_t, kHelperAnswerSize + 1> buffer{};
        alignas(cmsghdr) std::array<unsigned char, CMSG_SPACE(sizeof(int))> control{};
        iovec part{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const ssize_t length = ::recvmsg(socket_.get(), &message, MSG_CMSG_CLOEXEC);
        if (length < 0 && errno == EINTR) {
            continue;
        }
        UniqueFd descriptor;
        if (length > 0 && (message.msg_flags & MSG_CTRUNC) == 0) {
            for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
                 header = CMSG_NXTHDR(&message, header)) {
                if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
                    header->cmsg_len == CMSG_LEN(sizeof(int))) {
                    int fd = -1;
                    std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
                    descriptor.reset(fd);
                }
            }
        }
        const auto answer = length > 0 ? HelperRecord::ParseAnswer(std::span(buffer).first(
                                             static_cast<std::size_t>(length)))
                                       : std::nullopt;
        const std::lock_guard lock(mutex_);
        if (!answer || (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0 ||
            ((answer->flags & kHelperDescriptorSent) != 0) != descriptor.valid()) {
            endLocked();
            return;
        }
        answers_[answer->sequence] = Received{*answer, std::move(descriptor)};
        answered_.notify_all();
    }
}

}  // namespace vantor

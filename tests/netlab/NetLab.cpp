#include "netlab/NetLab.h"

#include <dirent.h>
#include <sys/mount.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "netlab/LabCommand.h"

namespace vantor::netlab {
namespace {

constexpr std::string_view kPrefix = "vantor-";
constexpr std::string_view kNetnsDirectory = "/run/netns/";

// The names the interrupt handler must remove. A signal handler can reach nothing but global
// state, and may only make system calls: it does what `ip netns del` does (detach the bind
// mount that keeps the namespace alive, remove the file), and the kernel then frees the
// namespace and its veth ends once this process is gone.
constexpr std::size_t kSlots = 128;
constexpr std::size_t kPathSize = 128;
struct Slot {
    std::atomic<bool> ready{false};
    std::array<char, kPathSize> path{};
};
std::array<Slot, kSlots> registry;
std::mutex registryMutex;  // between threads registering; the handler takes no lock

constexpr std::array<int, 4> kCleanupSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void removeRegistered(int signal) {
    for (Slot& slot : registry) {
        if (slot.ready.load()) {
            ::umount2(slot.path.data(), MNT_DETACH);
            ::unlink(slot.path.data());
        }
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void installHandlers() {
    for (const int signal : kCleanupSignals) {
        struct sigaction current {};
        ::sigaction(signal, nullptr, &current);
        if (current.sa_handler == SIG_DFL) {
            struct sigaction action {};
            action.sa_handler = &removeRegistered;
            sigemptyset(&action.sa_mask);
            ::sigaction(signal, &action, nullptr);
        }
    }
}

void registerName(const std::string& name) {
    const std::string path = std::string(kNetnsDirectory) + name;
    const std::lock_guard<std::mutex> lock(registryMutex);
    for (Slot& slot : registry) {
        if (!slot.ready.load() && path.size() < kPathSize) {
            std::memcpy(slot.path.data(), path.c_str(), path.size() + 1);
            slot.ready.store(true);
            return;
        }
    }
    // Only the interrupt cleanup is lost; the destructor and the sweep still remove it.
}

void unregisterName(const std::string& name) {
    const std::string path = std::string(kNetnsDirectory) + name;
    const std::lock_guard<std::mutex> lock(registryMutex);
    for (Slot& slot : registry) {
        if (slot.ready.load() && path == slot.path.data()) {
            slot.ready.store(false);
        }
    }
}

std::once_flag setUpOnce;
std::atomic<unsigned> nextNumber{0};

// The pid in "vantor-<pid>-<n>", or 0 when the name is not of that form.
pid_t ownerOf(std::string_view name) {
    if (!name.starts_with(kPrefix)) {
        return 0;
    }
    name.remove_prefix(kPrefix.size());
    const auto dash = name.find('-');
    if (dash == std::string_view::npos) {
        return 0;
    }
    const std::string_view pidText = name.substr(0, dash);
    const std::string_view numberText = name.substr(dash + 1);
    const auto allDigits = [](std::string_view text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    pid_t pid = 0;
    if (!allDigits(pidText) || !allDigits(numberText) ||
        std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid).ec != std::errc{}) {
        return 0;
    }
    return pid;
}

}  // namespace

void NetLab::SweepStale() {
    DIR* directory = ::opendir(std::string(kNetnsDirectory).c_str());
    if (directory == nullptr) {
        return;  // no namespaces at all
    }
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(directory)) {
        const pid_t owner = ownerOf(entry->d_name);
        if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH) {
            stale.emplace_back(entry->d_name);
        }
    }
    ::closedir(directory);
    for (const std::string& name : stale) {
        LabCommand::Run({LabCommand::IpTool(), "netns", "del", name});
    }
}

NetLab::NetLab() {
    std::call_once(setUpOnce, [] {
        installHandlers();
        SweepStale();
    });
}

NetLab::~NetLab() {
    for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it) {
        const std::string& name = (*it)->name();
        const CommandResult result = LabCommand::Run({LabCommand::IpTool(), "netns", "del", name});
        if (result.exitCode != 0) {
            std::fprintf(stderr, "netlab: cannot remove network namespace %s: %s\n", name.c_str(),
                         result.output.c_str());
        }
        unregisterName(name);
    }
}

LabNamespace& NetLab::addNamespace() {
    const std::string name = std::string(kPrefix) + std::to_string(::getpid()) + "-" +
                             std::to_string(nextNumber.fetch_add(1));
    // Registered before it exists, so that an interrupt while it is made still removes it.
    registerName(name);
    const CommandResult result = LabCommand::Run({LabCommand::IpTool(), "netns", "add", name});
    if (result.exitCode != 0) {
        unregisterName(name);
        throw LabError("netlab: cannot create network namespace " + name + ": " + result.output +
                       (::geteuid() != 0 ? " (not running as root: the network tests need root)"
                                         : " (the network tests need CAP_SYS_ADMIN and "
                                           "CAP_NET_ADMIN)"));
    }
    namespaces_.push_back(std::make_unique<LabNamespace>(name));
    LabNamespace& created = *namespaces_.back();
    created.ip({"link", "set", "lo", "up"});
    return created;
}

NetLab::Link NetLab::connect(LabNamespace& a, std::string_view addressA, LabNamespace& b,
                             std::string_view addressB) {
    Link link{a.nextInterfaceName(), b.nextInterfaceName()};
    // Both ends are made where they belong, so that their names never meet in one namespace.
    a.ip({"link", "add", link.interfaceA, "type", "veth", "peer", "name", link.interfaceB, "netns",
          b.name()});
    const auto configure = [](LabNamespace& side, const std::string& interface,
                              std::string_view address) {
        if (!address.empty()) {
            side.ip({"address", "add", std::string(address), "dev", interface});
        }
        side.ip({"link", "set", interface, "up"});
    };
    configure(a, link.interfaceA, addressA);
    configure(b, link.interfaceB, addressB);
    return link;
}

}  // namespace vantor::netlab

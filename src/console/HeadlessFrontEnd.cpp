#include "console/HeadlessFrontEnd.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "console/HeadlessView.h"
#include "console/OperatorConsole.h"
#include "console/TerminationSignalFd.h"

namespace vantor {

namespace {

// A descriptor closed when it goes out of scope.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// "a.b.c.d" as its four texts; fewer or more when the text has fewer or more dots.
std::vector<std::string> splitIp(const std::string& text) {
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == '.') {
            parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    return parts;
}

}  // namespace

HeadlessFrontEnd::OneShot HeadlessFrontEnd::startSet(OperatorConsole&, const CommandLine&,
                                                     std::ostream& out) {
    out << "vantor: this build cannot run a Set yet\n";
    return [] { return std::optional<int>(1); };
}

HeadlessFrontEnd::OneShot HeadlessFrontEnd::startUpdate(OperatorConsole& console,
                                                        const CommandLine& options,
                                                        std::ostream& out) {
    const FirmwareUpgrader* driver = console.upgradeDriver();
    if (driver == nullptr) {
        out << "vantor: the firmware file mode could not be entered\n";
        return [] { return std::optional<int>(1); };
    }
    // The operator's input, as typed into the window: the address one octet per field.
    const std::vector<std::string> octets = splitIp(options.ip);
    for (std::size_t i = 0; i < kIpControls.size(); ++i) {
        console.OnFieldEdited(kIpControls[i], i < octets.size() ? octets[i] : std::string());
    }
    console.OnTextEdited(ControlId::PasswordEdit, options.password);
    console.OnTextEdited(ControlId::FirmwarePath, options.archive);
    console.OnCheckToggled(ControlId::OnePageCheck, options.onePage);

    const int startedBefore = driver->runs().started;
    console.OnUpdate();
    if (driver->runs().started == startedBefore) {
        return [] { return std::optional<int>(1); };  // refused before a run started
    }
    return [driver]() -> std::optional<int> {
        const UpgradeRuns runs = driver->runs();
        if (runs.ended < runs.started) {
            return std::nullopt;
        }
        return runs.lastSucceeded ? 0 : 1;
    };
}

HeadlessFrontEnd::HeadlessFrontEnd(InterfaceSource& interfaces, WorkerFactory& workers,
                                   Timings timings)
    : interfaces_(interfaces), workers_(workers), timings_(timings) {}

void HeadlessFrontEnd::blockTerminationSignals() {
    TerminationSignalFd::block();
}

int HeadlessFrontEnd::run(const CommandLine& options, std::ostream& out) {
    TerminationSignalFd signalFd;
    const Fd wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (signalFd.fd() < 0 || wakeFd.get() < 0) {
        out << "vantor: cannot set up the event loop\n";
        return 1;
    }

    std::atomic<bool> closeRequested{false};
    OperatorConsole console(ConsoleServices{interfaces_, workers_, timings_});
    const int wake = wakeFd.get();
    console.dispatcher().setWake([wake] {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake, &one, sizeof one);
    });
    HeadlessView view(out, [&] { closeRequested = true; });
    console.attachView(&view);
    console.Initialize();

    if (options.mode != ConsoleMode::Auto) {
        console.OnRadioClicked(radioOf(options.mode));
    }
    int exitCode = 0;
    OneShot oneShot;
    if (options.action == CommandLine::Action::Set) {
        oneShot = startSet(console, options, out);
    } else if (options.action == CommandLine::Action::Update) {
        oneShot = startUpdate(console, options, out);
    }

    using Clock = std::chrono::steady_clock;
    auto nextTick = Clock::now() + timings_.bannerBlink;
    while (!closeRequested) {
        console.dispatcher().drain();
        if (oneShot) {
            if (const std::optional<int> code = oneShot()) {
                exitCode = *code;
                break;
            }
        }
        const auto now = Clock::now();
        if (now >= nextTick) {
            console.OnTimerTick();
            nextTick = now + timings_.bannerBlink;
        }
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - Clock::now());
        pollfd fds[2] = {{signalFd.fd(), POLLIN, 0}, {wakeFd.get(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(std::max<long long>(0, wait.count())));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(wakeFd.get(), &count, sizeof count);
        }
        if ((fds[0].revents & POLLIN) != 0) {
            signalFd.drain();
            break;
        }
    }
    console.Shutdown();
    console.attachView(nullptr);
    return exitCode;
}

}  // namespace vantor

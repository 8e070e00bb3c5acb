#include "headless/HeadlessFrontEnd.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "base/TerminationSignalFd.h"
#include "base/UniqueFd.h"
#include "console/BatchAddressList.h"
#include "console/CloseRequestWatch.h"
#include "console/ConsoleLimits.h"
#include "console/OperatorConsole.h"
#include "headless/HeadlessView.h"

namespace vantor {

namespace {

std::vector<std::string_view> splitAt(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

}  // namespace

MacTexts HeadlessFrontEnd::macFieldTexts(std::string_view mac) {
    const std::vector<std::string_view> parts = splitAt(mac, '-');
    MacTexts texts;
    texts.fill("00");
    if (parts.size() != texts.size()) {
        return texts;
    }
    MacTexts typed;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].size() != 2 || !std::isxdigit(static_cast<unsigned char>(parts[i][0])) ||
            !std::isxdigit(static_cast<unsigned char>(parts[i][1]))) {
            return texts;
        }
        for (char c : parts[i]) {
            typed[i].push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
    }
    return typed;
}

IpTexts HeadlessFrontEnd::ipFieldTexts(std::string_view ip) {
    const std::vector<std::string_view> parts = splitAt(ip, '.');
    IpTexts texts;
    texts.fill("0");
    if (parts.size() != texts.size()) {
        return texts;
    }
    IpTexts typed;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool digits = !parts[i].empty() && parts[i].size() <= kIpFieldLimit &&
                            std::all_of(parts[i].begin(), parts[i].end(), [](char c) {
                                return std::isdigit(static_cast<unsigned char>(c)) != 0;
                            });
        if (!digits) {
            return texts;
        }
        // The range is the validity check's to judge: "256" stays "256" and is refused there.
        typed[i] = AddressFields::normalizeIp(parts[i]);
    }
    return typed;
}

HeadlessFrontEnd::OneShot HeadlessFrontEnd::startSet(OperatorConsole& console,
                                                     const CommandLine& options, std::ostream&) {
    // Typed as the operator types them, each field left so that it is normalised.
    const MacTexts mac = macFieldTexts(options.mac);
    const IpTexts ip = ipFieldTexts(options.ip);
    for (std::size_t i = 0; i < kMacControls.size(); ++i) {
        console.OnFieldEdited(kMacControls[i], mac[i]);
        console.OnFieldFocusLost(kMacControls[i]);
    }
    for (std::size_t i = 0; i < kIpControls.size(); ++i) {
        console.OnFieldEdited(kIpControls[i], ip[i]);
        console.OnFieldFocusLost(kIpControls[i]);
    }
    // The run blocks this thread, as it blocks the window's. Entering Manual left no current
    // device; only a successful assignment makes one.
    console.OnSet();
    const int exitCode = console.serverIP().empty() ? 1 : 0;
    return [exitCode] { return std::optional<int>(exitCode); };
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
    const IpTexts ip = ipFieldTexts(options.ip);
    for (std::size_t i = 0; i < kIpControls.size(); ++i) {
        console.OnFieldEdited(kIpControls[i], ip[i]);
        console.OnFieldFocusLost(kIpControls[i]);
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

std::string HeadlessFrontEnd::batchSummary(const std::vector<BatchDeviceStatus>& devices) {
    const auto seconds = [](std::chrono::milliseconds duration) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(duration.count()) / 1000.0);
        return std::string(text);
    };
    std::string summary;
    int completed = 0, failed = 0, unfinished = 0;
    for (const BatchDeviceStatus& device : devices) {
        summary += "summary: [Device " + device.address + "] ";
        switch (device.state) {
            case BatchDeviceState::Completed:
                ++completed;
                summary += "completed in " + seconds(device.duration);
                break;
            case BatchDeviceState::Failed:
                ++failed;
                summary += "failed after " + seconds(device.duration) + ": " + device.result;
                break;
            default:
                ++unfinished;
                summary += "not finished";
                if (device.duration.count() > 0) {
                    summary += " after " + seconds(device.duration);
                }
                break;
        }
        summary += "\n";
    }
    summary += "summary: " + std::to_string(devices.size()) +
               " devices: " + std::to_string(completed) + " completed, " + std::to_string(failed) +
               " failed, " + std::to_string(unfinished) + " not finished\n";
    return summary;
}

HeadlessFrontEnd::OneShot HeadlessFrontEnd::startBatch(OperatorConsole& console,
                                                       const CommandLine& options,
                                                       std::ostream& out, Interrupt& interrupt) {
    const auto fail = [] { return [] { return std::optional<int>(1); }; };
    BatchUpgrader* batch = console.upgradeBatch();
    if (batch == nullptr) {
        out << "vantor: the firmware file mode could not be entered\n";
        return fail();
    }
    BatchRequest request;
    request.addresses = options.batchAddresses;
    request.archivePath = options.archive;
    request.setPassword = options.password;
    request.onePagePerPacket = options.onePage;
    if (options.parallel > 0) {
        request.parallel = options.parallel;
    }
    if (!batch->startBatch(request)) {
        return fail();  // the archive was refused; its rows are out
    }
    const auto finish = [batch, &out] {
        const std::vector<BatchDeviceStatus> devices = batch->batchStatus();
        out << batchSummary(devices);
        out.flush();
        const bool all = std::all_of(devices.begin(), devices.end(), [](const auto& device) {
            return device.state == BatchDeviceState::Completed;
        });
        return all ? 0 : 1;
    };
    interrupt = [&console, batch, finish] {
        console.OnStopUpgrade();
        console.gate().waitUntil([batch] { return !batch->batchActive(); });
        finish();
        return 1;
    };
    return [batch, finish]() -> std::optional<int> {
        if (batch->batchActive()) {
            return std::nullopt;
        }
        return finish();
    };
}

HeadlessFrontEnd::HeadlessFrontEnd(InterfaceSource& interfaces, WorkerFactory& workers,
                                   Timings timings, StatusLogFile* logFile, NetworkAccess* network)
    : interfaces_(interfaces),
      workers_(workers),
      timings_(timings),
      logFile_(logFile),
      network_(network) {}

void HeadlessFrontEnd::blockTerminationSignals() {
    TerminationSignalFd::block();
}

int HeadlessFrontEnd::run(const CommandLine& options, std::ostream& out) {
    TerminationSignalFd signalFd;
    const UniqueFd wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (signalFd.fd() < 0 || wakeFd.get() < 0) {
        out << "vantor: cannot set up the event loop\n";
        return 1;
    }

    std::atomic<bool> closeRequested{false};
    ConsoleServices services{interfaces_, workers_, timings_};
    services.logFile = logFile_;
    services.network = network_;
    OperatorConsole console(std::move(services));
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
    console.OnCheckToggled(ControlId::EveryDeviceCheck, options.everyDevice);
    int exitCode = 0;
    OneShot oneShot;
    Interrupt interrupt;
    if (options.action == CommandLine::Action::Set) {
        // The Set blocks this thread for seconds of echoes: a termination signal meanwhile
        // cuts them short; the loop below then reads and handles it.
        const CloseRequestWatch closer(console, signalFd.fd(), timings_.workerPoll);
        oneShot = startSet(console, options, out);
    } else if (options.action == CommandLine::Action::Update) {
        oneShot = startUpdate(console, options, out);
    } else if (options.action == CommandLine::Action::BatchUpdate) {
        oneShot = startBatch(console, options, out, interrupt);
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
            if (interrupt) {
                exitCode = interrupt();
            } else if (oneShot) {
                exitCode = 1;  // a one-shot operation cut short did not succeed
            }
            break;
        }
    }
    console.Shutdown();
    console.attachView(nullptr);
    // Once every listener has ended, so that the file holds each device's last state.
    if (!options.devicesCsv.empty()) {
        if (const std::optional<std::string> error = console.saveHeardDevices(options.devicesCsv)) {
            out << "vantor: Cannot save the list: " << *error << "\n";
            exitCode = exitCode == 0 ? 1 : exitCode;
        }
    }
    return exitCode;
}

}  // namespace vantor

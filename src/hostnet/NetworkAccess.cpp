#include "hostnet/NetworkAccess.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>

#include "hostnet/Capabilities.h"
#include "hostnet/HelperUdpPortOpener.h"
#include "net/DirectUdpPortOpener.h"

namespace vantor {
namespace {

constexpr std::string_view kHelperFromProgram = "../libexec/vantor/vantor-net-helper";

// A program started with file capabilities (an older package granted them to the program
// itself) gives them up: the helper holds them now.
void dropCapabilities() {
    if (const auto sets = Capabilities::OfThisThread();
        sets && (sets->permitted | sets->effective | sets->inheritable) != 0) {
        Capabilities::SetForThisThread(CapabilitySets{});
    }
}

}  // namespace

std::unique_ptr<NetworkAccess> NetworkAccess::ForThisProcess(const Timings& timings) {
    if (::geteuid() == 0) {
        return std::make_unique<NetworkAccess>();
    }
    dropCapabilities();
    std::string path = HelperPath();
    std::string problem;
    auto helper = NetHelperClient::Start(path, timings, problem);
    return std::make_unique<NetworkAccess>(std::move(helper), std::move(path), std::move(problem));
}

NetworkAccess::NetworkAccess() = default;

NetworkAccess::NetworkAccess(std::unique_ptr<NetHelperClient> helper, std::string helperPath,
                             std::string problem)
    : helper_(std::move(helper)),
      helperPath_(std::move(helperPath)),
      problem_(std::move(problem)),
      throughHelper_(true),
      helperPorts_(helper_ ? std::make_unique<HelperUdpPortOpener>(*helper_) : nullptr) {}

NetworkAccess::~NetworkAccess() = default;

std::string NetworkAccess::HelperPath() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::string(kHelperFromProgram);
    }
    return (program.parent_path() / kHelperFromProgram).lexically_normal().string();
}

std::string NetworkAccess::VersionLine(const Timings& timings) {
    const std::string path = HelperPath();
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return "helper: " + path + " (not found)";
    }
    std::string problem;
    const auto helper = NetHelperClient::Start(path, timings, problem);
    const std::uint64_t needed =
        Capabilities::kNetAdmin | Capabilities::kNetRaw | Capabilities::kNetBindService;
    const bool capable = helper && (helper->capabilities() & needed) == needed;
    return "helper: " + path + " (capabilities: " + (capable ? "yes" : "no") + ")";
}

NetHelperPort* NetworkAccess::helper() {
    return helper_.get();
}

UdpPortOpener& NetworkAccess::ports() {
    if (helperPorts_) {
        return *helperPorts_;
    }
    return DirectUdpPortOpener::Shared();
}

RawIcmpSource NetworkAccess::rawIcmpSource() {
    if (!helper_) {
        return {};
    }
    return [helper = helper_.get()] {
        UniqueFd descriptor;
        const auto answer = helper->Ask(HelperRequest{HelperRequestKind::openRawIcmp}, &descriptor);
        return answer && answer->status == HelperStatus::done ? std::move(descriptor) : UniqueFd();
    };
}

PrivilegeState NetworkAccess::Probe() const {
    PrivilegeState state = PrivilegeCheck::Probe();
    if (!throughHelper_) {
        return state;
    }
    const std::uint64_t held = helper_ ? helper_->capabilities() : 0;
    state.effective = held;
    state.permitted = held;
    state.helperPath = helperPath_;
    state.helperProblem = helper_ ? std::string() : problem_;
    return state;
}

}  // namespace vantor

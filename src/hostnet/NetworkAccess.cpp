#include "hostnet/NetworkAccess.h"

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <span>

#include "base/ByteReader.h"

#include "hostnet/Capabilities.h"
#include "hostnet/HelperUdpPortOpener.h"
#include "net/DirectUdpPortOpener.h"

namespace vantor {
namespace {

// Where `setcap` keeps a file's capabilities.
constexpr const char* kCapabilityAttribute = "security.capability";

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

std::string NetworkAccess::VersionLine() {
    const std::string path = HelperPath();
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return "helper: " + path + " (not found)";
    }
    const std::uint64_t needed =
        Capabilities::kNetAdmin | Capabilities::kNetRaw | Capabilities::kNetBindService;
    const bool capable = (FileCapabilities(path) & needed) == needed;
    return "helper: " + path + " (capabilities: " + (capable ? "yes" : "no") + ")";
}

std::uint64_t NetworkAccess::FileCapabilities(const std::string& path) {
    // struct vfs_cap_data (revision 2) or vfs_ns_cap_data (revision 3), little-endian: the
    // flags, then permitted and inheritable of the low 32 capabilities, then of the high ones.
    std::array<std::uint8_t, sizeof(vfs_ns_cap_data)> raw{};
    const ssize_t length = ::getxattr(path.c_str(), kCapabilityAttribute, raw.data(), raw.size());
    if (length < static_cast<ssize_t>(sizeof(vfs_cap_data))) {
        return 0;
    }
    ByteReader reader(std::span<const std::uint8_t>(raw).first(static_cast<std::size_t>(length)));
    const std::uint32_t flags = reader.u32();
    const std::uint32_t permittedLow = reader.u32();
    reader.skip(sizeof(std::uint32_t));
    const std::uint32_t permittedHigh = reader.u32();
    const std::uint32_t revision = flags & VFS_CAP_REVISION_MASK;
    if (!reader.ok() || (revision != VFS_CAP_REVISION_2 && revision != VFS_CAP_REVISION_3) ||
        (flags & VFS_CAP_FLAGS_EFFECTIVE) == 0) {
        return 0;
    }
    return (std::uint64_t{permittedHigh} << 32) | permittedLow;
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

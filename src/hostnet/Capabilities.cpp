#include "hostnet/Capabilities.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>

namespace vantor {
namespace {

using CapabilityData = std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3>;

std::uint64_t join(std::uint32_t low, std::uint32_t high) {
    return std::uint64_t{low} | (std::uint64_t{high} << 32);
}

}  // namespace

const std::uint64_t Capabilities::kNetAdmin = bit(CAP_NET_ADMIN);
const std::uint64_t Capabilities::kNetRaw = bit(CAP_NET_RAW);
const std::uint64_t Capabilities::kNetBindService = bit(CAP_NET_BIND_SERVICE);

std::optional<CapabilitySets> Capabilities::OfThisThread() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    CapabilityData data{};
    if (::syscall(SYS_capget, &header, data.data()) != 0) {
        return std::nullopt;
    }
    return CapabilitySets{join(data[0].effective, data[1].effective),
                          join(data[0].permitted, data[1].permitted),
                          join(data[0].inheritable, data[1].inheritable)};
}

bool Capabilities::SetForThisThread(const CapabilitySets& sets) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    CapabilityData data{};
    data[0] = {static_cast<std::uint32_t>(sets.effective),
               static_cast<std::uint32_t>(sets.permitted),
               static_cast<std::uint32_t>(sets.inheritable)};
    data[1] = {static_cast<std::uint32_t>(sets.effective >> 32),
               static_cast<std::uint32_t>(sets.permitted >> 32),
               static_cast<std::uint32_t>(sets.inheritable >> 32)};
    return ::syscall(SYS_capset, &header, data.data()) == 0;
}

bool Capabilities::IsAmbient(int capability) {
    return ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_IS_SET, capability, 0, 0) == 1;
}

bool Capabilities::RaiseAmbient(int capability) {
    return ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, capability, 0, 0) == 0;
}

bool Capabilities::LowerAmbient(int capability) {
    return ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_LOWER, capability, 0, 0) == 0;
}

}  // namespace vantor

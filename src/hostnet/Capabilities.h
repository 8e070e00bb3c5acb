#pragma once

#include <cstdint>
#include <optional>

namespace vantor {

// The three capability sets of the calling thread, one bit per capability number.
struct CapabilitySets {
    std::uint64_t effective = 0;
    std::uint64_t permitted = 0;
    std::uint64_t inheritable = 0;
};

// Thin access to the kernel's capability calls for the calling thread (capget/capset and the
// ambient set of prctl). No library beyond the system headers is needed.
class Capabilities {
  public:
    static constexpr std::uint64_t bit(int capability) { return std::uint64_t{1} << capability; }

    static const std::uint64_t kNetAdmin;
    static const std::uint64_t kNetRaw;
    static const std::uint64_t kNetBindService;

    static std::optional<CapabilitySets> OfThisThread();
    static bool SetForThisThread(const CapabilitySets& sets);
    static bool IsAmbient(int capability);
    static bool RaiseAmbient(int capability);
    static bool LowerAmbient(int capability);
};

}  // namespace vantor

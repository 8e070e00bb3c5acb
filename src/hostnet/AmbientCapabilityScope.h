#pragma once

#include <cstdint>
#include <optional>

#include "hostnet/Capabilities.h"

namespace vantor {

// While it lives, the capabilities of `wanted` that the calling thread holds in its permitted
// set are also inheritable and ambient, so that a program this thread starts (not set-user-ID,
// without file capabilities of its own) keeps them. The destructor puts the thread back as it
// was, so that programs started later from the same thread (a browser, say) get nothing.
// As root this changes nothing a child would notice: root's children get every capability.
class AmbientCapabilityScope {
  public:
    explicit AmbientCapabilityScope(std::uint64_t wanted);
    ~AmbientCapabilityScope();
    AmbientCapabilityScope(const AmbientCapabilityScope&) = delete;
    AmbientCapabilityScope& operator=(const AmbientCapabilityScope&) = delete;

    // The wanted capabilities that are ambient now.
    std::uint64_t ambient() const { return ambient_; }

  private:
    std::optional<CapabilitySets> before_;
    std::uint64_t ambient_ = 0;
    std::uint64_t raisedHere_ = 0;
};

}  // namespace vantor

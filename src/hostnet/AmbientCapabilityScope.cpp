#include "hostnet/AmbientCapabilityScope.h"

namespace vantor {
namespace {

constexpr int kCapabilityCount = 64;

}  // namespace

AmbientCapabilityScope::AmbientCapabilityScope(std::uint64_t wanted) {
    before_ = Capabilities::OfThisThread();
    if (!before_) {
        return;
    }
    const std::uint64_t usable = wanted & before_->permitted;
    if (usable == 0) {
        return;
    }
    // A capability can only become ambient while it is permitted and inheritable.
    if ((before_->inheritable & usable) != usable) {
        CapabilitySets raised = *before_;
        raised.inheritable |= usable;
        if (!Capabilities::SetForThisThread(raised)) {
            before_.reset();
            return;
        }
    }
    for (int capability = 0; capability < kCapabilityCount; ++capability) {
        if ((usable & Capabilities::bit(capability)) == 0) {
            continue;
        }
        if (Capabilities::IsAmbient(capability)) {
            ambient_ |= Capabilities::bit(capability);
        } else if (Capabilities::RaiseAmbient(capability)) {
            ambient_ |= Capabilities::bit(capability);
            raisedHere_ |= Capabilities::bit(capability);
        }
    }
}

AmbientCapabilityScope::~AmbientCapabilityScope() {
    for (int capability = 0; capability < kCapabilityCount; ++capability) {
        if ((raisedHere_ & Capabilities::bit(capability)) != 0) {
            Capabilities::LowerAmbient(capability);
        }
    }
    if (before_) {
        const auto now = Capabilities::OfThisThread();
        if (now && now->inheritable != before_->inheritable) {
            CapabilitySets restored = *now;
            restored.inheritable = before_->inheritable;
            Capabilities::SetForThisThread(restored);
        }
    }
}

}  // namespace vantor

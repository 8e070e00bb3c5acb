#pragma once

#include <optional>

#include "base/UniqueFd.h"
#include "hostnet/NetHelperRecord.h"

namespace vantor {

// Where the program's requests to its network helper go. May be called from any thread.
class NetHelperPort {
  public:
    virtual ~NetHelperPort() = default;
    // The helper's answer, with the descriptor it sent in `descriptor` (when given); nothing
    // when the helper is gone or did not answer in time. The channel sets the sequence.
    virtual std::optional<HelperAnswer> Ask(HelperRequest request, UniqueFd* descriptor) = 0;
};

}  // namespace vantor

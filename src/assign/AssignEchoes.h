// Echo attempts and data sizes of address assignment: the Set button's checks and the pings
// of an announced device.
#pragma once

#include <cstddef>

namespace vantor {

// Echo attempts and data sizes asked for by the callers.
inline constexpr int kManualCheckAttempts = 3;
inline constexpr std::size_t kManualCheckDataSize = 32;
inline constexpr int kManualTestAttempts = 3;
inline constexpr std::size_t kManualTestDataSize = 89;
inline constexpr int kAnnouncePingAttempts = 3;
inline constexpr std::size_t kAnnouncePingDataSize = 32;
inline constexpr int kAnnouncePingRounds = 10;

}  // namespace vantor

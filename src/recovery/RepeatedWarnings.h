#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "base/Timings.h"

namespace vantor {

// Collapses a flood of one warning (oversized or too-short datagrams, a few thousand a
// second from a broken or hostile host) so that it cannot push the real history out of the
// bounded status log. The first occurrence is written; the same warning again within
// `window` of it is only counted; the count is written as a row of its own, before the next
// row of the listener, whichever it is, and at the latest when the listener ends. Pure: the
// time is a parameter.
class RepeatedWarnings {
  public:
    using Clock = std::chrono::steady_clock;

    struct Rows {
        std::optional<std::string> summary;  // "... (repeated N times)", written first
        bool write = false;                  // write the warning itself
    };

    explicit RepeatedWarnings(Millis window) : window_(window) {}

    // The warning row `line` comes at `now`: what to write for it.
    Rows Warn(const std::string& line, Clock::time_point now);
    // Another row is about to be written, or the listener ends: the count of repeats that
    // no row has reported yet.
    std::optional<std::string> Flush();

  private:
    Millis window_;
    std::string line_;
    Clock::time_point since_{};
    std::size_t repeats_ = 0;
};

}  // namespace vantor

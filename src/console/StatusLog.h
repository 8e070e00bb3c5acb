#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "console/ConsoleLimits.h"
#include "ports/ConsoleMode.h"

namespace vantor {

// The rows of the status list. A row is one append, whatever line breaks its text holds.
// A tagged row enters only while its tag equals the current mode, read at the moment of the
// append; this is how the late rows of a mode's workers vanish once the mode is left.
class StatusLog {
  public:
    // Told of every change, in order, so that a view can mirror the rows.
    class Observer {
      public:
        virtual ~Observer() = default;
        virtual void rowAppended(const std::string& text) = 0;
        virtual void oldestRowsRemoved(std::size_t count) = 0;
        virtual void cleared() = 0;
    };

    StatusLog(const std::atomic<ConsoleMode>& mode, std::size_t maxRows = kStatusLogMaxRows);

    void setObserver(Observer* observer);

    // Whether a row with this tag would enter now. Only the tag's low 16 bits count.
    bool accepts(int statusTag) const;
    // Appends the row if the tag passes; returns whether it did.
    bool append(int statusTag, const std::string& text);
    void clear();

    std::vector<std::string> rows() const;
    std::size_t size() const;

  private:
    // Drops the oldest rows and tells the observer; mutex_ held.
    void removeOldest(std::size_t count);

    const std::atomic<ConsoleMode>& mode_;
    const std::size_t maxRows_;
    mutable std::mutex mutex_;
    std::deque<std::string> rows_;
    Observer* observer_ = nullptr;
};

}  // namespace vantor

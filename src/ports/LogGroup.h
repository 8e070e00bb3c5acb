#pragma once

#include <mutex>
#include <utility>

namespace vantor {

// Rows written while a group lives follow one another in the status log: no other worker's
// group gets in between. A group is held for the writing of its rows; the caller decides
// whether anything else happens while it lives.
class LogGroup {
  public:
    explicit LogGroup(std::unique_lock<std::mutex> lock) : lock_(std::move(lock)) {}
    LogGroup(LogGroup&&) noexcept = default;
    LogGroup& operator=(LogGroup&&) noexcept = default;
    LogGroup(const LogGroup&) = delete;
    LogGroup& operator=(const LogGroup&) = delete;
    ~LogGroup() = default;

  private:
    std::unique_lock<std::mutex> lock_;
};

}  // namespace vantor

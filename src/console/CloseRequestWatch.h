#pragma once

#include <thread>

#include "base/Timings.h"

namespace vantor {

class OperatorConsole;

// While it lives, a termination signal pending on a signal descriptor asks the console to
// close (OperatorConsole::RequestClose) from a thread of its own. For the stretches in which
// the user-interface thread is busy and cannot look at the descriptor itself (a Set blocks it
// for seconds of echoes). The signal is left pending, so the front-end's own handling of it
// follows as soon as its thread is free again.
class CloseRequestWatch {
  public:
    CloseRequestWatch(OperatorConsole& console, int signalFd, Millis poll);
    ~CloseRequestWatch() = default;  // the thread is asked to stop and joined
    CloseRequestWatch(const CloseRequestWatch&) = delete;
    CloseRequestWatch& operator=(const CloseRequestWatch&) = delete;

  private:
    std::jthread thread_;
};

}  // namespace vantor

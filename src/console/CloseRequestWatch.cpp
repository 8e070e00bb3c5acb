#include "console/CloseRequestWatch.h"

#include <poll.h>

#include "console/OperatorConsole.h"

namespace vantor {

CloseRequestWatch::CloseRequestWatch(OperatorConsole& console, int signalFd, Millis poll)
    : thread_([&console, signalFd, poll](const std::stop_token& stop) {
          if (signalFd < 0) {
              return;
          }
          const int pollMs = static_cast<int>(poll.count());
          while (!stop.stop_requested()) {
              pollfd watch{signalFd, POLLIN, 0};
              if (::poll(&watch, 1, pollMs) > 0) {
                  console.RequestClose();
                  return;
              }
          }
      }) {}

}  // namespace vantor

#pragma once

#include <functional>

#include "ports/ConsoleMode.h"

namespace vantor {

// What a worker asks before it goes on: the current mode, whether the program is closing,
// and whether the interface watcher may restart the recovery listeners. Callable from any
// thread.
class RunGate {
  public:
    virtual ~RunGate() = default;

    virtual ConsoleMode mode() const = 0;
    // The program is closing: workers end what they would otherwise finish first.
    virtual bool closing() const = 0;
    // Whether echo requests can be sent at all; without, the ping steps say so and skip.
    virtual bool winsockReady() const = 0;

    // A recovery listener serving a device holds restarts off until the device is done.
    virtual bool restartAllowed() const = 0;
    virtual void allowRestart(bool allowed) = 0;

    // Waits, polling, until done() holds; on the user-interface thread the wait keeps
    // serving the workers' requests to it.
    virtual void waitUntil(const std::function<bool()>& done) = 0;
    // Told by a worker that just ended something the coordinator waits for, so that its wait
    // looks again at once.
    virtual void workerEnded() = 0;
};

}  // namespace vantor

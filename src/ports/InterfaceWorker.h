#pragma once

#include "ports/BatchUpgrader.h"

namespace vantor {

// A worker bound to one interface address: an announcement listener in Auto, a recovery
// listener in Recovery. The console runs run() on a thread of its own, wrapped in the
// increment and decrement of the mode's thread counter, and destroys the object only after
// that thread has ended.
class InterfaceWorker {
  public:
    virtual ~InterfaceWorker() = default;
    // The thread body. Returns when the worker's mode has been left and stop() was called.
    virtual void run() = 0;
    // Called on the console's thread after the mode changed: makes run() return promptly. It
    // may arrive before run() has begun or has opened its sockets.
    virtual void stop() = 0;
};

// How many upgrade runs have started and ended, and how the last one that ended came out.
struct UpgradeRuns {
    int started = 0;
    int ended = 0;
    bool lastSucceeded = false;
};

// The firmware upgrade driver as the console sees it.
class FirmwareUpgrader {
  public:
    virtual ~FirmwareUpgrader() = default;
    virtual void OnBrowse() = 0;
    virtual void OnUpdate() = 0;
    // Asks a running upgrade to end; the console then waits until it is no longer active.
    virtual void requestStop() = 0;
    // From the press of Update until the run's worker is done with the ports.
    virtual bool active() const = 0;
    // For a front-end that drives one Update and reports its outcome (the headless one). A run
    // counts as ended once its worker is done with the console.
    virtual UpgradeRuns runs() const { return {}; }
    // Upgrading several devices at once; none when this upgrader cannot.
    virtual BatchUpgrader* batch() { return nullptr; }
};

}  // namespace vantor

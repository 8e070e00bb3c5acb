#pragma once

#include "base/InterfaceSource.h"
#include "base/Timings.h"
#include "ports/WorkerFactory.h"

namespace vantor {
class NetworkAccess;
class StatusLogFile;
}  // namespace vantor

namespace vantor::ui {

// Runs the program with its main window until the window closes; returns the exit code.
// logFile: where every status row is kept as well, and what "Save log as..." saves (or none).
int runWindow(int argc, char** argv, InterfaceSource& interfaces, WorkerFactory& workers,
              Timings timings = {}, StatusLogFile* logFile = nullptr,
              NetworkAccess* network = nullptr);

}  // namespace vantor::ui

#pragma once

#include "base/InterfaceSource.h"
#include "base/Timings.h"
#include "ports/WorkerFactory.h"

namespace vantor::ui {

// Runs the program with its main window until the window closes; returns the exit code.
int runWindow(int argc, char** argv, InterfaceSource& interfaces, WorkerFactory& workers,
              Timings timings = {});

}  // namespace vantor::ui

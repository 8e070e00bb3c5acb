#pragma once

#include "console/InterfaceSource.h"
#include "console/Timings.h"
#include "console/WorkerFactory.h"

namespace vantor::ui {

// Runs the program with its main window until the window closes; returns the exit code.
int runWindow(int argc, char** argv, InterfaceSource& interfaces, WorkerFactory& workers,
              Timings timings = {});

}  // namespace vantor::ui

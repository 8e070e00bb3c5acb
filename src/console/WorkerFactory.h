#pragma once

#include <cstdint>
#include <memory>

#include "console/InterfaceWorker.h"

namespace vantor {

class OperatorConsole;

// Creates the console's workers, so that the listeners and the upgrade driver plug into the
// console without the console knowing their classes.
class WorkerFactory {
  public:
    virtual ~WorkerFactory() = default;
    virtual std::unique_ptr<InterfaceWorker> makeListener(OperatorConsole& console,
                                                          std::uint32_t nicAddress,
                                                          std::uint16_t port) = 0;
    virtual std::unique_ptr<InterfaceWorker> makeRecoveryListener(OperatorConsole& console,
                                                                  std::uint32_t nicAddress) = 0;
    virtual std::unique_ptr<FirmwareUpgrader> makeUpgradeDriver(OperatorConsole& console) = 0;
};

}  // namespace vantor

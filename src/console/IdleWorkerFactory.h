#pragma once

#include "ports/WorkerFactory.h"

namespace vantor {

// Workers that hold their place and do nothing until they are stopped: the console's threads,
// counters and stops run for real while the services themselves are not built in.
class IdleWorkerFactory : public WorkerFactory {
  public:
    std::unique_ptr<InterfaceWorker> makeListener(WorkerPorts& ports, std::uint32_t nicAddress,
                                                  std::uint16_t port) override;
    std::unique_ptr<InterfaceWorker> makeRecoveryListener(WorkerPorts& ports,
                                                          std::uint32_t nicAddress) override;
    std::unique_ptr<FirmwareUpgrader> makeUpgradeDriver(WorkerPorts& ports) override;
};

}  // namespace vantor

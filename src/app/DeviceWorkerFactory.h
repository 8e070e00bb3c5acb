#pragma once

#include "ports/WorkerFactory.h"

namespace vantor {

// The product's workers: the announcement listener in Auto, the recovery listener in Recovery
// and the firmware upgrade driver.
class DeviceWorkerFactory final : public WorkerFactory {
  public:
    std::unique_ptr<InterfaceWorker> makeListener(WorkerPorts& ports, std::uint32_t nicAddress,
                                                  std::uint16_t port) override;
    std::unique_ptr<InterfaceWorker> makeRecoveryListener(WorkerPorts& ports,
                                                          std::uint32_t nicAddress) override;
    std::unique_ptr<FirmwareUpgrader> makeUpgradeDriver(WorkerPorts& ports) override;
    bool bootImagesArePlaceholders() const override;
};

}  // namespace vantor

#pragma once

#include <cstdint>
#include <memory>

#include "ports/InterfaceWorker.h"
#include "ports/WorkerPorts.h"

namespace vantor {

// Creates the console's workers, so that the listeners and the upgrade driver plug into the
// console without the console knowing their classes. Each worker is handed the ports alone.
class WorkerFactory {
  public:
    virtual ~WorkerFactory() = default;
    virtual std::unique_ptr<InterfaceWorker> makeListener(WorkerPorts& ports,
                                                          std::uint32_t nicAddress,
                                                          std::uint16_t port) = 0;
    virtual std::unique_ptr<InterfaceWorker> makeRecoveryListener(WorkerPorts& ports,
                                                                  std::uint32_t nicAddress) = 0;
    virtual std::unique_ptr<FirmwareUpgrader> makeUpgradeDriver(WorkerPorts& ports) = 0;
    // Whether the recovery listeners serve stand-in boot images that no device can boot.
    virtual bool bootImagesArePlaceholders() const { return false; }
};

}  // namespace vantor

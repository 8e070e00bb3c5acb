#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Product.h"
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
    // Reads the recovery kit afresh (on each entry to Firmware Upgrade) and gives the rows
    // that tell the operator what will be served: one an image, then what is wrong.
    virtual std::vector<std::string> loadRecoveryKit() { return {}; }
    // The kit in use, in a few words (the About box, --version): its folder, or "built in".
    virtual std::string recoveryKitDescription() const { return "built in"; }
    // The device OUI the Manual mode prefills: the kit's first, or the built-in one.
    virtual std::array<std::uint8_t, 3> deviceOui() const { return kDeviceOui; }
};

}  // namespace vantor

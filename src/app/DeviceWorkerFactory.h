#pragma once

#include <memory>

#include "ports/WorkerFactory.h"
#include "recovery/RecoveryKit.h"

namespace vantor {

// The product's workers: the announcement listener in Auto, the recovery listener in Recovery
// and the firmware upgrade driver. It holds the recovery kit, read afresh from `search` on
// each entry to Firmware Upgrade; runs on the user-interface thread.
class DeviceWorkerFactory final : public WorkerFactory {
  public:
    // The built-in images alone.
    DeviceWorkerFactory() = default;
    explicit DeviceWorkerFactory(KitSearch search) : search_(std::move(search)) {}

    std::unique_ptr<InterfaceWorker> makeListener(WorkerPorts& ports, std::uint32_t nicAddress,
                                                  std::uint16_t port) override;
    std::unique_ptr<InterfaceWorker> makeRecoveryListener(WorkerPorts& ports,
                                                          std::uint32_t nicAddress) override;
    std::unique_ptr<FirmwareUpgrader> makeUpgradeDriver(WorkerPorts& ports) override;
    bool bootImagesArePlaceholders() const override;
    std::vector<std::string> loadRecoveryKit() override;
    std::string recoveryKitDescription() const override;
    std::array<std::uint8_t, 3> deviceOui() const override;

  private:
    // The kit last loaded, loaded now when there is none yet.
    RecoveryKit& kit() const;

    KitSearch search_;
    mutable std::shared_ptr<RecoveryKit> kit_;
};

}  // namespace vantor

#include "app/DeviceWorkerFactory.h"

#include "assign/MListener.h"
#include "recovery/MRecoveryListener.h"
#include "upgrade/UpgradeDriver.h"

namespace vantor {

std::unique_ptr<InterfaceWorker> DeviceWorkerFactory::makeListener(WorkerPorts& ports,
                                                                   std::uint32_t nicAddress,
                                                                   std::uint16_t port) {
    return std::make_unique<MListener>(ports, nicAddress, port);
}

std::unique_ptr<InterfaceWorker> DeviceWorkerFactory::makeRecoveryListener(
    WorkerPorts& ports, std::uint32_t nicAddress) {
    kit();
    return std::make_unique<MRecoveryListener>(ports, nicAddress, kit_);
}

std::unique_ptr<FirmwareUpgrader> DeviceWorkerFactory::makeUpgradeDriver(WorkerPorts& ports) {
    return std::make_unique<UpgradeDriver>(ports);
}

bool DeviceWorkerFactory::bootImagesArePlaceholders() const {
    return kit().ServesPlaceholders();
}

std::vector<std::string> DeviceWorkerFactory::loadRecoveryKit() {
    kit_ = RecoveryKit::Load(search_);
    return kit_->Rows();
}

std::string DeviceWorkerFactory::recoveryKitDescription() const {
    return kit().Description();
}

std::array<std::uint8_t, 3> DeviceWorkerFactory::deviceOui() const {
    return kit().DeviceOuis().front();
}

RecoveryKit& DeviceWorkerFactory::kit() const {
    if (kit_ == nullptr) {
        kit_ = RecoveryKit::Load(search_);
    }
    return *kit_;
}

}  // namespace vantor

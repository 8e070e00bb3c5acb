#include "app/DeviceWorkerFactory.h"

#include "assign/MListener.h"
#include "recovery/BootImages.h"
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
    return std::make_unique<MRecoveryListener>(ports, nicAddress);
}

std::unique_ptr<FirmwareUpgrader> DeviceWorkerFactory::makeUpgradeDriver(WorkerPorts& ports) {
    return std::make_unique<UpgradeDriver>(ports);
}

bool DeviceWorkerFactory::bootImagesArePlaceholders() const {
    return BootImages::ArePlaceholders();
}

}  // namespace vantor

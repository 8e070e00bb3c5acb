#include "console/DeviceWorkerFactory.h"

#include "assign/MListener.h"
#include "console/IdleWorkerFactory.h"
#include "recovery/MRecoveryListener.h"
#include "upgrade/UpgradeDriver.h"

namespace vantor {

std::unique_ptr<InterfaceWorker> DeviceWorkerFactory::makeListener(OperatorConsole& console,
                                                                   std::uint32_t nicAddress,
                                                                   std::uint16_t port) {
    return std::make_unique<MListener>(console, nicAddress, port);
}

std::unique_ptr<InterfaceWorker> DeviceWorkerFactory::makeRecoveryListener(
    OperatorConsole& console, std::uint32_t nicAddress) {
    return std::make_unique<MRecoveryListener>(console, nicAddress);
}

std::unique_ptr<FirmwareUpgrader> DeviceWorkerFactory::makeUpgradeDriver(OperatorConsole& console) {
    return std::make_unique<UpgradeDriver>(console);
}

}  // namespace vantor

#include "console/DeviceWorkerFactory.h"

#include "assign/MListener.h"
#include "console/IdleWorkerFactory.h"

namespace vantor {

std::unique_ptr<InterfaceWorker> DeviceWorkerFactory::makeListener(OperatorConsole& console,
                                                                   std::uint32_t nicAddress,
                                                                   std::uint16_t port) {
    return std::make_unique<MListener>(console, nicAddress, port);
}

std::unique_ptr<InterfaceWorker> DeviceWorkerFactory::makeRecoveryListener(
    OperatorConsole& console, std::uint32_t nicAddress) {
    return IdleWorkerFactory().makeRecoveryListener(console, nicAddress);
}

std::unique_ptr<FirmwareUpgrader> DeviceWorkerFactory::makeUpgradeDriver(OperatorConsole& console) {
    return IdleWorkerFactory().makeUpgradeDriver(console);
}

}  // namespace vantor

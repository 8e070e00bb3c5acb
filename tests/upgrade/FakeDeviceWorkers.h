#pragma once

#include <memory>
#include <utility>

#include "console/IdleWorkerFactory.h"
#include "ports/WorkerFactory.h"
#include "upgrade/UpgradeDriver.h"

namespace vantor::test {

// The product's workers, with the upgrade driver's transport going to a fake device.
class FakeDeviceWorkers final : public WorkerFactory {
  public:
    explicit FakeDeviceWorkers(UpgradeDriver::TransportFactory transport)
        : transport_(std::move(transport)) {}
    std::unique_ptr<InterfaceWorker> makeListener(WorkerPorts& ports, std::uint32_t nic,
                                                  std::uint16_t port) override {
        return idle_.makeListener(ports, nic, port);
    }
    std::unique_ptr<InterfaceWorker> makeRecoveryListener(WorkerPorts& ports,
                                                          std::uint32_t nic) override {
        return idle_.makeRecoveryListener(ports, nic);
    }
    std::unique_ptr<FirmwareUpgrader> makeUpgradeDriver(WorkerPorts& ports) override {
        return std::make_unique<UpgradeDriver>(ports, transport_);
    }

  private:
    IdleWorkerFactory idle_;
    UpgradeDriver::TransportFactory transport_;
};

}  // namespace vantor::test

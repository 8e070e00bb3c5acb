#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/InterfaceSource.h"
#include "ports/ConsoleMode.h"
#include "ports/InterfaceTable.h"
#include "ports/ReportPort.h"

namespace vantor {

// The PC's interface addresses, read from the injected source: up to sixteen, and none on a
// host with only loopback.
class HostInterfaceTable final : public InterfaceTable {
  public:
    explicit HostInterfaceTable(InterfaceSource& source) : source_(source) {}

    bool refresh() override;
    std::vector<std::string> addresses() const override;
    int count() const override;
    std::string prefixFor(std::uint32_t nic) const override;
    std::optional<std::string> hostName() const override { return source_.hostName(); }

    // Reads the table for the start of a mode's listeners and writes the count row (or the
    // error row) with the mode's tag; returns the addresses to listen on.
    std::vector<std::uint32_t> listForMode(ConsoleMode mode, ReportPort& report);

  private:
    // Fills the table; mutex_ held. Returns whether loopback was its only address.
    bool store(const std::vector<std::uint32_t>& addresses);

    InterfaceSource& source_;
    mutable std::mutex mutex_;
    std::array<std::string, kMaxInterfaces> addresses_{};
    int count_ = 0;
};

}  // namespace vantor

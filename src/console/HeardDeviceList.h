#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "ports/HeardDevices.h"

namespace vantor {

// Every device whose announcement was accepted this session, in the order first heard, at most
// kHeardDevicesMax of them: a row per MAC. Filled by the listeners on their threads, read by the
// front-ends; the lock guards the rows for the time of a copy, never longer.
class HeardDeviceList final : public HeardDevices {
  public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    // Told, outside the lock, of a row that is new or whose state or address changed.
    using Changed = std::function<void(const HeardDevice& row)>;

    explicit HeardDeviceList(Changed changed = {}, Clock clock = {},
                             std::size_t bound = kHeardDevicesMax);

    // HeardDevices.
    Hearing hear(const MacOctets& mac, const Ipv4Octets& address, const std::string& name,
                 const std::string& interfaceAddress) override;
    void setState(const MacOctets& mac, HeardState state) override;

    // Listening begins again: a full list is reported once more.
    void beginListening();
    std::vector<HeardDevice> rows() const;
    std::optional<HeardDevice> find(const MacOctets& mac) const;
    // Counts every change of a row, last-heard times included: a view refreshes when it moves.
    std::uint64_t revision() const;

  private:
    HeardDevice* rowOf(const MacOctets& mac);

    const Changed changed_;
    const Clock clock_;
    const std::size_t bound_;
    mutable std::mutex mutex_;
    std::vector<HeardDevice> rows_;
    std::uint64_t revision_ = 0;
    bool refusalReported_ = false;
};

}  // namespace vantor

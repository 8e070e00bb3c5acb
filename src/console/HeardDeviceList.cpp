#include "console/HeardDeviceList.h"

#include <algorithm>

namespace vantor {

HeardDeviceList::HeardDeviceList(Changed changed, Clock clock, std::size_t bound)
    : changed_(std::move(changed)),
      clock_(clock ? std::move(clock) : [] { return std::chrono::system_clock::now(); }),
      bound_(bound) {}

HeardDevice* HeardDeviceList::rowOf(const MacOctets& mac) {
    const auto found = std::find_if(rows_.begin(), rows_.end(),
                                    [&](const HeardDevice& row) { return row.mac == mac; });
    return found != rows_.end() ? &*found : nullptr;
}

HeardDevices::Hearing HeardDeviceList::hear(const MacOctets& mac, const Ipv4Octets& address,
                                            const std::string& name,
                                            const std::string& interfaceAddress) {
    const auto now = clock_();
    Hearing hearing;
    std::optional<HeardDevice> told;
    bool isNew = false;
    {
        const std::lock_guard lock(mutex_);
        HeardDevice* row = rowOf(mac);
        if (row == nullptr) {
            if (rows_.size() >= bound_) {
                hearing.listed = false;
                hearing.firstRefusal = !refusalReported_;
                refusalReported_ = true;
                return hearing;
            }
            row = &rows_.emplace_back();
            row->mac = mac;
            row->address = address;
            row->firstHeard = now;
            isNew = true;
        }
        hearing.wasTaken = row->state != HeardState::Heard;
        if (row->address != address) {
            hearing.moved = true;
            hearing.previousAddress = row->address;
            hearing.previousRouteAdded = row->routeAdded;
            row->address = address;
            row->state = HeardState::Heard;
            row->routeAdded = false;
        }
        row->name = name;
        row->interfaceAddress = interfaceAddress;
        row->lastHeard = now;
        ++revision_;
        if (isNew || hearing.moved) {
            told = *row;
        }
    }
    if (told && changed_) {
        changed_(*told);
    }
    return hearing;
}

void HeardDeviceList::setState(const MacOctets& mac, HeardState state) {
    std::optional<HeardDevice> told;
    {
        const std::lock_guard lock(mutex_);
        HeardDevice* row = rowOf(mac);
        if (row == nullptr) {
            return;  // not listed: the list was full when it was heard
        }
        row->routeAdded = row->routeAdded || state == HeardState::Routed;
        if (row->state == state) {
            return;
        }
        row->state = state;
        ++revision_;
        told = *row;
    }
    if (changed_) {
        changed_(*told);
    }
}

void HeardDeviceList::beginListening() {
    const std::lock_guard lock(mutex_);
    refusalReported_ = false;
}

std::vector<HeardDevice> HeardDeviceList::rows() const {
    const std::lock_guard lock(mutex_);
    return rows_;
}

std::optional<HeardDevice> HeardDeviceList::find(const MacOctets& mac) const {
    const std::lock_guard lock(mutex_);
    const auto found = std::find_if(rows_.begin(), rows_.end(),
                                    [&](const HeardDevice& row) { return row.mac == mac; });
    return found != rows_.end() ? std::optional<HeardDevice>(*found) : std::nullopt;
}

std::uint64_t HeardDeviceList::revision() const {
    const std::lock_guard lock(mutex_);
    return revision_;
}

}  // namespace vantor

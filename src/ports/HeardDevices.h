#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantor {

// How many devices the list of devices heard keeps: far more than a row of devices an
// installer commissions at once, and a bound on what forged announcements can make it hold.
inline constexpr std::size_t kHeardDevicesMax = 1024;

// How far the listener came with a device: heard, told our address, given a host route, and
// whether it answered the echoes that followed.
enum class HeardState {
    Heard,
    Notified,
    Routed,
    Answering,
    NotAnswering,
};

// "heard", "notified", "routed", "answering", "not answering": the window's table, the
// headless device lines and the saved list.
constexpr std::string_view heardStateName(HeardState state) {
    switch (state) {
        case HeardState::Heard:
            return "heard";
        case HeardState::Notified:
            return "notified";
        case HeardState::Routed:
            return "routed";
        case HeardState::Answering:
            return "answering";
        case HeardState::NotAnswering:
            return "not answering";
    }
    return "?";
}

using MacOctets = std::array<std::uint8_t, 6>;
using Ipv4Octets = std::array<std::uint8_t, 4>;

// One device whose announcement was accepted.
struct HeardDevice {
    MacOctets mac{};
    Ipv4Octets address{};
    std::string name;              // the sender text, filtered (base/PrintableText.h)
    std::string interfaceAddress;  // the PC's address it was heard on, dotted
    HeardState state = HeardState::Heard;
    // The host route to `address` was added by us, so it is ours to move.
    bool routeAdded = false;
    std::chrono::system_clock::time_point firstHeard;
    std::chrono::system_clock::time_point lastHeard;
};

// "00-40-8C-12-34-56" and "192.168.1.90".
std::string macText(const MacOctets& mac);
std::string ipv4Text(const Ipv4Octets& address);

// The console's list of the devices heard, as the announcement listeners fill it. Callable
// from any thread; no call waits for anything but the list's own lock.
class HeardDevices {
  public:
    virtual ~HeardDevices() = default;

    // What the list made of one announcement.
    struct Hearing {
        // False when the list is full and the MAC is not in it: nothing was recorded.
        bool listed = true;
        // The first such refusal since listening began: the one to tell the operator about.
        bool firstRefusal = false;
        // The device had been taken (notified at least) before this announcement.
        bool wasTaken = false;
        // It announced another address than before; the row now holds the new one.
        bool moved = false;
        Ipv4Octets previousAddress{};
        bool previousRouteAdded = false;
    };

    // Records an announcement: a new row, or the device's row with its last-heard time, name
    // and interface updated (and, for another address, that address in the state heard).
    virtual Hearing hear(const MacOctets& mac, const Ipv4Octets& address, const std::string& name,
                         const std::string& interfaceAddress) = 0;
    // The device's state changed; reaching Routed records that its host route is ours.
    virtual void setState(const MacOctets& mac, HeardState state) = 0;
};

}  // namespace vantor

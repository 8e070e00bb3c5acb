#include "assign/MListener.h"

#include <array>
#include <cstdio>
#include <thread>
#include <vector>

#include "assign/AnnouncedAddress.h"
#include "assign/Announcement.h"
#include "assign/AnnouncementWire.h"
#include "assign/AssignEchoes.h"
#include "base/InterfaceList.h"
#include "base/Ipv4.h"
#include "base/PrintableText.h"
#include "net/CTimedSocket.h"

namespace vantor {

namespace {

constexpr int kTag = tagOf(ConsoleMode::Auto);
constexpr std::string_view kListening = "\r\n> Listening.....\r\n";
const std::string kListFull = "> The list of devices heard is full (" +
                              std::to_string(kHeardDevicesMax) +
                              " devices); later ones are not listed.\r\n";

std::string ignoringText(const std::array<std::uint8_t, 6>& mac) {
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "Ignoring a packet from %02X-%02X-%02X-%02X-%02X-%02X",
                  mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text.data();
}

}  // namespace

MListener::MListener(WorkerPorts& ports, std::uint32_t nicAddress, std::uint16_t listenPort)
    : ports_(ports), listenPort_(listenPort), nicAddress_(nicAddress) {}

MListener::~MListener() = default;

void MListener::run() {
    if (start()) {
        finished_ = true;
    }
}

bool MListener::keepListening() const {
    return ports_.gate.mode() == ConsoleMode::Auto && !stopRequested_.load();
}

void MListener::stop() {
    if (finished_.load()) {
        return;
    }
    const std::lock_guard lock(socketMutex_);
    stopRequested_ = true;
    if (receiveSocket_ != nullptr) {
        receiveSocket_->CancelBlockingCall();
    }
    if (notifySocket_ != nullptr) {
        notifySocket_->CancelBlockingCall();
    }
}

bool MListener::start() {
    const std::string prefix = ports_.interfaces.prefixFor(nicAddress_);
    // Both sockets serve this interface alone: devices announce themselves by broadcast,
    // which a socket bound to the unicast address would not see, and the notification must
    // leave by this interface even before the device has a route.
    CTimedSocket receiveSocket;
    CTimedSocket notifySocket;
    if (!receiveSocket.CreateOnInterface(nicAddress_, listenPort_) ||
        !notifySocket.CreateOnInterface(nicAddress_, 0)) {
        ports_.report.appendStatus(kTag, prefix + " Error: Cannot create a socket.\r\n");
        return false;
    }
    {
        // A stop before this point has set the flag, which the loop sees before it receives;
        // a later one cancels the published socket, and the cancel is kept until the receive.
        const std::lock_guard lock(socketMutex_);
        receiveSocket_ = &receiveSocket;
        notifySocket_ = &notifySocket;
    }

    while (keepListening()) {
        Announcement::Bytes buffer{};
        const SocketResult received = receiveSocket.ReceiveWithTimeout(buffer);
        if (!received.ok()) {
            reportReceiveError(received.error, prefix);
            continue;
        }
        if (ports_.gate.mode() != ConsoleMode::Auto) {
            continue;
        }
        const std::span<const std::uint8_t> datagram(buffer.data(), received.length);
        const ParsedAnnouncement parsed = Announcement::parse(datagram);
        if (!parsed.announcement) {
            if (parsed.error == Announcement::Error::TooShort) {
                ports_.report.setNoticeLine(ignoringText(Announcement::senderMac(datagram)));
            }
            continue;
        }
        const Announcement& announcement = *parsed.announcement;
        if (announcement.ignoreMarker()) {
            continue;
        }
        const std::string ignoring = ignoringText(announcement.mac());
        if (!namesDevice(announcement)) {
            // Named like a sender heard after the device, but nothing is claimed: the device
            // that announces itself next is still taken.
            ports_.report.setNoticeLine(ignoring);
            continue;
        }
        const HeardDevices::Hearing heard =
            ports_.heard.hear(announcement.mac(), announcement.ip(),
                              printableText(announcement.senderText()), Ipv4::format(nicAddress_));
        if (heard.firstRefusal) {
            ports_.report.appendStatus(kTag, kListFull);
        }
        const bool every = ports_.panel.checked(ControlId::EveryDeviceCheck);
        if (!takes(heard, every, ignoring)) {
            continue;
        }
        const LogGroup log = ports_.report.logGroup();
        if (heard.moved) {
            moveRoute(announcement, heard, prefix);
        }
        handleDevice(announcement, notifySocket, prefix, every);
    }

    const std::lock_guard lock(socketMutex_);
    receiveSocket_ = nullptr;
    notifySocket_ = nullptr;
    return true;
}

bool MListener::takes(const HeardDevices::Hearing& heard, bool every, const std::string& ignoring) {
    if (heard.moved && heard.wasTaken) {
        return true;  // its route follows it to the new address
    }
    if (!every) {
        return ports_.report.claimDevice(ignoring);
    }
    if (!heard.listed) {
        // Its state could be kept nowhere; the bound also bounds the work forged
        // announcements can cause.
        ports_.report.setNoticeLine(ignoring);
        return false;
    }
    return !heard.wasTaken;  // a repeat only updated the time it was last heard
}

void MListener::moveRoute(const Announcement& announcement, const HeardDevices::Hearing& heard,
                          const std::string& prefix) {
    const std::string previous = ipv4Text(heard.previousAddress);
    ports_.report.appendStatus(kTag, prefix + " " + macText(announcement.mac()) +
                                         " now announces " + announcement.ipText() + " (was " +
                                         previous + ").\r\n");
    if (!heard.previousRouteAdded) {
        return;  // not ours to remove
    }
    if (const ToolResult removed = ports_.tools.RouteDelete(previous); !removed.succeeded()) {
        ports_.report.appendStatus(kTag, prefix + " Warning: The route to " + previous +
                                             " was not removed: " + removed.failure + "\r\n");
    }
}

bool MListener::namesDevice(const Announcement& announcement) const {
    std::vector<std::uint32_t> own{nicAddress_};
    for (const std::string& text : ports_.interfaces.addresses()) {
        if (const auto address = Ipv4::parse(text)) {
            own.push_back(*address);
        }
    }
    // Read afresh: the table above holds at most 16 addresses, and a netmask may change
    // while the address stays.
    const std::vector<InterfaceList::Entry> entries = InterfaceList::read();
    for (const InterfaceList::Entry& entry : entries) {
        own.push_back(entry.address);
    }
    const auto ip = announcement.ip();
    return AnnouncedAddress::judge(Ipv4::fromOctets(ip[0], ip[1], ip[2], ip[3]), own,
                                   AnnouncedAddress::broadcastsOf(nicAddress_, entries)) ==
           AnnouncedAddress::Verdict::Device;
}

void MListener::reportReceiveError(SocketError error, const std::string& prefix) {
    std::string text;
    switch (error) {
        case SocketError::messageTooLong:
            text = " Error: Socket Error (EMSGSIZE).\r\n";
            break;
        case SocketError::connectionAborted:
            text = " Error: Socket Error (ECONNABORTED).\r\n";
            break;
        case SocketError::connectionReset:
            text = " Error: Socket Error (ECONNRESET).\r\n";
            break;
        default:
            return;  // a cancelled receive among them: the loop test decides
    }
    const LogGroup log = ports_.report.logGroup();
    ports_.report.appendStatus(kTag, prefix + text);
    ports_.report.appendStatus(kTag, std::string(kListening));
}

bool MListener::notify(CTimedSocket& notifySocket, const Announcement& announcement,
                       const std::string& prefix) {
    const Announcement::Bytes notification = announcement.notification(nicAddress_);
    const auto ip = announcement.ip();
    const Endpoint device{Ipv4::fromOctets(ip[0], ip[1], ip[2], ip[3]), kNotifyPort};
    if (!notifySocket.SendTo(notification, device).ok()) {
        ports_.report.appendStatus(
            kTag,
            prefix + " Warning: Cannot notified the server to do the 'ROUTE ADD' operation.\r\n");
        return false;
    }
    return true;
}

void MListener::handleDevice(const Announcement& announcement, CTimedSocket& notifySocket,
                             const std::string& prefix, bool every) {
    const std::string serverIP = announcement.ipText();
    if (!every) {
        ports_.report.setServerAddress(serverIP);
    }
    const std::string sender = printableText(announcement.senderText());
    if (sender.empty()) {
        ports_.report.appendStatus(kTag, prefix + " IP and MAC address have been detected.");
    } else {
        ports_.report.appendStatus(
            kTag, prefix + " Received an IP and a MAC address from " + sender + ".\r\n");
    }
    if (!every) {
        showDevice(announcement);
    }

    if (notify(notifySocket, announcement, prefix)) {
        ports_.heard.setState(announcement.mac(), HeardState::Notified);
    }
    if (const ToolResult route = ports_.tools.RouteAdd(serverIP, Ipv4::format(nicAddress_));
        route.toolNotFound()) {
        ports_.report.appendStatus(kTag,
                                   prefix + " Warning: ip (iproute2) not found on the system.\r\n");
    } else if (!route.succeeded()) {
        ports_.report.appendStatus(
            kTag,
            prefix + " Warning: The route to the device was not added: " + route.failure + "\r\n");
    } else {
        ports_.tools.Keep(serverIP);  // the operator reaches the device's page through it
        ports_.heard.setState(announcement.mac(), HeardState::Routed);
    }
    ports_.tools.ArpDelete(serverIP);
    ports_.report.appendStatus(kTag, prefix + " Testing Ping to " + serverIP + ".\r\n");

    if (ports_.gate.winsockReady()) {
        bool answered = false;
        // A device that has not yet taken the route back to us misses the echo; each
        // notification gives it another chance. The rounds end early when the console leaves
        // Auto, so that a mode switch does not wait for all of them.
        for (int round = 0; round < kAnnouncePingRounds && keepListening(); ++round) {
            answered =
                ports_.pinger.PingHost(serverIP, kAnnouncePingAttempts, kAnnouncePingDataSize);
            if (answered) {
                break;
            }
            notify(notifySocket, announcement, prefix);
            std::this_thread::sleep_for(ports_.timings.notifyPause);
        }
        ports_.report.appendStatus(kTag, answered
                                             ? prefix + " Ping successful.\r\n"
                                             : prefix + " Warning: Ping request timed out.\r\n");
        ports_.heard.setState(announcement.mac(),
                              answered ? HeardState::Answering : HeardState::NotAnswering);
        if (every && answered) {
            // The banner leads to the latest device that answered.
            ports_.report.setServerAddress(serverIP);
            showDevice(announcement);
            ports_.report.setBannerState(BannerState::DeviceReady);
        }
    } else {
        ports_.report.appendStatus(
            kTag,
            prefix + " Warning: Ping failed because the socket interface could not be found.\r\n");
    }

    if (!every) {
        ports_.report.setBannerState(BannerState::DeviceReady);
    }
    ports_.report.appendStatus(kTag, std::string(kListening));
}

void MListener::showDevice(const Announcement& announcement) {
    ports_.report.showDeviceMac(announcement.mac());
    ports_.report.showDeviceIp(announcement.ip());
}

}  // namespace vantor

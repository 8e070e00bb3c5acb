#include "assign/MListener.h"

#include <array>
#include <cstdio>
#include <thread>

#include "assign/Announcement.h"
#include "console/Constants.h"
#include "console/Ipv4.h"
#include "console/OperatorConsole.h"
#include "recovery/CTimedSocket.h"

namespace vantor {

namespace {

constexpr int kTag = tagOf(ConsoleMode::Auto);
constexpr std::string_view kListening = "\r\n> Listening.....\r\n";

std::string ignoringText(const std::array<std::uint8_t, 6>& mac) {
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "Ignoring a packet from %02X-%02X-%02X-%02X-%02X-%02X",
                  mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text.data();
}

// The sender text as the log shows it. It comes from the network: control characters are
// replaced, so that a sender cannot add rows of its own ("\r\n> ...") or send control
// sequences to a terminal that shows the headless output.
std::string printable(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            c = '?';
        }
    }
    return text;
}

}  // namespace

MListener::MListener(OperatorConsole& owner, std::uint32_t nicAddress, std::uint16_t listenPort)
    : owner_(owner), listenPort_(listenPort), nicAddress_(nicAddress) {}

MListener::~MListener() = default;

void MListener::run() {
    if (start()) {
        finished_ = true;
    }
}

bool MListener::keepListening() const {
    return owner_.mode() == ConsoleMode::Auto && !stopRequested_.load();
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
    const std::string prefix = owner_.InterfacePrefix(nicAddress_);
    // Both sockets serve this interface alone: devices announce themselves by broadcast,
    // which a socket bound to the unicast address would not see, and the notification must
    // leave by this interface even before the device has a route.
    CTimedSocket receiveSocket;
    CTimedSocket notifySocket;
    if (!receiveSocket.CreateOnInterface(nicAddress_, listenPort_) ||
        !notifySocket.CreateOnInterface(nicAddress_, 0)) {
        owner_.AppendStatus(kTag, prefix + " Error: Cannot create a socket.\r\n");
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
        if (owner_.mode() != ConsoleMode::Auto) {
            continue;
        }
        const ParsedAnnouncement parsed =
            Announcement::parse(std::span(buffer.data(), received.length));
        if (!parsed.announcement || parsed.announcement->ignoreMarker()) {
            continue;
        }
        const Announcement& announcement = *parsed.announcement;
        {
            const std::lock_guard fields(owner_.fieldLock);
            if (owner_.deviceDetected) {
                owner_.SetNoticeLine(ignoringText(announcement.mac()));
                continue;
            }
            owner_.deviceDetected = true;
        }
        const std::lock_guard log(owner_.logLock);
        handleDevice(announcement, notifySocket, prefix);
    }

    const std::lock_guard lock(socketMutex_);
    receiveSocket_ = nullptr;
    notifySocket_ = nullptr;
    return true;
}

void MListener::reportReceiveError(SocketError error, const std::string& prefix) {
    std::string text;
    switch (error) {
        case SocketError::messageTooLong:
            text = " Error: Socket Error (WSAEMSGSIZE).\r\n";
            break;
        case SocketError::connectionAborted:
            text = " Error: Socket Error (WSAECONNABORTED).\r\n";
            break;
        case SocketError::connectionReset:
            text = " Error: Socket Error (WSAECONNRESET).\r\n";
            break;
        default:
            return;  // a cancelled receive among them: the loop test decides
    }
    const std::lock_guard log(owner_.logLock);
    owner_.AppendStatus(kTag, prefix + text);
    owner_.AppendStatus(kTag, std::string(kListening));
}

void MListener::notify(CTimedSocket& notifySocket, const Announcement& announcement,
                       const std::string& prefix) {
    const Announcement::Bytes notification = announcement.notification(nicAddress_);
    const auto ip = announcement.ip();
    const Endpoint device{Ipv4::fromOctets(ip[0], ip[1], ip[2], ip[3]), kNotifyPort};
    if (!notifySocket.SendTo(notification, device).ok()) {
        owner_.AppendStatus(
            kTag,
            prefix + " Warning: Cannot notified the server to do the 'ROUTE ADD' operation.\r\n");
    }
}

void MListener::handleDevice(const Announcement& announcement, CTimedSocket& notifySocket,
                             const std::string& prefix) {
    const std::string serverIP = announcement.ipText();
    owner_.setServerIP(serverIP);
    const std::string sender = printable(announcement.senderText());
    if (sender.empty()) {
        owner_.AppendStatus(kTag, prefix + " IP and MAC address have been detected.");
    } else {
        owner_.AppendStatus(kTag,
                            prefix + " Received an IP and a MAC address from " + sender + ".\r\n");
    }
    owner_.SetMacFields(announcement.mac());
    owner_.SetIpFields(announcement.ip());

    notify(notifySocket, announcement, prefix);
    if (!owner_.RouteAdd(serverIP, Ipv4::format(nicAddress_))) {
        owner_.AppendStatus(kTag, prefix + " Warning: Route.exe not found on the system.\r\n");
    }
    owner_.ArpDelete(serverIP);
    owner_.AppendStatus(kTag, prefix + " Testing Ping to " + serverIP + ".\r\n");

    if (owner_.winsockReady.load()) {
        bool answered = false;
        // A device that has not yet taken the route back to us misses the echo; each
        // notification gives it another chance. The rounds end early when the console leaves
        // Auto, so that a mode switch does not wait for all of them.
        for (int round = 0; round < kAnnouncePingRounds && keepListening(); ++round) {
            answered = owner_.PingHost(serverIP, kAnnouncePingAttempts, kAnnouncePingDataSize);
            if (answered) {
                break;
            }
            notify(notifySocket, announcement, prefix);
            std::this_thread::sleep_for(owner_.timings().notifyPause);
        }
        owner_.AppendStatus(kTag, answered ? prefix + " Ping successful.\r\n"
                                           : prefix + " Warning: Ping request timed out.\r\n");
    } else {
        owner_.AppendStatus(
            kTag, prefix + " Warning: Ping failed because WinSock1.1 DLL could not be found.\r\n");
    }

    owner_.SetBannerState(BannerState::DeviceReady);
    owner_.AppendStatus(kTag, std::string(kListening));
}

}  // namespace vantor

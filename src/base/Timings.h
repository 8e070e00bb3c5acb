// Every wait and time-out of the system. The defaults are the product's values; tests hand
// the console and its workers shortened copies so that they run in milliseconds.
#pragma once

#include <chrono>

namespace vantor {

using Millis = std::chrono::milliseconds;

struct Timings {
    // Operator console.
    Millis workerPoll{100};       // waits for worker thread counters in mode switches
    Millis interfaceWatch{1000};  // the interface watcher's period
    Millis bannerBlink{500};      // the banner timer
    // Host network tools.
    Millis runnerPoll{100};    // command runner while the pipe is empty and the child alive
    Millis pingTimeout{1100};  // one ICMP echo attempt
    // The network helper's answer to one request: a tool run it makes takes milliseconds, and
    // a helper that stays silent this long is taken for gone.
    Millis helperPatience{15000};
    // How long the program waits at its end for the helper to remove what it planted.
    Millis helperFarewell{3000};
    // Address assignment.
    Millis notifyPause{300};  // after an unanswered ping round of an announced device
    // Recovery boot service.
    Millis recoveryPoll{100};   // waits for the DHCP thread of a recovery listener
    Millis tftpTimeout{60000};  // a TFTP transfer waiting for an acknowledgement
    // How long a DATA packet must have gone unanswered before a duplicate ACK resends it:
    // under the retry interval of clients, well over a round trip on a link.
    Millis tftpDuplicateAckResend{1000};
    Millis initrdSettle{15000};  // after the RAM disk, before pinging the restarted device

    Millis recoveryPingPause{600};       // between unanswered ping attempts after the RAM disk
    Millis closingCheck{100};            // how often a long wait looks whether the program closes
    Millis dhcpShortPause{100};          // after a datagram too short to be a BOOTP message
    Millis dhcpShortPauseSpacing{1000};  // at most one such pause per this period
    Millis tftpAbortPause{100};          // after a DHCP request cancelled a running transfer
    Millis repeatedWarningWindow{1000};  // the same warning again within this is only counted
    Millis dhcpClientRateWindow{1000};   // one client MAC's DHCP messages are limited per this
    Millis peerRowWindow{1000};          // one peer's row groups are limited per this
    // How long another holder of the DHCP server port must stay before it counts as a rival
    // server: a program we start holds copies of our sockets until it runs.
    Millis portHolderPatience{200};
    // How often a DISCOVER makes the responder look for another DHCP server on its interface.
    Millis rivalLookSpacing{5000};
    // Firmware upgrade.
    Millis rebootCheckPause{10000};  // between reboot checks after new microcode
    Millis microcodePause{18000};    // after a 0x81 packet of the code update protocol
    Millis codeUpdateReceive{3000};  // one wait for a reply of the code update protocol
};

}  // namespace vantor

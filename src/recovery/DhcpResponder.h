#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Product.h"
#include "net/Endpoint.h"
#include "recovery/DhcpWire.h"
#include "recovery/RecentTable.h"
#include "recovery/RecoveryService.h"

namespace vantor {

// The board type a request announces in its Host Name option.
enum class BoardType {
    unknown,  // no Host Name option: the kernel this MAC announced before, else "kernel.img"
    pxa,      // Host Name begins "veltpxa": "kernel-pxa.img", log "Intel Found!"
    other,    // any other Host Name: "kernel.img", log "Motorolla Found!"
};

// What became of one received datagram, in the order the checks run.
enum class DhcpVerdict {
    tooShort,       // under 236 bytes
    otherServer,    // sname names a server other than this PC
    notRequest,     // op is not BOOTREQUEST
    foreignClient,  // the hardware address is not under the maker's OUI
    noReply,        // accepted, but its message type gets no answer (OFFER, DECLINE, ...)
    reply,          // answer with `reply`: an OFFER or an ACK
};

// Where a reply goes.
struct DhcpDestination {
    bool broadcast = true;
    Endpoint to{};
};

struct DhcpDecision {
    DhcpVerdict verdict = DhcpVerdict::tooShort;
    std::string serverName;  // the request's sname, for the "Packet addressed to" trace
    std::uint8_t op = 0;
    std::string macText;                // chaddr as MAC text (hlen bytes)
    std::array<std::uint8_t, 6> mac{};  // chaddr's first six bytes, for the MAC fields
    std::uint32_t clientAddress = 0;    // ciaddr, network order
    std::uint8_t messageType = 0;       // option 53, 0 for BOOTP
    BoardType board = BoardType::unknown;
    DhcpDestination destination{};
    std::uint8_t replyType = 0;  // 2 (OFFER) or 5 (ACK) when verdict is reply
    std::array<std::uint8_t, kDhcpReplySize> reply{};
};

// The decisions of the recovery DHCP/BOOTP responder of one interface, without sockets: it
// is not a general DHCP server. It keeps no leases, offers every accepted client the same
// address, names this interface as server and next server, and names the kernel of the
// board type the request announces. The only state is the board type each client MAC
// announced last: a boot loader's REQUEST may leave out the Host Name its DISCOVER had, and
// U-Boot sends none at all, so such a request gets what the same MAC said before, else the
// default kernel, never what another client said.
class DhcpResponder {
  public:
    // serverName: this PC's name as ServerNameFor() makes it; deviceOuis: the OUIs a client's
    // MAC must begin with (the recovery kit's, else the built-in one).
    DhcpResponder(std::uint32_t nicAddress, std::string serverName,
                  std::vector<std::array<std::uint8_t, 3>> deviceOuis = {kDeviceOui});

    // The name a request's sname must match (when not empty): the host name up to its first
    // ".", at most 63 characters, or a fixed name when the host name is unknown.
    static std::string ServerNameFor(const std::optional<std::string>& hostName);
    // "XX-XX-XX" of the built-in OUI.
    static std::string DeviceOuiText();
    // Whether a MAC text begins with one of the device OUIs.
    bool IsDeviceMac(std::string_view macText) const;
    // Unicast to a sender that has an address, else broadcast to the sender's port.
    static DhcpDestination ChooseDestination(Endpoint sender);

    // Decides what to do with one received datagram (at most 1458 bytes are looked at).
    DhcpDecision Evaluate(std::span<const std::uint8_t> datagram, Endpoint sender);

    std::uint32_t nicAddress() const { return nicAddress_; }
    std::uint32_t offeredAddress() const { return offeredAddress_; }
    // The boot file name a request without Host Name from this MAC text would be offered.
    std::string_view bootFileNameFor(std::string_view macText) const;

  private:
    // Reads the message type and the board type, remembers the board type of the client and,
    // for BOOTP, DISCOVER and REQUEST, builds the reply. True when a reply is to be sent.
    bool ProcessBootRequest(std::span<const std::uint8_t> message, DhcpDecision& decision);
    // The board type `macText` announced now, or else before.
    BoardType BoardOf(std::string_view macText, BoardType announced);
    static std::string_view KernelOf(BoardType board);

    std::vector<std::string> deviceOuiTexts_;
    std::uint32_t nicAddress_;
    std::uint32_t offeredAddress_;
    std::string serverName_;
    RecentTable<BoardType> boards_{kDhcpRememberedBoards};
};

}  // namespace vantor

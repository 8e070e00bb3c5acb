// Sends DHCP DISCOVERs one after the other, as a booting device does (from 0.0.0.0:68 to the
// broadcast address), and measures the time from each DISCOVER to its OFFER.
// Usage: vantor_dhcp_latency_bench COUNT
// Run it in a network namespace whose only link leads to the server under test.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/Product.h"
#include "net/CTimedSocket.h"
#include "recovery/DhcpMessage.h"
#include "recovery/DhcpWire.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::vector<std::uint8_t> discover(std::uint32_t xid) {
    std::vector<std::uint8_t> bytes(300, 0);
    bytes[0] = vantor::kBootRequest;
    bytes[1] = 1;  // Ethernet
    bytes[2] = 6;
    for (int i = 0; i < 4; ++i) {
        bytes[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(xid >> (24 - 8 * i));
    }
    bytes[10] = 0x80;  // broadcast flag: this client cannot take unicast yet
    const std::uint8_t mac[6] = {
        vantor::kDeviceOui[0], vantor::kDeviceOui[1], vantor::kDeviceOui[2], 0xBE, 0x4C, 0x01};
    std::copy(std::begin(mac), std::end(mac), bytes.begin() + vantor::kDhcpChaddrOffset);
    std::copy(vantor::kDhcpMagicCookie.begin(), vantor::kDhcpMagicCookie.end(),
              bytes.begin() + vantor::kDhcpCookieOffset);
    const std::uint8_t options[] = {vantor::kDhcpOptionMessageType,
                                    1,
                                    vantor::kDhcpDiscover,
                                    vantor::kDhcpOptionHostName,
                                    7,
                                    'v',
                                    'e',
                                    'l',
                                    't',
                                    'p',
                                    'x',
                                    'a',
                                    vantor::kDhcpOptionEnd};
    std::copy(std::begin(options), std::end(options), bytes.begin() + vantor::kDhcpOptionsOffset);
    return bytes;
}

bool isOfferFor(const std::vector<std::uint8_t>& reply, std::size_t length, std::uint32_t xid) {
    if (length < vantor::kDhcpMinimumSize || reply[0] != vantor::kBootReply) {
        return false;
    }
    const std::uint32_t got = (std::uint32_t{reply[4]} << 24) | (std::uint32_t{reply[5]} << 16) |
                              (std::uint32_t{reply[6]} << 8) | reply[7];
    const auto span = std::span<const std::uint8_t>(reply.data(), length);
    return got == xid && vantor::DhcpMessage::MessageType(span) == vantor::kDhcpOffer;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 20;
    if (count <= 0 || count > 1000) {
        std::fprintf(stderr, "usage: %s COUNT (1 to 1000)\n", argv[0]);
        return 2;
    }
    vantor::CTimedSocket socket;
    if (!socket.Create(0, vantor::kDhcpClientPort) || !socket.SetBroadcast(true)) {
        std::fprintf(stderr, "cannot open port 68: errno %d\n", socket.lastError());
        return 1;
    }
    std::vector<double> millis;
    std::vector<std::uint8_t> buffer(1500);
    const auto begin = Clock::now();
    for (int i = 0; i < count; ++i) {
        const auto xid = static_cast<std::uint32_t>(0x5EED0000 + i);
        const auto sent = Clock::now();
        socket.SendTo(discover(xid), vantor::Endpoint{0xFFFFFFFFU, vantor::kDhcpServerPort});
        socket.ClearReceiveTimeout();
        socket.SetReceiveTimeout(5000ms);
        for (;;) {
            const vantor::SocketResult got = socket.ReceiveWithTimeout(buffer);
            if (!got.ok()) {
                std::fprintf(stderr, "no OFFER for DISCOVER %d\n", i);
                return 1;
            }
            if (isOfferFor(buffer, got.length, xid)) {
                break;
            }
            socket.SetReceiveTimeout(5000ms);  // keeps the first deadline
        }
        millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    }
    const double total = std::chrono::duration<double>(Clock::now() - begin).count();
    std::sort(millis.begin(), millis.end());
    std::printf(
        "DISCOVER to OFFER over %d requests: median %.2f ms, fastest %.2f ms, slowest "
        "%.2f ms; %.1f answers/s one after the other\n",
        count, millis[millis.size() / 2], millis.front(), millis.back(), count / total);
    return 0;
}

// Fetches one file over TFTP as a boot loader that asks for a window does (U-Boot with
// `tftpwindowsize`), and prints how long the transfer took.
//
// The request asks for blksize, tsize, timeout and windowsize (RFC 2347, 2348, 2349, 7440).
// The window the server grants in its OACK is the one used; a server that leaves windowsize
// out of its OACK runs in lock-step, one ACK a block (RFC 1350). As an RFC 7440 receiver this
// client acknowledges every window's last block and the file's last block. A block that does
// not follow the last one in order is dropped; the first such block after a block taken makes
// the client acknowledge that last in-order block at once (a negative acknowledgement: the
// server sends again from the block after it) and count the next window from there, which is
// what U-Boot does. A wait of a second without a datagram sends the last packet again, at
// most five times in a row (U-Boot waits five seconds).
//
// Usage: vantor_tftp_window_bench ADDRESS FILE OUTPUT [BLKSIZE [WINDOWSIZE [DROP [WORK]]]]
// (defaults 1468, 16, 0 and 0). DROP, when not 0, throws one DATA packet in DROP away as it
// arrives, as a boot loader whose few receive buffers overflowed during a window loses it. The
// packets are picked at random from a fixed seed, so that every server meets the same losses
// (by order of arrival) and no loss pattern lines up with the window. WORK, when not 0, is
// the microseconds the client spends on each block it takes (spinning, not sleeping), as a
// boot loader in an emulator or one that checksums as it stores does: a server whose first
// block of a window leaves late then costs the client time that a quick burst cannot win back.
// Prints one line: the seconds from the request to the last ACK, the blocks received, the ACKs
// sent, the blocks that came out of order or twice, the receive time-outs, the window granted and
// the DATA packets dropped. The file is written to OUTPUT after the clock stops. Run it in a
// network namespace whose only link leads to the server under test.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "recovery/TftpOptions.h"
#include "recovery/TftpPacket.h"
#include "recovery/TftpWire.h"

namespace {

using Clock = std::chrono::steady_clock;

// The same as a U-Boot build that leaves its defaults: a server's silence is waited out this
// many times before the fetch fails, and the whole fetch is bounded in time.
constexpr int kMaxTimeoutsInARow = 5;
constexpr std::chrono::seconds kFetchLimit{120};
constexpr int kTimeoutSeconds = 1;
// U-Boot's default retransmission time-out, asked as the server's (RFC 2349).
constexpr int kRequestedTimeoutSeconds = 5;
constexpr std::uint32_t kLossSeed = 7440;
constexpr std::uint64_t kMaxWorkMicros = 10000;

struct Received {
    std::size_t length = 0;
    sockaddr_in from{};
    bool timedOut = false;
};

class Client {
  public:
    bool open() {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) {
            return false;
        }
        const timeval wait{kTimeoutSeconds, 0};
        return setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) == 0;
    }
    ~Client() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Client() = default;
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool send(std::span<const std::uint8_t> bytes, const sockaddr_in& to) {
        return sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                      sizeof to) == static_cast<ssize_t>(bytes.size());
    }
    // One datagram, or a time-out; nothing on any other failure.
    std::optional<Received> receive(std::span<std::uint8_t> buffer) {
        Received got;
        socklen_t size = sizeof got.from;
        const ssize_t length = recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                        reinterpret_cast<sockaddr*>(&got.from), &size);
        if (length < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                got.timedOut = true;
                return got;
            }
            return std::nullopt;
        }
        got.length = static_cast<std::size_t>(length);
        return got;
    }

  private:
    int fd_ = -1;
};

struct Counts {
    std::size_t blocks = 0;
    std::size_t acks = 0;
    std::size_t outOfOrder = 0;
    std::size_t timeouts = 0;
    std::size_t dropped = 0;
    std::uint32_t window = 1;
};

// Option names are case-insensitive (RFC 2347).
bool named(const vantor::TftpOption& option, std::string_view name) {
    return option.name.size() == name.size() &&
           strncasecmp(option.name.c_str(), name.data(), name.size()) == 0;
}

int usage(const char* program) {
    std::fprintf(stderr, "usage: %s ADDRESS FILE OUTPUT [BLKSIZE [WINDOWSIZE [DROP [WORK]]]]\n",
                 program);
    return 2;
}

int fail(const char* what) {
    std::fprintf(stderr, "tftp_window: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 8) {
        return usage(argv[0]);
    }
    const std::string blockSizeText = argc > 4 ? argv[4] : "1468";
    const std::string windowText = argc > 5 ? argv[5] : "16";
    const auto dropEvery = vantor::TftpOptions::ParseNumber(argc > 6 ? argv[6] : "0");
    const auto workMicros = vantor::TftpOptions::ParseNumber(argc > 7 ? argv[7] : "0");
    const auto askedBlockSize = vantor::TftpOptions::ParseNumber(blockSizeText);
    const auto askedWindow = vantor::TftpOptions::ParseNumber(windowText);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(vantor::kTftpPort);
    if (inet_pton(AF_INET, argv[1], &server.sin_addr) != 1 || !askedBlockSize ||
        *askedBlockSize < vantor::kTftpMinBlockSize ||
        *askedBlockSize > vantor::kTftpMaxBlockSize || !askedWindow ||
        *askedWindow < vantor::kTftpMinWindowSize || *askedWindow > vantor::kTftpWindowSizeLimit ||
        !dropEvery || !workMicros || *workMicros > kMaxWorkMicros) {
        return usage(argv[0]);
    }
    Client client;
    if (!client.open()) {
        return fail("cannot open a UDP socket");
    }
    // U-Boot's order; tsize 0 asks the server for the file's size.
    const std::vector<vantor::TftpOption> options{
        {std::string(vantor::kTftpOptionTimeout), std::to_string(kRequestedTimeoutSeconds)},
        {std::string(vantor::kTftpOptionTransferSize), "0"},
        {std::string(vantor::kTftpOptionBlockSize), blockSizeText},
        {std::string(vantor::kTftpOptionWindowSize), windowText}};
    const std::vector<std::uint8_t> request =
        vantor::TftpPacket::BuildRequest(vantor::kTftpRrq, argv[2], "octet", options);

    std::vector<std::uint8_t> buffer(vantor::kTftpHeaderSize + vantor::kTftpMaxBlockSize);
    std::vector<std::uint8_t> file;
    Counts counts;
    std::size_t blockSize = vantor::kTftpBlockSize;  // until an OACK says otherwise
    std::optional<sockaddr_in> peer;                 // the server's transfer ID
    std::uint16_t lastInOrder = 0;                   // the last block taken, in order
    std::uint16_t nextAck = 1;                       // the block that ends the window
    std::uint16_t lastNack = 0;                      // the block of the last negative ACK
    sockaddr_in serverPort = server;  // port 69 until the server answers from its own
    int timeoutsInARow = 0;
    std::mt19937 losses(kLossSeed);

    const auto start = Clock::now();
    if (!client.send(request, server)) {
        return fail("cannot send the request");
    }
    const auto acknowledge = [&](std::uint16_t block) {
        ++counts.acks;
        return client.send(vantor::TftpPacket::BuildAck(block), serverPort);
    };
    for (;;) {
        if (Clock::now() - start > kFetchLimit) {
            return fail("the fetch took too long");
        }
        const auto got = client.receive(buffer);
        if (!got) {
            return fail("receive failed");
        }
        if (got->timedOut) {
            ++counts.timeouts;
            if (++timeoutsInARow > kMaxTimeoutsInARow) {
                return fail("the server fell silent");
            }
            // Before any answer the request again, after it the last block taken.
            const bool sent = peer ? acknowledge(lastInOrder) : client.send(request, server);
            if (!sent) {
                return fail("cannot send after a time-out");
            }
            continue;
        }
        timeoutsInARow = 0;
        if (peer && (got->from.sin_addr.s_addr != peer->sin_addr.s_addr ||
                     got->from.sin_port != peer->sin_port)) {
            continue;  // not the transfer's server port (RFC 1350 section 4)
        }
        const std::span<const std::uint8_t> datagram(buffer.data(), got->length);
        const auto opcode = vantor::TftpPacket::Opcode(datagram);
        if (opcode == vantor::kTftpError) {
            const auto error = vantor::TftpPacket::ParseError(datagram);
            std::fprintf(stderr, "tftp_window: ERROR %u from the server: %s\n",
                         error ? error->code : 0U, error ? error->message.c_str() : "");
            return 1;
        }
        if (!peer) {
            peer = got->from;
            serverPort = got->from;
        }
        if (opcode == vantor::kTftpOack && counts.blocks == 0) {
            const auto granted = vantor::TftpPacket::ParseOack(datagram);
            if (!granted) {
                return fail("malformed OACK");
            }
            // A second OACK before the first block (the server resent it) is answered again.
            for (const vantor::TftpOption& option : *granted) {
                const auto value = vantor::TftpOptions::ParseNumber(option.value);
                if (!value) {
                    continue;
                }
                if (named(option, vantor::kTftpOptionBlockSize)) {
                    blockSize = static_cast<std::size_t>(*value);
                } else if (named(option, vantor::kTftpOptionWindowSize)) {
                    counts.window = static_cast<std::uint32_t>(*value);
                }
            }
            if (blockSize > buffer.size() - vantor::kTftpHeaderSize) {
                return fail("the OACK names a block size larger than asked for");
            }
            nextAck = static_cast<std::uint16_t>(counts.window);
            if (!acknowledge(0)) {
                return fail("cannot send an ACK");
            }
            continue;
        }
        const auto data = vantor::TftpPacket::ParseData(datagram);
        if (!data) {
            continue;
        }
        if (*dropEvery != 0 && losses() % *dropEvery == 0) {
            ++counts.dropped;
            continue;
        }
        const auto expected = static_cast<std::uint16_t>(lastInOrder + 1);
        if (data->block != expected) {
            ++counts.outOfOrder;
            // RFC 7440 section 4: the last in-order block is acknowledged, once, not for every
            // block of the window that follows the gap.
            if (lastNack != lastInOrder) {
                lastNack = lastInOrder;
                nextAck = static_cast<std::uint16_t>(lastInOrder + counts.window);
                if (!acknowledge(lastInOrder)) {
                    return fail("cannot send an ACK");
                }
            }
            continue;
        }
        if (*workMicros != 0) {
            const auto until = Clock::now() + std::chrono::microseconds(*workMicros);
            while (Clock::now() < until) {
            }
        }
        ++counts.blocks;
        lastInOrder = data->block;
        file.insert(file.end(), data->payload.begin(), data->payload.end());
        const bool last = data->payload.size() < blockSize;
        if (last || lastInOrder == nextAck) {
            nextAck = static_cast<std::uint16_t>(nextAck + counts.window);
            if (!acknowledge(lastInOrder)) {
                return fail("cannot send an ACK");
            }
        }
        if (last) {
            break;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::FILE* out = std::fopen(argv[3], "wb");
    if (out == nullptr) {
        return fail("cannot open the output file");
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (std::fclose(out) != 0 || !written) {
        return fail("cannot write the output file");
    }
    std::printf("%.4f %zu %zu %zu %zu %u\n", seconds, counts.blocks, counts.acks, counts.outOfOrder,
                counts.timeouts, counts.window);
    return 0;
}

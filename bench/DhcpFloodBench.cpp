// Floods a BOOTP/DHCP server with a mix of junk (foreign clients, datagrams too short or too
// large, replies, garbage options, noise, requests for another server) at rising rates while
// a device asks for an address now and then (DISCOVER, REQUEST by turns), and counts, for
// each rate, the device's requests answered and the datagrams the kernel dropped at the
// server's sockets. The sustained rate is the highest at which every device request was
// answered.
// Usage: vantor_dhcp_flood_bench SERVER_PID [SECONDS_PER_RATE [DEVICE_REQUESTS_PER_SECOND]]
// SERVER_PID: the server's process, whose /proc/PID/net/udp shows its namespace's drops.
// Run it in a network namespace whose only link leads to the server under test.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/Product.h"
#include "recovery/DhcpMessage.h"
#include "recovery/DhcpWire.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class Socket {
  public:
    explicit Socket(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
        const int on = 1;
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(port);
        if (fd_ < 0 || setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
            bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            std::perror("socket");
            std::exit(1);
        }
    }
    ~Socket() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    void sendToServer(const std::vector<std::uint8_t>& bytes) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(vantor::kDhcpServerPort);
        to.sin_addr.s_addr = INADDR_BROADCAST;
        // A full send buffer only slows the sender down; the count is of datagrams sent.
        while (sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                      sizeof to) < 0 &&
               errno == ENOBUFS) {
            std::this_thread::sleep_for(100us);
        }
    }
    int fd() const { return fd_; }

  private:
    int fd_;
};

std::vector<std::uint8_t> request(std::uint8_t macLast, std::uint32_t xid, std::uint8_t type,
                                  std::size_t size = 300) {
    std::vector<std::uint8_t> bytes(vantor::kDhcpOptionsOffset, 0);
    bytes[0] = vantor::kBootRequest;
    bytes[1] = 1;
    bytes[2] = 6;
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[4 + i] = static_cast<std::uint8_t>(xid >> (24 - 8 * i));
    }
    bytes[10] = 0x80;
    const std::uint8_t mac[6] = {
        vantor::kDeviceOui[0], vantor::kDeviceOui[1], vantor::kDeviceOui[2], 0xF1, 0x00, macLast};
    std::copy(std::begin(mac), std::end(mac), bytes.begin() + vantor::kDhcpChaddrOffset);
    std::copy(vantor::kDhcpMagicCookie.begin(), vantor::kDhcpMagicCookie.end(),
              bytes.begin() + vantor::kDhcpCookieOffset);
    const std::uint8_t options[] = {vantor::kDhcpOptionMessageType,
                                    1,
                                    type,
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
    for (const std::uint8_t byte : options) {
        bytes.push_back(byte);
    }
    bytes.resize(std::max(size, bytes.size()), 0);
    return bytes;
}

// Junk the server must not answer, of the shape n selects.
std::vector<std::uint8_t> junk(std::size_t n) {
    const auto macLast = static_cast<std::uint8_t>(0x80 + n % 64);
    std::vector<std::uint8_t> bytes =
        request(macLast, static_cast<std::uint32_t>(0x0BAD0000u + n), vantor::kDhcpDiscover);
    std::uint32_t state = static_cast<std::uint32_t>(n) * 2654435761u;
    const auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(state >> 24);
    };
    switch (n % 7) {
        case 0:  // a client under a foreign OUI
            bytes[vantor::kDhcpChaddrOffset] = 0x00;
            bytes[vantor::kDhcpChaddrOffset + 1] = 0x11;
            return bytes;
        case 1:  // too short to be a BOOTP message
            bytes.resize(1 + n % (vantor::kDhcpMinimumSize - 1));
            return bytes;
        case 2:  // a reply
            bytes[0] = vantor::kBootReply;
            return bytes;
        case 3:  // noise
            bytes.resize(300 + n % 1100);
            std::generate(bytes.begin(), bytes.end(), next);
            bytes[0] = 7;
            return bytes;
        case 4:  // a type that wants no answer, then garbage options
            bytes[vantor::kDhcpOptionsOffset + 2] = static_cast<std::uint8_t>(9 + n % 200);
            bytes.resize(vantor::kDhcpOptionsOffset + 3);
            for (int i = 0; i < 40; ++i) {
                bytes.push_back(next());
            }
            return bytes;
        case 5:  // larger than the server's receive buffer
            bytes.resize(vantor::kDhcpReceiveSize + 1 + n % 14);
            return bytes;
        default: {  // for another server
            const std::string other = "another-server";
            std::copy(other.begin(), other.end(), bytes.begin() + vantor::kDhcpSnameOffset);
            return bytes;
        }
    }
}

// Datagrams dropped at the sockets on UDP port 67 of the server's namespace.
std::uint64_t serverDrops(const std::string& table) {
    std::ifstream in(table);
    std::uint64_t drops = 0;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, field;
        fields >> slot >> local;
        if (local.size() < 5 || local.substr(local.size() - 5) != ":0043") {
            continue;
        }
        while (fields >> field) {
        }
        drops += std::stoull(field);
    }
    return drops;
}

struct Step {
    double offered = 0;
    std::size_t junkSent = 0;
    double seconds = 0;
    int asked = 0;
    int answered = 0;
    double slowestMs = 0;
    std::uint64_t dropped = 0;
};

// Replies to the device, matched to its requests by transaction ID.
class Answers {
  public:
    explicit Answers(const Socket& socket) : socket_(socket), thread_([this] { run(); }) {}
    ~Answers() {
        stop_ = true;
        thread_.join();
    }
    void asked(std::uint32_t xid, std::uint8_t type) {
        const std::lock_guard lock(mutex_);
        waiting_[xid] = {type, Clock::now()};
    }
    // Answered requests since the last call, and the slowest answer.
    std::pair<int, double> take() {
        const std::lock_guard lock(mutex_);
        const auto taken = std::make_pair(answered_, slowestMs_);
        answered_ = 0;
        slowestMs_ = 0;
        waiting_.clear();
        return taken;
    }

  private:
    void run() {
        std::vector<std::uint8_t> buffer(1500);
        while (!stop_) {
            pollfd wait{socket_.fd(), POLLIN, 0};
            if (poll(&wait, 1, 50) <= 0) {
                continue;
            }
            const ssize_t got = recv(socket_.fd(), buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (got < static_cast<ssize_t>(vantor::kDhcpMinimumSize) ||
                buffer[0] != vantor::kBootReply) {
                continue;
            }
            const std::uint32_t xid = (std::uint32_t{buffer[4]} << 24) |
                                      (std::uint32_t{buffer[5]} << 16) |
                                      (std::uint32_t{buffer[6]} << 8) | buffer[7];
            const auto type = vantor::DhcpMessage::MessageType(
                std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got)));
            const std::lock_guard lock(mutex_);
            const auto found = waiting_.find(xid);
            if (found != waiting_.end() && found->second.first == type) {
                ++answered_;
                slowestMs_ = std::max(slowestMs_, std::chrono::duration<double, std::milli>(
                                                      Clock::now() - found->second.second)
                                                      .count());
                waiting_.erase(found);
            }
        }
    }

    const Socket& socket_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::map<std::uint32_t, std::pair<std::uint8_t, Clock::time_point>> waiting_;
    int answered_ = 0;
    double slowestMs_ = 0;
    std::jthread thread_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SERVER_PID [SECONDS_PER_RATE [DEVICE_REQUESTS_PER_S]]\n",
                     argv[0]);
        return 2;
    }
    const std::string table = std::string("/proc/") + argv[1] + "/net/udp";
    const double secondsPerRate = std::clamp(argc > 2 ? std::atof(argv[2]) : 3.0, 0.5, 30.0);
    const double devicePerSecond = std::clamp(argc > 3 ? std::atof(argv[3]) : 4.0, 0.5, 50.0);
    const std::vector<double> rates = {250, 500, 1000, 2000, 4000, 8000, 16000, 32000};

    const Socket device(vantor::kDhcpClientPort);
    const Socket flooder(6868);
    Answers answers(device);
    std::vector<Step> steps;
    std::size_t n = 0;
    std::uint32_t xid = 0x5EED0000;
    for (const double rate : rates) {
        Step step;
        step.offered = rate;
        const std::uint64_t dropsBefore = serverDrops(table);
        const auto begin = Clock::now();
        const auto end = begin + std::chrono::duration<double>(secondsPerRate);
        const auto limit = static_cast<std::size_t>(rate * secondsPerRate);
        auto nextDevice = begin;
        const auto devicePeriod = std::chrono::duration<double>(1.0 / devicePerSecond);
        // Paced in 1 ms ticks: the datagrams due by now go out, then a short sleep.
        while (step.junkSent < limit && Clock::now() < end) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
            const auto due = std::min(limit, static_cast<std::size_t>(elapsed * rate) + 1);
            for (; step.junkSent < due; ++step.junkSent) {
                flooder.sendToServer(junk(n++));
            }
            if (Clock::now() >= nextDevice) {
                const std::uint8_t type =
                    step.asked % 2 == 0 ? vantor::kDhcpDiscover : vantor::kDhcpRequest;
                answers.asked(
                    ++xid, type == vantor::kDhcpDiscover ? vantor::kDhcpOffer : vantor::kDhcpAck);
                device.sendToServer(request(0x01, xid, type));
                ++step.asked;
                nextDevice += std::chrono::duration_cast<Clock::duration>(devicePeriod);
            }
            std::this_thread::sleep_for(1ms);
        }
        step.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
        // Time for the server to read what is still queued and answer.
        std::this_thread::sleep_for(1500ms);
        std::tie(step.answered, step.slowestMs) = answers.take();
        step.dropped = serverDrops(table) - dropsBefore;
        steps.push_back(step);
    }

    // read/s: the datagrams the server took off its socket per second of flood.
    std::printf("%10s %10s %10s %8s %10s %12s %10s\n", "offered/s", "sent/s", "read/s", "device",
                "answered", "slowest ms", "dropped");
    double sustained = 0;
    double sustainedSent = 0;
    double dropless = 0;
    bool lossless = true;
    bool undropped = true;
    for (const Step& step : steps) {
        const double sent = static_cast<double>(step.junkSent + step.asked) / step.seconds;
        const double read =
            static_cast<double>(step.junkSent + static_cast<std::size_t>(step.asked) -
                                std::min<std::size_t>(step.dropped, step.junkSent)) /
            step.seconds;
        std::printf("%10.0f %10.0f %10.0f %8d %10d %12.1f %10llu\n", step.offered, sent, read,
                    step.asked, step.answered, step.slowestMs,
                    static_cast<unsigned long long>(step.dropped));
        lossless = lossless && step.answered == step.asked;
        if (lossless) {
            sustained = step.offered;
            sustainedSent = sent;
        }
        undropped = undropped && step.dropped == 0;
        if (undropped) {
            dropless = step.offered;
        }
    }
    std::printf(
        "sustained with every device request answered: %.0f datagrams/s offered (%.0f sent), "
        "with %.1f device requests/s amid them\n",
        sustained, sustainedSent, devicePerSecond);
    std::printf("highest offered rate without a datagram dropped at the server: %.0f/s\n",
                dropless);
    return 0;
}

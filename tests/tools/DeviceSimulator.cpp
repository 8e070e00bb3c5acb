// Plays a device's side of address assignment in a test network namespace, where no real
// device exists:
//
//   announce  sends the 82-byte announcement to port 1810 (unicast or broadcast) and records
//             every notification that comes back to its port 1809 ("notification FROM HEX");
//             with --vary-mac each of its --count datagrams names the next MAC (the last two
//             bytes counted up), as a flood of forged devices would;
//   adopt     watches its interface for an ICMP echo request sent to its own MAC address with
//             an IPv4 destination it does not have, takes that address and from then on
//             answers (the kernel does, once the address is on the interface); with
//             --never-answer it only records what it saw.
//
// Every run is bounded by --duration. Records are written one line per event to --record.
#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string command;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    std::string get(const std::string& name, const std::string& fallback = "") const {
        const auto it = values.find(name);
        return it == values.end() ? fallback : it->second;
    }
};

Options parse(int argc, char** argv) {
    Options o;
    if (argc > 1) {
        o.command = argv[1];
    }
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--never-answer" || arg == "--broadcast" || arg == "--vary-mac") {
            o.flags.insert(arg.substr(2));
        } else if (arg.rfind("--", 0) == 0 && i + 1 < argc) {
            o.values[arg.substr(2)] = argv[++i];
        } else {
            std::cerr << "device-sim: bad argument " << arg << "\n";
            std::exit(2);
        }
    }
    return o;
}

std::optional<std::array<std::uint8_t, 6>> parseMac(const std::string& text) {
    std::array<unsigned, 6> v{};
    if (std::sscanf(text.c_str(), "%x%*[-:]%x%*[-:]%x%*[-:]%x%*[-:]%x%*[-:]%x", &v[0], &v[1], &v[2],
                    &v[3], &v[4], &v[5]) != 6) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 6> mac{};
    for (std::size_t i = 0; i < 6; ++i) {
        mac[i] = static_cast<std::uint8_t>(v[i]);
    }
    return mac;
}

std::string hex(const std::uint8_t* data, std::size_t size) {
    std::string out;
    char b[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(b, sizeof b, "%02x", data[i]);
        out += b;
    }
    return out;
}

class Record {
  public:
    explicit Record(const std::string& path) : out_(path, std::ios::app) {}
    void line(const std::string& text) {
        out_ << text << "\n";
        out_.flush();
    }

  private:
    std::ofstream out_;
};

int announce(const Options& o) {
    const auto mac = parseMac(o.get("mac"));
    in_addr ip{};
    if (!mac || inet_pton(AF_INET, o.get("ip").c_str(), &ip) != 1) {
        std::cerr << "device-sim: announce needs --mac and --ip\n";
        return 2;
    }
    std::vector<std::uint8_t> datagram(82, 0);
    const std::string marker = o.get("marker", "");
    if (marker == "ignore") {
        std::fill_n(datagram.begin(), 4, 0xFF);
    }
    // Bytes 0 to 7 as hexadecimal digits, for checking that they come back unchanged.
    const std::string head = o.get("head");
    for (std::size_t i = 0; i + 1 < head.size() && i / 2 < 8; i += 2) {
        datagram[i / 2] = static_cast<std::uint8_t>(std::stoul(head.substr(i, 2), nullptr, 16));
    }
    std::copy(mac->begin(), mac->end(), datagram.begin() + 8);
    std::memcpy(datagram.data() + 14, &ip, 4);
    const std::string text = o.get("text");
    std::memcpy(datagram.data() + 18, text.data(), std::min<std::size_t>(text.size(), 64));
    if (const std::string length = o.get("length"); !length.empty()) {
        datagram.resize(std::stoul(length), 0);
    }

    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const std::string iface = o.get("iface");
    if (!iface.empty()) {
        setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, iface.c_str(),
                   static_cast<socklen_t>(iface.size()));
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(1809);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror("device-sim: bind 1809");
        return 1;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(1810);
    if (inet_pton(AF_INET, o.get("to", "255.255.255.255").c_str(), &to.sin_addr) != 1) {
        std::cerr << "device-sim: bad --to\n";
        return 2;
    }

    Record record(o.get("record", "/dev/stdout"));
    const bool varyMac = o.flags.count("vary-mac") > 0;
    const int count = std::stoi(o.get("count", "1"));
    const auto interval = std::chrono::milliseconds(std::stoi(o.get("interval", "100")));
    const auto end = Clock::now() + std::chrono::milliseconds(std::stoi(o.get("duration", "3000")));
    auto nextSend = Clock::now();
    int sent = 0;
    while (Clock::now() < end) {
        if (sent < count && Clock::now() >= nextSend) {
            if (varyMac) {
                const unsigned last = ((unsigned{(*mac)[4]} << 8) | (*mac)[5]) + sent;
                datagram[12] = static_cast<std::uint8_t>(last >> 8);
                datagram[13] = static_cast<std::uint8_t>(last);
            }
            if (sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                       sizeof to) < 0) {
                record.line(std::string("send-error ") + std::strerror(errno));
            } else {
                record.line("sent");
            }
            ++sent;
            nextSend = Clock::now() + interval;
        }
        pollfd p{fd, POLLIN, 0};
        const auto untilNext =
            std::chrono::duration_cast<std::chrono::milliseconds>(nextSend - Clock::now()).count();
        const int wait =
            sent < count ? static_cast<int>(std::clamp<long long>(untilNext, 0, 10)) : 10;
        if (poll(&p, 1, wait) > 0) {
            std::array<std::uint8_t, 2048> buffer{};
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = recvfrom(fd, buffer.data(), buffer.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n > 0) {
                char addr[INET_ADDRSTRLEN];
                inet_ntop(AF_INET, &from.sin_addr, addr, sizeof addr);
                record.line(std::string("notification ") + addr + " " +
                            hex(buffer.data(), static_cast<std::size_t>(n)));
            }
        }
    }
    close(fd);
    return 0;
}

int run(const std::string& command) {
    return std::system(command.c_str());
}

int adopt(const Options& o) {
    const std::string iface = o.get("iface");
    const unsigned index = if_nametoindex(iface.c_str());
    if (index == 0) {
        std::cerr << "device-sim: no interface " << iface << "\n";
        return 2;
    }
    const int fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_IP));
    if (fd < 0) {
        std::perror("device-sim: packet socket");
        return 1;
    }
    sockaddr_ll bindTo{};
    bindTo.sll_family = AF_PACKET;
    bindTo.sll_protocol = htons(ETH_P_IP);
    bindTo.sll_ifindex = static_cast<int>(index);
    if (bind(fd, reinterpret_cast<sockaddr*>(&bindTo), sizeof bindTo) != 0) {
        std::perror("device-sim: bind packet socket");
        return 1;
    }

    ifreq request{};
    std::strncpy(request.ifr_name, iface.c_str(), IFNAMSIZ - 1);
    ioctl(fd, SIOCGIFHWADDR, &request);
    std::array<std::uint8_t, 6> ownMac{};
    std::memcpy(ownMac.data(), request.ifr_hwaddr.sa_data, 6);

    Record record(o.get("record", "/dev/stdout"));
    record.line("ready");  // from here on no echo request is missed
    const bool neverAnswer = o.flags.count("never-answer") > 0;
    std::set<std::string> taken;
    const auto end = Clock::now() + std::chrono::milliseconds(std::stoi(o.get("duration", "5000")));
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) {
            continue;
        }
        std::array<std::uint8_t, 2048> frame{};
        sockaddr_ll from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = recvfrom(fd, frame.data(), frame.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
        // Our own transmissions come back as outgoing packets: only look at what arrives.
        if (n < 14 + 20 + 8 || from.sll_pkttype == PACKET_OUTGOING) {
            continue;
        }
        if (std::memcmp(frame.data(), ownMac.data(), 6) != 0) {
            continue;
        }
        const std::uint8_t* ipHeader = frame.data() + 14;
        const std::size_t ihl = (ipHeader[0] & 0x0F) * 4u;
        if (ihl < 20 || static_cast<std::size_t>(n) < 14 + ihl + 8 || ipHeader[9] != IPPROTO_ICMP ||
            ipHeader[ihl] != ICMP_ECHO) {
            continue;
        }
        char source[INET_ADDRSTRLEN];
        char destination[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, ipHeader + 12, source, sizeof source);
        inet_ntop(AF_INET, ipHeader + 16, destination, sizeof destination);
        const std::size_t payload = static_cast<std::size_t>(n) - 14 - ihl - 8;
        record.line(std::string("echo ") + source + " " + destination + " " +
                    std::to_string(payload));
        if (neverAnswer || taken.count(destination) > 0) {
            continue;
        }
        // The first request to an unknown address hands us the address; the kernel answers
        // the retries.
        taken.insert(destination);
        run("ip addr add " + std::string(destination) + "/32 dev " + iface);
        run("ip route replace " + std::string(source) + "/32 dev " + iface);
        record.line(std::string("adopted ") + destination);
    }
    close(fd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    if (o.command == "announce") {
        return announce(o);
    }
    if (o.command == "adopt") {
        return adopt(o);
    }
    std::cerr << "usage: device-sim announce --mac M --ip A [--text T] [--to ADDR] "
                 "[--iface IF] [--count N] [--interval MS] [--length N] [--marker ignore] "
                 "[--head HEX] [--vary-mac] "
                 "[--duration MS] [--record FILE]\n"
                 "       device-sim adopt --iface IF [--never-answer] [--duration MS] "
                 "[--record FILE]\n";
    return 2;
}

// Plays a device's side of the code update protocol in a test network namespace, where no
// real device exists. It listens on UDP port 69 (or --port) of --address, checks the password
// and protocol version of every packet, answers model queries with --model, acknowledges
// pages, rebuilds each region from the pages it received and checks the end packet's check
// value over them, with a check value of its own written from the protocol's definition.
//
//   --password P        the device's set password (a mismatch is answered with NACK 4)
//   --model N           the model it reports (default 1)
//   --model-ack         answers a model query with an ACK carrying the model, not TFTP_MODEL
//   --old-device        refuses protocol version 0x0011: NACK 2 to a model query, NACK 8 to
//                       pages and end packets
//   --refuse-queries N  answers the first N model queries with NACK 2, whatever their version
//   --noise-packet N    before acknowledging the Nth data packet, sends an ACK for another page
//                       and a 30-byte datagram
//   --silent            never answers
//   --silent-after N    answers the first N packets, then never again
//   --reply-delay-ms T  waits T ms before each answer, as a slow device or link does
//   --reboot-ms T       after the final end packet of a microcode region, ignores ICMP echo
//                       (net.ipv4.icmp_echo_ignore_all of its own namespace) and every
//                       datagram for T ms (recording "ignored" for each)
//   --record FILE       one line per event ("ready" once the socket is bound)
//   --dump PREFIX       each completed region's bytes to PREFIX<n>.bin, n = 0, 1, ...
//   --duration T        ends after T ms (default 60000)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kHeader = 23;
constexpr std::size_t kPage = 256;
constexpr std::uint8_t kAck = 1, kNack = 2, kData = 5, kEnd = 6, kModel = 7;
constexpr std::uint8_t kEndFinish = 9;
constexpr std::uint16_t kClearPage = 1829;
constexpr const char* kIcmpIgnore = "/proc/sys/net/ipv4/icmp_echo_ignore_all";

volatile std::sig_atomic_t stopSignal = 0;

struct Options {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    std::string get(const std::string& name, const std::string& fallback = "") const {
        const auto it = values.find(name);
        return it == values.end() ? fallback : it->second;
    }
    long number(const std::string& name, long fallback) const {
        const std::string text = get(name);
        return text.empty() ? fallback : std::stol(text);
    }
};

Options parse(int argc, char** argv) {
    static const std::set<std::string> kFlags = {"--model-ack", "--old-device", "--silent"};
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (kFlags.count(arg) != 0) {
            o.flags.insert(arg.substr(2));
        } else if (arg.rfind("--", 0) == 0 && i + 1 < argc) {
            o.values[arg.substr(2)] = argv[++i];
        } else {
            std::cerr << "update-sim: bad argument " << arg << "\n";
            std::exit(2);
        }
    }
    return o;
}

// The protocol's check value: a 16-bit register from 0xFFFF, each byte's bits from the least
// significant up, 0x1021 applied to the right-shifted register, complemented at the end. On the
// wire the register's high byte comes first.
std::array<std::uint8_t, 2> checkValueBytes(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return {0, 0};
    }
    unsigned reg = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            const unsigned in = (data[i] >> bit) & 1u;
            const unsigned low = reg & 1u;
            reg >>= 1;
            if (in != low) {
                reg ^= 0x1021;
            }
        }
    }
    reg = ~reg & 0xFFFF;
    return {static_cast<std::uint8_t>(reg >> 8), static_cast<std::uint8_t>(reg & 0xFF)};
}

unsigned le16(const Bytes& b, std::size_t offset) {
    return b[offset] | (b[offset + 1] << 8);
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

void setIcmpIgnore(bool on) {
    std::ofstream(kIcmpIgnore) << (on ? "1" : "0");
}

class Device {
  public:
    Device(const Options& o, int fd, Record& record)
        : o_(o),
          fd_(fd),
          record_(record),
          model_(static_cast<std::uint8_t>(o.number("model", 1))),
          refuseQueries_(o.number("refuse-queries", 0)),
          noisePacket_(o.number("noise-packet", 0)),
          silentAfter_(o.number("silent-after", -1)),
          rebootMs_(o.number("reboot-ms", 0)),
          replyDelay_(o.number("reply-delay-ms", 0)),
          dump_(o.get("dump")) {
        const std::string password = o.get("password");
        password_.fill(0);
        std::memcpy(password_.data(), password.data(), std::min<std::size_t>(password.size(), 16));
    }

    bool rebooting() const { return rebootUntil_ && Clock::now() < *rebootUntil_; }

    void tick() {
        if (rebootUntil_ && Clock::now() >= *rebootUntil_) {
            rebootUntil_.reset();
            setIcmpIgnore(false);
            record_.line("back");
        }
    }

    void handle(const Bytes& p, const sockaddr_in& from) {
        from_ = from;
        ++packets_;
        if (p.size() < kHeader) {
            record_.line("short length=" + std::to_string(p.size()));
            return;
        }
        const unsigned version = le16(p, 21);
        const bool passwordOk = std::memcmp(p.data() + 5, password_.data(), 16) == 0;
        const unsigned page = le16(p, 3);
        char text[160];
        switch (p[0]) {
            case kModel:
                std::snprintf(text, sizeof text, "model version=%04x length=%zu", version,
                              p.size());
                record_.line(text);
                if (!passwordOk) {
                    return reply(kNack, 4, 0);
                }
                if (refuseQueries_ > 0) {
                    --refuseQueries_;
                    return reply(kNack, 2, 0);
                }
                if (o_.flags.count("old-device") != 0 && version == 0x0011) {
                    return reply(kNack, 2, 0);
                }
                return reply(o_.flags.count("model-ack") != 0 ? kAck : kModel, model_, 0);
            case kData:
                std::snprintf(text, sizeof text,
                              "data page=%u count=%u flags=%02x length=%zu version=%04x", page,
                              p[1], p[2], p.size(), version);
                record_.line(text);
                if (!passwordOk) {
                    return reply(kNack, 4, page);
                }
                if (o_.flags.count("old-device") != 0 && version == 0x0011) {
                    return reply(kNack, 8, page);
                }
                return data(p, page);
            case kEnd:
                return end(p, version, passwordOk);
            default:
                record_.line("unknown command=" + std::to_string(p[0]));
                return;
        }
    }

  private:
    void reply(std::uint8_t code, std::uint8_t detail, unsigned page, std::size_t length = 23) {
        if (o_.flags.count("silent") != 0 || (silentAfter_ >= 0 && packets_ > silentAfter_)) {
            return;
        }
        if (replyDelay_ > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(replyDelay_));
        }
        Bytes r(length, 0);
        r[0] = code;
        r[1] = detail;
        r[3] = static_cast<std::uint8_t>(page & 0xFF);
        r[4] = static_cast<std::uint8_t>(page >> 8);
        ::sendto(fd_, r.data(), r.size(), 0, reinterpret_cast<const sockaddr*>(&from_),
                 sizeof from_);
    }

    void data(const Bytes& p, unsigned page) {
        const unsigned count = p[1];
        const std::size_t body = p.size() - kHeader;
        const std::size_t extra = p[2] == 0x81 ? 8 : 0;
        if (body != count * kPage + extra) {
            record_.line("bad-length page=" + std::to_string(page));
        }
        if (page == kClearPage && count == 1 && !open_) {
            record_.line("clear");
            return reply(kAck, 0, page);
        }
        if (!open_) {
            open_ = true;
            first_ = page;
            next_ = page;
            stream_.clear();
        }
        if (page < next_) {
            return reply(kAck, 0, page);  // a resend of pages already taken
        }
        if (page > next_) {
            record_.line("gap wanted=" + std::to_string(next_));
            return;
        }
        stream_.insert(stream_.end(), p.begin() + kHeader, p.end());
        next_ = page + count;
        ++dataPackets_;
        if (dataPackets_ == noisePacket_) {
            reply(kAck, 0, page + 1000);
            reply(kAck, 0, page, 30);
        }
        reply(kAck, 0, page);
    }

    void end(const Bytes& p, unsigned version, bool passwordOk) {
        if (p.size() != 29) {
            record_.line("end bad-length=" + std::to_string(p.size()));
            return;
        }
        const unsigned subcode = p[1];
        const unsigned first = le16(p, 23);
        const unsigned endPage = le16(p, 25);
        const std::size_t bytes = (endPage - first) * kPage;
        if (subcode != kEndFinish) {
            last_ = stream_;
            open_ = false;
        }
        Bytes covered = last_;
        covered.resize(std::max(covered.size(), bytes), 0);
        const auto expected = checkValueBytes(covered.data(), bytes);
        const bool good = expected[0] == p[27] && expected[1] == p[28] && last_.size() >= bytes;
        char text[160];
        std::snprintf(text, sizeof text,
                      "end sub=%u flags=%02x first=%u end=%u check=%02x%02x %s version=%04x",
                      subcode, p[2], first, endPage, p[27], p[28], good ? "ok" : "bad", version);
        record_.line(text);
        if (!passwordOk) {
            return reply(kNack, 4, 0);
        }
        if (o_.flags.count("old-device") != 0 && version == 0x0011) {
            return reply(kNack, 8, 0);
        }
        if (!good) {
            return reply(kNack, 6, 0);
        }
        if (subcode != kEndFinish && !dump_.empty()) {
            const std::string path = dump_ + std::to_string(regions_) + ".bin";
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(last_.data()),
                       static_cast<std::streamsize>(last_.size()));
            record_.line("region " + std::to_string(regions_) + " first=" + std::to_string(first_) +
                         " bytes=" + std::to_string(last_.size()));
        }
        if (subcode != kEndFinish) {
            ++regions_;
        }
        if (subcode == kEndFinish && rebootMs_ > 0) {
            // Deaf before the acknowledgement leaves, so that no echo sent after it is answered.
            setIcmpIgnore(true);
            rebootUntil_ = Clock::now() + std::chrono::milliseconds(rebootMs_);
            record_.line("reboot");
        }
        reply(kAck, 0, 0);
    }

    const Options& o_;
    int fd_;
    Record& record_;
    std::array<std::uint8_t, 16> password_{};
    std::uint8_t model_;
    long refuseQueries_;
    long noisePacket_;
    long silentAfter_;
    long rebootMs_;
    long replyDelay_;
    std::string dump_;
    sockaddr_in from_{};
    long packets_ = 0;
    long dataPackets_ = 0;
    bool open_ = false;
    unsigned first_ = 0;
    unsigned next_ = 0;
    Bytes stream_;
    Bytes last_;
    int regions_ = 0;
    std::optional<Clock::time_point> rebootUntil_;
};

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    std::signal(SIGTERM, [](int) { stopSignal = 1; });
    std::signal(SIGINT, [](int) { stopSignal = 1; });
    Record record(o.get("record", "/dev/stdout"));

    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(o.number("port", 69)));
    if (::inet_pton(AF_INET, o.get("address", "0.0.0.0").c_str(), &local.sin_addr) != 1) {
        std::cerr << "update-sim: bad --address\n";
        return 2;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror("update-sim: bind");
        return 1;
    }
    record.line("ready");

    Device device(o, fd, record);
    const auto deadline = Clock::now() + std::chrono::milliseconds(o.number("duration", 60000));
    Bytes buffer(4096);
    while (stopSignal == 0 && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) > 0) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t got = ::recvfrom(fd, buffer.data(), buffer.size(), 0,
                                           reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (got >= 0 && device.rebooting()) {
                record.line("ignored");
            } else if (got >= 0) {
                device.handle(Bytes(buffer.begin(), buffer.begin() + got), from);
            }
        }
        device.tick();
    }
    if (device.rebooting()) {
        setIcmpIgnore(false);
    }
    ::close(fd);
    return 0;
}

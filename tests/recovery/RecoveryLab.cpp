#include "recovery/RecoveryLab.h"

#include "recovery/BootImages.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <sstream>

#include "app/DeviceWorkerFactory.h"
#include "base/Ipv4.h"
#include "base/Product.h"
#include "base/SystemInterfaceSource.h"
#include "netlab/LabCommand.h"
#include "netlab/LabError.h"
#include "recovery/DhcpWire.h"
#include "recovery/RecoveryService.h"

namespace vantor::test {

using namespace std::chrono_literals;
using netlab::LabCommand;

namespace {

const std::string kUdhcpc = "/usr/sbin/udhcpc";
const std::string kCurl = "/usr/bin/curl";
const std::string kBusybox = "/usr/bin/busybox";
const std::string kSs = "/bin/ss";

std::string hex(std::uint8_t value, bool upper) {
    char text[3];
    std::snprintf(text, sizeof text, upper ? "%02X" : "%02x", value);
    return text;
}

std::string joinMac(const std::array<std::uint8_t, 6>& mac, char separator, bool upper) {
    std::string text;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i > 0) {
            text += separator;
        }
        text += hex(mac[i], upper);
    }
    return text;
}

}  // namespace

Timings recoveryTimings() {
    Timings t;
    t.workerPoll = 2ms;
    t.interfaceWatch = 20ms;
    t.bannerBlink = 10ms;
    t.runnerPoll = 2ms;
    t.pingTimeout = 200ms;
    t.recoveryPoll = 2ms;
    t.tftpTimeout = 3000ms;
    t.initrdSettle = 20ms;
    t.recoveryPingPause = 10ms;
    t.dhcpShortPause = 5ms;
    t.tftpAbortPause = 5ms;
    // Tests fetch many files from one address within a second, which a device never does;
    // the folding of a peer's rows has tests of its own.
    t.peerRowWindow = 0ms;
    return t;
}

Timings longWaits() {
    Timings t = recoveryTimings();
    t.tftpTimeout = std::chrono::seconds(60);
    t.initrdSettle = std::chrono::seconds(60);
    return t;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::vector<std::uint8_t> bootImage(std::string_view name) {
    const auto found = BootImages::Find(name);
    return found ? std::vector<std::uint8_t>(found->begin(), found->end())
                 : std::vector<std::uint8_t>{};
}

std::array<std::uint8_t, 6> deviceMac(std::uint8_t last) {
    return {kDeviceOui[0], kDeviceOui[1], kDeviceOui[2], 0x10, 0x20, last};
}

std::string macForIp(const std::array<std::uint8_t, 6>& mac) {
    return joinMac(mac, ':', false);
}

std::string macText(const std::array<std::uint8_t, 6>& mac) {
    return joinMac(mac, '-', true);
}

std::vector<std::uint8_t> BootRequest::bytes() const {
    std::vector<std::uint8_t> out(236, 0);
    out[0] = op;
    out[1] = 1;  // Ethernet
    out[2] = static_cast<std::uint8_t>(mac.size());
    for (std::size_t i = 0; i < 4; ++i) {
        out[4 + i] = static_cast<std::uint8_t>(xid >> (24 - 8 * i));
    }
    std::memcpy(&out[12], &clientAddress, 4);
    std::copy(mac.begin(), mac.end(), out.begin() + 28);
    std::copy(serverName.begin(), serverName.end(), out.begin() + 44);
    if (cookie) {
        out.insert(out.end(), kDhcpMagicCookie.begin(), kDhcpMagicCookie.end());
        if (type) {
            out.insert(out.end(), {kDhcpOptionMessageType, 1, *type});
        }
        if (hostName) {
            out.push_back(kDhcpOptionHostName);
            out.push_back(static_cast<std::uint8_t>(hostName->size()));
            out.insert(out.end(), hostName->begin(), hostName->end());
        }
        out.push_back(kDhcpOptionEnd);
    }
    if (out.size() < size) {
        out.resize(size, 0);
    } else if (!cookie) {
        out.resize(size);
    }
    return out;
}

RecoveryLab::RecoveryLab() = default;

RecoveryLab::~RecoveryLab() = default;

RecoveryLab::Device& RecoveryLab::addDevice(const std::array<std::uint8_t, 6>& mac,
                                            bool withAddress) {
    const auto link = static_cast<std::uint8_t>(devices_.size() + 1);
    auto device = std::make_unique<Device>();
    device->pcAddress = Ipv4::fromOctets(10, 77, link, 1);
    device->address = withAddress ? Ipv4::fromOctets(10, 77, link, 2) : 0;
    device->mac = mac;
    const PcLab::Device made =
        PcLab::addDevice(Ipv4::format(device->pcAddress) + "/24",
                         withAddress ? Ipv4::format(device->address) + "/24" : "");
    device->space = &made.space;
    device->pcInterface = made.link.interfaceA;
    device->interface = made.link.interfaceB;
    device->space->ip({"link", "set", device->interface, "address", macForIp(mac)});
    device->space->ip({"route", "add", "default", "dev", device->interface});
    devices_.push_back(std::move(device));
    return *devices_.back();
}

void RecoveryLab::start(Timings timings, Pinger* pinger, bool waitForService) {
    ConsoleServices services{interfaces_, workers_, timings};
    services.pinger = pinger;
    services.reportPrivileges = false;
    services.watchTicker = watchTicker;
    ui_ = std::make_unique<LabUiThread>(pc, services, view_, [](OperatorConsole& console) {
        console.OnRadioClicked(ControlId::RadioRecovery);
    });
    if (waitForService) {
        for (const auto& device : devices_) {
            if (!eventually([&] { return serving(*device); }, kPatience)) {
                throw netlab::LabError("recovery service did not open its ports on " +
                                       device->pcInterface + "\n" + log());
            }
        }
    }
}

bool RecoveryLab::serving(const Device& device) const {
    const netlab::CommandResult sockets = pc.exec({kSs, "-Hnlu"});
    return sockets.output.find(Ipv4::format(device.pcAddress) + ":69 ") != std::string::npos &&
           sockets.output.find("%" + device.pcInterface + ":67 ") != std::string::npos;
}

void RecoveryLab::onUi(const std::function<void(OperatorConsole&)>& fn,
                       std::chrono::milliseconds limit) {
    if (!ui_->onUi(fn, limit)) {
        std::fprintf(stderr, "the user-interface thread did not return within %lld ms\n%s\n",
                     static_cast<long long>(limit.count()), log().c_str());
        std::fflush(stderr);
        std::abort();
    }
}

void RecoveryLab::click(ControlId radio) {
    onUi([radio](OperatorConsole& console) { console.OnRadioClicked(radio); });
}

void RecoveryLab::settleInManual() {
    for (const ControlId radio :
         {ControlId::RadioAuto, ControlId::RadioFirmwareFile, ControlId::RadioManual}) {
        click(radio);
    }
}

std::string RecoveryLab::log() {
    std::string text;
    for (const std::string& row : view_.rows()) {
        text += row;
    }
    return text;
}

bool RecoveryLab::waitForLog(const std::string& text, std::chrono::milliseconds limit) {
    return eventually([&] { return log().find(text) != std::string::npos; }, limit);
}

std::map<std::string, std::string> RecoveryLab::udhcpc(const Device& device,
                                                       const std::optional<std::string>& hostName,
                                                       int discovers) {
    const int number = ++scripts_;
    const std::string leaseFile = temp.file("lease" + std::to_string(number));
    const std::string script = temp.file("udhcpc" + std::to_string(number) + ".sh");
    {
        std::ofstream out(script);
        out << "#!/bin/sh\n[ \"$1\" = bound ] || exit 0\nenv > '" << leaseFile << ".part'\nmv '"
            << leaseFile << ".part' '" << leaseFile << "'\n";
    }
    ::chmod(script.c_str(), 0700);
    std::vector<std::string> argv{kUdhcpc,
                                  "-i",
                                  device.interface,
                                  "-f",
                                  "-q",
                                  "-n",
                                  "-t",
                                  std::to_string(discovers),
                                  "-T",
                                  "1",
                                  "-A",
                                  "1",
                                  "-s",
                                  script};
    if (hostName) {
        argv.insert(argv.end(), {"-x", "hostname:" + *hostName});
    }
    device.space->exec(argv);
    std::map<std::string, std::string> lease;
    std::ifstream in(leaseFile);
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) {
            lease[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return lease;
}

int RecoveryLab::curlGet(const Device& device, const std::string& name, const std::string& out) {
    const std::string url = "tftp://" + Ipv4::format(device.pcAddress) + "/" + name;
    return device.space->exec({kCurl, "-sS", "--max-time", "60", url, "-o", out}).exitCode;
}

int RecoveryLab::busyboxTftp(const Device& device, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{kBusybox, "tftp"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    argv.push_back(Ipv4::format(device.pcAddress));
    return device.space->exec(argv).exitCode;
}

std::unique_ptr<CTimedSocket> RecoveryLab::socket(const Device& device, std::uint16_t port,
                                                  std::uint32_t address) {
    auto made = std::make_unique<CTimedSocket>();
    const bool ok =
        device.space->run([&] { return made->Create(address, port) && made->SetBroadcast(true); });
    if (!ok) {
        throw netlab::LabError("cannot open a device socket: " + std::to_string(made->lastError()));
    }
    return made;
}

std::string RecoveryLab::recoveryRoute() {
    return pc.ip({"-4", "route", "show", std::string(kRecoveryAddress) + "/32"});
}

std::optional<std::vector<std::uint8_t>> receiveWithin(CTimedSocket& socket,
                                                       std::chrono::milliseconds limit,
                                                       Endpoint* from) {
    std::vector<std::uint8_t> buffer(65536);  // DATA of the largest block size
    socket.ClearReceiveTimeout();
    socket.SetReceiveTimeout(limit);
    const SocketResult got = socket.ReceiveWithTimeout(buffer);
    socket.ClearReceiveTimeout();
    if (!got.ok()) {
        return std::nullopt;
    }
    if (from != nullptr) {
        *from = got.peer;
    }
    buffer.resize(got.length);
    return buffer;
}

}  // namespace vantor::test

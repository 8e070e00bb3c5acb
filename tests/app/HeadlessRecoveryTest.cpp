// The real program, headless in Firmware Upgrade mode, in the PC namespace of a network lab:
// a device namespace boots from it with busybox udhcpc and curl, as a device would.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/ChildProcess.h"
#include "base/ByteWriter.h"
#include "base/Ipv4.h"
#include "base/Product.h"
#include "base/UniqueFd.h"
#include "net/WellKnownPorts.h"
#include "netlab/LabCommand.h"
#include "netlab/NetLab.h"
#include "recovery/BootImages.h"
#include "recovery/TftpPacket.h"
#include "recovery/TftpWire.h"
#include "support/Eventually.h"
#include "upgrade/TempDir.h"

namespace vantor {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The program started in a lab namespace with its own working directory; its standard output
// and error come through one pipe.
class ProgramInNamespace : public test::ChildProcess {
  public:
    ProgramInNamespace(const netlab::LabNamespace& space, const std::string& directory,
                       const std::vector<std::string>& args)
        : ChildProcess(argvFor(space, directory, args)) {}

    // Reads output until it holds `text` `count` times or the time is up; everything read.
    const std::string& readUntil(const std::string& text, int count = 1) {
        return ChildProcess::readUntil(text, count, 15000ms);
    }
    // The exit code after SIGTERM, or -1 when the program did not end in time.
    int terminate(std::chrono::milliseconds limit) {
        signal(SIGTERM);
        return waitExit(limit);
    }

  private:
    static std::vector<std::string> argvFor(const netlab::LabNamespace& space,
                                            const std::string& directory,
                                            const std::vector<std::string>& args) {
        std::string command = "cd '" + directory + "' && exec " + std::string(VANTOR_BINARY);
        for (const std::string& arg : args) {
            command += " '" + arg + "'";
        }
        return {
            netlab::LabCommand::IpTool(), "netns", "exec", space.name(), "/bin/sh", "-c", command};
    }
};

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string deviceMacForIp() {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:00:00:07", kDeviceOui[0], kDeviceOui[1],
                  kDeviceOui[2]);
    return text;
}

TEST(HeadlessRecovery, ADeviceBootsFromTheProgramWithAWorkingDirectoryKernel) {
    netlab::NetLab lab;
    netlab::LabNamespace& pc = lab.addNamespace();
    netlab::LabNamespace& device = lab.addNamespace();
    const auto link = lab.connect(pc, "10.78.0.1/24", device, "10.78.0.2/24");
    device.ip({"link", "set", link.interfaceB, "address", deviceMacForIp()});
    test::TempDir work;
    // A kernel of two full blocks next to the program replaces the embedded one: a U-Boot
    // legacy image (big-endian header, CRC-32 of header and data) of an ARM kernel.
    std::vector<std::uint8_t> data(1024 - 64);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i % 251);
    }
    const auto crc = [](std::span<const std::uint8_t> bytes) {
        return static_cast<std::uint32_t>(
            crc32(crc32(0L, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
    };
    std::vector<std::uint8_t> kernel;
    ByteWriter header(kernel, ByteOrder::big);
    header.u32(0x27051956).u32(0).u32(0).u32(static_cast<std::uint32_t>(data.size()));
    header.u32(0x8000).u32(0x8000).u32(crc(data)).u8(5).u8(2).u8(2).u8(0);
    header.text("working folder kernel").bytes(std::vector<std::uint8_t>(11)).bytes(data);
    header.seek(4).u32(crc(std::span(kernel).first(64)));
    std::ofstream(work.file("kernel.img"), std::ios::binary)
        .write(reinterpret_cast<const char*>(kernel.data()),
               static_cast<std::streamsize>(kernel.size()));
    test::TempDir client;
    const std::string leaseFile = client.file("lease");
    const std::string script = client.file("bound.sh");
    std::ofstream(script) << "#!/bin/sh\n[ \"$1\" = bound ] && env > '" << leaseFile << "'\n"
                          << "exit 0\n";
    ::chmod(script.c_str(), 0700);

    ProgramInNamespace program(pc, work.path().string(), {"--headless", "--mode", "recovery"});
    ASSERT_TRUE(program.started());
    const std::string listed = "    - NIC1: 10.78.0.1\n> Listening.....\n";
    ASSERT_NE(program.readUntil(listed).find(listed), std::string::npos) << program.readUntil("");
    const auto serving = [&] {
        return pc.exec({"/bin/ss", "-Hnlu"}).output.find("10.78.0.1:69 ") != std::string::npos;
    };
    test::eventually(serving, 15s, 20ms);

    device.exec({"/usr/sbin/udhcpc", "-i", link.interfaceB, "-f", "-q", "-n", "-t", "3", "-T", "1",
                 "-s", script});
    std::map<std::string, std::string> lease;
    std::ifstream in(leaseFile);
    for (std::string line; std::getline(in, line);) {
        if (const auto equals = line.find('='); equals != std::string::npos) {
            lease[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    EXPECT_EQ(lease["ip"], "192.168.0.100") << program.readUntil("");
    EXPECT_EQ(lease["siaddr"], "10.78.0.1");
    EXPECT_EQ(lease["boot_file"], "kernel.img");

    const std::string curl = "/usr/bin/curl";
    ASSERT_EQ(device
                  .exec({curl, "-sS", "--max-time", "60", "tftp://10.78.0.1/kernel.img", "-o",
                         client.file("kernel.img")})
                  .exitCode,
              0);
    EXPECT_EQ(readFile(client.file("kernel.img")), kernel);
    ASSERT_EQ(device
                  .exec({curl, "-sS", "--max-time", "60", "tftp://10.78.0.1/kernel-pxa.img", "-o",
                         client.file("kernel-pxa.img")})
                  .exitCode,
              0);
    const auto embedded = BootImages::Find("kernel-pxa.img");
    ASSERT_TRUE(embedded.has_value());
    EXPECT_EQ(readFile(client.file("kernel-pxa.img")),
              std::vector<std::uint8_t>(embedded->begin(), embedded->end()));

    const std::string out = program.readUntil("> File transfer completed.\n", 2);
    EXPECT_NE(out.find("> Successfully assigned the new address\n"), std::string::npos) << out;
    EXPECT_NE(out.find(">     IP: 192.168.0.100\n"), std::string::npos) << out;
    EXPECT_NE(out.find("> kernel.img being transfered...\n"), std::string::npos) << out;
    EXPECT_EQ(program.occurrences("> File transfer completed.\n"), 2) << out;
    // Each transfer's progress ends with a line of the whole image, never as a status row.
    const std::string pxaSize = std::to_string(embedded->size());
    const std::string progressed =
        program.readUntil("progress: kernel-pxa.img " + pxaSize + " " + pxaSize + "\n");
    const std::string kernelSize = std::to_string(kernel.size());
    EXPECT_NE(progressed.find("\nprogress: kernel.img " + kernelSize + " " + kernelSize + "\n"),
              std::string::npos)
        << progressed;
    EXPECT_NE(progressed.find("\nprogress: kernel-pxa.img " + pxaSize + " " + pxaSize + "\n"),
              std::string::npos)
        << progressed;
    EXPECT_NE(pc.ip({"-4", "route", "show", "192.168.0.100/32"}).find("dev " + link.interfaceA),
              std::string::npos);

    EXPECT_EQ(program.terminate(2000ms), 0) << "must stop its listeners and exit promptly";
}

// The maker's kit named on the command line: its OUI is served and the built-in one is not,
// its kernel goes out byte for byte, and its damaged RAM disk never does.
TEST(HeadlessRecovery, AKitFolderServesItsOuiAndItsImagesAndRefusesItsDamagedOne) {
    netlab::NetLab lab;
    netlab::LabNamespace& pc = lab.addNamespace();
    netlab::LabNamespace& device = lab.addNamespace();
    const auto link = lab.connect(pc, "10.78.0.1/24", device, "10.78.0.2/24");
    test::TempDir kit;
    const auto kernel = BootImages::Find("kernel.img");
    std::ofstream(kit.file("kernel.img"), std::ios::binary)
        .write(reinterpret_cast<const char*>(kernel->data()),
               static_cast<std::streamsize>(kernel->size()));
    std::vector<std::uint8_t> ramDisk(BootImages::Find("initrd-pxa.img")->begin(),
                                      BootImages::Find("initrd-pxa.img")->end());
    ramDisk[100] ^= 1;
    std::ofstream(kit.file("initrd-pxa.img"), std::ios::binary)
        .write(reinterpret_cast<const char*>(ramDisk.data()),
               static_cast<std::streamsize>(ramDisk.size()));
    std::ofstream(kit.file("kit.conf")) << "device-oui = 00-1A-2B\n";
    test::TempDir client;
    const std::string leaseFile = client.file("lease");
    const std::string script = client.file("bound.sh");
    std::ofstream(script) << "#!/bin/sh\n[ \"$1\" = bound ] && echo \"$ip\" > '" << leaseFile
                          << "'\nexit 0\n";
    ::chmod(script.c_str(), 0700);

    ProgramInNamespace program(
        pc, client.path().string(),
        {"--headless", "--mode", "recovery", "--boot-images", kit.path().string()});
    const std::string listed = "> Listening.....\n";
    const std::string& rows = program.readUntil(listed, 2);
    EXPECT_NE(rows.find("> Boot image kernel.img: " + std::to_string(kernel->size()) + " bytes, "),
              std::string::npos)
        << rows;
    EXPECT_NE(rows.find("> Error: Boot image initrd-pxa.img from " + kit.path().string() +
                        " is damaged: the data CRC does not match"),
              std::string::npos)
        << rows;
    const auto lease = [&](const std::string& mac) {
        std::filesystem::remove(leaseFile);
        device.ip({"link", "set", link.interfaceB, "address", mac});
        device.exec({"/usr/sbin/udhcpc", "-i", link.interfaceB, "-f", "-q", "-n", "-t", "2", "-T",
                     "1", "-s", script});
        std::string address;
        std::getline(std::ifstream(leaseFile), address);
        return address;
    };
    EXPECT_EQ(lease(deviceMacForIp()), "") << "the built-in OUI is not the kit's";
    EXPECT_EQ(lease("00:1a:2b:00:00:07"), "192.168.0.100") << program.readUntil("");

    const std::string curl = "/usr/bin/curl";
    ASSERT_EQ(device
                  .exec({curl, "-sS", "--max-time", "30", "tftp://10.78.0.1/kernel.img", "-o",
                         client.file("kernel.img")})
                  .exitCode,
              0);
    EXPECT_EQ(readFile(client.file("kernel.img")),
              std::vector<std::uint8_t>(kernel->begin(), kernel->end()));
    EXPECT_NE(device
                  .exec({curl, "-sS", "--max-time", "30", "tftp://10.78.0.1/initrd-pxa.img", "-o",
                         client.file("initrd-pxa.img")})
                  .exitCode,
              0);
    const std::string out = program.readUntil("; it was not sent.");
    EXPECT_NE(out.find("initrd-pxa.img is damaged (the data CRC does not match); it was not "
                       "sent."),
              std::string::npos)
        << out;
    EXPECT_EQ(program.terminate(2000ms), 0);
}

TEST(HeadlessRecovery, ClosingDuringATransferToASilentDeviceEndsPromptly) {
    netlab::NetLab lab;
    netlab::LabNamespace& pc = lab.addNamespace();
    netlab::LabNamespace& device = lab.addNamespace();
    lab.connect(pc, "10.78.0.1/24", device, "10.78.0.2/24");
    test::TempDir work;
    ProgramInNamespace program(pc, work.path().string(), {"--headless", "--mode", "recovery"});
    const std::string listed = "    - NIC1: 10.78.0.1\n> Listening.....\n";
    ASSERT_NE(program.readUntil(listed).find(listed), std::string::npos) << program.output();

    // A device that asks for its kernel and then falls silent: the transfer waits a minute for
    // its acknowledgement.
    const UniqueFd client(
        device.run([] { return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); }));
    ASSERT_TRUE(client);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(kTftpPort);
    server.sin_addr.s_addr = Ipv4::fromOctets(10, 78, 0, 1);
    const auto rrq = TftpPacket::BuildRequest(kTftpRrq, "kernel.img", "octet");
    const std::string started = "> kernel.img being transfered...\n";
    for (int attempt = 0; attempt < 50 && program.output().find(started) == std::string::npos;
         ++attempt) {
        ::sendto(client.get(), rrq.data(), rrq.size(), 0,
                 reinterpret_cast<const sockaddr*>(&server), sizeof server);
        program.ChildProcess::readUntil(started, 1, 200ms);
    }
    ASSERT_NE(program.output().find(started), std::string::npos) << program.output();

    const auto begin = Clock::now();
    EXPECT_EQ(program.terminate(3000ms), 0) << program.output();
    EXPECT_LT(Clock::now() - begin, 3000ms);
}

// 12,000 bad read requests from one host in about two seconds: its rows are folded into counts,
// so the log file still begins with the session's first rows and was never rotated.
TEST(HeadlessRecovery, AFloodOfBadRequestsKeepsTheSessionsHistoryInTheLogFile) {
    netlab::NetLab lab;
    netlab::LabNamespace& pc = lab.addNamespace();
    netlab::LabNamespace& device = lab.addNamespace();
    lab.connect(pc, "10.78.0.1/24", device, "10.78.0.2/24");
    test::TempDir work;
    const std::string logFile = work.file("vantor.log");
    ProgramInNamespace program(pc, work.path().string(),
                               {"--headless", "--mode", "recovery", "--log-file", logFile});
    const std::string listed = "    - NIC1: 10.78.0.1\n> Listening.....\n";
    ASSERT_NE(program.readUntil(listed).find(listed), std::string::npos) << program.output();
    test::eventually(
        [&] {
            return pc.exec({"/bin/ss", "-Hnlu"}).output.find("10.78.0.1:69 ") != std::string::npos;
        },
        15s, 20ms);

    device.run([] {
        const UniqueFd client(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(kTftpPort);
        server.sin_addr.s_addr = Ipv4::fromOctets(10, 78, 0, 1);
        for (int i = 0; i < 12000; ++i) {
            // Each a request of its own, not a copy of the last.
            const auto rrq =
                TftpPacket::BuildRequest(kTftpRrq, "missing" + std::to_string(i) + ".img", "octet");
            ::sendto(client.get(), rrq.data(), rrq.size(), 0,
                     reinterpret_cast<const sockaddr*>(&server), sizeof server);
            if (i % 100 == 99) {
                std::this_thread::sleep_for(15ms);  // about 2 s in all
            }
        }
    });
    program.ChildProcess::readUntil("more from 10.78.0.2", 1, 5000ms);
    EXPECT_EQ(program.terminate(3000ms), 0) << program.output();

    std::ifstream in(logFile);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    // The rows written before the flood are all still there.
    ASSERT_GE(lines.size(), 3U);
    const bool earlyRows = std::any_of(
        lines.begin(), lines.begin() + 3,
        [](const std::string& line) { return line.find("NIC1: 10.78.0.1") != std::string::npos; });
    EXPECT_TRUE(earlyRows) << lines.front();
    EXPECT_LT(lines.size(), 250U) << "the flood wrote a row a request";
    EXPECT_NE(program.output().find("more from 10.78.0.2)"), std::string::npos) << program.output();
    EXPECT_NE(::access((logFile + ".1").c_str(), F_OK), 0) << "the log file was rotated";
}

}  // namespace
}  // namespace vantor

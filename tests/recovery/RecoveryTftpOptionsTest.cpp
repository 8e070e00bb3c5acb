// TFTP option negotiation on a real link: real clients that ask for options (or none) and a
// client of our own for the corners they do not reach. Every image must arrive byte for byte.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "base/Ipv4.h"
#include "recovery/BootImages.h"
#include "recovery/RecoveryLab.h"
#include "recovery/TftpTestClient.h"
#include "recovery/TftpWire.h"
#include "support/FakePinger.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;
using test::bootImage;
using test::RecoveryLab;
using test::TftpTestClient;
using ::testing::HasSubstr;
using ::testing::Not;
using Options = std::vector<TftpOption>;

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ClientRun {
    RecoveryLab& lab;
    const RecoveryLab::Device& device;
    std::string image;

    std::string server() const { return Ipv4::format(device.pcAddress); }
    std::string out() const { return lab.temp.file("got-" + image); }
    // Runs a real client that writes out(); what it wrote.
    std::vector<std::uint8_t> client(const std::vector<std::string>& argv) const {
        const netlab::CommandResult result = device.space->exec(argv);
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return readFile(out());
    }
};

struct ClientCase {
    const char* what;
    std::string image;
    std::function<std::vector<std::uint8_t>(const ClientRun&)> fetch;
    // The transfer's last progress report: complete, or (refused) ended early with total 0.
    bool completes = true;
    int linkMtu = 0;  // 0: the veth pair's own 1500
};

std::vector<std::uint8_t> ownClient(const ClientRun& run, const Options& asked,
                                    const Options& acknowledged, std::size_t blockSize,
                                    std::size_t window = 1,
                                    const std::function<bool(std::uint16_t, int)>& drop = {}) {
    TftpTestClient client(run.lab, run.device);
    const auto got = client.fetchWithOptions(run.image, asked, blockSize, window, drop);
    EXPECT_TRUE(got.fetch.complete);
    if (acknowledged.empty()) {
        EXPECT_FALSE(got.oack.has_value()) << "an OACK for options the server does not know";
    } else {
        EXPECT_EQ(got.oack, acknowledged);
    }
    return got.fetch.content;
}

const std::vector<ClientCase>& clientCases() {
    static const std::vector<ClientCase> cases{
        {"curl blksize 1468", "kernel.img",
         [](const ClientRun& run) {
             return run.client({"/usr/bin/curl", "-sS", "--max-time", "60", "--tftp-blksize",
                                "1468", "tftp://" + run.server() + "/" + run.image, "-o",
                                run.out()});
         }},
        {"curl default", "kernel-pxa.img",
         [](const ClientRun& run) {
             return run.client({"/usr/bin/curl", "-sS", "--max-time", "60",
                                "tftp://" + run.server() + "/" + run.image, "-o", run.out()});
         }},
        {"atftp blksize tsize", "initrd-pxa.img",
         [](const ClientRun& run) {
             return run.client({"/usr/bin/atftp", "--option", "blksize 1468", "--option", "tsize 0",
                                "-g", "-r", run.image, "-l", run.out(), run.server()});
         }},
        {"busybox -b 1024", "kernel.img",
         [](const ClientRun& run) {
             return run.client({"/usr/bin/busybox", "tftp", "-g", "-b", "1024", "-r", run.image,
                                "-l", run.out(), run.server()});
         }},
        {"tftp-hpa plain", "kernel-pxa.img",
         [](const ClientRun& run) {
             return run.client({"/usr/bin/tftp", "-m", "binary", run.server(), "-c", "get",
                                run.image, run.out()});
         }},
        // A small block size on the wire; the smallest (8) and the roll-over of block numbers
        // it brings are shown without a link, where 94,000 round trips cost nothing.
        {"own blksize 128", "kernel.img",
         [](const ClientRun& run) {
             return ownClient(run, {{"blksize", "128"}}, {{"blksize", "128"}}, 128);
         }},
        {"own blksize 65464 on Ethernet", "kernel.img",
         [](const ClientRun& run) {
             return ownClient(
                 run, {{"BLKSIZE", "65464"}, {"tsize", "0"}},
                 {{"blksize", "1468"}, {"tsize", std::to_string(bootImage(run.image).size())}},
                 1468);
         }},
        {"own blksize 65464 on a 65535 link", "kernel.img",
         [](const ClientRun& run) {
             return ownClient(run, {{"blksize", "65464"}}, {{"blksize", "65464"}}, 65464);
         },
         true, 65535},
        {"own unknown option only", "kernel.img",
         [](const ClientRun& run) {
             return ownClient(run, {{"multicast", ""}}, {}, kTftpBlockSize);
         }},
        {"own unknown option left out", "kernel.img",
         [](const ClientRun& run) {
             return ownClient(run, {{"rollover", "0"}, {"blksize", "1024"}}, {{"blksize", "1024"}},
                              1024);
         }},
        {"own windowsize 4 with a lost block", "kernel-pxa.img",
         [](const ClientRun& run) {
             return ownClient(
                 run, {{"blksize", "1468"}, {"windowsize", "4"}},
                 {{"blksize", "1468"}, {"windowsize", "4"}}, 1468, 4,
                 [](std::uint16_t block, int times) { return block == 6 && times == 1; });
         }},
        {"own error 8 after the oack", "kernel.img",
         [](const ClientRun& run) {
             TftpTestClient client(run.lab, run.device);
             client.request(kTftpRrq, run.image, {{"blksize", "1468"}});
             const auto oack = client.next();
             EXPECT_TRUE(oack && oack->opcode == kTftpOack);
             client.send(TftpPacket::BuildError(kTftpErrorOptionRefused, "no options"));
             // Nothing more comes: no DATA, no resend of the OACK.
             EXPECT_FALSE(client.next(500ms).has_value());
             // The client asks again without options and is served.
             const auto fetched = client.fetch(run.image);
             EXPECT_TRUE(fetched.complete);
             return fetched.content;
         },
         false},
    };
    return cases;
}

TEST(RecoveryTftpOptions, EveryClientGetsEveryImageByteForByteOnTheTermsItAskedFor) {
    test::FakePinger pinger;  // after a RAM disk nobody answers: no real pings to wait out
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x6C));
    lab.start(test::recoveryTimings(), &pinger);
    for (const ClientCase& c : clientCases()) {
        SCOPED_TRACE(c.what);
        if (c.linkMtu != 0) {
            lab.pc.ip({"link", "set", "dev", device.pcInterface, "mtu", std::to_string(c.linkMtu)});
            device.space->ip(
                {"link", "set", "dev", device.interface, "mtu", std::to_string(c.linkMtu)});
        }
        const std::size_t reportsBefore = lab.view().progress().size();
        const std::string completed = "> File transfer completed.\r\n";
        const auto countCompleted = [&lab, &completed] {
            const std::string log = lab.log();
            std::size_t count = 0;
            for (auto at = log.find(completed); at != std::string::npos;
                 at = log.find(completed, at + 1)) {
                ++count;
            }
            return count;
        };
        const std::size_t completedBefore = countCompleted();

        const ClientRun run{lab, device, c.image};
        EXPECT_EQ(c.fetch(run), bootImage(c.image));

        ASSERT_TRUE(test::eventually([&] { return countCompleted() > completedBefore; },
                                     RecoveryLab::kPatience))
            << lab.log();
        // The progress display: an early end where the client refused, and the end of the
        // transfer that completed, whose last report is the whole image.
        const std::uint64_t size = bootImage(c.image).size();
        ASSERT_TRUE(test::eventually(
            [&] {
                const auto reports = lab.view().progress();
                return reports.size() > reportsBefore && reports.back().name == c.image &&
                       reports.back().done == size && reports.back().total == size;
            },
            RecoveryLab::kPatience))
            << [&] {
                   std::string shown;
                   for (const TransferProgress& p : lab.view().progress()) {
                       shown += p.name + " " + std::to_string(p.done) + "/" +
                                std::to_string(p.total) + "\n";
                   }
                   return shown;
               }();
        if (!c.completes) {
            const auto reports = lab.view().progress();
            EXPECT_TRUE(std::any_of(reports.begin() + static_cast<std::ptrdiff_t>(reportsBefore),
                                    reports.end(),
                                    [](const TransferProgress& p) { return p.total == 0; }));
        }
        if (c.linkMtu != 0) {
            lab.pc.ip({"link", "set", "dev", device.pcInterface, "mtu", "1500"});
            device.space->ip({"link", "set", "dev", device.interface, "mtu", "1500"});
        }
    }
    EXPECT_THAT(lab.log(), Not(HasSubstr("failed")));
    EXPECT_THAT(lab.log(), Not(HasSubstr("progress")));
}

}  // namespace
}  // namespace vantor

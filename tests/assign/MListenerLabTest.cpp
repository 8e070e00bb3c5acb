// The announcement listeners of a console running in a lab PC with two interfaces on two
// subnets, each joined to a device namespace where the device simulator speaks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>

#include "assign/AnnouncementWire.h"
#include "assign/DeviceSim.h"
#include "assign/LabConsole.h"
#include "netlab/NetLab.h"
#include "netlab/PcLab.h"
#include "support/ConsoleHarness.h"

namespace vantor {
namespace {

using netlab::LabNamespace;
using test::DeviceSim;
using test::LabConsole;
using ::testing::Contains;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace std::chrono_literals;

constexpr std::string_view kListening = "\r\n> Listening.....\r\n";

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (std::uint8_t b : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", b);
        text += digits;
    }
    return text;
}

class AnnouncementLab : public ::testing::Test {
  protected:
    std::unique_ptr<LabConsole> startConsole(std::vector<std::string> addresses, Millis pingTimeout,
                                             std::size_t listening) {
        Timings timings = test::fastTimings();
        timings.pingTimeout = pingTimeout;
        auto console = std::make_unique<LabConsole>(*pc, std::move(addresses), timings);
        // Announcements sent before the sockets are bound would be lost.
        EXPECT_TRUE(test::eventually([&] { return socketsOnPort(kAnnouncePort) == listening; },
                                     LabConsole::kPatience))
            << "the listeners did not bind port 1810";
        return console;
    }

    // UDP sockets of the PC bound to the port on any address (as the listeners' are).
    std::size_t socketsOnPort(std::uint16_t port) const {
        char local[32];
        std::snprintf(local, sizeof local, " 00000000:%04X ", port);
        return pc->run([&] {
            std::ifstream table("/proc/thread-self/net/udp");
            std::size_t count = 0;
            for (std::string line; std::getline(table, line);) {
                count += line.find(local) != std::string::npos ? 1 : 0;
            }
            return count;
        });
    }

    static std::vector<std::string> rowsAfter(LabConsole& console, std::size_t first) {
        const std::vector<std::string> rows = console.rows();
        return {rows.begin() + static_cast<std::ptrdiff_t>(std::min(first, rows.size())),
                rows.end()};
    }

    static bool hasRow(LabConsole& console, const std::string& row) {
        const std::vector<std::string> rows = console.rows();
        return std::find(rows.begin(), rows.end(), row) != rows.end();
    }

    netlab::TwoSubnetLab lab;
    LabNamespace* pc = &lab.pc;
    LabNamespace* deviceA = &lab.deviceA;
    LabNamespace* deviceB = &lab.deviceB;
};

TEST_F(AnnouncementLab, TheFirstDeviceIsTakenNotifiedRoutedAndPingedOnItsInterface) {
    // A device fresh from the factory: an address on none of the PC's subnets.
    deviceB->ip({"address", "add", "192.168.77.7/32", "dev", "veth0"});
    auto console = startConsole({"10.0.1.1", "10.0.2.1"}, 300ms, 2);
    const std::size_t listed = console->rows().size();

    DeviceSim device(*deviceB, {"announce", "--mac", "02-56-4E-0A-0B-0C", "--ip", "192.168.77.7",
                                "--text", "camera-7", "--head", "0102030405060708", "--iface",
                                "veth0", "--duration", "5000"});
    ASSERT_TRUE(test::eventually([&] { return rowsAfter(*console, listed).size() >= 4; },
                                 LabConsole::kPatience));
    const std::vector<std::string> group = rowsAfter(*console, listed);
    EXPECT_THAT(group,
                ElementsAre("> [NIC 10.0.2.1] Received an IP and a MAC address from camera-7.\r\n",
                            "> [NIC 10.0.2.1] Testing Ping to 192.168.77.7.\r\n",
                            "> [NIC 10.0.2.1] Ping successful.\r\n", kListening));

    EXPECT_EQ(console->console().panel().macText(), "02-56-4E-0A-0B-0C");
    EXPECT_EQ(console->console().panel().ipText(), "192.168.77.7");
    EXPECT_EQ(console->console().serverIP(), "192.168.77.7");
    EXPECT_EQ(console->console().bannerState(), BannerState::DeviceReady);
    EXPECT_THAT(pc->ip({"-4", "route", "show", "192.168.77.7/32"}),
                HasSubstr("192.168.77.7 dev veth1 scope link src 10.0.2.1"));

    // The device hears back its own datagram with the PC's address of that interface in place
    // of its own; nothing else changed. One notification: the first echo was answered.
    EXPECT_TRUE(test::eventually([&] { return !device.records("notification").empty(); },
                                 LabConsole::kPatience));
    device.stop();
    std::vector<std::uint8_t> expected(kAnnouncementSize, 0);
    for (std::uint8_t i = 0; i < 8; ++i) {
        expected[i] = static_cast<std::uint8_t>(i + 1);
    }
    const std::vector<std::uint8_t> mac = {0x02, 0x56, 0x4E, 0x0A, 0x0B, 0x0C};
    std::copy(mac.begin(), mac.end(), expected.begin() + 8);
    const std::vector<std::uint8_t> nic = {10, 0, 2, 1};
    std::copy(nic.begin(), nic.end(), expected.begin() + 14);
    const std::string text = "camera-7";
    std::copy(text.begin(), text.end(), expected.begin() + 18);
    EXPECT_THAT(device.records("notification"),
                ElementsAre("notification 10.0.2.1 " + hex(expected)));
    // Heard on the second interface only, or the first interface's listener would have named
    // the sender in the notice line.
    EXPECT_EQ(console->console().noticeLine(), "");

    // Later announcements, from another device or the same one, only name their sender.
    DeviceSim other(*deviceA, {"announce", "--mac", "02-56-4E-0A-0B-0D", "--ip", "10.0.1.2",
                               "--iface", "veth0", "--duration", "300"});
    EXPECT_TRUE(test::eventually(
        [&] {
            return console->console().noticeLine() == "Ignoring a packet from 02-56-4E-0A-0B-0D";
        },
        LabConsole::kPatience));
    other.stop();
    DeviceSim again(*deviceB, {"announce", "--mac", "02-56-4E-0A-0B-0C", "--ip", "192.168.77.7",
                               "--iface", "veth0", "--duration", "300"});
    EXPECT_TRUE(test::eventually(
        [&] {
            return console->console().noticeLine() == "Ignoring a packet from 02-56-4E-0A-0B-0C";
        },
        LabConsole::kPatience));
    again.stop();
    EXPECT_THAT(other.records("notification"), IsEmpty());
    EXPECT_THAT(again.records("notification"), IsEmpty());
    EXPECT_EQ(rowsAfter(*console, listed), group);
    EXPECT_EQ(console->console().panel().macText(), "02-56-4E-0A-0B-0C");
    EXPECT_EQ(console->console().serverIP(), "192.168.77.7");
}

TEST_F(AnnouncementLab, ABroadcastIsHeardOnlyByTheListenerOfTheInterfaceItArrivesOn) {
    auto console = startConsole({"10.0.1.1", "10.0.2.1"}, 300ms, 2);
    const std::size_t listed = console->rows().size();
    // The sender text comes from the network: it cannot add rows of its own.
    DeviceSim device(*deviceA, {"announce", "--mac", "02-56-4E-00-00-0A", "--ip", "10.0.1.2",
                                "--text", "cam\r\n> 7", "--iface", "veth0", "--duration", "3000"});
    ASSERT_TRUE(test::eventually([&] { return rowsAfter(*console, listed).size() >= 4; },
                                 LabConsole::kPatience));
    EXPECT_TRUE(test::eventually([&] { return !device.records("notification").empty(); },
                                 LabConsole::kPatience));
    device.stop();
    EXPECT_THAT(rowsAfter(*console, listed),
                ElementsAre("> [NIC 10.0.1.1] Received an IP and a MAC address from cam?"
                            "?> 7.\r\n",
                            "> [NIC 10.0.1.1] Testing Ping to 10.0.1.2.\r\n",
                            "> [NIC 10.0.1.1] Ping successful.\r\n", kListening));
    EXPECT_EQ(console->console().noticeLine(), "");
    EXPECT_THAT(device.records("notification"), Each(HasSubstr("notification 10.0.1.1 ")));
}

TEST_F(AnnouncementLab, OfTwoDevicesHeardAtOnceOnTwoInterfacesOneIsTaken) {
    auto console = startConsole({"10.0.1.1", "10.0.2.1"}, 300ms, 2);
    const std::size_t listed = console->rows().size();
    DeviceSim first(*deviceA, {"announce", "--mac", "02-56-4E-00-00-0A", "--ip", "10.0.1.2",
                               "--text", "a", "--iface", "veth0", "--duration", "3000"});
    DeviceSim second(*deviceB, {"announce", "--mac", "02-56-4E-00-00-0B", "--ip", "10.0.2.2",
                                "--text", "b", "--iface", "veth0", "--duration", "3000"});
    ASSERT_TRUE(test::eventually(
        [&] {
            return rowsAfter(*console, listed).size() >= 4 &&
                   !console->console().noticeLine().empty();
        },
        LabConsole::kPatience));
    const std::vector<std::string> group = rowsAfter(*console, listed);
    ASSERT_EQ(group.size(), 4U);
    const bool aTaken = group[0].find("[NIC 10.0.1.1]") != std::string::npos;
    EXPECT_EQ(group[0], aTaken ? "> [NIC 10.0.1.1] Received an IP and a MAC address from a.\r\n"
                               : "> [NIC 10.0.2.1] Received an IP and a MAC address from b.\r\n");
    EXPECT_EQ(console->console().noticeLine(), aTaken ? "Ignoring a packet from 02-56-4E-00-00-0B"
                                                      : "Ignoring a packet from 02-56-4E-00-00-0A");
    EXPECT_EQ(console->console().serverIP(), aTaken ? "10.0.1.2" : "10.0.2.2");
}

// Anything on the PC's network may send to port 1810. What names no other host is named in the
// notice line and gets no route; the device that announces itself afterwards is still taken.
TEST_F(AnnouncementLab, DatagramsThatNameNoDeviceAreIgnoredAndTheNextDeviceIsTaken) {
    auto console = startConsole({"10.0.1.1", "10.0.2.1"}, 300ms, 2);
    const std::size_t listed = console->rows().size();
    const auto routes = [&] { return pc->ip({"-4", "route", "show"}); };
    const std::string routesBefore = routes();

    struct Junk {
        std::string ip;
        std::string length;  // empty: all 82 bytes
        std::string notice;
    };
    const std::vector<Junk> junk = {
        {"10.0.1.51", "1", "Ignoring a packet from 00-00-00-00-00-00"},
        // The address's last octet missing.
        {"10.0.1.17", "17", "Ignoring a packet from 02-56-4E-00-01-17"},
        {"0.0.0.0", "", "Ignoring a packet from 02-56-4E-00-00-00"},
        {"127.0.0.1", "", "Ignoring a packet from 02-56-4E-00-01-27"},
        {"10.0.1.1", "", "Ignoring a packet from 02-56-4E-00-00-01"},
        {"10.0.2.1", "", "Ignoring a packet from 02-56-4E-00-02-01"},
        {"255.255.255.255", "", "Ignoring a packet from 02-56-4E-00-02-55"},
        {"10.0.1.255", "", "Ignoring a packet from 02-56-4E-00-01-55"},
        {"224.0.0.1", "", "Ignoring a packet from 02-56-4E-00-02-24"},
    };
    for (const Junk& j : junk) {
        std::vector<std::string> args = {"announce", "--mac", j.notice.substr(23), "--ip", j.ip,
                                         "--iface",  "veth0", "--duration",        "100"};
        if (!j.length.empty()) {
            args.insert(args.end(), {"--length", j.length});
        }
        DeviceSim(*deviceA, args).wait();
        EXPECT_TRUE(test::eventually([&] { return console->console().noticeLine() == j.notice; },
                                     LabConsole::kPatience))
            << j.ip << ": " << console->console().noticeLine();
    }
    EXPECT_THAT(rowsAfter(*console, listed), IsEmpty());
    EXPECT_EQ(console->console().serverIP(), "");
    EXPECT_EQ(routes(), routesBefore) << "a junk address got a route";

    DeviceSim device(*deviceA, {"announce", "--mac", "02-56-4E-00-00-0A", "--ip", "10.0.1.2",
                                "--text", "a", "--iface", "veth0", "--duration", "3000"});
    ASSERT_TRUE(test::eventually([&] { return rowsAfter(*console, listed).size() >= 4; },
                                 LabConsole::kPatience));
    device.stop();
    EXPECT_THAT(rowsAfter(*console, listed),
                ElementsAre("> [NIC 10.0.1.1] Received an IP and a MAC address from a.\r\n",
                            "> [NIC 10.0.1.1] Testing Ping to 10.0.1.2.\r\n",
                            "> [NIC 10.0.1.1] Ping successful.\r\n", kListening));
    EXPECT_EQ(console->console().panel().macText(), "02-56-4E-00-00-0A");
    EXPECT_EQ(console->console().serverIP(), "10.0.1.2");
    // Only the device's host route was added.
    const std::string routesAfter = routes();
    EXPECT_EQ(std::count(routesAfter.begin(), routesAfter.end(), '\n'),
              std::count(routesBefore.begin(), routesBefore.end(), '\n') + 1)
        << routesAfter;
    EXPECT_THAT(routesAfter, HasSubstr("10.0.1.2 dev veth0 scope link src 10.0.1.1"));
}

// The device has the address the announcement names, but ignores every echo request.
class SilentDeviceLab : public AnnouncementLab {
  protected:
    void SetUp() override {
        AnnouncementLab::SetUp();
        deviceB->ip({"address", "add", "192.168.77.8/32", "dev", "veth0"});
        deviceB->setSysctl("net/ipv4/icmp_echo_ignore_all", "1");
    }

    static std::vector<std::string> announce(const std::string& duration) {
        return {"announce", "--mac", "02-56-4E-0A-0B-0E", "--ip",  "192.168.77.8",
                "--iface",  "veth0", "--duration",        duration};
    }
};

TEST_F(SilentDeviceLab, GetsTenRoundsEachFollowedByANotificationThenTheTimeOut) {
    auto console = startConsole({"10.0.1.1", "10.0.2.1"}, 30ms, 2);
    const std::size_t listed = console->rows().size();
    DeviceSim echoes(*deviceB,
                     {"adopt", "--iface", "veth0", "--never-answer", "--duration", "6000"});
    ASSERT_TRUE(
        test::eventually([&] { return !echoes.records("ready").empty(); }, LabConsole::kPatience));
    DeviceSim device(*deviceB, announce("6000"));

    const std::string timedOut = "> [NIC 10.0.2.1] Warning: Ping request timed out.\r\n";
    // The listening row follows the time-out row.
    ASSERT_TRUE(test::eventually([&] { return rowsAfter(*console, listed).size() >= 4; },
                                 LabConsole::kPatience));
    // No sender text: the detection row has no line end.
    EXPECT_THAT(
        rowsAfter(*console, listed),
        ElementsAre("> [NIC 10.0.2.1] IP and MAC address have been detected.",
                    "> [NIC 10.0.2.1] Testing Ping to 192.168.77.8.\r\n", timedOut, kListening));
    // The first notification, then one after each of the ten unanswered rounds.
    EXPECT_TRUE(test::eventually([&] { return device.records("notification").size() >= 11; },
                                 LabConsole::kPatience));
    EXPECT_TRUE(test::eventually([&] { return echoes.records("echo").size() >= 30; },
                                 LabConsole::kPatience));
    std::this_thread::sleep_for(50ms);  // for any that should not have come
    device.stop();
    echoes.stop();
    EXPECT_EQ(device.records("notification").size(), 11U);
    const std::vector<std::string> requests = echoes.records("echo");
    EXPECT_EQ(requests.size(), 30U) << "ten rounds of three echo requests";
    EXPECT_THAT(requests, Each(std::string("echo 10.0.2.1 192.168.77.8 32")));
    EXPECT_EQ(console->console().bannerState(), BannerState::DeviceReady);
}

TEST_F(SilentDeviceLab, LeavingAutoMeanwhileEndsTheRoundsAndEveryListener) {
    // Ten rounds would take over three seconds; the device listens for longer.
    auto console = startConsole({"10.0.1.1", "10.0.2.1"}, 100ms, 2);
    DeviceSim device(*deviceB, announce("8000"));
    // The first round has gone unanswered: the second notification is out.
    ASSERT_TRUE(test::eventually([&] { return device.records("notification").size() >= 2; },
                                 LabConsole::kPatience));

    ASSERT_TRUE(
        console->onUi([](OperatorConsole& c) { c.OnRadioClicked(ControlId::RadioManual); }, 10s))
        << "the switch to Manual did not end: a deadlock";
    EXPECT_EQ(console->console().mode(), ConsoleMode::Manual);
    EXPECT_EQ(console->console().listenerThreads(), 0);
    EXPECT_EQ(console->console().listenerCount(), 0U);

    std::this_thread::sleep_for(100ms);  // lets the simulator write down what already came
    device.stop();
    EXPECT_LT(device.records("notification").size(), 11U)
        << "the rounds ran to their end before the switch";
}

// One interface that listens and one address that no interface holds.
TEST_F(AnnouncementLab, DatagramsOfOtherShapesAndAnAddressWithoutInterface) {
    auto console = startConsole({"10.0.1.1", "10.9.9.9"}, 300ms, 1);
    EXPECT_TRUE(test::eventually(
        [&] {
            return hasRow(*console, "> [NIC 10.9.9.9] Error: Cannot create a socket.\r\n") &&
                   console->console().listenerThreads() == 1;
        },
        LabConsole::kPatience));
    ASSERT_TRUE(test::eventually([&] { return hasRow(*console, std::string(kListening)); },
                                 LabConsole::kPatience));
    const std::size_t listed = console->rows().size();
    const std::vector<std::string> to = {"--mac", "02-56-4E-00-00-01", "--ip",       "10.0.1.2",
                                         "--to",  "10.0.1.1",          "--duration", "100"};
    const auto announce = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "announce");
        args.insert(args.end(), to.begin(), to.end());
        DeviceSim(*deviceA, args).wait();
    };

    // The ignore marker: nothing at all. Longer than 82 bytes: dropped with an error. They
    // arrive in this order, so the error's rows are the only ones.
    announce({"--marker", "ignore"});
    announce({"--length", "83"});
    ASSERT_TRUE(test::eventually([&] { return rowsAfter(*console, listed).size() >= 2; },
                                 LabConsole::kPatience));
    EXPECT_THAT(rowsAfter(*console, listed),
                ElementsAre("> [NIC 10.0.1.1] Error: Socket Error (EMSGSIZE).\r\n", kListening));
    EXPECT_EQ(console->console().serverIP(), "");

    // Shorter than 82 bytes: read with zeros (here, no sender text). Without the ICMP library
    // the device is taken but not pinged.
    console->console().gate().setWinsockReady(false);
    announce({"--length", "18", "--text", "beyond the datagram"});
    ASSERT_TRUE(test::eventually([&] { return rowsAfter(*console, listed).size() >= 6; },
                                 LabConsole::kPatience));
    EXPECT_THAT(rowsAfter(*console, listed),
                ElementsAre("> [NIC 10.0.1.1] Error: Socket Error (EMSGSIZE).\r\n", kListening,
                            "> [NIC 10.0.1.1] IP and MAC address have been detected.",
                            "> [NIC 10.0.1.1] Testing Ping to 10.0.1.2.\r\n",
                            "> [NIC 10.0.1.1] Warning: Ping failed because the socket interface "
                            "could not be found.\r\n",
                            kListening));
    EXPECT_EQ(console->console().panel().macText(), "02-56-4E-00-00-01");
    EXPECT_EQ(console->console().serverIP(), "10.0.1.2");
}

// A row of devices behind the first interface, 10.0.1.2 to 10.0.1.4, each answering echo.
class DeviceRowLab : public AnnouncementLab {
  protected:
    void SetUp() override {
        AnnouncementLab::SetUp();
        deviceA->ip({"address", "add", "10.0.1.3/24", "dev", "veth0"});
        deviceA->ip({"address", "add", "10.0.1.4/24", "dev", "veth0"});
        console = startConsole({"10.0.1.1", "10.0.2.1"}, 300ms, 2);
    }

    void takeEveryDevice() {
        ASSERT_TRUE(console->onUi(
            [](OperatorConsole& c) { c.OnCheckToggled(ControlId::EveryDeviceCheck, true); }));
    }

    // Device N (2 to 4) announces ADDRESS COUNT times, as 02-56-4E-00-01-0N.
    void announce(int n, const std::string& ip, const std::string& count = "1") {
        sims.push_back(std::make_unique<DeviceSim>(
            *deviceA, std::vector<std::string>{
                          "announce", "--mac", "02-56-4E-00-01-0" + std::to_string(n), "--ip", ip,
                          "--iface", "veth0", "--count", count, "--duration", "6000"}));
    }

    std::vector<HeardState> states() {
        std::vector<HeardState> result;
        for (const HeardDevice& device : console->console().heardDevices()) {
            result.push_back(device.state);
        }
        return result;
    }

    std::size_t rowsWith(const std::string& text) {
        const std::vector<std::string> rows = console->rows();
        return static_cast<std::size_t>(std::count_if(
            rows.begin(), rows.end(), [&](const auto& row) { return row.find(text) != npos; }));
    }

    // The MACs (hex) inside the notifications that reached any simulator: they share port 1809,
    // so one may get another's.
    std::vector<std::string> notified() {
        std::vector<std::string> macs;
        for (const auto& sim : sims) {
            for (const std::string& record : sim->records("notification")) {
                macs.push_back(
                    record.substr(record.rfind(' ') + 1 + 2 * kAnnouncementMacOffset, 12));
            }
        }
        return macs;
    }

    static constexpr std::size_t npos = std::string::npos;
    std::unique_ptr<LabConsole> console;
    std::vector<std::unique_ptr<DeviceSim>> sims;
};

// Ticked later, it takes the devices only heard so far when they announce again.
TEST_F(DeviceRowLab, TheFirstIsTakenAndTheOthersListedUntilEveryDeviceTakesEachInTurn) {
    for (int n = 2; n <= 4; ++n) {
        announce(n, "10.0.1." + std::to_string(n));
    }
    const std::vector<HeardState> firstTaken = {HeardState::Answering, HeardState::Heard,
                                                HeardState::Heard};
    ASSERT_TRUE(test::eventually([&] { return states() == firstTaken && notified().size() == 1; },
                                 LabConsole::kPatience));
    std::this_thread::sleep_for(100ms);  // for any that should not have come
    EXPECT_EQ(states(), firstTaken);
    EXPECT_EQ(rowsWith("MAC address"), 1U);
    const std::string first = ipv4Text(console->console().heardDevices()[0].address);

    takeEveryDevice();
    for (int n = 2; n <= 4; ++n) {
        announce(n, "10.0.1." + std::to_string(n));
    }
    ASSERT_TRUE(test::eventually([&] { return states() == std::vector(3, HeardState::Answering); },
                                 LabConsole::kPatience));
    EXPECT_TRUE(test::eventually([&] { return notified().size() == 3; }, LabConsole::kPatience));
    const std::vector<std::string> each = notified();
    EXPECT_EQ(std::set<std::string>(each.begin(), each.end()).size(), 3U) << "one each";
    for (int n = 2; n <= 4; ++n) {
        EXPECT_THAT(pc->ip({"-4", "route", "show", "10.0.1." + std::to_string(n) + "/32"}),
                    HasSubstr("dev veth0"));
    }
    EXPECT_EQ(rowsWith("Ping successful"), 3U);
    EXPECT_EQ(console->console().bannerState(), BannerState::DeviceReady);
    EXPECT_NE(console->console().serverIP(), first) << "not the latest device that answered";
}

TEST_F(DeviceRowLab, ADeviceThatMovesTakesItsRouteAlongAndARepeatOnlyUpdatesItsRow) {
    takeEveryDevice();
    announce(3, "10.0.1.3", "2");
    ASSERT_TRUE(test::eventually(
        [&] {
            return sims[0]->records("sent").size() == 2 &&
                   states() == std::vector{HeardState::Answering};
        },
        LabConsole::kPatience));
    sims[0]->stop();
    EXPECT_EQ(notified().size(), 1U) << "the repeat was taken again";

    announce(3, "10.0.1.4");
    ASSERT_TRUE(test::eventually(
        [&] {
            return ipv4Text(console->console().heardDevices()[0].address) == "10.0.1.4" &&
                   states() == std::vector{HeardState::Answering};
        },
        LabConsole::kPatience));
    EXPECT_EQ(pc->ip({"-4", "route", "show", "10.0.1.3/32"}), "");
    EXPECT_THAT(pc->ip({"-4", "route", "show", "10.0.1.4/32"}), HasSubstr("dev veth0"));
    EXPECT_EQ(rowsWith("02-56-4E-00-01-03 now announces 10.0.1.4 (was 10.0.1.3)."), 1U);
    EXPECT_EQ(notified().size(), 2U);
}

TEST_F(DeviceRowLab, AFloodOfForgedMacsFillsTheListTo1024AndSaysSoOnce) {
    // 1100 MACs from 02-56-4E-00-10-00 on, 100 at a time; a batch the socket dropped part of
    // is sent again (its repeats only update their rows) until the list holds all it can.
    for (unsigned first = 0x1000; first < 0x1000 + 1100; first += 100) {
        char mac[18];
        std::snprintf(mac, sizeof mac, "02-56-4E-00-%02X-%02X", first >> 8, first & 0xFF);
        const std::size_t expected = std::min<std::size_t>(1024, first - 0x1000 + 100);
        for (int attempt = 0; attempt < 5 && console->console().heardDevices().size() < expected;
             ++attempt) {
            DeviceSim(*deviceA,
                      {"announce", "--mac", mac, "--ip", "10.0.1.2", "--vary-mac", "--count", "100",
                       "--interval", "1", "--iface", "veth0", "--duration", "300"})
                .wait();
            test::eventually([&] { return console->console().heardDevices().size() >= expected; },
                             500ms);
        }
    }
    const std::string full =
        "> The list of devices heard is full (1024 devices); later ones are not listed.\r\n";
    ASSERT_TRUE(test::eventually([&] { return rowsWith(full) == 1; }, LabConsole::kPatience));
    std::this_thread::sleep_for(200ms);  // for what the listener still had queued
    EXPECT_EQ(console->console().heardDevices().size(), 1024U);
    EXPECT_EQ(rowsWith(full), 1U);
    EXPECT_EQ(macText(console->console().heardDevices().back().mac), "02-56-4E-00-13-FF");
}

}  // namespace
}  // namespace vantor

// The Set button's run against recorded tools and a scripted echo: what it reports, what it
// asks the tools to do and in which order. The same run against a real kernel and a simulated
// device is in ManualAssignmentLabTest.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "assign/AssignEchoes.h"
#include "base/Ipv4.h"
#include "base/Product.h"
#include "console/AddressFields.h"
#include "hostnet/LinuxToolBackend.h"
#include "hostnet/RecordingToolRunner.h"
#include "support/ConsoleHarness.h"

namespace vantor {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const MacTexts kMac = {"00", "11", "22", "33", "44", "55"};
const IpTexts kIp = {"192", "168", "1", "50"};

class ManualAssignmentTest : public ::testing::Test {
  public:
    ManualAssignmentTest()
        : h({"10.0.1.1", "10.0.2.1"}, test::fastTimings(), [this](std::mutex& routeLock) {
              auto recording = std::make_unique<RecordingToolRunner>();
              runner = recording.get();
              return std::make_unique<HostTools>(routeLock, backend(), std::move(recording));
          }) {
        h.console->Initialize();
        h.click(ControlId::RadioManual);
    }

    // `ip` at one place, found while toolsPresent holds; eth0 holds 10.0.1.1, eth1 10.0.2.1.
    std::unique_ptr<HostToolBackend> backend() {
        return std::make_unique<LinuxToolBackend>(
            std::vector<std::string>{"/usr/sbin/ip"},
            [this](const std::string&) { return toolsPresent.load(); },
            [](std::uint32_t address) -> std::optional<std::string> {
                const std::string text = Ipv4::format(address);
                if (text == "10.0.1.1") {
                    return "eth0";
                }
                if (text == "10.0.2.1") {
                    return "eth1";
                }
                return std::nullopt;
            });
    }

    // leave: each field loses the focus after its text; otherwise the texts stand as typed,
    // as in fields the operator never entered or has not left when pressing Set.
    void type(const MacTexts& mac, const IpTexts& ip, bool leave = true) {
        for (std::size_t i = 0; i < mac.size(); ++i) {
            h.console->OnFieldEdited(kMacControls[i], mac[i]);
            if (leave) {
                h.console->OnFieldFocusLost(kMacControls[i]);
            }
        }
        for (std::size_t i = 0; i < ip.size(); ++i) {
            h.console->OnFieldEdited(kIpControls[i], ip[i]);
            if (leave) {
                h.console->OnFieldFocusLost(kIpControls[i]);
            }
        }
    }

    // The commands run, without the tool's path.
    std::vector<std::string> commands() const {
        std::vector<std::string> lines;
        for (const ToolCommand& command : runner->commands()) {
            std::string line;
            for (std::size_t i = 1; i < command.size(); ++i) {
                line += (i > 1 ? " " : "") + command[i];
            }
            lines.push_back(line);
        }
        return lines;
    }

    bool setEnabled() const { return h.console->controls().state(ControlId::SetButton).enabled; }

    std::atomic<bool> toolsPresent{true};
    RecordingToolRunner* runner = nullptr;  // owned by the console's tools
    test::ConsoleHarness h;
};

struct Refusal {
    const char* name;
    std::function<void(ManualAssignmentTest&)> arrange;
    MacTexts mac;
    IpTexts ip;
    std::vector<std::string> rows;
    bool leaveFields = true;
};

std::string refusalName(const ::testing::TestParamInfo<Refusal>& refusal) {
    return refusal.param.name;
}

class ManualAssignmentRefusal : public ManualAssignmentTest,
                                public ::testing::WithParamInterface<Refusal> {};

// Nothing is changed on the PC and nothing is pinged; the Set button stays as it was.
TEST_P(ManualAssignmentRefusal, ReportsAndChangesNothing) {
    GetParam().arrange(*this);
    type(GetParam().mac, GetParam().ip, GetParam().leaveFields);
    h.console->OnSet();
    EXPECT_THAT(h.view.rows(), ElementsAreArray(GetParam().rows));
    EXPECT_EQ(h.console->panel().ipText(), AddressFields::joinIp(GetParam().ip)) << "kept as typed";
    EXPECT_THAT(commands(), IsEmpty());
    EXPECT_THAT(h.pinger.calls(), IsEmpty());
    EXPECT_TRUE(setEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, ManualAssignmentRefusal,
    ::testing::Values(
        Refusal{"NoInterface",
                [](ManualAssignmentTest& fixture) { fixture.h.interfaces.set({}); },
                kMac,
                kIp,
                {"> Error: No NIC found on this machine\r\n"}},
        Refusal{
            "NoWinsock",
            [](ManualAssignmentTest& fixture) { fixture.h.console->gate().setWinsockReady(false); },
            kMac,
            kIp,
            {"> Error: A compatible version of the socket interface not found\r\n",
             "> Try using the automatic mode\r\n"}},
        Refusal{"NoArpTool",
                [](ManualAssignmentTest& fixture) { fixture.toolsPresent = false; },
                kMac,
                kIp,
                {"> Error: ARP command not found\r\n", "> Try using the automatic mode\r\n"}},
        // The MAC is judged before the IP: both bad gives the MAC's line alone.
        Refusal{"BroadcastMac",
                [](ManualAssignmentTest&) {},
                {"FF", "00", "00", "00", "00", "01"},
                {"127", "0", "0", "1"},
                {"> Error: Invalid MAC address\r\n", "> Ready\r\n\r\n"}},
        Refusal{"LoopbackIp",
                [](ManualAssignmentTest&) {},
                kMac,
                {"127", "0", "0", "1"},
                {"> Error: Invalid IP address\r\n", "> Ready\r\n\r\n"}},
        // Groups never entered or left unfinished are not filled with zeros.
        Refusal{"UnfinishedMac",
                [](ManualAssignmentTest&) {},
                {"02", "56", "4E", "12", " ", " "},
                kIp,
                {"> Error: Invalid MAC address\r\n", "> Ready\r\n\r\n"},
                false},
        Refusal{"OneDigitMacGroup",
                [](ManualAssignmentTest&) {},
                {"02", "56", "4E", "12", "34", "5"},
                kIp,
                {"> Error: Invalid MAC address\r\n", "> Ready\r\n\r\n"},
                false},
        Refusal{"IpGroupOver255",
                [](ManualAssignmentTest&) {},
                kMac,
                {"192", "168", "1", "999"},
                {"> Error: Invalid IP address\r\n", "> Ready\r\n\r\n"},
                false}),
    refusalName);

TEST_F(ManualAssignmentTest, SuccessReportsKeepsTheRouteDeletesThePlantedEntryAndReadiesTheFields) {
    h.console->OnCheckToggled(ControlId::ClearCheck, true);
    std::vector<bool> setEnabledWhilePinging;
    // The device answers only once the entry for it has been planted (the 89-byte test).
    h.pinger.script([&](const test::FakePinger::Call& call) {
        setEnabledWhilePinging.push_back(setEnabled());
        return call.dataSize == kManualTestDataSize;
    });
    // The last group is still being typed: Set normalises it as leaving the field would.
    type(kMac, {"192", "168", "1", "050"}, false);
    h.console->OnSet();

    EXPECT_THAT(h.view.rows(), ElementsAre("Checking for an existing IP at 192.168.1.50\r\n",
                                           "> Using Ethernet adapter: 10.0.1.1\r\n",
                                           "> Successfully assigned the new address\r\n",
                                           ">     MAC: 00-11-22-33-44-55\r\n",
                                           ">     IP: 192.168.1.50\r\n", "> Ready\r\n\r\n"));
    EXPECT_THAT(
        commands(),
        ElementsAre("neigh flush to 192.168.1.50 nud all", "neigh flush to 192.168.1.50 nud all",
                    "neigh replace 192.168.1.50 lladdr 00:11:22:33:44:55 dev eth0 nud "
                    "permanent",
                    "route replace 192.168.1.50/32 dev eth0 src 10.0.1.1",
                    "neigh del 192.168.1.50 dev eth0"));
    EXPECT_THAT(setEnabledWhilePinging, ElementsAre(false, false));
    EXPECT_TRUE(setEnabled());
    EXPECT_EQ(h.console->serverIP(), "192.168.1.50");
    EXPECT_EQ(h.console->bannerState(), BannerState::DeviceReady);
    EXPECT_EQ(h.console->deviceUrl(), "http://192.168.1.50/QuickStart/Qlogin.php");

    // Ready for the next device: the maker's part of the MAC kept, the rest blank.
    for (std::size_t i = 0; i < kMacControls.size(); ++i) {
        const std::string expected = i < 3 ? AddressFields::macOctet(kDeviceOui[i]) : " ";
        EXPECT_EQ(h.console->panel().text(kMacControls[i]), expected) << "MAC field " << i + 1;
    }
    for (ControlId id : kIpControls) {
        EXPECT_EQ(h.console->panel().text(id), " ");
    }
    EXPECT_EQ(h.console->controls().focused(), ControlId::Mac4);
}

TEST_F(ManualAssignmentTest, NoAnswerOnAnyInterfaceUndoesEachAttemptAndKeepsTheFields) {
    h.console->OnCheckToggled(ControlId::ClearCheck, true);
    type(kMac, kIp);
    h.console->OnSet();

    EXPECT_THAT(h.view.rows(), ElementsAre("Checking for an existing IP at 192.168.1.50\r\n",
                                           "> Using Ethernet adapter: 10.0.1.1\r\n",
                                           "> Using Ethernet adapter: 10.0.2.1\r\n",
                                           "> Error: Setting IP failed\r\n", "> Ready\r\n\r\n"));
    const std::string flush = "neigh flush to 192.168.1.50 nud all";
    EXPECT_THAT(commands(),
                ElementsAre(flush, flush,
                            "neigh replace 192.168.1.50 lladdr 00:11:22:33:44:55 dev eth0 nud "
                            "permanent",
                            "route replace 192.168.1.50/32 dev eth0 src 10.0.1.1",
                            "route del 192.168.1.50/32", flush,
                            "neigh replace 192.168.1.50 lladdr 00:11:22:33:44:55 dev eth1 nud "
                            "permanent",
                            "route replace 192.168.1.50/32 dev eth1 src 10.0.2.1",
                            "route del 192.168.1.50/32", flush));
    std::vector<std::size_t> sizes;
    for (const auto& call : h.pinger.calls()) {
        EXPECT_EQ(call.host, "192.168.1.50");
        EXPECT_EQ(call.attempts, 3);
        sizes.push_back(call.dataSize);
    }
    EXPECT_THAT(sizes, ElementsAre(32, 89, 89));
    EXPECT_TRUE(setEnabled());
    EXPECT_EQ(h.console->serverIP(), "");
    EXPECT_EQ(h.console->bannerState(), BannerState::Instructions);
    EXPECT_EQ(h.console->panel().macText(), "00-11-22-33-44-55");
    EXPECT_EQ(h.console->panel().ipText(), "192.168.1.50");
}

}  // namespace
}  // namespace vantor

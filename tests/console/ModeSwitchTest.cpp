#include <gtest/gtest.h>

#include <algorithm>

#include "assign/AnnouncementWire.h"
#include "base/Ipv4.h"
#include "base/Product.h"
#include "console/AddressFields.h"
#include "support/ConsoleHarness.h"

namespace vantor {
namespace {

constexpr ConsoleMode kModes[] = {ConsoleMode::Auto, ConsoleMode::Manual, ConsoleMode::Recovery,
                                  ConsoleMode::FirmwareFile};

bool switchAllowed(ConsoleMode from, ConsoleMode to) {
    if (from == to) {
        return false;
    }
    if (to == ConsoleMode::Recovery || to == ConsoleMode::FirmwareFile) {
        return from == ConsoleMode::Auto || from == ConsoleMode::Manual;
    }
    return true;
}

// The banner button is shown through its own call, not as a control; the firmware-file radio
// is never shown.
bool visibleIn(ConsoleMode mode, ControlId id) {
    if (id == ControlId::BannerButton || id == ControlId::RadioFirmwareFile) {
        return false;
    }
    const bool firmwareControl = std::find(kFirmwareControls.begin(), kFirmwareControls.end(),
                                           id) != kFirmwareControls.end();
    if (firmwareControl) {
        return mode == ConsoleMode::FirmwareFile;
    }
    if (id == ControlId::EveryDeviceCheck) {
        return mode == ConsoleMode::Auto;
    }
    return id != ControlId::ClearCheck || mode != ConsoleMode::FirmwareFile;
}

struct Switch {
    ConsoleMode from;
    ConsoleMode to;
};

std::string switchName(const ::testing::TestParamInfo<Switch>& info) {
    return std::string(modeName(info.param.from)) + "_to_" + std::string(modeName(info.param.to));
}

std::vector<Switch> allSwitches() {
    std::vector<Switch> result;
    for (ConsoleMode from : kModes) {
        for (ConsoleMode to : kModes) {
            result.push_back({from, to});
        }
    }
    return result;
}

class ModeSwitch : public ::testing::TestWithParam<Switch> {
  protected:
    ModeSwitch() : h({"192.168.1.10", "10.1.2.3"}) {}

    void enter(ConsoleMode mode) {
        h.console->Initialize();
        if (mode != ConsoleMode::Auto) {
            h.click(radioOf(mode));
        }
        ASSERT_EQ(h.console->mode(), mode);
    }

    void expectFieldsOf(ConsoleMode mode) {
        const auto mac = h.view.control(ControlId::Mac1);
        const auto ip = h.view.control(ControlId::Ip4);
        switch (mode) {
            case ConsoleMode::Auto:
                EXPECT_FALSE(mac.enabled);
                EXPECT_TRUE(mac.readOnly);
                EXPECT_TRUE(ip.readOnly);
                EXPECT_EQ(h.console->panel().macText(), " - - - - - ");
                EXPECT_EQ(h.console->panel().ipText(), " . . . ");
                break;
            case ConsoleMode::Manual:
                EXPECT_TRUE(mac.enabled);
                EXPECT_FALSE(mac.readOnly);
                EXPECT_FALSE(ip.readOnly);
                EXPECT_TRUE(h.view.control(ControlId::SetButton).enabled);
                EXPECT_TRUE(h.view.control(ControlId::ClearCheck).enabled);
                EXPECT_TRUE(h.view.control(ControlId::ClearCheck).visible);
                break;
            case ConsoleMode::Recovery:
                EXPECT_TRUE(mac.readOnly);
                EXPECT_TRUE(ip.readOnly);
                EXPECT_EQ(h.console->panel().macText(), " - - - - - ");
                EXPECT_EQ(h.console->panel().ipText(), " . . . ");
                break;
            case ConsoleMode::FirmwareFile:
                EXPECT_FALSE(mac.enabled);
                EXPECT_TRUE(mac.readOnly);
                EXPECT_FALSE(ip.readOnly);
                EXPECT_FALSE(h.view.control(ControlId::ClearCheck).visible);
                break;
            case ConsoleMode::Switching:
                break;
        }
        if (mode != ConsoleMode::Manual) {
            EXPECT_FALSE(h.view.control(ControlId::SetButton).enabled);
        }
        for (ControlId id : kFirmwareControls) {
            EXPECT_EQ(h.view.control(id).visible, mode == ConsoleMode::FirmwareFile)
                << controlName(id);
        }
    }

    test::ConsoleHarness h;
};

TEST_P(ModeSwitch, FollowsTheTransitionTable) {
    const auto [from, to] = GetParam();
    enter(from);
    const int listenersBefore = h.workers.listenersMade;
    const int recoveryBefore = h.workers.recoveryListenersMade;
    h.console->report().appendStatus(kTagAlways, "marker\r\n");

    h.click(radioOf(to));

    const bool allowed = switchAllowed(from, to);
    const ConsoleMode now = allowed ? to : from;
    EXPECT_EQ(h.console->mode(), now);
    const auto rows = h.console->statusRows();
    const bool markerKept = std::find(rows.begin(), rows.end(), "marker\r\n") != rows.end();
    EXPECT_EQ(markerKept, !allowed) << "the log is cleared on every entry to a mode, only then";
    if (!allowed) {
        EXPECT_EQ(h.workers.listenersMade, listenersBefore);
        EXPECT_EQ(h.workers.recoveryListenersMade, recoveryBefore);
    } else {
        EXPECT_EQ(h.console->bannerState(), BannerState::Instructions);
    }

    // The workers of the new mode run, those of the old one are gone, every count settles.
    EXPECT_EQ(h.console->listenerCount(), now == ConsoleMode::Auto ? 2u : 0u);
    EXPECT_EQ(h.console->recoveryListenerCount(), now == ConsoleMode::Recovery ? 2u : 0u);
    EXPECT_TRUE(h.pumpUntil([&] {
        return h.console->listenerThreads() == (now == ConsoleMode::Auto ? 2 : 0) &&
               h.console->recoveryThreads() == (now == ConsoleMode::Recovery ? 2 : 0);
    }));
    EXPECT_EQ(h.console->watcherRunning(),
              now == ConsoleMode::Auto || now == ConsoleMode::Recovery);

    // The radios show the mode and are usable again, except that firmware-file mode (whose
    // radio is a menu entry in the window) is not offered where it cannot be entered.
    for (ControlId radio : kModeRadios) {
        EXPECT_EQ(h.view.control(radio).checked, radio == radioOf(now)) << controlName(radio);
        EXPECT_EQ(h.view.control(radio).enabled, radio != ControlId::RadioFirmwareFile ||
                                                     switchAllowed(now, ConsoleMode::FirmwareFile))
            << controlName(radio);
    }
    // What is shown depends on the mode alone, never on the mode left.
    for (ControlId id : kAllControls) {
        EXPECT_EQ(h.view.control(id).visible, visibleIn(now, id)) << controlName(id);
    }
    expectFieldsOf(now);
}

INSTANTIATE_TEST_SUITE_P(EveryPair, ModeSwitch, ::testing::ValuesIn(allSwitches()), switchName);

TEST(ModeSwitchContent, StartUpIsAutoWithBlankLockedFieldsAndTheInterfaceList) {
    test::ConsoleHarness h({"192.168.1.10", "10.1.2.3"});
    h.console->Initialize();
    EXPECT_EQ(h.console->mode(), ConsoleMode::Auto);
    EXPECT_TRUE(h.view.control(ControlId::RadioAuto).checked);
    EXPECT_EQ(h.view.focused(), ControlId::RadioAuto);
    EXPECT_EQ(h.view.control(ControlId::Mac1).limit, 2);
    EXPECT_EQ(h.view.control(ControlId::Ip1).limit, 3);
    EXPECT_FALSE(h.view.control(ControlId::RadioFirmwareFile).visible);
    EXPECT_TRUE(h.console->gate().winsockReady());
    EXPECT_TRUE(h.console->gate().restartAllowed());
    EXPECT_EQ(h.view.rows(), (std::vector<std::string>{
                                 "> 2 NICs found on this machine (pc1):\r\n",
                                 "    - NIC1: 192.168.1.10\r\n",
                                 "    - NIC2: 10.1.2.3\r\n",
                                 "\r\n> Listening.....\r\n",
                             }));
    EXPECT_EQ(h.workers.lastPort, kAnnouncePort);
}

TEST(ModeSwitchContent, ManualFromAutoKeepsWhatAListenerFilledAndAddsTheOuiToBlanks) {
    test::ConsoleHarness h;
    h.console->Initialize();
    h.console->panel().setMacFields({0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
    h.console->panel().setIpFields({192, 168, 1, 50});
    h.click(ControlId::RadioManual);
    EXPECT_EQ(h.console->panel().macText(), "00-11-22-33-44-55");
    EXPECT_EQ(h.console->panel().ipText(), "192.168.1.50");

    // Back in Auto the fields are blank; on to Manual they get the maker's OUI.
    h.click(ControlId::RadioAuto);
    h.click(ControlId::RadioManual);
    const auto mac = h.console->panel().macTexts();
    EXPECT_EQ(mac[0], AddressFields::macOctet(kDeviceOui[0]));
    EXPECT_EQ(mac[2], AddressFields::macOctet(kDeviceOui[2]));
    EXPECT_EQ(mac[3], " ");
    EXPECT_EQ(h.view.focused(), ControlId::Mac4);
}

TEST(ModeSwitchContent, FirmwareFileClearsMacFromManualAndManualClearsIpFromFirmwareFile) {
    test::ConsoleHarness h;
    h.console->Initialize();
    h.click(ControlId::RadioManual);
    h.console->panel().setIpFields({10, 0, 0, 2});
    h.click(ControlId::RadioFirmwareFile);
    EXPECT_EQ(h.console->panel().macText(), " - - - - - ");
    EXPECT_EQ(h.console->panel().ipText(), "10.0.0.2");
    EXPECT_EQ(h.view.focused(), ControlId::PasswordEdit);  // IP 1 is filled
    EXPECT_EQ(h.workers.upgradeDriversMade, 1);
    h.click(ControlId::RadioManual);
    EXPECT_EQ(h.console->panel().ipText(), " . . . ");
    h.click(ControlId::RadioFirmwareFile);
    EXPECT_EQ(h.workers.upgradeDriversMade, 1);  // created once and kept
}

TEST(ModeSwitchContent, RecoveryCountsAHostWithoutAddressesAsZeroAutoAsAnError) {
    test::ConsoleHarness h(std::vector<std::string>{});
    h.console->Initialize();
    EXPECT_EQ(h.view.rows(), (std::vector<std::string>{
                                 "> Error: No NIC found on this machine (pc1):\r\n",
                                 "\r\n> Listening.....\r\n",
                             }));
    h.click(ControlId::RadioRecovery);
    EXPECT_EQ(h.view.rows(), (std::vector<std::string>{
                                 "> 0 NICs found on this machine (pc1):\r\n",
                                 "> Listening.....\r\n",
                             }));
    h.interfaces.set({"127.0.0.1"});
    h.interfaces.setName(std::nullopt);
    h.click(ControlId::RadioAuto);
    h.click(ControlId::RadioRecovery);
    EXPECT_EQ(h.view.rows(), (std::vector<std::string>{
                                 "> Warning: The host name of this machine could not be "
                                 "obtained.\r\n",
                                 "> Error: No NIC found on this machine ():\r\n",
                                 "> Listening.....\r\n",
                             }));
    EXPECT_EQ(h.console->recoveryListenerCount(), 0u);
}

TEST(ModeSwitchContent, OneInterfaceGivesThePlainPrefixSeveralTheBracketedOne) {
    test::ConsoleHarness one;
    one.console->Initialize();
    EXPECT_EQ(one.console->interfaces().prefixFor(*Ipv4::parse("192.168.1.10")), ">");
    test::ConsoleHarness two({"192.168.1.10", "10.1.2.3"});
    two.console->Initialize();
    EXPECT_EQ(two.console->interfaces().prefixFor(*Ipv4::parse("10.1.2.3")), "> [NIC 10.1.2.3]");
}

TEST(ModeSwitchContent, ShutdownStopsEveryWorkerAndLaterClicksDoNothing) {
    test::ConsoleHarness h({"192.168.1.10", "10.1.2.3"});
    h.console->Initialize();
    h.click(ControlId::RadioRecovery);
    h.console->Shutdown();
    EXPECT_EQ(h.console->recoveryThreads(), 0);
    EXPECT_EQ(h.console->recoveryListenerCount(), 0u);
    EXPECT_FALSE(h.console->watcherRunning());
    h.click(ControlId::RadioAuto);
    EXPECT_EQ(h.console->listenerCount(), 0u);
}

}  // namespace
}  // namespace vantor

// What each mode tells the operator on entry about what this PC will not let it do.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "console/ModeController.h"
#include "hostnet/Capabilities.h"
#include "support/ConsoleHarness.h"

namespace vantor {
namespace {

using ::testing::ElementsAre;

const std::string kListeningRow = "\r\n> Listening.....\r\n";
const std::string kPlaceholderRow =
    "> Warning: boot images are placeholders; a device cannot boot them; see README\r\n";

// A console on a PC that holds none of the privileges, probed as the given state.
struct UnprivilegedConsole {
    explicit UnprivilegedConsole(PrivilegeState state,
                                 std::vector<std::string> addresses = {"192.168.1.10"})
        : interfaces(std::move(addresses)) {
        ConsoleServices services{interfaces, workers, test::fastTimings()};
        services.pinger = &pinger;
        services.probePrivileges = [state] { return state; };
        console = std::make_unique<OperatorConsole>(std::move(services));
        console->attachView(&view);
    }
    ~UnprivilegedConsole() {
        console->Shutdown();
        console->attachView(nullptr);
    }

    test::FakeInterfaceSource interfaces;
    test::CountingWorkerFactory workers;
    test::FakePinger pinger;
    test::RecordingView view;
    std::unique_ptr<OperatorConsole> console;
};

// Entering a mode clears the log, the start-up warning with it: every mode names what it will
// be refused, and the start-up log still ends with the listening row.
TEST(ModeMessages, EachModeNamesTheMissingPrivilegesItNeeds) {
    const PrivilegeState none{0, 0, false, 1024, {}, {}};
    UnprivilegedConsole c(none);
    c.console->Initialize();
    EXPECT_THAT(c.view.rows(), ElementsAre("> 1 NICs found on this machine (pc1):\r\n",
                                           "    - NIC1: 192.168.1.10\r\n",
                                           PrivilegeCheck::StatusText(none), kListeningRow));

    const std::string manual =
        "> Warning: Vantor is not allowed to change the ARP cache and the routing table and send "
        "ICMP echo requests, so these steps will fail. Run it as root, or give the program the "
        "capabilities with \"setcap cap_net_admin,cap_net_raw+ep\".\r\n";
    c.console->OnRadioClicked(ControlId::RadioManual);
    EXPECT_THAT(c.view.rows(), ElementsAre(manual));

    c.console->OnRadioClicked(ControlId::RadioRecovery);
    EXPECT_THAT(
        c.view.rows(),
        ElementsAre("> 1 NICs found on this machine (pc1):\r\n", "    - NIC1: 192.168.1.10\r\n",
                    "> Warning: Vantor is not allowed to answer boot requests on UDP ports "
                    "67 and 69, change the ARP cache and the routing table and send ICMP "
                    "echo requests, so these steps will fail. Run it as root, or give the "
                    "program the capabilities with "
                    "\"setcap cap_net_bind_service,cap_net_admin,cap_net_raw+ep\".\r\n",
                    "> Listening.....\r\n"));

    c.console->OnRadioClicked(ControlId::RadioAuto);
    EXPECT_EQ(c.view.rows().at(2), manual) << "Auto needs what Manual needs";

    c.console->OnRadioClicked(ControlId::RadioFirmwareFile);
    EXPECT_THAT(c.view.rows(),
                ElementsAre("> Warning: Vantor is not allowed to send ICMP echo requests, so these "
                            "steps will fail. Run it as root, or give the program the capabilities "
                            "with \"setcap cap_net_raw+ep\".\r\n"));
}

TEST(ModeMessages, APcWithEveryPrivilegeHearsNothingOfThem) {
    const std::uint64_t all =
        Capabilities::kNetAdmin | Capabilities::kNetRaw | Capabilities::kNetBindService;
    UnprivilegedConsole c(PrivilegeState{all, all, false, 1024, {}, {}});
    c.console->Initialize();
    c.console->OnRadioClicked(ControlId::RadioManual);
    EXPECT_TRUE(c.view.rows().empty());
}

// Said once per entry, whatever the number of interfaces, and only where boot images are
// served.
TEST(ModeMessages, PlaceholderBootImagesAreNamedOnceInRecovery) {
    test::ConsoleHarness h({"192.168.1.10", "10.1.2.3"});
    h.workers.placeholderImages = true;
    h.console->Initialize();
    const std::vector<std::string> autoRows = h.view.rows();
    EXPECT_EQ(std::count(autoRows.begin(), autoRows.end(), kPlaceholderRow), 0);
    h.click(ControlId::RadioRecovery);
    const std::vector<std::string> rows = h.view.rows();
    EXPECT_EQ(std::count(rows.begin(), rows.end(), kPlaceholderRow), 1);
    EXPECT_EQ(rows.front(), kPlaceholderRow);
    EXPECT_EQ(rows.back(), "> Listening.....\r\n");
}

}  // namespace
}  // namespace vantor

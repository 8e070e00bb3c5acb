// A program without the privilege for ports 67 and 69 is told so, and how to get it: not
// that another DHCP server may be running (that is said when one holds the port, see
// RecoveryRivalDhcpTest).
#include <gtest/gtest.h>

#include <algorithm>

#include "app/DeviceWorkerFactory.h"
#include "base/SystemInterfaceSource.h"
#include "console/OperatorConsole.h"
#include "hostnet/Capabilities.h"
#include "hostnet/Unprivileged.h"
#include "netlab/NetLab.h"
#include "support/ConsoleHarness.h"
#include "support/Eventually.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;

#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif

TEST(RecoveryPrivilege, RefusedPortsAreBlamedOnTheMissingCapability) {
    if (kThreadSanitizer) {
        // The console runs in a child forked from this multithreaded process, as the user
        // nobody; ThreadSanitizer does not support starting threads there, and its report of
        // that cannot even be written by nobody. The default and ASan builds run it.
        GTEST_SKIP() << "threads in a child of a multithreaded fork";
    }
    netlab::NetLab lab;
    netlab::LabNamespace& pc = lab.addNamespace();
    netlab::LabNamespace& device = lab.addNamespace();
    lab.connect(pc, "10.77.0.1/24", device, "10.77.0.2/24");

    // Bit i of the result: row i of `wanted` missing; bit 3: the rival server blamed.
    const int result = pc.run([] {
        return RunUnprivileged(Capabilities::kNetAdmin | Capabilities::kNetRaw, [] {
            SystemInterfaceSource interfaces;
            DeviceWorkerFactory workers;
            ConsoleServices services{interfaces, workers, test::fastTimings()};
            services.reportPrivileges = false;
            OperatorConsole console(std::move(services));
            console.Initialize();
            console.OnRadioClicked(ControlId::RadioRecovery);
            const std::string remedy =
                " (permission denied). Run it as root, or give the program the capabilities "
                "with \"setcap cap_net_bind_service+ep\".\r\n";
            const std::vector<std::string> wanted{
                "> Error: Can't create dhcp socket.\r\n",
                "> Error: Vantor is not allowed to use UDP port 67" + remedy,
                "> Error: Vantor is not allowed to use UDP port 69" + remedy};
            const auto has = [&](const std::string& row) {
                const auto rows = console.statusRows();
                return std::find(rows.begin(), rows.end(), row) != rows.end();
            };
            test::eventually([&] { return std::all_of(wanted.begin(), wanted.end(), has); }, 5s,
                             5ms, [&](auto wait) { console.dispatcher().drainAndWait(wait); });
            int missing = 0;
            for (std::size_t i = 0; i < wanted.size(); ++i) {
                missing |= has(wanted[i]) ? 0 : 1 << i;
            }
            missing |= has("A DHCP server service may be runing on this PC.\n") ? 8 : 0;
            console.Shutdown();
            return missing;
        });
    });
    EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace vantor

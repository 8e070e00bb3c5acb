// A PC without a network, as the kernel shows one: a namespace with loopback alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include "base/SystemInterfaceSource.h"
#include "netlab/NetLab.h"
#include "support/ConsoleHarness.h"

namespace vantor {
namespace {

using ::testing::ElementsAre;

TEST(NoNetworkLab, LoopbackAloneIsNoNicInAutoAndRecovery) {
    netlab::NetLab lab;
    const netlab::LabNamespace& bare = lab.addNamespace();
    bare.run([] {
        SystemInterfaceSource interfaces;
        test::CountingWorkerFactory workers;
        test::FakePinger pinger;
        test::RecordingView view;
        ConsoleServices services{interfaces, workers, test::fastTimings()};
        services.pinger = &pinger;
        services.reportPrivileges = false;
        OperatorConsole console(std::move(services));
        console.attachView(&view);
        const std::string noNic =
            "> Error: No NIC found on this machine (" + interfaces.hostName().value() + "):\r\n";

        console.Initialize();
        EXPECT_THAT(view.rows(), ElementsAre(noNic, "\r\n> Listening.....\r\n"));
        console.OnRadioClicked(ControlId::RadioRecovery);
        EXPECT_THAT(view.rows(), ElementsAre(noNic, "> Listening.....\r\n"));
        EXPECT_EQ(workers.listenersMade + workers.recoveryListenersMade, 0);

        console.Shutdown();
        console.attachView(nullptr);
    });
}

}  // namespace
}  // namespace vantor

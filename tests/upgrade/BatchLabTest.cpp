// A batch upgrade from end to end: the console in the PC's namespace, one update simulator per
// device namespace, each behind an interface of the PC's own.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "app/DeviceWorkerFactory.h"
#include "console/OperatorConsole.h"
#include "netlab/PcLab.h"
#include "support/ConsoleHarness.h"
#include "support/Eventually.h"
#include "upgrade/TempDir.h"
#include "upgrade/UpgradeArchives.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

class BatchLab : public ::testing::Test {
  protected:
    ~BatchLab() override {
        for (const pid_t pid : simulators_) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }

    // A device namespace of its own at 10.96.<n>.2, with the update simulator.
    std::string device(int n, std::vector<std::string> args) {
        const std::string net = "10.96." + std::to_string(n) + ".";
        netlab::LabNamespace& space = lab_.addDevice(net + "1/24", net + "2/24").space;
        const std::string record = dir_.file("sim" + std::to_string(n) + ".log");
        std::vector<std::string> argv = {
            VANTOR_UPDATE_SIM, "--address", net + "2", "--record", record, "--duration", "120000"};
        argv.insert(argv.end(), args.begin(), args.end());
        simulators_.push_back(space.spawn(std::move(argv)));
        EXPECT_TRUE(test::eventually(
            [&] {
                std::ifstream in(record);
                std::string line;
                return std::getline(in, line) && line == "ready";
            },
            5s));
        return net + "2";
    }

    std::string dump(int n) const { return dir_.file("dump" + std::to_string(n) + "-"); }

    std::vector<BatchDeviceStatus> batch(const std::vector<std::string>& addresses,
                                         const std::string& archive, int parallel) {
        return lab_.pc.run([&] {
            Timings timings = test::fastTimings();
            timings.pingTimeout = 100ms;
            timings.codeUpdateReceive = 100ms;
            test::FakeInterfaceSource interfaces({"10.96.1.1"});
            DeviceWorkerFactory workers;
            ConsoleServices services{interfaces, workers, timings};
            services.reportPrivileges = false;
            OperatorConsole console(std::move(services));
            test::RecordingView view;
            console.attachView(&view);
            console.Initialize();
            console.OnRadioClicked(ControlId::RadioFirmwareFile);
            BatchUpgrader& upgrader = *console.upgradeBatch();
            EXPECT_TRUE(upgrader.startBatch({addresses, archive, "setpw", false, parallel}));
            test::eventually([&] { return !upgrader.batchActive(); }, 90s, 5ms,
                             [&](Millis wait) { console.dispatcher().drainAndWait(wait); });
            console.dispatcher().drain();
            std::vector<BatchDeviceStatus> devices = upgrader.batchStatus();
            console.Shutdown();
            console.attachView(nullptr);
            return devices;
        });
    }

    netlab::PcLab lab_;
    test::TempDir dir_;
    std::vector<pid_t> simulators_;
};

TEST_F(BatchLab, GoodDevicesReceiveTheSameRegionsWhileTheOthersFailWithTheirReason) {
    const Bytes microcode = test::microcodeFile(1, 40000);
    const Bytes bin = test::patternBytes(3000, 41);
    const Bytes logo = test::patternBytes(900, 42);
    const std::string archive = test::writeArchive(
        dir_, "fw.zip",
        {test::firmwareMember("update.enc", microcode), test::firmwareMember("image.bin", bin),
         test::firmwareMember("logo.gif", logo)});
    const std::vector<std::string> good = {
        device(1, {"--password", "setpw", "--reboot-ms", "300", "--dump", dump(1)}),
        device(2, {"--password", "setpw", "--reboot-ms", "300", "--dump", dump(2)}),
        device(3, {"--password", "setpw", "--reboot-ms", "300", "--dump", dump(3)})};
    const std::string wrongModel = device(4, {"--password", "setpw", "--model", "3"});
    const std::string goneMidRegion = device(5, {"--password", "setpw", "--silent-after", "10"});
    const std::string unreachable = "10.96.1.77";  // on a device's link, but nobody is there

    const auto devices =
        batch({good[0], unreachable, wrongModel, good[1], goneMidRegion, good[2]}, archive, 3);

    std::map<std::string, BatchDeviceStatus> by;
    for (const auto& d : devices) {
        by[d.address] = d;
    }
    for (int n = 1; n <= 3; ++n) {
        const std::string& ip = good[static_cast<std::size_t>(n - 1)];
        EXPECT_EQ(by[ip].state, BatchDeviceState::Completed) << ip << ": " << by[ip].result;
        EXPECT_EQ(readBytes(dump(n) + "0.bin"), test::expectedTail(microcode)) << ip;
        EXPECT_EQ(readBytes(dump(n) + "1.bin"), test::expectedMicrocode(microcode)) << ip;
        EXPECT_EQ(readBytes(dump(n) + "2.bin"), test::expectedBin(bin)) << ip;
        EXPECT_EQ(readBytes(dump(n) + "3.bin"), test::expectedLogo(logo)) << ip;
    }
    EXPECT_EQ(by[unreachable].state, BatchDeviceState::Failed);
    EXPECT_EQ(by[unreachable].result,
              "System on IP address  " + unreachable + " is not responding.");
    EXPECT_EQ(by[wrongModel].result,
              "Error! Trying to update the microcode using incorrect auraNode model update file");
    EXPECT_EQ(by[goneMidRegion].state, BatchDeviceState::Failed);
    EXPECT_EQ(by[goneMidRegion].result, "Error! No answer from the remote system");
}

}  // namespace
}  // namespace vantor

// Eight devices upgraded with the same archive by the program without a window: eight single
// upgrades one after the other against one batch of all eight with --parallel 8, in one run.
// Each device is an update simulator in a namespace of its own behind an interface of the
// PC's; it goes quiet for three seconds after its new microcode, as a device reboots. The
// program runs with its product timings. Runs inside a network namespace of its own (see
// batch_upgrade.sh).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "netlab/PcLab.h"
#include "upgrade/TempDir.h"
#include "upgrade/UpgradeArchives.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDevices = 8;

std::string address(int n) {
    return "10.98." + std::to_string(n) + ".2";
}

// The program in the PC's namespace; its exit code and the seconds it took.
std::pair<int, double> runProgram(const vantor::netlab::LabNamespace& pc,
                                  const std::vector<std::string>& extra,
                                  const std::string& archive) {
    std::vector<std::string> argv = {VANTOR_BINARY, "--headless", "--mode",    "firmware",
                                     "--password",  "bench",      "--archive", archive};
    argv.insert(argv.end(), extra.begin(), extra.end());
    const auto start = Clock::now();
    std::vector<std::string> quiet = {"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/null 2>&1"};
    quiet.insert(quiet.end(), argv.begin(), argv.end());
    const pid_t pid = pc.spawn(quiet);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const std::chrono::duration<double> took = Clock::now() - start;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, took.count()};
}

}  // namespace

int main() {
    vantor::netlab::PcLab lab;
    vantor::test::TempDir dir;
    const std::string archive = vantor::test::writeArchive(
        dir, "fw.zip",
        {vantor::test::firmwareMember("update.enc", vantor::test::microcodeFile(1, 120000)),
         vantor::test::firmwareMember("image.bin", vantor::test::patternBytes(200000, 41)),
         vantor::test::firmwareMember("logo.gif", vantor::test::patternBytes(3000, 42))});
    std::vector<pid_t> simulators;
    for (int n = 1; n <= kDevices; ++n) {
        const std::string net = "10.98." + std::to_string(n) + ".";
        auto& space = lab.addDevice(net + "1/24", net + "2/24").space;
        const std::string record = dir.file("sim" + std::to_string(n));
        simulators.push_back(
            space.spawn({VANTOR_UPDATE_SIM, "--address", address(n), "--password", "bench",
                         "--reboot-ms", "3000", "--record", record, "--duration", "900000"}));
        for (int i = 0; i < 500 && std::ifstream(record).peek() == EOF; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::vector<double> singles;
    bool ok = true;
    for (int n = 1; n <= kDevices; ++n) {
        const auto [code, seconds] = runProgram(lab.pc, {"--ip", address(n)}, archive);
        ok = ok && code == 0;
        singles.push_back(seconds);
    }
    std::vector<std::string> all = {"--parallel", std::to_string(kDevices)};
    for (int n = 1; n <= kDevices; ++n) {
        all.push_back("--ip");
        all.push_back(address(n));
    }
    const auto [batchCode, batchSeconds] = runProgram(lab.pc, all, archive);
    ok = ok && batchCode == 0;

    for (const pid_t pid : simulators) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    double sum = 0;
    for (const double s : singles) {
        sum += s;
    }
    std::printf(
        "batch upgrade, %d devices (microcode, reboot of 3 s, bin, logo), product "
        "timings:\n",
        kDevices);
    std::printf(
        "  eight single upgrades one after the other: %.1f s (slowest %.1f s, fastest "
        "%.1f s)\n",
        sum, *std::max_element(singles.begin(), singles.end()),
        *std::min_element(singles.begin(), singles.end()));
    std::printf("  one batch with --parallel %d:              %.1f s\n", kDevices, batchSeconds);
    if (!ok) {
        std::printf("  (a run did not complete every device)\n");
    }
    return ok ? 0 : 1;
}

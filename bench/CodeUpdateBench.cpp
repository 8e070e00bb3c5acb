// Pages per second of the code update sender against the update simulator over a veth pair:
// a bin region (845 pages, no header, so no pause) in four-page and one-page mode, a bounded
// number of rounds each. Runs inside a network namespace of its own (see code_update.sh).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "netlab/NetLab.h"
#include "upgrade/CodeUpdateSender.h"
#include "upgrade/UdpCodeUpdateTransport.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 5;

class NullSink final : public vantor::StatusSink {
  public:
    void AppendStatus(int, const std::string&) override {}
};

double pagesPerSecond(const vantor::netlab::LabNamespace& pc, bool onePage) {
    return pc.run([&] {
        vantor::UpdateImage image;
        for (std::size_t i = 0; i < 216320; ++i) {
            image.imageBuffer[i] = static_cast<std::uint8_t>(i * 13);
        }
        image.imageLength = 216320;
        image.fileType = vantor::TYPE_BIN;
        vantor::CodeUpdateSettings settings{"bench", onePage, false, std::nullopt};
        vantor::Timings timings;
        vantor::StopSignal stop;
        NullSink sink;
        auto transport = vantor::UdpCodeUpdateTransport::open("10.93.0.2", 69, -1);
        if (!transport) {
            return 0.0;
        }
        vantor::CodeUpdateSender sender(*transport, sink, timings, stop, {});
        std::vector<double> rates;
        for (int round = 0; round < kRounds; ++round) {
            const auto start = Clock::now();
            if (sender.transferFile(vantor::TYPE_BIN, image, settings) != 1) {
                return 0.0;
            }
            const std::chrono::duration<double> took = Clock::now() - start;
            rates.push_back(845.0 / took.count());
        }
        std::sort(rates.begin(), rates.end());
        return rates[rates.size() / 2];
    });
}

}  // namespace

int main() {
    vantor::netlab::NetLab lab;
    auto& pc = lab.addNamespace();
    auto& device = lab.addNamespace();
    lab.connect(pc, "10.93.0.1/24", device, "10.93.0.2/24");
    const std::string record = "/tmp/vantor-code-update-bench.log";
    std::remove(record.c_str());
    const pid_t sim = device.run([&] {
        std::vector<std::string> argv = {VANTOR_UPDATE_SIM, "--address", "10.93.0.2", "--password",
                                         "bench",           "--record",  record,      "--duration",
                                         "120000"};
        std::vector<char*> raw;
        for (auto& a : argv) {
            raw.push_back(a.data());
        }
        raw.push_back(nullptr);
        pid_t pid = -1;
        return ::posix_spawn(&pid, raw[0], nullptr, nullptr, raw.data(), environ) == 0 ? pid : -1;
    });
    for (int i = 0; i < 500 && std::ifstream(record).peek() == EOF; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double four = pagesPerSecond(pc, false);
    const double one = pagesPerSecond(pc, true);
    ::kill(sim, SIGTERM);
    ::waitpid(sim, nullptr, 0);
    std::remove(record.c_str());
    std::printf("code update, bin region of 845 pages over a veth pair, median of %d rounds:\n",
                kRounds);
    std::printf("  four pages per packet: %.0f pages/s\n", four);
    std::printf("  one page per packet:   %.0f pages/s\n", one);
    return four > 0 && one > 0 ? 0 : 1;
}

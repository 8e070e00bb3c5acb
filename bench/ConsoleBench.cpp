// The console's own costs with the product's timings and placeholder workers: a start-up up to
// the listed interfaces, and a mode switch with no device present.
#include <benchmark/benchmark.h>

#include "console/IdleWorkerFactory.h"
#include "console/OperatorConsole.h"
#include "support/FakeInterfaceSource.h"
#include "support/RecordingView.h"

namespace {

using namespace vantor;

void BM_StartUpUntilInterfacesListed(benchmark::State& state) {
    test::FakeInterfaceSource interfaces({"192.168.1.10", "10.1.2.3"});
    IdleWorkerFactory workers;
    for (auto _ : state) {
        test::RecordingView view;
        OperatorConsole console(ConsoleServices{interfaces, workers, Timings{}});
        console.attachView(&view);
        console.Initialize();
        benchmark::DoNotOptimize(view.rows());
        state.PauseTiming();
        console.Shutdown();
        console.attachView(nullptr);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartUpUntilInterfacesListed)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_ModeSwitchWithoutDevice(benchmark::State& state) {
    test::FakeInterfaceSource interfaces({"192.168.1.10", "10.1.2.3"});
    IdleWorkerFactory workers;
    test::RecordingView view;
    OperatorConsole console(ConsoleServices{interfaces, workers, Timings{}});
    console.attachView(&view);
    console.Initialize();
    const ControlId targets[] = {ControlId::RadioManual, ControlId::RadioRecovery,
                                 ControlId::RadioAuto};
    std::size_t next = 0;
    for (auto _ : state) {
        console.OnRadioClicked(targets[next]);
        next = (next + 1) % std::size(targets);
    }
    console.Shutdown();
    console.attachView(nullptr);
}
BENCHMARK(BM_ModeSwitchWithoutDevice)->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace

BENCHMARK_MAIN();

// SPDX-License-Identifier: GPL-3.0-or-later
// Costs of the polling cycle: one tick of the board worker on the simulated
// board (back to back, warm, and in place: on the system clock after a 10 ms
// sleep, as the worker's loop runs it, with the caches gone cold), and one
// log line with every channel.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <type_traits>

#include "board/BoardWorker.h"
#include "link/Clock.h"
#include "monitor/LogFile.h"
#include "sim/SimulatedBoard.h"

namespace {

// The firmware image lies next to this program.
std::string programDirectory() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// Ticks on a connected simulated board in a temporary folder; `inPlace`
// sleeps 10 ms (untimed) before each tick.
template <typename ClockType>
void runTicks(benchmark::State& state, bool inPlace) {
    std::string dir = (std::filesystem::temp_directory_path() / "quarnel-bench-XXXXXX").string();
    if (!::mkdtemp(dir.data())) {
        state.SkipWithError("no temporary directory");
        return;
    }
    {
        ClockType clock;
        if constexpr (std::is_same_v<ClockType, quarnel::ManualClock>) clock.setTimeOfDay(36000.0);
        quarnel::sim::SimOptions options;
        options.statePath = dir + "/board.json";
        quarnel::sim::SimulatedBoard board(options, clock);
        // Nobody listens: the events are built and dropped.
        quarnel::board::BoardWorker worker(board, clock, {});
        worker.connect(programDirectory(), true);
        for (auto _ : state) {
            if (inPlace) {
                state.PauseTiming();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                state.ResumeTiming();
            }
            if constexpr (std::is_same_v<ClockType, quarnel::ManualClock>) clock.advance(0.01);
            worker.step();
        }
        benchmark::DoNotOptimize(worker.session().readings);
    }
    std::filesystem::remove_all(dir);
}

void BM_Tick(benchmark::State& state) {
    runTicks<quarnel::ManualClock>(state, false);
}
BENCHMARK(BM_Tick);

void BM_TickInPlace(benchmark::State& state) {
    runTicks<quarnel::SystemClock>(state, true);
}
BENCHMARK(BM_TickInPlace)->Iterations(300);

void BM_BuildLogLine(benchmark::State& state) {
    std::array<bool, quarnel::kLogChannelCount> all;
    all.fill(true);
    quarnel::CurrentReadings r;
    r.InternalTemp = 23.25f, r.ExternalTemp = -5.5f, r.VarnoTemp = 24.7f, r.Vdd = 3.299f;
    r.Ain1 = .012f, r.Ain2 = 1.5f, r.Ain3 = .747f, r.Ain4 = 1.234f;
    r.Ain5 = .301f, r.Ain6 = .9f, r.Ain7 = 1.501f, r.Ain8 = 2.278f;
    int64_t count = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(quarnel::BuildLogLine(all, 250, ++count, r));
    }
}
BENCHMARK(BM_BuildLogLine);

}  // namespace

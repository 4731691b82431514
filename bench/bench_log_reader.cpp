// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a log back: one million lines of all twelve channels, written with
// the logger's own line builder so the text is what a real run leaves.

#include <benchmark/benchmark.h>

#include <filesystem>

#include "BenchSupport.h"
#include "monitor/LogReader.h"

namespace {

using namespace quarnel::bench;

void BM_ReadLogMillionLines(benchmark::State& state) {
    const std::string& path = bigLogPath();
    size_t heldBytes = 0;
    double peakMb = 0;
    for (auto _ : state) {
        const long start = startPeak();
        const quarnel::LogReadResult result = quarnel::ReadLogFile(path);
        peakMb = std::max(peakMb, peakGrowthMb(start));
        if (!result.ok() || result.runs.size() != 1 ||
            result.runs[0].time.size() != size_t(kBigLogLines)) {
            state.SkipWithError("the log was not read back whole");
            break;
        }
        const quarnel::LogRun& run = result.runs[0];
        heldBytes = run.time.capacity() * sizeof(double);
        for (const auto& column : run.values) heldBytes += column.capacity() * sizeof(float);
    }
    state.counters["held_MB"] = double(heldBytes) / 1e6;
    // The highest growth of the resident size during one read.
    state.counters["peak_growth_MB"] = peakMb;
    state.counters["file_MB"] = double(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_ReadLogMillionLines)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

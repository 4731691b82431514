// Reading a log back: one million lines of all twelve channels, written with
// the logger's own line builder so the text is what a real run leaves.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "monitor/LogFile.h"
#include "monitor/LogReader.h"

namespace {

constexpr int64_t kLines = 1000000;

std::string writeBigLog() {
    const auto path = std::filesystem::temp_directory_path() /
                      ("quarnel-bench-log-" + std::to_string(::getpid()) + ".csv");
    std::array<bool, quarnel::kLogChannelCount> all{};
    all.fill(true);
    std::ofstream out(path, std::ios::binary);
    out << quarnel::LogPreamble() << quarnel::BuildLogHeader(all, false) << quarnel::kLineEnd;
    quarnel::CurrentReadings r{};
    for (int64_t i = 0; i < kLines; ++i) {
        const float wave = float(std::sin(double(i) * 0.001));
        r.InternalTemp = 27.25f + std::round(wave * 16.0f) / 4.0f;
        r.ExternalTemp = 31.5f - std::round(wave * 8.0f) / 4.0f;
        r.VarnoTemp = std::round((24.5f + wave) * 10.0f) / 10.0f;
        r.Vdd = 3.299f;
        r.Ain1 = std::round(wave * 1000.0f) / 1000.0f + 1.0f;
        r.Ain2 = 1.5f, r.Ain3 = .745f, r.Ain4 = 1.234f;
        r.Ain5 = .5f, r.Ain6 = .9f, r.Ain7 = 1.25f, r.Ain8 = 2.0f;
        out << quarnel::BuildLogLine(all, 10, i, r) << quarnel::kLineEnd;
    }
    return path.string();
}

long peakRssKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_ReadLogMillionLines(benchmark::State& state) {
    static const std::string path = writeBigLog();
    const long rssBefore = peakRssKb();
    size_t heldBytes = 0;
    for (auto _ : state) {
        const quarnel::LogReadResult result = quarnel::ReadLogFile(path);
        if (!result.ok() || result.runs.size() != 1 || result.runs[0].time.size() != kLines) {
            state.SkipWithError("the log was not read back whole");
            break;
        }
        const quarnel::LogRun& run = result.runs[0];
        heldBytes = run.time.capacity() * sizeof(double);
        for (const auto& column : run.values) heldBytes += column.capacity() * sizeof(float);
    }
    state.counters["held_MB"] = double(heldBytes) / 1e6;
    // Growth of the process's peak over the reads (0 when an earlier
    // benchmark already peaked higher).
    state.counters["peak_growth_MB"] = double(peakRssKb() - rssBefore) / 1e3;
    state.counters["file_MB"] = double(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_ReadLogMillionLines)->Unit(benchmark::kMillisecond)->Iterations(3);

// Removes the generated file when the program ends.
struct Cleanup {
    ~Cleanup() {
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::temp_directory_path() /
                                    ("quarnel-bench-log-" + std::to_string(::getpid()) + ".csv"),
                                ignored);
    }
} cleanup;

}  // namespace

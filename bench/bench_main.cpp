// Costs of the polling cycle: one master-timer tick on the simulated board,
// and one log line with every channel.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "link/Clock.h"
#include "monitor/LogFile.h"
#include "monitor/MasterPoll.h"
#include "monitor/Session.h"
#include "monitor/Startup.h"
#include "sim/SimulatedBoard.h"

namespace {

class QuietNotifier final : public quarnel::Notifier {
  public:
    void message(const std::string&, Icon) override {}
};

// The firmware image lies next to this program.
std::string programDirectory() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

void BM_Tick(benchmark::State& state) {
    std::string dir = (std::filesystem::temp_directory_path() / "quarnel-bench-XXXXXX").string();
    if (!::mkdtemp(dir.data())) {
        state.SkipWithError("no temporary directory");
        return;
    }
    {
        quarnel::ManualClock clock(36000.0);
        quarnel::sim::SimOptions options;
        options.statePath = dir + "/board.json";
        quarnel::sim::SimulatedBoard board(options, clock);
        QuietNotifier notifier;
        quarnel::Session session(board, clock, notifier, nullptr);
        quarnel::SilentProgress progress;
        quarnel::RunConnectionSequence(session, progress, programDirectory(), true);
        quarnel::MasterPoll poll(session);
        for (auto _ : state) {
            clock.advance(0.01);
            poll.Tick(nullptr);
        }
        benchmark::DoNotOptimize(session.readings);
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_Tick);

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

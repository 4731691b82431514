// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of one graphs-window refresh with every chart's history full: the
// readings event through the feed, 12 samples, the legend texts and one
// replot of the shown chart.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>
#include <cmath>

#include "BenchSupport.h"
#include "board/BoardWorker.h"
#include "link/Clock.h"
#include "link/Orvalink.h"
#include "widgets/StripChart.h"
#include "windows/BoardFeed.h"
#include "windows/WindowHost.h"
#include "windows/graphs/frmGraphing.h"

namespace {

using quarnel::bench::application;
using quarnel::bench::NoHost;
using quarnel::bench::QuietNotifier;

// The window never talks to the board.
class NoBoard final : public quarnel::Orvalink {
  public:
    int16_t LoadFirmWare(const char*) override { return -1; }
    int16_t VendorIORequest(int16_t, int32_t, int32_t, int16_t, int16_t, uint8_t*) override {
        return -1;
    }
};

// A worker without a thread wired to the windows' feed, as the program wires them.
struct WorkerFeed {
    WorkerFeed(quarnel::Orvalink& board, quarnel::Clock& clock)
        : worker(board, clock, [this](const quarnel::board::Event& e) { feed.deliver(e); }) {}
    quarnel::BoardFeed feed{{[this](quarnel::board::Command c) { worker.post(std::move(c)); },
                             [this] { return worker.newTicket(); }}};
    quarnel::board::BoardWorker worker;
};

// The program refreshes the graphs on the first tick past 0.1 s: every 11th.
constexpr double kRefreshSeconds = 0.11;

quarnel::board::Readings readingsAt(int step) {
    quarnel::board::Readings e;
    quarnel::CurrentReadings& r = e.readings;
    const float wave = float(std::sin(step * 0.01));
    r.InternalTemp = 27.25f + std::round(wave * 4.0f) / 4.0f;
    r.ExternalTemp = 31.5f - std::round(wave * 8.0f) / 4.0f;
    r.VarnoTemp = 24.5f + wave;
    r.Vdd = 3.299f;
    r.Ain1 = .012f, r.Ain2 = 1.5f, r.Ain3 = .745f, r.Ain4 = 1.234f;
    r.Ain5 = .5f, r.Ain6 = .9f, r.Ain7 = 1.25f, r.Ain8 = 2.0f;
    r.Taken = 0x0FFF;  // every reading taken
    e.monotonic = step * kRefreshSeconds;
    e.timeOfDay = 36000.0 + e.monotonic;
    return e;
}

void BM_GraphsRefresh(benchmark::State& state) {
    QApplication& app = application();
    NoBoard board;
    quarnel::ManualClock clock(36000.0);
    QuietNotifier notifier;
    NoHost host;
    WorkerFeed wired(board, clock);
    quarnel::BoardFeed& feed = wired.feed;
    quarnel::DeviceState device;
    device.ChannelMode = quarnel::ChannelFunction::AinInputs;
    device.VarnoOnAin3 = true;
    feed.deliver(quarnel::board::Connected{device, 0x48});
    feed.setGraphingEnabled(true);
    feed.setSelectedGraph(3);  // the busiest chart: eight traces

    quarnel::frmGraphing window(feed, notifier, host, {}, nullptr,
                                QDateTime(QDate(2024, 3, 5), QTime(10, 0, 0)));
    window.resize(780, 430);
    window.show();
    app.processEvents();

    // Ten minutes of refreshes fill every history.
    const int fill = int(window.chart(0)->historySeconds() / kRefreshSeconds);
    const qint64 start = window.sampleMsecs();
    for (int i = 0; i < fill; ++i) {
        const qint64 t = start + std::llround(i * kRefreshSeconds * 1000.0);
        const double v = std::sin(i * 0.01);
        window.chart(0)->AddSamples(t, {27.0 + v, 31.0 - v, 24.5 + v});
        window.chart(1)->AddSample(1, 3.3 + v / 100.0, t);
        window.chart(3)->AddSamples(t,
                                    {.5, 1.5 + v / 10.0, .745, 1.2 + v / 4.0, .5, .9, 1.25, 2.0});
    }
    int step = fill;
    feed.deliver(readingsAt(step));
    app.processEvents();

    for (auto _ : state) {
        feed.deliver(readingsAt(++step));  // the window refreshes itself
        app.processEvents();               // the paint the replot queued
    }
    state.counters["points"] = window.chart(3)->sampleCount(1);
}
BENCHMARK(BM_GraphsRefresh)->Unit(benchmark::kMicrosecond);

}  // namespace

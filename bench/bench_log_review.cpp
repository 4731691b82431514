// SPDX-License-Identifier: GPL-3.0-or-later
// The review window with one million lines of all twelve channels: what
// loading it costs in memory, a redraw after a zoom and after a pan of the
// whole file (every chart replotted and painted, the statistics of the
// visible range taken again), and what is left once the window is closed.

#include <benchmark/benchmark.h>
#include <qcustomplot.h>

#include <algorithm>
#include <fstream>
#include <memory>

#include "BenchSupport.h"
#include "windows/logreview/frmLogReview.h"

namespace {

using namespace quarnel::bench;

struct Loaded {
    std::unique_ptr<quarnel::frmLogReview> window;
    double peakMb = 0;  // growth of the resident size while loading and drawing
    QCPRange all;       // the whole file's time range
};

Loaded& loaded() {
    static QuietNotifier notifier;
    static NoHost host;
    static Loaded l = [] {
        QApplication& app = application();
        const std::string& path = bigLogPath();
        Loaded l;
        const long start = startPeak();
        l.window = std::make_unique<quarnel::frmLogReview>(QString::fromStdString(path), notifier,
                                                           quarnel::FileChooser(), host);
        l.window->resize(1280, 900);
        l.window->show();
        while (l.window->loading()) app.processEvents(QEventLoop::WaitForMoreEvents);
        app.processEvents();
        app.processEvents();
        l.peakMb = peakGrowthMb(start);
        l.all = l.window->charts().at(0)->xAxis->range();
        return l;
    }();
    return l;
}

// Moves the time axis as the wheel or a drag does, and waits for the charts.
void redraw(const QCPRange& range) {
    QCustomPlot* chart = loaded().window->charts().at(0);
    chart->xAxis->setRange(range);
    chart->replot(QCustomPlot::rpQueuedReplot);
    application().processEvents();
    application().processEvents();
}

void report(benchmark::State& state) {
    state.counters["load_peak_growth_MB"] = loaded().peakMb;
    state.counters["charts"] = double(loaded().window->charts().size());
}

void BM_ReviewZoomFullFile(benchmark::State& state) {
    const QCPRange all = loaded().all;
    bool in = false;
    for (auto _ : state) {
        in = !in;
        redraw(in ? QCPRange(all.lower + all.size() * 0.05, all.upper - all.size() * 0.05) : all);
    }
    report(state);
}
BENCHMARK(BM_ReviewZoomFullFile)->Unit(benchmark::kMillisecond);

void BM_ReviewPanFullFile(benchmark::State& state) {
    const QCPRange all = loaded().all;
    double shift = 0;
    for (auto _ : state) {
        shift = shift == 0 ? all.size() * 0.1 : 0;
        redraw(QCPRange(all.lower + shift, all.upper + shift));
    }
    report(state);
}
BENCHMARK(BM_ReviewPanFullFile)->Unit(benchmark::kMillisecond);

double residentMb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1e3;
    return 0;
}

// Windows of their own opened and closed: the resident size before the
// first, while one is open and after the last (a window gives its columns
// back when it closes).
void BM_ReviewMemoryAfterClose(benchmark::State& state) {
    static QuietNotifier notifier;
    static NoHost host;
    QApplication& app = application();
    const std::string& path = bigLogPath();
    double before = 0, open = 0, closed = 0;
    for (auto _ : state) {
        if (before == 0) before = residentMb();
        auto* window = new quarnel::frmLogReview(QString::fromStdString(path), notifier,
                                                 quarnel::FileChooser(), host);
        window->resize(1280, 900);
        window->show();
        while (window->loading()) app.processEvents(QEventLoop::WaitForMoreEvents);
        app.processEvents();
        open = std::max(open, residentMb());
        delete window;
        app.processEvents();
        closed = residentMb();
    }
    state.counters["rss_before_MB"] = before;
    state.counters["rss_open_MB"] = open;
    state.counters["rss_closed_MB"] = closed;
}
BENCHMARK(BM_ReviewMemoryAfterClose)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The review window with one million lines of all twelve channels: what
// loading it costs in memory, a redraw after a zoom and after a pan of the
// whole file (every chart replotted and painted, the statistics of the
// visible range taken again), and what is left once the window is closed.
// Then a log eight times that long: from opening to its first chart on the
// screen, and the peak resident size of the whole program meanwhile.

#include <benchmark/benchmark.h>
#include <qcustomplot.h>

#include <algorithm>
#include <filesystem>
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

// Sees the first chart painted with the data in it.
class FirstPaint : public QObject {
  public:
    bool painted = false;
    double loadedPeakMb = 0;  // when the file was read, before the charts were made
    void watch(quarnel::frmLogReview* window) {
        connect(window, &quarnel::frmLogReview::loadFinished, this, [this, window] {
            loadedPeakMb = peakMb();
            if (window->charts().empty()) return;
            QCustomPlot* chart = window->charts().front();
            connect(chart, &QCustomPlot::afterReplot, this, [this, chart] {
                if (!replotted_) chart->installEventFilter(this);
                replotted_ = true;
            });
        });
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }

  private:
    bool replotted_ = false;
};

void BM_ReviewFirstChartHugeLog(benchmark::State& state) {
    static QuietNotifier notifier;
    static NoHost host;
    QApplication& app = application();
    const std::string& path = bigLogPath(kHugeLogLines);
    double peak = 0, base = 0, loaded = 0;
    for (auto _ : state) {
        state.PauseTiming();
        base = double(startPeak()) / 1e3;
        state.ResumeTiming();
        FirstPaint first;
        auto window = std::make_unique<quarnel::frmLogReview>(
            QString::fromStdString(path), notifier, quarnel::FileChooser(), host);
        first.watch(window.get());
        window->resize(1280, 900);
        window->show();
        while (!first.painted) app.processEvents(QEventLoop::WaitForMoreEvents);
        state.PauseTiming();
        if (window->charts().size() != 3) state.SkipWithError("the log was not shown whole");
        peak = std::max(peak, peakMb());
        loaded = std::max(loaded, first.loadedPeakMb);
        window.reset();
        app.processEvents();
        state.ResumeTiming();
    }
    state.counters["peak_MB"] = peak;         // of the whole program
    state.counters["base_MB"] = base;         // before the window opened
    state.counters["read_peak_MB"] = loaded;  // until the file was read
    state.counters["file_MB"] = double(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_ReviewFirstChartHugeLog)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// File > Open Log...: a log of three runs in a review window, its charts,
// cursor readout and statistics; a file that is no log gets no window.

#include <qcustomplot.h>

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <cmath>

#include "gui/app/AppTestSupport.h"
#include "monitor/LogFile.h"
#include "windows/logreview/ColumnTrace.h"
#include "windows/logreview/frmLogReview.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

// Run 1: Internal and Vdd at 1 s; run 2: Ain1 in degrees F's company of
// VARNO, at 0.5 s; run 3: Vdd only.
void writeLog(const QString& path) {
    std::string text;
    const std::array<std::array<bool, kLogChannelCount>, 3> sets{
        {{true, false, true},
         {false, false, false, true, false, false, false, true},
         {false, false, true}}};
    const int intervals[] = {1000, 500, 1000};
    for (int run = 0; run < 3; ++run) {
        text += LogPreamble() + BuildLogHeader(sets[run], run == 1) + kLineEnd;
        for (int i = 0; i < 5; ++i) {
            CurrentReadings r{};
            r.InternalTemp = 20.0f + float(i), r.Vdd = 3.0f + float(i) / 10, r.Ain1 = float(run);
            r.VarnoTemp = 70.0f;
            text += BuildLogLine(sets[run], intervals[run], i, r) + kLineEnd;
        }
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.data(), qint64(text.size()));
}

}  // namespace

class LogReviewTest : public QObject {
    Q_OBJECT
  private slots:
    void opensALogOfThreeRunsWithChartsReadoutAndStatistics() {
        QString chosen;
        HarnessOptions options;
        options.profileDialogs.chooseOpen = [&](QWidget*, const QString&, const QString&,
                                                const QString& filter) -> std::optional<QString> {
            if (!filter.startsWith(QLatin1String("CSV log files (*.csv)"))) return std::nullopt;
            return chosen;
        };
        AppHarness h(options);
        chosen = h.file("three.csv");
        writeLog(chosen);
        QVERIFY(h.app->StartApplication());
        const int before = int(h.main().mdiArea()->subWindowList().size());
        h.main().findChild<QAction*>("mnuOpenLog")->trigger();
        h.main().findChild<QAction*>("mnuOpenLog")->trigger();  // several may be open
        QCOMPARE(int(h.main().mdiArea()->subWindowList().size()), before + 2);
        auto* w = qobject_cast<frmLogReview*>(h.main().mdiArea()->activeSubWindow()->widget());
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QString("three.csv"));
        QTRY_VERIFY_WITH_TIMEOUT(!w->loading(), 60000);

        auto* runs = w->findChild<QListWidget*>("lstRuns");
        QCOMPARE(runs->count(), 4);
        QCOMPARE(runs->item(2)->text(), QString("Run 2: 5 lines, 2 channels, \u00B0F"));
        QCOMPARE(w->charts().size(), size_t(3));  // temperatures, Vdd, Ain
        // All runs one after another: run 2 starts after run 1's 4 s and a step.
        bool found = false;
        QCOMPARE(w->charts()[2]->plottable(0)->getKeyRange(found).lower, 5.0);

        w->setCursorTime(2.0);
        QVERIFY(w->readoutText().contains("<b>Time 2 s</b>"));
        QVERIFY(
            w->readoutText().contains("<td>Internal(°C)</td><td>22</td><td>20</td><td>24</td>"
                                      "<td>22</td>"));
        w->charts()[0]->xAxis->setRange(0.5, 2.5);  // the others follow
        QCOMPARE(w->charts()[1]->xAxis->range().lower, 0.5);
        QVERIFY(
            w->readoutText().contains("<td>Internal(°C)</td><td>22</td><td>21</td><td>22</td>"
                                      "<td>21.5</td>"));
        w->findChild<QCheckBox*>("chkShow_0")->setChecked(false);
        QVERIFY(!w->readoutText().contains("Internal"));

        runs->setCurrentRow(3);  // Vdd only: one chart
        QCOMPARE(w->charts().size(), size_t(1));
        QVERIFY(h.notifier.messages.empty());
    }

    void statisticsFromBlockSummariesMatchEverySampleWalked() {
        // Two runs of 1000 samples with a NaN: ranges inside one block, on
        // block edges, across both runs and beyond them.
        QCustomPlot plot;
        std::vector<double> time(1000);
        std::vector<float> a(1000), b(1000);
        for (size_t i = 0; i < time.size(); ++i)
            time[i] = double(i) / 10, a[i] = 10 * float(std::sin(double(i))), b[i] = float(i % 7);
        a[300] = NAN;
        auto* trace = new ColumnTrace(plot.xAxis, plot.yAxis);
        trace->addSegment(time, a, 0);
        trace->addSegment(time, b, 100);
        for (const auto& [lower, upper] : {std::pair{0.0, 99.9},
                                           {0.05, 25.55},
                                           {25.6, 51.2},
                                           {13.35, 113.35},
                                           {-5.0, 250.0},
                                           {99.95, 99.99}}) {
            double lo = INFINITY, hi = -INFINITY, sum = 0;
            int64_t n = 0;
            for (size_t i = 0; i < 2 * time.size(); ++i) {
                const double t = time[i % 1000] + (i < 1000 ? 0 : 100);
                const float v = i < 1000 ? a[i] : b[i - 1000];
                if (t < lower || t > upper || std::isnan(v)) continue;
                lo = std::min(lo, double(v)), hi = std::max(hi, double(v)), sum += v, ++n;
            }
            const ColumnTrace::Statistics got = trace->statistics(lower, upper);
            QCOMPARE(got.count, n);
            if (n) QVERIFY(got.min == lo && got.max == hi && std::abs(got.sum - sum) < 1e-6);
        }
        QCOMPARE(trace->valueAt(120.06), 5.0);  // the nearest sample: b[201]
    }

    void aFileThatIsNoLogGetsAMessageAndNoWindow() {
        AppHarness h;
        QVERIFY(h.app->StartApplication());
        const QString path = h.file("notes.csv");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("name,value\r\nspeed,3\r\n");
        file.close();
        const auto windows = h.main().mdiArea()->subWindowList().size();
        QVERIFY(!h.main().openLogFile(path));
        QCOMPARE(h.main().mdiArea()->subWindowList().size(), windows);
        QCOMPARE(h.notifier.messages.size(), size_t(1));
        QVERIFY(h.notifier.messages[0].text.find("notes.csv is not a QUARNEL log file") !=
                std::string::npos);
    }
};

QUARNEL_APP_TEST_MAIN(LogReviewTest)
#include "tst_logreview.moc"

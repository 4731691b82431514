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
#include "widgets/ReadableColour.h"
#include "windows/logreview/ColumnTrace.h"
#include "windows/logreview/frmLogReview.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

using Sets = std::vector<std::array<bool, kLogChannelCount>>;
// Run 1: Internal and Vdd at 1 s; run 2: Ain1 in degrees F's company of
// VARNO, at 0.5 s; run 3: Vdd only.
const Sets kThreeRuns = {{true, false, true},
                         {false, false, false, true, false, false, false, true},
                         {false, false, true}};

void writeLog(const QString& path, const Sets& sets = kThreeRuns) {
    std::string text;
    const int intervals[] = {1000, 500, 1000};
    for (size_t run = 0; run < sets.size(); ++run) {
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

// A channel's statistics row, its cells joined by blanks.
QString row(frmLogReview* w, const QString& channel) {
    auto* table = w->findChild<QTableWidget*>("tblStatistics");
    const auto found = table->findItems(channel, Qt::MatchExactly);
    QStringList cells;
    for (int c = 0; !found.isEmpty() && c < table->columnCount(); ++c)
        cells << table->item(found[0]->row(), c)->text();
    return cells.join(' ');
}

bool laidOut(frmLogReview* w) {
    for (QCustomPlot* chart : w->charts())
        if (chart->axisRect()->height() < 40) return false;
    return !w->charts().empty();
}

// Value ticks at least a label's height apart.
bool ticksApart(QCustomPlot* chart) {
    const QVector<double> ticks = chart->yAxis->tickVector();
    const double line = QFontMetricsF(chart->yAxis->tickLabelFont()).height();
    for (qsizetype i = 1; i < ticks.size(); ++i)
        if (chart->yAxis->coordToPixel(ticks[i - 1]) - chart->yAxis->coordToPixel(ticks[i]) < line)
            return false;
    return ticks.size() > 1;
}

// The focus leaves and comes back, as around a file dialog or at start-up.
void activateAgain(QWidget* main) {
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(other.isActiveWindow());
    main->activateWindow();
    QTRY_VERIFY(main->isActiveWindow());
}

// A log written and opened in the program, started if need be; its window once loaded.
frmLogReview* openLog(AppHarness& h, const Sets& sets = kThreeRuns) {
    const QString path = h.file("log.csv");
    writeLog(path, sets);
    if ((!h.app->mainWindow() && !h.app->StartApplication()) || !h.main().openLogFile(path))
        return nullptr;
    auto* w = h.main().findChildren<frmLogReview*>().last();
    return QTest::qWaitFor([w] { return !w->loading(); }, 30000) ? w : nullptr;
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

        // One time is one x in every chart.
        QTRY_VERIFY(laidOut(w) &&
                    w->charts()[0]->axisRect()->left() == w->charts()[1]->axisRect()->left() &&
                    w->charts()[0]->axisRect()->left() == w->charts()[2]->axisRect()->left() &&
                    w->charts()[0]->axisRect()->right() == w->charts()[2]->axisRect()->right());
        w->setCursorTime(2.0);
        QCOMPARE(row(w, "Internal(°C)"), QString("Internal(°C) 22 20 24 22"));
        w->setCursorTime(7.0);  // in run 2: no Internal(°C) sample there
        QCOMPARE(row(w, "Internal(°C)"), QString("Internal(°C) \u2013 20 24 22"));
        QCOMPARE(row(w, "Ain1(V)"), QString("Ain1(V) 1 1 1 1"));
        QAccessibleInterface* ain = QAccessible::queryAccessibleInterface(w->charts()[2]);
        QCOMPARE(ain->text(QAccessible::Value), QString("Time 7 s; Ain1(V) 1"));
        QVERIFY(ain->text(QAccessible::Description).startsWith("Time 7 s; Ain1(V) 1. "));
        QCOMPARE(ain->valueInterface()->currentValue().toDouble(), 7.0);
        w->setCursorTime(2.0);
        w->charts()[0]->xAxis->setRange(0.5, 2.5);  // the others follow
        QCOMPARE(w->charts()[1]->xAxis->range().lower, 0.5);
        QCOMPARE(row(w, "Internal(°C)"), QString("Internal(°C) 22 21 22 21.5"));
        w->findChild<QCheckBox*>("chkShow_0")->setChecked(false);
        QVERIFY(row(w, "Internal(°C)").isEmpty());
        QCOMPARE(w->charts()[0]->legend->itemCount(), 1);          // VARNO alone
        w->findChild<QCheckBox*>("chkShow_2")->setChecked(false);  // Vdd: its chart goes
        QVERIFY(w->charts()[1]->isHidden() && !w->charts()[2]->isHidden());

        runs->setCurrentRow(3);  // Vdd only: one chart
        QCOMPARE(w->charts().size(), size_t(1));
        QVERIFY(h.notifier.messages.empty());
    }

    void statisticsFromBlockSummariesMatchEverySampleWalked() {
        // Two runs of 1000 samples with a NaN: ranges inside one block, on
        // block edges, across both runs and beyond them.
        // The first run in floats (as a column turns, with a NaN), the second in codes.
        QCustomPlot plot;
        std::vector<double> time(1000);
        std::vector<float> a(1000), b(1000);
        LogTimes times;
        LogValues floats, codes;
        for (size_t i = 0; i < time.size(); ++i) {
            time[i] = double(i) / 10, b[i] = float(i % 7);
            a[i] = i == 300 ? NAN : 10 * float(std::sin(double(i)));
            times.push_back(time[i]);
            floats.push_back({0, -1, a[i]});
            codes.push_back({int64_t(i % 7), 0});
        }
        auto* trace = new ColumnTrace(plot.xAxis, plot.yAxis);
        trace->addSegment(times, floats, 0);
        trace->addSegment(times, codes, 100);
        QVERIFY(!floats.coded() && codes.coded());
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

    void aNewWindowComesToTheFrontAndItsMenuCopiesTheChartWithoutTheCursor() {
        AppHarness h;  // the help window in front, as at start-up
        QVERIFY(h.app->StartApplication());
        h.main().openWindow(ToolWindow::Help);
        activateAgain(&h.main());
        frmLogReview* w = openLog(h);
        QVERIFY(w);
        activateAgain(&h.main());
        QMdiSubWindow* top = h.main().mdiArea()->subWindowList(QMdiArea::StackingOrder).last();
        QCOMPARE(top->widget(), w);
        QCOMPARE(h.main().mdiArea()->activeSubWindow(), top);
        QCustomPlot* chart = w->charts()[0];
        QTRY_VERIFY(laidOut(w));
        w->setCursorTime(2.0);
        chart->setFocus();
        QTest::keyClick(chart, Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        auto* copy = chart->findChild<QAction*>("actCopyImage");
        QVERIFY(QApplication::activePopupWidget()->actions().contains(copy));
        QVERIFY(copy->shortcut() == QKeySequence::Copy && copy->isShortcutVisibleInContextMenu());
        QApplication::activePopupWidget()->close();
        copy->trigger();
        const QImage image = QApplication::clipboard()->image();
        w->setCursorTime(3.0);
        copy->trigger();
        QCOMPARE(QApplication::clipboard()->image(), image);  // no cursor line in either
        const QRect legend = chart->legend->outerRect();      // its box's right and bottom lines
        const QColor box = chart->legend->borderPen().color();
        QCOMPARE(image.pixelColor(legend.x() + legend.width(), legend.center().y()), box);
        QCOMPARE(image.pixelColor(legend.center().x(), legend.y() + legend.height()), box);
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(0, 0), QPoint(0, 0));
        QApplication::sendEvent(chart, &menuKey);
        QTRY_VERIFY(QApplication::activePopupWidget());
    }

    void keysZoomPanFitAndStepTheCursor_data() {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QList<double>>("expected");  // time range and cursor
        QTest::newRow("zoom in around the cursor") << QStringList{"+"} << QList<double>{1, 3, 2};
        QTest::newRow("zoom out") << QStringList{"-"} << QList<double>{-2, 6, 2};
        QTest::newRow("pan") << QStringList{"Shift+Right"} << QList<double>{0.4, 4.4, 2};
        QTest::newRow("fit all") << QStringList{"+", "Shift+Left", "Ctrl+0"}
                                 << QList<double>{0, 4, 2};
        QTest::newRow("next sample") << QStringList{"Right"} << QList<double>{0, 4, 3};
        QTest::newRow("out of view")
            << QStringList{"+", "+", "Left", "Left", "Left"} << QList<double>{0, 1, 0};
        QTest::newRow("a tenth") << QStringList{"Ctrl+Right"} << QList<double>{0, 4, 2.4};
        QTest::newRow("a tenth out of view")
            << QStringList{"+",         "+",         "Ctrl+Left", "Ctrl+Left",
                           "Ctrl+Left", "Ctrl+Left", "Ctrl+Left", "Ctrl+Left"}
            << QList<double>{1.4, 2.4, 1.4};
        QTest::newRow("a page, the view along")
            << QStringList{"+", "PgDown"} << QList<double>{3, 5, 4};
        QTest::newRow("no page past the end")
            << QStringList{"PgDown", "PgDown"} << QList<double>{2, 6, 4};
        QTest::newRow("first sample") << QStringList{"+", "Home"} << QList<double>{0, 2, 0};
        QTest::newRow("last sample") << QStringList{"End"} << QList<double>{0, 4, 4};
    }
    void keysZoomPanFitAndStepTheCursor() {
        QFETCH(QStringList, keys);
        QFETCH(QList<double>, expected);
        AppHarness h;
        frmLogReview* w = openLog(h);
        QVERIFY(w);
        w->showRun(0);  // 0 to 4 s, a sample a second
        w->setCursorTime(2.0);
        QCustomPlot* chart = w->charts()[1];
        chart->setFocus();
        QTRY_VERIFY(chart->hasFocus());
        for (const QString& key : keys) QTest::keySequence(chart, QKeySequence(key));
        const QCPRange range = w->charts()[0]->xAxis->range();
        const QList<double> got{range.lower, range.upper, w->cursorTime()};
        for (qsizetype i = 0; i < got.size(); ++i)
            QVERIFY2(std::abs(got[i] - expected[i]) < 1e-9, qPrintable(QString::number(got[i])));
    }

    void tabGoesOnceRoundEveryControl() {
        AppHarness h;
        frmLogReview* w = openLog(h);
        QVERIFY(w);
        QStringList order{"pltGroup_0", "pltGroup_1", "pltGroup_2", "lstRuns"};
        for (QCheckBox* box : w->findChildren<QCheckBox*>())
            if (box->isVisibleTo(w)) order << box->objectName();
        order << "tblStatistics"
              << "cmdFit"
              << "pltGroup_0";
        w->charts()[0]->setFocus();
        QTRY_VERIFY(w->charts()[0]->hasFocus());
        for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
            QStringList visited{QApplication::focusWidget()->objectName()};
            while (visited.size() < order.size()) {
                QTest::keyClick(QApplication::focusWidget(), key);
                visited << QApplication::focusWidget()->objectName();
            }
            QCOMPARE(visited, order);
            std::reverse(order.begin(), order.end());
        }
    }

    void tracesOfAChartStandOutAndApart_data() {
        QTest::addColumn<QPalette>("palette");
        QPalette dark(QColor(66, 66, 69), QColor(34, 32, 32));  // a desktop's darker scheme
        dark.setColor(QPalette::Base, QColor(61, 61, 61));
        dark.setColor(QPalette::Text, Qt::white);
        QTest::newRow("light") << QApplication::style()->standardPalette();
        QTest::newRow("dark") << dark;
    }
    void tracesOfAChartStandOutAndApart() {
        QFETCH(QPalette, palette);
        std::array<bool, kLogChannelCount> all{};
        all.fill(true);
        AppHarness h;
        frmLogReview* w = openLog(h, {all, all});  // every channel, temperatures in both units
        QVERIFY(w);
        QApplication::setPalette(palette);
        QApplication::sendPostedEvents();
        for (QCustomPlot* chart : w->charts()) {
            const QColor ground = chart->toPixmap().toImage().pixelColor(1, 1);
            for (int i = 0; i < chart->plottableCount(); ++i) {
                const QPen pen = chart->plottable(i)->pen();
                QVERIFY(ContrastRatio(pen.color(), ground) >= kGraphicContrast);
                for (int j = 0; j < i; ++j) {
                    const QPen other = chart->plottable(j)->pen();
                    QVERIFY2(pen.style() != other.style() ||
                                 ColourDifference(pen.color(), other.color()) >= kDistinctColours,
                             qPrintable(chart->plottable(i)->name() + u'/' +
                                        chart->plottable(j)->name()));
                }
            }
        }
        QApplication::setPalette(QApplication::style()->standardPalette());
    }

    void aCancelledLoadClosesItsWindowAndSaysSo() {
        AppHarness h;
        QVERIFY(h.app->StartApplication());
        const QString path = h.file("long.csv");
        writeLog(path);
        QVERIFY(QFile::resize(path, qint64(1) << 32));  // a long hole: the load takes a while
        const auto windows = h.main().mdiArea()->subWindowList().size();
        QVERIFY(h.main().openLogFile(path));
        h.main().findChild<QAbstractButton*>("cmdCancel")->click();
        QTRY_COMPARE(h.main().mdiArea()->subWindowList().size(), windows);
        QCOMPARE(h.main().statusBar()->currentMessage(), QString("Loading long.csv cancelled."));
    }

    void aLargerFontScrollsTheStatisticsAndSpacesTheValueTicks() {
        const QFont before = QApplication::font();
        QFont larger = before;
        larger.setPointSizeF(before.pointSizeF() * 1.5);
        QApplication::setFont(larger);
        std::array<bool, kLogChannelCount> all{};
        all.fill(true);
        AppHarness h;
        QVERIFY(h.app->StartApplication());
        h.main().resize(1600, 1200);               // room for the larger window
        frmLogReview* w = openLog(h, {all, all});  // 15 rows: temperatures in both units
        QVERIFY(w);
        auto* table = w->findChild<QTableWidget*>("tblStatistics");
        QTRY_COMPARE(table->rowCount(), 15);
        for (QCustomPlot* chart : w->charts()) QTRY_VERIFY(ticksApart(chart));
        h.main().resize(1000, 700);  // a new window fits in the workspace
        frmLogReview* second = openLog(h);
        QVERIFY(second && second->parentWidget()->width() <= h.main().mdiArea()->width());
        w->parentWidget()->resize(988, 668);  // made small: the table scrolls
        QTRY_VERIFY(table->verticalScrollBar()->isVisible());
        QApplication::setFont(before);
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

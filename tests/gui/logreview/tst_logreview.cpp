// File > Open Log...: a log of three runs in a review window, its charts,
// cursor readout and statistics; a file that is no log gets no window.

#include <qcustomplot.h>

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "gui/app/AppTestSupport.h"
#include "monitor/LogFile.h"
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
        QTRY_VERIFY(!w->loading());

        auto* runs = w->findChild<QListWidget*>("lstRuns");
        QCOMPARE(runs->count(), 4);
        QCOMPARE(runs->item(2)->text(), QString("Run 2: 5 lines, 2 channels, \u00B0F"));
        QCOMPARE(w->charts().size(), size_t(3));  // temperatures, Vdd, Ain
        // All runs one after another: run 2 starts after run 1's 4 s and a step.
        QCOMPARE(w->charts()[2]->graph(0)->data()->begin()->key, 5.0);

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

// SPDX-License-Identifier: GPL-3.0-or-later
// The board's cable pulled while the program logs: the code-3 message, every
// window closed through its own close handling, the placement saved, and the
// log file holding every line written before, each whole.

#include <QFileInfo>
#include <QMdiArea>
#include <QPointer>

#include "gui/app/AppTestSupport.h"
#include "gui/reliability/ReliabilitySupport.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

constexpr int kIntervalMs = 50;
constexpr int kGoodTicks = 300;  // 3 s of polling before the cable goes
constexpr ToolWindow kOpened[] = {ToolWindow::Graphs, ToolWindow::Help, ToolWindow::RegMap,
                                  ToolWindow::Limits, ToolWindow::Logging};

// The program started with its own windows, the logging, register map and
// limits windows opened next to the graphs and help windows, and a log started.
struct LoggingProgram {
    explicit LoggingProgram(std::optional<int> cableAfter) {
        HarnessOptions options;
        options.faults.cableAfter = cableAfter;
        options.createWindow = realWindowsAnswering(answer);
        h = std::make_unique<AppHarness>(options);
        logPath = h->file("logs/run.csv");
        QDir().mkpath(h->file("logs"));
        answer = logPath;
    }
    bool start() {
        if (!h->app->StartApplication()) return false;
        frmMain& main = h->main();
        for (ToolWindow which : {ToolWindow::RegMap, ToolWindow::Limits, ToolWindow::Logging})
            main.openWindow(which);
        logging = openForm(main, ToolWindow::Logging);
        if (!logging) return false;
        checked = startLoggingThroughWindow(logging, QString::number(kIntervalMs));
        return h->app->worker().session().logging.LoggingActive;
    }

    std::optional<QString> answer;
    std::unique_ptr<AppHarness> h;
    QString logPath;
    QPointer<QWidget> logging;
    int checked = 0;
};

}  // namespace

class CableWhileLoggingTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { clearSettings(); }

    void cablePulledMidLog_closesEverythingAndKeepsEveryLine() {
        // The requests made up to the start of the log, on a board that never fails.
        int setupRequests = 0;
        {
            LoggingProgram probe(std::nullopt);
            QVERIFY(probe.start());
            setupRequests = probe.h->counting->requests;
        }
        clearSettings();

        // Two reads a tick: the cable goes in the first read of tick kGoodTicks + 1.
        LoggingProgram program(setupRequests + 2 * kGoodTicks);
        QVERIFY(program.start());
        AppHarness& h = *program.h;
        QCOMPARE(h.counting->requests, setupRequests);
        frmMain& main = h.main();
        const Session& session = h.app->worker().session();
        const SharedFlags& flags = h.app->feed().flags();
        QVERIFY(!storedSetting(keys::kMainLeft));
        std::vector<QPointer<QWidget>> forms;
        for (ToolWindow which : kOpened) {
            forms.emplace_back(openForm(main, which));
            QVERIFY(forms.back());
        }
        QVERIFY(flags.GraphsWindowOpen && flags.RegMapWindowOpen && flags.LimitsWindowOpen);

        int ticks = 0;
        bool failed = false;
        while (!failed && ticks < kGoodTicks + 10) {
            failed = !tick(h.clock, *h.app);
            ++ticks;
        }
        QVERIFY(failed);
        QCOMPARE(ticks, kGoodTicks + 1);
        const int64_t written = session.logging.LoggedCount;
        // One line every 60 ms (the interval must be exceeded), the first at once.
        QVERIFY2(written >= kGoodTicks / 6, qPrintable(QString::number(written)));

        QCOMPARE(h.notifier.messages.size(), size_t(1));
        QCOMPARE(h.notifier.messages[0].text,
                 std::string("Communications Interrupted - Check USB connections"));
        QCOMPARE(h.endStatuses, std::vector<int>{kExitLinkFailure});
        QVERIFY(main.closed());
        QVERIFY(!main.isVisible());
        for (const QPointer<QWidget>& form : forms) QVERIFY(!form || form->isHidden());
        for (ToolWindow which : kOpened) QVERIFY(!main.subWindow(which));
        QVERIFY(main.mdiArea()->subWindowList().isEmpty());
        // Each window's own close handling ran.
        QVERIFY(!flags.GraphsWindowOpen && !flags.RegMapWindowOpen && !flags.LimitsWindowOpen);
        QVERIFY(storedSetting(keys::kMainLeft).has_value());
        QVERIFY(storedSetting(keys::kMainWidth).has_value());
        QCOMPARE(storedSetting(keys::kDisplayHelp), QString("True"));

        const QString problem =
            checkLogFile(program.logPath, written, program.checked + 1, kIntervalMs);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));

        // Nothing more reaches the file, whatever still calls in.
        const qint64 size = QFileInfo(program.logPath).size();
        h.clock.advance(1.0);
        h.app->worker().step();
        QCOMPARE(QFileInfo(program.logPath).size(), size);
        QCOMPARE(h.notifier.messages.size(), size_t(1));
        QCOMPARE(h.endStatuses.size(), size_t(1));
    }
};

QUARNEL_APP_TEST_MAIN(CableWhileLoggingTest)
#include "tst_cablewhilelogging.moc"

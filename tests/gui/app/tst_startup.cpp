// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up against the simulated board: splash, connection sequence, the
// board worker's first tick, the help window, start-up failures before the
// event loop, and a stop request during the start-up.

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStatusBar>

#include "gui/app/AppTestSupport.h"
#include "link/LinkFailure.h"
#include "windows/help/frmHelp.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

// Records what lblProgInfo shows each time it is painted, and the bar's width.
class SplashWatcher : public QObject {
  public:
    QStringList texts;
    QList<int> barWidths;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->objectName() == "lblProgInfo") {
            const QString text = static_cast<QLabel*>(watched)->text();
            if (texts.isEmpty() || texts.last() != text) texts << text;
        }
        if (event->type() == QEvent::Resize && watched->objectName() == "lblProgress")
            barWidths << static_cast<QWidget*>(watched)->width();
        return false;
    }
};

// After a failure the worker is done: a step sends nothing to the board.
bool noMoreTicks(AppHarness& h) {
    const int sent = h.counting->requests;
    h.app->worker().step();
    return h.app->worker().failed() && h.counting->requests == sent;
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { clearSettings(); }

    void splashWindowLayout() {
        QString status;
        frmSplash splash([&](const QString& text) { status = text; });
        QCOMPARE(splash.pos(), QPoint(133, 133));  // 2000 twips
        QCOMPARE(splash.findChild<QLabel*>("lblProductName")->text(),
                 QString("QUARNEL Evaluation Software"));
        QCOMPARE(splash.findChild<QLabel*>("lblProductName")->font().family(),
                 QString("Times New Roman"));
        QCOMPARE(splash.findChild<QLabel*>("lblVersion")->text(),
                 QString("Version ") + kAppVersion);
        QCOMPARE(splash.findChild<QLabel*>("lblPlatform")->text(), QString("Windows XP/2000"));
        auto* bar = splash.findChild<QLabel*>("lblProgress");
        auto* info = splash.findChild<QLabel*>("lblProgInfo");
        QVERIFY(bar->isHidden());
        QVERIFY(info->isHidden());
        QCOMPARE(bar->geometry(), QRect(64, 248, 361, 17));  // 960, 3720, 5415 x 255 twips

        // The unit comes from the design width in twips; only drawing uses pixels.
        QCOMPARE(splash.initialBarWidthTwips(), 5415);
        QCOMPARE(ProgressUnit(splash.initialBarWidthTwips()), 54);
        splash.showProgress();
        splash.setBarWidthTwips(33 * 54);
        QCOMPARE(splash.barWidthTwips(), 1782.0);
        QCOMPARE(bar->width(), 119);
        splash.setStatusText("Firmware download succesful");
        QCOMPARE(status, QString("Firmware download succesful"));

        // The rectangle around the bar: (960, 3720) to (6360, 3960) twips.
        QRect box;
        for (const char* name : {"Line1", "Line2", "Line3", "Line4"})
            box |= splash.findChild<QWidget*>(name)->geometry();
        QCOMPARE(box, QRect(QPoint(64, 248), QPoint(424, 264)));
    }

    void startsWithTheSplashTextsInOrder() {
        AppHarness h;
        SplashWatcher watcher;
        qApp->installEventFilter(&watcher);
        const bool started = h.app->StartApplication();
        qApp->removeEventFilter(&watcher);
        QVERIFY(started);

        QCOMPARE(watcher.texts,
                 QStringList({"Downloading Firmware...", "Enumerating...", "Connecting...",
                              "Searching for QUARNEL on USB...", "Found an QUARNEL at 48h"}));
        QVERIFY(!watcher.barWidths.isEmpty());
        QCOMPARE(watcher.barWidths.last(), 360);  // 100 U = 5400 twips

        frmMain& main = h.main();
        QCOMPARE(board::kTickSeconds, 0.01);
        QVERIFY(!h.app->worker().running());  // no thread in tests: the test steps it
        QCOMPARE(main.windowTitle(), QString("QUARNEL Evaluation Software"));
        QVERIFY(main.isVisible());
        QVERIFY(main.windowState() & Qt::WindowMaximized);
        QCOMPARE(h.app->splash(), nullptr);
        QCOMPARE(main.statusText(), QString("Firmware download succesful"));
        QCOMPARE(h.app->worker().session().link.DeviceAddress, 0x48);
        QCOMPARE(h.app->worker().session().ChipName, std::string("QUARNEL"));
        QVERIFY(h.notifier.messages.empty());
        QVERIFY(h.endStatuses.empty());

        // The graphs window, then help (DisplayHelp absent: shown).
        QVERIFY(main.subWindow(ToolWindow::Graphs));
        QVERIFY(main.subWindow(ToolWindow::Help));
        QVERIFY(h.app->feed().flags().ShowHelpAtStartup);
        QCOMPARE(main.mdiArea()->activeSubWindow(), main.subWindow(ToolWindow::Help));

        // The first tick takes a reading and sets the idle status text.
        h.clock.advance(1.0);  // the chip converts in the meantime
        const int before = h.counting->requests;
        h.app->worker().step();
        QCOMPARE(h.counting->requests - before, 2);
        QCOMPARE(main.statusText(), QString("Status"));
        QVERIFY(h.app->feed().readings().readings.InternalTemp > 10.0f);
    }

    void chipAtAnotherAddressAndHelpSwitchedOff() {
        AppSettings().setValue(keys::kDisplayHelp, "False");
        HarnessOptions options;
        options.chipAddress = 0x4A;
        AppHarness h(options);
        SplashWatcher watcher;
        qApp->installEventFilter(&watcher);
        QVERIFY(h.app->StartApplication());
        qApp->removeEventFilter(&watcher);
        QCOMPARE(watcher.texts.last(), QString("Found an QUARNEL at 4Ah"));
        QCOMPARE(h.app->worker().session().link.DeviceAddress, 0x4A);
        QVERIFY(!h.app->feed().flags().ShowHelpAtStartup);
        QCOMPARE(h.main().subWindow(ToolWindow::Help), nullptr);
        QVERIFY(h.main().subWindow(ToolWindow::Graphs));
    }

    void firmwareFailureEndsBeforeTheEventLoop() {
        HarnessOptions options;
        options.faults.firmwareFails = true;
        AppHarness h(options);
        QVERIFY(!h.app->StartApplication());

        QCOMPARE(h.notifier.messages.size(), size_t(1));
        QCOMPARE(h.notifier.messages[0].text,
                 std::string("Firmware failed to download - Check USB connections"));
        QCOMPARE(h.notifier.messages[0].icon, Notifier::Icon::Error);
        QCOMPARE(h.endStatuses, std::vector<int>{3});
        QCOMPARE(h.app->exitStatus(), 3);
        QVERIFY(h.main().closed());
        QVERIFY(noMoreTicks(h));
        QVERIFY(h.app->splash() && !h.app->splash()->isVisible());
        QVERIFY(storedSetting(keys::kMainLeft).has_value());  // the close handling ran
    }

    void busSelectionFailingTwentyTimesIsCodeTwo() {
        HarnessOptions options;
        options.faults.failingBusSelections = 20;
        AppHarness h(options);
        QVERIFY(!h.app->StartApplication());
        QCOMPARE(h.notifier.messages.size(), size_t(1));
        QCOMPARE(h.notifier.messages[0].text, LinkFailureMessage(kConnectionFailed));
        QCOMPARE(h.endStatuses, std::vector<int>{3});
        QVERIFY(noMoreTicks(h));
    }

    void busSelectionSucceedingOnTheTwentiethAttemptConnects() {
        HarnessOptions options;
        options.faults.failingBusSelections = 19;
        AppHarness h(options);
        QVERIFY(h.app->StartApplication());
        QVERIFY(h.notifier.messages.empty());
    }

    // A stop request (a signal the program serves while its worker connects) at
    // any step of the start-up ends it there: status 0, no window, and nothing
    // more reaches the board, neither its firmware nor a request.
    void aStopDuringTheStartUpSendsNothingMore_data() {
        QTest::addColumn<QString>("at");
        QTest::addColumn<bool>("quick");
        for (const bool quick : {true, false})
            for (const char* at : {"Downloading Firmware...", "Enumerating...", "Connecting...",
                                   "Searching for QUARNEL on USB...", "Found an QUARNEL at 48h"})
                QTest::addRow("%s%s", at, quick ? " quick" : "") << QString(at) << quick;
    }
    void aStopDuringTheStartUpSendsNothingMore() {
        QFETCH(QString, at);
        QFETCH(bool, quick);
        HarnessOptions options;
        options.quick = quick;
        AppHarness h(options);
        std::optional<std::pair<int, bool>> sent;  // requests and firmware at the stop
        connect(&h.app->feed(), &BoardFeed::startupStep, this, [&](const board::StartupStep& s) {
            if (sent || QString::fromStdString(s.text) != at) return;
            sent.emplace(h.counting->requests, h.board->firmwareRunning());
            h.app->requestClose();
        });
        QVERIFY(!h.app->StartApplication());
        QVERIFY(sent);
        QCOMPARE(std::pair(h.counting->requests, h.board->firmwareRunning()), *sent);
        QCOMPARE(h.app->exitStatus(), 0);
        QVERIFY(h.main().closed() && !h.main().isVisible());
        QVERIFY(h.main().mdiArea()->subWindowList().isEmpty());
        QVERIFY(h.notifier.messages.empty() && h.endStatuses.empty());
    }
};

QUARNEL_APP_TEST_MAIN(StartupTest)
#include "tst_startup.moc"

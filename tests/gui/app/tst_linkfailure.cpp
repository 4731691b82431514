// SPDX-License-Identifier: GPL-3.0-or-later
// A register access failing while the program runs (the simulated board's
// cable pulled): one message of code 3, every window closed through its own
// close handling, the placement saved, the process ended with status 3.

#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStatusBar>

#include "gui/app/AppTestSupport.h"
#include "link/LinkFailure.h"

using namespace quarnel;
using namespace quarnel::test;

class LinkFailureTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { clearSettings(); }

    void cablePulledMidRun() {
        // How many requests the start-up makes on this board.
        int startupRequests = 0;
        {
            AppHarness probe;
            QVERIFY(probe.app->StartApplication());
            startupRequests = probe.counting->requests;
        }
        QVERIFY(startupRequests > 0);
        clearSettings();

        HarnessOptions options;
        options.faults.cableAfter = startupRequests + 2;  // one good tick, then the cable
        AppHarness h(options);
        QVERIFY(h.app->StartApplication());
        frmMain& main = h.main();
        main.openWindow(ToolWindow::About);
        QVERIFY(main.subWindow(ToolWindow::Help));  // opened at start-up
        QVERIFY(!storedSetting(keys::kDisplayHelp));
        QVERIFY(!storedSetting(keys::kMainLeft));

        h.app->worker().step();
        QVERIFY(h.notifier.messages.empty());
        QVERIFY_THROWS_EXCEPTION(LinkFailure, h.app->worker().step());  // its first read fails

        QCOMPARE(h.notifier.messages.size(), size_t(1));
        QCOMPARE(h.notifier.messages[0].text,
                 std::string("Communications Interrupted - Check USB connections"));
        QCOMPARE(h.notifier.messages[0].icon, Notifier::Icon::Error);
        QCOMPARE(h.endStatuses, std::vector<int>{3});
        QVERIFY(h.app->worker().failed());
        QVERIFY(main.closed());
        QVERIFY(!main.isVisible());
        for (QMdiSubWindow* sub : main.mdiArea()->subWindowList()) QVERIFY(sub->isHidden());
        // Each window's own close handling ran: help wrote its choice, the
        // main window its placement.
        QCOMPARE(storedSetting(keys::kDisplayHelp), QString("True"));
        QVERIFY(storedSetting(keys::kMainLeft).has_value());
        QVERIFY(storedSetting(keys::kMainHeight).has_value());

        // No tick reaches the board any more, and a further failure while (or
        // after) handling shows nothing more.
        const int sent = h.counting->requests;
        h.app->worker().step();
        QCOMPARE(h.counting->requests, sent);
        h.app->HandleLinkFailure(kCommsInterrupted);
        QCOMPARE(h.notifier.messages.size(), size_t(1));
        QCOMPARE(h.endStatuses.size(), size_t(1));
    }

    // With reconnection on, a board pulled and plugged back is no failure: the
    // status bar tells when it was lost and the next try, no reading is shown while
    // it is away, and the program goes on once it is back.
    void aBoardPulledAndBackWithReconnectionOn() {
        HarnessOptions options;
        options.reconnect = true;
        options.faults.replug = std::pair{1.0, 2.5};
        AppHarness h(options);
        QVERIFY(h.app->StartApplication());
        auto* status = h.main().findChild<QLabel*>("sbPanel_1");
        QStringList seen;
        bool readingShownWhileLost = false;
        BoardFeed& feed = h.app->feed();
        connect(&feed, &BoardFeed::reconnecting, status, [&] {
            seen << status->text();
            readingShownWhileLost |= feed.readings().readings.Taken != 0 || !feed.boardDown();
        });
        bool back = false;
        connect(&feed, &BoardFeed::reconnected, status, [&] { back = true; });
        QVERIFY(h.app->worker().run([&] { return back || h.clock.monotonic() > 60; }, 0.01));
        QVERIFY(back);
        QVERIFY(h.notifier.messages.empty());
        QVERIFY(h.endStatuses.empty());
        QVERIFY(!h.main().closed());
        QVERIFY(!readingShownWhileLost);
        QCOMPARE(seen.value(0), "Board lost at 14:05:30; next try at 14:05:31");
        QCOMPARE(h.main().statusBar()->currentMessage(),
                 "Board back at 14:05:30 (lost at 14:05:30)");
        const int sent = h.counting->requests;
        h.clock.advance(0.01);
        h.app->worker().step();
        QVERIFY(h.counting->requests > sent);
    }

    void aWindowsCloseHandlingSendsNothingAfterTheFailure() {
        // A window that reads the chip when it closes, on a board whose cable
        // is pulled right after the start-up.
        struct ReadsOnClose : QWidget {
            explicit ReadsOnClose(BoardFeed& f) : feed(f) {
                connect(&feed, &BoardFeed::registerValues, this, [this] { ++values; });
            }
            void closeEvent(QCloseEvent* event) override {
                ++closes;
                feed.post(board::ReadRegisters{feed.newTicket(), {0x18}});
                event->accept();
            }
            BoardFeed& feed;
            int closes = 0, values = 0;
        };
        int startupRequests = 0;
        {
            AppHarness probe;
            QVERIFY(probe.app->StartApplication());
            startupRequests = probe.counting->requests;
        }
        clearSettings();
        QPointer<ReadsOnClose> window;
        HarnessOptions options;
        options.faults.cableAfter = startupRequests;
        options.createWindow = [&](ToolWindow which, const WindowContext& c) -> CreatedWindow {
            if (which != ToolWindow::Config) return {};
            window = new ReadsOnClose(c.feed);
            return {window};
        };
        AppHarness h(options);
        QVERIFY(h.app->StartApplication());
        h.main().openWindow(ToolWindow::Config);
        QVERIFY(window);

        QVERIFY_THROWS_EXCEPTION(LinkFailure, h.app->worker().step());
        QCOMPARE(h.notifier.messages.size(), size_t(1));
        QCOMPARE(window->closes, 1);
        // The failed read alone reached the board: the window's came after the failure.
        QCOMPARE(h.counting->requests, startupRequests + 1);
        QCOMPARE(window->values, 0);
        QCOMPARE(h.endStatuses, std::vector<int>{3});
        QVERIFY(h.main().closed());
        QVERIFY(storedSetting(keys::kMainLeft).has_value());
    }

    // A failure the worker reports after the user closed the main window (its
    // tick was under way, or its event still queued) changes nothing.
    void aFailureAfterTheUserClosedChangesNothing_data() {
        QTest::addColumn<bool>("fromATick");
        QTest::newRow("a tick") << true;
        QTest::newRow("a queued event") << false;
    }
    void aFailureAfterTheUserClosedChangesNothing() {
        QFETCH(bool, fromATick);
        HarnessOptions options;
        {
            AppHarness probe;
            QVERIFY(probe.app->StartApplication());
            options.faults.cableAfter = probe.counting->requests;  // pulled after the start-up
        }
        AppHarness h(options);
        QVERIFY(h.app->StartApplication());
        h.main().close();
        QVERIFY(h.main().closed());
        if (fromATick)
            QVERIFY_THROWS_EXCEPTION(LinkFailure, h.app->worker().step());
        else
            h.app->feed().deliver(board::LinkFailed{kCommsInterrupted});
        QVERIFY(h.notifier.messages.empty());
        QVERIFY(h.endStatuses.empty());
        QCOMPARE(h.app->exec(), 0);
    }

    void boardHeldByAnotherProgramSaysSoUnderDetails() {
        TempDir other;
        HarnessOptions options;
        options.statePath = other.file("board.json");
        sim::SimOptions held;
        held.statePath = options.statePath;
        ManualClock clock;
        sim::SimulatedBoard holder(held, clock);  // holds the board
        AppHarness h(options);
        QVERIFY(!h.app->StartApplication());
        QCOMPARE(h.notifier.messages.at(0).text,
                 std::string("Firmware failed to download - Check USB connections"));
        QVERIFY(h.notifier.messages[0].details.find("in use by another program") !=
                std::string::npos);
    }
};

QUARNEL_APP_TEST_MAIN(LinkFailureTest)
#include "tst_linkfailure.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// A register access failing while the program runs (the simulated board's
// cable pulled): one message of code 3, every window closed through its own
// close handling, the placement saved, the process ended with status 3.

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

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

        main.tmrMaster_Timer();
        QVERIFY(h.notifier.messages.empty());
        main.tmrMaster_Timer();  // its first read fails

        QCOMPARE(h.notifier.messages.size(), size_t(1));
        QCOMPARE(h.notifier.messages[0].text,
                 std::string("Communications Interrupted - Check USB connections"));
        QCOMPARE(h.notifier.messages[0].icon, Notifier::Icon::Error);
        QCOMPARE(h.endStatuses, std::vector<int>{3});
        QVERIFY(!main.tmrMaster.isActive());
        QVERIFY(main.closed());
        QVERIFY(!main.isVisible());
        for (QMdiSubWindow* sub : main.mdiArea()->subWindowList()) QVERIFY(sub->isHidden());
        // Each window's own close handling ran: help wrote its choice, the
        // main window its placement.
        QCOMPARE(storedSetting(keys::kDisplayHelp), QString("True"));
        QVERIFY(storedSetting(keys::kMainLeft).has_value());
        QVERIFY(storedSetting(keys::kMainHeight).has_value());

        // A further failure while (or after) handling shows nothing more.
        main.tmrMaster_Timer();
        QCOMPARE(h.notifier.messages.size(), size_t(1));
        QCOMPARE(h.endStatuses.size(), size_t(1));
    }

    void secondFailureInAWindowsCloseHandlingIsIgnored() {
        // A window that reads the chip when it closes, on a board whose cable
        // is pulled right after the start-up.
        struct ReadsOnClose : QWidget {
            explicit ReadsOnClose(Session& s) : session(s) {}
            void closeEvent(QCloseEvent* event) override {
                ++closes;
                // Caught here: an exception crossing Qt's event delivery skips its
                // cleanup there (LeakSanitizer reports the QPointers it held).
                try {
                    session.link.ReadRegister(session.link.DeviceAddress, 0x18);
                } catch (const LinkFailure&) {
                    ++failures;
                }
                event->accept();
            }
            Session& session;
            int closes = 0, failures = 0;
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
            window = new ReadsOnClose(c.session);
            return {window};
        };
        AppHarness h(options);
        QVERIFY(h.app->StartApplication());
        h.main().openWindow(ToolWindow::Config);
        QVERIFY(window);

        h.main().tmrMaster_Timer();
        QCOMPARE(h.notifier.messages.size(), size_t(1));
        QCOMPARE(window->closes, 1);
        QCOMPARE(window->failures, 1);  // reported to the window, not shown again
        QCOMPARE(h.endStatuses, std::vector<int>{3});
        QVERIFY(h.main().closed());
        QVERIFY(storedSetting(keys::kMainLeft).has_value());
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

// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: placement in the settings store, menus, toolbar, status
// bar, opening windows without duplicates, routing to the open windows, and
// SIGTERM closing it like its close box.

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QToolBar>
#include <csignal>

#include "app/Platform.h"
#include "app/SignalBridge.h"
#include "gui/app/AppTestSupport.h"
#include "windows/graphs/frmGraphing.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

void deleteClosed() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QAction* action(QWidget& window, const char* name) {
    auto* found = window.findChild<QAction*>(name);
    if (!found) qFatal("no action %s", name);
    return found;
}

int subWindowCount(frmMain& main) {
    int count = 0;
    for (QMdiSubWindow* sub : main.mdiArea()->subWindowList()) count += sub->isHidden() ? 0 : 1;
    return count;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        clearSettings();
        AppSettings().setValue(keys::kDisplayHelp, "False");
    }

    void placementDefaultsOnAnEmptyStore() {
        clearSettings();
        AppHarness h;
        QVERIFY(h.app->StartApplication());
        frmMain& main = h.main();
        const QRect normal = main.normalGeometry();
        QCOMPARE(normal.topLeft(), QPoint(67, 67));  // 1000 twips
        // 6500 twips, unless the menus and panels need more.
        QCOMPARE(normal.size(), QSize(433, 433).expandedTo(main.minimumSize()));
    }

    void placementRoundTripAndNothingSavedWhenMinimised() {
        {
            AppSettings settings;
            settings.setValue(keys::kMainLeft, "1500");
            settings.setValue(keys::kMainTop, "1200");
            settings.setValue(keys::kMainWidth, "10500");
            settings.setValue(keys::kMainHeight, "9000");
        }
        {
            AppHarness h;
            QVERIFY(h.app->StartApplication());
            QCOMPARE(h.main().normalGeometry(), QRect(100, 80, 700, 600));
            h.main().showNormal();
            h.main().move(200, 150);
            h.main().close();
            QVERIFY(h.main().closed());
        }

        QCOMPARE(storedSetting(keys::kMainLeft), QString("3000"));
        QCOMPARE(storedSetting(keys::kMainTop), QString("2250"));
        QCOMPARE(storedSetting(keys::kMainWidth), QString("10500"));
        QCOMPARE(storedSetting(keys::kMainHeight), QString("9000"));

        {
            AppHarness h;
            QVERIFY(h.app->StartApplication());
            h.main().showMinimized();
            h.main().move(400, 300);
            h.main().close();
        }
        QCOMPARE(storedSetting(keys::kMainLeft), QString("3000"));
        QCOMPARE(storedSetting(keys::kMainTop), QString("2250"));
    }

    void unusablePlacementsAreRepaired() {
        {
            AppSettings settings;
            settings.setValue(keys::kMainLeft, "9000000");  // a screen that is gone
            settings.setValue(keys::kMainTop, "-9000000");
            settings.setValue(keys::kMainWidth, "not a number");
            settings.setValue(keys::kMainHeight, "-300");
        }
        AppHarness h;
        QVERIFY(h.app->StartApplication());
        const QRect normal = h.main().normalGeometry();
        QCOMPARE(normal.topLeft(), QGuiApplication::primaryScreen()->availableGeometry().topLeft());
        QCOMPARE(normal.height(), 433);
    }

    void placementsBeyondTheScreenAreBroughtOnIt() {
        const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
        // Huge; title bar off the top left; a huge size below the top edge.
        for (const auto& [place, size] :
             {std::pair{"1e9", "1e9"}, {"-3000", "-3000"}, {"1000", "1e9"}}) {
            for (const char* key : {keys::kMainLeft, keys::kMainTop})
                AppSettings().setValue(key, place);
            for (const char* key : {keys::kMainWidth, keys::kMainHeight})
                AppSettings().setValue(key, size);
            AppHarness h;
            QVERIFY(h.app->StartApplication());
            QVERIFY2(avail.contains(h.main().normalGeometry()), place);  // the whole frame
        }
    }

    void startUpWindowsArePlacedInTheFinalWorkspace() {
        AppSettings().setValue(keys::kDisplayHelp, "True");
        HarnessOptions options;
        options.fakeWindows = false;
        AppHarness h(options);
        QVERIFY(h.app->StartApplication());
        QVERIFY(QTest::qWaitForWindowExposed(&h.main()));
        const QRect area = h.main().mdiArea()->viewport()->rect();
        QVERIFY(area.width() > 433);  // maximised
        QVERIFY(area.contains(h.main().subWindow(ToolWindow::Graphs)->geometry()));
        // The help window, centred where it can be, leaves the graphs' newest samples clear.
        auto* graphs = h.main().subWindow(ToolWindow::Graphs)->widget();
        const QRect newest = qobject_cast<frmGraphing*>(graphs)->newestSamplesArea().translated(
            graphs->mapTo(h.main().mdiArea()->viewport(), QPoint()));
        QVERIFY(!newest.isEmpty());
        QVERIFY(!h.main().subWindow(ToolWindow::Help)->geometry().intersects(newest));
    }

    void openLogStartsWhereTheLastLogWas() {
        QStringList starts;
        HarnessOptions options;
        options.profileDialogs.chooseOpen = [&](QWidget*, auto&, const QString& dir, auto&) {
            starts << dir;
            return std::optional(QDir::temp().filePath("elsewhere.csv"));
        };
        AppHarness h(options);
        QVERIFY(h.app->StartApplication());
        for (int i = 0; i < 2; ++i) h.main().mnuOpenLog_Click();
        QCOMPARE(starts, QStringList({h.binDir, QDir::tempPath()}));
    }

    void menusToolbarAndStatusBar() {
        AppHarness h;
        QVERIFY(h.app->StartApplication());
        frmMain& main = h.main();

        QStringList titles;
        for (QAction* top : main.menuBar()->actions()) titles << top->text();
        QCOMPARE(titles, QStringList({"&File", "&View", "&Settings", "&Window", "A&bout"}));
        QCOMPARE(main.findChild<QMenu*>("mnuFile")->title(), QString("&File"));
        QCOMPARE(main.findChild<QMenu*>("mnuDevice")->title(), QString("&Settings"));
        const std::pair<const char*, const char*> items[] = {{"mnuLog", "&Log Data"},
                                                             {"mnuRegMap", "&Register Map"},
                                                             {"mnuGraphs", "&Graphs"},
                                                             {"mnuInterrupt", "&Interrupts"},
                                                             {"mnuConfig", "&Device Configuration"},
                                                             {"mnuAbout", "A&bout"}};
        for (const auto& [name, text] : items) QCOMPARE(action(main, name)->text(), QString(text));
        QCOMPARE(main.findChild<QMenu*>("mnuView")->actions(),
                 QList<QAction*>({action(main, "mnuRegMap"), action(main, "mnuGraphs"),
                                  action(main, "mnuInterrupt")}));
        QList<QAction*> commands = main.findChild<QToolBar*>("tbToolBar")->actions();
        for (QAction* top : main.menuBar()->actions()) {
            commands << top;
            if (top->menu()) commands << top->menu()->actions();
        }
        // File > Exit alone has a key, Ctrl+Q: without a window manager it is the way out.
        for (QAction* any : commands)
            QVERIFY2(any->shortcut().isEmpty() || any == action(main, "mnuExit"),
                     qPrintable(any->objectName()));
        QCOMPARE(action(main, "mnuExit")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
        // Every menu command has an access key of its own within its menu.
        QList<QList<QAction*>> menus{main.menuBar()->actions()};
        for (QAction* top : main.menuBar()->actions())
            if (top->menu() && top->objectName() != "mnuWindow") menus << top->menu()->actions();
        for (const QList<QAction*>& menu : menus) {
            QSet<QKeySequence> keys;
            for (QAction* item : menu) keys << QKeySequence::mnemonic(item->text());
            QVERIFY(!keys.contains(QKeySequence()) && keys.size() == menu.size());
        }

        auto* toolbar = main.findChild<QToolBar*>("tbToolBar");
        QStringList keys, tips;
        for (QAction* button : toolbar->actions()) {
            keys << button->objectName();
            tips << button->toolTip();
            QVERIFY(!button->icon().isNull());
        }
        QCOMPARE(keys, QStringList({"Save", "Config", "Graphs", "Tree", "Interrupts"}));
        QCOMPARE(tips, QStringList({"Log Data", "Configure the Device", "Temperature/Fan graphs",
                                    "Register Map Tree", "Interrupts/Limits"}));

        QCOMPARE(main.findChild<QLabel*>("sbPanel_1")->text(),
                 QString("Firmware download succesful"));
        QCOMPARE(main.findChild<QLabel*>("sbPanel_2")->text(),
                 QLocale().toString(QDate(2024, 3, 9), QLocale::ShortFormat));
        QCOMPARE(main.findChild<QLabel*>("sbPanel_3")->text(),
                 QLocale().toString(QTime(14, 5, 30), QLocale::ShortFormat));
        QCOMPARE(main.findChild<QLabel*>("sbPanel_4")->text(), QString("Simulated board"));
        // The ticks' texts and the windows' own, in turns; a tick without one leaves it.
        for (const char* text : {"Status", "Status", "Data Logging Enabled"}) {
            board::Readings tick;
            tick.status = text;
            h.app->feed().deliver(tick);
            QCOMPARE(main.statusText(), QString(text));
            static_cast<WindowHost&>(main).SetStatusText("Data Logging Enabled");
            QCOMPARE(main.findChild<QLabel*>("sbPanel_1")->text(), QString("Data Logging Enabled"));
            h.app->feed().deliver(board::Readings{});
            QCOMPARE(main.statusText(), QString("Data Logging Enabled"));
        }
        // The clock panel is as wide as its text from the start.
        auto* clock = main.findChild<QLabel*>("sbPanel_3");
        QVERIFY(clock->minimumWidth() >= clock->sizeHint().width());
    }

    void commandsOpenEachWindowOnceAndBringItToTheFront() {
        AppHarness h;
        QVERIFY(h.app->StartApplication());
        frmMain& main = h.main();
        QCOMPARE(h.factory.created[ToolWindow::Graphs], 1);  // opened by the start-up

        const std::pair<const char*, ToolWindow> menu[] = {
            {"mnuLog", ToolWindow::Logging},   {"mnuRegMap", ToolWindow::RegMap},
            {"mnuGraphs", ToolWindow::Graphs}, {"mnuInterrupt", ToolWindow::Limits},
            {"mnuConfig", ToolWindow::Config}, {"mnuAbout", ToolWindow::About}};
        for (const auto& [name, which] : menu) {
            action(main, name)->trigger();
            action(main, name)->trigger();
            QVERIFY2(main.subWindow(which), name);
            QCOMPARE(main.mdiArea()->activeSubWindow(), main.subWindow(which));
            QCOMPARE(h.factory.created[which], 1);
        }
        QCOMPARE(subWindowCount(main), 6);

        const std::pair<const char*, ToolWindow> toolbar[] = {{"Save", ToolWindow::Logging},
                                                              {"Config", ToolWindow::Config},
                                                              {"Graphs", ToolWindow::Graphs},
                                                              {"Tree", ToolWindow::RegMap},
                                                              {"Interrupts", ToolWindow::Limits}};
        for (const auto& [key, which] : toolbar) {
            action(main, key)->trigger();
            QCOMPARE(main.mdiArea()->activeSubWindow(), main.subWindow(which));
        }
        main.tbToolBar_ButtonClick("NoSuchKey");
        QCOMPARE(subWindowCount(main), 6);
        for (const auto& [key, which] : toolbar) QCOMPARE(h.factory.created[which], 1);

        // A closed window is created afresh.
        main.subWindow(ToolWindow::Graphs)->close();
        deleteClosed();
        QCOMPARE(main.subWindow(ToolWindow::Graphs), nullptr);
        action(main, "Graphs")->trigger();
        QVERIFY(main.subWindow(ToolWindow::Graphs));
        QCOMPARE(h.factory.created[ToolWindow::Graphs], 2);
    }

    void windowMenuListsAndActivatesTheOpenWindows() {
        AppHarness h;
        QVERIFY(h.app->StartApplication());
        frmMain& main = h.main();
        action(main, "mnuRegMap")->trigger();
        auto* windowMenu = main.findChild<QMenu*>("mnuWindow");
        emit windowMenu->aboutToShow();
        const QList<QAction*> entries = windowMenu->actions();
        QCOMPARE(entries.size(), 2);
        QVERIFY(entries[0]->text().endsWith(main.subWindow(ToolWindow::Graphs)->windowTitle()));
        QVERIFY(entries[1]->isChecked());  // the register map is active
        entries[0]->trigger();
        QCOMPARE(main.mdiArea()->activeSubWindow(), main.subWindow(ToolWindow::Graphs));
    }

    void theProgramsOwnFactoryNeverOpensTwoCopies() {
        HarnessOptions options;
        options.fakeWindows = false;
        AppHarness h(options);
        QVERIFY(h.app->StartApplication());
        frmMain& main = h.main();
        for (const char* name :
             {"mnuLog", "mnuRegMap", "mnuGraphs", "mnuInterrupt", "mnuConfig", "mnuAbout"}) {
            const int before = subWindowCount(main);
            action(main, name)->trigger();
            const int opened = subWindowCount(main) - before;
            QVERIFY2(opened == 0 || opened == 1, name);  // windows still to come do nothing
            action(main, name)->trigger();
            QCOMPARE(subWindowCount(main) - before, opened);
        }
        QVERIFY(main.subWindow(ToolWindow::About));
    }

    void ticksAndHooksReachTheOpenWindows() {
        AppHarness h;
        QVERIFY(h.app->StartApplication());
        frmMain& main = h.main();
        BoardFeed& feed = h.app->feed();
        board::BoardWorker& worker = h.app->worker();
        for (const char* name : {"mnuRegMap", "mnuInterrupt", "mnuLog"})
            action(main, name)->trigger();
        auto* graphs = dynamic_cast<FakeGraphs*>(main.subWindow(ToolWindow::Graphs)->widget());
        auto* regmap = dynamic_cast<FakeRegMap*>(main.subWindow(ToolWindow::RegMap)->widget());
        auto* limits = dynamic_cast<FakeLimits*>(main.subWindow(ToolWindow::Limits)->widget());
        auto* logging = dynamic_cast<FakeLogging*>(main.subWindow(ToolWindow::Logging)->widget());
        QVERIFY(graphs && regmap && limits && logging);

        // Every tick's readings reach the polled windows, stamped with the time of
        // day their refresh rates go by; the watched register is read every 0.5 s.
        regmap->watch(0x18);
        for (double step : {0.0, 0.2}) {
            h.clock.advance(step);
            worker.step();
            for (FakePolled* polled : std::initializer_list<FakePolled*>{graphs, limits}) {
                QCOMPARE(polled->readings.size(), size_t(step > 0 ? 2 : 1));
                QCOMPARE(polled->readings.back().timeOfDay, h.clock.timeOfDay());
            }
            QCOMPARE(regmap->reads, 1);
        }

        // The register-written handler's layouts go to the open windows, and the
        // temperature unit reaches the worker's readings.
        feed.post(board::WriteRegister{0x18, 0x09});
        QCOMPARE(graphs->layouts, 1);
        QCOMPARE(limits->layouts, 1);
        feed.setShowFahrenheit(true);
        worker.step();
        QVERIFY(limits->readings.back().fahrenheit && graphs->readings.back().fahrenheit);
        board::StartLogging start{feed.newTicket(), h.file("run.log").toStdString()};
        start.channels.fill(true);
        feed.post(start);
        QVERIFY(feed.logging().LoggingActive);
        feed.post(board::StopLogging{feed.newTicket()});
        QCOMPARE(logging->stops, 1);

        // Closed windows get nothing, the register map's watch ends with it, and
        // nothing fails.
        const QPointer<QWidget> closedGraphs(graphs), closedRegMap(regmap);
        main.subWindow(ToolWindow::Graphs)->close();
        main.subWindow(ToolWindow::RegMap)->close();
        deleteClosed();
        QVERIFY(!closedGraphs && !closedRegMap);
        QVERIFY(!feed.flags().GraphsWindowOpen && !feed.flags().RegMapWindowOpen);
        h.clock.advance(1.0);
        const int before = h.counting->requests;
        worker.step();
        QCOMPARE(h.counting->requests - before, 2);  // the tick's reading alone
        feed.post(board::WriteRegister{0x18, 0x09});
        QCOMPARE(limits->layouts, 2);
    }

    void sigtermClosesTheMainWindowLikeItsCloseBox() {
        AppHarness h;
        SignalBridge bridge;
        connect(&bridge, &SignalBridge::terminateRequested, this, [&] { h.app->requestClose(); });
        QVERIFY(h.app->StartApplication());
        h.main().showNormal();
        QVERIFY(!storedSetting(keys::kMainLeft));
        std::raise(SIGTERM);
        for (int i = 0; i < 20 && !h.main().closed(); ++i) QCoreApplication::processEvents();
        QVERIFY(h.main().closed());
        QVERIFY(!h.main().isVisible());
        QCOMPARE(subWindowCount(h.main()), 0);
        QVERIFY(storedSetting(keys::kMainLeft).has_value());
        QVERIFY(h.notifier.messages.empty());
        QCOMPARE(h.app->exitStatus(), 0);
    }

    // Start Logging's file dialog or a message box open: nothing deleted under the
    // handler that opened it, nobody has to press OK, the placement saved.
    void endWhileADialogRuns() {
        for (int row : {0, 1, 2}) {
            const bool fileDialog = row == 0;
            const int status = row == 2 ? 3 : 0;  // else SIGTERM
            clearSettings();
            bool stuck = false, windowSurvived = !fileDialog;
            std::unique_ptr<AppHarness> h;
            const auto endInside = [&] {  // then a look whether that ended the dialog
                QTimer::singleShot(0, [&] {
                    status ? h->app->HandleLinkFailure(status) : h->app->requestClose();
                    QTimer::singleShot(0, [&] {
                        if (QWidget* open = QApplication::activeModalWidget())
                            stuck = open->close();
                    });
                });
            };
            HarnessOptions options;
            options.fakeWindows = false;
            options.createWindow = [&](ToolWindow which, WindowContext c) {
                c.chooseFile = [&](QWidget* parent, auto&&...) -> std::optional<QString> {
                    QPointer<QWidget> window(parent);
                    QPointer<QDialog> dialog = new QDialog(parent);  // as QFileDialog runs one
                    endInside();
                    dialog->exec();
                    delete dialog;
                    windowSurvived = window;
                    return std::nullopt;
                };
                return CreateToolWindow(which, c);
            };
            h = std::make_unique<AppHarness>(options);
            QVERIFY(h->app->StartApplication());
            QTimer::singleShot(0, [&] {
                if (!fileDialog) return endInside(), QtNotifier().message("", Notifier::Icon::None);
                h->main().openWindow(ToolWindow::Logging);
                QMdiSubWindow* logging = h->main().subWindow(ToolWindow::Logging);
                logging->findChild<QCheckBox*>("chkLog_0")->setChecked(true);
                logging->findChild<QPushButton*>("cmdLog")->click();
            });
            QCOMPARE(h->app->exec(), status);
            QVERIFY(!stuck && windowSurvived && h->main().closed());
            QVERIFY(storedSetting(keys::kMainLeft).has_value());
        }
    }

    void aCloseBeforeTheMainLoopEndsTheProgram() {
        // As a signal inside the box of a log named on the command line: the
        // window closes before the main loop runs.
        AppHarness h;
        QVERIFY(h.app->StartApplication());
        h.app->requestClose();
        QVERIFY(h.main().closed());
        QTimer::singleShot(60000, [] { QCoreApplication::exit(99); });  // a hang fails
        QCOMPARE(h.app->exec(), 0);
    }

    void signalDuringTheSettlingDelaysEndsTheStartUp() {
        HarnessOptions options;
        options.quick = false;
        AppHarness h(options);
        SignalBridge bridge;
        connect(&bridge, &SignalBridge::terminateRequested, this, [&] { h.app->requestClose(); });
        // The program's event loop serves the signal while its worker connects; here
        // the worker runs on the test's thread, so each start-up step gives it a turn.
        connect(&h.app->feed(), &BoardFeed::startupStep, this,
                [] { QCoreApplication::processEvents(); });
        std::raise(SIGINT);
        QVERIFY(!h.app->StartApplication());
        QCOMPARE(h.app->exitStatus(), 0);
        QVERIFY(h.clock.monotonic() < 0.1);  // the first delay woke; all of them take 4.9 s
        QVERIFY(h.main().closed());
    }
};

QUARNEL_APP_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program as the window tests start it: the simulated board on a state
// file of its own, a manual clock, recorded messages, URLs and the process
// end, and a settings store in a private XDG_CONFIG_HOME.

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "app/Application.h"
#include "link/BoardLink.h"
#include "link/Clock.h"
#include "sim/SimulatedBoard.h"
#include "support/CountingBoard.h"
#include "support/RecordingNotifier.h"
#include "support/TempDir.h"
#include "windows/AppSettings.h"
#include "windows/BoardFeed.h"
#include "windows/WindowHost.h"

namespace quarnel::test {

// Settings and board state go to a directory of the test's own, set before
// QApplication or QSettings first look at the environment.
#define QUARNEL_APP_TEST_MAIN(TestClass)                        \
    int main(int argc, char** argv) {                           \
        quarnel::test::TempDir xdg;                             \
        qputenv("XDG_CONFIG_HOME", xdg.file("config").c_str()); \
        qputenv("XDG_STATE_HOME", xdg.file("state").c_str());   \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))     \
            qputenv("QT_QPA_PLATFORM", "offscreen");            \
        QApplication app(argc, argv);                           \
        TestClass test;                                         \
        return QTest::qExec(&test, argc, argv);                 \
    }

inline void clearSettings() {
    QSettings all(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(kAppTitle),
                  QString());
    all.clear();
    all.sync();
}

inline std::optional<QString> storedSetting(const char* key) {
    AppSettings settings;
    const QVariant value = settings.value(QString::fromLatin1(key));
    if (!value.isValid()) return std::nullopt;
    return value.toString();
}

// Stand-ins for the tool windows: they hear the feed as the real windows do and
// note what reached them; the polled ones raise their open flags.
struct FakeWindow : QWidget {
    std::optional<WindowOpenFlag> openFlag;
};
// The graphs or limits window: every tick's readings (the real ones refresh from
// them at their own rate, by the readings' time of day) and the layouts meant for it.
struct FakePolled : FakeWindow {
    FakePolled(BoardFeed& feed, bool limitsWindow) {
        connect(&feed, &BoardFeed::readingsTaken, this,
                [this](const board::Readings& e) { readings.push_back(e); });
        connect(&feed, &BoardFeed::layoutChanged, this,
                [this, limitsWindow](const board::Layout& e) {
                    layouts += limitsWindow ? e.limits : e.graphs;
                });
    }
    std::vector<board::Readings> readings;
    int layouts = 0;
};
struct FakeGraphs : FakePolled {
    explicit FakeGraphs(BoardFeed& feed) : FakePolled(feed, false) {}
};
struct FakeLimits : FakePolled {
    explicit FakeLimits(BoardFeed& feed) : FakePolled(feed, true) {}
};
// Continuous read as the register map does it: the worker reads the watched
// register and answers with this window's ticket; the watch ends with the window.
struct FakeRegMap : FakeWindow {
    explicit FakeRegMap(BoardFeed& f) : feed(f), ticket(f.newTicket()) {
        connect(&feed, &BoardFeed::registerValues, this, [this](const board::RegisterValues& v) {
            if (v.ticket == ticket && v.watched) ++reads;
        });
    }
    void watch(std::optional<int> reg) { feed.post(board::Watch{ticket, reg}); }
    void closeEvent(QCloseEvent* event) override {
        watch(std::nullopt);
        QWidget::closeEvent(event);
    }
    BoardFeed& feed;
    uint64_t ticket;
    int reads = 0;
};
struct FakeLogging : FakeWindow {
    explicit FakeLogging(BoardFeed& feed) {
        connect(&feed, &BoardFeed::loggingChanged, this,
                [this](const board::LoggingChanged& e) { stops += !e.logging.LoggingActive; });
    }
    int stops = 0;
};

// Fakes for the windows of other folders, the real help and About windows.
struct FakeFactory {
    std::map<ToolWindow, int> created;
    WindowFactory make() {
        return [this](ToolWindow which, const WindowContext& context) -> CreatedWindow {
            ++created[which];
            FakeWindow* window = nullptr;
            std::optional<FlaggedWindow> flagged;
            switch (which) {
                case ToolWindow::Graphs:
                    window = new FakeGraphs(context.feed), flagged = FlaggedWindow::Graphs;
                    break;
                case ToolWindow::RegMap:
                    window = new FakeRegMap(context.feed), flagged = FlaggedWindow::RegMap;
                    break;
                case ToolWindow::Limits:
                    window = new FakeLimits(context.feed), flagged = FlaggedWindow::Limits;
                    break;
                case ToolWindow::Logging:
                    window = new FakeLogging(context.feed);
                    break;
                case ToolWindow::Config:
                    window = new FakeWindow;
                    break;
                case ToolWindow::Help:
                case ToolWindow::About:
                    return CreateToolWindow(which, context);
            }
            if (flagged) window->openFlag.emplace(context.feed, *flagged).raise();
            window->setWindowTitle(QStringLiteral("window %1").arg(static_cast<int>(which)));
            window->resize(300, 200);
            return {window};
        };
    }
};

struct HarnessOptions {
    sim::SimFaults faults;
    int chipAddress = 0x48;
    bool fakeWindows = true;     // false: the program's own window factory
    WindowFactory createWindow;  // replaces both when set
    bool quick = true;           // false: the start-up waits its settling delays
    std::string statePath;       // empty: a board state file of the harness's own
    bool reconnect = false;      // a lost board is waited for, not the end
    ProfileDialogs profileDialogs;
};

class AppHarness {
  public:
    explicit AppHarness(HarnessOptions options = {}) {
        std::filesystem::create_directory(dir.path() / "bin");
        binDir = file("bin");
        for (const char* file : {"QUARNELFW.Hex", "MORVANEHelp.htm"})
            QFile::copy(QStringLiteral(QUARNEL_SOURCE_DIR "/resources/") + QLatin1String(file),
                        binDir + QStringLiteral("/") + QLatin1String(file));
        sim::SimOptions simOptions;
        simOptions.statePath =
            options.statePath.empty() ? dir.file("board.json") : options.statePath;
        simOptions.chipAddress = options.chipAddress;
        simOptions.faults = options.faults;
        simOptions.warn = [this](const std::string& text) { warnings.push_back(text); };
        board = std::make_unique<sim::SimulatedBoard>(simOptions, clock);
        counting = std::make_unique<CountingBoard>(*board);

        AppEnvironment env{*counting,
                           clock,
                           notifier,
                           [this](const QUrl& url) { opened.push_back(url); },
                           [](QWidget*, const QString&, const QString&,
                              const QString&) -> std::optional<QString> { return std::nullopt; },
                           binDir};
        env.quick = options.quick;
        env.reconnect = options.reconnect;
        env.profileDialogs = options.profileDialogs;
        env.endProcess = [this](int status) { endStatuses.push_back(status); };
        env.failureDetails = [this] { return warnings.empty() ? std::string() : warnings.back(); };
        if (options.fakeWindows) env.createWindow = factory.make();
        if (options.createWindow) env.createWindow = options.createWindow;
        env.now = [] { return QDateTime(QDate(2024, 3, 9), QTime(14, 5, 30)); };
        app = std::make_unique<Application>(std::move(env));
    }
    ~AppHarness() {
        app.reset();
        // Closed windows are deleted later; nothing may outlive the session.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    frmMain& main() { return *app->mainWindow(); }
    QString file(const char* name) const { return QString::fromStdString(dir.file(name)); }

    TempDir dir;
    QString binDir;
    ManualClock clock{12 * 3600.0};
    RecordingNotifier notifier;
    std::vector<QUrl> opened;
    std::vector<int> endStatuses;
    std::vector<std::string> warnings;
    FakeFactory factory;
    std::unique_ptr<sim::SimulatedBoard> board;
    std::unique_ptr<CountingBoard> counting;
    std::unique_ptr<Application> app;
};

}  // namespace quarnel::test

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program as the window tests start it: the simulated board on a state
// file of its own, a manual clock, recorded messages, URLs and the process
// end, and a settings store in a private XDG_CONFIG_HOME.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>
#include <filesystem>
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

// Stand-ins for the tool windows that count what the main window routes to
// them; the polled ones raise their open flags as the real windows do.
struct FakeWindow : QWidget, ToolView {
    std::optional<WindowOpenFlag> openFlag;
};
struct FakeGraphs : FakeWindow {
    int refreshes = 0, layouts = 0;
    void UpdateGraphingForm() override { ++refreshes; }
    void UpdateGraphsLayout() override { ++layouts; }
};
struct FakeRegMap : FakeWindow {
    bool continuous = false;
    int reads = 0;
    bool ContinuousReadChecked() const override { return continuous; }
    void ContinuousRead() override { ++reads; }
};
struct FakeLimits : FakeWindow {
    int refreshes = 0, layouts = 0;
    void UpdateLimitsForm() override { ++refreshes; }
    void UpdateLimitsLayout() override { ++layouts; }
};
struct FakeLogging : FakeWindow {
    int stops = 0;
    void LoggingStopped() override { ++stops; }
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
                    window = new FakeGraphs, flagged = FlaggedWindow::Graphs;
                    break;
                case ToolWindow::RegMap:
                    window = new FakeRegMap, flagged = FlaggedWindow::RegMap;
                    break;
                case ToolWindow::Limits:
                    window = new FakeLimits, flagged = FlaggedWindow::Limits;
                    break;
                case ToolWindow::Logging:
                case ToolWindow::Config:
                    window = which == ToolWindow::Logging ? new FakeLogging : new FakeWindow;
                    break;
                case ToolWindow::Help:
                case ToolWindow::About:
                    return CreateToolWindow(which, context);
            }
            if (flagged) window->openFlag.emplace(context.session, *flagged).raise();
            window->setWindowTitle(QStringLiteral("window %1").arg(static_cast<int>(which)));
            window->resize(300, 200);
            return {window, window};
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

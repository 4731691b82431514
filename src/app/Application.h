// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's start (splash, main window load, the board worker's connection
// sequence, help), its link-failure handling and its orderly end.

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "app/WindowFactory.h"
#include "app/frmMain.h"
#include "app/splash/frmSplash.h"
#include "board/BoardWorker.h"
#include "device/DeviceState.h"
#include "device/RegisterTable.h"
#include "link/Clock.h"
#include "link/Orvalink.h"
#include "windows/BoardFeed.h"
#include "windows/WindowHost.h"

namespace quarnel {

inline constexpr int kExitLinkFailure = 3;  // the board link failed (as quarnelctl)

struct AppEnvironment {
    Orvalink& board;
    Clock& clock;
    Notifier& notifier;
    UrlOpener openUrl;
    FileChooser chooseFile;
    QString applicationDir;
    bool quick = false;      // skip the start-up settling delays
    std::string firmware{};  // the image to download; empty: the one in applicationDir
    QString boardName = QString::fromLatin1(kSimulatedBoardText);  // the status bar's
    // Ends the process after a link failure; must not return in the program.
    // Tests record the status instead.
    std::function<void(int status)> endProcess{};
    WindowFactory createWindow = CreateToolWindow;
    std::function<QDateTime()> now{};  // status-bar clock; empty: the system's
    // What the board has said (its warnings), for the link-failure box's Show Details.
    std::function<std::string()> failureDetails{};
    // Told the board's own account of a link failure (main: on stderr).
    std::function<void(const std::string&)> tellFailureCause{};
    ProfileDialogs profileDialogs{};  // empty: the register-settings items do nothing
    // The board worker on a thread of its own. Tests leave it off and step the
    // worker by hand on their clock.
    bool threaded = false;
    // A lost board is waited for (the status bar says so) instead of ending the program.
    bool reconnect = false;
};

class Application {
  public:
    explicit Application(AppEnvironment env);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Splash, main window load, the connection sequence (the splash follows its
    // steps), splash closed, main window shown, help window if wanted. False when
    // the program is to end without its event loop (a link failure, or a stop
    // request during start-up); exitStatus() then says how.
    bool StartApplication();
    // Runs the event loop until the main window has closed, then stops the worker.
    int exec();
    int exitStatus() const { return exitStatus_; }

    // A link failure: the message, every window closed, the process ended.
    void HandleLinkFailure(int code);
    // SIGINT/SIGTERM: close the main window as its close box does.
    void requestClose();

    board::BoardWorker& worker() { return worker_; }
    BoardFeed& feed() { return feed_; }
    frmMain* mainWindow() { return main_.get(); }
    frmSplash* splash() { return splash_.get(); }

  private:
    void closeAllWindows();
    // Ends a start-up that a stop request cut short: exit status 0.
    bool endStartup();
    void showStep(const board::StartupStep& step);

    AppEnvironment env_;
    RegisterTable table_;
    BoardFeed feed_;
    board::BoardWorker worker_;
    std::unique_ptr<frmSplash> splash_;
    std::unique_ptr<frmMain> main_;
    bool starting_ = false;
    bool connected_ = false;
    bool startEnded_ = false;  // connected, stopped or failed: the start-up is over
    bool closeRequested_ = false;
    bool handlingFailure_ = false;
    int exitStatus_ = 0;
};

}  // namespace quarnel

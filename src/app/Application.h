// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's start (splash, main window load, help), its link-failure
// handler and its orderly end.

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "app/WindowFactory.h"
#include "app/YieldingClock.h"
#include "app/frmMain.h"
#include "app/splash/frmSplash.h"
#include "device/DeviceState.h"
#include "link/Clock.h"
#include "link/Orvalink.h"
#include "monitor/Session.h"
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
    // Tests record the status instead (the failing call then throws LinkFailure).
    std::function<void(int status)> endProcess{};
    WindowFactory createWindow = CreateToolWindow;
    std::function<QDateTime()> now{};  // status-bar clock; empty: the system's
    // What the board has said (its warnings), for the link-failure box's Show Details.
    std::function<std::string()> failureDetails{};
    ProfileDialogs profileDialogs{};  // empty: the register-settings items do nothing
};

class Application {
  public:
    explicit Application(AppEnvironment env);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Splash, main window load (connection sequence), splash closed, main
    // window shown, help window if wanted. False when the program is to end
    // without its event loop (a link failure, or a stop request during
    // start-up); exitStatus() then says how.
    bool StartApplication();
    // Runs the event loop until the main window has closed.
    int exec();
    int exitStatus() const { return exitStatus_; }

    // The installed link-failure handler.
    void HandleLinkFailure(int code);
    // SIGINT/SIGTERM: close the main window as its close box does.
    void requestClose();

    Session& session() { return session_; }
    frmMain* mainWindow() { return main_.get(); }
    frmSplash* splash() { return splash_.get(); }

  private:
    void closeAllWindows();
    // Ends a start-up that a stop request cut short: exit status 0.
    bool endStartup();

    AppEnvironment env_;
    YieldingClock clock_;  // env_.clock, its waits turning the event loop
    Session session_;
    std::unique_ptr<frmSplash> splash_;
    std::unique_ptr<frmMain> main_;
    bool starting_ = false;
    bool closeRequested_ = false;
    bool handlingFailure_ = false;
    int exitStatus_ = 0;
};

}  // namespace quarnel

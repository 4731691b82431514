// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"

#include <QApplication>
#include <QWidget>

#include "app/ModalLoops.h"
#include "app/Platform.h"
#include "windows/AppSettings.h"

namespace quarnel {

Application::Application(AppEnvironment env)
    : env_(std::move(env)),
      clock_(env_.clock, [this] { return starting_ && closeRequested_; }),
      session_(env_.board, clock_, env_.notifier, [this](int code) { HandleLinkFailure(code); }) {
    session_.link.stopRequested = [this] { return starting_ && closeRequested_; };
    session_.link.FirmwareFile = env_.firmware;
}

Application::~Application() {
    // The windows refer to the session; they go first.
    main_.reset();
    splash_.reset();
}

bool Application::StartApplication() {
    {
        // Shown at start until the user ticks "Don't display this form on start-up".
        AppSettings settings;
        const QString shown =
            settings.value(QString::fromLatin1(keys::kDisplayHelp), QStringLiteral("True"))
                .toString()
                .trimmed();
        session_.setShowHelpAtStartup(shown.compare(QStringLiteral("False"), Qt::CaseInsensitive) !=
                                      0);
    }

    starting_ = true;
    splash_ = std::make_unique<frmSplash>([this](const QString& text) {
        if (main_) main_->SetStatusText(text.toStdString());
    });
    splash_->show();
    splash_->repaint();

    MainWindowDeps deps{session_,   env_.openUrl,     env_.chooseFile, env_.applicationDir,
                        env_.quick, env_.createWindow};
    if (env_.now) deps.now = env_.now;
    deps.boardName = env_.boardName;
    deps.profileDialogs = env_.profileDialogs;
    main_ = std::make_unique<frmMain>(std::move(deps));
    try {
        main_->MDIForm_Load(*splash_);
    } catch (const LinkFailure&) {
        // The handler has shown the message and closed everything.
        starting_ = false;
        return false;
    } catch (const StartupCancelled&) {
        return endStartup();  // a signal during the settling delays
    }
    if (closeRequested_) return endStartup();

    splash_->close();
    splash_.reset();
    starting_ = false;
    main_->show();
    if (session_.flags().ShowHelpAtStartup) main_->openWindow(ToolWindow::Help);
    return true;
}

bool Application::endStartup() {
    splash_->close();
    splash_.reset();
    starting_ = false;
    main_->close();
    exitStatus_ = 0;
    return false;
}

int Application::exec() {
    // A close that came before the main loop (a signal inside the message box of a
    // log named on the command line) has no loop left to end: Qt quits on the last
    // window closed only from inside it.
    if (main_ && main_->closed()) return exitStatus_;
    const int status = QApplication::exec();
    return exitStatus_ != 0 ? exitStatus_ : status;
}

void Application::requestClose() {
    if (starting_) {
        // The load is still running; close once it has returned. A message
        // box it shows (a board that failed) must not wait for OK.
        closeRequested_ = true;
        DismissModalLoops();
        return;
    }
    if (main_) main_->close();
}

void Application::HandleLinkFailure(int code) {
    if (main_) main_->tmrMaster.stop();
    if (handlingFailure_) return;  // one message, one shutdown
    handlingFailure_ = true;
    env_.notifier.detailedMessage(LinkFailureMessage(code), Notifier::Icon::Error,
                                  env_.failureDetails ? env_.failureDetails() : std::string());
    closeAllWindows();
    AppSettings().sync();
    exitStatus_ = kExitLinkFailure;
    if (env_.endProcess)
        env_.endProcess(kExitLinkFailure);
    else
        EndProcessNow(kExitLinkFailure);
}

void Application::closeAllWindows() {
    const auto closeGuarded = [](QWidget* window) {
        try {
            window->close();
        } catch (const LinkFailure&) {
            // A second failure inside a close handler: already being handled.
        }
    };
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != main_.get() && window->isVisible()) closeGuarded(window);
    if (!main_) return;
    try {
        main_->closeAtOnce();
    } catch (const LinkFailure&) {
    }
}

}  // namespace quarnel

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"

#include <QApplication>
#include <QEventLoop>
#include <QWidget>

#include "app/ModalLoops.h"
#include "app/Platform.h"
#include "windows/AppSettings.h"

namespace quarnel {

Application::Application(AppEnvironment env)
    : env_(std::move(env)),
      feed_({[this](board::Command command) { worker_.post(std::move(command)); },
             [this] { return worker_.newTicket(); }}),
      worker_(env_.board, env_.clock, [this](const board::Event& event) { feed_.deliver(event); }) {
    table_.BuildRegisterTable();
    worker_.session().link.FirmwareFile = env_.firmware;
    worker_.setReconnect(env_.reconnect);
    QObject::connect(&feed_, &BoardFeed::linkFailure, &feed_,
                     [this](int code) { HandleLinkFailure(code); });
    QObject::connect(&feed_, &BoardFeed::message, &feed_, [this](const board::Message& m) {
        // Said while the program ends (a failure, a close): nobody to tell.
        if (handlingFailure_ || (main_ && main_->closed())) return;
        env_.notifier.message(m.text, m.icon);
    });
    QObject::connect(&feed_, &BoardFeed::startupStep, &feed_,
                     [this](const board::StartupStep& step) { showStep(step); });
    QObject::connect(&feed_, &BoardFeed::connected, &feed_, [this] {
        connected_ = true;
        startEnded_ = true;
    });
    QObject::connect(&feed_, &BoardFeed::startupStopped, &feed_, [this] { startEnded_ = true; });
}

Application::~Application() {
    worker_.stop();
    // The windows refer to the feed; they go first.
    main_.reset();
    splash_.reset();
}

void Application::showStep(const board::StartupStep& step) {
    using Kind = board::StartupStep::Kind;
    if (step.kind == Kind::Status) {
        if (main_) main_->SetStatusText(step.text);
        if (splash_) splash_->setStatusText(step.text);
        return;
    }
    if (!splash_) return;
    switch (step.kind) {
        case Kind::ShowProgress:
            splash_->showProgress();
            break;
        case Kind::Bar:
            splash_->setBarWidthTwips(step.barTwips);
            break;
        default:
            splash_->setProgressText(step.text);
            break;
    }
}

bool Application::StartApplication() {
    {
        // Shown at start until the user ticks "Don't display this form on start-up".
        AppSettings settings;
        const QString shown =
            settings.value(QString::fromLatin1(keys::kDisplayHelp), QStringLiteral("True"))
                .toString()
                .trimmed();
        feed_.setShowHelpAtStartup(shown.compare(QStringLiteral("False"), Qt::CaseInsensitive) !=
                                   0);
    }

    starting_ = true;
    splash_ = std::make_unique<frmSplash>([this](const QString& text) {
        if (main_) main_->SetStatusText(text.toStdString());
    });
    splash_->show();
    splash_->repaint();

    MainWindowDeps deps{feed_,           env_.notifier,       table_,           env_.openUrl,
                        env_.chooseFile, env_.applicationDir, env_.createWindow};
    if (env_.now) deps.now = env_.now;
    deps.boardName = env_.boardName;
    deps.profileDialogs = env_.profileDialogs;
    main_ = std::make_unique<frmMain>(std::move(deps));
    main_->MDIForm_Load();

    const int barTwips = splash_->initialBarWidthTwips();
    if (env_.threaded) {
        worker_.start(env_.applicationDir.toStdString(), env_.quick, barTwips);
        // The splash and a signal are served while the board connects.
        QEventLoop wait;
        const auto ended = [&wait, this] {
            if (startEnded_ || handlingFailure_) wait.quit();
        };
        const auto c1 = QObject::connect(&feed_, &BoardFeed::connected, &wait, ended);
        const auto c2 = QObject::connect(&feed_, &BoardFeed::startupStopped, &wait, ended);
        const auto c3 = QObject::connect(&feed_, &BoardFeed::linkFailure, &wait, ended);
        if (!startEnded_ && !handlingFailure_) wait.exec();
        for (const auto& c : {c1, c2, c3}) QObject::disconnect(c);
    } else {
        try {
            worker_.connect(env_.applicationDir.toStdString(), env_.quick, barTwips);
        } catch (const LinkFailure&) {
            // HandleLinkFailure has run on the event.
        } catch (const StartupCancelled&) {
            // A signal during the settling delays.
        }
    }
    if (handlingFailure_) {
        starting_ = false;
        return false;
    }
    if (closeRequested_ || !connected_) return endStartup();

    main_->Connected();
    splash_->close();
    splash_.reset();
    starting_ = false;
    main_->show();
    if (feed_.flags().ShowHelpAtStartup) main_->openWindow(ToolWindow::Help);
    return true;
}

bool Application::endStartup() {
    worker_.stop();
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
    if (main_ && main_->closed()) {
        worker_.stop();
        return exitStatus_;
    }
    const int status = QApplication::exec();
    // Nothing reaches the board once the windows are gone.
    worker_.stop();
    return exitStatus_ != 0 ? exitStatus_ : status;
}

void Application::requestClose() {
    if (starting_) {
        // The connection sequence ends at its next wait; close once it has. A
        // message box the start-up shows (a board that failed) must not wait for OK.
        closeRequested_ = true;
        worker_.requestStop();
        DismissModalLoops();
        return;
    }
    if (main_) main_->close();
}

void Application::HandleLinkFailure(int code) {
    // A failure after the user closed the program ends nothing more.
    if (handlingFailure_ || (main_ && main_->closed() && !starting_)) return;
    handlingFailure_ = true;
    worker_.requestStop();
    const std::string& cause = feed_.failureCause();
    if (!cause.empty() && env_.tellFailureCause) env_.tellFailureCause(cause);
    std::string details = env_.failureDetails ? env_.failureDetails() : std::string();
    if (!cause.empty()) details += (details.empty() ? "" : "\n") + cause;
    env_.notifier.detailedMessage(LinkFailureMessage(code), Notifier::Icon::Error, details);
    closeAllWindows();
    AppSettings().sync();
    exitStatus_ = kExitLinkFailure;
    if (env_.endProcess)
        env_.endProcess(kExitLinkFailure);
    else
        EndProcessNow(kExitLinkFailure);
}

void Application::closeAllWindows() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != main_.get() && window->isVisible()) window->close();
    if (main_) main_->closeAtOnce();
}

}  // namespace quarnel

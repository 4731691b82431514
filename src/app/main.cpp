// SPDX-License-Identifier: GPL-3.0-or-later
// quarnel-eval: the evaluation program, on the simulated or the USB board.

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QTemporaryDir>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/ModalLoops.h"
#include "app/Platform.h"
#include "app/SignalBridge.h"
#include "board/BoardOptions.h"
#include "board/ChosenBoard.h"
#include "link/Clock.h"
#include "link/DataDirectory.h"
#include "windows/AppSettings.h"

namespace {

constexpr int kExitUsage = 2;

// The [Board] keys, trimmed; a value QSettings split at its commas is joined again.
quarnel::board::BoardSettings readBoardSettings() {
    using namespace quarnel;
    AppSettings settings(keys::kBoardGroup);
    const auto text = [&](const char* key) {
        const QVariant value = settings.value(QString::fromLatin1(key));
        return (value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',')
                                                         : value.toString())
            .trimmed()
            .toStdString();
    };
    return {text(keys::kUsb),      text(keys::kUsbCpucs),
            text(keys::kFirmware), settings.fileName().toStdString(),
            text(keys::kUsbPort),  text(keys::kUsbWait),
            text(keys::kUsbRam),   text(keys::kUsbSerial)};
}

// [Board] Reconnect: 1 or true, in any case.
bool reconnectSetting() {
    using namespace quarnel;
    const QString value = AppSettings(keys::kBoardGroup)
                              .value(QString::fromLatin1(keys::kReconnect))
                              .toString()
                              .trimmed();
    return value == QLatin1String("1") ||
           value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

void printError(const std::string& text) {
    std::cerr << "quarnel-eval: " << text << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quarnel;

    CLI::App cli{std::string(kAppTitle) + " " + kAppVersion +
                     " on the simulated or the USB evaluation board",
                 "quarnel-eval"};
    board::BoardArguments typed;
    board::addBoardOptions(cli, typed);
    board::addVersionFlag(cli, "quarnel-eval");
    bool reconnect = false;
    cli.add_flag("--reconnect", reconnect,
                 "when the board fails, wait for it (1 s, then up to 30 s between tries) and go "
                 "on, instead of ending; also [Board] Reconnect=1");
    std::vector<std::string> logFiles;
    cli.add_option("FILE", logFiles, "Log files (CSV) to open in review windows");
    // A settings file that is no regular file is left alone: this run keeps its
    // settings in a private folder that goes with it.
    std::optional<QTemporaryDir> settingsAside;
    std::string settingsWarning;  // told in a message box too: a menu start has no terminal
    if (const auto problem = SettingsFileProblem()) {
        settingsWarning = *problem + "; settings are neither read nor kept";
        printError("warning: " + settingsWarning);
        settingsAside.emplace();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsAside->path());
    }
    board::BoardOptions options;
    std::string startError;  // told in a message box too: a menu start has no terminal
    try {
        cli.parse(argc, argv);
        options = board::parseBoardOptions(typed, readBoardSettings());
    } catch (const CLI::Success& e) {
        return cli.exit(e);
    } catch (const CLI::ParseError& e) {
        cli.exit(e);
        return kExitUsage;
    } catch (const board::BoardSettingError& e) {
        startError = e.what();
    } catch (const board::StateFileError& e) {
        startError = e.what();
    } catch (const board::BoardOptionError& e) {
        printError(e.what());
        return kExitUsage;
    }

    // Without a display Qt would abort in its platform plugin.
    if (!DisplayAvailable(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                          std::getenv("WAYLAND_DISPLAY"))) {
        std::cerr << "quarnel-eval: no display: set DISPLAY (or WAYLAND_DISPLAY), "
                     "or use quarnelctl on the command line\n";
        return kExitUsage;
    }

    // Our options are parsed already; Qt sees only the program name.
    int qtArgc = 1;
    QApplication qtApp(qtArgc, argv);
    QApplication::setApplicationVersion(QString::fromLatin1(kAppVersion));
    QtNotifier notifier;
    // Before any box: a signal while the start-up's error is shown dismisses it.
    SignalBridge signalBridge;
    bool signalled = false;
    const auto dismiss = QObject::connect(&signalBridge, &SignalBridge::terminateRequested,
                                          &signalBridge, [&signalled] {
                                              signalled = true;
                                              DismissModalLoops();
                                          });
    const auto sentence = [](std::string text) {
        text[0] = static_cast<char>(std::toupper(text[0]));
        return text;
    };
    if (!startError.empty()) {
        printError(startError);
        notifier.message(sentence(startError), Notifier::Icon::Error);
        return kExitUsage;
    }
    if (!settingsWarning.empty()) {
        notifier.message(sentence(settingsWarning) + ".", Notifier::Icon::Warning);
        if (signalled) return 0;  // ended as the main window would have been
    }
    QObject::disconnect(dismiss);

    SystemClock clock;
    // The board's warnings and diagnostics go to stderr, and under a link failure's
    // Show Details, where a desktop user sees them.
    std::vector<std::string> boardWarnings;
    const auto toStderr = [&boardWarnings](const char* prefix) {
        return [prefix, &boardWarnings](const std::string& text) {
            printError(prefix + text);
            boardWarnings.push_back(text);
        };
    };
    board::ChosenBoard board(options, clock, toStderr("warning: "), toStderr("usb: "));
    AppEnvironment environment{board.link(),
                               clock,
                               notifier,
                               DesktopUrlOpener(),
                               DialogFileChooser(),
                               QString::fromStdString(DataDirectory(
                                   QCoreApplication::applicationDirPath().toStdString()))};
    environment.quick = options.quick;
    environment.firmware = options.firmware;
    environment.boardName = QString::fromStdString(board.name());
    environment.endProcess = &EndProcessNow;
    environment.failureDetails = [&boardWarnings] {
        std::string details;
        for (const std::string& line : boardWarnings)
            details += (details.empty() ? "" : "\n") + line;
        return details;
    };
    environment.tellFailureCause = [](const std::string& cause) { printError("usb: " + cause); };
    environment.profileDialogs = {ProfileSaveChooser(), ProfileOpenChooser(), &ConfirmWithDialog,
                                  board.ownFiles()};
    environment.threaded = true;
    environment.reconnect = reconnect || reconnectSetting();
    Application application(std::move(environment));
    // A stop request during start-up ends the USB board's wait for its return too.
    board.waitWith(application.worker().session().link);
    application.worker().failureCause = [&board] { return board.takeFailure(); };
    QObject::connect(&signalBridge, &SignalBridge::terminateRequested, &signalBridge,
                     [&application] { application.requestClose(); });

    if (!application.StartApplication()) return application.exitStatus();
    for (const std::string& file : logFiles)
        application.mainWindow()->openLogFile(QString::fromStdString(file));
    return application.exec();
}

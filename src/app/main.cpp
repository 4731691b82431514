// quarnel-eval: the evaluation program on the simulated board.

#include <CLI/CLI.hpp>
#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Platform.h"
#include "app/SignalBridge.h"
#include "board/BoardOptions.h"
#include "link/Clock.h"
#include "link/DataDirectory.h"
#include "sim/SimulatedBoard.h"
#include "windows/AppSettings.h"

namespace {

constexpr int kExitUsage = 2;

}  // namespace

int main(int argc, char** argv) {
    using namespace quarnel;

    CLI::App cli{std::string(kAppTitle) + " " + kAppVersion + " on the simulated evaluation board",
                 "quarnel-eval"};
    board::BoardArguments typed;
    board::addBoardOptions(cli, typed);
    board::addVersionFlag(cli, "quarnel-eval");
    std::vector<std::string> logFiles;
    cli.add_option("FILE", logFiles, "Log files (CSV) to open in review windows");
    board::BoardOptions options;
    try {
        cli.parse(argc, argv);
        options = board::parseBoardOptions(typed);
    } catch (const CLI::Success& e) {
        return cli.exit(e);
    } catch (const CLI::ParseError& e) {
        cli.exit(e);
        return kExitUsage;
    } catch (const board::BoardOptionError& e) {
        std::cerr << "quarnel-eval: " << e.what() << "\n";
        return kExitUsage;
    }

    // Our options are parsed already; Qt sees only the program name.
    int qtArgc = 1;
    QApplication qtApp(qtArgc, argv);
    QApplication::setApplicationVersion(QString::fromLatin1(kAppVersion));

    SystemClock clock;
    sim::SimulatedBoard board(options.sim, clock);
    QtNotifier notifier;
    AppEnvironment environment{board,
                               clock,
                               notifier,
                               DesktopUrlOpener(),
                               DialogFileChooser(),
                               QString::fromStdString(DataDirectory(
                                   QCoreApplication::applicationDirPath().toStdString()))};
    environment.quick = options.quick;
    environment.endProcess = &EndProcessNow;
    environment.profileDialogs = {ProfileSaveChooser(), ProfileOpenChooser(), &ConfirmWithDialog};
    Application application(std::move(environment));
    SignalBridge signalBridge;
    QObject::connect(&signalBridge, &SignalBridge::terminateRequested, &signalBridge,
                     [&application] { application.requestClose(); });

    if (!application.StartApplication()) return application.exitStatus();
    for (const std::string& file : logFiles)
        application.mainWindow()->openLogFile(QString::fromStdString(file));
    return application.exec();
}

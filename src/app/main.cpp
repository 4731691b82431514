// quarnel-eval: the evaluation program on the simulated board.

#include <CLI/CLI.hpp>
#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Platform.h"
#include "app/SignalBridge.h"
#include "link/Clock.h"
#include "link/DataDirectory.h"
#include "sim/SimOptions.h"
#include "sim/SimulatedBoard.h"
#include "windows/AppSettings.h"

namespace {

constexpr int kExitUsage = 2;

struct Options {
    std::string simAddress, simState, trace, simSeed;
    std::vector<std::string> simFaults;
    bool quick = false;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace quarnel;

    CLI::App cli{std::string(kAppTitle) + " " + kAppVersion + " on the simulated evaluation board",
                 "quarnel-eval"};
    Options o;
    cli.add_option("--sim-address", o.simAddress,
                   "chip address on the simulated board, 48 to 4B (default 48)")
        ->type_name("ADDR");
    cli.add_option("--sim-state", o.simState,
                   "state file of the simulated board (default $XDG_STATE_HOME/quarnel/board.json)")
        ->type_name("FILE");
    cli.add_option("--trace", o.trace, "append one line per board request to FILE")
        ->type_name("FILE");
    cli.add_option("--sim-fault", o.simFaults, "firmware, bus-select=N or cable=N; may be repeated")
        ->type_name("KIND[=N]")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    cli.add_option("--sim-seed", o.simSeed, "seed of the simulated environment (default 1)")
        ->type_name("N");
    cli.add_flag("--quick", o.quick, "skip the start-up settling delays");
    cli.set_version_flag("--version", std::string(kAppVersion));
    try {
        cli.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return cli.exit(e);
    } catch (const CLI::ParseError& e) {
        cli.exit(e);
        return kExitUsage;
    }

    sim::SimOptions simOptions;
    try {
        if (!o.simAddress.empty()) sim::applySimOption("--sim-address", o.simAddress, simOptions);
        if (!o.simState.empty()) sim::applySimOption("--sim-state", o.simState, simOptions);
        if (!o.trace.empty()) sim::applySimOption("--trace", o.trace, simOptions);
        if (!o.simSeed.empty()) sim::applySimOption("--sim-seed", o.simSeed, simOptions);
        for (const auto& fault : o.simFaults) sim::applySimOption("--sim-fault", fault, simOptions);
    } catch (const sim::SimOptionError& e) {
        std::cerr << "quarnel-eval: " << e.what() << "\n";
        return kExitUsage;
    }

    // Our options are parsed already; Qt sees only the program name.
    int qtArgc = 1;
    QApplication qtApp(qtArgc, argv);
    QApplication::setApplicationVersion(QString::fromLatin1(kAppVersion));

    SystemClock clock;
    sim::SimulatedBoard board(simOptions, clock);
    QtNotifier notifier;
    AppEnvironment environment{board,
                               clock,
                               notifier,
                               DesktopUrlOpener(),
                               DialogFileChooser(),
                               QString::fromStdString(DataDirectory(
                                   QCoreApplication::applicationDirPath().toStdString()))};
    environment.quick = o.quick;
    environment.endProcess = &EndProcessNow;
    Application application(std::move(environment));
    SignalBridge signalBridge;
    QObject::connect(&signalBridge, &SignalBridge::terminateRequested, &signalBridge,
                     [&application] { application.requestClose(); });

    if (!application.StartApplication()) return application.exitStatus();
    return application.exec();
}

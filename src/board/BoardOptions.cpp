#include "board/BoardOptions.h"

#include <CLI/CLI.hpp>

#include "sim/BoardState.h"

namespace quarnel::board {

void addBoardOptions(CLI::App& app, BoardArguments& typed) {
    app.add_option("--sim-address", typed.simAddress,
                   "chip address on the simulated board, 48 to 4B (default 48)")
        ->type_name("ADDR");
    app.add_option("--sim-state", typed.simState,
                   "state file of the simulated board (default $XDG_STATE_HOME/quarnel/board.json)")
        ->type_name("FILE");
    app.add_option("--trace", typed.trace, "append one line per board request to FILE")
        ->type_name("FILE");
    app.add_option("--sim-fault", typed.simFaults,
                   "simulated fault: firmware, bus-select=N or cable=N; may be repeated")
        ->type_name("KIND[=N]")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--sim-seed", typed.simSeed, "seed of the simulated environment (default 1)")
        ->type_name("N");
    app.add_flag("--quick", typed.quick, "skip the start-up's settling delays");
}

BoardOptions parseBoardOptions(const BoardArguments& typed) {
    BoardOptions options;
    const auto apply = [&](const char* name, const std::optional<std::string>& value) {
        if (value) sim::applySimOption(name, *value, options.sim);
    };
    apply("--sim-address", typed.simAddress);
    apply("--sim-state", typed.simState);
    apply("--trace", typed.trace);
    apply("--sim-seed", typed.simSeed);
    for (const auto& fault : typed.simFaults) apply("--sim-fault", fault);
    if (options.sim.statePath.empty()) options.sim.statePath = sim::defaultStatePath();
    // A folder or a device is never taken for a state file, nor written over.
    if (const auto why = sim::checkStatePath(options.sim.statePath))
        throw BoardOptionError("the state file " + options.sim.statePath + " " + *why +
                               "; choose another with --sim-state");
    options.quick = typed.quick;
    return options;
}

std::string versionText(const std::string& program) {
    return program + " " + QUARNEL_VERSION;
}

void addVersionFlag(CLI::App& app, const std::string& program) {
    app.set_version_flag("--version", versionText(program));
}

}  // namespace quarnel::board

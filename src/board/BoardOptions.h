#pragma once
// The board options of both programs, defined once: which board, how it is set
// up, and whether the start-up skips its settling delays. Values are checked
// after parsing, so a program refuses a bad one before it touches any board.
//
//   board::BoardArguments typed;
//   board::addBoardOptions(app, typed);
//   app.parse(argc, argv);
//   const board::BoardOptions options = board::parseBoardOptions(typed);

#include <optional>
#include <string>
#include <vector>

#include "sim/SimOptions.h"

namespace CLI {
class App;
}

namespace quarnel::board {

// The options as typed. One not given stays nullopt; one given empty is refused.
struct BoardArguments {
    std::optional<std::string> simAddress, simState, trace, simSeed;
    std::vector<std::string> simFaults;
    bool quick = false;
};

// The checked choices.
struct BoardOptions {
    sim::SimOptions sim;  // statePath always set: the default one when not given
    bool quick = false;   // skip the start-up's settling delays
};

// Thrown for a value both programs refuse; what() is the message for the user.
using BoardOptionError = sim::SimOptionError;

// Adds the board options to app.
void addBoardOptions(CLI::App& app, BoardArguments& typed);
// Checks every value, and that the state file's path can hold one.
BoardOptions parseBoardOptions(const BoardArguments& typed);

// "quarnelctl 2.0.0": what --version prints.
std::string versionText(const std::string& program);
void addVersionFlag(CLI::App& app, const std::string& program);

}  // namespace quarnel::board

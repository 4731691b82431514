// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// quarnelctl profile save | load | diff: the chip's settings to and from a
// profile file.

#include <optional>
#include <string>

#include "board/BoardConnection.h"
#include "cli/Cli.h"
#include "device/Profile.h"

namespace CLI {
class App;
}

namespace quarnel::cli {

inline constexpr int kExitDiffer =
    1;  // profile diff: the chip differs; load: a register did not take

struct ProfileArguments {
    CLI::App* save = nullptr;
    CLI::App* load = nullptr;
    CLI::App* diff = nullptr;
    std::string file;
    bool dryRun = false, force = false;
    std::optional<Profile> profile;  // load and diff: read and checked before the board
};

void AddProfileCommands(CLI::App& app, ProfileArguments& args);
bool ProfileCommandGiven(const ProfileArguments& args);
// Reads and checks the file of load and diff before the board is touched.
// Throws UsageError naming the file and the problem.
void CheckProfileArguments(ProfileArguments& args);
// ownFiles: what a saved profile must never replace (ChosenBoard::ownFiles).
int RunProfileCommand(board::BoardConnection& connection, CliEnvironment& env,
                      const ProfileArguments& args, const std::vector<std::string>& ownFiles);

}  // namespace quarnel::cli

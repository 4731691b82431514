// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// quarnelctl: the board commands on the simulated board, without windows.

#include <csignal>
#include <ctime>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "link/Clock.h"

namespace quarnel::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;       // the log file or standard output could not be written
inline constexpr int kExitUsage = 2;        // bad usage or input
inline constexpr int kExitLinkFailure = 3;  // the board link failed
inline constexpr int kExitSeveralBoards = 4;  // several USB boards match and no port was chosen

struct CliEnvironment {
    std::ostream& out;
    std::ostream& err;
    Clock& clock;                // drives the polling cycle and every delay
    std::string applicationDir;  // where QUARNELFW.Hex is found
    // The number of the signal that asked to stop (Ctrl+C: SIGINT), or 0. During the
    // start-up it cancels the command (exit 128 + the number); monitor and log end.
    const volatile std::sig_atomic_t* stop = nullptr;
    // Whether the terminal takes UTF-8 (else the degree sign goes out as Latin-1).
    bool utf8Terminal = true;
    // The date and time a saved profile is stamped with; empty: the system's.
    std::function<std::time_t()> wallClock{};
};

// args excludes the program name. Returns the exit status.
int RunCli(const std::vector<std::string>& args, CliEnvironment& env);

}  // namespace quarnel::cli

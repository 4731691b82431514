// SPDX-License-Identifier: GPL-3.0-or-later
// quarnelctl: the evaluation board from the command line.

#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/LineOutput.h"
#include "link/Clock.h"
#include "link/DataDirectory.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;  // the signal's number

extern "C" void onStopSignal(int signalNumber) {
    stopRequested = signalNumber;
}

// The folder of the firmware image: beside the program, else the installed one.
std::string dataFileDirectory(const char* argv0) {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) exe = std::filesystem::absolute(argv0, ec);
    return quarnel::DataDirectory(exe.parent_path().string());
}

bool terminalTakesUtf8() {
    std::setlocale(LC_CTYPE, "");
    const std::string codeset = nl_langinfo(CODESET);
    // Only an explicit single-byte Latin locale gets the degree sign as one byte.
    return codeset.find("8859") == std::string::npos && codeset != "CP1252";
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a signal ends the sleep of a settling delay at once.
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that went away (| head, a FIFO log's reader) is an EPIPE to handle,
    // not a death.
    std::signal(SIGPIPE, SIG_IGN);

    quarnel::cli::LineOutput lines(STDOUT_FILENO);
    std::ostream out(&lines);
    quarnel::SystemClock clock;
    quarnel::cli::CliEnvironment env{
        out, std::cerr, clock, dataFileDirectory(argv[0]), &stopRequested, terminalTakesUtf8()};
    const std::vector<std::string> args(argv + 1, argv + argc);
    return quarnel::cli::RunCli(args, env);
}

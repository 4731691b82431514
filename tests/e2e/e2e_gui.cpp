// SPDX-License-Identifier: GPL-3.0-or-later
// The built quarnel-eval under a virtual X server: the main window appears
// with its title, SIGTERM ends the program with status 0 and the placement
// is saved in the per-user settings file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

using quarnel::test::readFile;

bool haveProgram(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

class GuiE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveProgram("xvfb-run") || !haveProgram("xdotool"))
            GTEST_SKIP() << "xvfb-run or xdotool is not installed";
        fs::create_directories(dir / "home" / ".config");
        fs::create_directories(dir / "runtime");
        fs::permissions(dir / "runtime", fs::perms::owner_all);
    }

    // Runs `body` (bash) under xvfb-run with a private HOME and XDG folders.
    int runUnderX(const std::string& body) {
        const fs::path script = dir / "run.sh";
        std::ofstream(script) << "set -u\n" << body;
        const std::string env = "env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY HOME='" +
                                (dir / "home").string() + "' XDG_CONFIG_HOME='" +
                                (dir / "home" / ".config").string() + "' XDG_STATE_HOME='" +
                                (dir / "home" / ".state").string() + "' XDG_RUNTIME_DIR='" +
                                (dir / "runtime").string() + "' ";
        const std::string command =
            // ctest runs these side by side: each process starts its search for a free
            // display elsewhere, as two `xvfb-run -a` racing for the same one fail.
            env + "timeout 120 xvfb-run -a -n " + std::to_string(100 + ::getpid() % 800) +
            " -s '-screen 0 1280x1024x24' bash '" + script.string() + "' >'" +
            (dir / "out.txt").string() + "' 2>&1";
        return std::system(command.c_str());
    }

    // Starts quarnel-eval with args, notes whether a window with the program's
    // title (main window or message box) showed, runs `then` (bash, $win and
    // $pid set) and notes the exit status. Returns what the script printed.
    std::string runProgram(const std::string& args, const std::string& then) {
        const std::string body =
            "'" QUARNEL_BIN_DIR "/quarnel-eval' --quick " + args +
            " & pid=$!\n"
            "if win=$(timeout 60 xdotool search --sync --name '^QUARNEL Evaluation Software$' | "
            "head -1); then echo window=found; else echo window=missing; fi\n" +
            then + "\nwait $pid; echo status=$?\n";
        EXPECT_EQ(runUnderX(body), 0);
        return readFile(dir / "out.txt");
    }

    quarnel::test::TempDir temp;
    const fs::path dir = temp.path();
};

TEST_F(GuiE2E, MainWindowShowsAndSigtermEndsWithStatusZeroAndPlacementSaved) {
    ASSERT_TRUE(fs::exists(QUARNEL_BIN_DIR "/quarnel-eval"));
    const std::string state = (dir / "board.json").string();
    const std::string out = runProgram("--sim-state '" + state + "'", "kill -TERM $pid");
    EXPECT_NE(out.find("window=found"), std::string::npos) << out;
    EXPECT_NE(out.find("status=0"), std::string::npos) << out;

    const std::string conf =
        readFile(dir / "home" / ".config" / "QUARNEL Evaluation Software.conf");
    EXPECT_NE(conf.find("[Settings]"), std::string::npos) << conf;
    for (const char* key : {"MainLeft=", "MainTop=", "MainWidth=", "MainHeight="})
        EXPECT_NE(conf.find(key), std::string::npos) << key << "\n" << conf;
    EXPECT_TRUE(fs::exists(state));  // the board kept its own state file
}

TEST_F(GuiE2E, StartFailuresEndWithTheirStatusAfterTheirMessage) {
    // Each message box is answered with Return; the program then ends with its status.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const struct {
        std::string args;
        int status;
    } cases[] = {
        {"--sim-fault firmware --sim-state '" + (dir / "board.json").string() + "'", 3},
        {"--sim-state '" + (dir / "fifo").string() + "'", 2},  // refused, left alone
    };
    for (const auto& c : cases) {
        const std::string out = runProgram(
            c.args,
            "sleep 0.5; xdotool windowactivate --sync $win key Return 2>/dev/null || xdotool key "
            "Return");
        EXPECT_NE(out.find("window=found"), std::string::npos) << out;
        EXPECT_NE(out.find("status=" + std::to_string(c.status)), std::string::npos) << out;
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
}

TEST_F(GuiE2E, ALogOnTheCommandLineIsReadIntoAReviewWindowAndNoLogGetsOnlyAMessage) {
    if (!haveProgram("strace")) GTEST_SKIP() << "strace is not installed";
    std::ofstream(dir / "notes.csv") << "name,value\r\nspeed,3\r\n";
    // The review window's worker opens the file a second time, after its
    // first lines were checked; a file that is no log is opened once, and a
    // message box beside the main window says why.
    for (const char* seen : {"run.csv 2 1", "notes.csv 1 2"}) {
        const std::string body = "cd '" + dir.string() + "'; bin='" QUARNEL_BIN_DIR "' state='" +
                                 (dir / "board.json").string() + "'; set -- " + seen + R"sh(
"$bin/quarnelctl" --quick --sim-state "$state" log run.csv --channels internal,vdd --count 3 >/dev/null
strace -f -qq -e trace=openat -e signal=none -o opens.txt \
  "$bin/quarnel-eval" --quick --sim-state "$state" "$1" & tracer=$!
title='^QUARNEL Evaluation Software$'
count() { echo "$1 $(grep -c "\"$1\", O_RDONLY" opens.txt) $(xdotool search --name "$title" | wc -l)"; }
timeout 60 xdotool search --sync --name "$title" >/dev/null
for i in $(seq 100); do [ "$(count "$1")" = "$*" ] && break; sleep 0.1; done
sleep 0.5; echo "seen=$(count "$1")"
pkill -TERM -P $tracer; wait $tracer; echo status=$?
)sh";
        ASSERT_EQ(runUnderX(body), 0) << readFile(dir / "out.txt");
        const std::string out = readFile(dir / "out.txt");
        EXPECT_NE(out.find("seen=" + std::string(seen) + "\nstatus=0"), std::string::npos) << out;
    }
}

TEST(GuiWithoutDisplay, SaysWhatToDoAndEndsWithStatusTwo) {
    const quarnel::test::TempDir dir;
    const std::string out = dir.file("err.txt");
    const std::string run = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " QUARNEL_BIN_DIR;
    EXPECT_EQ(std::system((run + "/quarnel-eval --quick 2>'" + out + "'").c_str()), 2 << 8);
    const std::string text = readFile(out);
    EXPECT_TRUE(text.find("set DISPLAY") != text.npos && text.find('\n') == text.size() - 1)
        << text;
}

}  // namespace

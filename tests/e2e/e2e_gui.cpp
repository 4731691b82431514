// SPDX-License-Identifier: GPL-3.0-or-later
// The built quarnel-eval under a virtual X server, watched through its
// accessibility tree as a screen reader sees it (tests/e2e/a11y.py): the main
// window appears with its title, message boxes are answered, SIGTERM ends the
// program with status 0 and the placement is saved in the per-user settings file.

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
        if (!haveProgram("xvfb-run") || !haveProgram("dbus-run-session") ||
            std::system("/usr/bin/python3 -c 'import dbus' 2>/dev/null") != 0)
            GTEST_SKIP() << "xvfb-run, dbus-run-session or python3-dbus is not installed";
        fs::create_directories(dir / "home" / ".config");
        fs::create_directories(dir / "runtime");
        fs::permissions(dir / "runtime", fs::perms::owner_all);
    }

    // Runs `body` (bash, in the test's folder) under xvfb-run and a private session
    // bus, with a private HOME and XDG folders; $bin, $state and $a11y are set.
    // Returns what the script printed.
    std::string runUnderX(const std::string& body) {
        const fs::path script = dir / "run.sh";
        std::ofstream(script) << "set -u; cd '" << dir.string() << "'\nbin='" QUARNEL_BIN_DIR
                              << "' state='" << (dir / "board.json").string()
                              << "' a11y='/usr/bin/python3 " QUARNEL_SOURCE_DIR
                                 "/tests/e2e/a11y.py'\n"
                              << body;
        const std::string env =
            "env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY HOME='" + (dir / "home").string() +
            "' XDG_CONFIG_HOME='" + (dir / "home" / ".config").string() + "' XDG_STATE_HOME='" +
            (dir / "home" / ".state").string() + "' XDG_RUNTIME_DIR='" +
            (dir / "runtime").string() + "' QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 ";
        // ctest runs these side by side: each process starts its search for a free
        // display elsewhere, as two `xvfb-run -a` racing for the same one fail. A
        // display taken in between all the same (the program could not connect to
        // it) is tried again on another.
        for (int attempt = 0;; ++attempt) {
            const std::string command = env + "timeout 300 xvfb-run -a -n " +
                                        std::to_string(100 + (::getpid() % 800) + attempt * 1000) +
                                        " -s '-screen 0 1280x1024x24' dbus-run-session -- bash '" +
                                        script.string() + "' >'" + (dir / "out.txt").string() +
                                        "' 2>&1";
            const int status = std::system(command.c_str());
            const std::string out = readFile(dir / "out.txt");
            if (attempt < 2 && out.find("could not connect to display") != std::string::npos)
                continue;
            EXPECT_EQ(status, 0);
            return out;
        }
    }

    // Starts quarnel-eval with args, notes whether a window with the program's
    // title (main window or message box) showed, runs `then` (bash, $pid set)
    // and notes the exit status.
    std::string runProgram(const std::string& args, const std::string& then) {
        return runUnderX("\"$bin/quarnel-eval\" --quick " + args +
                         " & pid=$!\n"
                         "if $a11y wait '^  (frame|alert message): QUARNEL Evaluation Software$' "
                         ">/dev/null; then echo window=found; else echo window=missing; fi\n" +
                         then + "\nwait $pid; echo status=$?\n");
    }

    quarnel::test::TempDir temp;
    const fs::path dir = temp.path();
};

TEST_F(GuiE2E, MainWindowShowsAndSigtermEndsWithStatusZeroAndPlacementSaved) {
    ASSERT_TRUE(fs::exists(QUARNEL_BIN_DIR "/quarnel-eval"));
    const std::string out = runProgram("--sim-state \"$state\"", "kill -TERM $pid");
    EXPECT_NE(out.find("window=found"), std::string::npos) << out;
    EXPECT_NE(out.find("status=0"), std::string::npos) << out;

    const std::string conf =
        readFile(dir / "home" / ".config" / "QUARNEL Evaluation Software.conf");
    EXPECT_NE(conf.find("[Settings]"), std::string::npos) << conf;
    for (const char* key : {"MainLeft=", "MainTop=", "MainWidth=", "MainHeight="})
        EXPECT_NE(conf.find(key), std::string::npos) << key << "\n" << conf;
    EXPECT_TRUE(fs::exists(dir / "board.json"));  // the board kept its own state file
}

TEST_F(GuiE2E, AScreenReaderFindsListItemsAndHearsMovedLimitsAndOnlyChanges) {
    // As a screen reader hears it: a list's item, labelled by its caption, bit
    // digits as check boxes, legends' readings, the interval's number; the focus
    // on a gauge's markers and their limits as keys move them; no name twice.
    const std::string out = runUnderX(
        "$a11y heard 1000000 >heard.txt & h=$!\n"
        "until grep -q listening heard.txt; do sleep 0.1; done\n"
        "\"$bin/quarnel-eval\" --quick --sim-state \"$state\" & pid=$!\n"
        "$a11y wait '^  frame: QUARNEL Evaluation Software$' >/dev/null\n"
        "for w in 'Device Configuration' 'Register Map' 'Log Data' Interrupts; do\n"
        "  $a11y press \"$w\" 'menu item'; done\n"
        "$a11y wait -d '^ +combo box: [0-9.]+ kHz \\[labelled by ADC Clock\\]' \\\n"
        "  '^ +check box: Bit 7' '^ +label: Internal=[0-9.]+.C$' \\\n"
        "  '\\(ms\\).* \\[value 250 of 0\\.\\.3\\.6e\\+06\\]' >/dev/null && echo listed\n"
        "xdotool search --name '^QUARNEL Evaluation Software$' windowfocus --sync\n"
        "$a11y press Internal panel && xdotool key Up Tab Up\n"
        "ain5() { grep -c '^value: Ain5 ' heard.txt; }; n=$(ain5)\n"
        "until [ $(ain5) -ge $((n + 20)) ]; do sleep 0.1; done\n"
        "kill $h; kill -TERM $pid; wait $pid\n"
        "grep -E '^(focus|value: Internal .*limit|name: Ain1 Mask)' heard.txt\n");
    for (const char* said : {"listed\n", "focus: Internal low limit\nvalue: Internal low limit = ",
                             "focus: Internal high limit\nvalue: Internal high limit = "})
        EXPECT_NE(out.find(said), std::string::npos) << said << "\n" << out;
    size_t names = 0;  // named by the form, then by the pins: not at every reading
    for (size_t at = out.find("name: Ain1 Mask"); at != std::string::npos;
         at = out.find("name: Ain1 Mask", at + 1))
        ++names;
    EXPECT_LE(names, 2u) << out;
}

TEST_F(GuiE2E, StartFailuresEndWithTheirStatusAfterTheirMessage) {
    // Each message box is answered with its OK button; the program then ends with its status.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const fs::path settings = dir / "home" / ".config" / "QUARNEL Evaluation Software.conf";
    const struct {
        std::string args;
        int status;
        std::string then = "$a11y press OK && echo answered";
    } cases[] = {
        {"--sim-fault firmware --sim-state \"$state\"", 3},
        {"--sim-state fifo", 2},  // refused, left alone
        // Last, a FIFO at the settings file's path: only a warning, and the program runs.
        {"--sim-state \"$state\"", 0,
         "$a11y wait 'label: The settings file .*neither read nor kept' >/dev/null &&\n"
         "$a11y press OK && $a11y wait '^  frame: QUARNEL Evaluation Software$' >/dev/null &&\n"
         "echo answered; kill -TERM $pid"},
    };
    for (const auto& c : cases) {
        if (c.status == 0) {
            fs::remove(settings);  // the runs before may have written one
            ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);
        }
        const std::string out = runProgram(c.args, c.then);
        EXPECT_NE(out.find("window=found"), std::string::npos) << out;
        EXPECT_NE(out.find("status=" + std::to_string(c.status)), std::string::npos) << out;
        EXPECT_NE(out.find("answered"), std::string::npos) << out;
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo") && fs::is_fifo(settings));
}

TEST_F(GuiE2E, ALogOnTheCommandLineIsReadIntoAReviewWindowAndNoLogGetsOnlyAMessage) {
    std::ofstream(dir / "notes.csv") << "name,value\r\nspeed,3\r\n";
    // The review window lists the log's runs once its worker has read it (the Help
    // page beside it offers its links); a file that is no log gets no review
    // window, only a message box that says why.
    const struct {
        std::string file, shows, never;
    } cases[] = {
        {"run.csv",
         "'^ +frame: run\\.csv$' '^ +list item: Run 1: 3 lines, 2 channels$' '^ +link: Graphs$'",
         "alert message"},
        {"notes.csv", "'^  alert message: ' 'label: notes\\.csv is not a QUARNEL log file'",
         "frame: notes.csv"},
    };
    for (const auto& c : cases) {
        const std::string out = runUnderX(
            "\"$bin/quarnelctl\" --quick --sim-state \"$state\" log run.csv --channels "
            "internal,vdd --count 3 >/dev/null\n\"$bin/quarnel-eval\" --quick --sim-state "
            "\"$state\" " +
            c.file + " & pid=$!\n$a11y wait " + c.shows +
            "; echo shown=$?\nkill -TERM $pid; wait $pid; echo status=$?\n");
        EXPECT_NE(out.find("shown=0\nstatus=0"), std::string::npos) << out;
        EXPECT_EQ(out.find(c.never), std::string::npos) << out;
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

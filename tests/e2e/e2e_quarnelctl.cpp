// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built quarnelctl as a user would: its own HOME, state file and
// trace file per test, --quick so the start-up does not wait (but for signals).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "QuarnelVersion.h"
#include "support/TempDir.h"

namespace {

using quarnel::test::readFile;

std::string quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct Result {
    int status = -1;
    std::string out, err;
};

class Quarnelctl : public ::testing::Test {
  protected:
    quarnel::test::TempDir dir;

    std::string path(const std::string& name) const { return dir.file(name); }

    // Runs a built program; `prefix` goes before it (e.g. a timeout).
    Result exec(const std::string& program, const std::vector<std::string>& args,
                const std::string& prefix = "") {
        const std::string home = quote(dir.path().string());
        std::string command = "cd " + home + " && HOME=" + home +
                              " XDG_STATE_HOME=" + quote(path("state")) + " " + prefix + " " +
                              quote(std::string(QUARNEL_BIN_DIR) + "/" + program);
        for (const auto& a : args) command += " " + quote(a);
        command += " >" + quote(path("out")) + " 2>" + quote(path("err"));
        const int raw = std::system(command.c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = readFile(path("out"));
        r.err = readFile(path("err"));
        return r;
    }
    // quarnelctl with the test's state and trace files, given after the command.
    Result run(std::vector<std::string> args, const std::string& prefix = "", bool quick = true) {
        args.insert(args.end(), {"--sim-state", path("board.json"), "--trace", path("trace.log")});
        if (quick) args.push_back("--quick");
        return exec("quarnelctl", args, prefix);
    }
    std::string trace() const { return readFile(path("trace.log")); }
    // A prefix for run(): sends the program `signal` once `condition` (a shell test in
    // the test's folder) holds; the status is the program's.
    static std::string signalWhen(const std::string& signal, const std::string& condition) {
        return "bash -c " +
               quote("rm -f trace.log; \"$@\" & pid=$!\nfor i in $(seq 1200); do " + condition +
                     " && break; sleep 0.1; done\nkill -" + signal + " $pid; wait $pid") +
               " sh";
    }
    // A shell script in the test's folder, $Q naming quarnelctl with its options; its status.
    int script(const std::string& text) {
        const std::string home = quote(dir.path().string());
        const std::string q =
            std::string(QUARNEL_BIN_DIR) + "/quarnelctl --quick --sim-state " + path("board.json");
        const std::string command = "cd " + home + " && HOME=" + home +
                                    " XDG_STATE_HOME=" + quote(path("state")) + " Q=" + quote(q) +
                                    " sh -c " + quote(text);
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
};

TEST_F(Quarnelctl, ReadAndWriteLeaveTheirRequestsInTheTrace) {
    Result w = run({"write", "0x25", "80"});
    ASSERT_EQ(w.status, 0) << w.err;
    EXPECT_EQ(w.out, "25h  Internal High Limit     50h   80  01010000  7:6:5:4:3:2:1:0\n");
    const std::string firstRun = trace();
    EXPECT_EQ(firstRun.rfind(
                  "LoadFirmWare \"" + std::string(QUARNEL_BIN_DIR) + "/QUARNELFW.Hex\" -> 0\n", 0),
              0u);
    EXPECT_NE(firstRun.find("222 0x00000148 0x0000004E 1 1 -> 0 41\n"), std::string::npos);
    EXPECT_NE(firstRun.find("222 0x00000148 0x00005025 0 0 -> 0\n"
                            "222 0x00000148 0x00000025 1 1 -> 0 50\n"),
              std::string::npos)
        << "the write, then the hook's read-back of a limit";

    Result r = run({"read", "25h"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, w.out) << "the board kept the value in its state file";
    EXPECT_EQ(trace().substr(trace().size() - 38), "222 0x00000148 0x00000025 1 1 -> 0 50\n");
}

TEST_F(Quarnelctl, JsonOutputIsJsonAndMonitorPrintsOneObjectPerLine) {
    for (const std::string command : {"info", "dump"}) {
        Result r = run({command, "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(nlohmann::json::accept(r.out)) << r.out;
    }
    Result m = run({"monitor", "--json", "--count", "3"});
    ASSERT_EQ(m.status, 0) << m.err;
    std::istringstream lines(m.out);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_TRUE(nlohmann::json::parse(line)["readings"]["Vdd"]["value"].is_number()) << line;
    EXPECT_EQ(count, 3);
}

TEST_F(Quarnelctl, LogAppendsThePreambleHeaderAndLines) {
    for (int pass = 0; pass < 2; ++pass) {
        Result r = run({"log", path("run.csv"), "--count", "3", "--interval", "50", "--channels",
                        "internal,vdd,ain1"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const std::string log = readFile(path("run.csv"));
    const std::string header =
        "\r\nQUARNEL Log File\r\n\r\nTime(s) ,Internal(\xB0"
        "C) ,Vdd(V) ,Ain1(V) ,\r\n";
    ASSERT_EQ(log.substr(0, header.size()), header);
    std::istringstream lines(log.substr(header.size()));
    std::vector<std::string> data;
    for (std::string line; std::getline(lines, line);) data.push_back(line);
    ASSERT_EQ(data.size(), 3u + 4u + 3u) << "the second run appends its own preamble";
    const std::vector<std::string> times = {"0,", ".05,", ".1,"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(data[i].substr(0, times[i].size()), times[i]);
        EXPECT_EQ(data[i].back(), '\r');
        EXPECT_EQ(std::count(data[i].begin(), data[i].end(), ','), 4) << data[i];
        EXPECT_EQ(data[i].find(", 0,"), std::string::npos) << "real readings: " << data[i];
    }
}

TEST_F(Quarnelctl, BadInputIsRefusedWithStatus2AndNothingWritten) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"write", "100", "1"},
                                                 {"write", "25", "300"},
                                                 {"log", path("x.csv"), "--channels", "external"},
                                                 {"--sim-address", "47", "info"},
                                                 {"nonsense"}}) {
        Result r = run(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_FALSE(r.err.empty()) << args[0];
        EXPECT_TRUE(r.out.empty()) << args[0];
    }
    EXPECT_FALSE(std::filesystem::exists(path("x.csv")));
    // Only the refused log command, which must see the pin mode, reached the board.
    const std::string t = trace();
    EXPECT_EQ(t.find("LoadFirmWare"), t.rfind("LoadFirmWare"));
    EXPECT_EQ(t.find("0x00012C25"), std::string::npos) << "no write of 300 to 25h";
}

TEST_F(Quarnelctl, APulledCableEndsWithStatus3AndItsMessage) {
    Result r = run({"--sim-fault", "cable=60", "monitor"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "quarnelctl: Communications Interrupted - Check USB connections\n");
    Result f = run({"--sim-fault", "firmware", "info"});
    EXPECT_EQ(f.status, 3);
    EXPECT_NE(f.err.find("Firmware failed to download"), std::string::npos);
}

// Unplugged for a while during a log: a line when lost and when back, the log
// goes on in a second run, and no line is lost or doubled across the two.
TEST_F(Quarnelctl, ReconnectingLogGoesOnInANewRunAndCtrlCEndsItsWait) {
    // Lost 2 s after the start: inside the 3 s of logging however long the start-up takes.
    Result r = run({"--sim-fault", "replug=2:1", "log", path("r.csv"), "--count", "60",
                    "--interval", "50", "--channels", "internal", "--reconnect"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(" board lost (Communications Interrupted"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" board back, going on"), std::string::npos) << r.err;
    std::istringstream lines(readFile(path("r.csv")));
    int runs = 0, n = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line == "QUARNEL Log File\r") ++runs;
        if (line.empty() || !(std::isdigit(line[0]) || line[0] == '.')) continue;
        // The nominal times run on without a gap or a repeat: 0, .05, .1, ...
        EXPECT_NEAR(std::stod(line), 0.05 * n++, 1e-9) << line;
    }
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(n, 60);

    Result waiting = run({"--sim-fault", "replug=0.3:600", "monitor", "--reconnect"},
                         signalWhen("INT", "grep -qs 'board lost' err"));
    EXPECT_EQ(waiting.status, 130) << waiting.err;
}

TEST_F(Quarnelctl, InfoSucceedsAndInterruptEndsMonitorCleanly) {
    Result info = run({"--sim-address", "4A", "info"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out.substr(0, 20), "Device address: 4Ah\n");
    EXPECT_NE(info.out.find("Board: simulated, state " + path("board.json")), std::string::npos);

    Result m = run({"monitor"}, signalWhen("INT", "[ $(wc -l <out) -ge 3 ]"));
    EXPECT_EQ(m.status, 0) << m.err;
    EXPECT_GE(std::count(m.out.begin(), m.out.end(), '\n'), 3);
    EXPECT_EQ(m.out.back(), '\n');
}

TEST_F(Quarnelctl, ASignalDuringTheStartUpCancelsTheWriteWithTheShellsStatus) {
    for (const auto& [signal, status] : {std::pair{"INT", 130}, {"TERM", 143}}) {
        // The firmware is in: the settling delays have begun.
        Result w = run({"write", "25", "0x33"},
                       signalWhen(signal, "grep -qs LoadFirmWare trace.log"), false);
        EXPECT_EQ(w.status, status) << signal << w.err;
    }
    EXPECT_EQ(run({"read", "25"}).out.substr(0, 32), "25h  Internal High Limit     64h");
}

TEST_F(Quarnelctl, AReaderThatLeavesEndsAStreamAndAFullDiskLeavesWholeLines) {
    EXPECT_EQ(script("{ $Q monitor; echo $? > st; } | head -n 2 >/dev/null; exit $(cat st)"), 0);
    EXPECT_EQ(script("mkfifo f; $Q log f & head -c 10 f >/dev/null; wait $!"), 0);
    EXPECT_EQ(script("timeout --preserve-status -s TERM 1 $Q log f"), 143)
        << "waiting for a reader";
    // The file size limit stands in for a full disk.
    EXPECT_EQ(script("trap '' XFSZ; ulimit -f 2; $Q monitor --json >m.jsonl"), 1);
    const std::string m = readFile(path("m.jsonl"));
    std::istringstream lines(m);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.back(), '\n');
    EXPECT_EQ(script("trap '' XFSZ; ulimit -f 0; $Q log empty.csv"), 1);
    EXPECT_FALSE(std::filesystem::exists(path("empty.csv"))) << "no empty file left behind";
}

TEST_F(Quarnelctl, BothProgramsShareTheBoardOptionsAndRefuseAStateFileThatIsNoFile) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    for (const std::string program : {"quarnelctl", "quarnel-eval"})
        EXPECT_EQ(exec(program, {"--version"}).out, program + " " + quarnel::kAppVersion + "\n");
    // quarnel-eval also shows the refusal in a message box: see the GUI end-to-end tests.
    Result r =
        exec("quarnelctl", {"--sim-seed", "5", "--sim-state", path("fifo"), "info"}, "timeout 20");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("fifo is not a regular file"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::is_fifo(path("fifo")));
}

}  // namespace

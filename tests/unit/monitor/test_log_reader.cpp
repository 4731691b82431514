// SPDX-License-Identifier: GPL-3.0-or-later
// Reading logs back: runs written by the logger itself, damaged lines, and
// files that are no log at all.

#include <gtest/gtest.h>

#include <fstream>

#include "MonitorFixture.h"
#include "monitor/LogFile.h"
#include "monitor/LogReader.h"

namespace quarnel::test {
namespace {

constexpr const char* kHead =
    "\r\nQUARNEL Log File\r\n\r\nTime(s) ,Internal(\xB0"
    "C) ,Vdd(V) ,\r\n";

TEST(LogReader, ReadsAppendedRunsWrittenByTheLogger) {
    TempDir dir;
    BoardSession s;
    const std::string path = dir.file("three.csv");
    const std::array<std::array<bool, kLogChannelCount>, 3> sets{
        {{true, false, true},
         {true, true, true, true, true, true, true, true, true, true, true, true},
         {false, false, false, true, false, true}}};
    for (int run = 0; run < 3; ++run) {
        s.session->ShowFahrenheit = run == 1;
        ASSERT_TRUE(StartLogging(*s.session, path, sets[run]));
        for (int i = 0; i < 4 + run; ++i) {
            s.session->readings.InternalTemp = 20.25f + i;
            s.session->readings.Ain1 = 0.012f * i;
            s.clock.advance(s.session->device.state.LogIntervalMs / 1000.0 + 0.01);
            LoggingStep(*s.session);
        }
    }
    const LogReadResult r = ReadLogFile(path);
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.runs.size(), 3u);
    EXPECT_EQ(r.runs[0].columns, (std::vector<std::string>{"Internal(°C)", "Vdd(V)"}));
    EXPECT_EQ(r.runs[1].channels.size(), 12u);
    EXPECT_EQ(r.runs[1].columns[3], "VARNO(°F)");
    EXPECT_EQ(r.runs[2].columns, (std::vector<std::string>{"Ain1(V)", "Ain3(V)"}));
    EXPECT_EQ(r.runs[2].channels, (std::vector<int>{4, 6}));
    EXPECT_EQ(std::vector<bool>({r.runs[0].fahrenheit, r.runs[1].fahrenheit}),
              std::vector<bool>({false, true}));
    for (int run = 0; run < 3; ++run) {
        ASSERT_EQ(r.runs[run].time.size(), size_t(4 + run));
        EXPECT_EQ(r.runs[run].time[0], 0.0);
        EXPECT_DOUBLE_EQ(r.runs[run].time[2], 2 * s.session->device.state.LogIntervalMs / 1000.0);
    }
    EXPECT_FLOAT_EQ(r.runs[0].values[0][3], 23.25f);
    EXPECT_FLOAT_EQ(r.runs[2].values[0][2], 0.024f);
    EXPECT_EQ(r.damagedLines, 0);
}

TEST(LogReader, DamagedLinesAreSkippedAndCounted) {
    struct Case {
        const char* body;
        size_t rows;
        int64_t damaged, first;
    };
    const Case cases[] = {
        {"0, 23.25, 3.299,\r\n.25, 23.5, 3.3,\r\n", 2, 0, 0},
        {"0, 23.25, 3.299\r\n1,-2.5E+01, +3,", 2, 0, 0},  // no trailing comma, no last CR LF
        {"0, 23.25,\r\n.25, 23.5, 3.3,\r\n", 1, 1, 5},    // a field short
        {"0, 1, 2, 3,\r\n.25, x, 3.3,\r\n1, 2, 3,\r\n", 1, 2, 5},
        {"0, 1, 2,\r\n.25, 1, 2\x01\x02,\r\n\r\n", 1, 1, 6},
        {"0, nan, 2,\r\n.25, 1, -inf,\r\ninf, 1, 2,\r\n1, 1, 2,\r\n", 1, 3, 5},
        {"1, 1, 2,\r\n.5, 1, 2,\r\n-1, 1, 2,\r\n1e308, 1, 2,\r\n", 2, 2, 6},  // backwards
    };
    for (const Case& c : cases) {
        const LogReadResult r = ParseLogText(std::string(kHead) + c.body);
        ASSERT_TRUE(r.ok()) << c.body;
        EXPECT_EQ(r.runs[0].time.size(), c.rows) << c.body;
        EXPECT_EQ(r.damagedLines, c.damaged) << c.body;
        EXPECT_EQ(r.firstDamagedLine, c.first) << c.body;
    }
}

TEST(LogReader, AFileThatIsNoLogIsAnErrorWithTheReason) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "holds no \"Time(s)\" header"},
        {"a,b,c\r\n1,2,3\r\n", "line 1 comes before any"},
        {"\r\nQUARNEL Log File\r\n\r\nTime(s) ,Pressure(bar) ,\r\n",
         "unknown column \"Pressure(bar)\""},
        {std::string("\x89PNG\r\n\x1a\n\0\0", 10), "line 1 comes before"},
    };
    for (const auto& [text, reason] : cases) {
        const LogReadResult r = ParseLogText(text, "x.csv");
        EXPECT_EQ(r.status, LogReadResult::Status::NotALog) << text;
        EXPECT_NE(r.error.find("x.csv is not a QUARNEL log file: "), std::string::npos) << r.error;
        EXPECT_NE(r.error.find(reason), std::string::npos) << r.error;
        EXPECT_TRUE(r.runs.empty());
    }
    TempDir dir;
    EXPECT_EQ(ReadLogFile(dir.file("missing.csv")).status, LogReadResult::Status::Unreadable);
    std::atomic<bool> cancel{true};
    std::ofstream(dir.file("a.csv")) << kHead;
    EXPECT_EQ(ReadLogFile(dir.file("a.csv"), &cancel).status, LogReadResult::Status::Cancelled);
}

}  // namespace
}  // namespace quarnel::test

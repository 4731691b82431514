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

// Read in small columns for the review, a file past a megabyte is read in two
// halves at once: it reads as its text read line by line, whatever lies about
// its middle, and as the same file read in floats.
TEST(LogReader, ALargeFileReadInTwoHalvesReadsAsItsText) {
    const auto lines = [](int count, auto&& line) {
        std::string text;
        for (int i = 0; i < count; ++i) text += line(i) + "\r\n";
        return text;
    };
    const auto row = [](double t, const std::string& values) {
        return std::to_string(t) + ", " + values + ",";
    };
    const std::string cases[] = {
        // Times going back for a while about the middle; damage here and there.
        kHead + lines(70000,
                      [&](int i) {
                          if (i % 997 == 0) return std::string("x, 1, 2,");
                          return row((i < 25000 || i >= 45000 ? i : i - 20000) / 100.0,
                                     "23.25, 3.299");
                      }),
        // New runs about the middle, one with a column it does not know, one whose
        // times turn finer than milliseconds.
        kHead + lines(29000, [&](int i) { return row(i / 10.0, "1, 2"); }) +
            "Time(s) ,Internal(\xB0"
            "F) ,Pressure(bar) ,Vdd(V) ,\r\n" +
            lines(2000, [&](int i) { return row(i, "80.6, 3.3"); }) + "Time(s) ,Ain1(V) ,\r\n" +
            lines(40000, [&](int i) { return row(i < 20000 ? i : i + 0.0005, ".5"); }),
        // Finer values, and one too large for 16 bits, only after the middle.
        kHead + lines(60000,
                      [&](int i) {
                          return row(i, i < 30000    ? "1.5, 3"
                                        : i == 50000 ? "1.125, 40000"
                                                     : "1.125, 3.3");
                      }),
    };
    TempDir dir;
    for (const std::string& text : cases) {
        std::ofstream(dir.file("big.csv"), std::ios::binary) << text;
        const LogReadResult want = ParseLogText(text);
        const LogReadResult floats = ReadLogFile(dir.file("big.csv"));
        const auto small = ReadCompactLogFile(dir.file("big.csv"));
        ASSERT_GT(text.size(), 1u << 20);
        ASSERT_TRUE(want.ok() && floats.ok() && small.ok());
        EXPECT_EQ(std::pair(floats.damagedLines, floats.firstDamagedLine),
                  std::pair(want.damagedLines, want.firstDamagedLine));
        EXPECT_EQ(std::pair(small.damagedLines, small.firstDamagedLine),
                  std::pair(want.damagedLines, want.firstDamagedLine));
        ASSERT_EQ(floats.runs.size(), want.runs.size());
        ASSERT_EQ(small.runs.size(), want.runs.size());
        for (size_t r = 0; r < want.runs.size(); ++r) {
            EXPECT_EQ(floats.runs[r].time, want.runs[r].time);
            EXPECT_EQ(floats.runs[r].values, want.runs[r].values);
            EXPECT_EQ(small.runs[r].columns, want.runs[r].columns);
            ASSERT_EQ(small.runs[r].time.size(), want.runs[r].time.size());
            for (size_t i = 0; i < want.runs[r].time.size(); ++i) {
                ASSERT_EQ(small.runs[r].time[i], want.runs[r].time[i]);
                for (size_t c = 0; c < want.runs[r].values.size(); ++c)
                    ASSERT_FLOAT_EQ(float(small.runs[r].values[c][i]), want.runs[r].values[c][i]);
            }
        }
    }
}

}  // namespace
}  // namespace quarnel::test

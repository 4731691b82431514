// SPDX-License-Identifier: GPL-3.0-or-later
// The log file: the bytes of preamble, header and lines, the logging step's
// timing, and the two mends (no 32-bit overflow; a failed write stops
// logging without damaging what was written).

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <limits>

#include "MonitorFixture.h"
#include "monitor/LogFile.h"
#include "monitor/MasterPoll.h"
#include "support/FileSizeLimit.h"

namespace quarnel::test {
namespace {

constexpr const char* kPreamble = "\r\nQUARNEL Log File\r\n\r\n";

std::array<bool, kLogChannelCount> Channels(std::initializer_list<int> indexes) {
    std::array<bool, kLogChannelCount> out{};
    for (int i : indexes) out[i] = true;
    return out;
}

// Advances the clock past the interval and runs the logging step; the status
// text it set.
const char* LogOnce(BoardSession& s) {
    s.clock.advance(s.session->device.state.LogIntervalMs / 1000.0 + 0.01);
    return LoggingStep(*s.session);
}

TEST(LogFile, TheDocumentedExampleByteForByte) {
    TempDir dir;
    BoardSession s;
    const std::string path = dir.file("run.csv");
    ASSERT_TRUE(StartLogging(*s.session, path, Channels({0, 2, 3})));
    EXPECT_TRUE(s.session->logging.LoggingActive);

    CurrentReadings& r = s.session->readings;
    r = {};
    r.InternalTemp = 23.25f, r.Vdd = 3.299f, r.Ain1 = 0.012f, r.Ain2 = 1.5f;
    LogOnce(s);
    r.Ain1 = 0.013f;
    LogOnce(s);
    r.InternalTemp = 23.5f, r.Ain1 = 0.012f;
    EXPECT_STREQ(LogOnce(s), "Data Logging Enabled");

    EXPECT_EQ(readFile(path), std::string(kPreamble) +
                                  "Time(s) ,Internal(\xB0"
                                  "C) ,Vdd(V) ,Ain1(V) ,\r\n"
                                  "0, 23.25, 3.299, .012,\r\n"
                                  ".25, 23.25, 3.299, .013,\r\n"
                                  ".5, 23.5, 3.299, .012,\r\n");
    EXPECT_EQ(s.session->logging.LoggedCount, 3);
}

TEST(LogFile, HeaderFollowsTheColumnOrderAndTheUnit) {
    std::array<bool, kLogChannelCount> all;
    all.fill(true);
    EXPECT_EQ(BuildLogHeader(all, true),
              "Time(s) ,Internal(\xB0"
              "F) ,External(\xB0"
              "F) ,Vdd(V) ,VARNO(\xB0"
              "F) ,"
              "Ain1(V) ,Ain2(V) ,Ain3(V) ,Ain4(V) ,Ain5(V) ,Ain6(V) ,Ain7(V) ,Ain8(V) ,");
    EXPECT_EQ(BuildLogHeader({}, false), "Time(s) ,");

    CurrentReadings r;
    r.InternalTemp = -5.5f, r.ExternalTemp = 0.0f, r.Vdd = 3.3f, r.VarnoTemp = 21.75f;
    r.Ain1 = -0.25f, r.Ain8 = 2.278f;
    EXPECT_EQ(BuildLogLine(all, 250, 5, r),
              "1.25,-5.5, 0, 3.3, 21.75,-.25, 0, 0, 0, 0, 0, 0, 2.278,");
    EXPECT_EQ(BuildLogLine({}, 250, 1, r), ".25,");
}

TEST(LogFile, WhichBoxesThePinModeEnables) {
    DeviceState state;
    state.VarnoOnAin3 = true;
    state.ChannelMode = ChannelFunction::AinInputs;
    EXPECT_FALSE(LogChannelEnabled(1, state));
    EXPECT_TRUE(LogChannelEnabled(3, state) && LogChannelEnabled(4, state));
    state.ChannelMode = ChannelFunction::ExternalTemp;
    EXPECT_TRUE(LogChannelEnabled(1, state));
    EXPECT_FALSE(LogChannelEnabled(3, state) || LogChannelEnabled(4, state));
    for (int i : {0, 2, 5, 6, 7, 8, 9, 10, 11}) EXPECT_TRUE(LogChannelEnabled(i, state)) << i;
}

TEST(LogFile, IntervalZeroWritesEveryTickAtTimeZero) {
    TempDir dir;
    BoardSession s;
    MasterPoll poll(*s.session);
    s.session->device.state.LogIntervalMs = 0;
    ASSERT_TRUE(StartLogging(*s.session, dir.file("zero.csv"), {}));
    for (int i = 0; i < 3; ++i) {
        s.clock.advance(0.01);
        poll.Tick();
    }
    EXPECT_EQ(readFile(dir.file("zero.csv")),
              std::string(kPreamble) + "Time(s) ,\r\n0,\r\n0,\r\n0,\r\n");
}

TEST(LogFile, ChangingTheIntervalRescalesFollowingLinesAndARestartAppends) {
    TempDir dir;
    BoardSession s;
    const std::string path = dir.file("scale.csv");
    ASSERT_TRUE(StartLogging(*s.session, path, {}));
    LogOnce(s);
    LogOnce(s);
    s.session->device.state.LogIntervalMs = 1000;
    LogOnce(s);
    // Not due yet: nothing written, status untouched.
    s.clock.advance(0.5);
    EXPECT_EQ(LoggingStep(*s.session), nullptr);

    StopLogging(*s.session);
    EXPECT_STREQ(LoggingStep(*s.session), "Status");
    s.session->ShowFahrenheit = true;
    ASSERT_TRUE(StartLogging(*s.session, path, Channels({7})));
    EXPECT_EQ(s.session->logging.LoggedCount, 0);
    s.session->readings.VarnoTemp = 71.6f;
    LogOnce(s);

    EXPECT_EQ(readFile(path), std::string(kPreamble) + "Time(s) ,\r\n0,\r\n.25,\r\n2,\r\n" +
                                  kPreamble +
                                  "Time(s) ,VARNO(\xB0"
                                  "F) ,\r\n0, 71.6,\r\n");
}

TEST(LogFile, NominalTimeAndCountRunPastTwoToThe31Milliseconds) {
    CurrentReadings r;
    // Identical below the old limit...
    EXPECT_EQ(BuildLogLine({}, 250, 8589934, r), "2147483.5,");
    EXPECT_EQ(BuildLogLine({}, 1, std::numeric_limits<int32_t>::max(), r), "2147483.647,");
    // ...and right past it instead of wrapping to a negative time.
    EXPECT_EQ(BuildLogLine({}, 1000, 2147484, r), "2147484,");
    EXPECT_EQ(BuildLogLine({}, std::numeric_limits<int32_t>::max(), 4, r), "8589934.588,");

    TempDir dir;
    BoardSession s;
    s.session->device.state.LogIntervalMs = 1;
    ASSERT_TRUE(StartLogging(*s.session, dir.file("long.csv"), {}));
    s.session->logging.LoggedCount = std::numeric_limits<int32_t>::max();
    LogOnce(s);
    LogOnce(s);
    EXPECT_EQ(s.session->logging.LoggedCount, int64_t{std::numeric_limits<int32_t>::max()} + 2);
    EXPECT_EQ(readFile(dir.file("long.csv")),
              std::string(kPreamble) + "Time(s) ,\r\n2147483.647,\r\n2147483.648,\r\n");
}

TEST(LogFile, ARemovedFolderStopsLoggingWithAMessage) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "sub");
    BoardSession s;
    const std::string path = dir.file("sub/log.csv");
    ASSERT_TRUE(StartLogging(*s.session, path, Channels({0})));
    LogOnce(s);
    std::filesystem::remove_all(dir.path() / "sub");

    EXPECT_STREQ(LogOnce(s), "Status");
    EXPECT_FALSE(s.session->logging.LoggingActive);
    EXPECT_EQ(s.session->logging.LoggedCount, 1);
    ASSERT_EQ(s.notifier.messages.size(), 1u);
    const auto& message = s.notifier.messages[0];
    EXPECT_NE(message.text.find("Data logging stopped"), std::string::npos);
    EXPECT_NE(message.text.find(path), std::string::npos);
    EXPECT_EQ(message.icon, Notifier::Icon::Error);
    EXPECT_EQ(s.session->logging.StopError, ENOENT) << "the stop carries its reason";

    // Stopped for good: the next steps neither retry nor repeat the message.
    EXPECT_STREQ(LogOnce(s), "Status");
    EXPECT_EQ(s.notifier.messages.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(LogFile, AFullMediumKeepsEveryEarlierLineWhole) {
    TempDir dir;
    BoardSession s;
    const std::string path = dir.file("full.csv");
    ASSERT_TRUE(StartLogging(*s.session, path, Channels({0, 2, 3, 4, 5, 6})));
    s.session->readings.InternalTemp = 23.25f;
    LogOnce(s);
    LogOnce(s);
    const std::string before = readFile(path);
    {
        // Room for a few bytes of the next line only: the write stops part-way.
        FileSizeLimit limit(before.size() + 5);
        LogOnce(s);
    }
    EXPECT_FALSE(s.session->logging.LoggingActive);
    EXPECT_EQ(readFile(path), before) << "the partial line is cut back off";
    ASSERT_EQ(s.notifier.messages.size(), 1u);
    const std::string& text = s.notifier.messages[0].text;
    EXPECT_NE(text.find("File too large"), std::string::npos) << text;
}

TEST(LogFile, AStartThatCannotWriteLeavesLoggingOff) {
    TempDir dir;
    BoardSession s;
    std::string error;
    EXPECT_FALSE(StartLogging(*s.session, dir.file("missing/log.csv"), {true}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(s.session->logging.LoggingActive);
    EXPECT_EQ(s.session->logging.LogFilePath, dir.file("missing/log.csv"));
    EXPECT_TRUE(s.notifier.messages.empty()) << "starting fails silently; the caller decides";
}

TEST(LogFile, Windows1252TextShownAsUtf8) {
    EXPECT_EQ(Windows1252ToUtf8("Internal(\xB0"
                                "C) ,"),
              "Internal(\xC2\xB0"
              "C) ,");
    EXPECT_EQ(Windows1252ToUtf8("\x80"), "\xE2\x82\xAC");
}

}  // namespace
}  // namespace quarnel::test

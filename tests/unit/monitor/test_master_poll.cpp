// SPDX-License-Identifier: GPL-3.0-or-later
// The polling cycle: which registers each reading takes, the code assembly,
// conversions and rounding, the rate-limited watched register, the status
// text and the logging step.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "MonitorFixture.h"
#include "monitor/LogFile.h"
#include "monitor/MasterPoll.h"

namespace quarnel::test {
namespace {

std::vector<int> ReadIndexes(const RecordingBoard& board) {
    std::vector<int> out;
    for (const auto& call : board.callsTo(222)) {
        EXPECT_EQ(call.direction, kDirectionIn);
        EXPECT_EQ(call.value, 0x148);
        out.push_back(call.lowByteOfIndex());
    }
    return out;
}

TEST(MasterPoll, EveryTickReadsTheLsbThenTheMsbRegisterOfItsReading) {
    BoardSession s;
    MasterPoll poll(*s.session);
    const std::vector<std::pair<int, int>> expected = {
        {0x03, 0x07}, {0x04, 0x08}, {0x03, 0x06}, {0x05, 0x0C}, {0x05, 0x0D}, {0x05, 0x0E},
        {0x05, 0x0F}, {0x00, 0x01}, {0x04, 0x08}, {0x04, 0x09}, {0x04, 0x0A}, {0x04, 0x0B}};
    for (int cycle = 0; cycle < 2; ++cycle) {
        for (int state = 0; state < kPollStates; ++state) {
            s.board.clear();
            EXPECT_EQ(poll.PollState, state);
            poll.Tick();
            const auto indexes = ReadIndexes(s.board);
            ASSERT_EQ(indexes.size(), 2u) << "state " << state;
            EXPECT_EQ(indexes[0], expected[state].first) << "state " << state;
            EXPECT_EQ(indexes[1], expected[state].second) << "state " << state;
            EXPECT_EQ(s.board.calls.size(), 2u) << "no other traffic in a tick";
        }
    }
    EXPECT_EQ(poll.PollState, 0);
}

TEST(MasterPoll, TemperatureCodesAndFahrenheit) {
    BoardSession s;
    MasterPoll poll(*s.session);
    CurrentReadings& r = s.session->readings;

    s.board.registers[0x03] = 0x02;  // bits 1:0 = 2
    s.board.registers[0x07] = 0x19;  // code 102
    poll.Tick();
    EXPECT_FLOAT_EQ(r.InternalTemp, 25.5f);

    s.board.registers[0x04] = 0x03;
    s.board.registers[0x08] = 0xFF;  // code 1023
    poll.Tick();
    EXPECT_FLOAT_EQ(r.ExternalTemp, -0.25f);

    for (int i = 2; i < kPollStates; ++i) poll.Tick();
    s.session->ShowFahrenheit = true;
    poll.Tick();
    EXPECT_FLOAT_EQ(r.InternalTemp, 77.9f);
    poll.Tick();
    EXPECT_FLOAT_EQ(r.ExternalTemp, 31.55f);  // -0.25 C, rounded to 2 decimals
}

TEST(MasterPoll, VoltagesAreRoundedToThreeDecimalsFromTheirOwnBitFields) {
    BoardSession s;
    MasterPoll poll(*s.session);
    CurrentReadings& r = s.session->readings;
    s.board.registers[0x05] = 0b11100100;  // Ain8 3, Ain7 2, Ain6 1, Ain5 0
    for (int reg = 0x0C; reg <= 0x0F; ++reg) s.board.registers[reg] = 100;
    s.board.registers[0x03] = 0b00001000;  // Vdd bits 3:2 = 2
    s.board.registers[0x06] = 128;         // Vdd code 514
    s.board.registers[0x00] = 0x81;
    s.board.registers[0x01] = 0x10;
    for (int i = 0; i < 8; ++i) poll.Tick();
    EXPECT_FLOAT_EQ(r.Vdd, 3.512f);   // 514 x 6.8335 mV = 3.51242 V
    EXPECT_FLOAT_EQ(r.Ain5, 0.891f);  // 400 x 2.28 / 1024 = 0.890625
    EXPECT_FLOAT_EQ(r.Ain6, 0.893f);  // 401: 0.892852
    EXPECT_FLOAT_EQ(r.Ain7, 0.895f);  // 402: 0.895078
    EXPECT_FLOAT_EQ(r.Ain8, 0.897f);  // 403: 0.897305
    EXPECT_EQ(r.IntStatus1, 0x81);
    EXPECT_EQ(r.IntStatus2, 0x10);

    // The 3.3 V reference takes effect on the next reading.
    s.session->device.state.ReferenceVoltage = 3.3f;
    s.board.registers[0x04] = 0b00000100;  // Ain2 field 1
    s.board.registers[0x09] = 128;         // code 513
    poll.Tick();                           // Ain1
    poll.Tick();                           // Ain2
    EXPECT_FLOAT_EQ(r.Ain2, 1.653f);       // 513 x 3.3 / 1024 = 1.65322
}

TEST(MasterPoll, VarnoTemperatureFollowsAin3) {
    BoardSession s;
    MasterPoll poll(*s.session);
    CurrentReadings& r = s.session->readings;
    s.board.registers[0x04] = 0x10;  // Ain3 field 1
    s.board.registers[0x0A] = 0x54;  // code 337: 0.75035 V, stored as 0.75
    for (int i = 0; i < 11; ++i) poll.Tick();
    EXPECT_FLOAT_EQ(r.Ain3, 0.75f);
    EXPECT_NEAR(r.VarnoTemp, 25.0f, 1e-4);

    s.session->ShowFahrenheit = true;
    for (int i = 0; i < kPollStates; ++i) poll.Tick();
    EXPECT_FLOAT_EQ(r.VarnoTemp, 77.0f);
}

TEST(MasterPoll, TheWatchedRegisterIsReadAfterTheReadingAtMostEveryHalfSecond) {
    BoardSession s(5000.0);
    MasterPoll poll(*s.session);
    // Ticks 1/64 s apart (exact in binary).
    const double step = 1.0 / 64;
    for (int i = 0; i < 640; ++i) {
        s.clock.advance(step);
        poll.Tick();
    }
    EXPECT_EQ(poll.LastRegMapRead, 0.0) << "nothing watched, nothing read";

    int reads = 0;
    for (int i = 0; i < 100; ++i) {
        s.clock.advance(step);
        s.board.clear();
        poll.Tick([&] {
            ++reads;
            EXPECT_EQ(ReadIndexes(s.board).size(), 2u) << "the tick's reading comes first";
        });
    }
    // Ticks 1, 34, 67 and 100: 32 ticks are exactly 0.5 s, not more.
    EXPECT_EQ(reads, 4);
    EXPECT_DOUBLE_EQ(poll.LastRegMapRead, s.clock.timeOfDay());
}

TEST(MasterPoll, MidnightMakesTheWatchedReadAndTheLogDueAtOnce) {
    TempDir dir;
    BoardSession s(86400.0 - 0.02);
    MasterPoll poll(*s.session);
    int reads = 0;
    const auto watched = [&reads] { ++reads; };
    s.session->device.state.LogIntervalMs = 60000;
    ASSERT_TRUE(StartLogging(*s.session, dir.file("log.csv"), {true}));

    poll.Tick(watched);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(s.session->logging.LoggedCount, 1);

    s.clock.advance(0.01);  // still before midnight: nothing due
    poll.Tick(watched);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(s.session->logging.LoggedCount, 1);

    s.clock.advance(0.02);  // 00:00:00.01
    ASSERT_LT(s.clock.timeOfDay(), 1.0);
    poll.Tick(watched);
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(s.session->logging.LoggedCount, 2) << "a minute's interval, yet due after midnight";
    EXPECT_DOUBLE_EQ(poll.LastRegMapRead, s.clock.timeOfDay());
}

TEST(MasterPoll, StatusTextFollowsTheLoggingState) {
    TempDir dir;
    BoardSession s;
    MasterPoll poll(*s.session);

    EXPECT_STREQ(poll.Tick(), "Status");

    ASSERT_TRUE(StartLogging(*s.session, dir.file("log.csv"), {true}));
    EXPECT_STREQ(poll.Tick(), "Data Logging Enabled");
    s.clock.advance(0.01);  // not due: the text is left alone
    EXPECT_EQ(poll.Tick(), nullptr);

    StopLogging(*s.session);
    EXPECT_STREQ(poll.Tick(), "Status");
}

TEST(MasterPoll, AFailedReadEndsTheTickThroughTheLinkFailure) {
    TempDir dir;
    BoardSession s;
    MasterPoll poll(*s.session);
    ASSERT_TRUE(StartLogging(*s.session, dir.file("log.csv"), {true}));
    int reads = 0;
    s.board.failAfter(1);
    EXPECT_THROW(poll.Tick([&reads] { ++reads; }), LinkFailure);
    EXPECT_EQ(s.failures, std::vector<int>{3});
    EXPECT_EQ(reads, 0);
    EXPECT_EQ(s.session->logging.LoggedCount, 0);
}

}  // namespace
}  // namespace quarnel::test

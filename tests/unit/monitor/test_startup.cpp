// SPDX-License-Identifier: GPL-3.0-or-later
// The connection sequence against the simulated board: progress, retries,
// the chip search and every way it can fail.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "MonitorFixture.h"
#include "link/BoardSwitches.h"
#include "monitor/MasterPoll.h"
#include "monitor/Startup.h"
#include "sim/SimulatedBoard.h"
#include "support/CountingBoard.h"

namespace quarnel::test {
namespace {

class RecordingProgress : public StartupProgress {
  public:
    int initialWidth = 5415;
    bool shown = false;
    std::vector<double> widths;
    std::vector<std::string> texts;
    std::vector<std::string> statusTexts;

    int initialBarWidthTwips() const override { return initialWidth; }
    void showProgress() override { shown = true; }
    void setBarWidthTwips(double twips) override { widths.push_back(twips); }
    void setProgressText(const std::string& text) override { texts.push_back(text); }
    void setStatusText(const std::string& text) override { statusTexts.push_back(text); }
};

// The half-unit steps of the enumeration pause (between 33 U and 76 U at U = 54).
long EnumerationSteps(const RecordingProgress& progress) {
    return std::count_if(progress.widths.begin(), progress.widths.end(),
                         [](double w) { return w > 33 * 54 && w < 76 * 54; });
}

class Startup : public ::testing::Test {
  protected:
    TempDir dir;
    ManualClock clock{36000.0};
    RecordingNotifier notifier;
    RecordingProgress progress;
    std::vector<int> failures;
    sim::SimOptions options;
    std::unique_ptr<sim::SimulatedBoard> board;
    std::unique_ptr<CountingBoard> counter;
    std::unique_ptr<Session> session;

    void SetUp() override {
        options.statePath = dir.file("board.json");
        options.warn = [](const std::string&) {};
    }
    void makeSession() {
        session.reset();
        counter.reset();
        board = std::make_unique<sim::SimulatedBoard>(options, clock);
        counter = std::make_unique<CountingBoard>(*board);
        session = std::make_unique<Session>(*counter, clock, notifier,
                                            [this](int code) { failures.push_back(code); });
    }
    // Runs the sequence; the failure code, or -1 when it connected.
    int run(bool quick = false) {
        makeSession();
        try {
            RunConnectionSequence(*session, progress, QUARNEL_BIN_DIR, quick);
        } catch (const LinkFailure& failure) {
            EXPECT_EQ(failures, std::vector<int>{failure.code()});
            return failure.code();
        }
        EXPECT_TRUE(failures.empty());
        return -1;
    }
};

TEST_F(Startup, FindsTheChipAt4AAfterTrying48And49) {
    options.chipAddress = 0x4A;
    ASSERT_EQ(run(), -1);
    EXPECT_EQ(session->link.DeviceAddress, 0x4A);
    EXPECT_EQ(session->ChipName, "QUARNEL");
    EXPECT_TRUE(progress.shown);

    // U = 54: 0, then 33 U, half-units up to 50 U, 76 U, 5 U per address tried, 100 U.
    std::vector<double> expected = {0, 1782};
    for (int i = 1; i <= 34; ++i) expected.push_back(1782 + 27.0 * i);
    for (double w : {4104, 4374, 4644, 4914, 5400}) expected.push_back(w);
    EXPECT_EQ(progress.widths, expected);
    EXPECT_EQ(progress.widths[progress.widths.size() - 2], 91 * 54);

    EXPECT_EQ(progress.texts, (std::vector<std::string>{
                                  "Downloading Firmware...", "Enumerating...", "Connecting...",
                                  "Searching for QUARNEL on USB...", "Found an QUARNEL at 4Ah"}));
    EXPECT_EQ(progress.statusTexts, std::vector<std::string>{"Firmware download succesful"});

    // Monitoring started (0x08 written back as 0x09) and the configuration read.
    EXPECT_EQ(board->peekRegister(0x18), 0x09);
    const DeviceState& state = session->device.state;
    EXPECT_EQ(state.ChannelMode, ChannelFunction::AinInputs);
    EXPECT_FLOAT_EQ(state.ReferenceVoltage, 2.28f);
    EXPECT_EQ(state.LogIntervalMs, 250);
    EXPECT_TRUE(state.VarnoOnAin3);
    // The settling delays: 34 x 50 ms, 200 ms, 1 s, 2 s.
    EXPECT_NEAR(clock.monotonic(), 4.9, 1e-9);
}

TEST_F(Startup, QuickSkipsTheDelaysButNotTheStepsNorTheFirstConversions) {
    ASSERT_EQ(run(true), -1);
    // Internal temperature, Vdd and Ain8 (the last of the round) hold readings.
    for (int msb : {0x07, 0x06, 0x0F}) EXPECT_NE(session->link.ReadRegister(0x48, msb), 0) << msb;
    EXPECT_EQ(progress.widths.back(), 5400);
    EXPECT_EQ(progress.texts.back(), "Found an QUARNEL at 48h");
    EXPECT_EQ(EnumerationSteps(progress), 34);
}

TEST_F(Startup, BusSelectionSucceedingOnlyAtTheTwentiethAttemptStillConnects) {
    options.faults.failingBusSelections = 19;
    ASSERT_EQ(run(), -1);
    // 200 ms after each of the 20 attempts: 34 x 50 ms, 20 x 200 ms, 1 s, 2 s.
    EXPECT_NEAR(clock.monotonic(), 8.7, 1e-9);
    EXPECT_EQ(session->link.DeviceAddress, 0x48);
}

TEST_F(Startup, TwentyFailedBusSelectionsEndWithCode2) {
    options.faults.failingBusSelections = 20;
    EXPECT_EQ(run(), 2);
    EXPECT_NEAR(clock.monotonic(), 1.7 + 20 * 0.2, 1e-9) << "20 attempts, then the failure";
    EXPECT_EQ(progress.texts.back(), "Connecting...");
}

TEST_F(Startup, AChipLockedToSpiIsNotFoundAndEndsWithCode2) {
    ASSERT_EQ(run(true), -1);
    // The user switched to SPI: the serial bus no longer reaches the chip.
    BoardLink& link = session->link;
    SelectSpiInterface(link);
    link.SpiMode = true;
    link.ReadRegister(link.DeviceAddress, 0x4E);

    progress = {};
    EXPECT_EQ(run(true), 2);
    EXPECT_EQ(progress.widths.back(), 4104 + 4 * 270) << "all four addresses were tried";
    EXPECT_EQ(progress.texts.back(), "Searching for QUARNEL on USB...");
}

TEST_F(Startup, FirmwareFailureEndsWithCode0BeforeAnyRequest) {
    options.faults.firmwareFails = true;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(counter->requests, 0);
    EXPECT_TRUE(progress.statusTexts.empty());
}

// A download ended by a stop request (the USB board's wait for its return) is a cancel.
TEST_F(Startup, AFirmwareFailureWhileAStopIsRequestedCancelsTheStartup) {
    options.faults.firmwareFails = true;
    makeSession();
    session->link.stopRequested = [] { return true; };
    EXPECT_THROW(RunConnectionSequence(*session, progress, QUARNEL_BIN_DIR, true),
                 StartupCancelled);
    EXPECT_TRUE(failures.empty());
}

TEST_F(Startup, AFirmwareFolderPathTooLongForTheBufferIsAFirmwareFailure) {
    makeSession();
    EXPECT_THROW(RunConnectionSequence(*session, progress, std::string(600, 'x'), true),
                 LinkFailure);
    EXPECT_EQ(failures, std::vector<int>{0});
}

TEST(ProgressUnit, WholeTwipsOverAHundred) {
    EXPECT_EQ(ProgressUnit(5415), 54);
    EXPECT_EQ(ProgressUnit(5449.6), 54);
    EXPECT_EQ(ProgressUnit(5499.5), 55);  // 5500 after rounding
    EXPECT_EQ(ProgressUnit(99), 0);
}

TEST_F(Startup, OneTickOnTheBoardIsTwoRequestsAndReadsPlausibleValues) {
    ASSERT_EQ(run(), -1);
    MasterPoll poll(*session);
    for (int i = 0; i < 2 * kPollStates; ++i) {
        const int before = counter->requests;
        poll.Tick();
        EXPECT_EQ(counter->requests - before, 2);
        clock.advance(0.01);
    }
    const CurrentReadings& r = session->readings;
    EXPECT_GT(r.InternalTemp, 10.0f);
    EXPECT_LT(r.InternalTemp, 50.0f);
    EXPECT_NEAR(r.Vdd, 3.3f, 0.1f);
    EXPECT_NEAR(r.VarnoTemp, (r.Ain3 - 0.5f) / 0.01f, 1e-3);
    EXPECT_EQ(r.IntStatus1, 0) << "no limit is exceeded at a first start";
}

}  // namespace
}  // namespace quarnel::test

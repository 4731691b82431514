// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/BoardSwitches.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/Clock.h"
#include "support/RecordingBoard.h"

namespace quarnel {
namespace {

using test::RecordedCall;
using test::RecordingBoard;

class BoardSwitchesTest : public ::testing::Test {
  protected:
    RecordingBoard board;
    ManualClock clock;
    BoardLink link{board, clock, [](int) {}};

    // Requests as (request, direction, port) in order, to check the read/write sequence.
    std::vector<std::vector<int>> sequence() const {
        std::vector<std::vector<int>> out;
        for (const auto& c : board.calls) out.push_back({c.request, c.direction, c.value});
        return out;
    }
    static int low(const RecordedCall& c) { return c.lowByteOfIndex(); }
    static int high(const RecordedCall& c) { return c.secondByteOfIndex(); }
};

TEST_F(BoardSwitchesTest, SerialBusSelectionClearsOnlyBit2OfPort3) {
    board.ports = {0x11, 0x22, 0x33, 0x44, 0x07, 0xA5};
    EXPECT_EQ(SelectSmbusInterface(link), 0);
    EXPECT_EQ(sequence(), (std::vector<std::vector<int>>{{221, 1, 0}, {221, 0, 3}}));
    const auto w = board.writesTo(221);
    EXPECT_EQ(low(w[0]), 0x03);
    EXPECT_EQ(high(w[0]), 0xA5);
}

TEST_F(BoardSwitchesTest, SerialBusSelectionReturnsThePortWriteStatus) {
    board.failRequest(221);
    EXPECT_NE(SelectSmbusInterface(link), 0);
}

TEST_F(BoardSwitchesTest, SpiSelectionSetsBit2ThenReadsTheAuxiliaryByte) {
    board.ports = {0, 0, 0, 0, 0x03, 0x80};
    EXPECT_EQ(SelectSpiInterface(link), 0);
    EXPECT_EQ(sequence(), (std::vector<std::vector<int>>{{221, 1, 0}, {221, 0, 3}, {218, 1, 0}}));
    const auto w = board.writesTo(221);
    EXPECT_EQ(low(w[0]), 0x07);
    EXPECT_EQ(high(w[0]), 0x80);
}

TEST_F(BoardSwitchesTest, AinSwitchesChangeOnlyBits0And1OfPort3) {
    board.ports = {0, 0, 0, 0, 0x07, 0x5A};
    DisconnectAinSwitches(link);
    EXPECT_EQ(low(board.writesTo(221).back()), 0x04);
    EXPECT_EQ(high(board.writesTo(221).back()), 0x5A);

    board.ports = {0, 0, 0, 0, 0xF4, 0x01};
    ConnectAinSwitches(link);
    EXPECT_EQ(board.writesTo(221).back().value, 3);
    EXPECT_EQ(low(board.writesTo(221).back()), 0xF7);
    EXPECT_EQ(high(board.writesTo(221).back()), 0x01);
}

TEST_F(BoardSwitchesTest, ExternalTempOpensAinSwitchesBeforeClosingDiodeSwitches) {
    board.ports = {0, 0, 0x30, 0xC3, 0x07, 0x3C};
    SwitchToExternalTemp(link);
    EXPECT_EQ(sequence(),
              (std::vector<std::vector<int>>{{221, 1, 0}, {221, 0, 3}, {221, 1, 0}, {221, 0, 2}}));
    const auto w = board.writesTo(221);
    EXPECT_EQ(low(w[0]), 0x04);
    EXPECT_EQ(high(w[0]), 0x3C);
    EXPECT_EQ(low(w[1]), 0x33);
    EXPECT_EQ(high(w[1]), 0xC3);
}

TEST_F(BoardSwitchesTest, AinInputsOpenDiodeSwitchesBeforeClosingAinSwitches) {
    board.ports = {0, 0, 0x33, 0x01, 0x04, 0x02};
    SwitchToAinInputs(link);
    EXPECT_EQ(sequence(),
              (std::vector<std::vector<int>>{{221, 1, 0}, {221, 0, 2}, {221, 1, 0}, {221, 0, 3}}));
    const auto w = board.writesTo(221);
    EXPECT_EQ(low(w[0]), 0x30);
    EXPECT_EQ(high(w[0]), 0x01);
    EXPECT_EQ(low(w[1]), 0x07);
    EXPECT_EQ(high(w[1]), 0x02);
}

TEST_F(BoardSwitchesTest, SecondUpdateSeesTheImageWrittenByTheFirst) {
    // Every update reads the board afresh; the fake applies writes to its image.
    board.ports = {0, 0, 0x03, 0, 0x00, 0};
    SwitchToAinInputs(link);
    EXPECT_EQ(board.ports[2], 0x00);
    EXPECT_EQ(board.ports[4], 0x03);
    SwitchToExternalTemp(link);
    EXPECT_EQ(board.ports[2], 0x03);
    EXPECT_EQ(board.ports[4], 0x00);
}

TEST_F(BoardSwitchesTest, InitBoardSwitchesClearsBits4And5AndConnectsAinOnlyInMode2) {
    board.ports = {0, 0, 0x33, 0x99, 0x00, 0x00};
    EXPECT_EQ(InitBoardSwitches(link, false), 0);
    EXPECT_EQ(sequence(), (std::vector<std::vector<int>>{{221, 1, 0}, {221, 0, 2}}));
    EXPECT_EQ(low(board.writesTo(221)[0]), 0x03);
    EXPECT_EQ(high(board.writesTo(221)[0]), 0x99);

    board.clear();
    board.ports = {0, 0, 0x30, 0x00, 0x00, 0x66};
    InitBoardSwitches(link, true);
    EXPECT_EQ(sequence(),
              (std::vector<std::vector<int>>{{221, 1, 0}, {221, 0, 2}, {221, 1, 0}, {221, 0, 3}}));
    EXPECT_EQ(low(board.writesTo(221)[1]), 0x03);
    EXPECT_EQ(high(board.writesTo(221)[1]), 0x66);

    board.clear();
    InitBoardSwitches(link, false);
    EXPECT_EQ(board.writesTo(221).size(), 1u);
}

TEST_F(BoardSwitchesTest, FailedPortReadStillWritesFromWhatTheBufferHolds) {
    link.LinkBuffer.fill(0);
    link.LinkBuffer[4] = 0x0F;
    link.LinkBuffer[5] = 0x12;
    board.failRequest(221);
    EXPECT_NE(SelectSmbusInterface(link), 0);
    ASSERT_EQ(board.calls.size(), 2u);
    EXPECT_EQ(board.calls[1].lowByteOfIndex(), 0x0B);
    EXPECT_EQ(board.calls[1].secondByteOfIndex(), 0x12);
}

}  // namespace
}  // namespace quarnel

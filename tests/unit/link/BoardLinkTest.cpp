// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/BoardLink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Clock.h"
#include "link/LinkFailure.h"
#include "support/RecordingBoard.h"

namespace quarnel {
namespace {

using test::RecordingBoard;

class BoardLinkTest : public ::testing::Test {
  protected:
    RecordingBoard board;
    ManualClock clock;
    std::vector<int> failures;
    BoardLink link{board, clock, [this](int code) { failures.push_back(code); }};
};

TEST_F(BoardLinkTest, SerialBusReadEncodesDeviceAddressInValue) {
    board.registers[0x4E] = 0x41;
    EXPECT_EQ(link.ReadRegister(0x4A, 0x4E), 0x41);
    ASSERT_EQ(board.calls.size(), 1u);
    const auto& c = board.calls[0];
    EXPECT_EQ(c.request, 222);
    EXPECT_EQ(c.value, 0x014A);
    EXPECT_EQ(c.index, 0x004E);
    EXPECT_EQ(c.direction, 1);
    EXPECT_EQ(c.length, 1);
    EXPECT_EQ(link.LinkBuffer[0], 0x41);
}

TEST_F(BoardLinkTest, SpiReadPutsRegisterInValueAndWriteKeepsDeviceAddress) {
    link.SpiMode = true;
    link.ReadRegister(0x48, 0x4E);
    link.WriteRegister(0x48, 0x18, 0x01);
    ASSERT_EQ(board.calls.size(), 2u);
    EXPECT_EQ(board.calls[0].value, 0x024E);
    EXPECT_EQ(board.calls[0].index, 0x004E);
    EXPECT_EQ(board.calls[1].request, 222);
    EXPECT_EQ(board.calls[1].value, 0x0248);
    EXPECT_EQ(board.calls[1].index, 0x0118);
    EXPECT_EQ(board.calls[1].direction, 0);
    EXPECT_EQ(board.calls[1].length, 0);
}

TEST_F(BoardLinkTest, SerialBusWriteCarriesRegisterAndDataInIndex) {
    EXPECT_EQ(link.WriteRegister(0x4A, 0x18, 0x09), 0);
    ASSERT_EQ(board.calls.size(), 1u);
    EXPECT_EQ(board.calls[0].value, 0x014A);
    EXPECT_EQ(board.calls[0].index, 0x0918);
    EXPECT_EQ(board.registers[0x18], 0x09);
}

TEST_F(BoardLinkTest, WriteClampsAboveByteAndWritesBackIntoCallersVariable) {
    int32_t value = 300;
    link.WriteRegister(0x48, 0x23, value);
    EXPECT_EQ(value, 255);
    EXPECT_EQ(board.calls.back().secondByteOfIndex(), 255);
    EXPECT_EQ(board.calls.back().index, 0xFF23);

    int32_t exact = 255;
    link.WriteRegister(0x48, 0x23, exact);
    EXPECT_EQ(exact, 255);
}

TEST_F(BoardLinkTest, NegativeValuePassesUnchangedAsTwosComplementByte) {
    int32_t value = -55;
    link.WriteRegister(0x48, 0x26, value);
    EXPECT_EQ(value, -55);
    const auto& c = board.calls.back();
    EXPECT_EQ(c.lowByteOfIndex(), 0x26);
    EXPECT_EQ(c.secondByteOfIndex(), 0xC9);
    EXPECT_EQ(c.index, -55 * 256 + 0x26);
}

TEST_F(BoardLinkTest, RegisterWrittenHookRunsOnlyAfterSuccessfulWrite) {
    std::vector<int32_t> hooked;
    size_t callsWhenHooked = 0;
    link.registerWritten = [&](int32_t reg, int32_t) {
        hooked.push_back(reg);
        callsWhenHooked = board.calls.size();
    };
    link.WriteRegister(0x48, 0x1A, 0x10);
    EXPECT_EQ(hooked, std::vector<int32_t>{0x1A});
    EXPECT_EQ(callsWhenHooked, 1u);  // the write was on the wire before the hook ran

    board.failRequest(222);
    EXPECT_THROW(link.WriteRegister(0x48, 0x1D, 0x01), LinkFailure);
    EXPECT_EQ(hooked, std::vector<int32_t>{0x1A});
    EXPECT_EQ(failures, std::vector<int>{kCommsInterrupted});
}

TEST_F(BoardLinkTest, FailedReadReportsCommsInterruptedAndNeverReturns) {
    board.failAfter(0);
    try {
        link.ReadRegister(0x48, 0x07);
        FAIL() << "a failed read returned";
    } catch (const LinkFailure& e) {
        EXPECT_EQ(e.code(), kCommsInterrupted);
        EXPECT_STREQ(e.what(), "Communications Interrupted - Check USB connections");
    }
    EXPECT_EQ(failures, std::vector<int>{3});
}

TEST_F(BoardLinkTest, ReportLinkFailureCallsHandlerThenThrowsForEveryCode) {
    const std::vector<std::pair<int, std::string>> cases = {
        {0, "Firmware failed to download - Check USB connections"},
        {2,
         "Initial Connection Failed - If the device has previously \r\nbeen set up for SPI "
         "communications then \r\ndisconnect and re-connect the board"},
        {3, "Communications Interrupted - Check USB connections"},
    };
    for (const auto& [code, message] : cases) {
        failures.clear();
        EXPECT_EQ(LinkFailureMessage(code), message);
        try {
            link.ReportLinkFailure(code);
            FAIL() << "ReportLinkFailure returned for code " << code;
        } catch (const LinkFailure& e) {
            EXPECT_EQ(e.code(), code);
            EXPECT_EQ(std::string(e.what()), message);
        }
        EXPECT_EQ(failures, std::vector<int>{code});
    }
}

TEST_F(BoardLinkTest, PortAndAuxiliaryRequestsEncodeAndReturnStatus) {
    board.ports = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(link.ReadPorts(), 0);
    EXPECT_EQ(board.calls.back().request, 221);
    EXPECT_EQ(board.calls.back().value, 0);
    EXPECT_EQ(board.calls.back().index, 0);
    EXPECT_EQ(board.calls.back().direction, 1);
    EXPECT_EQ(board.calls.back().length, 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(link.LinkBuffer[i], i + 1);

    EXPECT_EQ(link.WritePort(3, 0x07, 0xA5), 0);
    EXPECT_EQ(board.calls.back().value, 3);
    EXPECT_EQ(board.calls.back().index, 0xA507);
    EXPECT_EQ(board.calls.back().direction, 0);
    EXPECT_EQ(board.calls.back().length, 0);

    link.ReadAuxiliaryByte();
    EXPECT_EQ(board.calls.back().request, 218);
    EXPECT_EQ(board.calls.back().direction, 1);
    EXPECT_EQ(board.calls.back().length, 1);

    // Port requests hand their failure back; they never end the program.
    board.failRequest(221);
    EXPECT_NE(link.WritePort(3, 0, 0), 0);
    EXPECT_NE(link.ReadPorts(), 0);
    EXPECT_TRUE(failures.empty());
}

TEST_F(BoardLinkTest, DownloadFirmwarePassesProgramDirectoryPathAndStatus) {
    board.firmwareStatus = -7;
    EXPECT_EQ(link.DownloadFirmware("/opt/quarnel/bin"), -7);
    EXPECT_EQ(link.FirmwarePath, "/opt/quarnel/bin/QUARNELFW.Hex");
    ASSERT_EQ(board.firmwarePaths.size(), 1u);
    EXPECT_EQ(board.firmwarePaths[0], "/opt/quarnel/bin/QUARNELFW.Hex");
    EXPECT_EQ(link.PathBuffer[link.FirmwarePath.size()], 0);
}

TEST_F(BoardLinkTest, DownloadFirmwareKeepsNonAsciiFolderBytes) {
    const std::string dir =
        "/home/j\xC3\xBCrgen/Gr\xC3\xB6\xC3\x9F"
        "e";
    EXPECT_EQ(link.DownloadFirmware(dir), 0);
    ASSERT_EQ(board.firmwarePaths.size(), 1u);
    EXPECT_EQ(board.firmwarePaths[0], dir + "/QUARNELFW.Hex");
}

TEST_F(BoardLinkTest, PathLongerThan512BytesFailsWithNothingSent) {
    // 512 bytes fit exactly with the terminating zero.
    const std::string fits(512, 'a');
    EXPECT_TRUE(link.FillPathBuffer(fits));
    EXPECT_EQ(link.PathBuffer[511], 'a');
    EXPECT_EQ(link.PathBuffer[512], 0);
    EXPECT_FALSE(link.FillPathBuffer(std::string(513, 'b')));
    EXPECT_EQ(link.PathBuffer[0], 'a');  // untouched

    const std::string longDir = "/" + std::string(500, 'd');
    EXPECT_LT(link.DownloadFirmware(longDir), 0);
    EXPECT_TRUE(board.firmwarePaths.empty());
    EXPECT_TRUE(board.calls.empty());
}

TEST_F(BoardLinkTest, EmptyPathIsASingleZeroByte) {
    link.PathBuffer.fill(0x55);
    EXPECT_TRUE(link.FillPathBuffer(""));
    EXPECT_EQ(link.PathBuffer[0], 0);
    EXPECT_EQ(link.PathBuffer[1], 0x55);
}

TEST_F(BoardLinkTest, DelayMsWaitsOnMonotonicTimeAcrossMidnight) {
    clock.setTimeOfDay(kSecondsPerDay - 0.02);  // 20 ms before midnight
    const double start = clock.monotonic();
    link.DelayMs(50);
    EXPECT_GE(clock.monotonic() - start, 0.050 - 1e-9);
    EXPECT_LT(clock.monotonic() - start, 0.051);
    EXPECT_NEAR(clock.timeOfDay(), 0.03, 1e-6);  // passed midnight and still ended
}

TEST_F(BoardLinkTest, DelayMsOfZeroOrLessReturnsAtOnce) {
    link.DelayMs(0);
    link.DelayMs(-5);
    EXPECT_EQ(clock.monotonic(), 0.0);
}

}  // namespace
}  // namespace quarnel

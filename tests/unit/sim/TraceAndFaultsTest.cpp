// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimTestSupport.h"
#include "link/BoardLink.h"
#include "link/BoardSwitches.h"
#include "link/TracingBoard.h"

namespace quarnel::sim::test {
namespace {

using TraceTest = SimTest;
using FaultTest = SimTest;

TEST_F(TraceTest, OneLinePerCallInTheDocumentedFormatAppended) {
    const auto tracePath = dir / "trace.txt";
    writeFile(tracePath, "earlier run\n");
    auto o = options();
    o.chipAddress = 0x4A;
    o.faults.cableAfter = 6;
    {
        SimulatedBoard simulated(o, clock);
        TracingBoard board(simulated, tracePath.string(), o.warn);
        uint8_t byte = 0;
        board.VendorIORequest(222, 0x14A, 0x4E, 1, 1, &byte);  // before the firmware
        const std::string firmware = shippedFirmware();
        board.LoadFirmWare(firmware.c_str());
        board.LoadFirmWare((dir / "missing.hex").c_str());
        board.LoadFirmWare(firmware.c_str());
        readReg(board, 0x4E, 0x4A);
        writeReg(board, 0x18, 0x09, 0x4A);
        writeReg(board, 0x26, -55, 0x4A);
        uint8_t image[6];
        board.VendorIORequest(221, 0, 0, 1, 6, image);
        board.VendorIORequest(218, 0, 0, 1, 0, image);
        board.VendorIORequest(221, 0, 0, 1, 6, image);  // the cable is out by now
        board.note("the board's diagnostic");
    }
    const std::string expected =
        "earlier run\n"
        "222 0x0000014A 0x0000004E 1 1 -> " +
        std::to_string(kNotReady) +
        "\n"
        "LoadFirmWare \"" +
        shippedFirmware() +
        "\" -> 0\n"
        "LoadFirmWare \"" +
        (dir / "missing.hex").string() + "\" -> " + std::to_string(kFirmwareUnreadable) +
        "\n"
        "LoadFirmWare \"" +
        shippedFirmware() +
        "\" -> 0\n"
        "222 0x0000014A 0x0000004E 1 1 -> 0 41\n"
        "222 0x0000014A 0x00000918 0 0 -> 0\n"
        "222 0x0000014A 0xFFFFC926 0 0 -> 0\n"
        "221 0x00000000 0x00000000 1 6 -> 0 00 00 30 00 00 00\n"
        "218 0x00000000 0x00000000 1 0 -> 0\n"
        "221 0x00000000 0x00000000 1 6 -> " +
        std::to_string(kCablePulled) + "\n# the board's diagnostic\n";
    EXPECT_EQ(readFile(tracePath), expected);
}

TEST_F(TraceTest, UnopenableTraceFileIsAWarningOnly) {
    auto simulated = makeBoard();
    TracingBoard board(*simulated, (dir / "no-such-folder" / "trace.txt").string(), options().warn);
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_EQ(readReg(board, 0x4E), 0x41);
}

TEST_F(FaultTest, FirmwareFaultLeavesTheBoardDead) {
    auto o = options();
    o.faults.firmwareFails = true;
    SimulatedBoard board(o, clock);
    EXPECT_EQ(board.LoadFirmWare(shippedFirmware().c_str()), kFirmwareFault);
    EXPECT_FALSE(board.firmwareRunning());
    EXPECT_NE(writeReg(board, 0x25, 0x01), 0);
    EXPECT_EQ(board.peekRegister(0x25), 0x64);
}

TEST_F(FaultTest, FirstBusSelectionsFailThenSucceed) {
    // A selection is a port 3 write with bit 2 clear; the start-up retry loop sees these.
    auto o = options();
    o.faults.failingBusSelections = 3;
    auto board = makeBoard(o);
    BoardLink link(*board, clock, [](int) {});
    EXPECT_EQ(writePort(*board, 3, 0x05), 0);  // SPI selected: not a serial-bus selection
    for (int attempt = 1; attempt <= 3; ++attempt) {
        EXPECT_EQ(SelectSmbusInterface(link), kBusSelectFault) << attempt;
        EXPECT_EQ(board->portImage()[4], 0x05);  // a failed selection changes nothing
    }
    EXPECT_EQ(SelectSmbusInterface(link), 0);
    EXPECT_EQ(board->portImage()[4], 0x01);
    EXPECT_EQ(SelectSmbusInterface(link), 0);
}

TEST_F(FaultTest, PulledCableFailsEveryRequestAfterN) {
    auto o = options();
    o.faults.cableAfter = 4;
    auto board = makeBoard(o);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(readReg(*board, 0x4E), 0x41);
    uint8_t byte = 0x77;
    EXPECT_EQ(board->VendorIORequest(222, 0x148, 0x4E, 1, 1, &byte), kCablePulled);
    EXPECT_EQ(byte, 0x77);
    EXPECT_EQ(writePort(*board, 3, 0x04), kCablePulled);
    EXPECT_EQ(board->portImage()[4], 0x00);
    EXPECT_EQ(board->LoadFirmWare(shippedFirmware().c_str()), kCablePulled);

    std::vector<int> failures;
    BoardLink link(*board, clock, [&](int code) { failures.push_back(code); });
    EXPECT_THROW(link.ReadRegister(0x48, 0x4E), LinkFailure);
    EXPECT_EQ(failures, std::vector<int>{kCommsInterrupted});
}

TEST_F(FaultTest, EveryRequestSpendsTheLatencyOnTheClock) {
    auto o = options();
    o.latencyMs = 2.5;
    SimulatedBoard board(o, clock);
    EXPECT_NE(writePort(board, 1, 0), 0);  // refused for want of firmware, as slowly
    EXPECT_EQ(board.LoadFirmWare(shippedFirmware().c_str()), 0);
    EXPECT_DOUBLE_EQ(clock.monotonic(), 2 * 0.0025);
}

TEST_F(FaultTest, StallTimesOutOnlyTheFirstRequestAtOrAfterItsTime) {
    auto o = options();
    o.requireFirmware = false;
    // A request every 0.5 s from the opening; the clock runs on between boards.
    for (const auto& [after, stalled] :
         std::vector<std::pair<double, int>>{{0, 0}, {1, 2}, {1.2, 3}}) {
        o.faults.stallAfter = after;
        SimulatedBoard board(o, clock);
        for (int i = 0; i < 5; ++i, clock.advance(0.5)) {
            const double start = clock.monotonic();
            EXPECT_EQ(writePort(board, 1, 0), i == stalled ? kTransferTimedOut : 0)
                << after << ' ' << i;
            EXPECT_DOUBLE_EQ(clock.monotonic() - start, i == stalled ? 1.0 : 0.0);
        }
    }
}

}  // namespace
}  // namespace quarnel::sim::test

// SPDX-License-Identifier: GPL-3.0-or-later
#include <array>

#include "SimTestSupport.h"
#include "link/BoardLink.h"
#include "link/BoardSwitches.h"

namespace quarnel::sim::test {
namespace {

using BusRoutingTest = SimTest;

TEST_F(BusRoutingTest, NothingAnswersBeforeTheFirmwareRuns) {
    SimulatedBoard board(options(), clock);
    uint8_t byte = 0x5A;
    EXPECT_EQ(board.VendorIORequest(222, 0x148, 0x4E, 1, 1, &byte), kNotReady);
    EXPECT_EQ(byte, 0x5A);
    EXPECT_EQ(board.LoadFirmWare(shippedFirmware().c_str()), 0);
    EXPECT_EQ(board.VendorIORequest(222, 0x148, 0x4E, 1, 1, &byte), 0);
    EXPECT_EQ(byte, 0x41);
}

TEST_F(BusRoutingTest, SerialBusReachesOnlyTheChipsAddress) {
    auto o = options();
    o.chipAddress = 0x4A;
    auto board = makeBoard(o);
    EXPECT_EQ(readReg(*board, 0x4E, 0x48), 0xFF);
    EXPECT_EQ(readReg(*board, 0x4E, 0x4B), 0xFF);
    EXPECT_EQ(readReg(*board, 0x4E, 0x4A), 0x41);
    EXPECT_EQ(writeReg(*board, 0x25, 0x11, 0x49), 0);  // completes, changes nothing
    EXPECT_EQ(board->peekRegister(0x25), 0x64);
    EXPECT_EQ(writeReg(*board, 0x25, 0x11, 0x4A), 0);
    EXPECT_EQ(board->peekRegister(0x25), 0x11);
}

TEST_F(BusRoutingTest, WriteIndexCarriesRegisterAndDataBytesOnly) {
    auto board = makeBoard();
    writeReg(*board, 0x26, -55);  // two's complement in the second byte
    EXPECT_EQ(board->peekRegister(0x26), 0xC9);
    uint8_t zero = 0;
    board->VendorIORequest(222, 0x148, 0x7F001234, 0, 0, &zero);  // higher bits ignored
    EXPECT_EQ(board->peekRegister(0x34), 0x12);
}

TEST_F(BusRoutingTest, Port3Bit2RoutesBetweenSerialBusAndSpi) {
    auto board = makeBoard();
    // SPI while the serial bus is selected: nothing reached, no lock.
    EXPECT_EQ(readReg(*board, 0x4E, 0x48, 2), 0xFF);
    EXPECT_EQ(writeReg(*board, 0x25, 0x22, 0x48, 2), 0);
    EXPECT_EQ(board->peekRegister(0x25), 0x64);
    EXPECT_FALSE(board->spiLocked());

    writePort(*board, 3, 0x04);
    EXPECT_EQ(readReg(*board, 0x4E), 0xFF);  // serial bus cut off
    EXPECT_FALSE(board->spiLocked());
    EXPECT_EQ(readReg(*board, 0x4E, 0x48, 2), 0x41);
    EXPECT_TRUE(board->spiLocked());
    EXPECT_EQ(readReg(*board, 0x7F, 0x48, 2), 0x01);
    EXPECT_EQ(writeReg(*board, 0x25, 0x22, 0x48, 2), 0);
    EXPECT_EQ(board->peekRegister(0x25), 0x22);

    // Back to the serial bus: the chip no longer listens there.
    writePort(*board, 3, 0x00);
    EXPECT_EQ(readReg(*board, 0x4E), 0xFF);
    // A reset keeps the lock; only power does.
    writePort(*board, 3, 0x04);
    writeReg(*board, 0x19, 0x80, 0x48, 2);
    writePort(*board, 3, 0x00);
    EXPECT_EQ(readReg(*board, 0x4E), 0xFF);

    board->powerCycle();
    EXPECT_EQ(board->LoadFirmWare(shippedFirmware().c_str()), 0);
    EXPECT_EQ(readReg(*board, 0x4E), 0x41);
    EXPECT_FALSE(board->spiLocked());
}

TEST_F(BusRoutingTest, PortsAndAuxiliaryRequest) {
    auto board = makeBoard();
    std::array<uint8_t, 8> image{};
    image.fill(0xEE);
    EXPECT_EQ(board->VendorIORequest(221, 0, 0, 1, 6, image.data()), 0);
    EXPECT_EQ((std::array<uint8_t, 8>{0, 0, 0x30, 0, 0, 0, 0xEE, 0xEE}), image);

    EXPECT_EQ(writePort(*board, 2, 0x03, 0xA5), 0);
    EXPECT_EQ(writePort(*board, 1, 0x11, 0x22), 0);
    EXPECT_EQ(board->portImage(), (PortImage{0x11, 0x22, 0x03, 0xA5, 0, 0}));
    EXPECT_EQ(writePort(*board, 4, 0x01), kBadRequest);
    EXPECT_EQ(writePort(*board, 0, 0x01), kBadRequest);

    uint8_t aux = 0;
    EXPECT_EQ(board->VendorIORequest(218, 0, 0, 1, 1, &aux), 0);
    EXPECT_EQ(aux, kAuxiliaryByte);
    EXPECT_EQ(board->VendorIORequest(200, 0, 0, 1, 1, &aux), kBadRequest);
    EXPECT_EQ(board->VendorIORequest(222, 0x148, 0, 1, 1, nullptr), kBadRequest);
    EXPECT_EQ(board->VendorIORequest(222, 0x148, 0, 7, 0, &aux), kBadRequest);
}

// The whole start-up conversation through the board link, as the programs hold it.
TEST_F(BusRoutingTest, StartUpSequenceThroughTheBoardLink) {
    auto o = options();
    o.chipAddress = 0x4B;
    SimulatedBoard board(o, clock);
    std::vector<int> failures;
    BoardLink link(board, clock, [&](int code) { failures.push_back(code); });

    ASSERT_EQ(link.DownloadFirmware(QUARNEL_BIN_DIR), 0);
    ASSERT_EQ(SelectSmbusInterface(link), 0);
    for (int address = 0x48; address <= 0x4B; ++address) {
        if (link.ReadRegister(address, 0x4E) == 0x41) {
            link.DeviceAddress = address;
            break;
        }
    }
    ASSERT_EQ(link.DeviceAddress, 0x4B);
    int32_t config = link.ReadRegister(0x4B, 0x18) | 0x01;
    link.WriteRegister(0x4B, 0x18, config);
    SwitchToAinInputs(link);
    InitBoardSwitches(link, true);
    link.DelayMs(2000);

    const int lsb = link.ReadRegister(0x4B, 0x03);
    const int msb = link.ReadRegister(0x4B, 0x07);
    const double internal = (msb * 4 + (lsb & 3)) / 4.0;
    EXPECT_GT(internal, 15.0);
    EXPECT_LT(internal, 40.0);
    EXPECT_EQ(board.portImage()[2] & 0x33, 0x00);
    EXPECT_EQ(board.portImage()[4] & 0x07, 0x03);
    const int ain1 = link.ReadRegister(0x4B, 0x08) * 4 + (link.ReadRegister(0x4B, 0x04) & 3);
    EXPECT_NEAR(ain1 * 2.28 / 1024, 0.8, 0.02);

    // Over to SPI, as the configuration window does it.
    link.SpiMode = true;
    SelectSpiInterface(link);
    EXPECT_EQ(link.ReadRegister(0x4B, 0x7F), 0x01);
    int32_t high = 0x50;
    link.WriteRegister(0x4B, 0x25, high);
    EXPECT_EQ(board.peekRegister(0x25), 0x50);
    EXPECT_TRUE(failures.empty());
}

}  // namespace
}  // namespace quarnel::sim::test

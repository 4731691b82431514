// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>

#include "SimTestSupport.h"

namespace quarnel::sim::test {
namespace {

// How the program turns codes back into units; written here from the documented
// constants so the chip's transfer functions are checked against them.
double tempFromCode(int code) {
    return ((code & 0x200) ? (code & 0x1FF) - 512 : code) / 4.0;
}
double vddFromCode(int code) {
    return 2.25 / 1024 * 3.11 * code;
}
double ainFromCode(int code, double ref) {
    return ref / 1024 * code;
}

class ChipModelTest : public SimTest {
  protected:
    void SetUp() override {
        board = makeBoard();
        board->setInputs([this](double) { return inputs; });
    }
    // Monitoring on in Ain mode with both Ain switches closed, then one second of
    // conversions.
    void startMonitoring(int config1 = 0x09) {
        writePort(*board, 3, 0x03);
        writeReg(*board, 0x18, config1);
        settle();
    }
    void settle(double seconds = 1.0) {
        clock.advance(seconds);
        board->interruptPinActive();  // brings the conversions up to date
    }

    AnalogInputs inputs = fixedInputs();
    std::unique_ptr<SimulatedBoard> board;
};

TEST_F(ChipModelTest, PowerOnValues) {
    EXPECT_EQ(board->peekRegister(0x18), 0x08);
    EXPECT_EQ(board->peekRegister(0x19), 0x00);
    EXPECT_EQ(board->peekRegister(0x1A), 0x00);
    EXPECT_EQ(board->peekRegister(0x4E), 0x41);
    EXPECT_EQ(board->peekRegister(0x4D), kDeviceIdValue);
    EXPECT_EQ(board->peekRegister(0x4F), kRevisionValue);
    EXPECT_EQ(board->peekRegister(0x1D), 0);
    EXPECT_EQ(board->peekRegister(0x1F), 0);
    EXPECT_EQ(board->peekRegister(0x7F), 0);
    EXPECT_EQ(readReg(*board, 0x4E), 0x41);
}

TEST_F(ChipModelTest, NoConversionsUntilMonitoringAndNoneInPowerDown) {
    settle(5);
    EXPECT_EQ(board->peekRegister(0x07), 0);
    writeReg(*board, 0x18, 0x89);  // MON with PD
    settle(5);
    EXPECT_EQ(board->peekRegister(0x07), 0);
    writeReg(*board, 0x18, 0x09);
    settle(0.001);  // less than one conversion
    EXPECT_EQ(board->peekRegister(0x07), 0);
    settle(1);
    EXPECT_NE(board->peekRegister(0x07), 0);
    const uint8_t frozen = board->peekRegister(0x07);
    writeReg(*board, 0x18, 0x08);  // monitoring off: results stay as they were
    inputs.dieTemp = 50;
    settle(5);
    EXPECT_EQ(board->peekRegister(0x07), frozen);
}

TEST_F(ChipModelTest, CodesFollowTheTransferFunctions) {
    startMonitoring();
    // 25.5 degrees C: code 102, MSB 0x19 and low bits 2.
    EXPECT_EQ(readReg(*board, 0x03) & 0x03, 0x02);
    EXPECT_EQ(readReg(*board, 0x07), 0x19);
    EXPECT_EQ(code(*board, 0x03, 0, 0x07), 102);

    const int vdd = code(*board, 0x03, 2, 0x06);
    EXPECT_NEAR(vddFromCode(vdd), 3.3, vddFromCode(1) / 2);

    const int ainShift[] = {0, 2, 4, 6, 0, 2, 4, 6};
    for (int i = 0; i < 8; ++i) {
        const int lsb = i < 4 ? 0x04 : 0x05;
        const int c = code(*board, lsb, ainShift[i], 0x08 + i);
        EXPECT_NEAR(ainFromCode(c, 2.28), inputs.ain[i], ainFromCode(1, 2.28) / 2)
            << "Ain" << i + 1;
    }

    writeReg(*board, 0x1A, 0x10);  // Vdd as the Ain reference
    settle();
    for (int i = 0; i < 8; ++i) {
        const int lsb = i < 4 ? 0x04 : 0x05;
        const int c = code(*board, lsb, ainShift[i], 0x08 + i);
        EXPECT_NEAR(ainFromCode(c, 3.3), inputs.ain[i], ainFromCode(1, 3.3) / 2) << "Ain" << i + 1;
    }
}

TEST_F(ChipModelTest, TemperaturesAreTwosComplementWithOffsets) {
    inputs.dieTemp = -12.5;
    startMonitoring();
    EXPECT_EQ(code(*board, 0x03, 0, 0x07), 0x3CE);
    EXPECT_DOUBLE_EQ(tempFromCode(0x3CE), -12.5);

    inputs.dieTemp = 25.0;
    writeReg(*board, 0x1F, 0xFC);  // -4 steps: one degree down
    settle();
    EXPECT_DOUBLE_EQ(tempFromCode(code(*board, 0x03, 0, 0x07)), 24.0);

    // The external diode, with its own offset register.
    writePort(*board, 2, 0x03);
    writeReg(*board, 0x18, 0x0D);
    writeReg(*board, 0x20, 0x02);
    settle();
    EXPECT_DOUBLE_EQ(tempFromCode(code(*board, 0x04, 0, 0x08)), 30.75);

    inputs.dieTemp = 200;  // beyond the range: the top code, never a wrapped one
    writeReg(*board, 0x1F, 0x00);
    settle();
    EXPECT_EQ(code(*board, 0x03, 0, 0x07), 0x1FF);
}

TEST_F(ChipModelTest, LsbReadLatchesMsbsUntilTheyAreRead) {
    startMonitoring();
    readReg(*board, 0x03);
    inputs.dieTemp = 60.0;
    inputs.vdd = 3.0;
    settle();
    EXPECT_EQ(board->peekRegister(0x07), 240 >> 2);  // the chip has a new result
    EXPECT_EQ(readReg(*board, 0x07), 0x19);          // the reader still gets the old one
    EXPECT_EQ(readReg(*board, 0x07), 240 >> 2);      // until it has read it once
    // Vdd's MSB was held by the same LSB read, and is released only by its own read.
    EXPECT_NEAR(vddFromCode(readReg(*board, 0x06) * 4), 3.3, 0.03);
    EXPECT_NEAR(vddFromCode(readReg(*board, 0x06) * 4), 3.0, 0.03);
    EXPECT_EQ(code(*board, 0x03, 0, 0x07), 240);
}

TEST_F(ChipModelTest, StatusBitsLatchUntilTheirRegisterIsRead) {
    startMonitoring();
    EXPECT_EQ(readReg(*board, 0x00), 0);
    EXPECT_EQ(readReg(*board, 0x01), 0);

    writeReg(*board, 0x25, 20);    // internal high 20 degrees: 25.5 is above
    writeReg(*board, 0x2C, 0x40);  // Ain2 low code 256 (0.57 V): 0.45 V is below
    writeReg(*board, 0x2D, 0x40);  // Ain3 high: 0.745 V is above
    writeReg(*board, 0x2F, 0x40);  // Ain4 high
    writeReg(*board, 0x27, 0x10);  // Ain1 high code 64 (0.14 V)
    writeReg(*board, 0x31, 0x10);  // Ain5 high
    writeReg(*board, 0x38, 0xFF);  // Ain8 low
    writeReg(*board, 0x24, 0xC0);  // Vdd low 5.2 V
    settle();
    inputs.dieTemp = 25.0;  // back in range: the latch still holds
    writeReg(*board, 0x25, 100);
    settle();
    EXPECT_EQ(readReg(*board, 0x00), 0x01 | 0x04 | 0x20 | 0x40 | 0x80);
    EXPECT_EQ(readReg(*board, 0x01), 0x01 | 0x08 | 0x10);
    // Read clears; the conversions still out of limits set their bits again.
    EXPECT_EQ(board->peekRegister(0x00), 0);
    settle();
    EXPECT_EQ(readReg(*board, 0x00), 0x04 | 0x20 | 0x40 | 0x80);

    writeReg(*board, 0x26, 30);  // internal low 30 degrees
    settle();
    EXPECT_EQ(readReg(*board, 0x00) & 0x03, 0x02);
}

TEST_F(ChipModelTest, ExternalLimitsAndFaultInDiodeMode) {
    writePort(*board, 2, 0x03);  // diode switches closed
    startMonitoring(0x0D);
    EXPECT_EQ(readReg(*board, 0x00), 0);
    writeReg(*board, 0x27, 30);  // high 30 degrees: 30.25 is above
    settle();
    EXPECT_EQ(readReg(*board, 0x00), 0x04);
    writeReg(*board, 0x27, 127);
    writeReg(*board, 0x28, 31);
    settle();
    EXPECT_EQ(readReg(*board, 0x00), 0x08);
    writeReg(*board, 0x28, 0);

    writePort(*board, 2, 0x01);  // one diode switch open: no diode on the pins
    settle();
    EXPECT_EQ(readReg(*board, 0x00), 0x10);
    EXPECT_EQ(code(*board, 0x04, 0, 0x08), 0x200);
    EXPECT_DOUBLE_EQ(tempFromCode(0x200), -128.0);
}

TEST_F(ChipModelTest, PinFunctionAndAinSwitches) {
    writePort(*board, 2, 0x03);
    startMonitoring(0x0D);  // bits 2:1 = 10: external diode
    EXPECT_DOUBLE_EQ(tempFromCode(code(*board, 0x04, 0, 0x08)), 30.25);

    writeReg(*board, 0x18, 0x0B);  // 01: invalid, works as Ain1/Ain2
    settle();
    EXPECT_NEAR(ainFromCode(code(*board, 0x04, 0, 0x08), 2.28), 0.8, 0.002);
    writeReg(*board, 0x18, 0x0F);  // 11: the same
    settle();
    EXPECT_NEAR(ainFromCode(code(*board, 0x04, 2, 0x09), 2.28), 0.45, 0.002);

    writePort(*board, 3, 0x00);  // Ain switches open: nothing on Ain1 and Ain2
    settle();
    EXPECT_EQ(code(*board, 0x04, 0, 0x08), 0);
    EXPECT_EQ(code(*board, 0x04, 2, 0x09), 0);
    EXPECT_GT(code(*board, 0x04, 4, 0x0A), 0);  // Ain3 has no switch

    writePort(*board, 3, 0x02);  // only Ain2's switch closed
    settle();
    EXPECT_EQ(code(*board, 0x04, 0, 0x08), 0);
    EXPECT_GT(code(*board, 0x04, 2, 0x09), 0);
}

TEST_F(ChipModelTest, InterruptPinFollowsUnmaskedStatusAndEnable) {
    startMonitoring();
    EXPECT_FALSE(board->interruptPinActive());
    writeReg(*board, 0x25, 20);  // INHI keeps setting
    settle();
    EXPECT_TRUE(board->interruptPinActive());
    writeReg(*board, 0x1D, 0x01);  // masked
    EXPECT_FALSE(board->interruptPinActive());
    writeReg(*board, 0x1D, 0x00);
    writeReg(*board, 0x18, 0x29);  // EN set: the output is disabled
    EXPECT_FALSE(board->interruptPinActive());
    writeReg(*board, 0x18, 0x09);
    EXPECT_TRUE(board->interruptPinActive());
    writeReg(*board, 0x25, 100);
    readReg(*board, 0x00);  // reading the status releases the pin
    EXPECT_FALSE(board->interruptPinActive());

    writeReg(*board, 0x36, 0xFF);  // Ain7 low: status 2 bit 2
    settle();
    EXPECT_TRUE(board->interruptPinActive());
    writeReg(*board, 0x1E, 0x04);
    EXPECT_FALSE(board->interruptPinActive());
}

TEST_F(ChipModelTest, ResetRestoresPowerOnValuesAndClearsItself) {
    startMonitoring();
    writeReg(*board, 0x25, 20);
    writeReg(*board, 0x1D, 0xFF);
    writeReg(*board, 0x1A, 0x11);
    writeReg(*board, 0x60, 0x5A);  // a register without function stores what it gets
    EXPECT_EQ(readReg(*board, 0x60), 0x5A);
    settle();
    writeReg(*board, 0x19, 0xA0);
    EXPECT_EQ(readReg(*board, 0x19), 0x00);
    EXPECT_EQ(readReg(*board, 0x18), 0x08);
    EXPECT_EQ(readReg(*board, 0x25), 0x64);
    EXPECT_EQ(readReg(*board, 0x1D), 0x00);
    EXPECT_EQ(readReg(*board, 0x1A), 0x00);
    EXPECT_EQ(readReg(*board, 0x60), 0x00);
    EXPECT_EQ(readReg(*board, 0x00), 0x00);  // latches gone too
}

TEST_F(ChipModelTest, ReadOnlyRegistersIgnoreWrites) {
    for (int r : {0x00, 0x06, 0x07, 0x4D, 0x4E, 0x4F, 0x7F}) writeReg(*board, r, 0x33);
    EXPECT_EQ(readReg(*board, 0x4E), 0x41);
    EXPECT_EQ(readReg(*board, 0x7F), 0x00);
    EXPECT_EQ(readReg(*board, 0x07), 0x00);
    EXPECT_EQ(readReg(*board, 0x00), 0x00);
}

TEST_F(ChipModelTest, DefaultBenchStaysWithinPowerOnLimitsForHours) {
    // A new board with its own seeded bench, as a program gets it.
    board.reset();
    board = std::make_unique<SimulatedBoard>(options(), clock);
    ASSERT_EQ(board->LoadFirmWare(shippedFirmware().c_str()), 0);
    writePort(*board, 3, 0x03);
    writeReg(*board, 0x18, 0x09);
    int seen = 0;
    for (int minute = 0; minute < 240; ++minute) {
        if (minute == 120) {  // second half in diode mode
            writePort(*board, 3, 0x00);
            writePort(*board, 2, 0x03);
            writeReg(*board, 0x18, 0x0D);
        }
        clock.advance(60);
        seen |= readReg(*board, 0x00) | (readReg(*board, 0x01) << 8);
        const int internal = code(*board, 0x03, 0, 0x07);
        EXPECT_GT(tempFromCode(internal), 15.0);
        EXPECT_LT(tempFromCode(internal), 40.0);
    }
    clock.advance(1);
    seen |= readReg(*board, 0x00) | (readReg(*board, 0x01) << 8);
    EXPECT_EQ(seen, 0) << "status bits seen: " << std::hex << seen;
    EXPECT_FALSE(board->interruptPinActive());
}

TEST_F(ChipModelTest, BenchIsDeterministicForASeedAndPlausible) {
    const Environment a(7), b(7), c(8);
    for (double t : {0.0, 12.345, 3600.0}) {
        const AnalogInputs x = a.at(t), y = b.at(t), z = c.at(t);
        EXPECT_EQ(x.dieTemp, y.dieTemp);
        EXPECT_EQ(x.ain[3], y.ain[3]);
        EXPECT_NE(x.boardTemp, z.boardTemp);
        EXPECT_GT(x.dieTemp, x.boardTemp);
        EXPECT_NEAR(x.vdd, 3.3, 0.02);
        EXPECT_DOUBLE_EQ(x.ain[2], 0.5 + 0.01 * x.boardTemp);  // VARNO on Ain3
        for (int i = 4; i < 8; ++i) EXPECT_NEAR(x.ain[i], a.at(t + 1).ain[i], 0.005);
    }
    // The light sensor swings widely over a simulated day.
    double lo = 10, hi = 0;
    for (int s = 0; s < 1200; s += 10) {
        lo = std::min(lo, a.at(s).ain[3]);
        hi = std::max(hi, a.at(s).ain[3]);
    }
    EXPECT_LT(lo, 0.1);
    EXPECT_GT(hi, 1.4);
}

}  // namespace
}  // namespace quarnel::sim::test

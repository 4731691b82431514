// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared set-up of the simulated-board tests: a temp folder per test for the
// state file, a manual clock, captured warnings, and raw register access.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "link/Clock.h"
#include "sim/SimulatedBoard.h"
#include "support/TempDir.h"

namespace quarnel::sim::test {

using quarnel::test::readFile;

inline std::string shippedFirmware() {
    return QUARNEL_SOURCE_DIR "/resources/QUARNELFW.Hex";
}

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Exact bench values, so codes can be checked against the transfer functions.
inline AnalogInputs fixedInputs() {
    AnalogInputs in;
    in.dieTemp = 25.5;
    in.diodeTemp = 30.25;
    in.vdd = 3.3;
    in.ain = {0.8, 0.45, 0.745, 1.2, 0.3, 0.9, 1.5, 2.0};
    in.boardTemp = 24.5;
    return in;
}

class SimTest : public ::testing::Test {
  protected:
    std::string statePath() const { return (dir / "board.json").string(); }

    SimOptions options() {
        SimOptions o;
        o.statePath = statePath();
        o.warn = [this](const std::string& m) { warnings.push_back(m); };
        return o;
    }

    // A board with its firmware running.
    std::unique_ptr<SimulatedBoard> makeBoard(SimOptions o) {
        auto board = std::make_unique<SimulatedBoard>(std::move(o), clock);
        EXPECT_EQ(board->LoadFirmWare(shippedFirmware().c_str()), 0);
        return board;
    }
    std::unique_ptr<SimulatedBoard> makeBoard() { return makeBoard(options()); }

    // Raw requests as the board link sends them.
    static uint8_t readReg(Orvalink& b, int reg, int address = 0x48, int bus = 1) {
        uint8_t byte = 0x5A;
        const int32_t value = (bus << 8) + (bus == 2 ? reg : address);
        EXPECT_EQ(b.VendorIORequest(222, value, reg, 1, 1, &byte), 0);
        return byte;
    }
    static int16_t writeReg(Orvalink& b, int reg, int data, int address = 0x48, int bus = 1) {
        uint8_t zero = 0;
        return b.VendorIORequest(222, (bus << 8) + address,
                                 static_cast<int32_t>(static_cast<uint32_t>(data) * 256u) + reg, 0,
                                 0, &zero);
    }
    static int16_t writePort(SimulatedBoard& b, int port, int low, int high = 0) {
        uint8_t zero = 0;
        return b.VendorIORequest(221, port, high * 256 + low, 0, 0, &zero);
    }
    // The 10-bit code as the polling cycle assembles it: LSB register first, then MSB.
    static int code(SimulatedBoard& b, int lsbReg, int shift, int msbReg, int bus = 1) {
        const int lsb = readReg(b, lsbReg, 0x48, bus);
        const int msb = readReg(b, msbReg, 0x48, bus);
        return msb * 4 + ((lsb >> shift) & 0x03);
    }

    quarnel::test::TempDir temp;
    const std::filesystem::path dir = temp.path();
    ManualClock clock;
    std::vector<std::string> warnings;
};

}  // namespace quarnel::sim::test

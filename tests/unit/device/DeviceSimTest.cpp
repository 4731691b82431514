// SPDX-License-Identifier: GPL-3.0-or-later
// The register-written handler on the simulated board: the chip really takes
// the corrective write, the board's switches really move, and the converted
// readings agree with the bench the chip measures.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "DeviceTestSupport.h"
#include "device/Conversions.h"
#include "device/Device.h"
#include "link/BoardLink.h"
#include "sim/SimulatedBoard.h"
#include "support/CountingBoard.h"
#include "unit/sim/SimTestSupport.h"

namespace quarnel {
namespace {

constexpr int32_t kChip = 0x48;

using test::CountingBoard;

class DeviceOnSimulatedBoard : public sim::test::SimTest {
  protected:
    void SetUp() override {
        board = std::make_unique<sim::SimulatedBoard>(options(), clock);
        ASSERT_EQ(board->LoadFirmWare(sim::test::shippedFirmware().c_str()), 0);
        board->setInputs([](double) { return sim::test::fixedInputs(); });
        counting = std::make_unique<CountingBoard>(*board);
        link = std::make_unique<BoardLink>(*counting, clock,
                                           [this](int code) { failures.push_back(code); });
        link->DeviceAddress = kChip;
        device = std::make_unique<Device>(*link, events, events);
        events.device = device.get();
    }
    void TearDown() override {
        device.reset();
        link.reset();
        counting.reset();
        board.reset();
        EXPECT_TRUE(failures.empty());
        EXPECT_TRUE(warnings.empty());
    }

    void write(int32_t reg, int32_t value) { link->WriteRegister(kChip, reg, value); }
    // One round of conversions, then a 10-bit code read LSBs first as the poll does.
    int code(int lsbReg, int shift, int msbReg) {
        clock.advance(1.0);
        const int lsb = link->ReadRegister(kChip, lsbReg);
        const int msb = link->ReadRegister(kChip, msbReg);
        return msb * 4 + ((lsb >> shift) & 0x03);
    }
    uint8_t portLow(int port) const { return board->portImage()[2 * (port - 1)]; }

    std::vector<int> failures;
    std::unique_ptr<sim::SimulatedBoard> board;
    std::unique_ptr<CountingBoard> counting;
    std::unique_ptr<BoardLink> link;
    test::DeviceEvents events;
    std::unique_ptr<Device> device;
};

TEST_F(DeviceOnSimulatedBoard, InvalidSelectionCorrectedOnTheChip) {
    write(0x18, 0x0B);  // monitoring on, bits 2:1 = 01
    EXPECT_EQ(board->peekRegister(0x18), 0x09);
    EXPECT_EQ(device->state.ChannelMode, ChannelFunction::AinInputs);
    EXPECT_TRUE(device->state.InterruptPinEnabled);
    ASSERT_EQ(events.messages.size(), 1u);
    EXPECT_EQ(events.messages[0], kInvalidSelectionMessage);
    EXPECT_EQ(events.icons[0], Notifier::Icon::None);
    EXPECT_EQ(events.events, (std::vector<std::string>{"message@0", "graphs@2", "limits@2",
                                                       "graphs@2", "limits@2"}));
    EXPECT_EQ(counting->writes, (std::vector<int>{0x18, 0x18}));
    EXPECT_EQ(portLow(2) & 0x03, 0x00);  // diode switches open
    EXPECT_EQ(portLow(3) & 0x03, 0x03);  // Ain switches closed

    // The chip now measures Ain1 through the closed switch.
    device->OnRegisterWritten(0x1A);
    const float ain1 =
        AinFromCode(static_cast<int16_t>(code(0x04, 0, 0x08)), device->state.ReferenceVoltage);
    EXPECT_NEAR(ain1, 0.8, 2.3e-3);
}

TEST_F(DeviceOnSimulatedBoard, ExternalSelectionMeasuresTheDiode) {
    write(0x18, 0x05);
    EXPECT_EQ(device->state.ChannelMode, ChannelFunction::ExternalTemp);
    EXPECT_TRUE(device->state.InterruptPinEnabled);
    EXPECT_TRUE(events.messages.empty());
    EXPECT_EQ(portLow(2) & 0x03, 0x03);
    EXPECT_EQ(portLow(3) & 0x03, 0x00);
    EXPECT_EQ(TempFromCode(static_cast<int16_t>(code(0x04, 0, 0x08))), 30.25f);
    EXPECT_EQ(link->ReadRegister(kChip, 0x00) & 0x10, 0);  // no diode fault

    write(0x18, 0x25);
    EXPECT_FALSE(device->state.InterruptPinEnabled);
    EXPECT_EQ(device->state.ChannelMode, ChannelFunction::ExternalTemp);
}

TEST_F(DeviceOnSimulatedBoard, ReferenceFollowsConfiguration3AndTheChipAgrees) {
    write(0x18, 0x09);
    for (int config3 : {0x10, 0x00}) {
        write(0x1A, config3);
        EXPECT_EQ(device->state.ReferenceVoltage, config3 != 0 ? 3.3f : 2.28f);
        // Ain3 carries the VARNO sensor at 24.5 degrees C (0.745 V) under either reference.
        const float volts = RoundToSingle(
            AinFromCode(static_cast<int16_t>(code(0x04, 4, 0x0A)), device->state.ReferenceVoltage),
            3);
        EXPECT_NEAR(volts, 0.745, 3.3e-3) << config3;
        EXPECT_NEAR(VarnoTempFromVolts(volts), 24.5, 0.33) << config3;
    }
    EXPECT_EQ(events.events.back(), "limits@2");
}

TEST_F(DeviceOnSimulatedBoard, Configuration2ReadsNothingBack) {
    const DeviceState before = device->state;
    counting->clear();
    write(0x19, 0x10);
    EXPECT_EQ(counting->writes, (std::vector<int>{0x19}));
    EXPECT_TRUE(counting->reads.empty());
    EXPECT_EQ(board->peekRegister(0x19), 0x10);
    EXPECT_EQ(device->state, before);
}

TEST_F(DeviceOnSimulatedBoard, LimitRegistersReadBackWithoutStateChange) {
    write(0x18, 0x09);
    write(0x1A, 0x10);
    write(0x1D, 0x0F);
    write(0x1E, 0x10);
    EXPECT_EQ(device->state.IntMask1, 0x0F);
    EXPECT_EQ(device->state.IntMask2, 0x10);
    const DeviceState before = device->state;
    const size_t eventsBefore = events.events.size();
    for (int32_t reg = 0x23; reg <= 0x28; ++reg) {
        counting->clear();
        const int value = VddLimitCode(3.0f + static_cast<float>(reg - 0x23) / 4.0f);
        write(reg, value);
        EXPECT_EQ(counting->reads, (std::vector<int>{reg}));
        EXPECT_EQ(board->peekRegister(reg), value);
    }
    EXPECT_EQ(device->state, before);
    EXPECT_EQ(events.events.size(), eventsBefore);
}

TEST_F(DeviceOnSimulatedBoard, InitDeviceStateClearsTheStartUpPortBits) {
    write(0x18, 0x09);
    ASSERT_EQ(portLow(2) & 0x30, 0x30);  // as the board powers up
    EXPECT_EQ(device->InitDeviceState(), 0);
    EXPECT_EQ(portLow(2) & 0x30, 0x00);
    EXPECT_EQ(portLow(3) & 0x03, 0x03);
    EXPECT_EQ(device->state.LogIntervalMs, 250);
}

}  // namespace
}  // namespace quarnel

// SPDX-License-Identifier: GPL-3.0-or-later
// The register-written handler against a recording board: which registers
// are read back, what the shadow becomes, and what the board's switches and
// the windows are told.

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "DeviceTestSupport.h"
#include "device/Device.h"
#include "link/BoardLink.h"
#include "support/RecordingBoard.h"

namespace quarnel {
namespace {

using test::RecordedCall;

constexpr int32_t kChip = 0x48;

class DeviceHook : public ::testing::Test {
  protected:
    DeviceHook() {
        link.DeviceAddress = kChip;
        events.device = &device;
        // High bytes and unrelated low bits must survive every switch change.
        board.ports = {0x11, 0x22, 0x30, 0xA5, 0x04, 0x5A};
    }

    // The register accesses (request 222) made since the last clear, as
    // "R18" for a read and "W18=09" for a write.
    std::vector<std::string> registerAccesses() const {
        std::vector<std::string> out;
        for (const RecordedCall& c : board.callsTo(kRequestRegister)) {
            char text[16];
            if (c.direction == kDirectionIn) {
                std::snprintf(text, sizeof text, "R%02X", c.lowByteOfIndex());
            } else {
                std::snprintf(text, sizeof text, "W%02X=%02X", c.lowByteOfIndex(),
                              c.secondByteOfIndex());
            }
            out.emplace_back(text);
        }
        return out;
    }
    void write(int32_t reg, int32_t value) { link.WriteRegister(kChip, reg, value); }

    test::RecordingBoard board;
    ManualClock clock;
    std::vector<int> failures;
    BoardLink link{board, clock, [this](int code) { failures.push_back(code); }};
    test::DeviceEvents events;
    Device device{link, events, events};
};

TEST_F(DeviceHook, InvalidSelectionIsToldThenCorrectedToAinInputs) {
    write(0x18, 0x0B);  // bits 2:1 = 01

    EXPECT_EQ(registerAccesses(), (std::vector<std::string>{"W18=0B", "R18", "W18=09", "R18"}));
    EXPECT_EQ(board.registers[0x18], 0x09);  // every other bit kept
    EXPECT_EQ(device.state.ChannelMode, ChannelFunction::AinInputs);
    EXPECT_TRUE(device.state.InterruptPinEnabled);

    ASSERT_EQ(events.messages.size(), 1u);
    EXPECT_EQ(events.messages[0],
              "Invalid value for External Temp /Ain-2 selection\r\n"
              "The device will be reset to enable Ain1-2 (default)");
    EXPECT_EQ(events.icons[0], Notifier::Icon::None);
    // The message comes with the mode undetermined, then both layouts run
    // inside the nested handler and once more after it.
    EXPECT_EQ(events.events, (std::vector<std::string>{"message@0", "graphs@2", "limits@2",
                                                       "graphs@2", "limits@2"}));

    // Ain switches: diode switches open (port 2), Ain switches closed (port 3).
    EXPECT_EQ(board.ports[2], 0x30);
    EXPECT_EQ(board.ports[3], 0xA5);
    EXPECT_EQ(board.ports[4], 0x07);
    EXPECT_EQ(board.ports[5], 0x5A);
    EXPECT_TRUE(failures.empty());
}

TEST_F(DeviceHook, BothInvalidSelectionsAreCorrected) {
    write(0x18, 0xCF);  // bits 2:1 = 11, every other bit set
    EXPECT_EQ(board.registers[0x18], 0xC9);
    EXPECT_EQ(device.state.ChannelMode, ChannelFunction::AinInputs);
    EXPECT_EQ(events.messages.size(), 1u);
}

TEST_F(DeviceHook, ExternalTemperatureSelection) {
    write(0x18, 0x05);
    EXPECT_EQ(registerAccesses(), (std::vector<std::string>{"W18=05", "R18"}));
    EXPECT_EQ(device.state.ChannelMode, ChannelFunction::ExternalTemp);
    EXPECT_TRUE(device.state.InterruptPinEnabled);
    EXPECT_TRUE(events.messages.empty());
    EXPECT_EQ(events.events, (std::vector<std::string>{"graphs@1", "limits@1"}));
    // Ain switches opened before the diode switches close.
    const auto portWrites = board.writesTo(kRequestPorts);
    ASSERT_EQ(portWrites.size(), 2u);
    EXPECT_EQ(portWrites[0].value, 3);
    EXPECT_EQ(portWrites[1].value, 2);
    EXPECT_EQ(board.ports[2], 0x33);
    EXPECT_EQ(board.ports[4], 0x04);

    write(0x18, 0x25);  // EN set: interrupt output disabled
    EXPECT_FALSE(device.state.InterruptPinEnabled);
    EXPECT_EQ(device.state.ChannelMode, ChannelFunction::ExternalTemp);
}

TEST_F(DeviceHook, ShadowFollowsTheValueReadBackNotTheValueWritten) {
    // Start-up calls the handler directly for registers it only reads.
    board.registers[0x18] = 0x24;
    board.registers[0x1D] = 0x5A;
    board.registers[0x1E] = 0x1F;
    board.registers[0x1A] = 0x11;
    device.OnRegisterWritten(0x18);
    device.OnRegisterWritten(0x1D);
    device.OnRegisterWritten(0x1E);
    device.OnRegisterWritten(0x1A);
    EXPECT_EQ(device.state.ChannelMode, ChannelFunction::ExternalTemp);
    EXPECT_FALSE(device.state.InterruptPinEnabled);
    EXPECT_EQ(device.state.IntMask1, 0x5A);
    EXPECT_EQ(device.state.IntMask2, 0x1F);
    EXPECT_EQ(device.state.ReferenceVoltage, 3.3f);
    EXPECT_EQ(registerAccesses(), (std::vector<std::string>{"R18", "R1D", "R1E", "R1A"}));
}

TEST_F(DeviceHook, ReferenceVoltageFromConfiguration3) {
    write(0x1A, 0x10);
    EXPECT_EQ(device.state.ReferenceVoltage, 3.3f);
    write(0x1A, 0x00);
    EXPECT_EQ(device.state.ReferenceVoltage, 2.28f);
    write(0x1A, 0xEF);  // every bit but REF
    EXPECT_EQ(device.state.ReferenceVoltage, 2.28f);
    // Only the limits window depends on the reference.
    EXPECT_EQ(events.events, (std::vector<std::string>{"limits@0", "limits@0", "limits@0"}));
    EXPECT_EQ(registerAccesses(),
              (std::vector<std::string>{"W1A=10", "R1A", "W1A=00", "R1A", "W1A=EF", "R1A"}));
}

TEST_F(DeviceHook, InterruptMasks) {
    write(0x1D, 0xA5);
    write(0x1E, 0x10);
    EXPECT_EQ(device.state.IntMask1, 0xA5);
    EXPECT_EQ(device.state.IntMask2, 0x10);
    EXPECT_TRUE(events.events.empty());
}

TEST_F(DeviceHook, LimitsAreReadBackWithoutChangingTheShadow) {
    const DeviceState before = device.state;
    for (int32_t reg = 0x23; reg <= 0x28; ++reg) {
        board.clear();
        write(reg, 0x42);
        char read[8];
        std::snprintf(read, sizeof read, "R%02X", reg);
        EXPECT_EQ(registerAccesses(),
                  (std::vector<std::string>{std::string("W") + (read + 1) + "=42", read}));
    }
    EXPECT_EQ(device.state, before);
    EXPECT_TRUE(events.events.empty());
}

TEST_F(DeviceHook, OtherRegistersAreNeitherReadNorShadowed) {
    const DeviceState before = device.state;
    for (int32_t reg = 0; reg <= 0xFF; ++reg) {
        const bool handled = reg == 0x18 || reg == 0x1A || reg == 0x1D || reg == 0x1E ||
                             (reg >= 0x23 && reg <= 0x28);
        if (handled) continue;
        board.clear();
        write(reg, 0xFF);
        EXPECT_EQ(board.calls.size(), 1u) << "register " << reg;
    }
    EXPECT_EQ(device.state, before);
    EXPECT_TRUE(events.events.empty());
    EXPECT_TRUE(board.writesTo(kRequestPorts).empty());
}

TEST_F(DeviceHook, InitDeviceStateDefaultsAndSwitches) {
    EXPECT_EQ(device.state.LogIntervalMs, 0);
    EXPECT_EQ(device.InitDeviceState(), 0);
    EXPECT_EQ(device.state.LogIntervalMs, 250);
    EXPECT_TRUE(device.state.GraphingEnabled);
    EXPECT_TRUE(device.state.VarnoOnAin3);
    EXPECT_EQ(device.table.size(), 49);
    EXPECT_EQ(board.ports[2], 0x00);  // bits 4 and 5 cleared
    EXPECT_EQ(board.ports[4], 0x04);  // mode 0: Ain switches untouched
    EXPECT_TRUE(board.callsTo(kRequestRegister).empty());

    write(0x18, 0x08);  // Ain mode, as after start-up
    board.ports[4] = 0x04;
    board.ports[2] = 0x30;
    device.InitDeviceState();
    EXPECT_EQ(board.ports[2], 0x00);
    EXPECT_EQ(board.ports[4], 0x07);  // mode 2 connects the Ain switches

    board.failRequest(kRequestPorts);
    EXPECT_EQ(device.InitDeviceState(), test::RecordingBoard::kFailStatus);
    EXPECT_TRUE(failures.empty());  // a port failure is only returned
}

TEST_F(DeviceHook, FailedReadBackEndsThroughTheLinkFailure) {
    board.failAfter(1);  // the write succeeds, the read-back fails
    EXPECT_THROW(write(0x1D, 0x01), LinkFailure);
    EXPECT_EQ(failures, (std::vector<int>{kCommsInterrupted}));
    EXPECT_EQ(device.state.IntMask1, 0);
}

TEST_F(DeviceHook, ChipThatIgnoresTheCorrectionDoesNotLoopForever) {
    // Like a board that reaches no chip: 0x18 reads 0xFF whatever is written.
    struct IgnoringBoard : test::RecordingBoard {
        int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                                int16_t length, uint8_t* buffer) override {
            if (request == kRequestRegister && direction == kDirectionOut) index |= 0xFF00;
            return RecordingBoard::VendorIORequest(request, value, index, direction, length,
                                                   buffer);
        }
    } ignoring;
    BoardLink ignoringLink(ignoring, clock, [](int) {});
    ignoringLink.DeviceAddress = kChip;
    test::DeviceEvents seen;
    Device ignoringDevice(ignoringLink, seen, seen);
    seen.device = &ignoringDevice;

    ignoringLink.WriteRegister(kChip, 0x18, 0x0B);
    EXPECT_EQ(seen.messages.size(), 1u);
    EXPECT_EQ(ignoring.writesTo(kRequestRegister).size(), 2u);  // one correction only
    EXPECT_EQ(ignoringDevice.state.ChannelMode,
              ChannelFunction::Undetermined);  // still undetermined
    EXPECT_EQ(seen.events, (std::vector<std::string>{"message@0", "graphs@0", "limits@0"}));

    // A later invalid selection is told again.
    ignoringLink.WriteRegister(kChip, 0x18, 0x0B);
    EXPECT_EQ(seen.messages.size(), 2u);
}

TEST_F(DeviceHook, CorrectionThatFailsLeavesTheHandlerUsable) {
    board.failAfter(2);  // the first write and its read-back succeed
    EXPECT_THROW(write(0x18, 0x0B), LinkFailure);
    EXPECT_EQ(device.state.ChannelMode, ChannelFunction::Undetermined);
    board.stopFailing();
    write(0x18, 0x0B);
    EXPECT_EQ(events.messages.size(), 2u);
    EXPECT_EQ(device.state.ChannelMode, ChannelFunction::AinInputs);
}

TEST(DeviceLifetime, HandlerPluggedInAndRemoved) {
    test::RecordingBoard board;
    ManualClock clock;
    BoardLink link(board, clock, [](int) {});
    test::DeviceEvents events;
    {
        Device device(link, events, events);
        ASSERT_TRUE(link.registerWritten);
        board.registers[0x1E] = 0x0F;
        link.registerWritten(0x1E, 0);
        EXPECT_EQ(device.state.IntMask2, 0x0F);
    }
    EXPECT_FALSE(link.registerWritten);
    link.WriteRegister(0, 0x18, 0x0B);  // no handler: nothing but the write
    EXPECT_EQ(board.calls.size(), 2u);
}

}  // namespace
}  // namespace quarnel

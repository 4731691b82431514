// SPDX-License-Identifier: GPL-3.0-or-later
// The register views the register map window labels and looks up.

#include <gtest/gtest.h>

#include <set>

#include "device/RegisterTable.h"

namespace quarnel {
namespace {

TEST(RegisterTable, FortyNineViewsInTheirOrder) {
    RegisterTable table;
    ASSERT_EQ(table.size(), 49);
    std::set<std::string> names;
    for (int i = 0; i < table.size(); ++i) {
        const RegisterInfo& r = table[i];
        EXPECT_EQ(r.Description, r.Name) << i;
        EXPECT_GE(r.Address, 0x00) << i;
        EXPECT_LE(r.Address, 0x7F) << i;
        EXPECT_TRUE(names.insert(r.Name).second) << "duplicate name " << r.Name;
        int fields = 1;
        for (char c : r.BitLabels) fields += c == ':';
        EXPECT_EQ(fields, 8) << r.Name;
    }
    // Spot checks across the order, including the second views of shared pins.
    EXPECT_EQ(table[0].Name, "Interrupt Status 1");
    EXPECT_EQ(table[16].Address, 0x18);
    EXPECT_EQ(table[16].BitLabels, "PD:POL:EN:-:-:P7/8:P7/8:MON");
    EXPECT_EQ(table[18].BitLabels, "-:-:-:REF:-:-:-:ADC");
    EXPECT_EQ(table[20].BitLabels, "-:-:REF:REF:D:C:B:A");
    EXPECT_EQ(table[36].Name, "SPI Lock Status");
    EXPECT_EQ(table[36].Address, 0x7F);
    EXPECT_EQ(table[37].Name, "Ain1 MSBs");
    EXPECT_EQ(table[37].Address, 0x08);
    EXPECT_EQ(table[48].Name, "Ain4 Vlow Limit");
    EXPECT_EQ(table[48].Address, 0x30);
    EXPECT_THROW(table[49], std::out_of_range);
}

TEST(RegisterTable, RebuildingGivesTheSameTable) {
    RegisterTable table;
    const RegisterInfo first = table[4];
    table.BuildRegisterTable();
    ASSERT_EQ(table.size(), 49);
    EXPECT_EQ(table[4].Name, first.Name);
    EXPECT_EQ(table[4].BitLabels, "Ain4:Ain4:Ain3:Ain3:Ain2:Ain2:Ext:Ext");
}

TEST(RegisterTable, SharedAddressFindsTheLowerIndex) {
    RegisterTable table;
    EXPECT_EQ(table.FindRegisterByAddress(0x03), 2);
    EXPECT_EQ(table[2].Name, "Internal Temp LSBs");
    EXPECT_EQ(table[2].BitLabels, "-:-:-:-:-:-:1:0");
    EXPECT_EQ(table.FindRegisterByAddress(0x08), 7);
    EXPECT_EQ(table[7].Name, "External Temp MSBs");
    EXPECT_EQ(table.FindRegisterByAddress(0x27), 31);
    EXPECT_EQ(table[31].Name, "External High Limit");
    EXPECT_EQ(table.FindRegisterByAddress(0x28), 32);
    EXPECT_EQ(table[32].Name, "External Low Limit");
    // The Ain views of those addresses are still there, by name.
    EXPECT_EQ(table.FindRegisterByName("Vdd LSBs"), 3);
    EXPECT_EQ(table.FindRegisterByName("Ain1 MSBs"), 37);
    EXPECT_EQ(table.FindRegisterByName("Ain1 Vhigh Limit"), 41);
    EXPECT_EQ(table.FindRegisterByName("Ain1 Vlow Limit"), 42);
    // DAC registers are reachable by address.
    EXPECT_EQ(table.FindRegisterByAddress(0x1C), 20);
}

TEST(RegisterTable, AddressesAndNamesWithoutAView) {
    RegisterTable table;
    for (int address : {0x02, 0x05, 0x0C, 0x31, 0x7E, 0x80, 0xFF, -1}) {
        EXPECT_EQ(table.FindRegisterByAddress(address), std::nullopt) << address;
    }
    EXPECT_EQ(table.FindRegisterByName("vdd lsbs"), std::nullopt);
    EXPECT_EQ(table.FindRegisterByName("Vdd LSBs "), std::nullopt);
    EXPECT_EQ(table.FindRegisterByName(""), std::nullopt);
}

TEST(RegisterTable, SplitBitLabelsBitSevenFirst) {
    RegisterTable table;
    const auto config1 = table.SplitBitLabels(16);
    EXPECT_EQ(config1[0], "PD");
    EXPECT_EQ(config1[2], "EN");
    EXPECT_EQ(config1[3], "-");
    EXPECT_EQ(config1[5], "P7/8");
    EXPECT_EQ(config1[7], "MON");
    const auto extLsbs = table.SplitBitLabels(4);
    EXPECT_EQ(extLsbs[0], "Ain4");
    EXPECT_EQ(extLsbs[1], "Ain4");
    EXPECT_EQ(extLsbs[6], "Ext");
    EXPECT_EQ(extLsbs[7], "Ext");
    const auto dacMsbs = table.SplitBitLabels(9);
    EXPECT_EQ(dacMsbs[0], "11");
    EXPECT_EQ(dacMsbs[7], "4");
    EXPECT_EQ(table.SplitBitLabels(36)[7], "SPI");
    EXPECT_THROW(table.SplitBitLabels(49), std::out_of_range);
}

}  // namespace
}  // namespace quarnel

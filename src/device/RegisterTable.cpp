// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/RegisterTable.h"

#include "device/ChipRegisters.h"

namespace quarnel {
namespace {

using enum RegisterRole;
using namespace chip;

struct Row {
    int32_t address;
    const char* name;
    const char* bitLabels;
    RegisterRole role;
};

// Index order matters: where two views share an address the lower index is
// the one an address look-up finds.
constexpr Row kRows[kRegisterCount] = {
    {kStatus1, "Interrupt Status 1", "Ain4:Ain3:Ain2:FLT:EXLO:EXHI:INLO:INHI", Status},
    {kStatus2, "Interrupt Status 2", "-:-:-:VDD:Ain8:Ain7:Ain6:Ain5", Status},
    {kInternalTempLsbs, "Internal Temp LSBs", "-:-:-:-:-:-:1:0", Result},
    {kVddLsbs, "Vdd LSBs", "-:-:-:-:V1:V0:-:-", Result},
    {kExternalTempLsbs, "External Temp LSBs", "Ain4:Ain4:Ain3:Ain3:Ain2:Ain2:Ext:Ext", Result},
    {kVddMsbs, "Vdd MSBs", "9:8:7:6:5:4:3:2", Result},
    {kInternalTempMsbs, "Internal Temp MSBs", "9:8:7:6:5:4:3:2", Result},
    {kExternalTempMsbs, "External Temp MSBs", "9:8:7:6:5:4:3:2", Result},
    {kDacALsbs, "DAC A LSBs", "3:2:1:0:-:-:-:-", Dac},
    {kDacAMsbs, "DAC A MSBs", "11:10:9:8:7:6:5:4", Dac},
    {kDacBLsbs, "DAC B LSBs", "3:2:1:0:-:-:-:-", Dac},
    {kDacBMsbs, "DAC B MSBs", "11:10:9:8:7:6:5:4", Dac},
    {kDacCLsbs, "DAC C LSBs", "3:2:1:0:-:-:-:-", Dac},
    {kDacCMsbs, "DAC C MSBs", "11:10:9:8:7:6:5:4", Dac},
    {kDacDLsbs, "DAC D LSBs", "3:2:1:0:-:-:-:-", Dac},
    {kDacDMsbs, "DAC D MSBs", "11:10:9:8:7:6:5:4", Dac},
    {kConfig1, "Configuration 1", "PD:POL:EN:-:-:P7/8:P7/8:MON", Configuration},
    {kConfig2, "Configuration 2", "RST:SMBT:AVE:CONV:-:C2:C1:C0", Configuration},
    {kConfig3, "Configuration 3", "-:-:-:REF:-:-:-:ADC", Configuration},
    {kDacConfig, "DAC Configuration", "-:-:GEN1:GEN0:DRNG:CRNG:BRNG:ARNG", Configuration},
    {kLdacConfig, "LDAC Configuration", "-:-:REF:REF:D:C:B:A", Configuration},
    {kMask1, "Interrupt Mask 1", "Ain4:Ain3:Ain2:FLT:EXLO:EXHI:INLO:INHI", Mask},
    {kMask2, "Interrupt Mask 2", "-:-:-:VDD:Ain8:Ain7:Ain6:Ain5", Mask},
    {kInternalOffset, "Internal Offset", "7:6:5:4:3:2:1:0", Offset},
    {kExternalOffset, "External Offset", "7:6:5:4:3:2:1:0", Offset},
    {kInternalAnalogOffset, "Internal Analog Offset", "7:6:5:4:3:2:1:0", Offset},
    {kExternalAnalogOffset, "External Analog Offset", "7:6:5:4:3:2:1:0", Offset},
    {kVddHighLimit, "Vdd High Limit", "7:6:5:4:3:2:1:0", Limit},
    {kVddLowLimit, "Vdd Low Limit", "7:6:5:4:3:2:1:0", Limit},
    {kInternalHighLimit, "Internal High Limit", "7:6:5:4:3:2:1:0", Limit},
    {kInternalLowLimit, "Internal Low Limit", "7:6:5:4:3:2:1:0", Limit},
    {kExternalHighLimit, "External High Limit", "7:6:5:4:3:2:1:0", Limit},
    {kExternalLowLimit, "External Low Limit", "7:6:5:4:3:2:1:0", Limit},
    {kDeviceId, "Device ID", "7:6:5:4:3:2:1:0", Identity},
    {kCompanyId, "Company ID", "7:6:5:4:3:2:1:0", Identity},
    {kRevision, "Revision", "7:6:5:4:3:2:1:0", Identity},
    {kSpiLock, "SPI Lock Status", "-:-:-:-:-:-:-:SPI", SpiLock},
    {kAin1Msbs, "Ain1 MSBs", "9:8:7:6:5:4:3:2", Result},
    {kAin2Msbs, "Ain2 MSBs", "9:8:7:6:5:4:3:2", Result},
    {kAin3Msbs, "Ain3 MSBs", "9:8:7:6:5:4:3:2", Result},
    {kAin4Msbs, "Ain4 MSBs", "9:8:7:6:5:4:3:2", Result},
    {kAin1HighLimit, "Ain1 Vhigh Limit", "7:6:5:4:3:2:1:0", Limit},
    {kAin1LowLimit, "Ain1 Vlow Limit", "7:6:5:4:3:2:1:0", Limit},
    {kAin2HighLimit, "Ain2 Vhigh Limit", "7:6:5:4:3:2:1:0", Limit},
    {kAin2LowLimit, "Ain2 Vlow Limit", "7:6:5:4:3:2:1:0", Limit},
    {kAin3HighLimit, "Ain3 Vhigh Limit", "7:6:5:4:3:2:1:0", Limit},
    {kAin3LowLimit, "Ain3 Vlow Limit", "7:6:5:4:3:2:1:0", Limit},
    {kAin4HighLimit, "Ain4 Vhigh Limit", "7:6:5:4:3:2:1:0", Limit},
    {kAin4LowLimit, "Ain4 Vlow Limit", "7:6:5:4:3:2:1:0", Limit},
};

}  // namespace

void RegisterTable::BuildRegisterTable() {
    entries_.clear();
    entries_.reserve(kRegisterCount);
    for (const Row& row : kRows) {
        entries_.push_back(RegisterInfo{row.address, row.name, row.name, row.bitLabels, row.role});
    }
}

std::optional<int> RegisterTable::FindRegisterByAddress(int32_t address) const {
    for (int i = 0; i < size(); ++i) {
        if (entries_[static_cast<size_t>(i)].Address == address) return i;
    }
    return std::nullopt;
}

std::optional<int> RegisterTable::FindRegisterByName(const std::string& name) const {
    for (int i = 0; i < size(); ++i) {
        if (entries_[static_cast<size_t>(i)].Name == name) return i;
    }
    return std::nullopt;
}

std::array<std::string, 8> RegisterTable::SplitBitLabels(int index) const {
    const std::string& text = entries_.at(static_cast<size_t>(index)).BitLabels;
    std::array<std::string, 8> labels;
    size_t start = 0;
    for (size_t field = 0; field < labels.size(); ++field) {
        const size_t end = text.find(':', start);
        labels[field] =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return labels;
}

std::vector<RegisterInfo> UnlistedRegisters() {
    constexpr int32_t kHighLimits[] = {chip::kAin5HighLimit, chip::kAin6HighLimit,
                                       chip::kAin7HighLimit, chip::kAin8HighLimit};
    constexpr int32_t kLowLimits[] = {chip::kAin5LowLimit, chip::kAin6LowLimit, chip::kAin7LowLimit,
                                      chip::kAin8LowLimit};
    std::vector<RegisterInfo> limits;
    for (int ain = 5; ain <= 8; ++ain) {
        const int32_t high = kHighLimits[ain - 5], low = kLowLimits[ain - 5];
        for (const auto& [address, kind] : {std::pair{high, "Vhigh"}, {low, "Vlow"}}) {
            const std::string name = "Ain" + std::to_string(ain) + " " + kind + " Limit";
            limits.push_back(RegisterInfo{address, name, name, "7:6:5:4:3:2:1:0", Limit});
        }
    }
    return limits;
}

}  // namespace quarnel

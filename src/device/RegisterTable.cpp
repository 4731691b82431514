#include "device/RegisterTable.h"

namespace quarnel {
namespace {

using enum RegisterRole;

struct Row {
    int32_t address;
    const char* name;
    const char* bitLabels;
    RegisterRole role;
};

// Index order matters: where two views share an address the lower index is
// the one an address look-up finds.
constexpr Row kRows[kRegisterCount] = {
    {0x00, "Interrupt Status 1", "Ain4:Ain3:Ain2:FLT:EXLO:EXHI:INLO:INHI", Status},
    {0x01, "Interrupt Status 2", "-:-:-:VDD:Ain8:Ain7:Ain6:Ain5", Status},
    {0x03, "Internal Temp LSBs", "-:-:-:-:-:-:1:0", Result},
    {0x03, "Vdd LSBs", "-:-:-:-:V1:V0:-:-", Result},
    {0x04, "External Temp LSBs", "Ain4:Ain4:Ain3:Ain3:Ain2:Ain2:Ext:Ext", Result},
    {0x06, "Vdd MSBs", "9:8:7:6:5:4:3:2", Result},
    {0x07, "Internal Temp MSBs", "9:8:7:6:5:4:3:2", Result},
    {0x08, "External Temp MSBs", "9:8:7:6:5:4:3:2", Result},
    {0x10, "DAC A LSBs", "3:2:1:0:-:-:-:-", Dac},
    {0x11, "DAC A MSBs", "11:10:9:8:7:6:5:4", Dac},
    {0x12, "DAC B LSBs", "3:2:1:0:-:-:-:-", Dac},
    {0x13, "DAC B MSBs", "11:10:9:8:7:6:5:4", Dac},
    {0x14, "DAC C LSBs", "3:2:1:0:-:-:-:-", Dac},
    {0x15, "DAC C MSBs", "11:10:9:8:7:6:5:4", Dac},
    {0x16, "DAC D LSBs", "3:2:1:0:-:-:-:-", Dac},
    {0x17, "DAC D MSBs", "11:10:9:8:7:6:5:4", Dac},
    {0x18, "Configuration 1", "PD:POL:EN:-:-:P7/8:P7/8:MON", Configuration},
    {0x19, "Configuration 2", "RST:SMBT:AVE:CONV:-:C2:C1:C0", Configuration},
    {0x1A, "Configuration 3", "-:-:-:REF:-:-:-:ADC", Configuration},
    {0x1B, "DAC Configuration", "-:-:GEN1:GEN0:DRNG:CRNG:BRNG:ARNG", Configuration},
    {0x1C, "LDAC Configuration", "-:-:REF:REF:D:C:B:A", Configuration},
    {0x1D, "Interrupt Mask 1", "Ain4:Ain3:Ain2:FLT:EXLO:EXHI:INLO:INHI", Mask},
    {0x1E, "Interrupt Mask 2", "-:-:-:VDD:Ain8:Ain7:Ain6:Ain5", Mask},
    {0x1F, "Internal Offset", "7:6:5:4:3:2:1:0", Offset},
    {0x20, "External Offset", "7:6:5:4:3:2:1:0", Offset},
    {0x21, "Internal Analog Offset", "7:6:5:4:3:2:1:0", Offset},
    {0x22, "External Analog Offset", "7:6:5:4:3:2:1:0", Offset},
    {0x23, "Vdd High Limit", "7:6:5:4:3:2:1:0", Limit},
    {0x24, "Vdd Low Limit", "7:6:5:4:3:2:1:0", Limit},
    {0x25, "Internal High Limit", "7:6:5:4:3:2:1:0", Limit},
    {0x26, "Internal Low Limit", "7:6:5:4:3:2:1:0", Limit},
    {0x27, "External High Limit", "7:6:5:4:3:2:1:0", Limit},
    {0x28, "External Low Limit", "7:6:5:4:3:2:1:0", Limit},
    {0x4D, "Device ID", "7:6:5:4:3:2:1:0", Identity},
    {0x4E, "Company ID", "7:6:5:4:3:2:1:0", Identity},
    {0x4F, "Revision", "7:6:5:4:3:2:1:0", Identity},
    {0x7F, "SPI Lock Status", "-:-:-:-:-:-:-:SPI", SpiLock},
    {0x08, "Ain1 MSBs", "9:8:7:6:5:4:3:2", Result},
    {0x09, "Ain2 MSBs", "9:8:7:6:5:4:3:2", Result},
    {0x0A, "Ain3 MSBs", "9:8:7:6:5:4:3:2", Result},
    {0x0B, "Ain4 MSBs", "9:8:7:6:5:4:3:2", Result},
    {0x27, "Ain1 Vhigh Limit", "7:6:5:4:3:2:1:0", Limit},
    {0x28, "Ain1 Vlow Limit", "7:6:5:4:3:2:1:0", Limit},
    {0x2B, "Ain2 Vhigh Limit", "7:6:5:4:3:2:1:0", Limit},
    {0x2C, "Ain2 Vlow Limit", "7:6:5:4:3:2:1:0", Limit},
    {0x2D, "Ain3 Vhigh Limit", "7:6:5:4:3:2:1:0", Limit},
    {0x2E, "Ain3 Vlow Limit", "7:6:5:4:3:2:1:0", Limit},
    {0x2F, "Ain4 Vhigh Limit", "7:6:5:4:3:2:1:0", Limit},
    {0x30, "Ain4 Vlow Limit", "7:6:5:4:3:2:1:0", Limit},
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
    std::vector<RegisterInfo> limits;
    for (int ain = 5; ain <= 8; ++ain) {
        const int32_t high = 0x31 + 2 * (ain - 5);
        for (const auto& [address, kind] : {std::pair{high, "Vhigh"}, {high + 1, "Vlow"}}) {
            const std::string name = "Ain" + std::to_string(ain) + " " + kind + " Limit";
            limits.push_back(RegisterInfo{address, name, name, "7:6:5:4:3:2:1:0", Limit});
        }
    }
    return limits;
}

}  // namespace quarnel

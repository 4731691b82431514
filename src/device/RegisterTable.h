// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The chip's registers as the user sees them: 49 views with address, name,
// description and the names of their eight bits.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarnel {

// What a register holds. Only the settings a user makes (configuration, limits,
// masks, offsets, DAC codes) are stored by the chip as written; the rest are
// readings, latched status, fixed identity or the SPI lock.
enum class RegisterRole {
    Status,
    Result,
    Dac,
    Configuration,
    Mask,
    Offset,
    Limit,
    Identity,
    SpiLock
};

struct RegisterInfo {
    int32_t Address = 0;
    std::string Name;
    std::string Description;  // equal to Name
    std::string BitLabels;    // eight fields separated by ":", bit 7 first
    RegisterRole Role = RegisterRole::Result;

    bool userSetting() const {
        return Role == RegisterRole::Dac || Role == RegisterRole::Configuration ||
               Role == RegisterRole::Mask || Role == RegisterRole::Offset ||
               Role == RegisterRole::Limit;
    }
};

inline constexpr int kRegisterCount = 49;

class RegisterTable {
  public:
    RegisterTable() { BuildRegisterTable(); }
    void BuildRegisterTable();

    int size() const { return static_cast<int>(entries_.size()); }
    const RegisterInfo& operator[](int index) const { return entries_.at(index); }

    // Lowest index wins where two views share an address.
    std::optional<int> FindRegisterByAddress(int32_t address) const;
    std::optional<int> FindRegisterByName(const std::string& name) const;
    // Label 0 is bit 7's, label 7 is bit 0's.
    std::array<std::string, 8> SplitBitLabels(int index) const;

  private:
    std::vector<RegisterInfo> entries_;
};

// Registers the chip has and the table does not list: the limits of Ain5 to Ain8,
// which the limits window sets (high limit first, as for Ain1 to Ain4).
std::vector<RegisterInfo> UnlistedRegisters();

}  // namespace quarnel

#pragma once
// The chip's registers as the user sees them: 49 views with address, name,
// description and the names of their eight bits.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarnel {

struct RegisterInfo {
    int32_t Address = 0;
    std::string Name;
    std::string Description;  // equal to Name
    std::string BitLabels;    // eight fields separated by ":", bit 7 first
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

}  // namespace quarnel

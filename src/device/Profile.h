// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Register profiles: the settings a user makes on the chip (configuration,
// limits, masks, offsets, DAC codes), kept in a JSON file to be compared with
// a chip or written back to it. Never results, status, identity, the SPI lock,
// or a bit that resets the chip.

#include <cstddef>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/RegisterTable.h"
#include "link/BoardLink.h"

namespace quarnel {

inline constexpr const char* kProfileFormat = "quarnel-register-profile";
inline constexpr int kProfileVersion = 1;
inline constexpr size_t kMaxProfileBytes = 1 << 20;
inline constexpr int kMaxProfileDepth = 8;  // objects and arrays within each other

// A profile that cannot be used; what() names the problem (the first bad entry).
class ProfileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ChipIdentity {
    int address = 0;  // serial-bus address, 0x48 to 0x4B
    int deviceId = 0, companyId = 0, revision = 0;
};

struct ProfileRegister {
    int address = 0;
    std::string name;
    int value = 0;
};

struct Profile {
    std::string savedAt;  // local time, "2024-03-09T14:05:30+01:00"
    ChipIdentity chip;
    std::vector<ProfileRegister> registers;  // ascending address
};

// One register whose chip value is not the profile's.
struct RegisterChange {
    int address = 0;
    std::string name;
    int chip = 0;
    int file = 0;
};

// The registers a profile holds, in the order a load writes them: limits and
// masks, offsets and DAC codes, the configuration registers, Configuration 1
// last (it starts conversions and switches the shared pins). Where two views
// share an address the first one names it.
std::vector<RegisterInfo> ProfileRegisters(const RegisterTable& table);

// A profile's savedAt: ISO 8601 local time with its offset, "2024-03-09T14:05:30+01:00".
std::string ProfileTimeText(std::time_t when);

// "18h": the program's notation, also the profile's keys.
std::string RegisterKey(int address);

ChipIdentity ReadChipIdentity(BoardLink& link);
// Reads every profile register from the chip.
Profile ReadProfile(BoardLink& link, const RegisterTable& table, const std::string& savedAt);

std::string ProfileToJson(const Profile& profile);
// Checks everything before anything can be written. Throws ProfileError.
Profile ProfileFromJson(const std::string& text, const RegisterTable& table);
// The file at path: a regular file of at most kMaxProfileBytes. Throws ProfileError.
Profile ReadProfileFile(const std::string& path, const RegisterTable& table);
// Atomic, through a temporary file beside it; never over one of `ownFiles` (the
// board's state file, its lock, the trace). Returns the error, if any.
std::optional<std::string> WriteProfileFile(const std::string& path, const Profile& profile,
                                            const std::vector<std::string>& ownFiles = {});

// Why a profile saved from `saved` does not belong on `chip` (another Device ID
// or Company ID), or nullopt. Address and revision may differ.
std::optional<std::string> IdentityMismatch(const ChipIdentity& chip, const ChipIdentity& saved);

// The profile's registers whose chip value differs, in address order.
std::vector<RegisterChange> CompareWithChip(BoardLink& link, const Profile& profile);

// Writes the changes in the load order, each through WriteRegister (so the
// register-written hook follows), then reads every profile register back.
// Returns the registers that did not take (chip: the value read back).
std::vector<RegisterChange> WriteChanges(BoardLink& link, const RegisterTable& table,
                                         const Profile& profile,
                                         const std::vector<RegisterChange>& changes);

}  // namespace quarnel

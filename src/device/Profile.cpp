// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Profile.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <tuple>

#include "device/ChipRegisters.h"
#include "device/DeviceState.h"
#include "link/SafeFile.h"

namespace quarnel {
namespace {

using Json = nlohmann::ordered_json;  // keys stay in file order: "format" first

int writeRank(const RegisterInfo& info) {
    if (info.Address == chip::kConfig1) return 5;
    switch (info.Role) {
        case RegisterRole::Limit:
            return 0;
        case RegisterRole::Mask:
            return 1;
        case RegisterRole::Offset:
            return 2;
        case RegisterRole::Dac:
            return 3;
        default:
            return 4;
    }
}

bool isByte(const Json& value) {
    return value.is_number_integer() && value.get<int64_t>() >= 0 && value.get<int64_t>() <= 255;
}

int byteAt(const Json& object, const char* key, const std::string& where) {
    const auto it = object.find(key);
    if (it == object.end() || !isByte(*it))
        throw ProfileError(where + "\"" + key + "\" must be a whole number from 0 to 255");
    return it->get<int>();
}

std::optional<int> keyAddress(const std::string& key) {
    if (key.size() < 2 || key.size() > 3 || (key.back() != 'h' && key.back() != 'H'))
        return std::nullopt;
    int value = 0;
    for (size_t i = 0; i + 1 < key.size(); ++i) {
        const char c = key[i];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        if (digit < 0) return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

// A value the chip would take badly: a reset, or a pin function it has not.
std::optional<std::string> unsafeValue(int address, int value) {
    if (address == chip::kConfig2 && (value & chip::kConfig2Reset))
        return "sets RST, which would reset the chip";
    if (address == chip::kConfig1 && ChannelFunctionOf(value) == ChannelFunction::Undetermined)
        return "selects no valid External Temp/Ain1-2 function (bits 2:1)";
    // The setting would not last: every start-up sets MON again.
    if (address == chip::kConfig1 && !(value & chip::kConfig1Mon))
        return "clears MON (bit 0), which the program sets again at every start";
    return std::nullopt;
}

ProfileRegister readEntry(const std::string& key, const Json& entry, const RegisterTable& table,
                          const std::vector<RegisterInfo>& known) {
    const auto address = keyAddress(key);
    if (!address) throw ProfileError("register key \"" + key + "\" is not an address like 18h");
    const auto info = std::find_if(known.begin(), known.end(),
                                   [&](const RegisterInfo& r) { return r.Address == *address; });
    if (info == known.end()) {
        const auto listed = table.FindRegisterByAddress(*address);
        throw ProfileError("register " + key +
                           (listed
                                ? " (" + table[*listed].Name + ") is not a setting a profile holds"
                                : " is not a register of the chip"));
    }
    const std::string where = "register " + key + " (" + info->Name + "): ";
    if (!entry.is_object()) throw ProfileError(where + "must be an object with a \"value\"");
    const auto value = entry.find("value");
    if (value == entry.end() || !value->is_number_integer())
        throw ProfileError(where + "\"value\" must be a whole number from 0 to 255");
    if (!isByte(*value))
        throw ProfileError(where + "value " + value->dump() + " is outside 0 to 255");
    if (const auto why = unsafeValue(*address, value->get<int>()))
        throw ProfileError(where + "value " + RegisterKey(value->get<int>()) + " " + *why);
    return ProfileRegister{*address, info->Name, value->get<int>()};
}

// A profile is three levels deep: anything much deeper is not one, and the parser
// never builds it. A key given twice would silently take its last value.
Json::parser_callback_t strictParsing() {
    auto keys = std::make_shared<std::vector<std::set<std::string>>>();
    return [keys](int depth, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
            case Json::parse_event_t::array_start:
                if (depth >= kMaxProfileDepth)
                    throw ProfileError("nested deeper than a profile ever is");
                if (event == Json::parse_event_t::object_start) keys->emplace_back();
                break;
            case Json::parse_event_t::key:
                if (!keys->back().insert(parsed.get<std::string>()).second)
                    throw ProfileError("the key \"" + parsed.get<std::string>() +
                                       "\" appears twice in one object");
                break;
            case Json::parse_event_t::object_end:
                keys->pop_back();
                break;
            default:
                break;
        }
        return true;
    };
}

}  // namespace

std::vector<RegisterInfo> ProfileRegisters(const RegisterTable& table) {
    std::vector<RegisterInfo> registers;
    std::set<int32_t> seen;
    std::vector<RegisterInfo> candidates;
    for (int i = 0; i < table.size(); ++i) candidates.push_back(table[i]);
    for (const RegisterInfo& info : UnlistedRegisters()) candidates.push_back(info);
    for (const RegisterInfo& info : candidates)
        if (info.userSetting() && seen.insert(info.Address).second) registers.push_back(info);
    std::stable_sort(
        registers.begin(), registers.end(), [](const RegisterInfo& a, const RegisterInfo& b) {
            return std::pair(writeRank(a), a.Address) < std::pair(writeRank(b), b.Address);
        });
    return registers;
}

std::string RegisterKey(int address) {
    char text[8];
    std::snprintf(text, sizeof text, "%Xh", address & 0xFF);
    return text;
}

std::string ProfileTimeText(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    // The offset as +HH:MM; built by appending, as GCC 12 warns wrongly
    // (-Wrestrict) about inserting into the string at -O3.
    const std::string_view raw = text;
    if (raw.size() < 5) return std::string(raw);
    std::string stamp(raw.substr(0, raw.size() - 2));
    stamp += ':';
    stamp += raw.substr(raw.size() - 2);
    return stamp;
}

ChipIdentity ReadChipIdentity(BoardLink& link) {
    const int32_t device = link.DeviceAddress;
    return ChipIdentity{device, link.ReadRegister(device, chip::kDeviceId),
                        link.ReadRegister(device, chip::kCompanyId),
                        link.ReadRegister(device, chip::kRevision)};
}

Profile ReadProfile(BoardLink& link, const RegisterTable& table, const std::string& savedAt) {
    Profile profile{savedAt, ReadChipIdentity(link), {}};
    for (const RegisterInfo& info : ProfileRegisters(table)) {
        int value = link.ReadRegister(link.DeviceAddress, info.Address);
        if (info.Address == chip::kConfig2) value &= ~chip::kConfig2Reset;
        if (info.Address == chip::kConfig1) value |= chip::kConfig1Mon;
        profile.registers.push_back({info.Address, info.Name, value});
    }
    std::sort(profile.registers.begin(), profile.registers.end(),
              [](const auto& a, const auto& b) { return a.address < b.address; });
    return profile;
}

std::string ProfileToJson(const Profile& profile) {
    Json j;
    j["format"] = kProfileFormat;
    j["version"] = kProfileVersion;
    j["savedAt"] = profile.savedAt;
    j["chip"] = {{"address", profile.chip.address},
                 {"deviceId", profile.chip.deviceId},
                 {"companyId", profile.chip.companyId},
                 {"revision", profile.chip.revision}};
    Json& registers = j["registers"] = Json::object();
    for (const ProfileRegister& r : profile.registers)
        registers[RegisterKey(r.address)] = {{"name", r.name}, {"value", r.value}};
    return j.dump(2) + "\n";
}

Profile ProfileFromJson(const std::string& text, const RegisterTable& table) {
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        throw ProfileError("the file is empty");
    Json j;
    try {
        j = Json::parse(text, strictParsing());
    } catch (const Json::parse_error& e) {
        if (e.byte > text.size()) throw ProfileError("the file ends too early (is it cut short?)");
        throw ProfileError("not JSON (syntax error at byte " + std::to_string(e.byte) + ")");
    } catch (const Json::out_of_range&) {
        throw ProfileError("it holds a number too large to read");
    } catch (const Json::exception& e) {
        throw ProfileError(std::string("not JSON (") + e.what() + ")");
    }
    if (!j.is_object() || !j.contains("format") || j["format"] != kProfileFormat)
        throw ProfileError(std::string("not a register profile (no \"format\": \"") +
                           kProfileFormat + "\")");
    if (!j.contains("version") || !j["version"].is_number_integer())
        throw ProfileError("the profile has no \"version\"");
    if (j["version"] != kProfileVersion)
        throw ProfileError("profile version " + j["version"].dump() +
                           " is not one this program reads (it reads version " +
                           std::to_string(kProfileVersion) + ")");
    Profile profile;
    if (j.contains("savedAt")) {
        if (!j["savedAt"].is_string()) throw ProfileError("\"savedAt\" must be a text");
        profile.savedAt = j["savedAt"].get<std::string>();
    }
    if (!j.contains("chip") || !j["chip"].is_object())
        throw ProfileError("the profile does not say which chip it came from (\"chip\")");
    const Json& chip = j["chip"];
    profile.chip =
        ChipIdentity{byteAt(chip, "address", "chip: "), byteAt(chip, "deviceId", "chip: "),
                     byteAt(chip, "companyId", "chip: "), byteAt(chip, "revision", "chip: ")};
    if (!j.contains("registers") || !j["registers"].is_object() || j["registers"].empty())
        throw ProfileError("the profile holds no \"registers\"");
    const std::vector<RegisterInfo> known = ProfileRegisters(table);
    std::set<int> seen;
    for (const auto& [key, entry] : j["registers"].items()) {
        ProfileRegister r = readEntry(key, entry, table, known);
        if (!seen.insert(r.address).second)
            throw ProfileError("register " + RegisterKey(r.address) + " appears twice");
        profile.registers.push_back(std::move(r));
    }
    std::sort(profile.registers.begin(), profile.registers.end(),
              [](const auto& a, const auto& b) { return a.address < b.address; });
    return profile;
}

Profile ReadProfileFile(const std::string& path, const RegisterTable& table) {
    const FileRead file = ReadRegularFile(path, kMaxProfileBytes);
    switch (file.kind) {
        case FileRead::kMissing:
            throw ProfileError("there is no such file");
        case FileRead::kNotRegular:
            throw ProfileError("it " + file.error);
        case FileRead::kFailed:
            throw ProfileError("cannot read it: " + file.error);
        case FileRead::kRead:
            break;
    }
    if (file.text.size() > kMaxProfileBytes) throw ProfileError("larger than 1 MiB");
    return ProfileFromJson(file.text, table);
}

std::optional<std::string> WriteProfileFile(const std::string& path, const Profile& profile,
                                            const std::vector<std::string>& ownFiles) {
    for (const std::string& own : ownFiles)
        if (SameFileName(path, own)) return "it is a file the program keeps for itself: " + own;
    // Saves cut short (a killed program) leave temporary files nothing else removes.
    RemoveStaleTempFiles(path);
    return ReplaceFileAtomically(path, ProfileToJson(profile), true);
}

std::optional<std::string> IdentityMismatch(const ChipIdentity& chip, const ChipIdentity& saved) {
    for (const auto& [what, here, there] : {std::tuple{"Device ID", chip.deviceId, saved.deviceId},
                                            {"Company ID", chip.companyId, saved.companyId}}) {
        if (here != there)
            return std::string("the profile is from a chip with ") + what + " " +
                   RegisterKey(there) + ", this chip's is " + RegisterKey(here);
    }
    return std::nullopt;
}

std::vector<RegisterChange> CompareWithChip(BoardLink& link, const Profile& profile) {
    std::vector<RegisterChange> changes;
    for (const ProfileRegister& r : profile.registers) {
        const int chip = link.ReadRegister(link.DeviceAddress, r.address);
        if (chip != r.value) changes.push_back({r.address, r.name, chip, r.value});
    }
    return changes;
}

std::vector<RegisterChange> WriteChanges(BoardLink& link, const RegisterTable& table,
                                         const Profile& profile,
                                         const std::vector<RegisterChange>& changes) {
    for (const RegisterInfo& info : ProfileRegisters(table)) {
        for (const RegisterChange& change : changes) {
            if (change.address != info.Address) continue;
            int32_t value = change.file;
            link.WriteRegister(link.DeviceAddress, change.address, value);
        }
    }
    return CompareWithChip(link, profile);
}

}  // namespace quarnel

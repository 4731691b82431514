// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/BoardState.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "link/SafeFile.h"

namespace quarnel::sim {
namespace {

constexpr const char* kFormat = "quarnel-simulated-board";
constexpr int kVersion = 1;

template <size_t N>
bool readBytes(const nlohmann::json& j, const char* key, std::array<uint8_t, N>& out,
               std::string& error) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_array() || it->size() != N) {
        error = std::string("\"") + key + "\" must be an array of " + std::to_string(N) + " bytes";
        return false;
    }
    for (size_t i = 0; i < N; ++i) {
        const auto& v = (*it)[i];
        if (!v.is_number_integer() || v.get<int64_t>() < 0 || v.get<int64_t>() > 255) {
            error = std::string("\"") + key + "\"[" + std::to_string(i) + "] is not a byte";
            return false;
        }
        out[i] = static_cast<uint8_t>(v.get<int64_t>());
    }
    return true;
}

// Our files begin with the format mark (the keys are written in order), so a file
// garbled or cut short after it is still known as ours.
bool carriesFormatMark(std::string_view text) {
    return text.substr(0, 128).find(std::string("\"") + kFormat + "\"") != std::string_view::npos;
}

std::string errorText(int error) {
    return std::strerror(error);
}

}  // namespace

PortImage powerOnPorts() {
    // Port 2 bits 4 and 5 come up set; start-up clears them.
    return {0x00, 0x00, 0x30, 0x00, 0x00, 0x00};
}

BoardState powerOnState() {
    return BoardState{Chip::powerOnRegisters(), powerOnPorts(), false};
}

std::string stateToJson(const BoardState& state) {
    nlohmann::json j;
    j["format"] = kFormat;
    j["version"] = kVersion;
    j["registers"] = state.registers;
    j["ports"] = state.ports;
    j["spiLock"] = state.spiLock;
    // Keys come out sorted, so "format" is the first thing in the file.
    return j.dump(1) + "\n";
}

std::optional<BoardState> stateFromJson(const std::string& text, std::string& error) {
    const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded()) {
        error = "not valid JSON";
        return std::nullopt;
    }
    if (!j.is_object() || j.value("format", std::string()) != kFormat) {
        error = "not a simulated board's state";
        return std::nullopt;
    }
    if (!j.contains("version") || !j["version"].is_number_integer() ||
        j["version"].get<int64_t>() != kVersion) {
        error = "unknown state version";
        return std::nullopt;
    }
    BoardState state;
    if (!readBytes(j, "registers", state.registers, error)) return std::nullopt;
    if (!readBytes(j, "ports", state.ports, error)) return std::nullopt;
    const auto lock = j.find("spiLock");
    if (lock == j.end() || !lock->is_boolean()) {
        error = "\"spiLock\" must be true or false";
        return std::nullopt;
    }
    state.spiLock = lock->get<bool>();
    return state;
}

std::optional<std::string> checkStatePath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;  // made on the first save
        return "cannot be looked at: " + errorText(errno);
    }
    if (S_ISDIR(st.st_mode)) return "is a folder, not a file";
    if (!S_ISREG(st.st_mode)) return "is not a regular file (a device, FIFO or socket)";
    return std::nullopt;
}

LoadedState loadStateFile(const std::string& path) {
    LoadedState result;
    result.state = powerOnState();
    if (const auto why = checkStatePath(path)) {
        result.kind = LoadedState::kRefused;
        result.error = *why;
        return result;
    }
    // Should a FIFO or folder appear after the check, it is still refused unread.
    const FileRead file = ReadRegularFile(path, kMaxStateFileBytes);
    if (file.kind == FileRead::kMissing) return result;
    if (file.kind == FileRead::kNotRegular) {
        result.kind = LoadedState::kRefused;
        result.error = "is not a regular file";
        return result;
    }
    result.kind = LoadedState::kDamaged;
    if (file.kind == FileRead::kFailed) {
        result.error = "cannot read it: " + file.error;
        return result;
    }
    result.ours = carriesFormatMark(file.text);
    if (file.text.size() > kMaxStateFileBytes) {
        result.error = "larger than 1 MiB";
    } else if (auto state = stateFromJson(file.text, result.error)) {
        result.kind = LoadedState::kLoaded;
        result.state = *state;
    }
    return result;
}

std::optional<std::string> moveAside(const std::string& path, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) {
        error = "it is not a regular file";
        return std::nullopt;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, ".damaged-%Y%m%d-%H%M%S", &local);
    for (int n = 1; n < 100; ++n) {
        // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) about
        // prepending to a temporary string, as "-" + std::to_string(n) does.
        std::string name = path;
        name += stamp;
        if (n > 1) {
            name += '-';
            name += std::to_string(n);
        }
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0)
            return name;
        // A file system without RENAME_NOREPLACE: look first, then rename.
        if (errno == EINVAL && ::lstat(name.c_str(), &st) != 0 &&
            ::rename(path.c_str(), name.c_str()) == 0)
            return name;
        if (errno != EEXIST) break;
    }
    error = errorText(errno);
    return std::nullopt;
}

std::optional<std::string> saveStateFile(const std::string& path, const BoardState& state) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target(path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    if (ec) return "cannot create " + target.parent_path().string() + ": " + ec.message();
    return ReplaceFileAtomically(path, stateToJson(state));
}

void removeStaleTempFiles(const std::string& path) {
    RemoveStaleTempFiles(path);
}

BoardLock::~BoardLock() {
    release();
}

BoardLock::Result BoardLock::acquire(const std::string& statePath, std::string& error) {
    if (held()) return Result::kHeld;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target(statePath);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    const std::string path = lockPath(statePath);
    // O_NOFOLLOW: a symbolic link planted at the lock's name is never followed.
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return Result::kUnavailable;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = "cannot use " + path + ": it is not a regular file";
        return Result::kUnavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) return Result::kBusy;
        error = "cannot lock " + path + ": " + std::strerror(err);
        return Result::kUnavailable;
    }
    fd_ = fd;
    return Result::kHeld;
}

void BoardLock::release() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace quarnel::sim

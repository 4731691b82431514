#include "sim/BoardState.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

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

LoadedState loadStateFile(const std::string& path) {
    LoadedState result;
    result.state = powerOnState();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return result;
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    if (in) text << in.rdbuf();
    if (!in || in.bad()) {
        result.kind = LoadedState::kDamaged;
        result.error = std::string("cannot read it: ") + std::strerror(errno);
        return result;
    }
    if (auto state = stateFromJson(text.str(), result.error)) {
        result.kind = LoadedState::kLoaded;
        result.state = *state;
    } else {
        result.kind = LoadedState::kDamaged;
    }
    return result;
}

std::optional<std::string> saveStateFile(const std::string& path, const BoardState& state) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target(path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    if (ec) return "cannot create " + target.parent_path().string() + ": " + ec.message();
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return "cannot write " + temp + ": " + std::strerror(errno);
        out << stateToJson(state);
        out.close();
        if (!out) {
            fs::remove(temp, ec);
            return "cannot write " + temp;
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return "cannot replace " + path + ": " + ec.message();
    }
    return std::nullopt;
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
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
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

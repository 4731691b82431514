#pragma once
// What the simulated board keeps between runs, its state file, and the lock
// that lets one program at a time hold the board.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "sim/Chip.h"

namespace quarnel::sim {

using PortImage = std::array<uint8_t, 6>;  // port 1 low, high, port 2 low, high, port 3 low, high

struct BoardState {
    Chip::Registers registers{};
    PortImage ports{};
    bool spiLock = false;

    bool operator==(const BoardState&) const = default;
};

BoardState powerOnState();
PortImage powerOnPorts();

std::string stateToJson(const BoardState& state);
// Nullopt with the reason in `error` when the text is not a complete board state.
std::optional<BoardState> stateFromJson(const std::string& text, std::string& error);

struct LoadedState {
    enum Kind { kMissing, kLoaded, kDamaged } kind = kMissing;
    BoardState state;   // power-on unless kLoaded
    std::string error;  // why kDamaged
};
LoadedState loadStateFile(const std::string& path);
// Atomic: written beside the file, then renamed over it. Returns the error, if any.
std::optional<std::string> saveStateFile(const std::string& path, const BoardState& state);

// flock on "<state file>.lock", so renaming a new state file over the old one never
// loses the lock.
class BoardLock {
  public:
    enum class Result { kHeld, kBusy, kUnavailable };
    BoardLock() = default;
    ~BoardLock();
    BoardLock(const BoardLock&) = delete;
    BoardLock& operator=(const BoardLock&) = delete;

    // kBusy: another program holds it; kUnavailable: the lock file cannot be made
    // (error says why).
    Result acquire(const std::string& statePath, std::string& error);
    void release();
    bool held() const { return fd_ >= 0; }

    static std::string lockPath(const std::string& statePath) { return statePath + ".lock"; }

  private:
    int fd_ = -1;
};

}  // namespace quarnel::sim

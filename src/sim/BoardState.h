// SPDX-License-Identifier: GPL-3.0-or-later
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

// The most a state file is read of; anything longer is not ours.
inline constexpr size_t kMaxStateFileBytes = 1 << 20;

struct LoadedState {
    // kDamaged: a regular file that does not hold a board state; kRefused: the path
    // holds no regular file (a folder, device, FIFO or socket) and must stay untouched.
    enum Kind { kMissing, kLoaded, kDamaged, kRefused } kind = kMissing;
    BoardState state;   // power-on unless kLoaded
    std::string error;  // why kDamaged or kRefused
    bool ours = false;  // kDamaged: it carries our format mark, so it is our state, damaged
};
LoadedState loadStateFile(const std::string& path);
// Nullopt when the path may be a state file: missing or a regular file (through
// symbolic links); otherwise why not.
std::optional<std::string> checkStatePath(const std::string& path);
// Renames a damaged state file to "<path>.damaged-YYYYMMDD-HHMMSS" (local time), never
// over another file. Returns the new name, or nullopt with the reason in `error`.
std::optional<std::string> moveAside(const std::string& path, std::string& error);
// Atomic: written to a new temp file beside it, synced, then renamed over it; never
// over anything but a regular file or a symbolic link. Returns the error, if any.
std::optional<std::string> saveStateFile(const std::string& path, const BoardState& state);
// Removes the temp files of saves cut short (a killed program); call with the lock held.
void removeStaleTempFiles(const std::string& path);

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

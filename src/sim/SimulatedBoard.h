// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated evaluation board: stands in for the board-link library and behaves
// like the hardware. Firmware image check, ports and bus routing, the chip (see
// Chip.h), a seeded bench, a state file held by one program at a time, request
// latency and fault injection. The request trace is a wrapper around any board
// (link/TracingBoard.h).
//
//   quarnel::sim::SimOptions options;
//   options.statePath = dir + "/board.json";   // tests: always a file of their own
//   quarnel::sim::SimulatedBoard board(options, clock);
//   board.LoadFirmWare(".../QUARNELFW.Hex");    // requests fail until this succeeds
//
// Statuses: 0 success; negative values are the k... constants below.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "link/Clock.h"
#include "link/Orvalink.h"
#include "sim/BoardState.h"
#include "sim/Chip.h"
#include "sim/Environment.h"
#include "sim/SimOptions.h"

namespace quarnel::sim {

// LoadFirmWare
inline constexpr int16_t kFirmwareUnreadable = -1;  // missing or unreadable image
inline constexpr int16_t kFirmwareMalformed = -2;   // not a well-formed Intel HEX image
inline constexpr int16_t kBoardInUse = -3;          // another program holds the board
inline constexpr int16_t kFirmwareFault = -4;       // injected fault
// VendorIORequest (LoadFirmWare too, once the cable is pulled)
inline constexpr int16_t kNotReady = -5;        // no firmware running, or the board is not held
inline constexpr int16_t kCablePulled = -6;     // injected: every request after N
inline constexpr int16_t kBusSelectFault = -7;  // injected: a serial-bus selection failed
inline constexpr int16_t kBadRequest = -8;      // unknown request, port or direction
// Any request: injected stall. The USB board's status for a timed-out transfer, so both
// boards fail alike.
inline constexpr int16_t kTransferTimedOut = -17;

inline constexpr uint8_t kAuxiliaryByte = 0x01;  // request 218 answers the firmware revision

class SimulatedBoard final : public Orvalink {
  public:
    SimulatedBoard(SimOptions options, Clock& clock);
    ~SimulatedBoard() override;
    SimulatedBoard(const SimulatedBoard&) = delete;
    SimulatedBoard& operator=(const SimulatedBoard&) = delete;

    int16_t LoadFirmWare(const char* path) override;
    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t* buffer) override;

    // The state of the interrupt output (conversions brought up to the clock's time).
    bool interruptPinActive();

    // Looks without touching: no status clears, no latches, no conversions.
    uint8_t peekRegister(int address) const { return chip_.peek(address); }
    PortImage portImage() const { return ports_; }
    bool spiLocked() const { return chip_.spiLocked(); }
    bool firmwareRunning() const { return firmwareRunning_; }
    const SimOptions& options() const { return options_; }
    const std::string& statePath() const { return statePath_; }

    // Replaces the bench (tests feed exact inputs); the argument is monotonic seconds.
    // An empty function brings the seeded bench back.
    void setInputs(Chip::InputsAt inputs) {
        inputs_ = inputs ? std::move(inputs)
                         : Chip::InputsAt([this](double t) { return environment_.at(t); });
    }

    // Unplug and plug in again: power-on chip and ports, lock released, firmware gone.
    void powerCycle();
    // The same for a board no program holds, through its state file (`sim replug`).
    // Returns the error, if any; a board held by another program is one. A state file
    // that holds no board state is first kept under another name (told to `warn`).
    static std::optional<std::string> powerCycle(const std::string& statePath,
                                                 const WarningSink& warn = {});

  private:
    bool ensureHeld(bool warnIfBusy);
    void applyState(const BoardState& state);
    BoardState currentState() const;
    void save();
    void warn(const std::string& message) const;
    void advance();
    bool transfer();
    void wait(double seconds);
    Switches switches() const;
    int16_t handle(int16_t request, int32_t value, int32_t index, int16_t direction, int16_t length,
                   uint8_t* buffer);
    int16_t registerRequest(int32_t value, int32_t index, int16_t direction, int16_t length,
                            uint8_t* buffer);
    int16_t portRequest(int32_t value, int32_t index, int16_t direction, int16_t length,
                        uint8_t* buffer);

    SimOptions options_;
    Clock& clock_;
    double openedAt_;  // monotonic seconds; the stall fault counts from here
    std::string statePath_;
    Environment environment_;
    Chip::InputsAt inputs_;
    Chip chip_;
    PortImage ports_ = powerOnPorts();
    BoardLock lock_;
    bool loaded_ = false;  // the state file has been read under the lock
    bool firmwareRunning_ = false;
    bool saveFailing_ = false;
    bool keepState_ = true;  // false: the state file holds something else, never written
    long requestCount_ = 0;
    int busSelectionsToFail_ = 0;
    bool stalled_ = false;    // the stall fault fires once
    bool replugged_ = false;  // the replug fault's board has come back
    // The replug fault: true while the board is unplugged; powers it up again
    // (firmware gone, registers at their power-on values) when it returns.
    bool unplugged();
};

}  // namespace quarnel::sim

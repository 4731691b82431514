// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimulatedBoard.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include "link/FirmwareImage.h"

namespace quarnel::sim {
namespace {

constexpr int kRequestRegister = 222;
constexpr int kRequestPorts = 221;
constexpr int kRequestAuxiliary = 218;
constexpr int kBusSerial = 1;
constexpr int kBusSpi = 2;
constexpr uint8_t kPort3Spi = 0x04;
// How long a stalled request blocks before it times out.
constexpr double kStallSeconds = 1.0;

// A state file that holds no board state is never written over: a regular file is
// kept under another name, anything else is left alone. False when the board must
// not write its state.
bool setAsideUnusable(const std::string& path, const LoadedState& loaded, const WarningSink& warn) {
    const std::string file = "the state file " + path;
    if (loaded.kind == LoadedState::kRefused) {
        warn(file + " " + loaded.error + "; it is left alone and the board's state is not kept");
        return false;
    }
    if (loaded.kind != LoadedState::kDamaged) return true;
    const std::string what = loaded.ours ? " is damaged (" : " is not a simulated board's state (";
    std::string error;
    if (const auto kept = moveAside(path, error)) {
        warn(file + what + loaded.error + "); it is kept as " + *kept +
             ", and the board starts freshly powered");
        return true;
    }
    warn(file + what + loaded.error + ") and cannot be moved aside (" + error +
         "); it is left alone and the board's state is not kept");
    return false;
}

}  // namespace

SimulatedBoard::SimulatedBoard(SimOptions options, Clock& clock)
    : options_(std::move(options)),
      clock_(clock),
      openedAt_(clock.monotonic()),
      statePath_(options_.statePath.empty() ? defaultStatePath() : options_.statePath),
      environment_(options_.seed),
      inputs_([this](double t) { return environment_.at(t); }),
      busSelectionsToFail_(options_.faults.failingBusSelections) {
    // A board held elsewhere is reported when the program downloads the firmware.
    ensureHeld(false);
}

SimulatedBoard::~SimulatedBoard() = default;

void SimulatedBoard::warn(const std::string& message) const {
    if (options_.warn)
        options_.warn(message);
    else
        std::cerr << "quarnel sim: warning: " << message << std::endl;
}

bool SimulatedBoard::ensureHeld(bool warnIfBusy) {
    if (loaded_) return true;
    std::string error;
    switch (lock_.acquire(statePath_, error)) {
        case BoardLock::Result::kBusy:
            if (warnIfBusy)
                warn("the simulated board is in use by another program (lock " +
                     BoardLock::lockPath(statePath_) + " is held); close it first");
            return false;
        case BoardLock::Result::kUnavailable:
            warn(error + "; the board is used without protection against a second program");
            break;
        case BoardLock::Result::kHeld:
            removeStaleTempFiles(statePath_);
            break;
    }
    const LoadedState loaded = loadStateFile(statePath_);
    keepState_ = setAsideUnusable(statePath_, loaded, [this](const std::string& m) { warn(m); });
    applyState(loaded.state);
    loaded_ = true;
    return true;
}

void SimulatedBoard::applyState(const BoardState& state) {
    Chip::Registers registers = state.registers;
    registers[reg::kSpiLock] = state.spiLock ? 0x01 : 0x00;
    chip_.restore(registers);
    ports_ = state.ports;
}

BoardState SimulatedBoard::currentState() const {
    return BoardState{chip_.persistentRegisters(), ports_, chip_.spiLocked()};
}

void SimulatedBoard::save() {
    if (!keepState_) return;
    if (const auto error = saveStateFile(statePath_, currentState())) {
        // Once per spell of failures, not once per request.
        if (!saveFailing_) warn("the board's state is not kept: " + *error);
        saveFailing_ = true;
    } else {
        saveFailing_ = false;
    }
}

Switches SimulatedBoard::switches() const {
    return Switches{(ports_[2] & 0x03) == 0x03, (ports_[4] & 0x01) != 0, (ports_[4] & 0x02) != 0};
}

void SimulatedBoard::advance() {
    chip_.advance(clock_.monotonic(), inputs_, switches());
}

// The clock's sleep may end early; the request still takes its whole time.
void SimulatedBoard::wait(double seconds) {
    const double end = clock_.monotonic() + seconds;
    for (double left = seconds; left > 0; left = end - clock_.monotonic()) clock_.sleep(left);
}

// The time a request spends on the wire. False for the stalled one, which ends
// with its time-out instead.
bool SimulatedBoard::transfer() {
    const auto& stall = options_.faults.stallAfter;
    if (stall && !stalled_ && clock_.monotonic() - openedAt_ >= *stall) {
        stalled_ = true;
        wait(kStallSeconds);
        return false;
    }
    wait(options_.latencyMs / 1000.0);
    return true;
}

bool SimulatedBoard::unplugged() {
    const auto& replug = options_.faults.replug;
    if (!replug || replugged_) return false;
    const double t = clock_.monotonic() - openedAt_;
    if (t < replug->first) return false;
    if (t < replug->first + replug->second) return true;
    replugged_ = true;
    firmwareRunning_ = false;
    chip_.powerOn();
    ports_ = powerOnPorts();
    save();
    return false;
}

bool SimulatedBoard::interruptPinActive() {
    advance();
    return chip_.interruptPinActive();
}

int16_t SimulatedBoard::LoadFirmWare(const char* path) {
    const std::string file = path ? path : "";
    int16_t status = 0;
    const auto& cable = options_.faults.cableAfter;
    if (!transfer()) {
        status = kTransferTimedOut;
    } else if ((cable && requestCount_ >= *cable) || unplugged()) {
        status = kCablePulled;
    } else if (options_.faults.firmwareFails) {
        status = kFirmwareFault;
    } else if (!ensureHeld(true)) {
        status = kBoardInUse;
    } else {
        const FirmwareImage image = ReadFirmwareImage(file);
        if (image.status != FirmwareImage::kOk) warn(image.error);
        if (image.status == FirmwareImage::kUnreadable) status = kFirmwareUnreadable;
        if (image.status == FirmwareImage::kMalformed) status = kFirmwareMalformed;
    }
    firmwareRunning_ = status == 0;
    return status;
}

int16_t SimulatedBoard::VendorIORequest(int16_t request, int32_t value, int32_t index,
                                        int16_t direction, int16_t length, uint8_t* buffer) {
    const auto& cable = options_.faults.cableAfter;
    const bool pulled = (cable && requestCount_ >= *cable) || unplugged();
    ++requestCount_;
    int16_t status = 0;
    if (!transfer()) {
        status = kTransferTimedOut;
    } else if (pulled) {
        status = kCablePulled;
    } else if ((options_.requireFirmware && !firmwareRunning_) || !ensureHeld(false)) {
        status = kNotReady;
    } else if (length < 0 || (length > 0 && buffer == nullptr) ||
               (direction != kDirectionIn && direction != kDirectionOut)) {
        status = kBadRequest;
    } else {
        advance();
        const BoardState before = currentState();
        status = handle(request, value, index, direction, length, buffer);
        if (!(currentState() == before)) save();
    }
    return status;
}

int16_t SimulatedBoard::handle(int16_t request, int32_t value, int32_t index, int16_t direction,
                               int16_t length, uint8_t* buffer) {
    switch (request) {
        case kRequestRegister:
            return registerRequest(value, index, direction, length, buffer);
        case kRequestPorts:
            return portRequest(value, index, direction, length, buffer);
        case kRequestAuxiliary:
            if (direction != kDirectionIn) return kBadRequest;
            for (int i = 0; i < length; ++i) buffer[i] = i == 0 ? kAuxiliaryByte : 0;
            return 0;
        default:
            return kBadRequest;
    }
}

int16_t SimulatedBoard::registerRequest(int32_t value, int32_t index, int16_t direction,
                                        int16_t length, uint8_t* buffer) {
    const int bus = (value >> 8) & 0xFF;
    const int address = value & 0xFF;
    const int registerAddress = index & 0xFF;
    const bool spiSelected = (ports_[4] & kPort3Spi) != 0;
    bool reached = false;
    if (bus == kBusSerial) {
        // Once the chip has seen SPI it no longer listens on the serial bus.
        reached = !spiSelected && !chip_.spiLocked() && address == options_.chipAddress;
    } else if (bus == kBusSpi) {
        reached = spiSelected;
        if (reached) chip_.lockSpi();
    }
    if (direction == kDirectionIn) {
        if (length > 0) {
            buffer[0] = reached ? chip_.read(registerAddress) : 0xFF;
            for (int i = 1; i < length; ++i) buffer[i] = 0xFF;
        }
    } else if (reached) {
        chip_.write(registerAddress, static_cast<uint8_t>((index >> 8) & 0xFF));
    }
    return 0;  // a request no chip answers still completes
}

int16_t SimulatedBoard::portRequest(int32_t value, int32_t index, int16_t direction, int16_t length,
                                    uint8_t* buffer) {
    if (direction == kDirectionIn) {
        for (int i = 0; i < length; ++i)
            buffer[i] = i < static_cast<int>(ports_.size()) ? ports_[i] : 0;
        return 0;
    }
    if (value < 1 || value > 3) return kBadRequest;
    const auto low = static_cast<uint8_t>(index & 0xFF);
    const auto high = static_cast<uint8_t>((index >> 8) & 0xFF);
    if (value == 3 && !(low & kPort3Spi) && busSelectionsToFail_ > 0) {
        --busSelectionsToFail_;
        return kBusSelectFault;
    }
    ports_[2 * (value - 1)] = low;
    ports_[2 * (value - 1) + 1] = high;
    return 0;
}

void SimulatedBoard::powerCycle() {
    const bool held = ensureHeld(true);
    chip_.powerOn();
    ports_ = powerOnPorts();
    firmwareRunning_ = false;
    if (held) save();
}

std::optional<std::string> SimulatedBoard::powerCycle(const std::string& statePath,
                                                      const WarningSink& warn) {
    BoardLock lock;
    std::string error;
    switch (lock.acquire(statePath, error)) {
        case BoardLock::Result::kBusy:
            return "the simulated board is in use by another program (lock " +
                   BoardLock::lockPath(statePath) + " is held)";
        case BoardLock::Result::kUnavailable:
            return error;
        case BoardLock::Result::kHeld:
            break;
    }
    const WarningSink sink = warn ? warn : [](const std::string& m) {
        std::cerr << "quarnel sim: warning: " << m << "\n";
    };
    if (!setAsideUnusable(statePath, loadStateFile(statePath), sink))
        return "the state file " + statePath + " cannot be used";
    return saveStateFile(statePath, powerOnState());
}

}  // namespace quarnel::sim

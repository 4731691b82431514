// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Register access and board ports over the board-link library. Every chip
// access of the program goes through ReadRegister and WriteRegister here.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "link/Clock.h"
#include "link/LinkFailure.h"
#include "link/Orvalink.h"

namespace quarnel {

inline constexpr int16_t kRequestRegister = 222;   // 0xDE: chip register read and write
inline constexpr int16_t kRequestPorts = 221;      // 0xDD: board ports
inline constexpr int16_t kRequestAuxiliary = 218;  // 0xDA
inline constexpr int32_t kBusSerial = 0x100;       // high byte of value: serial bus
inline constexpr int32_t kBusSpi = 0x200;          // high byte of value: SPI
inline constexpr int16_t kPathTooLong = -2;        // DownloadFirmware: path does not fit PathBuffer
inline constexpr const char* kFirmwareFileName = "QUARNELFW.Hex";

class BoardLink {
  public:
    BoardLink(Orvalink& board, Clock& clock, LinkFailureHandler onFailure);

    // Link state, named as the rest of the program knows it.
    std::string FirmwarePath;
    std::string FirmwareFile;  // the image to download; empty: the one in the program's folder
    std::array<uint8_t, 513> PathBuffer{};  // FirmwarePath, 8-bit, zero-terminated
    std::array<uint8_t, 64> LinkBuffer{};   // receive buffer of every IN request
    int32_t DeviceAddress = 0;
    bool SpiMode = false;

    // Runs after every successful register write (the device model plugs its
    // register-written handler in here).
    std::function<void(int32_t reg, int32_t value)> registerWritten;

    // Downloads FirmwareFile, or <applicationDir>/QUARNELFW.Hex. Returns LoadFirmWare's status,
    // or kPathTooLong (nothing sent) when the path exceeds 512 bytes.
    int16_t DownloadFirmware(const std::string& applicationDir);
    // False (buffer untouched) when the text does not fit in 512 bytes.
    bool FillPathBuffer(const std::string& text);

    int16_t ReadRegister(int32_t deviceAddress, int32_t reg);
    // Clamps value to at most 255 (written back into the caller's variable).
    int16_t WriteRegister(int32_t deviceAddress, int32_t reg, int32_t& value);
    // Convenience for callers that do not need the clamped value back.
    int16_t WriteRegister(int32_t deviceAddress, int32_t reg, int32_t&& value) {
        int32_t v = value;
        return WriteRegister(deviceAddress, reg, v);
    }

    int16_t WritePort(int32_t port, int32_t low, int32_t high);
    int16_t ReadPorts();
    void ReadAuxiliaryByte();

    // Hands the failure to the installed handler; never returns.
    [[noreturn]] void ReportLinkFailure(int code);

    // Asked during every wait; true ends the wait early (Ctrl+C). Empty: never.
    std::function<bool()> stopRequested;

    // Waits ms milliseconds on the monotonic clock; processes no events. False when
    // stopRequested cut the wait short (or holds at its end).
    bool DelayMs(float ms);

    Clock& clock() { return clock_; }
    Orvalink& board() { return board_; }

  private:
    Orvalink& board_;
    Clock& clock_;
    LinkFailureHandler onFailure_;
};

}  // namespace quarnel

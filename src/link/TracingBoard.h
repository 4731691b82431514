// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The request trace, around whichever board is plugged in: one line per call,
// appended to a file named by the user and flushed line by line.
//
//   LoadFirmWare "<path>" -> <status>
//   <request> 0x<value> 0x<index> <direction> <length> -> <status>[ <data>]
//   # <diagnostic>                       (a line the board adds, see note())
//
// Request, direction, length and status in decimal; value and index as eight
// upper-case hex digits of their 32-bit pattern; data only for an IN request that
// succeeded, as two-digit upper-case hex bytes separated by blanks.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "link/Orvalink.h"

namespace quarnel {

// Where a board sends its warnings and diagnostics (one line each, no newline).
using DiagnosticSink = std::function<void(const std::string&)>;

std::string traceFirmwareLine(const char* path, int16_t status);
std::string traceRequestLine(int16_t request, int32_t value, int32_t index, int16_t direction,
                             int16_t length, int16_t status, const uint8_t* buffer);

class TracingBoard final : public Orvalink {
  public:
    // A file that cannot be opened is reported through warn; the board then works untraced.
    TracingBoard(Orvalink& inner, const std::string& path, const DiagnosticSink& warn);
    ~TracingBoard() override;
    TracingBoard(const TracingBoard&) = delete;
    TracingBoard& operator=(const TracingBoard&) = delete;

    int16_t LoadFirmWare(const char* path) override;
    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t* buffer) override;

    // Adds "# <text>" to the trace: a board's diagnostic, next to the call it explains.
    void note(const std::string& text);

  private:
    void write(const std::string& line);

    Orvalink& inner_;
    std::FILE* file_ = nullptr;
};

}  // namespace quarnel

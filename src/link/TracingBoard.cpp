// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/TracingBoard.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

namespace quarnel {

std::string traceFirmwareLine(const char* path, int16_t status) {
    return "LoadFirmWare \"" + std::string(path ? path : "") + "\" -> " + std::to_string(status);
}

std::string traceRequestLine(int16_t request, int32_t value, int32_t index, int16_t direction,
                             int16_t length, int16_t status, const uint8_t* buffer) {
    char head[96];
    std::snprintf(head, sizeof head, "%d 0x%08" PRIX32 " 0x%08" PRIX32 " %d %d -> %d", request,
                  static_cast<uint32_t>(value), static_cast<uint32_t>(index), direction, length,
                  status);
    std::string line = head;
    if (status == 0 && direction == kDirectionIn && buffer) {
        char byte[4];
        for (int i = 0; i < length; ++i) {
            std::snprintf(byte, sizeof byte, " %02X", buffer[i]);
            line += byte;
        }
    }
    return line;
}

TracingBoard::TracingBoard(Orvalink& inner, const std::string& path, const DiagnosticSink& warn)
    : inner_(inner), file_(std::fopen(path.c_str(), "a")) {
    if (!file_ && warn)
        warn("cannot open the trace file " + path + ": " + std::strerror(errno) +
             "; no trace is written");
}

TracingBoard::~TracingBoard() {
    if (file_) std::fclose(file_);
}

void TracingBoard::write(const std::string& line) {
    if (!file_) return;
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

void TracingBoard::note(const std::string& text) {
    write("# " + text);
}

int16_t TracingBoard::LoadFirmWare(const char* path) {
    const int16_t status = inner_.LoadFirmWare(path);
    write(traceFirmwareLine(path, status));
    return status;
}

int16_t TracingBoard::VendorIORequest(int16_t request, int32_t value, int32_t index,
                                      int16_t direction, int16_t length, uint8_t* buffer) {
    const int16_t status = inner_.VendorIORequest(request, value, index, direction, length, buffer);
    write(traceRequestLine(request, value, index, direction, length, status, buffer));
    return status;
}

}  // namespace quarnel

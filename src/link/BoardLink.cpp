// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/BoardLink.h"

#include <cstring>

namespace quarnel {

BoardLink::BoardLink(Orvalink& board, Clock& clock, LinkFailureHandler onFailure)
    : board_(board), clock_(clock), onFailure_(std::move(onFailure)) {}

int16_t BoardLink::DownloadFirmware(const std::string& applicationDir) {
    FirmwarePath = FirmwareFile.empty() ? applicationDir + "/" + kFirmwareFileName : FirmwareFile;
    if (!FillPathBuffer(FirmwarePath)) return kPathTooLong;
    return board_.LoadFirmWare(reinterpret_cast<const char*>(PathBuffer.data()));
}

bool BoardLink::FillPathBuffer(const std::string& text) {
    // The path goes over as the platform's native bytes (UTF-8 here).
    if (text.size() > PathBuffer.size() - 1) return false;
    std::memcpy(PathBuffer.data(), text.data(), text.size());
    PathBuffer[text.size()] = 0;
    return true;
}

int16_t BoardLink::ReadRegister(int32_t deviceAddress, int32_t reg) {
    const int32_t value = SpiMode ? kBusSpi + reg : kBusSerial + deviceAddress;
    const int16_t status =
        board_.VendorIORequest(kRequestRegister, value, reg, kDirectionIn, 1, LinkBuffer.data());
    if (status != 0) ReportLinkFailure(kCommsInterrupted);
    return LinkBuffer[0];
}

int16_t BoardLink::WriteRegister(int32_t deviceAddress, int32_t reg, int32_t& value) {
    if (value > 255) value = 255;
    const int32_t requestValue = (SpiMode ? kBusSpi : kBusSerial) + deviceAddress;
    uint8_t zero = 0;
    // value * 256 in 32 bits: a negative value arrives as its two's complement.
    const int32_t index = static_cast<int32_t>(static_cast<uint32_t>(value) * 256u) + reg;
    const int16_t status =
        board_.VendorIORequest(kRequestRegister, requestValue, index, kDirectionOut, 0, &zero);
    if (status != 0) ReportLinkFailure(kCommsInterrupted);
    if (registerWritten) registerWritten(reg, value);
    return status;
}

int16_t BoardLink::WritePort(int32_t port, int32_t low, int32_t high) {
    uint8_t zero = 0;
    return board_.VendorIORequest(kRequestPorts, port, high * 256 + low, kDirectionOut, 0, &zero);
}

int16_t BoardLink::ReadPorts() {
    return board_.VendorIORequest(kRequestPorts, 0, 0, kDirectionIn, 6, LinkBuffer.data());
}

void BoardLink::ReadAuxiliaryByte() {
    board_.VendorIORequest(kRequestAuxiliary, 0, 0, kDirectionIn, 1, LinkBuffer.data());
}

void BoardLink::ReportLinkFailure(int code) {
    if (onFailure_) onFailure_(code);
    throw LinkFailure(code);
}

bool BoardLink::DelayMs(float ms) {
    const auto stopped = [this] { return stopRequested && stopRequested(); };
    const double end = clock_.monotonic() + static_cast<double>(ms) / 1000.0;
    for (double now = clock_.monotonic(); now < end && !stopped(); now = clock_.monotonic()) {
        clock_.sleep(end - now);
    }
    return !stopped();
}

}  // namespace quarnel

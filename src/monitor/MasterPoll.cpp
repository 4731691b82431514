// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/MasterPoll.h"

#include "device/ChipRegisters.h"
#include "device/Conversions.h"
#include "monitor/LogFile.h"

namespace quarnel {

bool IsDue(double now, double last, double interval) {
    return now > last + interval || now < last;
}

void MasterPoll::followChannelMode() {
    const ChannelFunction mode = session_.device.state.ChannelMode;
    if (seenMode_ && *seenMode_ != mode) {
        constexpr auto sharedPins = static_cast<uint16_t>((1u << kPollExternalTemp) |
                                                          (1u << kPollAin1) | (1u << kPollAin2));
        session_.readings.Taken &= static_cast<uint16_t>(~sharedPins);
        sharedPinsStaleUntil_ = session_.clock.monotonic() + kConversionRoundSeconds;
    }
    seenMode_ = mode;
}

void MasterPoll::TakeReading() {
    followChannelMode();
    BoardLink& link = session_.link;
    CurrentReadings& r = session_.readings;
    const int32_t device = link.DeviceAddress;
    const bool fahrenheit = session_.ShowFahrenheit;
    const float reference = session_.device.state.ReferenceVoltage;

    // The LSB register is read first: reading it latches the MSB values.
    auto code = [&](int32_t lsbRegister, int lowestBit, int32_t msbRegister) {
        const int lsb = link.ReadRegister(device, lsbRegister);
        const int msb = link.ReadRegister(device, msbRegister);
        return static_cast<int16_t>(msb * 4 + ((lsb >> lowestBit) & 0x03));
    };
    auto temperature = [&](int16_t c) {
        const float celsius = TempFromCode(c);
        return fahrenheit ? FahrenheitFromCelsius(celsius) : celsius;
    };
    auto ain = [&](int16_t c) { return RoundToSingle(AinFromCode(c, reference), 3); };

    switch (PollState) {
        case kPollInternalTemp:
            r.InternalTemp = temperature(code(chip::kInternalTempLsbs, 0, chip::kInternalTempMsbs));
            break;
        case kPollExternalTemp:
            r.ExternalTemp = temperature(code(chip::kExternalTempLsbs, 0, chip::kExternalTempMsbs));
            break;
        case kPollVdd:
            r.Vdd = RoundToSingle(VddFromCode(code(chip::kVddLsbs, 2, chip::kVddMsbs)), 3);
            break;
        case kPollAin5:
            r.Ain5 = ain(code(chip::kAin5to8Lsbs, 0, chip::kAin5Msbs));
            break;
        case kPollAin6:
            r.Ain6 = ain(code(chip::kAin5to8Lsbs, 2, chip::kAin6Msbs));
            break;
        case kPollAin7:
            r.Ain7 = ain(code(chip::kAin5to8Lsbs, 4, chip::kAin7Msbs));
            break;
        case kPollAin8:
            r.Ain8 = ain(code(chip::kAin5to8Lsbs, 6, chip::kAin8Msbs));
            break;
        case kPollStatus:
            r.IntStatus1 = link.ReadRegister(device, chip::kStatus1);
            r.IntStatus2 = link.ReadRegister(device, chip::kStatus2);
            break;
        case kPollAin1:
            r.Ain1 = ain(code(chip::kAin1to4Lsbs, 0, chip::kAin1Msbs));
            break;
        case kPollAin2:
            r.Ain2 = ain(code(chip::kAin1to4Lsbs, 2, chip::kAin2Msbs));
            break;
        case kPollAin3: {
            r.Ain3 = ain(code(chip::kAin1to4Lsbs, 4, chip::kAin3Msbs));
            const float celsius = VarnoTempFromVolts(r.Ain3);
            r.VarnoTemp = fahrenheit ? FahrenheitFromCelsius(celsius) : celsius;
            break;
        }
        default:
            r.Ain4 = ain(code(chip::kAin1to4Lsbs, 6, chip::kAin4Msbs));
            break;
    }
    const bool sharedPin =
        PollState == kPollExternalTemp || PollState == kPollAin1 || PollState == kPollAin2;
    if (!sharedPin || session_.clock.monotonic() >= sharedPinsStaleUntil_)
        r.Taken |= static_cast<uint16_t>(1u << PollState);
    PollState = static_cast<int16_t>((PollState + 1) % kPollStates);
}

const char* MasterPoll::Tick(const std::function<void()>& watchedRead) {
    TakeReading();
    if (watchedRead) {
        const double now = session_.clock.timeOfDay();
        if (IsDue(now, LastRegMapRead, kRegMapRefreshSeconds)) {
            watchedRead();
            LastRegMapRead = now;
        }
    }
    return LoggingStep(session_);
}

}  // namespace quarnel

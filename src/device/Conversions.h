// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Register codes to engineering units and back, decimal rounding and the
// number-to-text rule: the program's one numeric contract. Captions, the log
// file and the command-line tool all format readings through these.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quarnel {

// A conversion met a division by zero, an overflow or an invalid value.
class ConversionError : public std::domain_error {
  public:
    using std::domain_error::domain_error;
};

float TempFromCode(int16_t code);
float VddFromCode(int16_t code);
int16_t VddLimitCode(float volts);
float AinFromCode(int16_t code, float referenceVoltage);
int16_t AinLimitCode(float volts, float referenceVoltage);
float FahrenheitFromCelsius(float celsius);  // rounded to 2 decimals
float VarnoTempFromVolts(float volts);

// Nearest multiple of 10^-decimals, exact binary halves to the even neighbour.
double RoundHalfEven(double value, int decimals);
// The same, delivered in single precision (how readings are stored).
float RoundToSingle(double value, int decimals);
// Rounds to an integer (halves to even) and checks the 16/32-bit range.
int16_t RoundToInt16(double value);
int32_t RoundToInt32(double value);

// "." always; no zero before the point; "-" or one blank in the sign position;
// at most 7 significant digits for single and 15 for double precision.
std::string NumberText(float value);
std::string NumberText(double value);
std::string TrimmedNumberText(float value);
std::string TrimmedNumberText(double value);
// A trimmed number text with exactly three digits after the point.
std::string PadToThreeDecimals(const std::string& text);

}  // namespace quarnel

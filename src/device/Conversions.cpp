// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Conversions.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace quarnel {
namespace {

constexpr int kMaxDecimals = 15;
constexpr std::array<double, kMaxDecimals + 1> kPowersOfTen = {
    1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

double requireFinite(double value, const char* what) {
    if (!std::isfinite(value)) throw ConversionError(std::string("invalid value: ") + what);
    return value;
}

// Delivers a double result in single precision, refusing what single cannot hold.
float toSingle(double value, const char* what) {
    requireFinite(value, what);
    if (std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) {
        throw ConversionError(std::string("overflow: ") + what);
    }
    return static_cast<float>(value);
}

double powerOfTen(int decimals) {
    if (decimals < 0 || decimals > kMaxDecimals) {
        throw ConversionError("invalid value: decimals out of range");
    }
    return kPowersOfTen[static_cast<size_t>(decimals)];
}

// Beyond 2^52 every double is already an integer: nothing left to round.
constexpr double kIntegralLimit = 0x1p52;

// The integer nearest to magnitude x scale, an exact half going to the even
// neighbour. The product is judged exactly: hi + lo is the true product
// (fma gives the rounding error of hi), so a value such as 1.2825000286
// (a single just above the decimal half) is never mistaken for a half.
// Requires 0 <= magnitude and magnitude x scale < 2^52.
double nearestUnits(double magnitude, double scale, double hi) {
    const double lo = std::fma(magnitude, scale, -hi);
    const double whole = std::floor(hi);
    // Both hi - whole and 0.5 are multiples of hi's last place (or hi is far
    // below a half), so d is exact and, when not zero, outweighs lo.
    const double d = (hi - whole) - 0.5;
    const int side = d > 0 ? 1 : d < 0 ? -1 : (lo > 0 ? 1 : lo < 0 ? -1 : 0);
    if (side > 0) return whole + 1.0;
    if (side < 0) return whole;
    return std::fmod(whole, 2.0) == 0.0 ? whole : whole + 1.0;
}

// Number text for a value whose precision allows `significant` digits.
template <typename T>
std::string numberText(T value, int significant, bool trimmed) {
    if (!std::isfinite(value)) throw ConversionError("invalid value: number is not finite");
    const char* sign = std::signbit(value) ? "-" : (trimmed ? "" : " ");
    if (value == T(0)) return trimmed ? "0" : " 0";

    // Scientific text of the exact binary value rounded to `significant`
    // digits; to_chars ignores the locale and takes exact halves to even.
    std::array<char, 64> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(value),
                                   std::chars_format::scientific, significant - 1);
    if (res.ec != std::errc()) throw ConversionError("invalid value: number cannot be written");
    const std::string sci(buf.data(), res.ptr);
    const size_t e = sci.find('e');
    std::string digits = sci.substr(0, 1) + (e > 2 ? sci.substr(2, e - 2) : std::string());
    const int exponent = std::stoi(sci.substr(e + 1));
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string body;
    if (exponent >= significant || exponent < -9) {
        // Magnitudes the program never writes; kept readable rather than padded.
        body = digits.substr(0, 1);
        if (digits.size() > 1) body.append(".").append(digits, 1);
        const int absExp = exponent < 0 ? -exponent : exponent;
        body += std::string(exponent < 0 ? "E-" : "E+") + (absExp < 10 ? "0" : "") +
                std::to_string(absExp);
    } else if (exponent >= 0) {
        const size_t intDigits = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= intDigits) {
            body = digits + std::string(intDigits - digits.size(), '0');
        } else {
            body = digits.substr(0, intDigits) + "." + digits.substr(intDigits);
        }
    } else {
        // Below 1: no zero before the point. Appended, not prepended: GCC 12
        // warns wrongly (-Wrestrict) about "." + std::string(...) at -O3.
        body = ".";
        body.append(static_cast<size_t>(-exponent - 1), '0').append(digits);
    }
    return sign + body;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

double RoundHalfEven(double value, int decimals) {
    requireFinite(value, "value to round");
    const double scale = powerOfTen(decimals);
    const double magnitude = std::fabs(value);
    const double hi = magnitude * scale;
    if (!std::isfinite(hi)) throw ConversionError("overflow: value to round");
    if (hi >= kIntegralLimit) return value;
    const double units = nearestUnits(magnitude, scale, hi);
    if (units == 0.0) return 0.0;  // no negative zero
    const double result = units / scale;
    return std::signbit(value) ? -result : result;
}

float RoundToSingle(double value, int decimals) {
    requireFinite(value, "value to round");
    const double scale = powerOfTen(decimals);
    const double magnitude = std::fabs(value);
    const double hi = magnitude * scale;
    if (!std::isfinite(hi)) throw ConversionError("overflow: value to round");
    if (hi >= kIntegralLimit) return toSingle(value, "rounded value");
    const double units = nearestUnits(magnitude, scale, hi);
    if (units == 0.0) return 0.0f;
    // One correctly rounded single division where units and scale are exact
    // in single; going through double first could round twice.
    float result;
    if (units < 0x1p24 && decimals <= 10) {
        result = static_cast<float>(units) / static_cast<float>(scale);
    } else {
        result = toSingle(units / scale, "rounded value");
    }
    return std::signbit(value) ? -result : result;
}

int16_t RoundToInt16(double value) {
    const double n = RoundHalfEven(value, 0);
    if (n < std::numeric_limits<int16_t>::min() || n > std::numeric_limits<int16_t>::max()) {
        throw ConversionError("overflow: result outside the 16-bit range");
    }
    return static_cast<int16_t>(n);
}

int32_t RoundToInt32(double value) {
    const double n = RoundHalfEven(value, 0);
    if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max()) {
        throw ConversionError("overflow: result outside the 32-bit range");
    }
    return static_cast<int32_t>(n);
}

float TempFromCode(int16_t code) {
    // Bit 9 is the sign of the 10-bit two's-complement code; other codes pass unmasked.
    const int value = (code & 0x200) != 0 ? (code & 0x1FF) - 512 : code;
    return static_cast<float>(value / 4.0);
}

float VddFromCode(int16_t code) {
    // The Vdd channel always uses the fixed 2.25 V reference.
    const float step = static_cast<float>(2.25 / 1024.0);
    return toSingle(static_cast<double>(step) * 3.11 * code, "Vdd");
}

int16_t VddLimitCode(float volts) {
    requireFinite(volts, "Vdd limit");
    const float step = static_cast<float>(2.25 / 256.0);
    const double q = static_cast<double>(volts) / (static_cast<double>(step) * 3.11);
    return RoundToInt16(q);
}

namespace {

float ainStep(float referenceVoltage, double codes) {
    // 0 is the reference before Configuration 3 was read: not a usable scale.
    if (!std::isfinite(referenceVoltage) || referenceVoltage <= 0.0f) {
        throw ConversionError("invalid value: reference voltage is not set");
    }
    const float step = static_cast<float>(static_cast<double>(referenceVoltage) / codes);
    if (step == 0.0f) throw ConversionError("division by zero: reference voltage too small");
    return step;
}

}  // namespace

float AinFromCode(int16_t code, float referenceVoltage) {
    const float step = ainStep(referenceVoltage, 1024.0);
    return toSingle(static_cast<double>(static_cast<float>(code)) * static_cast<double>(step),
                    "Ain");
}

int16_t AinLimitCode(float volts, float referenceVoltage) {
    requireFinite(volts, "Ain limit");
    const float step = ainStep(referenceVoltage, 256.0);
    // Single precision throughout, unlike the Vdd limit.
    const float q =
        toSingle(static_cast<double>(volts) / static_cast<double>(step), "Ain limit code");
    return RoundToInt16(q);
}

float FahrenheitFromCelsius(float celsius) {
    requireFinite(celsius, "temperature");
    const float f = toSingle(static_cast<double>(celsius) * 9.0 / 5.0 + 32.0, "temperature");
    return RoundToSingle(f, 2);
}

float VarnoTempFromVolts(float volts) {
    requireFinite(volts, "VARNO volts");
    return toSingle((static_cast<double>(volts) - 0.5) / 0.01, "VARNO temperature");
}

std::string NumberText(float value) {
    return numberText(value, 7, false);
}
std::string NumberText(double value) {
    return numberText(value, 15, false);
}
std::string TrimmedNumberText(float value) {
    return numberText(value, 7, true);
}
std::string TrimmedNumberText(double value) {
    return numberText(value, 15, true);
}

std::string PadToThreeDecimals(const std::string& text) {
    // Only plain decimal texts as NumberText writes them: [blank|-]digits[.digits].
    size_t i = 0;
    if (i < text.size() && (text[i] == ' ' || text[i] == '-')) ++i;
    const size_t firstDigit = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    const size_t intDigits = i - firstDigit;
    const bool hasPoint = i < text.size() && text[i] == '.';
    size_t fracDigits = 0;
    if (hasPoint) {
        ++i;
        while (i < text.size() && isDigit(text[i])) ++i, ++fracDigits;
    }
    if (i != text.size() || intDigits + fracDigits == 0) return {};

    if (hasPoint) {
        if (fracDigits > 3) return {};
        return text + std::string(3 - fracDigits, '0');
    }
    const bool zero = text.find_first_not_of("0", firstDigit) == std::string::npos;
    return zero ? std::string(".000") : text + ".000";
}

}  // namespace quarnel

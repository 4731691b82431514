// SPDX-License-Identifier: GPL-3.0-or-later
// Register codes to units and back: the values every caption, log line and
// limit write depends on.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "device/Conversions.h"

namespace quarnel {
namespace {

constexpr float kInternalRef = 2.28f;
constexpr float kSupplyRef = 3.3f;

TEST(TempFromCode, TenBitTwosComplementInQuarterDegrees) {
    EXPECT_EQ(TempFromCode(0x000), 0.0f);
    EXPECT_EQ(TempFromCode(0x001), 0.25f);
    EXPECT_EQ(TempFromCode(0x064), 25.0f);
    EXPECT_EQ(TempFromCode(0x1FF), 127.75f);
    EXPECT_EQ(TempFromCode(0x200), -128.0f);
    EXPECT_EQ(TempFromCode(0x3FF), -0.25f);
    EXPECT_EQ(TempFromCode(0x3CE), -12.5f);
    // Wider codes with bit 9 clear are not masked.
    EXPECT_EQ(TempFromCode(1024), 256.0f);
}

TEST(VddFromCode, FixedReferenceScaledByTheDivider) {
    EXPECT_EQ(VddFromCode(0), 0.0f);
    EXPECT_NEAR(VddFromCode(512), 3.4987, 1e-4);
    EXPECT_EQ(RoundToSingle(VddFromCode(512), 3), 3.499f);
    EXPECT_NEAR(VddFromCode(1023), 6.9907, 1e-4);
    EXPECT_EQ(RoundToSingle(VddFromCode(1023), 3), 6.991f);
    // One code step.
    EXPECT_NEAR(VddFromCode(1), 0.00683349609375, 1e-9);
}

TEST(VddLimitCode, DividesInDoubleAndDoesNotClamp) {
    EXPECT_EQ(VddLimitCode(3.3f), 121);  // q = 120.73
    EXPECT_EQ(VddLimitCode(5.5f), 201);
    EXPECT_EQ(VddLimitCode(0.0f), 0);
    EXPECT_EQ(VddLimitCode(7.0f), 256);  // the gauge top; WriteRegister clamps, not we
    EXPECT_EQ(VddLimitCode(-1.0f), -37);
    // q is 102.5000035 in double but exactly 102.5 once held in single: the
    // double division must decide, giving 103 rather than the even 102.
    EXPECT_EQ(VddLimitCode(2.8017334938049316f), 103);
}

TEST(VddLimitCode, RoundTripsWithinHalfAStep) {
    for (float v = 0.5f; v < 6.9f; v += 0.37f) {
        const int16_t code = VddLimitCode(v);
        EXPECT_NEAR(VddFromCode(static_cast<int16_t>(code * 4)), v, 0.0137) << v;
    }
}

TEST(AinFromCode, StepHeldInSingleFromTheReference) {
    EXPECT_NEAR(AinFromCode(1023, kInternalRef), 2.2778, 1e-4);
    EXPECT_EQ(RoundToSingle(AinFromCode(1023, kInternalRef), 3), 2.278f);
    EXPECT_EQ(AinFromCode(512, kSupplyRef), 1.65f);
    EXPECT_NEAR(AinFromCode(1023, kSupplyRef), 3.2968, 1e-4);
    EXPECT_EQ(AinFromCode(0, kSupplyRef), 0.0f);
}

TEST(AinLimitCode, SinglePrecisionThroughout) {
    EXPECT_EQ(AinLimitCode(1.0f, kInternalRef), 112);  // q = 112.28
    EXPECT_EQ(AinLimitCode(1.65f, kSupplyRef), 128);
    EXPECT_EQ(AinLimitCode(kInternalRef, kInternalRef), 256);  // the gauge top
    EXPECT_EQ(AinLimitCode(kSupplyRef, kSupplyRef), 256);
    // These quotients are a hair above a half in double but exactly the half
    // in single, so they go to the even code; a double division would not.
    EXPECT_EQ(AinLimitCode(0.04007812589406967f, kInternalRef), 4);  // 4.50000016
    EXPECT_EQ(AinLimitCode(0.0322265625f, kSupplyRef), 2);           // 2.50000004
}

TEST(AinLimitCode, ExactHalfStepGoesToTheEvenCode) {
    // A 2.0 V reference makes every half step exact in binary.
    EXPECT_EQ(AinLimitCode(112.5f * (2.0f / 256.0f), 2.0f), 112);
    EXPECT_EQ(AinLimitCode(113.5f * (2.0f / 256.0f), 2.0f), 114);
    EXPECT_EQ(AinLimitCode(0.5f * (2.0f / 256.0f), 2.0f), 0);
}

TEST(FahrenheitFromCelsius, RoundedToTwoDecimals) {
    EXPECT_EQ(FahrenheitFromCelsius(25.0f), 77.0f);
    EXPECT_EQ(FahrenheitFromCelsius(-40.0f), -40.0f);
    EXPECT_EQ(FahrenheitFromCelsius(23.25f), 73.85f);
    EXPECT_EQ(FahrenheitFromCelsius(-128.0f), -198.4f);
    EXPECT_EQ(FahrenheitFromCelsius(127.75f), 261.95f);
}

TEST(FahrenheitFromCelsius, RoundsTheSingleValueNotTheDoubleOne) {
    // F is 32.125000006 in double and exactly 32.125 in single: the half goes to even.
    EXPECT_EQ(FahrenheitFromCelsius(0.0694444477558136f), 32.12f);
    // F is 32.374999991 in double and exactly 32.375 in single.
    EXPECT_EQ(FahrenheitFromCelsius(0.2083333283662796f), 32.38f);
}

TEST(VarnoTempFromVolts, TenMillivoltsPerDegreeAboveHalfAVolt) {
    EXPECT_EQ(VarnoTempFromVolts(0.5f), 0.0f);
    EXPECT_EQ(VarnoTempFromVolts(0.25f), -25.0f);
    // Computed in double: exactly 24.5 once in single (single arithmetic gives 24.500002).
    EXPECT_EQ(VarnoTempFromVolts(0.745f), 24.5f);
    EXPECT_EQ(VarnoTempFromVolts(0.2f), -30.0f);
}

TEST(RoundHalfEven, JudgesHalvesOnTheBinaryValue) {
    // Singles just off a decimal half: their shortest texts (1.2825, 1.5675,
    // 1.2375) look like halves, their binary values are not.
    const float a = AinFromCode(576, kInternalRef);
    EXPECT_EQ(static_cast<double>(a), 1.2825000286102295);
    EXPECT_EQ(RoundToSingle(a, 3), 1.283f);
    EXPECT_EQ(RoundHalfEven(a, 3), 1.283);

    const float b = AinFromCode(704, kInternalRef);
    EXPECT_EQ(static_cast<double>(b), 1.5674999952316284);
    EXPECT_EQ(RoundToSingle(b, 3), 1.567f);

    const float c = AinFromCode(384, kSupplyRef);
    EXPECT_EQ(static_cast<double>(c), 1.2374999523162842);
    EXPECT_EQ(RoundToSingle(c, 3), 1.237f);

    // Doubles whose product with 1000 rounds to a half in double arithmetic
    // while the exact product is not one.
    EXPECT_EQ(RoundHalfEven(0.0005, 3), 0.001);  // binary value above the half
    EXPECT_EQ(RoundHalfEven(0.0025, 3), 0.003);
    EXPECT_EQ(RoundHalfEven(0.0055, 3), 0.005);  // below the half
    EXPECT_EQ(RoundHalfEven(0.0095, 3), 0.009);
}

TEST(RoundHalfEven, TrueHalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(2.5, 0), 2.0);
    EXPECT_EQ(RoundHalfEven(3.5, 0), 4.0);
    EXPECT_EQ(RoundHalfEven(0.5, 0), 0.0);
    EXPECT_EQ(RoundHalfEven(-2.5, 0), -2.0);
    EXPECT_EQ(RoundHalfEven(-3.5, 0), -4.0);
    EXPECT_EQ(RoundHalfEven(0.0625, 3), 0.062);
    EXPECT_EQ(RoundHalfEven(0.1875, 3), 0.188);
    EXPECT_EQ(RoundHalfEven(0.125, 2), 0.12);
    EXPECT_EQ(RoundHalfEven(0.375, 2), 0.38);
    EXPECT_EQ(RoundToSingle(-0.0625, 3), -0.062f);
    EXPECT_EQ(RoundToInt16(112.5), 112);
    EXPECT_EQ(RoundToInt16(113.5), 114);
    EXPECT_EQ(RoundToInt32(-0.5), 0);
}

TEST(RoundHalfEven, OrdinaryValues) {
    EXPECT_EQ(RoundHalfEven(1.23449, 3), 1.234);
    EXPECT_EQ(RoundHalfEven(-1.23451, 3), -1.235);
    EXPECT_EQ(RoundHalfEven(0.9996, 3), 1.0);
    EXPECT_EQ(RoundToSingle(3.29900002479553, 3), 3.299f);
    EXPECT_EQ(RoundHalfEven(12345.6789, 2), 12345.68);
    // Small negatives round to a plain zero, never to a negative one.
    EXPECT_FALSE(std::signbit(RoundHalfEven(-0.0004, 3)));
    EXPECT_FALSE(std::signbit(RoundToSingle(-0.0004, 3)));
    // Values already beyond the resolution come back unchanged.
    EXPECT_EQ(RoundHalfEven(1e300, 3), 1e300);
}

TEST(ConversionError, ReportedInsteadOfInfinityNanOrWrappedInteger) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();

    // Reference not (yet) known, or meaningless.
    EXPECT_THROW(AinFromCode(512, 0.0f), ConversionError);
    EXPECT_THROW(AinLimitCode(1.0f, 0.0f), ConversionError);
    EXPECT_THROW(AinFromCode(512, nan), ConversionError);
    EXPECT_THROW(AinFromCode(512, -3.3f), ConversionError);
    EXPECT_THROW(AinLimitCode(1.0f, inf), ConversionError);
    EXPECT_THROW(AinLimitCode(1.0f, std::numeric_limits<float>::denorm_min()), ConversionError);

    // Invalid arguments.
    EXPECT_THROW(VddLimitCode(nan), ConversionError);
    EXPECT_THROW(VddLimitCode(inf), ConversionError);
    EXPECT_THROW(AinLimitCode(nan, kInternalRef), ConversionError);
    EXPECT_THROW(FahrenheitFromCelsius(nan), ConversionError);
    EXPECT_THROW(VarnoTempFromVolts(-inf), ConversionError);
    EXPECT_THROW(RoundHalfEven(std::nan(""), 2), ConversionError);
    EXPECT_THROW(RoundHalfEven(1.0, -1), ConversionError);
    EXPECT_THROW(RoundHalfEven(1.0, 16), ConversionError);

    // Limit codes outside the 16-bit range.
    EXPECT_THROW(VddLimitCode(1000.0f), ConversionError);  // 36585
    EXPECT_EQ(VddLimitCode(895.0f), 32743);
    EXPECT_THROW(AinLimitCode(300.0f, kInternalRef), ConversionError);
    EXPECT_THROW(AinLimitCode(-300.0f, kInternalRef), ConversionError);
    EXPECT_THROW(RoundToInt16(32767.5), ConversionError);  // even neighbour is 32768
    EXPECT_EQ(RoundToInt16(32766.5), 32766);
    EXPECT_EQ(RoundToInt16(-32768.4), -32768);
    EXPECT_THROW(RoundToInt16(-32768.6), ConversionError);
    EXPECT_THROW(RoundToInt32(3e9), ConversionError);

    // Results beyond single precision.
    EXPECT_THROW(AinLimitCode(3e38f, kInternalRef), ConversionError);
    EXPECT_THROW(FahrenheitFromCelsius(3e38f), ConversionError);
    EXPECT_THROW(VarnoTempFromVolts(1e37f), ConversionError);
    EXPECT_THROW(RoundToSingle(1e300, 0), ConversionError);
}

}  // namespace
}  // namespace quarnel

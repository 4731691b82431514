// SPDX-License-Identifier: GPL-3.0-or-later
// The one way a reading becomes text: captions, log lines and the CLI.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <limits>
#include <locale>
#include <string>

#include "device/Conversions.h"

namespace quarnel {
namespace {

TEST(NumberText, SignPositionAndNoLeadingZero) {
    EXPECT_EQ(NumberText(0.5f), " .5");
    EXPECT_EQ(TrimmedNumberText(0.5f), ".5");
    EXPECT_EQ(NumberText(-0.25f), "-.25");
    EXPECT_EQ(TrimmedNumberText(-0.25f), "-.25");
    EXPECT_EQ(NumberText(-0.5), "-.5");
    EXPECT_EQ(NumberText(23.25f), " 23.25");
    EXPECT_EQ(NumberText(3.0f), " 3");
    EXPECT_EQ(TrimmedNumberText(3.0f), "3");
    EXPECT_EQ(NumberText(0.0f), " 0");
    EXPECT_EQ(NumberText(-0.0f), " 0");
    EXPECT_EQ(TrimmedNumberText(0.0), "0");
    EXPECT_EQ(NumberText(-198.4f), "-198.4");
    EXPECT_EQ(NumberText(0.001f), " .001");
}

TEST(NumberText, TrailingZerosDropped) {
    EXPECT_EQ(NumberText(100.0f), " 100");
    EXPECT_EQ(NumberText(120.5f), " 120.5");
    EXPECT_EQ(NumberText(1234567.0f), " 1234567");
    EXPECT_EQ(NumberText(1.5), " 1.5");
    EXPECT_EQ(NumberText(250.0), " 250");
}

TEST(NumberText, SingleNeverWrittenThroughTheDoublePath) {
    const float v = 3.299f;
    EXPECT_EQ(NumberText(v), " 3.299");
    EXPECT_EQ(NumberText(static_cast<double>(v)), " 3.29900002479553");
    EXPECT_EQ(NumberText(RoundToSingle(AinFromCode(576, 2.28f), 3)), " 1.283");
    EXPECT_EQ(NumberText(FahrenheitFromCelsius(23.25f)), " 73.85");
    EXPECT_EQ(NumberText(VarnoTempFromVolts(0.745f)), " 24.5");
}

TEST(NumberText, SignificantDigitsLimitedByPrecision) {
    EXPECT_EQ(NumberText(AinFromCode(1023, 2.28f)), " 2.277773");  // 2.27777338...
    EXPECT_EQ(NumberText(1.0f / 3.0f), " .3333333");
    EXPECT_EQ(NumberText(1.0 / 3.0), " .333333333333333");
    EXPECT_EQ(NumberText(2.0 / 3.0), " .666666666666667");
    EXPECT_EQ(NumberText(123456.789), " 123456.789");
    // Exact binary halves at the last kept digit go to even.
    EXPECT_EQ(NumberText(0.00048828125f), " .0004882812");  // 2^-11
    EXPECT_EQ(NumberText(0.00146484375f), " .001464844");   // 3 x 2^-11
    EXPECT_EQ(NumberText(0.0625f), " .0625");
}

TEST(NumberText, ExtremeMagnitudesUseAnExponent) {
    EXPECT_EQ(NumberText(16777215.0f), " 1.677722E+07");
    EXPECT_EQ(NumberText(-1.5e-10), "-1.5E-10");
    EXPECT_EQ(NumberText(1e15), " 1E+15");
    EXPECT_EQ(NumberText(123456789012345.0), " 123456789012345");
}

TEST(NumberText, NonFiniteValuesAreRefused) {
    EXPECT_THROW(NumberText(std::numeric_limits<float>::quiet_NaN()), ConversionError);
    EXPECT_THROW(TrimmedNumberText(std::numeric_limits<double>::infinity()), ConversionError);
}

// Restores the C and C++ global locales however the test ends.
class GlobalLocaleGuard {
  public:
    GlobalLocaleGuard() : cLocale_(std::setlocale(LC_ALL, nullptr)), cppLocale_() {}
    ~GlobalLocaleGuard() {
        std::setlocale(LC_ALL, cLocale_.c_str());
        std::locale::global(cppLocale_);
    }

  private:
    std::string cLocale_;
    std::locale cppLocale_;
};

TEST(NumberText, PointEvenUnderADecimalCommaLocale) {
    GlobalLocaleGuard guard;
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE"};
    const char* found = nullptr;
    for (const char* name : names) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            found = name;
            break;
        }
    }
    if (found == nullptr) GTEST_SKIP() << "no decimal-comma locale installed";
    std::locale::global(std::locale(found));

    // The locale really is in force for locale-aware formatting.
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_EQ(std::string(probe), "1,5");

    EXPECT_EQ(NumberText(1.5f), " 1.5");
    EXPECT_EQ(NumberText(-0.25), "-.25");
    EXPECT_EQ(TrimmedNumberText(3.299f), "3.299");
    EXPECT_EQ(NumberText(1234567.0f), " 1234567");  // no digit grouping either
    EXPECT_EQ(PadToThreeDecimals(TrimmedNumberText(3.3f)), "3.300");
}

TEST(PadToThreeDecimals, ExactlyThreeDigitsAfterThePoint) {
    EXPECT_EQ(PadToThreeDecimals("1.5"), "1.500");
    EXPECT_EQ(PadToThreeDecimals("1.25"), "1.250");
    EXPECT_EQ(PadToThreeDecimals("1.234"), "1.234");
    EXPECT_EQ(PadToThreeDecimals("2"), "2.000");
    EXPECT_EQ(PadToThreeDecimals("-12"), "-12.000");
    EXPECT_EQ(PadToThreeDecimals(".5"), ".500");
    EXPECT_EQ(PadToThreeDecimals("-.25"), "-.250");
    EXPECT_EQ(PadToThreeDecimals("0"), ".000");
    EXPECT_EQ(PadToThreeDecimals(TrimmedNumberText(3.3f)), "3.300");
    EXPECT_EQ(PadToThreeDecimals(TrimmedNumberText(0.0f)), ".000");
}

TEST(PadToThreeDecimals, TextsItCannotPadGiveEmpty) {
    EXPECT_EQ(PadToThreeDecimals("1.2345"), "");
    EXPECT_EQ(PadToThreeDecimals(""), "");
    EXPECT_EQ(PadToThreeDecimals("abc"), "");
    EXPECT_EQ(PadToThreeDecimals("1,5"), "");
    EXPECT_EQ(PadToThreeDecimals("1.5E-10"), "");
}

}  // namespace
}  // namespace quarnel

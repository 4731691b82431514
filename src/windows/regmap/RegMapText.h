// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the register map window reads and shows addresses and values.

#include <QString>
#include <cstdint>

namespace quarnel::regmap {

// Blanks anywhere are skipped; hexadecimal digits (either case) are taken from
// the start up to the first other character, so "1Fh" is 1Fh. No digit gives 0.
// Saturates at UINT64_MAX instead of wrapping.
uint64_t ParseHexText(const QString& text);

// Blanks anywhere are skipped; a decimal number (sign, digits, point, exponent)
// is taken up to the first character that cannot continue it. No number gives 0.
double ParseDecimalText(const QString& text);

// The text starts (after blanks) with a minus sign, whether or not a digit
// follows yet: a negative value being typed.
bool StartsWithMinus(const QString& text);

// Nearest integer, a half going to the even neighbour (2.5 gives 2).
double RoundHalfEven(double value);

// Upper-case hexadecimal without zero fill, then "h": 0h, 1Fh, 7Fh.
QString AddressText(int address);
// Upper-case hexadecimal without zero fill, prefix or suffix: 19, 12C.
QString HexValueText(uint64_t value);
// Decimal without zero fill or blanks.
QString DecValueText(uint64_t value);

}  // namespace quarnel::regmap

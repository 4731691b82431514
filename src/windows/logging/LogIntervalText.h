// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What counts as a number in the log-interval box: a decimal number with an
// optional sign, fraction and exponent, blanks around it, nothing else (no
// hexadecimal, no "inf", no thousands separators, "." whatever the locale).

#include <QString>
#include <optional>

namespace quarnel {

// The value of a numeric text; infinity when it is numeric but beyond a double.
std::optional<double> NumericValue(const QString& text);

}  // namespace quarnel

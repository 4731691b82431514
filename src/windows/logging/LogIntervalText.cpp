// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/logging/LogIntervalText.h"

#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <string>

namespace quarnel {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether s is exactly [+-] digits [. digits] [e [+-] digits], with at least
// one digit before the exponent.
bool isDecimalNumber(const std::string& s) {
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < s.size() && isDigit(s[i])) ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    return i == s.size();
}

// strtod in the "C" locale: the program's own locale may use a decimal comma.
double parseC(const std::string& s) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    // Overflow gives HUGE_VAL (infinity); underflow gives 0 or a tiny value.
    return strtod_l(s.c_str(), nullptr, cLocale);
}

}  // namespace

std::optional<double> NumericValue(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' ')) ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' ')) --end;
    std::string ascii;
    ascii.reserve(static_cast<size_t>(end - begin));
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c >= 0x80) return std::nullopt;
        ascii += static_cast<char>(c);
    }
    if (!isDecimalNumber(ascii)) return std::nullopt;
    return parseC(ascii);
}

}  // namespace quarnel

// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/regmap/RegMapText.h"

#include <locale.h>
#include <stdlib.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <string>

namespace quarnel::regmap {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString withoutBlanks(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (!isBlank(c)) out.append(c);
    return out;
}

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
}

bool isDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

}  // namespace

uint64_t ParseHexText(const QString& text) {
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    uint64_t value = 0;
    for (QChar c : withoutBlanks(text)) {
        const int d = hexDigit(c);
        if (d < 0) break;
        value = value > (kMax >> 4) ? kMax : (value << 4) | static_cast<uint64_t>(d);
    }
    return value;
}

double ParseDecimalText(const QString& text) {
    const QString s = withoutBlanks(text);
    // Longest prefix of the form [+-]digits[.digits][(e|E|d|D)[+-]digits].
    std::string number;
    qsizetype i = 0;
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        number += static_cast<char>(s[i++].unicode());
    bool mantissaDigits = false;
    while (i < s.size() && isDigit(s[i])) {
        number += static_cast<char>(s[i++].unicode());
        mantissaDigits = true;
    }
    if (i < s.size() && s[i] == QLatin1Char('.')) {
        number += '.';
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            number += static_cast<char>(s[i++].unicode());
            mantissaDigits = true;
        }
    }
    if (!mantissaDigits) return 0.0;
    if (i < s.size() && QStringLiteral("eEdD").contains(s[i])) {
        qsizetype j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-')))
            exponent += static_cast<char>(s[j++].unicode());
        bool exponentDigits = false;
        while (j < s.size() && isDigit(s[j])) {
            exponent += static_cast<char>(s[j++].unicode());
            exponentDigits = true;
        }
        if (exponentDigits) number += exponent;
    }
    // "." is the decimal point whatever the user's locale says; overflow gives
    // infinity and underflow 0, which the callers' range checks then handle.
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t{});
    return strtod_l(number.c_str(), nullptr, cLocale);
}

bool StartsWithMinus(const QString& text) {
    return withoutBlanks(text).startsWith(QLatin1Char('-'));
}

double RoundHalfEven(double value) {
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    std::fesetround(previous);
    return r;
}

QString AddressText(int address) {
    return QString::number(address, 16).toUpper() + QLatin1Char('h');
}

QString HexValueText(uint64_t value) {
    return QString::number(static_cast<qulonglong>(value), 16).toUpper();
}

QString DecValueText(uint64_t value) {
    return QString::number(static_cast<qulonglong>(value));
}

}  // namespace quarnel::regmap

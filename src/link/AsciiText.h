// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names that users and files spell in either case (channel names, register
// bit names, udev rule keys), compared in one case whatever the locale.

#include <string>

namespace quarnel {

inline std::string AsciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace quarnel

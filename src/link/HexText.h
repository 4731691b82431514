// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hexadecimal as users type it: "4A", "0x4A" or "4Ah". One reading of the
// affixes for every option and argument that takes a hex number.

#include <string_view>

namespace quarnel {

// The digits without a leading "0x" or a trailing "h" (either case).
inline std::string_view HexDigits(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    else if (!text.empty() && (text.back() == 'h' || text.back() == 'H'))
        text.remove_suffix(1);
    return text;
}

}  // namespace quarnel

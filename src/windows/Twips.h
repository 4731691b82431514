// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Window geometry is designed in twips; the screen works in pixels.

#include <cmath>

namespace quarnel {

inline constexpr int kTwipsPerPixel = 15;  // 1440 twips per inch at 96 dots per inch

// Twips to whole pixels (nearest).
inline int twips(double t) {
    return static_cast<int>(std::lround(t / kTwipsPerPixel));
}
// Pixels to twips.
inline constexpr double toTwips(int pixels) {
    return static_cast<double>(pixels) * kTwipsPerPixel;
}

}  // namespace quarnel

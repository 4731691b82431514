// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/YieldingClock.h"

#include <QCoreApplication>
#include <algorithm>

namespace quarnel {
namespace {

constexpr double kSliceSeconds = 0.01;

}  // namespace

void YieldingClock::sleep(double seconds) {
    const double end = base_.monotonic() + seconds;
    for (;;) {
        QCoreApplication::processEvents();
        if (stopRequested_ && stopRequested_()) return;
        const double left = end - base_.monotonic();
        if (left <= 0) return;
        base_.sleep(std::min(left, kSliceSeconds));
    }
}

}  // namespace quarnel

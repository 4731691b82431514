// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Clock.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

namespace quarnel {

double SystemClock::timeOfDay() const {
    // localtime_r is the dear part, and the master timer asks many times a
    // second: each thread keeps the whole second it last converted.
    thread_local std::time_t cachedSecond = -1;
    thread_local double cachedSecondOfDay = 0.0;
    using namespace std::chrono;
    const auto sinceEpoch = system_clock::now().time_since_epoch();
    const auto whole = duration_cast<seconds>(sinceEpoch);
    const std::time_t t = static_cast<std::time_t>(whole.count());
    if (t != cachedSecond) {
        std::tm local{};
        localtime_r(&t, &local);
        cachedSecondOfDay = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
        cachedSecond = t;
    }
    return cachedSecondOfDay + duration<double>(sinceEpoch - whole).count();
}

double SystemClock::monotonic() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::sleep(double seconds) {
    if (seconds <= 0) return;
    // One nanosleep, which a signal interrupts (sleep_for would sleep on). At most
    // 100 ms of it, so a signal that lands just before the call is seen soon too.
    seconds = std::min(seconds, 0.1);
    timespec span{};
    span.tv_sec = static_cast<time_t>(seconds);
    span.tv_nsec = static_cast<long>((seconds - static_cast<double>(span.tv_sec)) * 1e9);
    ::nanosleep(&span, nullptr);
}

void ManualClock::advance(double seconds) {
    monotonic_ += seconds;
    timeOfDay_ = std::fmod(timeOfDay_ + seconds, kSecondsPerDay);
    if (timeOfDay_ < 0) timeOfDay_ += kSecondsPerDay;
}

}  // namespace quarnel

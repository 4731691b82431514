// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/Environment.h"

#include <algorithm>
#include <cmath>

namespace quarnel::sim {
namespace {

constexpr double kTwoPi = 6.283185307179586;

uint64_t splitMix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

double unit(uint64_t x) {
    return static_cast<double>(x >> 11) / 9007199254740992.0;
}  // [0, 1)

double wave(double seconds, double period, double phase) {
    return std::sin(kTwoPi * seconds / period + phase);
}

}  // namespace

Environment::Environment(uint64_t seed) : seed_(seed) {
    for (size_t i = 0; i < phase_.size(); ++i) phase_[i] = kTwoPi * unit(splitMix(seed ^ (i + 1)));
}

double Environment::noise(int channel, double seconds) const {
    // One value per millisecond and channel, so a sample is repeatable.
    const auto tick = static_cast<uint64_t>(std::llround(seconds * 1000.0));
    const uint64_t h = splitMix(seed_ * 0x100000001B3ull ^ splitMix(tick * 16 + channel));
    return 2.0 * unit(h) - 1.0;
}

AnalogInputs Environment::at(double t) const {
    AnalogInputs in;
    // The room drifts slowly, the board follows; the die runs a few degrees warmer.
    in.boardTemp =
        23.0 + 2.0 * wave(t, 1800, phase_[0]) + 0.6 * wave(t, 337, phase_[1]) + 0.05 * noise(0, t);
    in.dieTemp = in.boardTemp + 4.0 + 0.3 * wave(t, 97, phase_[2]) + 0.05 * noise(1, t);
    in.diodeTemp = in.boardTemp - 1.0 + 1.5 * wave(t, 1200, phase_[3]) + 0.1 * noise(2, t);
    in.vdd = 3.30 + 0.01 * wave(t, 600, phase_[4]) + 0.003 * noise(3, t);
    in.ain[0] = 0.80 + 0.002 * noise(4, t);
    in.ain[1] = 0.45 + 0.002 * noise(5, t);
    in.ain[2] = varnoVolts(in.boardTemp);
    // Light sensor: a day of twenty minutes, dark half the time.
    const double daylight = std::max(0.0, wave(t, 1200, phase_[5]));
    in.ain[3] = 0.05 + 1.6 * std::pow(daylight, 1.5) + 0.003 * noise(6, t);
    const std::array<double, 4> steady = {0.30, 0.90, 1.50, 2.00};
    for (int i = 0; i < 4; ++i) in.ain[4 + i] = steady[i] + 0.002 * noise(7 + i, t);
    return in;
}

}  // namespace quarnel::sim

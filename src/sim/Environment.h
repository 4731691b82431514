// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the simulated chip measures: a seeded, deterministic bench whose values
// depend only on the seed and the (monotonic) time they are sampled at.

#include <array>
#include <cstdint>

namespace quarnel::sim {

struct AnalogInputs {
    double dieTemp = 0;           // degrees C, internal sensor
    double diodeTemp = 0;         // degrees C, external diode
    double vdd = 0;               // volts
    std::array<double, 8> ain{};  // volts at Ain1..Ain8 (before the board's switches)
    double boardTemp = 0;         // degrees C, the board (the VARNO sensor on Ain3 follows it)
};

class Environment {
  public:
    explicit Environment(uint64_t seed);
    AnalogInputs at(double seconds) const;

    // The VARNO sensor: 0.5 V at 0 degrees C, 10 mV per degree.
    static double varnoVolts(double celsius) { return 0.5 + 0.01 * celsius; }

  private:
    double noise(int channel, double seconds) const;  // in [-1, 1]
    uint64_t seed_;
    std::array<double, 8> phase_{};
};

}  // namespace quarnel::sim

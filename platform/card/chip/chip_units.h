// The one place where the chip's register words become physical units.
// M = 8,000,000 / range; speed = word x M PPS; acceleration = word x 125 x M
// PPS/s; jerk = 62,500,000 x M / word PPS/s^2. Times inside the chip model
// are seconds (double) or SimTime nanoseconds at the clock boundary.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "card/chip_registers.h"
#include "card/clock.h"

namespace card::chip {

inline double multiplier(std::uint32_t range) { return 8'000'000.0 / range; }

// A word of 0 would stall the chip for ever; it counts as the smallest step.
inline double speed_pps(std::uint16_t word, double m) { return std::max<std::uint16_t>(word, 1) * m; }
inline double acceleration_pps2(std::uint16_t word, double m) {
  return std::max<std::uint16_t>(word, 1) * 125.0 * m;
}
// Seconds per (PPS/s) of acceleration change: 1 / jerk; 0 = an infinite jerk.
inline double inverse_jerk(std::uint16_t word, double m) { return word / (62'500'000.0 * m); }

// The chip counts its present speed and acceleration in whole words of its
// unit and reads back the words it runs. The model holds them as word x unit
// in floating point, whose quotient by the unit can fall a rounding error
// short of the word: a quotient that close to a whole word is that word,
// any other is truncated (a ramp between two words reads the lower one).
inline std::uint16_t whole_words(double quantity, double unit) {
  constexpr double kRounding = 1e-9;  // far above a double's error, far below a word
  const double words = std::abs(quantity) / unit;
  const double nearest = std::round(words);
  const double whole = std::abs(words - nearest) <= kRounding * nearest ? nearest : std::floor(words);
  return static_cast<std::uint16_t>(std::min(65535.0, whole));
}
inline std::uint16_t speed_word(double pps, double m) { return whole_words(pps, m); }
inline std::uint16_t acceleration_word(double pps2, double m) { return whole_words(pps2, 125.0 * m); }

constexpr double kSecondsPerNs = 1e-9;
inline double to_seconds(SimTime t) { return static_cast<double>(t) * kSecondsPerNs; }
// Rounded up, so that at the returned time the event has happened; beyond
// about 290 years it saturates.
inline SimTime to_sim_time_ceil(double seconds) {
  constexpr double kLatest = 9e18;
  const double ns = std::ceil(seconds * 1e9 - 1e-6);
  return ns >= kLatest ? static_cast<SimTime>(kLatest) : static_cast<SimTime>(std::max(ns, 0.0));
}

}  // namespace card::chip

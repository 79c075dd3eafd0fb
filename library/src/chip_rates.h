// What the chip runs from its register words, for the plans that must agree
// with it (deceleration points, thresholds, peak speeds). The inverse of the
// conversions of unit_conversion.h:
//   speed         word x M PPS                  (a word of 0 runs as 1)
//   acceleration  word x 125 M PPS/s            (a word of 0 runs as 1)
//   jerk          62,500,000 M / word PPS/s^2   (the acceleration rises at
//                 that rate from 0; a word of 0 is no jerk limit)
// M is the axis's multiplier. The chip runs an S-curve with the acceleration
// limit of the highest acceleration word; at any jerk word the acceleration
// that limit allows is more than a ramp over the whole speed range needs.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "card_table.h"
#include "checks.h"

// The chip's multiplier of a speed range, exact (the library's own M is
// formed in single precision).
inline double chip_multiplier(uint32_t range) { return 8000000.0 / range; }
// The chip's multiplier of an axis (its lowest bit) of an open card.
inline double chip_multiplier_of(uint8_t card, uint16_t axis) {
  return chip_multiplier(card_table.cards[card].axes[axis_index(axis)].range);
}
inline double chip_speed(uint16_t word, double m) { return std::max<uint16_t>(word, 1) * m; }
inline double chip_acceleration(uint16_t word, double m) {
  return std::max<uint16_t>(word, 1) * 125.0 * m;
}
inline double chip_jerk(uint16_t word, double m) {
  return word == 0 ? INFINITY : 62500000.0 * m / word;
}
// Highest acceleration word: the limit of every S-curve ramp.
constexpr uint16_t CHIP_S_CURVE_ACC_WORD = 8000;

// Seconds of the chip's S-curve ramp between two speeds (PPS) at a jerk word:
// the acceleration rises at the jerk and falls back to 0 as the speed
// arrives, held at the limit in between when it reaches it.
inline double chip_s_ramp_seconds(double from, double to, uint16_t jerk_word, double m) {
  const double change = std::fabs(to - from);
  const double limit = chip_acceleration(CHIP_S_CURVE_ACC_WORD, m);
  const double inverse_jerk = 1.0 / chip_jerk(jerk_word, m);
  if (change <= limit * limit * inverse_jerk) return 2.0 * std::sqrt(change * inverse_jerk);
  return change / limit + limit * inverse_jerk;
}

// Pulses of a ramp from `from` to `to` PPS in `seconds`: both the S-curve and
// the T-curve ramps are symmetric about their middle, so their mean speed is
// the mean of the two ends.
inline double ramp_pulses(double from, double to, double seconds) { return (from + to) / 2 * seconds; }

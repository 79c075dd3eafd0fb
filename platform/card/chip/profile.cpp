// Ramp planning: the acceleration rises at the jerk limit to a peak (at most
// the acceleration limit), holds, and falls back to 0 exactly at the target
// speed. Worked in the direction of the speed change, then mirrored.
#include "profile.h"

#include <algorithm>
#include <cmath>

namespace card::chip {
namespace {

constexpr double kSpeedTolerance = 1e-9;

void add(Ramp& ramp, double seconds, double a, double jerk) {
  if (seconds <= 0 && jerk != 0) return;
  ramp.pieces[ramp.count++] = Piece{std::max(seconds, 0.0), a, jerk};
}

// Ramp for a speed gain g >= 0 starting with acceleration a0 (any sign).
Ramp plan_rising(double g, double a0, const RampLimits& limits) {
  Ramp ramp;
  const double amax = limits.acceleration;
  const double k = limits.inverse_jerk;
  if (k == 0) {  // T-curve: the acceleration jumps
    if (g > kSpeedTolerance) add(ramp, g / amax, amax, 0);
    return ramp;
  }
  const double jerk = 1.0 / k;
  // Speed gained while the acceleration goes from a0 to peak and back to 0.
  auto gain = [&](double peak) {
    return (peak + a0) / 2 * std::abs(peak - a0) * k + peak * peak * k / 2;
  };
  auto build = [&](double peak, double hold) {
    add(ramp, std::abs(peak - a0) * k, a0, peak >= a0 ? jerk : -jerk);
    if (hold > 0) add(ramp, hold, peak, 0);
    add(ramp, peak * k, peak, -jerk);
  };
  if (gain(amax) <= g) {
    build(amax, (g - gain(amax)) / amax);
    return ramp;
  }
  const double falling_gain = a0 > 0 ? a0 * a0 * k / 2 : 0;
  if (a0 <= 0 || g >= falling_gain) {
    build(std::sqrt(g / k + a0 * a0 / 2), 0);
    return ramp;
  }
  // Too much acceleration under way: fall to 0 steeper than the jerk limit.
  if (g > kSpeedTolerance) add(ramp, 2 * g / a0, a0, -a0 * a0 / (2 * g));
  return ramp;
}

}  // namespace

Kinematics evolve(const Kinematics& s, double jerk, double t) {
  return Kinematics{s.p + s.v * t + s.a * t * t / 2 + jerk * t * t * t / 6,
                    s.v + s.a * t + jerk * t * t / 2, s.a + jerk * t};
}

Ramp plan_ramp(double v0, double a0, double v1, const RampLimits& limits) {
  if (v1 >= v0) return plan_rising(v1 - v0, a0, limits);
  Ramp ramp = plan_rising(v0 - v1, -a0, limits);
  for (std::size_t i = 0; i < ramp.count; ++i) {
    ramp.pieces[i].a = -ramp.pieces[i].a;
    ramp.pieces[i].jerk = -ramp.pieces[i].jerk;
  }
  return ramp;
}

double ramp_distance(double v0, const Ramp& ramp) {
  Kinematics k{0, v0, 0};
  for (std::size_t i = 0; i < ramp.count; ++i) {
    k.a = ramp.pieces[i].a;
    k = evolve(k, ramp.pieces[i].jerk, ramp.pieces[i].seconds);
  }
  return k.p;
}

double ramp_seconds(const Ramp& ramp) {
  double total = 0;
  for (std::size_t i = 0; i < ramp.count; ++i) total += ramp.pieces[i].seconds;
  return total;
}

}  // namespace card::chip

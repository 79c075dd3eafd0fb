// Speed profiles as pieces of constant jerk: the ramp that brings an axis from
// one speed (with some acceleration already under way) to another, and the
// kinematics of one piece. Units: pulses, PPS, PPS/s, PPS/s^2, seconds.
#pragma once

#include <array>
#include <cstddef>

namespace card::chip {

// Position, speed and acceleration of a moving point.
struct Kinematics {
  double p = 0;
  double v = 0;
  double a = 0;
};

Kinematics evolve(const Kinematics& start, double jerk, double seconds);

// One piece of a ramp: the acceleration it starts with (a T-curve jumps) and
// its constant jerk.
struct Piece {
  double seconds = 0;
  double a = 0;
  double jerk = 0;
};

// A ramp is at most three pieces: acceleration builds up, holds, falls to 0.
struct Ramp {
  std::array<Piece, 3> pieces{};
  std::size_t count = 0;
};

// How fast a ramp may change speed: the acceleration limit (PPS/s, > 0) and
// 1 / jerk (0 for a T-curve, whose acceleration jumps).
struct RampLimits {
  double acceleration = 1;
  double inverse_jerk = 0;
};

// The ramp from speed v0 with acceleration a0 to speed v1 with acceleration
// 0. An S-curve whose acceleration is too high to stop in time lowers it
// with a steeper jerk rather than overshoot.
Ramp plan_ramp(double v0, double a0, double v1, const RampLimits& limits);

// Distance covered by a ramp that starts at speed v0.
double ramp_distance(double v0, const Ramp& ramp);
double ramp_seconds(const Ramp& ramp);

}  // namespace card::chip

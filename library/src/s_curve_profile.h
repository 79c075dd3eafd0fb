// The S-curve profile maths: how far a jerk-limited ramp runs, the highest
// speed a move can reach over its distance, and the cubic solver behind it.
//
// Units: speeds in PPS, jerks in PPS/s^2, distances in pulses; words are the
// chip's 16-bit register words (unit_conversion.h) and M the axis multiplier.
#pragma once

#include <complex>
#include <cstdint>

// Pulses that the chip's ramp between the start-speed word and the
// drive-speed word takes at the deceleration-jerk word (chip_rates.h),
// rounded up to whole pulses.
int32_t s_curve_accel_distance(uint16_t start_speed_word, uint16_t drive_speed_word,
                               uint16_t decel_jerk_word, double multiplier);

// The speed that a move of `distance` pulses from start speed `sv` reaches
// with an acceleration jerk and a deceleration jerk before it must slow
// down: `dv` when the distance lets it reach `dv`. With avoid triangle the
// ramps may take only half of the distance.
double s_curve_peak_speed(double sv, double dv, double jerk, double decel_jerk, double distance,
                          int avoid_triangle);

// The roots of x^3 + a x^2 + b x + c = 0 (Cardano). With one real root it is
// r1, with its imaginary part exactly 0.
void solve_cubic(double a, double b, double c, std::complex<double> *r1, std::complex<double> *r2,
                 std::complex<double> *r3);

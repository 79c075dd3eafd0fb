// The S-curve maths against closed forms: the cubic's roots, the peak speed
// of short (triangle) and long (trapezoid) moves, and the ramp distance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "s_curve_profile.h"

namespace {

using Complex = std::complex<double>;

// Pulses that ramps up at `jerk` and down at `decel_jerk` between sv and
// peak take together (no acceleration limit): (V + SV) sqrt((V - SV) / J) each.
double ramps_distance(double sv, double peak, double jerk, double decel_jerk) {
  return (peak + sv) * (std::sqrt((peak - sv) / jerk) + std::sqrt((peak - sv) / decel_jerk));
}

TEST(SolveCubic, ThreeRealRootsComeOutAsTheRootsOfTheProduct) {
  Complex r[3];
  solve_cubic(-6, 11, -6, &r[0], &r[1], &r[2]);  // (x - 1)(x - 2)(x - 3)
  double real[3] = {r[0].real(), r[1].real(), r[2].real()};
  std::sort(std::begin(real), std::end(real));
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(real[i], i + 1.0, 1e-9);
    EXPECT_NEAR(r[i].imag(), 0.0, 1e-9);
  }
}

TEST(SolveCubic, OneRealRootIsFirstWithAnImaginaryPartOfExactlyZero) {
  Complex r[3];
  solve_cubic(0, 1, -2, &r[0], &r[1], &r[2]);  // (x - 1)(x^2 + x + 2)
  EXPECT_NEAR(r[0].real(), 1.0, 1e-12);
  EXPECT_EQ(r[0].imag(), 0.0);
  EXPECT_NEAR(r[1].real(), -0.5, 1e-12);
  EXPECT_NEAR(std::fabs(r[1].imag()), std::sqrt(7.0) / 2, 1e-12);
  EXPECT_NEAR(r[2].imag(), -r[1].imag(), 1e-12);
}

TEST(SolveCubic, ANegativeRealCubeRootStaysReal) {
  Complex r[3];
  solve_cubic(0, 0, 8, &r[0], &r[1], &r[2]);  // x^3 = -8
  EXPECT_NEAR(r[0].real(), -2.0, 1e-12);
  EXPECT_EQ(r[0].imag(), 0.0);
}

struct PeakCase {
  double sv, dv, jerk, decel_jerk, distance;
};

class TrianglePeak : public testing::TestWithParam<PeakCase> {};

TEST_P(TrianglePeak, BothRampsFillTheDistanceExactly) {
  const PeakCase c = GetParam();
  const double peak = s_curve_peak_speed(c.sv, c.dv, c.jerk, c.decel_jerk, c.distance, 0);
  EXPECT_GT(peak, c.sv);
  EXPECT_LT(peak, c.dv);
  EXPECT_NEAR(ramps_distance(c.sv, peak, c.jerk, c.decel_jerk), c.distance, 1e-6 * c.distance);
}

INSTANTIATE_TEST_SUITE_P(
    ShortMoves, TrianglePeak,
    testing::Values(PeakCase{0, 100000, 1e6, 1e6, 1000}, PeakCase{500, 100000, 1e6, 1e6, 5000},
                    PeakCase{1000, 80000, 2e6, 5e5, 20000},
                    PeakCase{100, 60000, 3e5, 4e6, 12345}));

TEST(PeakSpeed, FromStandstillIsTheCubeRootOfKDSquared) {
  // SV 0, equal jerks: k = J / 4, so the peak is cbrt(J D^2 / 4).
  const double peak = s_curve_peak_speed(0, 1e6, 1e6, 1e6, 1000, 0);
  EXPECT_NEAR(peak, std::cbrt(1e6 * 1000.0 * 1000.0 / 4), 1e-6);
}

TEST(PeakSpeed, ALongMoveReachesItsDriveSpeed) {
  // 0 -> 10,000 PPS at 1e6 PPS/s^2 takes 0.2 s at 5,000 PPS on average:
  // 1,000 pulses per ramp.
  EXPECT_NEAR(s_curve_peak_speed(0, 10000, 1e6, 1e6, 2000, 0), 10000, 1e-6);
  EXPECT_EQ(s_curve_peak_speed(0, 10000, 1e6, 1e6, 2010, 0), 10000);
  EXPECT_EQ(s_curve_peak_speed(0, 10000, 1e6, 1e6, 1e9, 0), 10000);
  EXPECT_LT(s_curve_peak_speed(0, 10000, 1e6, 1e6, 1990, 0), 10000);
}

TEST(PeakSpeed, AvoidTriangleLetsTheRampsTakeHalfTheDistance) {
  const double full = s_curve_peak_speed(200, 90000, 1e6, 2e6, 8000, 0);
  const double avoided = s_curve_peak_speed(200, 90000, 1e6, 2e6, 8000, 1);
  EXPECT_NEAR(ramps_distance(200, avoided, 1e6, 2e6), 4000, 1e-3);
  EXPECT_NEAR(s_curve_peak_speed(200, 90000, 1e6, 2e6, 4000, 0), avoided, 1e-6);
  EXPECT_LT(avoided, full);
}

TEST(AccelDistance, IsTheChipRampOfTheWords) {
  struct Case {
    uint16_t sv_word, dv_word, jd_word;
    double m;
  };
  // The acceleration rises from 0 at 62,500,000 M / word and falls back as
  // the speed arrives: 2 sqrt(dV / jerk) seconds at the mean of the speeds,
  // rounded up to whole pulses.
  for (const Case c : {Case{10, 40000, 62, 1.0}, Case{1, 200, 6000, 500.0},
                       Case{100, 5000, 1000, 2.0}, Case{2, 200, 31250, 500.0}}) {
    const double jerk = 62500000.0 * c.m / c.jd_word;
    const double change = (c.dv_word - c.sv_word) * c.m;
    const double expected = (c.dv_word + c.sv_word) * c.m / 2 * 2 * std::sqrt(change / jerk);
    EXPECT_EQ(s_curve_accel_distance(c.sv_word, c.dv_word, c.jd_word, c.m), std::ceil(expected))
        << "words " << c.sv_word << " " << c.dv_word << " " << c.jd_word;
  }
  // 8,000 speed words at the steepest jerk never reach the acceleration limit.
  EXPECT_EQ(s_curve_accel_distance(1, 8000, 1, 1.0), std::ceil(8001 / 2.0 * 2 * std::sqrt(7999 / 62.5e6)));
}

TEST(AccelDistance, NoRampWithoutASpeedChange) {
  EXPECT_EQ(s_curve_accel_distance(300, 300, 100, 1.0f), 0);
  EXPECT_EQ(s_curve_accel_distance(300, 200, 100, 1.0f), 0);
}

}  // namespace

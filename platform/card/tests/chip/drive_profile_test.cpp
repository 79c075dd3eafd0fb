// Fixed and continuous drives against the ideal profile of the same register
// values (range 8,000,000, so speed words are PPS).
#include <gtest/gtest.h>

#include <cmath>

#include "chip_bench.h"

namespace card::chip::test {
namespace {

constexpr double kTolerance = 0.005;  // duration within 0.5 % of the ideal

class DriveProfile : public ::testing::Test {
 protected:
  void SetUp() override { bench.set32(kX | kY, kCmdRange, kRangeM1); }
  ChipBench bench;
};

// T-curve: ramps (V - SV) / A and (V - SV) / D, cruise for the rest.
double ideal_t_seconds(double pulses, double sv, double v, double acc, double dec) {
  const double ramp_up = (v * v - sv * sv) / (2 * acc);
  const double ramp_down = (v * v - sv * sv) / (2 * dec);
  return (v - sv) / acc + (v - sv) / dec + (pulses - ramp_up - ramp_down) / v;
}

// S-curve with the acceleration limit not reached: ramp time 2 sqrt(dv / j).
struct SRamp {
  double seconds, pulses;
};
SRamp ideal_s_ramp(double sv, double v, double jerk) {
  const double t = 2 * std::sqrt((v - sv) / jerk);
  return {t, (v + sv) / 2 * t};
}

TEST_F(DriveProfile, SymmetricTCurveEndsAtExactPulsesOnTime) {
  bench.load_speeds(kX, 100, 5000, 100);  // 12,500 PPS/s
  bench.set32(kX, kCmdPulses, 10000);
  bench.write_mode(kX, kRegMode3, 0);
  const double seconds = bench.drive_seconds(kX, kCmdDrivePlus);
  EXPECT_EQ(bench.command_counter(kX), 10000);
  EXPECT_EQ(bench.status(kX, kRegMode3), kFactorDriveEnd);
  EXPECT_FALSE(bench.busy(kX));
  EXPECT_NEAR(seconds, ideal_t_seconds(10000, 100, 5000, 12500, 12500),
              kTolerance * ideal_t_seconds(10000, 100, 5000, 12500, 12500));
}

TEST_F(DriveProfile, AsymmetricTCurveUsesItsOwnDeceleration) {
  bench.load_speeds(kX, 100, 5000, 100);
  bench.set16(kX, kCmdDec, 40);  // 5,000 PPS/s
  bench.set32(kX, kCmdPulses, 10000);
  bench.write_mode(kX, kRegMode3, kMode3SeparateDec);
  const double seconds = bench.drive_seconds(kX, kCmdDriveMinus);
  const double ideal = ideal_t_seconds(10000, 100, 5000, 12500, 5000);
  EXPECT_EQ(bench.command_counter(kX), -10000);
  EXPECT_NEAR(seconds, ideal, kTolerance * ideal);
}

TEST_F(DriveProfile, ShortTCurveLowersItsPeakAndStillEndsExactly) {
  bench.load_speeds(kX, 100, 5000, 100);
  bench.set32(kX, kCmdPulses, 1000);  // needs 2 x 999.6 to reach 5000
  bench.write_mode(kX, kRegMode3, 0);
  bench.enable_drive_end(kX);
  bench.command(kX, kCmdDrivePlus);
  std::uint16_t peak = 0;
  for (int i = 0; i < 1000 && bench.busy(kX); ++i) {
    peak = std::max(peak, bench.speed_word(kX));
    bench.clock.advance(kNsPerMs);
  }
  EXPECT_EQ(bench.command_counter(kX), 1000);
  const double ideal_peak = std::sqrt(100.0 * 100 + 12500.0 * 1000);  // ramps meet halfway
  EXPECT_NEAR(peak, ideal_peak, 0.01 * ideal_peak);
}

TEST_F(DriveProfile, AvoidTriangleKeepsHalfTheDistanceAtConstantSpeed) {
  bench.load_speeds(kX, 100, 5000, 100);
  bench.set32(kX, kCmdPulses, 1000);
  bench.ext_mode(kX, kExt1AvoidTriangle, 0);
  bench.write_mode(kX, kRegMode3, 0);
  bench.command(kX, kCmdDrivePlus);
  bench.clock.advance(250 * kNsPerMs);  // ramp up 0.192 s, then 0.2 s at the peak
  EXPECT_NE(bench.status(kX, kRegMode1) & kStatus1ConstantSpeed, 0);
  const double peak = std::sqrt(100.0 * 100 + 12500.0 * 500);
  EXPECT_NEAR(bench.speed_word(kX), peak, 0.01 * peak);
  bench.clock.advance(kNsPerSecond);
  EXPECT_EQ(bench.command_counter(kX), 1000);
}

TEST_F(DriveProfile, SymmetricSCurveEndsAtExactPulsesOnTime) {
  bench.load_speeds(kX, 100, 5000, 8000);
  bench.set16(kX, kCmdJerk, 2500);  // 25,000 PPS/s^2
  bench.set32(kX, kCmdPulses, 20000);
  bench.write_mode(kX, kRegMode3, kMode3SCurve);
  const double seconds = bench.drive_seconds(kX, kCmdDrivePlus);
  const SRamp ramp = ideal_s_ramp(100, 5000, 25000);
  const double ideal = 2 * ramp.seconds + (20000 - 2 * ramp.pulses) / 5000;
  EXPECT_EQ(bench.command_counter(kX), 20000);
  EXPECT_NEAR(seconds, ideal, kTolerance * ideal);
}

TEST_F(DriveProfile, AsymmetricSCurveDeceleratesAtTheManualPoint) {
  bench.load_speeds(kX, 100, 5000, 8000);
  bench.set16(kX, kCmdJerk, 2500);       // 25,000 PPS/s^2
  bench.set16(kX, kCmdDecJerk, 6250);   // 10,000 PPS/s^2
  bench.set16(kX, kCmdDec, 8000);
  const SRamp up = ideal_s_ramp(100, 5000, 25000);
  const SRamp down = ideal_s_ramp(100, 5000, 10000);
  const std::uint32_t dec_point = static_cast<std::uint32_t>(20000 - down.pulses);
  bench.set32(kX, kCmdDecPoint, dec_point);
  bench.set32(kX, kCmdPulses, 20000);
  bench.write_mode(kX, kRegMode3, kMode3SCurve | kMode3SeparateDec | kMode3ManualDecPoint);
  const double seconds = bench.drive_seconds(kX, kCmdDrivePlus);
  const double ideal = up.seconds + (dec_point - up.pulses) / 5000 + down.seconds;
  EXPECT_EQ(bench.command_counter(kX), 20000);
  EXPECT_NEAR(seconds, ideal, kTolerance * ideal);
}

TEST_F(DriveProfile, SCurveReportsItsPhasesInStatus1) {
  bench.load_speeds(kX, 100, 5000, 8000);
  bench.set16(kX, kCmdJerk, 2500);
  bench.write_mode(kX, kRegMode3, kMode3SCurve);
  bench.command(kX, kCmdContPlus);
  bench.clock.advance(100 * kNsPerMs);  // ramp takes 2 x 0.443 s
  EXPECT_EQ(bench.status(kX, kRegMode1) & 0xFF, kStatus1Driving | kStatus1Accelerating | kStatus1SJerkRising);
  bench.clock.advance(700 * kNsPerMs);
  EXPECT_EQ(bench.status(kX, kRegMode1) & 0xFF, kStatus1Driving | kStatus1Accelerating | kStatus1SJerkFalling);
  bench.clock.advance(kNsPerSecond);
  EXPECT_EQ(bench.status(kX, kRegMode1) & 0xFF, kStatus1Driving | kStatus1AtDriveSpeed);
  EXPECT_EQ(bench.speed_word(kX), 5000);
}

TEST_F(DriveProfile, AccelerationOffsetCreepsAtStartSpeed) {
  bench.load_speeds(kX, 500, 5000, 100);
  bench.set16(kX, kCmdAccOffset, 500);  // one second at 500 PPS
  bench.set32(kX, kCmdPulses, 10000);
  bench.write_mode(kX, kRegMode3, 0);
  const double seconds = bench.drive_seconds(kX, kCmdDrivePlus);
  const double ideal = ideal_t_seconds(9500, 500, 5000, 12500, 12500) + 1.0;
  EXPECT_EQ(bench.command_counter(kX), 10000);
  EXPECT_NEAR(seconds, ideal, kTolerance * ideal);
}

TEST_F(DriveProfile, ConstantSpeedDriveTakesPulsesOverSpeed) {
  bench.load_speeds(kX, 4000, 4000, 1);
  bench.set32(kX, kCmdPulses, 10000);
  bench.write_mode(kX, kRegMode3, 0);
  EXPECT_NEAR(bench.drive_seconds(kX, kCmdDrivePlus), 2.5, 1e-6);
  EXPECT_EQ(bench.command_counter(kX), 10000);
}

TEST_F(DriveProfile, HighestRangeRunsFourMillionPulsesPerSecond) {
  bench.set32(kX, kCmdRange, kMinRange);  // M = 500
  bench.load_speeds(kX, 8000, 8000, 8000);
  bench.set32(kX, kCmdPulses, 40'000'000);
  bench.write_mode(kX, kRegMode3, 0);
  EXPECT_NEAR(bench.drive_seconds(kX, kCmdDrivePlus), 10.0, 1e-6);
  EXPECT_EQ(bench.command_counter(kX), 40'000'000);
}

}  // namespace
}  // namespace card::chip::test

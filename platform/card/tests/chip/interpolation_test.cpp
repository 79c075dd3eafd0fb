// Linear and circular interpolation: the axes come from kRegInterpMode, end
// points and centres are relative, the path keeps within a pulse of the ideal
// line or circle and ends exactly on its end point.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "chip_bench.h"

namespace card::chip::test {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

constexpr std::uint16_t axes_word(int master, int second, int third = 0) {
  return static_cast<std::uint16_t>(master | (second << 2) | (third << 4));
}

struct Sample {
  std::array<std::int32_t, 4> at;
  unsigned busy;
};

class Interpolation : public testing::Test {
 protected:
  void SetUp() override {
    bench.set32(0xF, kCmdRange, kRangeM1);
    bench.load_speeds(0xF, 200, 4000, 200);  // 25,000 steps/s^2
    bench.write_mode(0xF, kRegMode3, 0);
    bench.enable_drive_end(0xF);
  }

  // Starts a path with a bare command word, as the driver does, and samples
  // every axis until the path has ended.
  std::vector<Sample> run(std::uint8_t code, SimTime period = 100 * kNsPerUs) {
    bench.chip.write(kRegCommand, kCmdInterpDecOn);
    bench.chip.write(kRegCommand, code);
    std::vector<Sample> samples;
    for (;;) {
      samples.push_back({bench.counters(), bench.main_status() & 0xFu});
      if (!samples.back().busy || samples.size() > 1'000'000) return samples;
      bench.clock.advance(period);
    }
  }

  ChipBench bench;
};

// ---- lines -------------------------------------------------------------------------

struct LineCase {
  const char* name;
  std::uint16_t axes;
  std::uint8_t code;
  std::array<std::int32_t, 4> end;  // X, Y, Z, U; 0 on axes off the path
  unsigned moving;
  int master;
};

class Lines : public Interpolation, public testing::WithParamInterface<LineCase> {};

double distance_from_line(const std::array<std::int32_t, 4>& p, const std::array<std::int32_t, 4>& end) {
  double dot = 0, length_squared = 0;
  for (int k = 0; k < 4; ++k) {
    dot += static_cast<double>(p[k]) * end[k];
    length_squared += static_cast<double>(end[k]) * end[k];
  }
  double squared = 0;
  for (int k = 0; k < 4; ++k) {
    const double off = p[k] - dot / length_squared * end[k];
    squared += off * off;
  }
  return std::sqrt(squared);
}

TEST_P(Lines, EndExactlyOnTheEndPointAndStayOnTheLine) {
  const LineCase& c = GetParam();
  bench.interp_mode(c.axes);
  for (int k = 0; k < 4; ++k) {
    if (c.moving & (1u << k)) bench.set32(1u << k, kCmdPulses, static_cast<std::uint32_t>(c.end[k]));
  }
  const std::vector<Sample> samples = run(c.code);
  ASSERT_GT(samples.size(), 100u);
  for (std::size_t i = 0; i + 1 < samples.size(); ++i) {
    ASSERT_EQ(samples[i].busy, c.moving) << "sample " << i;
    ASSERT_LE(distance_from_line(samples[i].at, c.end), 1.0) << "sample " << i;
  }
  EXPECT_EQ(samples.back().at, c.end);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(bench.status(1u << k, kRegMode3), k == c.master ? kFactorDriveEnd : 0) << "axis " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Interpolation, Lines,
    testing::Values(LineCase{"TwoAxesXY", axes_word(0, 1), kCmdLine2, {3000, -1700, 0, 0}, kX | kY, 0},
                    LineCase{"ThreeAxesXZU", axes_word(0, 2, 3), kCmdLine3, {-1234, 0, 2500, 777}, kX | kZ | kU, 0},
                    LineCase{"MasterUSecondY", axes_word(3, 1), kCmdLine2, {0, 2000, 0, -900}, kY | kU, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Interpolation, ConstantVectorSpeedRunsTheVectorAtTheDriveSpeed) {
  bench.load_speeds(kX | kY, 4000, 4000, 200);  // constant speed
  for (std::uint16_t vector : {0, 0x100}) {
    bench.set32(kX, kCmdSetCmdCounter, 0);
    bench.set32(kY, kCmdSetCmdCounter, 0);
    bench.interp_mode(axes_word(0, 1) | vector);
    bench.set32(kX, kCmdPulses, 3000);
    bench.set32(kY, kCmdPulses, 4000);
    bench.interrupt_at.reset();
    const SimTime start = bench.clock.now();
    bench.command(0, kCmdLine2);
    bench.clock.advance(2 * kNsPerSecond);
    ASSERT_TRUE(bench.interrupt_at);
    const double seconds = static_cast<double>(*bench.interrupt_at - start) / kNsPerSecond;
    EXPECT_NEAR(seconds, vector ? 5000 / 4000.0 : 4000 / 4000.0, 1e-3) << "mode 0x" << std::hex << vector;
    bench.status(kX, kRegMode3);
  }
}

TEST_F(Interpolation, ALimitOfASecondAxisStopsThePathWithItsReason) {
  AxisMechanics y;
  y.limit_plus = 500;
  bench.chip.set_mechanics(1, y);
  bench.interp_mode(axes_word(0, 1));
  bench.set32(kX, kCmdPulses, 3000);
  bench.set32(kY, kCmdPulses, 1500);
  const std::vector<Sample> samples = run(kCmdLine2);
  EXPECT_EQ(samples.back().at[1], 500);
  EXPECT_EQ(samples.back().at[0], 999);  // Y = 1500 x 999 / 3000 = 499.5 rounds to 500 there
  EXPECT_EQ(bench.status(kY, kRegMode1) & kStopLimitPlus, kStopLimitPlus);
  EXPECT_EQ(bench.status(kX, kRegMode3), kFactorDriveEnd);
}

TEST_F(Interpolation, AStopToAnyAxisOfThePathStopsThePath) {
  bench.interp_mode(axes_word(0, 1));
  bench.set32(kX, kCmdPulses, 30000);
  bench.set32(kY, kCmdPulses, 20000);
  bench.command(0, kCmdLine2);
  bench.clock.advance(kNsPerSecond);
  bench.command(kY, kCmdSuddenStop);
  EXPECT_EQ(bench.main_status() & 0xF, 0u);
  const auto at = bench.counters();
  EXPECT_LE(distance_from_line(at, {30000, 20000, 0, 0}), 1.0);
  EXPECT_EQ(bench.status(kX, kRegMode3), kFactorDriveEnd);
}

// A path commanded while its master's starts are held waits for the
// master's release; a stop to one of its axes drops it.
TEST_F(Interpolation, AHeldMasterHoldsThePathUntilReleased) {
  bench.interp_mode(axes_word(0, 1));
  bench.set32(kX, kCmdPulses, 3000);
  bench.set32(kY, kCmdPulses, 2000);
  bench.command(kX | kY, kCmdDriveHold);
  bench.command(0, kCmdLine2);
  bench.clock.advance(kNsPerSecond);
  EXPECT_EQ(bench.main_status() & 0xF, 0u);
  EXPECT_EQ(bench.counters()[0], 0);

  bench.command(kX | kY, kCmdDriveRelease);
  EXPECT_EQ(bench.main_status() & 0xF, kX | kY);
  bench.clock.advance(10 * kNsPerSecond);
  EXPECT_EQ(bench.counters()[0], 3000);
  EXPECT_EQ(bench.counters()[1], 2000);

  bench.command(kX | kY, kCmdDriveHold);
  bench.command(0, kCmdLine2);
  bench.command(kY, kCmdSuddenStop);
  bench.command(kX | kY, kCmdDriveRelease);
  EXPECT_EQ(bench.main_status() & 0xF, 0u);
  EXPECT_EQ(bench.counters()[0], 3000);
}

// ---- arcs --------------------------------------------------------------------------

struct ArcCase {
  const char* name;
  std::uint8_t code;
  std::array<std::int32_t, 2> center;  // relative to the start
  std::array<std::int32_t, 2> end;
};

class Arcs : public Interpolation, public testing::WithParamInterface<ArcCase> {};

double angle_of(const std::array<std::int32_t, 4>& p, const std::array<std::int32_t, 2>& c) {
  return std::atan2(p[1] - c[1], p[0] - c[0]);
}

double expected_sweep(const ArcCase& c) {
  const int sign = c.code == kCmdArcCcw ? 1 : -1;
  if (c.end[0] == 0 && c.end[1] == 0) return sign * kTwoPi;
  const double from = std::atan2(-c.center[1], -c.center[0]);
  const double to = std::atan2(c.end[1] - c.center[1], c.end[0] - c.center[0]);
  double sweep = std::fmod(sign * (to - from) + 2 * kTwoPi, kTwoPi);
  return sign * sweep;
}

TEST_P(Arcs, EndExactlyOnTheEndPointAndStayOnTheCircle) {
  const ArcCase& c = GetParam();
  bench.interp_mode(axes_word(0, 1));
  bench.set32(kX, kCmdArcCenter, static_cast<std::uint32_t>(c.center[0]));
  bench.set32(kY, kCmdArcCenter, static_cast<std::uint32_t>(c.center[1]));
  bench.set32(kX, kCmdPulses, static_cast<std::uint32_t>(c.end[0]));
  bench.set32(kY, kCmdPulses, static_cast<std::uint32_t>(c.end[1]));
  const std::vector<Sample> samples = run(c.code);
  const double radius = std::hypot(c.center[0], c.center[1]);
  double swept = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto& p = samples[i].at;
    ASSERT_LE(std::abs(std::hypot(p[0] - c.center[0], p[1] - c.center[1]) - radius), 1.0) << "sample " << i;
    if (i + 1 < samples.size()) {
      ASSERT_EQ(samples[i].busy, kX | kY) << "sample " << i;
    }
    if (i > 0) swept += std::remainder(angle_of(p, c.center) - angle_of(samples[i - 1].at, c.center), kTwoPi);
  }
  EXPECT_NEAR(swept, expected_sweep(c), 1e-3);
  EXPECT_EQ(samples.back().at, (std::array<std::int32_t, 4>{c.end[0], c.end[1], 0, 0}));
  EXPECT_EQ(bench.status(kX, kRegMode3), kFactorDriveEnd);
  EXPECT_EQ(bench.status(kY, kRegMode3), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Interpolation, Arcs,
    testing::Values(ArcCase{"FullCircleCounterClockwise", kCmdArcCcw, {1000, 0}, {0, 0}},
                    ArcCase{"FullCircleClockwise", kCmdArcCw, {0, -800}, {0, 0}},
                    ArcCase{"QuarterCounterClockwise", kCmdArcCcw, {0, 1000}, {1000, 1000}},
                    ArcCase{"QuarterClockwise", kCmdArcCw, {0, 1000}, {-1000, 1000}},
                    ArcCase{"MostOfACircleCounterClockwise", kCmdArcCcw, {300, -400}, {700, -700}},
                    ArcCase{"RestOfThatCircleClockwise", kCmdArcCw, {300, -400}, {700, -700}}),
    [](const auto& info) { return std::string(info.param.name); });

// The chip's own arc measure: a circle of radius r takes 8 r / sqrt(2) steps,
// so at a constant 4000 steps/s a circle of radius 1000 takes 1.414 s.
TEST_F(Interpolation, ACircleTakesEightOctantsOfSteps) {
  bench.load_speeds(kX, 4000, 4000, 200);
  bench.interp_mode(axes_word(0, 1));
  bench.set32(kX, kCmdArcCenter, 1000);
  bench.set32(kY, kCmdArcCenter, 0);
  bench.set32(kX | kY, kCmdPulses, 0);
  const SimTime start = bench.clock.now();
  bench.command(0, kCmdArcCcw);
  bench.clock.advance(2 * kNsPerSecond);
  ASSERT_TRUE(bench.interrupt_at);
  EXPECT_NEAR(static_cast<double>(*bench.interrupt_at - start) / kNsPerSecond, 8 * 1000 / std::sqrt(2.0) / 4000,
              1e-3);
}

// The manual deceleration point counts in path steps: a quarter circle of
// radius 1000 is 1414 steps; decelerating from step 500, the arc reaches the
// start speed by step 819 and creeps the rest at it.
TEST_F(Interpolation, AnArcDeceleratesAtItsManualDecelerationPoint) {
  bench.write_mode(kX, kRegMode3, kMode3ManualDecPoint);
  bench.interp_mode(axes_word(0, 1));
  bench.set32(kX, kCmdArcCenter, 0);
  bench.set32(kY, kCmdArcCenter, 1000);
  bench.set32(kX, kCmdPulses, 1000);
  bench.set32(kY, kCmdPulses, 1000);
  for (std::uint32_t dec_point : {1095u, 500u}) {
    bench.set32(kX, kCmdDecPoint, dec_point);
    bench.set32(kX | kY, kCmdSetCmdCounter, 0);
    const std::vector<Sample> samples = run(kCmdArcCcw, kNsPerMs);
    EXPECT_EQ(samples.back().at, (std::array<std::int32_t, 4>{1000, 1000, 0, 0}));
    const double seconds = (samples.size() - 1) * 1e-3;
    // 0.152 s up to 4000 and down again each, 319 steps each way; the rest at
    // 4000 (dec point 1095) or 200 steps/s (dec point 500).
    const double expected = dec_point == 1095u ? 0.304 + (1414 - 638) / 4000.0 : 0.304 + 181 / 4000.0 + 595 / 200.0;
    EXPECT_NEAR(seconds, expected, 0.01) << "deceleration point " << dec_point;
  }
}

}  // namespace
}  // namespace card::chip::test

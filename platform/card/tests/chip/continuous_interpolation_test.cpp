// Continuous interpolation: with kRegInterpMode bit 0x4000 the chip holds one
// queued segment; a feeder that refills it on the interrupt, as the driver's
// deferred call does, keeps the path running without a break.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "chip_bench.h"

namespace card::chip::test {
namespace {

constexpr std::uint16_t kXYContinuous = 0x0004 | kInterpContinuous;  // master X, second Y

struct Segment {
  std::uint8_t code;
  std::array<std::int32_t, 2> end;
  std::array<std::int32_t, 2> center;
};

// A closed stadium: two straights of 400 joined by half circles of radius 200.
const std::vector<Segment> kStadium = {
    {kCmdLine2, {400, 0}, {}},
    {kCmdArcCcw, {0, 400}, {0, 200}},
    {kCmdLine2, {-400, 0}, {}},
    {kCmdArcCcw, {0, -400}, {0, -200}},
};
constexpr double kHalfCircleSteps = 566;  // 4 octants of 200 / sqrt(2)

class ContinuousRun : public testing::Test {
 protected:
  void SetUp() override {
    bench.set32(kX | kY, kCmdRange, kRangeM1);
    bench.write_mode(kX | kY, kRegMode3, 0);
    bench.enable_drive_end(kX);
    bench.chip.on_interrupt_change([this] { serve_interrupt(); });
  }

  void load(const Segment& s) {
    bench.set32(kX, kCmdPulses, static_cast<std::uint32_t>(s.end[0]));
    bench.set32(kY, kCmdPulses, static_cast<std::uint32_t>(s.end[1]));
    if (s.code != kCmdLine2) {
      bench.set32(kX, kCmdArcCenter, static_cast<std::uint32_t>(s.center[0]));
      bench.set32(kY, kCmdArcCenter, static_cast<std::uint32_t>(s.center[1]));
    }
    bench.chip.write(kRegCommand, s.code);
  }

  // The driver's deferred call: acknowledge the factors, hand over the next
  // segment while the chip accepts one, switch deceleration on before the last.
  void serve_interrupt() {
    if (serving) return;  // the chip's own notifications while we write to it
    serving = true;
    if (bench.status(kX, kRegMode3) & kFactorDriveEnd) drive_end_at = bench.clock.now();
    if ((bench.main_status() & kMainContiReady) && next < segments.size()) {
      if (next + 1 == segments.size() && decelerate_before_last) {
        bench.chip.write(kRegCommand, kCmdInterpDecOn);
        decelerated_at = bench.clock.now();
      }
      load(segments[next++]);
      ++refills;
    }
    serving = false;
  }

  // Starts the run with the first segment, then samples the master's speed
  // every millisecond until it ends.
  std::vector<std::uint16_t> run() {
    bench.interp_mode(mode);
    bench.chip.write(kRegCommand, kCmdInterpDecOff);
    next = 1;
    start = bench.clock.now();
    load(segments[0]);
    std::vector<std::uint16_t> speeds;
    while (bench.busy(kX) && speeds.size() < 100'000) {
      speeds.push_back(bench.speed_word(kX));
      bench.clock.advance(kNsPerMs);
    }
    return speeds;
  }

  ChipBench bench;
  std::vector<Segment> segments;
  std::uint16_t mode = kXYContinuous;
  std::size_t next = 0;
  int refills = 0;
  bool serving = false;
  bool decelerate_before_last = false;
  SimTime start = 0;
  std::optional<SimTime> drive_end_at;
  std::optional<SimTime> decelerated_at;
};

TEST_F(ContinuousRun, HundredSegmentsRefilledOnTheInterruptRunWithoutABreak) {
  bench.load_speeds(kX, 2000, 2000, 100);  // constant 2000 steps/s
  for (int lap = 0; lap < 25; ++lap) segments.insert(segments.end(), kStadium.begin(), kStadium.end());

  const std::vector<std::uint16_t> speeds = run();

  EXPECT_EQ(refills, 99);
  for (std::size_t i = 0; i < speeds.size(); ++i) ASSERT_EQ(speeds[i], 2000) << "at " << i << " ms";
  ASSERT_TRUE(drive_end_at);
  const double steps = 25 * (2 * 400 + 2 * kHalfCircleSteps);
  EXPECT_NEAR(static_cast<double>(*drive_end_at - start) / kNsPerSecond, steps / 2000, 1e-3);
  EXPECT_EQ(bench.counters(), (std::array<std::int32_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(bench.main_status(), 0);  // idle, and no slot offered: the queue ran empty
  EXPECT_FALSE(bench.chip.interrupt_pending());
}

TEST_F(ContinuousRun, AnEmptySlotAtASegmentsEndEndsTheRun) {
  bench.load_speeds(kX, 2000, 2000, 100);
  segments = {kStadium[0]};
  run();
  EXPECT_EQ(refills, 0);
  EXPECT_EQ(bench.counters()[0], 400);
  EXPECT_TRUE(drive_end_at);
}

TEST_F(ContinuousRun, ClearingContinuousModeWithdrawsTheSlot) {
  bench.load_speeds(kX, 2000, 2000, 100);
  segments = {kStadium[0]};
  next = 1;  // nothing left to feed: the slot stays free
  bench.interp_mode(kXYContinuous);
  load(segments[0]);
  EXPECT_EQ(bench.main_status() & (kMainContiReady | kX | kY), kMainContiReady | kX | kY);
  EXPECT_TRUE(bench.chip.interrupt_pending());
  bench.interp_mode(kXYContinuous & ~kInterpContinuous);
  EXPECT_EQ(bench.main_status() & kMainContiReady, 0);
  EXPECT_FALSE(bench.chip.interrupt_pending());
}

// A three-axis line queued behind a two-axis one takes the third axis onto
// the path where it stands.
TEST_F(ContinuousRun, AThreeAxisLineTakesTheThirdAxisOnTheWay) {
  constexpr std::uint16_t kXYZContinuous = 0x0004 | 0x0020 | kInterpContinuous;
  bench.load_speeds(kX, 2000, 2000, 100);
  bench.set32(kZ, kCmdRange, kRangeM1);
  bench.interp_mode(kXYZContinuous);
  load({kCmdLine2, {400, 0}, {}});
  bench.set32(kX, kCmdPulses, 100);
  bench.set32(kY, kCmdPulses, 0);
  bench.set32(kZ, kCmdPulses, 300);
  bench.chip.write(kRegCommand, kCmdLine3);
  for (int ms = 0; ms < 10'000 && bench.busy(kX); ++ms) bench.clock.advance(kNsPerMs);
  EXPECT_EQ(bench.counters(), (std::array<std::int32_t, 4>{500, 0, 300, 0}));
  EXPECT_EQ(bench.main_status() & (kX | kY | kZ), 0);
}

// Deceleration switched on before the last segment ramps the path down to
// the start speed on its last step; left off, the path ends at full speed.
struct DecelerationCase {
  bool decelerate;
  std::uint16_t last_speed_low, last_speed_high;
};

class DecelerationAtTheEnd : public ContinuousRun, public testing::WithParamInterface<DecelerationCase> {};

TEST_P(DecelerationAtTheEnd, FollowsTheDecelerationSwitch) {
  const DecelerationCase& c = GetParam();
  bench.load_speeds(kX, 500, 3000, 100);  // 12,500 steps/s^2: 350 steps to slow down
  segments.assign(20, Segment{kCmdLine2, {300, 100}, {}});
  decelerate_before_last = c.decelerate;

  const std::vector<std::uint16_t> speeds = run();

  ASSERT_FALSE(speeds.empty());
  EXPECT_GE(speeds.back(), c.last_speed_low);
  EXPECT_LE(speeds.back(), c.last_speed_high);
  EXPECT_EQ(bench.counters(), (std::array<std::int32_t, 4>{6000, 2000, 0, 0}));
  EXPECT_TRUE(drive_end_at);
}

INSTANTIATE_TEST_SUITE_P(ContinuousRun, DecelerationAtTheEnd,
                         testing::Values(DecelerationCase{true, 500, 520}, DecelerationCase{false, 3000, 3000}));

// At constant vector speed each segment runs its steps at its own scale (a
// diagonal line 1/sqrt(2) of an axial one): the path keeps its vector speed
// from one segment into the next, cruising or decelerating, and a
// deceleration switched on in one segment ends at the start speed in another.
struct ScaleCase {
  const char* name;
  bool decelerate;
};

void PrintTo(const ScaleCase& c, std::ostream* out) { *out << c.name; }

class SegmentScales : public ContinuousRun, public testing::WithParamInterface<ScaleCase> {};

TEST_P(SegmentScales, KeepTheVectorSpeedAcrossSegments) {
  constexpr double kDiagonal = 0.70710678118654752;  // steps per unit of path
  const Segment diagonal{kCmdLine2, {300, 300}, {}}, axial{kCmdLine2, {400, 0}, {}};
  bench.load_speeds(kX, 500, 3000, 100);  // 12,500 units/s^2: 350 units to slow down
  mode = kXYContinuous | 0x0100;  // constant vector speed of two axes
  for (int k = 0; k < 10; ++k) segments.insert(segments.end(), {axial, diagonal});
  decelerate_before_last = GetParam().decelerate;

  const std::vector<std::uint16_t> speeds = run();

  // Once at speed, until the deceleration, a sample is the drive speed at
  // one of the two scales.
  const auto cruise = std::find(speeds.begin(), speeds.end(), 3000);
  ASSERT_NE(cruise, speeds.end());
  for (auto it = cruise; it != speeds.end(); ++it) {
    const SimTime at = start + static_cast<SimTime>(it - speeds.begin()) * kNsPerMs;
    if (decelerated_at && at >= *decelerated_at) break;
    ASSERT_TRUE(*it == 3000 || *it == 2121) << *it << " at " << (it - speeds.begin()) << " ms";
  }
  const double final_speed = bench.chip.last_drive(0).final_speed;
  EXPECT_NEAR(final_speed, (GetParam().decelerate ? 500 : 3000) * kDiagonal, 1e-6);
  EXPECT_EQ(bench.counters(), (std::array<std::int32_t, 4>{7000, 3000, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(ContinuousRun, SegmentScales,
                         testing::Values(ScaleCase{"Cruising", false}, ScaleCase{"Decelerating", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace card::chip::test

// Every profile kind over a grid of speed ranges, jerk words, accelerations
// of no whole chip unit and short and long distances, end to end on the
// manual clock: each move ends on its exact last pulse, at its start speed
// (within one chip speed step), never above its drive speed, and takes the
// time of the ideal profile of the words the chip runs (within 0.5 %).
#include <gtest/gtest.h>

#include <functional>

#include "bench.h"
#include "manual_clock_card.h"
#include "profile_grid.h"
#include "rm720.h"

namespace {

constexpr double DURATION_TOLERANCE = 0.005;

TEST(ProfilePhysics, EveryMoveOfTheGridEndsWhereAndHowItWasPlanned) {
  OpenCard card(card_section(0, "A", 0));
  const std::vector<GridOutcome> grid = run_profile_grid();
  EXPECT_GT(grid.size(), 150u);
  for (const GridOutcome &o : grid) {
    EXPECT_EQ(o.status, 0) << o.name;
    if (o.status != 0) continue;
    EXPECT_TRUE(o.ended) << o.name;
    EXPECT_EQ(o.pulses, o.pulses_expected) << o.name << ": exact last pulse";
    EXPECT_LE(final_speed_error_steps(o), 1.0)
        << o.name << ": last pulse at " << o.final_speed << " PPS, start speed " << o.end_speed;
    // The chip's pieces end on whole nanoseconds: a hair of overshoot there.
    EXPECT_LE(o.peak_speed, o.drive_speed + 1e-3 * o.speed_step) << o.name << ": above the drive speed by " << o.peak_speed - o.drive_speed;
    EXPECT_LE(duration_error(o), DURATION_TOLERANCE)
        << o.name << ": " << o.seconds << " s, ideal " << o.ideal_seconds << " s, peak " << o.peak_speed;
  }
}

// Moves reported to end at speed or to creep before the library and the card
// model agreed on the jerk and planned from the chip's words: each now ends
// on its last pulse at its start speed.
TEST(ProfilePhysics, ReportedMovesEndAtTheirStartSpeed) {
  OpenCard card(card_section(0, "A", 0));
  ASSERT_EQ(rm720_set_range(0, AXIS_X, 800000), SUCCESS_NO_ERROR);  // M = 10 on X, 500 on Y
  struct Case {
    const char *name;
    int master;
    double start_speed, speed_step;
    int32_t master_pulses, second_pulses;  // the second axis of an arc is Z
    bool option5;
    std::function<int()> start;
  };
  const Case cases[] = {
      {"M 500, jerk 1e6, option 5", 1, 1000, 500, 160000, 0, true,
       [] { return rm720_s_move(0, AXIS_Y, 1000, 100000, 1000000, 1000000, 160000, 0); }},
      {"M 500, jerks 1e6 / 2e6", 1, 1000, 500, -16000, 0, false,
       [] { return rm720_s_move(0, AXIS_Y, 1000, 100000, 1000000, 2000000, -16000, 0); }},
      {"M 10, jerk 2e4, option 5", 0, 1000, 10, 30000, 0, true,
       [] { return rm720_s_move(0, AXIS_X, 1000, 50000, 20000, 20000, 30000, 0); }},
      {"M 500, jerk word 31", 1, 1000, 500, 40000, 0, true,
       [] { return rm720_s_move(0, AXIS_Y, 1000, 100000, 1008064516, 1008064516, 40000, 0); }},
      {"M 500, jerk word 1", 1, 1000, 500, 5000, 0, true,
       [] { return rm720_s_move(0, AXIS_Y, 1000, 100000, 31250000, 31250000, 5000, 0); }},
      {"arc, ACC 300,000", 1, 1000, 500, -20000, 20000, false,
       [] { return rm720_t_arc2_move(0, AXIS_Y, AXIS_Z, 1000, 20000, 300000, 0x33, -20000, 0, -20000, 20000, 0, 0); }},
      {"arc, ACC 100,000", 1, 1000, 500, -20000, 20000, false,
       [] { return rm720_t_arc2_move(0, AXIS_Y, AXIS_Z, 1000, 20000, 100000, 0x33, -20000, 0, -20000, 20000, 0, 0); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    int32_t before[4] = {};
    for (int axis = 0; axis < 4; ++axis) rm720_get_cmdcounter(0, 1u << axis, &before[axis]);
    ASSERT_EQ(rm720_set_customization(0, 5, c.option5), SUCCESS_NO_ERROR);
    ASSERT_EQ(c.start(), SUCCESS_NO_ERROR);
    BenchDrive drive;
    for (int i = 0; i < 200 && (drive = bench_last_drive(0, c.master)).running; ++i) bench_advance_ns(100000000);
    ASSERT_FALSE(drive.running);
    EXPECT_NEAR(drive.final_speed, c.start_speed, c.speed_step);
    int32_t after[4] = {};
    for (int axis = 0; axis < 4; ++axis) rm720_get_cmdcounter(0, 1u << axis, &after[axis]);
    EXPECT_EQ(after[c.master] - before[c.master], c.master_pulses);
    EXPECT_EQ(after[2] - before[2], c.second_pulses);
  }
}

// A short asymmetric S-curve loaded for a synchronous action is planned to
// its peak like any mode-7 move: fired by X's comparator it ends at its
// start speed.
TEST(ProfilePhysics, ALoadedShortSCurveEndsAtItsStartSpeed) {
  OpenCard card(card_section(0, "A", 0));
  ASSERT_EQ(rm720_set_range(0, AXIS_X, 8000000), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_synch_s_move_cfg(0, AXIS_Y, 1000, 100000, 1000000, 2000000, 16000),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_synch(0, AXIS_X, 1, AXIS_Y, 1, 0x4000, 1, 0, 400, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_const_move(0, AXIS_X, 1000, 1000), SUCCESS_NO_ERROR);
  bench_advance_ns(2000000000);
  const BenchDrive drive = bench_last_drive(0, 1);
  ASSERT_FALSE(drive.running);
  EXPECT_EQ(drive.pulses, 16000);
  EXPECT_NEAR(drive.final_speed, 1000, 500);
  EXPECT_LE(drive.peak_speed, 100000);
}

}  // namespace

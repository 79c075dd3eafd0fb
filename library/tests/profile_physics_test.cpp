// Every profile kind over a grid of speed ranges, jerk words, accelerations
// of no whole chip unit and short and long distances, end to end on the
// manual clock: each move ends on its exact last pulse, at its start speed
// (within one chip speed step), never above its drive speed, and takes the
// time of the ideal profile of the words the chip runs (within 0.5 %).
#include <gtest/gtest.h>

#include "manual_clock_card.h"
#include "profile_grid.h"

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

}  // namespace

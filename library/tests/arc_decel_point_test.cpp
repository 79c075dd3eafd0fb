// The arc's measure in the chip's steps (octants and their parts) and the
// deceleration point computed from it.
#include <gtest/gtest.h>

#include "arc_decel_point.h"
#include "win32.h"  // the arc directions of the request protocol

namespace {

constexpr bool CW = true, CCW = false, START = true, END = false;

TEST(ArcOctant, FollowsTheTableAndItsTieRules) {
  struct Case {
    int64_t x, y;
    int octant;
  };
  for (const Case c : {Case{100, 10, 0}, {10, 100, 1}, {-10, 100, 2}, {-100, 10, 3},
                       {-100, -10, 4}, {-10, -100, 5}, {10, -100, 6}, {100, -10, 7},
                       // A zero coordinate counts as non-negative.
                       {0, 5, 1}, {-5, 0, 3}, {0, -5, 6}, {5, 0, 0}})
    EXPECT_EQ(arc_octant(c.x, c.y, CW, START), c.octant) << c.x << ", " << c.y;
  // On a diagonal: the octant the arc moves into, or arrives from.
  EXPECT_EQ(arc_octant(100, 100, CW, START), 0);
  EXPECT_EQ(arc_octant(100, 100, CCW, START), 1);
  EXPECT_EQ(arc_octant(-100, 100, CW, END), 3);
  EXPECT_EQ(arc_octant(-100, 100, CCW, END), 2);
  EXPECT_EQ(arc_octant(-7, -7, CW, START), 4);
  EXPECT_EQ(arc_octant(7, -7, CCW, END), 6);
}

TEST(ArcSteps, CountOctantsAndTheirParts) {
  // Around the centre (100, 0) back to the start: 8 L with L = 70.
  EXPECT_EQ(arc_steps(ARC_CLOCKWISE, 100, 0, 0, 0), 560);
  // Counter-clockwise quarter from start vector (100, 0) to (0, 100): 2 L.
  EXPECT_EQ(arc_steps(ARC_COUNTER_CLOCKWISE, -100, 0, -100, 100), 140);
  // The same quarter clockwise is three quarters of the circle.
  EXPECT_EQ(arc_steps(ARC_CLOCKWISE, -100, 0, -100, 100), 420);
  // Start and end in one octant: only the part between them (n = -1).
  EXPECT_EQ(arc_steps(ARC_COUNTER_CLOCKWISE, -100, -10, 0, 40), 40);
}

TEST(ArcDecelPoint, LeavesRoomForTheRampDown) {
  // (100,000^2 - 1,000^2) / 2,000,000 = 4,999.5: 5,000 whole steps of ramp.
  EXPECT_EQ(arc_decel_point(ARC_CLOCKWISE, 1000, 100000, 1000000, 100000, 0, 0, 0, 0),
            565680 - 5000);
  EXPECT_EQ(arc_decel_point(ARC_CLOCKWISE, 1000, 100000, 1000000, 100000, 0, 0, 0, 80),
            565680 - 5000 - 80);
}

// Too short to reach DV: the ramp down begins where the ramps meet, half way
// through the steps before AO (141 and 101 here), rounded early to a whole
// step, so the arc ends at its start speed.
TEST(ArcDecelPoint, AShortArcTurnsAtItsMiddle) {
  EXPECT_EQ(arc_decel_point(ARC_COUNTER_CLOCKWISE, 100, 100000, 10000, -100, 0, -100, 100, 0), 70);
  EXPECT_EQ(arc_decel_point(ARC_COUNTER_CLOCKWISE, 100, 100000, 10000, -100, 0, -100, 100, 40),
            50);
}

TEST(ArcDecelPoint, NoPointWithoutARampOrRoom) {
  EXPECT_EQ(arc_decel_point(ARC_CLOCKWISE, 1000, 1000, 10000, 100, 0, 0, 0, 0), 0) << "SV = DV";
  EXPECT_EQ(arc_decel_point(ARC_CLOCKWISE, 1000, 2000, 0, 100, 0, 0, 0, 0), 0) << "no acceleration";
  EXPECT_EQ(arc_decel_point(ARC_CLOCKWISE, 1000, 2000, 10000, 100, 0, 0, 0, 600), 0)
      << "AO beyond the arc";
}

}  // namespace

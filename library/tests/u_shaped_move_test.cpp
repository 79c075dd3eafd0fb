// The U-shaped move end to end on a manual clock: the lift (Z) rises, the
// travel (X, or X and Y) runs once the lift passed its trigger point, and
// the lift lowers once the travel passed its own; the card chains the legs
// through its comparators and the driver's interrupt actions. The clock is
// stepped with the DPC drained after each step, so each hand-over is seen
// at the step in which the card made it.
#include <gtest/gtest.h>

#include <algorithm>

#include "manual_clock_card.h"
#include "move_probe.h"
#include "u_move_probe.h"

namespace {

constexpr uint64_t STEP_NS = 200000;  // 0.2 ms
constexpr int STEP_LIMIT = 50000;     // 10 s of card time
constexpr int X = 0, Y = 1, Z = 2;
constexpr uint16_t ALL_AXES = AXIS_X | AXIS_Y | AXIS_Z | AXIS_U;

// The caller's arrays of one call.
struct UMove {
  int16_t axes[3] = {AXIS_Z, AXIS_X, AXIS_Y};
  int32_t targets[4] = {5000, 20000, 10000, 1000};  // lift up, X, Y, lift final
  int32_t blends[3] = {1000, 2000, 1000};
  uint32_t sv[3] = {1000, 1000, 1000};
  uint32_t dv[3] = {100000, 100000, 100000};
  uint32_t jerk[3] = {100000000, 100000000, 100000000};
  uint32_t dec_rate[3] = {100000000, 100000000, 100000000};

  ApiStatus run(uint8_t card = 0) const {
    return rm720_s_abs_u_shaped_move(card, axes, targets, blends, sv, dv, jerk, dec_rate);
  }
};

// What the stepped clock saw: the command counters of every axis at the step
// in which an axis first drove (start) and first drove again after having
// stopped (restart).
struct Timeline {
  bool started[4] = {}, restarted[4] = {};
  int32_t at_start[4][4] = {}, at_restart[4][4] = {};
  int32_t highest[4] = {};
};

class UShapedMove : public testing::Test {
 protected:
  static int32_t abs_position(uint16_t axis) {
    int32_t position = 0;
    EXPECT_EQ(rm720_get_abs_position(0, axis, &position), SUCCESS_NO_ERROR);
    return position;
  }
  // Where the legs ended; every hand-over armed for them has fired.
  static void expect_ended_at(int32_t z, int32_t x, int32_t y) {
    EXPECT_EQ(abs_position(AXIS_Z), z);
    EXPECT_EQ(abs_position(AXIS_X), x);
    EXPECT_EQ(abs_position(AXIS_Y), y);
    EXPECT_EQ(probe_armed_int_actions(), 0);
  }
  // Steps the clock until the travel has started, while the lift finishes.
  static void step_until_travel_runs() {
    for (int i = 0; i < STEP_LIMIT && !probe_axis_busy(X); ++i) probe_advance_ns(STEP_NS);
    ASSERT_TRUE(probe_axis_busy(Z));
  }
  static bool any_busy() {
    return probe_axis_busy(X) || probe_axis_busy(Y) || probe_axis_busy(Z);
  }
  static void snapshot(int32_t (&counters)[4]) {
    for (int axis = 0; axis < 4; ++axis) counters[axis] = probe_command_counter(axis);
  }
  // Steps the clock until nothing drives (or `steps` run out), noting when
  // each axis starts and starts again.
  static Timeline step(int steps = STEP_LIMIT) {
    Timeline seen;
    bool stopped_once[4] = {};
    for (int axis = 0; axis < 4; ++axis) seen.highest[axis] = probe_command_counter(axis);
    for (int i = 0; i < steps; ++i) {
      for (int axis = 0; axis < 4; ++axis) {
        const bool busy = probe_axis_busy(axis);
        seen.highest[axis] = std::max(seen.highest[axis], probe_command_counter(axis));
        if (busy && !seen.started[axis]) {
          seen.started[axis] = true;
          snapshot(seen.at_start[axis]);
        } else if (busy && stopped_once[axis] && !seen.restarted[axis]) {
          seen.restarted[axis] = true;
          snapshot(seen.at_restart[axis]);
        }
        if (!busy && seen.started[axis]) stopped_once[axis] = true;
      }
      if (i > 0 && !any_busy()) break;
      probe_advance_ns(STEP_NS);
    }
    return seen;
  }

  OpenCard card_{card_section(0, "A", 0)};
};

TEST_F(UShapedMove, ThreeLegsEndOnTheirTargetsHandedOverAtTheBlendPoints) {
  const UMove move;
  ASSERT_EQ(move.run(), SUCCESS_NO_ERROR);
  const Timeline seen = step();

  expect_ended_at(1000, 20000, 10000);
  EXPECT_EQ(seen.highest[Z], 5000) << "the lift reached its up position";

  ASSERT_TRUE(seen.started[X] && seen.started[Y]);
  EXPECT_GE(seen.at_start[X][Z], 4000) << "the travel waits for the lift's trigger point";
  EXPECT_LT(seen.at_start[X][Z], 5000) << "and runs while the lift is still finishing";
  EXPECT_EQ(seen.at_start[Y][Z], seen.at_start[X][Z]) << "both travel axes start together";

  ASSERT_TRUE(seen.restarted[Z]) << "the lowering is a second drive of the lift";
  EXPECT_EQ(seen.at_restart[Z][Z], 5000) << "it starts from the top";
  EXPECT_GE(seen.at_restart[Z][X], 18000) << "once the travel passed its trigger point";
  EXPECT_GE(seen.at_restart[Z][Y], 9000);
  EXPECT_LT(seen.at_restart[Z][X], 20000) << "while the travel is still finishing";
}

// The absolute targets count from the origins, and downward legs trigger
// on the comparator passed counting down.
TEST_F(UShapedMove, DownwardLegsFromShiftedOriginsEndOnTheirTargets) {
  ASSERT_EQ(rm720_set_abs_position(0, AXIS_Z, 300), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_abs_position(0, AXIS_X, 9000), SUCCESS_NO_ERROR);
  UMove move;
  move.axes[2] = 0;
  move.targets[0] = -3700;  // the lift goes down 4000 pulses
  move.targets[1] = 1000;   // the travel 8000 pulses down
  move.targets[3] = -2000;
  ASSERT_EQ(move.run(), SUCCESS_NO_ERROR);
  const Timeline seen = step();

  expect_ended_at(-2000, 1000, 0);
  // In counter units: the lift's trigger -2700 is counter -3000, the
  // travel's 3000 is counter -6000.
  EXPECT_LE(seen.at_start[X][Z], -3000) << "lift trigger: up position + blend";
  EXPECT_GT(seen.at_start[X][Z], -4000);
  EXPECT_LE(seen.at_restart[Z][X], -6000) << "travel trigger: target + blend";
  EXPECT_GT(seen.at_restart[Z][X], -8000);
}

TEST_F(UShapedMove, BlendsBelowTheirLeastAreRaised) {
  UMove move;
  move.axes[2] = 0;
  move.targets[0] = 100;
  move.targets[1] = 100;
  move.targets[3] = 0;
  move.blends[0] = -3;  // the absolute value, then at least 10
  move.blends[1] = 0;   // at least 1
  ASSERT_EQ(move.run(), SUCCESS_NO_ERROR);
  const Timeline seen = step();

  expect_ended_at(0, 100, 0);
  EXPECT_GE(seen.at_start[X][Z], 90);
  EXPECT_LT(seen.at_start[X][Z], 97) << "a lift blend of 3 would start the travel at 97";
  ASSERT_TRUE(seen.restarted[Z]);
  EXPECT_EQ(seen.at_restart[Z][X], 99) << "a travel blend of 0 hands over one pulse early";
}

TEST_F(UShapedMove, ALiftAlreadyUpLowersOnTheTravelTrigger) {
  ASSERT_EQ(rm720_set_abs_position(0, AXIS_Z, 5000), SUCCESS_NO_ERROR);
  UMove move;
  move.axes[2] = 0;
  ASSERT_EQ(move.run(), SUCCESS_NO_ERROR);
  EXPECT_TRUE(probe_axis_busy(X)) << "the travel starts at once";
  EXPECT_FALSE(probe_axis_busy(Z)) << "the lowering waits, loaded";
  const Timeline seen = step();

  expect_ended_at(1000, 20000, 0);
  EXPECT_GE(seen.at_start[Z][X], 18000);
  EXPECT_LT(seen.at_start[Z][X], 20000);
}

// The travel is shorter than its blend: no lift, and both the lowering and
// the travel (not held for a lift that never comes) start at once.
TEST_F(UShapedMove, AShortTravelSkipsTheLift) {
  UMove move;
  move.targets[1] = 500;
  move.targets[2] = 200;
  ASSERT_EQ(move.run(), SUCCESS_NO_ERROR);
  EXPECT_TRUE(probe_axis_busy(Z));
  EXPECT_TRUE(probe_axis_busy(X));
  const Timeline seen = step();

  EXPECT_EQ(seen.highest[Z], 1000) << "straight to the final position";
  expect_ended_at(1000, 500, 200);
}

// Travels that never pass their trigger point leave nothing waiting on it:
// travel 1 exactly its blend away skips the lift and loads the lowering
// (never left on a drive end that does not come); a standing travel 2 does
// not hold the lowering, which waits for travel 1 only.
TEST_F(UShapedMove, TravelsThatPassNoTriggerStillLower) {
  struct TravelCase {
    int16_t travel2;
    int32_t x, y;
  };
  for (const TravelCase c : {TravelCase{0, 2000, 0}, TravelCase{AXIS_Y, 20000, 0}}) {
    UMove move;
    move.axes[2] = c.travel2;
    move.targets[1] = c.x;
    move.targets[2] = c.y;
    ASSERT_EQ(move.run(), SUCCESS_NO_ERROR);
    step();
    expect_ended_at(1000, c.x, c.y);
    ASSERT_EQ(rm720_set_abs_position(0, AXIS_X, 0), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_set_abs_position(0, AXIS_Z, 0), SUCCESS_NO_ERROR);
  }
}

TEST_F(UShapedMove, ArgumentsAreCheckedBeforeAnythingMoves) {
  UMove move;
  EXPECT_EQ(move.run(16), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(move.run(1), ERROR_INVALID_CARD_ID) << "not open";
  EXPECT_EQ(rm720_s_abs_u_shaped_move(16, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr),
            ERROR_INVALID_CARD_ID)
      << "the card first";
  EXPECT_EQ(rm720_s_abs_u_shaped_move(0, move.axes, move.targets, move.blends, move.sv, move.dv,
                                      move.jerk, nullptr),
            ERROR_ACCESS_VIOLATION_DATA_COPY);

  struct AxesCase {
    int16_t lift, travel1, travel2;
    ApiStatus expected;
  };
  const AxesCase cases[] = {
      {0, AXIS_X, AXIS_Y, ERROR_NO_VALID_AXIS_ASSIGNED},
      {AXIS_Z | AXIS_U, AXIS_X, AXIS_Y, ERROR_MULTI_AXES_ASSIGNED},
      {128, AXIS_X, AXIS_Y, ERROR_NO_VALID_AXIS_ASSIGNED},
      {AXIS_Z, 0, AXIS_Y, ERROR_NO_VALID_AXIS_ASSIGNED},
      {AXIS_Z, AXIS_X, AXIS_X | AXIS_Y, ERROR_MULTI_AXES_ASSIGNED},
      {AXIS_Z, AXIS_X, 0x10, ERROR_NO_VALID_AXIS_ASSIGNED},
      {AXIS_Z | AXIS_U, AXIS_Z | AXIS_U, AXIS_Z | AXIS_U, ERROR_MULTI_AXES_ASSIGNED},
      {AXIS_Z, AXIS_Z, AXIS_Y, ERROR_INVALID_SYNCHRONOUS_AXES},
      {AXIS_Z, AXIS_X, AXIS_Z, ERROR_INVALID_SYNCHRONOUS_AXES},
      {AXIS_Z, AXIS_X, AXIS_X, ERROR_INVALID_INTERPOLATION_SLAVE_AXES},
  };
  for (const AxesCase &c : cases) {
    move.axes[0] = c.lift;
    move.axes[1] = c.travel1;
    move.axes[2] = c.travel2;
    EXPECT_EQ(move.run(), c.expected) << c.lift << " " << c.travel1 << " " << c.travel2;
  }
  EXPECT_FALSE(any_busy());
  EXPECT_EQ(probe_armed_int_actions(), 0);
}

// A lift profile the S-curve move refuses ends the call before anything
// moves or is armed.
TEST_F(UShapedMove, ARefusedLiftLeavesEverythingStill) {
  UMove move;
  move.dv[0] = 0;
  EXPECT_EQ(move.run(), ERROR_START_SPEED_EXCEED_DRIVING_SPEED);
  EXPECT_FALSE(any_busy());
  EXPECT_EQ(probe_armed_int_actions(), 0);
}

// A lift whose comparators serve the software limit cannot carry the
// trigger point: the call says so instead of leaving the travel held for
// ever; the caller stops what has started.
TEST_F(UShapedMove, ATriggerPointThatCannotBeSetIsReported) {
  ASSERT_EQ(rm720_set_softlimit(0, AXIS_Z, 3, 0, 100000, -100000), SUCCESS_NO_ERROR);
  const UMove move;
  EXPECT_EQ(move.run(), ERROR_CONFLICT_WITH_SOFTLIMIT);
  ASSERT_EQ(rm720_stop_move_all(0, ALL_AXES, 0x27), SUCCESS_NO_ERROR);
  step();
  EXPECT_EQ(probe_armed_int_actions(), 0);
}

// A stop while the travel runs ends the run: the lift's drive end raised by
// the stop starts no lowering, no held leg waits for a later release, and
// no action is left to fire on a later move.
TEST_F(UShapedMove, AStopMidMoveLeavesNothingArmed) {
  const UMove move;
  ASSERT_EQ(move.run(), SUCCESS_NO_ERROR);
  step_until_travel_runs();
  ASSERT_EQ(rm720_stop_move_all(0, AXIS_X | AXIS_Y | AXIS_Z, 0x27), SUCCESS_NO_ERROR);
  step();
  EXPECT_EQ(probe_armed_int_actions(), 0);

  int32_t stopped[4];
  snapshot(stopped);
  ASSERT_EQ(rm720_drv_start(0, ALL_AXES), SUCCESS_NO_ERROR);
  const Timeline after = step(1000);
  EXPECT_FALSE(after.started[X] || after.started[Y] || after.started[Z]);
  int32_t now[4];
  snapshot(now);
  for (int axis : {X, Y, Z}) EXPECT_EQ(now[axis], stopped[axis]) << axis;
}

// A second call while the first still runs stops it first; the second run
// then ends on its own targets, undisturbed by the first's hand-overs.
TEST_F(UShapedMove, ANewCallEndsTheRunBefore) {
  const UMove first;
  ASSERT_EQ(first.run(), SUCCESS_NO_ERROR);
  step_until_travel_runs();
  UMove back;
  back.targets[0] = 6000;
  back.targets[1] = 0;
  back.targets[2] = 0;
  back.targets[3] = 0;
  ASSERT_EQ(back.run(), SUCCESS_NO_ERROR);
  step();
  expect_ended_at(0, 0, 0);
}

// A stop while the lift rises and the travel waits held takes the holds
// too: a plain move then runs, and so does a second U-shaped move, after
// which every axis is free again (its software limit is settable).
TEST_F(UShapedMove, AfterAStopWhileHeldPlainAndUShapedMovesRunAgain) {
  const UMove move;
  ASSERT_EQ(move.run(), SUCCESS_NO_ERROR);
  step(50);
  ASSERT_FALSE(probe_axis_busy(X)) << "the travel still waits";
  ASSERT_EQ(rm720_stop_move_all(0, AXIS_X | AXIS_Y | AXIS_Z, 0x27), SUCCESS_NO_ERROR);
  step();
  for (uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z}) {
    const int32_t before = abs_position(axis);
    ASSERT_EQ(rm720_t_move(0, axis, 1000, 4000, 100000, 100000, 300, 0), SUCCESS_NO_ERROR);
    step();
    EXPECT_EQ(abs_position(axis), before + 300) << axis;
  }
  ASSERT_EQ(move.run(), SUCCESS_NO_ERROR);
  step();
  expect_ended_at(1000, 20000, 10000);
  for (uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z}) {
    EXPECT_EQ(rm720_set_softlimit(0, axis, 3, 0, 1000000, -1000000), SUCCESS_NO_ERROR) << axis;
    EXPECT_EQ(rm720_set_softlimit(0, axis, 0, 0, 0, 0), SUCCESS_NO_ERROR);
  }
}

}  // namespace

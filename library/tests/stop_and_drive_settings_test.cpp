// Stops, held starts, the ring counter, the hand wheel and the target change
// end to end on the manual clock: export -> request block -> driver ->
// simulated chip, whose drives the test steps.
#include <gtest/gtest.h>

#include <cmath>

#include "bench.h"
#include "homing_probe.h"
#include "machine_probe.h"
#include "move_probe.h"
#include "open_cards.h"

namespace {

constexpr uint64_t STEP_NS = 100000;
constexpr uint64_t LIMIT_NS = 100000000000;
constexpr uint16_t DECELERATING = 0x26, SUDDEN = 0x27;
constexpr uint16_t XYZ = AXIS_X | AXIS_Y | AXIS_Z;

const std::string MANUAL_CLOCK = "[Machine]\nClock=manual\n";

int16_t stop_reason(uint16_t axis) {
  uint8_t done = 0;
  int16_t reason = 0;
  EXPECT_EQ(rm720_motion_done(0, axis, &done, &reason), SUCCESS_NO_ERROR);
  return reason;
}

int32_t command_counter(uint16_t axis) {
  int32_t counter = 0;
  EXPECT_EQ(rm720_get_cmdcounter(0, axis, &counter), SUCCESS_NO_ERROR);
  return counter;
}

void run_until_idle(unsigned axes, uint64_t end_ns[4]) {
  probe_run_until_idle(axes, STEP_NS, LIMIT_NS, end_ns);
}
void run_until_idle(unsigned axes) {
  uint64_t end_ns[4] = {};
  run_until_idle(axes, end_ns);
}

void start_velocity_moves(uint16_t axes) {
  for (uint16_t axis = AXIS_X; axis <= AXIS_U; axis <<= 1) {
    if (axes & axis) {
      ASSERT_EQ(rm720_velocity_move(0, axis, 1000, 50000, 500000, 1), SUCCESS_NO_ERROR);
    }
  }
  probe_advance_ns(100 * STEP_NS);
}

class StopsAndSettings : public testing::Test {
 protected:
  // X waits for an in-position input that is not active.
  OpenCardZero card_{MANUAL_CLOCK + card_section(0, "A", 0) + "X.InPosition=0\n"};
};

// ---- stops ----------------------------------------------------------------------

TEST_F(StopsAndSettings, StopChecksItsModeBeforeTheCardAndTheMaskBeforeTheCard) {
  EXPECT_EQ(rm720_stop_move(16, AXIS_X, 0x28), ERROR_INVALID_STOP_MODE);
  EXPECT_EQ(rm720_stop_move(16, AXIS_X, SUDDEN), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_stop_move(0, 3, SUDDEN), ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(rm720_stop_move_all(16, 16, 0), ERROR_INVALID_STOP_MODE);
  EXPECT_EQ(rm720_stop_move_all(16, 16, SUDDEN), ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(rm720_stop_move_all(16, XYZ, SUDDEN), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_drv_start(16, 16), ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(rm720_drv_hold(16, XYZ), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_drv_start(0, 0), SUCCESS_NO_ERROR) << "an empty mask is sent as it is";
}

// The probe finds the axis standing: no stop reaches the driver, so the
// reason of the last drive stays what it was.
TEST_F(StopsAndSettings, StopOfAStandingAxisSendsNothing) {
  ASSERT_EQ(rm720_const_move(0, AXIS_Y, 10000, 1000), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_Y);
  ASSERT_EQ(stop_reason(AXIS_Y), DRIVE_FINISH_OUTPUT_FIXED_PULSE);
  EXPECT_EQ(rm720_stop_move(0, AXIS_Y, SUDDEN), SUCCESS_NO_ERROR);
  EXPECT_EQ(stop_reason(AXIS_Y), DRIVE_FINISH_OUTPUT_FIXED_PULSE);
}

TEST_F(StopsAndSettings, DeceleratingStopReturnsAtOnceAndRampsDown) {
  start_velocity_moves(AXIS_Y);
  EXPECT_EQ(rm720_stop_move(0, AXIS_Y, DECELERATING), SUCCESS_NO_ERROR);
  EXPECT_TRUE(probe_axis_busy(1)) << "stopped at once";
  run_until_idle(AXIS_Y);
  EXPECT_EQ(stop_reason(AXIS_Y), DRIVE_FINISH_WITH_STOP_COMMAND);
}

// The sudden stop switches the in-position check off until the axis stands,
// so an axis waiting for its in-position input stops too, and puts the
// axis's own configuration back after.
TEST_F(StopsAndSettings, SuddenStopWaitsWithTheInPositionCheckOff) {
  ASSERT_EQ(rm720_set_inp(0, AXIS_X, 0x8000, 0x4000), SUCCESS_NO_ERROR);
  const uint16_t configured = probe_axis(0, 0).mode2;
  start_velocity_moves(AXIS_X);
  EXPECT_EQ(rm720_stop_move(0, AXIS_X, SUDDEN), SUCCESS_NO_ERROR);
  EXPECT_FALSE(probe_axis_busy(0)) << "the axis still waits for its in-position input";
  EXPECT_EQ(probe_axis(0, 0).mode2, configured);
  EXPECT_EQ(probe_held_requests(), 0u);
}

// With option 7 the sudden stop does not wait: the check stays on and the
// axis waits for its in-position input after its pulses have ended.
TEST_F(StopsAndSettings, SuddenStopWithoutWaitingKeepsTheInPositionCheck) {
  ASSERT_EQ(rm720_set_customization(0, 7, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_inp(0, AXIS_X, 0x8000, 0x4000), SUCCESS_NO_ERROR);
  start_velocity_moves(AXIS_X);
  EXPECT_EQ(rm720_stop_move(0, AXIS_X, SUDDEN), SUCCESS_NO_ERROR);
  EXPECT_TRUE(probe_axis_busy(0));
  probe_set_in_position(0, true);
  probe_advance_ns(STEP_NS);
  EXPECT_FALSE(probe_axis_busy(0));
}

TEST_F(StopsAndSettings, StopOfSeveralAxesStopsEachOfThem) {
  start_velocity_moves(XYZ | AXIS_U);
  EXPECT_EQ(rm720_stop_move_all(0, XYZ, SUDDEN), SUCCESS_NO_ERROR);
  for (int axis = 0; axis < 3; ++axis) EXPECT_FALSE(probe_axis_busy(axis)) << "axis " << axis;
  EXPECT_TRUE(probe_axis_busy(3)) << "an axis outside the mask stopped";
  for (uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z})
    EXPECT_EQ(stop_reason(axis), DRIVE_FINISH_WITH_STOP_COMMAND);
  EXPECT_EQ(rm720_stop_move_all(0, AXIS_U, DECELERATING), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_U);
}

// Held starts wait; released, the axes start on one chip tick, so equal
// moves end together.
TEST_F(StopsAndSettings, HeldStartsRunTogetherOnceReleased) {
  ASSERT_EQ(rm720_drv_hold(0, AXIS_Y | AXIS_Z), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_move(0, AXIS_Y, 1000, 40000, 400000, 400000, 20000, 0), SUCCESS_NO_ERROR);
  probe_advance_ns(50 * STEP_NS);
  ASSERT_EQ(rm720_t_move(0, AXIS_Z, 1000, 40000, 400000, 400000, -20000, 0), SUCCESS_NO_ERROR);
  probe_advance_ns(50 * STEP_NS);
  EXPECT_EQ(probe_command_counter(1), 0) << "a held start ran";
  EXPECT_EQ(rm720_drv_start(0, AXIS_Y | AXIS_Z), SUCCESS_NO_ERROR);
  uint64_t end_ns[4] = {};
  run_until_idle(AXIS_Y | AXIS_Z, end_ns);
  EXPECT_EQ(end_ns[1], end_ns[2]);
  EXPECT_EQ(probe_command_counter(1), 20000);
  EXPECT_EQ(probe_command_counter(2), -20000);
}

// A drive loaded on a held axis is a motion still to come: motion_done says
// so, and a stop of either kind drops it, so the release moves nothing.
TEST_F(StopsAndSettings, AHeldLoadedMoveIsPendingAndAStopCancelsIt) {
  for (const uint16_t mode : {DECELERATING, SUDDEN}) {
    SCOPED_TRACE(mode);
    const int32_t before = command_counter(AXIS_Y);
    ASSERT_EQ(rm720_drv_hold(0, AXIS_Y), SUCCESS_NO_ERROR);
    uint8_t done = 1;
    int16_t state = -1;
    ASSERT_EQ(rm720_motion_done(0, AXIS_Y, &done, &state), SUCCESS_NO_ERROR);
    EXPECT_EQ(done, 1) << "held without a move: nothing pending";
    ASSERT_EQ(rm720_t_move(0, AXIS_Y, 1000, 40000, 400000, 400000, 20000, 0), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_motion_done(0, AXIS_Y, &done, &state), SUCCESS_NO_ERROR);
    EXPECT_EQ(done, 0) << "a held, loaded move reads as done";
    EXPECT_EQ(state, 0);
    EXPECT_EQ(rm720_stop_move(0, AXIS_Y, mode), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_motion_done(0, AXIS_Y, &done, &state), SUCCESS_NO_ERROR);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(state, DRIVE_FINISH_WITH_STOP_COMMAND);
    ASSERT_EQ(rm720_drv_start(0, AXIS_Y), SUCCESS_NO_ERROR);
    probe_advance_ns(1000 * STEP_NS);
    EXPECT_FALSE(probe_axis_busy(1)) << "the cancelled move ran at the release";
    EXPECT_EQ(command_counter(AXIS_Y), before);
  }
}

// An "all" move whose planned speeds cannot go back into the caller's DV
// array refuses before anything is held: the next single moves run.
TEST_F(StopsAndSettings, AnAllMoveThatRefusesLeavesNoAxisHeld) {
  static const uint32_t read_only_dv[4] = {0, 100000, 100000, 0};  // planned lower: too short
  const uint32_t sv[4] = {0, 1000, 1000, 0}, jerk[4] = {0, 1000000, 1000000, 0};
  const uint32_t decel_jerk[4] = {0, 500000, 500000, 0};
  const int32_t pulses[4] = {0, 2000, -2000, 0};
  EXPECT_EQ(rm720_s_moveall(0, AXIS_Y | AXIS_Z, sv, const_cast<uint32_t *>(read_only_dv), jerk,
                            decel_jerk, pulses, nullptr),
            ERROR_ACCESS_VIOLATION_DATA_COPY);
  for (const int32_t distance : {3000, -3000}) {
    const uint16_t axis = distance > 0 ? AXIS_Y : AXIS_Z;
    ASSERT_EQ(rm720_t_move(0, axis, 1000, 40000, 400000, 400000, distance, 0), SUCCESS_NO_ERROR);
    run_until_idle(axis);
    EXPECT_EQ(command_counter(axis), distance) << "a refusal left the axis held";
  }
}

// ---- ring counter, hand wheel, target change -------------------------------------

TEST_F(StopsAndSettings, RingCounterChecksItsValueFirstAndWrapsTheCounters) {
  EXPECT_EQ(rm720_set_vring(16, 3, 16, 1), ERROR_INVALID_RING_COUNTER);
  EXPECT_EQ(rm720_set_vring(16, 3, 8, 1000), ERROR_INVALID_FILTER_ENABLE);
  EXPECT_EQ(rm720_set_vring(16, AXIS_X, 16, 1000), ERROR_INVALID_CARD_ID);
  ASSERT_EQ(rm720_set_vring(0, AXIS_Y, 16, 1000), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_const_move(0, AXIS_Y, 10000, 2500), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_Y);
  EXPECT_EQ(command_counter(AXIS_Y), 500);
  EXPECT_NE(rm720_set_softlimit(0, AXIS_Y, 0, 0, 0, 0), SUCCESS_NO_ERROR)
      << "the ring counter holds the comparators";
  EXPECT_EQ(rm720_set_vring(0, AXIS_Y, 0, 1000), SUCCESS_NO_ERROR);
}

TEST_F(StopsAndSettings, HandWheelChecksItsModeAndSpeed) {
  EXPECT_EQ(rm720_set_mpg(16, AXIS_Y, 4, 1, 1000, 1), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_set_mpg(0, AXIS_Y, 4, 1, 1000, 1), ERROR_INVALID_MPG_EXP_CONFIG);
  EXPECT_EQ(rm720_set_mpg(0, AXIS_Y, 24, 2, 3999, 1000), ERROR_INVALID_MPG_SPEED);
  EXPECT_EQ(rm720_set_mpg(0, AXIS_Y, 24, 2, 4000, 1000), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_set_mpg(0, AXIS_Y, 8, 2, 100, 1000), ERROR_INVALID_MPG_SPEED)
      << "below the axis's lowest speed";
  EXPECT_EQ(rm720_set_mpg(0, AXIS_Y, 0, 2, 0, 1000), SUCCESS_NO_ERROR) << "off needs no speed";
  // 2 x 2^31 x 2 is 2^33: no drive speed keeps up (a 32-bit product would be 0).
  EXPECT_EQ(rm720_set_mpg(0, AXIS_Y, 16, 0x80000000u, 4000000, 2), ERROR_INVALID_MPG_SPEED);
}

TEST_F(StopsAndSettings, HandWheelDrivesRatioPulsesPerDetent) {
  ASSERT_EQ(rm720_set_mpg(0, AXIS_Z, 8, 10, 20000, 100), SUCCESS_NO_ERROR);
  probe_turn_hand_wheel(2, 3);
  run_until_idle(AXIS_Z);
  EXPECT_EQ(command_counter(AXIS_Z), 30);
  probe_turn_hand_wheel(2, -1);
  run_until_idle(AXIS_Z);
  EXPECT_EQ(command_counter(AXIS_Z), 20);
  ASSERT_EQ(rm720_set_mpg(0, AXIS_Z, 0, 10, 20000, 100), SUCCESS_NO_ERROR);
  probe_turn_hand_wheel(2, 5);
  run_until_idle(AXIS_Z);
  EXPECT_EQ(command_counter(AXIS_Z), 20) << "the wheel drove an axis it was switched off from";
}

// Each mode turned on the bench: pulses per detent (mode 8) or per edge of a
// detent (16, 24: two a detent), both directions, at the drive speed
// throughout; other moves of the axis are refused while it follows the wheel.
TEST_F(StopsAndSettings, HandWheelModesDrivePulsesPerDetentOrEdgeAtTheirSpeed) {
  struct Case {
    uint16_t mode;
    uint32_t ratio, speed;
    int32_t per_detent;
  };
  // A ratio beyond 16 bits is driven whole.
  for (const Case c : {Case{8, 10, 20000, 10}, Case{16, 7, 40000, 14}, Case{24, 3, 60000, 6},
                       Case{8, 70000, 2000000, 70000}}) {
    SCOPED_TRACE(c.mode);
    const int32_t start = command_counter(AXIS_Z);
    ASSERT_EQ(rm720_set_mpg(0, AXIS_Z, c.mode, c.ratio, c.speed, 1000), SUCCESS_NO_ERROR);
    EXPECT_EQ(rm720_t_move(0, AXIS_Z, 1000, 40000, 400000, 400000, 100, 0), ERROR_DRIVER_STATUS_801F);
    int32_t expected = start;
    for (const int64_t detents : {5, -2, 1}) {
      bench_turn_hand_wheel(0, 2, detents);
      run_until_idle(AXIS_Z);
      expected += static_cast<int32_t>(detents) * c.per_detent;
      EXPECT_EQ(command_counter(AXIS_Z), expected) << detents << " detents";
      const BenchDrive drive = bench_last_drive(0, 2);
      EXPECT_DOUBLE_EQ(drive.peak_speed, c.speed);
      EXPECT_DOUBLE_EQ(drive.final_speed, c.speed);
      EXPECT_NEAR(static_cast<double>(drive.ended_ns - drive.started_ns) * 1e-9,
                  std::abs(static_cast<double>(detents * c.per_detent)) / c.speed, 1e-6);
    }
    ASSERT_EQ(rm720_set_mpg(0, AXIS_Z, 0, 0, 0, 0), SUCCESS_NO_ERROR);
  }
  ASSERT_EQ(rm720_t_move(0, AXIS_Z, 1000, 40000, 400000, 400000, 100, 0), SUCCESS_NO_ERROR)
      << "out of hand-wheel mode the axis moves again";
  run_until_idle(AXIS_Z);
}

// A machine whose Z wheel the bench turns at 40 detents a second: in mode 16
// each detent drives twice the ratio, at the hand-wheel speed.
TEST(HandWheelMachine, AWheelTurningAtItsRateDrivesTheAxis) {
  OpenCardZero card(MANUAL_CLOCK + card_section(0, "A", 0) + "Z.HandWheelRate=40\n");
  ASSERT_EQ(rm720_set_mpg(0, AXIS_Z, 16, 5, 20000, 1000), SUCCESS_NO_ERROR);
  const int32_t start = command_counter(AXIS_Z);
  probe_advance_ns(1000000000);
  bench_turn_hand_wheel(0, 2, 0);  // let the last detent's pulses out
  run_until_idle(AXIS_Z);
  EXPECT_EQ(command_counter(AXIS_Z) - start, 40 * 5 * 2);
}

TEST_F(StopsAndSettings, TargetChangeEndsARunningMoveOnItsNewCount) {
  EXPECT_EQ(rm720_change_p(16, AXIS_Y, 100), ERROR_INVALID_CARD_ID);
  ASSERT_EQ(rm720_t_move(0, AXIS_Y, 1000, 50000, 500000, 500000, 100000, 0), SUCCESS_NO_ERROR);
  probe_advance_ns(1000 * STEP_NS);
  ASSERT_TRUE(probe_axis_busy(1));
  EXPECT_EQ(rm720_change_p(0, AXIS_Y, 30000), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_Y);
  EXPECT_EQ(command_counter(AXIS_Y), 30000);
}

}  // namespace

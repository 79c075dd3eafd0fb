// Single-axis moves end to end: export -> request block -> DeviceIoControl ->
// driver -> simulated chip, on a machine whose manual clock the test steps to
// time each drive. Pulse counts must be exact and durations within 1% of the
// profile that the library planned.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "card_options.h"
#include "card_table.h"
#include "manual_clock_card.h"
#include "move_probe.h"
#include "request.h"
#include "s_curve_profile.h"
#include "unit_conversion.h"

namespace {

constexpr uint64_t NS_PER_MS = 1000000;
constexpr uint64_t STEP_NS = NS_PER_MS / 10;
constexpr uint64_t LIMIT_NS = 10000 * NS_PER_MS;
constexpr double TOLERANCE = 0.01;
constexpr uint32_t S_CURVE_RANGE = 8000000;  // M = 1: a speed word is one PPS

class Moves : public testing::Test {
 protected:
  OpenCard card_{card_section(0, "A", 0)};

  // Runs the axes of the mask to their end; the duration of each from now, in seconds.
  static void run_to_end(unsigned axes, double seconds[4]) {
    const uint64_t start = probe_now_ns();
    uint64_t end_ns[4] = {};
    probe_run_until_idle(axes, STEP_NS, LIMIT_NS, end_ns);
    for (int axis = 0; axis < 4; ++axis) {
      ASSERT_FALSE((axes >> axis & 1) && end_ns[axis] == 0) << "axis " << axis << " never ended";
      seconds[axis] = (end_ns[axis] - start) / 1e9;
    }
  }
  static double run_one_to_end(int axis) {
    double seconds[4] = {};
    run_to_end(1u << axis, seconds);
    return seconds[axis];
  }
  static void advance_seconds(double seconds) {
    probe_advance_ns(static_cast<uint64_t>(seconds * 1e9));
  }
};

// Ideal T-curve that reaches v: ramps at a and d, the rest at v.
double t_curve_seconds(double sv, double v, double a, double d, double pulses) {
  const double ramp_pulses = (v * v - sv * sv) / (2 * a) + (v * v - sv * sv) / (2 * d);
  return (v - sv) / a + (v - sv) / d + (pulses - ramp_pulses) / v;
}

// A jerk-limited ramp between sv and v (no acceleration limit reached).
struct Ramp {
  double seconds, pulses;
};
Ramp s_ramp(double sv, double v, double jerk) {
  const double seconds = 2 * std::sqrt((v - sv) / jerk);
  return {seconds, (v + sv) / 2 * seconds};
}

// The chip's jerk of the word the library sends for `jerk` at M = 1.
double chip_jerk(uint32_t jerk) {
  uint16_t word = 0;
  EXPECT_TRUE(jerk_to_register(0, AXIS_X, jerk, &word));
  return 62500000.0 / word;
}

// The S-curve move that the library plans for axis X at M = 1: up at jerk to
// the peak speed, on to the deceleration point, down at the deceleration
// jerk, and the rest at the start speed.
double planned_s_seconds(uint32_t sv, uint32_t dv, uint32_t jerk, uint32_t decel_jerk,
                         uint32_t pulses) {
  const double peak = std::trunc(s_curve_peak_speed(sv, dv, jerk, decel_jerk, pulses, 0));
  uint16_t decel_jerk_word = 0;
  EXPECT_TRUE(jerk_to_register(0, AXIS_X, decel_jerk, &decel_jerk_word));
  const double decel_point =
      pulses - s_curve_accel_distance(sv, static_cast<uint16_t>(peak), decel_jerk_word, 1.0f);
  const Ramp up = s_ramp(sv, peak, chip_jerk(jerk));
  const Ramp down = s_ramp(sv, peak, chip_jerk(decel_jerk));
  const double rest = pulses - decel_point - down.pulses;
  return up.seconds + (decel_point - up.pulses) / peak + down.seconds + std::max(rest, 0.0) / sv;
}

TEST_F(Moves, SymmetricTMoveEndsOnItsCountAtTheTrapezoidsTime) {
  ASSERT_EQ(rm720_t_move(0, AXIS_X, 1000, 100000, 500000, 500000, 100000, 0), SUCCESS_NO_ERROR);
  const double seconds = run_one_to_end(0);
  EXPECT_EQ(probe_command_counter(0), 100000);
  EXPECT_NEAR(seconds, t_curve_seconds(1000, 100000, 500000, 500000, 100000),
              TOLERANCE * seconds);
}

TEST_F(Moves, AsymmetricTMoveDeceleratesAtItsOwnRate) {
  ASSERT_EQ(rm720_t_move(0, AXIS_Y, 1000, 100000, 500000, 250000, -100000, 0), SUCCESS_NO_ERROR);
  const double seconds = run_one_to_end(1);
  EXPECT_EQ(probe_command_counter(1), -100000);
  EXPECT_NEAR(seconds, t_curve_seconds(1000, 100000, 500000, 250000, 100000),
              TOLERANCE * seconds);
}

TEST_F(Moves, ConstantMoveRunsAtItsSpeedThroughout) {
  ASSERT_EQ(rm720_const_move(0, AXIS_Z, 50000, 25000), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_status1(2) & 0x1F, 0x05) << "driving at the drive speed from the start";
  const double seconds = run_one_to_end(2);
  EXPECT_EQ(probe_command_counter(2), 25000);
  EXPECT_NEAR(seconds, 0.5, TOLERANCE * 0.5);
}

TEST_F(Moves, VelocityMoveRunsUntilAStopRequestAndRampsDown) {
  ASSERT_EQ(rm720_velocity_move(0, AXIS_U, 1000, 100000, 500000, 0), SUCCESS_NO_ERROR);
  advance_seconds(0.5);
  EXPECT_TRUE(probe_axis_busy(3));
  DriverRequest stop{};
  preset_status(stop);
  put_u32(stop, SLOT_AXES, AXIS_U);
  put_u32(stop, STOP_MOVE_MODE, 0x26);  // decelerating stop
  ASSERT_TRUE(send_request(card_device(0), REQ_STOP_MOVE, stop));
  const double ramp_down = run_one_to_end(3);
  // Up 0.198 s over 9,999 pulses, 0.302 s at 100,000 PPS, down as up.
  const double ramp_seconds = 99000.0 / 500000;
  const double ramp_pulses = (100000.0 * 100000 - 1000.0 * 1000) / (2 * 500000);
  const double expected = 2 * ramp_pulses + (0.5 - ramp_seconds) * 100000;
  EXPECT_NEAR(probe_command_counter(3), -expected, 2);
  EXPECT_NEAR(ramp_down, ramp_seconds, TOLERANCE * ramp_seconds + STEP_NS / 1e9);
}

TEST_F(Moves, ARefusedDirectionIsReportedBeforeAnyConversion) {
  EXPECT_EQ(rm720_velocity_move(0, AXIS_X, 1000, 100000, 500000, 2), ERROR_INVALID_MOVE_DIRECTION);
  EXPECT_EQ(rm720_t_move(0, AXIS_X | AXIS_Y, 1000, 100000, 500000, 500000, 10, 0),
            ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(rm720_t_set_avtri(0, AXIS_X, 4), ERROR_INVALID_AVOID_TRIANGLE_CONFIG);
  EXPECT_EQ(rm720_t_set_avtri(0, AXIS_X, 8), SUCCESS_NO_ERROR);
}

TEST_F(Moves, TheProfileModeFollowsTheRates) {
  struct Case {
    uint32_t acc, dec;
    uint16_t mode;
  };
  for (const Case c : {Case{500000, 500000, 0}, Case{500000, 500001, 2}}) {
    ASSERT_EQ(rm720_t_move(0, AXIS_X, 1000, 100000, c.acc, c.dec, 0, 0), SUCCESS_NO_ERROR);
    EXPECT_EQ(probe_mode3(0) & 7, c.mode) << "acc " << c.acc << " dec " << c.dec;
    run_one_to_end(0);
    EXPECT_EQ(probe_command_counter(0), 0) << "a distance of 0 moves nothing";
  }
}

TEST_F(Moves, ZeroTimesGiveRatesThatAreRefused) {
  card_options.rates_as_times[0] = 1;
  EXPECT_EQ(rm720_t_move(0, AXIS_X, 1000, 100000, 0, 100, 1000, 0), ERROR_INVALID_ACCELERATION);
  EXPECT_EQ(rm720_t_move(0, AXIS_X, 1000, 100000, 100, 0, 1000, 0), ERROR_INVALID_DECELERATION);
  EXPECT_EQ(rm720_velocity_move(0, AXIS_X, 1000, 100000, 0, 1), ERROR_INVALID_ACCELERATION);
  EXPECT_EQ(rm720_s_move(0, AXIS_X, 1000, 100000, 0, 100, 1000, 0), ERROR_INVALID_JERK);
  EXPECT_FALSE(probe_axis_busy(0));
  // A drive speed below the start speed: the change is 1,000 PPS, not a
  // wrapped difference (10 ms give 100,000 PPS/s).
  EXPECT_EQ(rm720_velocity_move(0, AXIS_Y, 2000, 1000, 10, 1), SUCCESS_NO_ERROR);
  EXPECT_TRUE(probe_axis_busy(1));
}

TEST_F(Moves, ADecelerationJerkOfZeroIsTheJerk) {
  ASSERT_EQ(rm720_set_range(0, AXIS_X, S_CURVE_RANGE), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_s_move(0, AXIS_X, 2000, 8000, 1000000, 0, 20000, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_mode3(0) & 7, 4) << "the chip's own symmetric profile";
  const double seconds = run_one_to_end(0);
  const Ramp ramp = s_ramp(2000, 8000, chip_jerk(1000000));
  const double expected = 2 * ramp.seconds + (20000 - 2 * ramp.pulses) / 8000;
  EXPECT_NEAR(seconds, expected, TOLERANCE * expected) << "not a crawl at the start speed";
}

TEST_F(Moves, ABusyAxisRefusesASecondMove) {
  ASSERT_EQ(rm720_const_move(0, AXIS_X, 50000, 25000), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_t_move(0, AXIS_X, 1000, 100000, 500000, 500000, 100, 0),
            ERROR_MOTION_NOT_COMPLETE);
  run_one_to_end(0);
  EXPECT_EQ(probe_command_counter(0), 25000);
}

TEST_F(Moves, SymmetricSMoveIsTheChipsOwnProfile) {
  ASSERT_EQ(rm720_set_range(0, AXIS_X, S_CURVE_RANGE), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_s_move(0, AXIS_X, 2000, 8000, 1000000, 1000000, 20000, 0), SUCCESS_NO_ERROR);
  const double seconds = run_one_to_end(0);
  EXPECT_EQ(probe_command_counter(0), 20000);
  const Ramp ramp = s_ramp(2000, 8000, chip_jerk(1000000));
  const double expected = 2 * ramp.seconds + (20000 - 2 * ramp.pulses) / 8000;
  EXPECT_NEAR(seconds, expected, TOLERANCE * expected);
  EXPECT_EQ(card_table.cards[0].axes[0].motion.last_start_speed_word, 0)
      << "a symmetric move is not remembered for a speed change";
}

TEST_F(Moves, TheDecelerationPointOptionPlansEverySCurveMove) {
  card_options.s_curve_decel_point[0] = 1;
  ASSERT_EQ(rm720_set_range(0, AXIS_X, S_CURVE_RANGE), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_s_move(0, AXIS_X, 2000, 8000, 1000000, 1000000, 20000, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_mode3(0) & 7, 7);
  const double seconds = run_one_to_end(0);
  EXPECT_EQ(probe_command_counter(0), 20000);
  const double expected = planned_s_seconds(2000, 8000, 1000000, 1000000, 20000);
  EXPECT_NEAR(seconds, expected, TOLERANCE * expected);
  EXPECT_EQ(card_table.cards[0].axes[0].motion.last_drive_speed_word, 8000);
}

struct SMoveCase {
  const char *name;
  uint32_t sv, dv, jerk, decel_jerk;
  int32_t pulses;
};

class AsymmetricSMoves : public Moves, public testing::WithParamInterface<SMoveCase> {};

TEST_P(AsymmetricSMoves, EndOnTheirCountAtThePlannedTime) {
  const SMoveCase c = GetParam();
  ASSERT_EQ(rm720_set_range(0, AXIS_X, S_CURVE_RANGE), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_s_move(0, AXIS_X, c.sv, c.dv, c.jerk, c.decel_jerk, c.pulses, 0),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_mode3(0) & 7, 7) << "the deceleration point of the library";
  const double seconds = run_one_to_end(0);
  EXPECT_EQ(probe_command_counter(0), c.pulses);
  const double expected = planned_s_seconds(c.sv, c.dv, c.jerk, c.decel_jerk, std::abs(c.pulses));
  EXPECT_NEAR(seconds, expected, TOLERANCE * expected);
  EXPECT_EQ(card_table.cards[0].axes[0].motion.pulse_count, std::abs(c.pulses));
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, AsymmetricSMoves,
    testing::Values(SMoveCase{"Trapezoid", 2000, 8000, 1000000, 250000, 20000},
                    SMoveCase{"TrapezoidBackwards", 2000, 8000, 250000, 1000000, -20000},
                    SMoveCase{"Triangle", 2000, 8000, 1000000, 250000, 1500}),
    [](const testing::TestParamInfo<SMoveCase> &info) { return std::string(info.param.name); });

TEST_F(Moves, TMoveAllStartsItsAxesOnOneTickAndLeavesTheCallersArrays) {
  // Rates given as times: 198 ms from 1,000 to 100,000 PPS is 500,000 PPS/s.
  card_options.rates_as_times[0] = 1;
  const uint32_t sv[4] = {1000, 0, 1000, 0}, dv[4] = {100000, 0, 100000, 0};
  uint32_t acc[4] = {198, 0, 198, 0}, dec[4] = {198, 0, 198, 0};
  const int32_t pulses[4] = {50000, 0, -50000, 0};
  ASSERT_EQ(rm720_t_moveall(0, AXIS_X | AXIS_Z, sv, dv, acc, dec, pulses, nullptr),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(acc[0], 198u);
  EXPECT_EQ(dec[2], 198u);
  for (int step = 0; step < 5; ++step) {
    advance_seconds(0.0731);
    EXPECT_EQ(probe_command_counter(0), -probe_command_counter(2)) << "step " << step;
  }
  double seconds[4] = {};
  run_to_end(AXIS_X | AXIS_Z, seconds);
  EXPECT_EQ(probe_command_counter(0), 50000);
  EXPECT_EQ(probe_command_counter(2), -50000);
  EXPECT_EQ(seconds[0], seconds[2]);
  const double expected = t_curve_seconds(1000, 100000, 500000, 500000, 50000) - 5 * 0.0731;
  EXPECT_NEAR(seconds[0], expected, TOLERANCE * expected);
}

TEST_F(Moves, AnUnreadableArrayIsReportedBeforeAnythingMoves) {
  const uint32_t sv[4] = {1000, 1000, 0, 0}, dv[4] = {100000, 100000, 0, 0};
  const uint32_t acc[4] = {500000, 500000, 0, 0};
  const int32_t pulses[4] = {1000, 1000, 0, 0};
  EXPECT_EQ(rm720_t_moveall(0, AXIS_X | AXIS_Y, sv, dv, acc, nullptr, pulses, nullptr),
            ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(rm720_const_moveall(0, AXIS_X, dv, nullptr), ERROR_ACCESS_VIOLATION_DATA_COPY);
  probe_advance_ns(10 * NS_PER_MS);
  EXPECT_EQ(probe_command_counter(0), 0);
  EXPECT_EQ(rm720_t_moveall(0, AXIS_X | AXIS_Y, sv, dv, acc, acc, pulses, nullptr),
            SUCCESS_NO_ERROR)
      << "no axis was left held";
}

TEST_F(Moves, ConstMoveAllChecksItsMask) {
  const uint32_t dv[4] = {50000, 50000, 50000, 50000};
  const int32_t pulses[4] = {1000, 2000, 3000, 4000};
  EXPECT_EQ(rm720_const_moveall(0, 0, dv, pulses), ERROR_NO_VALID_AXIS_ASSIGNED);
  EXPECT_EQ(rm720_const_moveall(0, 0x10, dv, pulses), ERROR_NO_VALID_AXIS_ASSIGNED);
  ASSERT_EQ(rm720_const_moveall(0, AXIS_X | AXIS_Z, dv, pulses), SUCCESS_NO_ERROR);
  double seconds[4] = {};
  run_to_end(AXIS_X | AXIS_Z, seconds);
  EXPECT_EQ(probe_command_counter(0), 1000);
  EXPECT_EQ(probe_command_counter(1), 0);
  EXPECT_EQ(probe_command_counter(2), 3000);
}

TEST_F(Moves, SMoveAllHandsBackThePlannedSpeeds) {
  ASSERT_EQ(rm720_set_range(0, AXIS_X, S_CURVE_RANGE), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_range(0, AXIS_Y, S_CURVE_RANGE), SUCCESS_NO_ERROR);
  const uint32_t sv[4] = {2000, 2000, 0, 0}, jerk[4] = {1000000, 1000000, 0, 0};
  const uint32_t decel_jerk[4] = {250000, 250000, 0, 0};
  uint32_t dv[4] = {8000, 8000, 0, 0};
  const int32_t pulses[4] = {1500, 20000, 0, 0};
  ASSERT_EQ(rm720_s_moveall(0, AXIS_X | AXIS_Y, sv, dv, jerk, decel_jerk, pulses, nullptr),
            SUCCESS_NO_ERROR);
  EXPECT_LT(dv[0], 8000u) << "the short move's peak speed";
  EXPECT_EQ(dv[1], 8000u);
  // Planned with the jerks the chip runs (words 62 and 250 at M = 1), a few
  // words lower where the whole-pulse deceleration point needs the room.
  const auto peak = static_cast<uint32_t>(s_curve_peak_speed(2000, 8000, 62.5e6 / 62, 2.5e5, 1500, 0));
  EXPECT_LE(dv[0], peak);
  EXPECT_GE(dv[0], peak - 4);
  double seconds[4] = {};
  run_to_end(AXIS_X | AXIS_Y, seconds);
  EXPECT_EQ(probe_command_counter(0), 1500);
  EXPECT_EQ(probe_command_counter(1), 20000);
  EXPECT_NEAR(seconds[1], planned_s_seconds(2000, 8000, 1000000, 250000, 20000),
              TOLERANCE * seconds[1]);
}

TEST_F(Moves, TSpeedChangeOnlyAtConstantSpeed) {
  EXPECT_EQ(rm720_t_change_v(0, AXIS_X, 50000, 0, 0), ERROR_MOTION_IS_COMPLETED);
  ASSERT_EQ(rm720_t_move(0, AXIS_X, 1000, 100000, 500000, 500000, 100000, 0), SUCCESS_NO_ERROR);
  advance_seconds(0.1);
  EXPECT_EQ(rm720_t_change_v(0, AXIS_X, 50000, 0, 0), ERROR_NOT_CONSTANT_SPEED_IN_T_MOVE);
  advance_seconds(1.0);  // past 0.998 s: the ramp down began
  EXPECT_EQ(rm720_t_change_v(0, AXIS_X, 50000, 0, 0), ERROR_SPEED_CHANGE_FAIL_IN_ACC_DEC);
  run_one_to_end(0);
  EXPECT_EQ(probe_command_counter(0), 100000);

  ASSERT_EQ(rm720_t_move(0, AXIS_Y, 1000, 100000, 500000, 500000, 100000, 0), SUCCESS_NO_ERROR);
  advance_seconds(0.3);
  ASSERT_EQ(rm720_t_change_v(0, AXIS_Y, 50000, 0, 0), SUCCESS_NO_ERROR);
  const double rest = run_one_to_end(1);
  EXPECT_EQ(probe_command_counter(1), 100000);
  // At 0.3 s: 9,999 pulses up and 10,200 cruising; then down to 50,000 PPS
  // (7,500 pulses, 0.1 s), cruise, and down to 1,000 PPS (2,499 pulses, 0.098 s).
  const double cruise = (100000 - 9999 - 10200 - 7500 - 2499) / 50000.0;
  EXPECT_NEAR(rest, 0.1 + cruise + 0.098, TOLERANCE * rest);
}

TEST_F(Moves, TSpeedChangeRefusedInAnSCurve) {
  ASSERT_EQ(rm720_s_move(0, AXIS_X, 1000, 100000, 100000000, 100000000, 100000, 0),
            SUCCESS_NO_ERROR);
  advance_seconds(0.005);
  EXPECT_EQ(rm720_t_change_v(0, AXIS_X, 50000, 0, 0), ERROR_INVALID_OPERATION_IN_S_CURVE);
}

TEST_F(Moves, SSpeedChangeSlowsAPlannedMoveAtConstantSpeedOnly) {
  ASSERT_EQ(rm720_set_range(0, AXIS_X, S_CURVE_RANGE), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_s_change_v(0, AXIS_X, 5000, 0, 0), ERROR_INVALID_START_SPEED)
      << "no planned S-curve move yet";
  ASSERT_EQ(rm720_s_move(0, AXIS_X, 2000, 8000, 1000000, 250000, 40000, 0), SUCCESS_NO_ERROR);
  advance_seconds(0.02);
  EXPECT_EQ(rm720_s_change_v(0, AXIS_X, 5000, 0, 0), ERROR_SPEED_CHANGE_FAIL_IN_ACC_DEC);
  advance_seconds(1.0);
  EXPECT_EQ(rm720_s_change_v(0, AXIS_X, 9000, 0, 0), ERROR_INVALID_DRIVING_SPEED)
      << "only slower";
  ASSERT_EQ(rm720_s_change_v(0, AXIS_X, 5000, 0, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(card_table.cards[0].axes[0].motion.last_drive_speed_word, 5000);
  run_one_to_end(0);
  EXPECT_EQ(probe_command_counter(0), 40000);
}

TEST(MoveAllChecks, AnAxisAtItsLimitIsReportedAndNothingMoves) {
  OpenCard card(card_section(0, "A", 0) + "Y.LimitPlus=0\n");
  const uint32_t dv[4] = {50000, 50000, 0, 0};
  const int32_t toward_limit[4] = {1000, 1000, 0, 0};
  EXPECT_EQ(rm720_const_moveall(0, AXIS_X | AXIS_Y, dv, toward_limit), ERROR_OCCURS_IN_AXIS_Y);
  probe_advance_ns(10 * NS_PER_MS);
  EXPECT_EQ(probe_command_counter(0), 0);
  EXPECT_EQ(rm720_const_move(0, AXIS_Y, 50000, 1000), ERROR_OCCURS_IN_AXIS_Y);
  const int32_t away[4] = {1000, -1000, 0, 0};
  EXPECT_EQ(rm720_const_moveall(0, AXIS_X | AXIS_Y, dv, away), SUCCESS_NO_ERROR);
}

}  // namespace

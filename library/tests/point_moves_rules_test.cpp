// The single-axis velocity, constant-speed and T-curve moves and their
// several-axes forms, end to end on a manual clock: what each export refuses
// and in what order, and how the axis moves when it is accepted (exact pulse
// counts, durations in the chip's units, the axis back at its start speed).
// Built once per model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include <sys/mman.h>

#include "unit_range_card.h"

namespace {

// Card 0 with Z standing on its plus limit switch.
class PointMoves : public UnitRangeCard {
 protected:
  PointMoves() : UnitRangeCard("Z.LimitPlus=0\n") {}
  static std::int32_t speed(std::uint16_t axis) {
    std::int32_t value = -1;
    EXPECT_EQ(RM7X0_NAME(get_speed)(0, axis, &value), 0);
    return value;
  }
  static double run1(int index) {
    double s[4];
    std::uint64_t t0 = probe_now_ns();
    run(1u << index, t0, s);
    return s[index];
  }
};

// ---- refusals of the single-axis exports, in the order of their checks ----

struct Refusal {
  const char *name;
  std::uint8_t card;
  std::uint16_t axis;
  std::uint32_t sv, dv, acc, dec;
  ApiStatus want;
};

class TMoveRefusals : public PointMoves, public testing::WithParamInterface<Refusal> {};

TEST_P(TMoveRefusals, RefusedBeforeAnythingMoves) {
  const Refusal &c = GetParam();
  EXPECT_EQ(RM7X0_NAME(t_move)(c.card, c.axis, c.sv, c.dv, c.acc, c.dec, 1000, 0), c.want);
  probe_advance_ns(50 * MS);
  for (std::uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U}) EXPECT_EQ(counter(axis), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, TMoveRefusals,
    testing::Values(
        Refusal{"card16", 16, AXIS_X, 100, 1000, 10000, 10000, ERROR_INVALID_CARD_ID},
        Refusal{"closed_card", 3, AXIS_X, 100, 1000, 10000, 10000, ERROR_INVALID_CARD_ID},
        Refusal{"card_before_axis", 16, 0x10, 100, 1000, 10000, 10000, ERROR_INVALID_CARD_ID},
        Refusal{"two_axes", 0, 0x11, 100, 1000, 10000, 10000, ERROR_MULTI_AXES_ASSIGNED},
        Refusal{"axes_XY", 0, 3, 100, 1000, 10000, 10000, ERROR_MULTI_AXES_ASSIGNED},
        Refusal{"no_axis", 0, 0x10, 100, 1000, 10000, 10000, ERROR_NO_VALID_AXIS_ASSIGNED},
        Refusal{"axis_zero", 0, 0, 100, 1000, 10000, 10000, ERROR_NO_VALID_AXIS_ASSIGNED},
        Refusal{"axis_before_speeds", 0, 0, 0, 0, 0, 0, ERROR_NO_VALID_AXIS_ASSIGNED},
        Refusal{"dv_below_sv", 0, AXIS_X, 2000, 1999, 10000, 10000,
                ERROR_START_SPEED_EXCEED_DRIVING_SPEED},
        Refusal{"dv_below_sv_first", 0, AXIS_X, 9000, 8500, 0, 0,
                ERROR_START_SPEED_EXCEED_DRIVING_SPEED},
        Refusal{"sv_zero", 0, AXIS_X, 0, 1000, 10000, 10000, ERROR_INVALID_START_SPEED},
        Refusal{"sv_before_dv", 0, AXIS_X, 0, 9000, 0, 0, ERROR_INVALID_START_SPEED},
        Refusal{"dv_above_max", 0, AXIS_X, 100, 8001, 10000, 10000,
                ERROR_INVALID_DRIVING_SPEED},
        Refusal{"dv_before_acc", 0, AXIS_X, 100, 8001, 0, 0, ERROR_INVALID_DRIVING_SPEED},
        Refusal{"acc_below_min", 0, AXIS_X, 100, 1000, 124, 10000, ERROR_INVALID_ACCELERATION},
        Refusal{"acc_above_max", 0, AXIS_X, 100, 1000, 1000001, 10000,
                ERROR_INVALID_ACCELERATION},
        Refusal{"acc_before_dec", 0, AXIS_X, 100, 1000, 0, 0, ERROR_INVALID_ACCELERATION},
        Refusal{"dec_below_min", 0, AXIS_X, 100, 1000, 10000, 124, ERROR_INVALID_DECELERATION},
        Refusal{"dec_above_max", 0, AXIS_X, 100, 1000, 10000, 1000001,
                ERROR_INVALID_DECELERATION},
        Refusal{"dec_too_low_for_acc", 0, AXIS_X, 100, 8000, 100000, 150,
                ERROR_INVALID_DECELERATION},
        Refusal{"dec_at_quotient", 0, AXIS_X, 100, 8000, 100000, 200,
                ERROR_INVALID_DECELERATION}),
    [](const testing::TestParamInfo<Refusal> &info) { return std::string(info.param.name); });

TEST_F(PointMoves, LimitsAtBothEndsAreAccepted) {
  // SV at the speed minimum, DV at the maximum, rates at both ends.
  EXPECT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1, 8000, 1000000, 1000000, 10, 0), 0);
  EXPECT_EQ(RM7X0_NAME(t_move)(0, AXIS_Y, 8000, 8000, 125, 125, 10, 0), 0);
  // A deceleration just above the quotient 8,000 x 100,000 / 4,000,000.
  EXPECT_EQ(RM7X0_NAME(t_move)(0, AXIS_U, 100, 8000, 100000, 250, 10, 0), 0);
  double s[4];
  run(AXIS_X | AXIS_Y | AXIS_U, probe_now_ns(), s);
  EXPECT_EQ(counter(AXIS_X), 10);
  EXPECT_EQ(counter(AXIS_Y), 10);
  EXPECT_EQ(counter(AXIS_U), 10);
}

TEST_F(PointMoves, VelocityMoveChecks) {
  // The direction is tested before any conversion.
  EXPECT_EQ(RM7X0_NAME(velocity_move)(0, AXIS_X, 0, 0, 0, 2), ERROR_INVALID_MOVE_DIRECTION);
  EXPECT_EQ(RM7X0_NAME(velocity_move)(0, AXIS_X, 100, 1000, 10000, 255),
            ERROR_INVALID_MOVE_DIRECTION);
  EXPECT_EQ(RM7X0_NAME(velocity_move)(16, AXIS_X, 100, 1000, 10000, 2), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(RM7X0_NAME(velocity_move)(0, 0x10, 100, 1000, 10000, 2),
            ERROR_NO_VALID_AXIS_ASSIGNED);
  EXPECT_EQ(RM7X0_NAME(velocity_move)(0, AXIS_X, 0, 1000, 10000, 1), ERROR_INVALID_START_SPEED);
  EXPECT_EQ(RM7X0_NAME(velocity_move)(0, AXIS_X, 100, 8001, 10000, 1),
            ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(RM7X0_NAME(velocity_move)(0, AXIS_X, 100, 1000, 124, 1),
            ERROR_INVALID_ACCELERATION);
  probe_advance_ns(10 * MS);
  EXPECT_EQ(counter(AXIS_X), 0);
  EXPECT_FALSE(probe_axis_busy(0));
}

TEST_F(PointMoves, VelocityMoveRunsUntilStopped) {
  // Rises at the acceleration to DV (1,000 -> 5,000 at 100,000: 40 ms).
  ASSERT_EQ(RM7X0_NAME(velocity_move)(0, AXIS_X, 1000, 5000, 100000, 1), 0);
  probe_advance_ns(20 * MS);
  EXPECT_NEAR(speed(AXIS_X), 3000, 20);
  probe_advance_ns(80 * MS);
  EXPECT_EQ(speed(AXIS_X), 5000);
  probe_advance_ns(900 * MS);
  EXPECT_TRUE(probe_axis_busy(0));
  // 1 s: 120 pulses of ramp, then 0.96 s at 5,000.
  EXPECT_NEAR(counter(AXIS_X), 120 + 4800, 2);
  // The minus direction counts down.
  ASSERT_EQ(RM7X0_NAME(velocity_move)(0, AXIS_Y, 1000, 1000, 100000, 0), 0);
  probe_advance_ns(100 * MS);
  EXPECT_NEAR(counter(AXIS_Y), -100, 1);
  EXPECT_EQ(RM7X0_NAME(stop_move)(0, AXIS_X, 0x26), 0);
  EXPECT_EQ(RM7X0_NAME(stop_move)(0, AXIS_Y, 0x26), 0);
  double s[4];
  run(AXIS_X | AXIS_Y, probe_now_ns(), s);
  std::uint8_t done = 0;
  std::int16_t state = 0;
  EXPECT_EQ(RM7X0_NAME(motion_done)(0, AXIS_X, &done, &state), 0);
  EXPECT_EQ(done, 1);
}

TEST_F(PointMoves, VelocityMoveDoesNotCompareDriveWithStartSpeed) {
  // Kind 1 takes DV below SV: the axis drives at a constant speed.
  ASSERT_EQ(RM7X0_NAME(velocity_move)(0, AXIS_X, 2000, 1000, 100000, 1), 0);
  probe_advance_ns(100 * MS);
  EXPECT_TRUE(probe_axis_busy(0));
  EXPECT_GT(counter(AXIS_X), 0);
  EXPECT_EQ(RM7X0_NAME(stop_move)(0, AXIS_X, 0x27), 0);
}

TEST_F(PointMoves, ConstMoveChecksAndRuns) {
  EXPECT_EQ(RM7X0_NAME(const_move)(16, AXIS_X, 1000, 100), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(RM7X0_NAME(const_move)(0, 0x11, 1000, 100), ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(RM7X0_NAME(const_move)(0, AXIS_X, 0, 100), ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(RM7X0_NAME(const_move)(0, AXIS_X, 8001, 100), ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(counter(AXIS_X), 0);
  // 2,000 pulses at 4,000 PPS: 0.5 s, plus and minus.
  ASSERT_EQ(RM7X0_NAME(const_move)(0, AXIS_X, 4000, 2000), 0);
  EXPECT_DURATION(run1(0), 0.5);
  EXPECT_EQ(counter(AXIS_X), 2000);
  ASSERT_EQ(RM7X0_NAME(const_move)(0, AXIS_Y, 8000, -4000), 0);
  EXPECT_DURATION(run1(1), 0.5);
  EXPECT_EQ(counter(AXIS_Y), -4000);
  // One pulse at the speed minimum takes one second.
  ASSERT_EQ(RM7X0_NAME(const_move)(0, AXIS_U, 1, 1), 0);
  EXPECT_DURATION(run1(3), 1.0);
  EXPECT_EQ(counter(AXIS_U), 1);
}

// ---- T-curve moves: pulses, durations, the end at the start speed ----

struct TCase {
  const char *name;
  std::uint32_t sv, dv, acc, dec;
  std::int32_t pulses;
  std::int16_t ao;
  double seconds;
};

class TMoves : public PointMoves, public testing::WithParamInterface<TCase> {};

TEST_P(TMoves, EndsOnItsPulseCountInItsTime) {
  const TCase &c = GetParam();
  std::uint64_t t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, c.sv, c.dv, c.acc, c.dec, c.pulses, c.ao), 0);
  double s[4];
  run(AXIS_X, t0, s);
  EXPECT_DURATION(s[0], c.seconds);
  EXPECT_EQ(counter(AXIS_X), c.pulses);
  EXPECT_FALSE(probe_axis_busy(0));
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, TMoves,
    testing::Values(
        TCase{"symmetric", 1000, 5000, 100000, 100000, 10000, 0,
              t_curve_s(10000, 1000, 5000, 100000, 100000)},
        TCase{"symmetric_minus", 1000, 5000, 100000, 100000, -10000, 0,
              t_curve_s(10000, 1000, 5000, 100000, 100000)},
        TCase{"asymmetric", 1000, 5000, 100000, 50000, 10000, 0,
              t_curve_s(10000, 1000, 5000, 100000, 50000)},
        TCase{"acc_1000_dec_1001", 1000, 2000, 1000, 1001, 5000, 0,
              t_curve_s(5000, 1000, 2000, 1000, 1001)},
        TCase{"slow_dec", 1000, 5000, 200000, 20000, -20000, 0,
              t_curve_s(20000, 1000, 5000, 200000, 20000)},
        TCase{"offset_100", 1000, 5000, 100000, 100000, 10000, 100,
              t_curve_s(9900, 1000, 5000, 100000, 100000) + 0.1},
        TCase{"sv_equals_dv", 3000, 3000, 100000, 100000, 6000, 0, 2.0},
        TCase{"zero_distance", 1000, 5000, 100000, 100000, 0, 0, 0.0}),
    [](const testing::TestParamInfo<TCase> &info) { return std::string(info.param.name); });

TEST_F(PointMoves, NegativeOffsetStillEndsOnThePulseCount) {
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 5000, 100000, 100000, 3000, -1), 0);
  double s = run1(0);
  EXPECT_LE(s, t_curve_s(3000, 1000, 5000, 100000, 100000) + 0.0003);
  EXPECT_EQ(counter(AXIS_X), 3000);
}

TEST_F(PointMoves, TMoveComesBackToTheStartSpeedAtItsLastPulse) {
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 5000, 100000, 100000, 2000, 0), 0);
  std::int32_t last_speed = -1, top = 0;
  for (int i = 0; i < 2000 && probe_axis_busy(0); ++i) {
    std::int32_t v = speed(AXIS_X);
    if (probe_axis_busy(0)) last_speed = v;
    if (v > top) top = v;
    probe_advance_ns(MS / 2);
  }
  EXPECT_FALSE(probe_axis_busy(0));
  EXPECT_EQ(top, 5000);
  // Within half a millisecond of the end: at most SV + 0.5 ms x DEC.
  EXPECT_GE(last_speed, 1000);
  EXPECT_LE(last_speed, 1050);
  EXPECT_EQ(counter(AXIS_X), 2000);
}

TEST_F(PointMoves, ZeroDistanceMovesNothing) {
  EXPECT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 5000, 100000, 100000, 0, 0), 0);
  EXPECT_EQ(RM7X0_NAME(const_move)(0, AXIS_Y, 1000, 0), 0);
  probe_advance_ns(10 * MS);
  EXPECT_EQ(counter(AXIS_X), 0);
  EXPECT_EQ(counter(AXIS_Y), 0);
  EXPECT_FALSE(probe_axis_busy(0));
  EXPECT_FALSE(probe_axis_busy(1));
}

TEST_F(PointMoves, TriangleAvoidance) {
  EXPECT_EQ(RM7X0_NAME(t_set_avtri)(0, AXIS_X, 4), ERROR_INVALID_AVOID_TRIANGLE_CONFIG);
  EXPECT_EQ(RM7X0_NAME(t_set_avtri)(0, AXIS_X, 1), ERROR_INVALID_AVOID_TRIANGLE_CONFIG);
  EXPECT_EQ(RM7X0_NAME(t_set_avtri)(16, AXIS_X, 8), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(RM7X0_NAME(t_set_avtri)(0, 0x10, 8), ERROR_NO_VALID_AXIS_ASSIGNED);
  EXPECT_EQ(RM7X0_NAME(t_set_avtri)(0, 0x11, 8), ERROR_MULTI_AXES_ASSIGNED);
  // Off: 200 pulses peak where the ramps meet, V^2 = SV^2 + 2 A x 100.
  double v_off = std::sqrt(1e6 + 2e5 * 100);
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 8000, 100000, 100000, 200, 0), 0);
  EXPECT_DURATION(run1(0), 2 * (v_off - 1000) / 1e5);
  EXPECT_EQ(counter(AXIS_X), 200);
  // On: the ramps fill half of the distance, the other half at that speed.
  ASSERT_EQ(RM7X0_NAME(t_set_avtri)(0, AXIS_X, 8), 0);
  double v_on = std::sqrt(1e6 + 2e5 * 50);
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 8000, 100000, 100000, 200, 0), 0);
  EXPECT_DURATION(run1(0), 2 * (v_on - 1000) / 1e5 + 100 / v_on);
  EXPECT_EQ(counter(AXIS_X), 400);
  // And off again.
  ASSERT_EQ(RM7X0_NAME(t_set_avtri)(0, AXIS_X, 0), 0);
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 8000, 100000, 100000, -200, 0), 0);
  EXPECT_DURATION(run1(0), 2 * (v_off - 1000) / 1e5);
  EXPECT_EQ(counter(AXIS_X), 200);
}

TEST_F(PointMoves, ChangeOfDriveSpeedChecks) {
  EXPECT_EQ(RM7X0_NAME(t_change_v)(16, AXIS_X, 1000, 0, 0), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(RM7X0_NAME(t_change_v)(0, 0x11, 1000, 0, 0), ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(RM7X0_NAME(t_change_v)(0, AXIS_X, 0, 0, 0), ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(RM7X0_NAME(t_change_v)(0, AXIS_X, 8001, 0, 0), ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(RM7X0_NAME(t_change_v)(0, AXIS_X, 1000, 124, 0), ERROR_INVALID_ACCELERATION);
  EXPECT_EQ(RM7X0_NAME(t_change_v)(0, AXIS_X, 1000, 0, 124), ERROR_INVALID_DECELERATION);
  EXPECT_EQ(RM7X0_NAME(t_change_v)(0, AXIS_X, 1000, 1000001, 124), ERROR_INVALID_ACCELERATION);
}

TEST_F(PointMoves, ChangeOfDriveSpeedOnTheFly) {
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 5000, 100000, 100000, 20000, 0), 0);
  probe_advance_ns(200 * MS);
  ASSERT_EQ(speed(AXIS_X), 5000);
  // Rates 0: the move's own rates stay (5,000 -> 3,000 at 100,000: 20 ms).
  ASSERT_EQ(RM7X0_NAME(t_change_v)(0, AXIS_X, 3000, 0, 0), 0);
  probe_advance_ns(10 * MS);
  EXPECT_NEAR(speed(AXIS_X), 4000, 20);
  probe_advance_ns(20 * MS);
  EXPECT_EQ(speed(AXIS_X), 3000);
  // Up again with a rate of its own (3,000 -> 7,000 at 400,000: 10 ms).
  ASSERT_EQ(RM7X0_NAME(t_change_v)(0, AXIS_X, 7000, 400000, 0), 0);
  probe_advance_ns(5 * MS);
  EXPECT_NEAR(speed(AXIS_X), 5000, 20);
  probe_advance_ns(10 * MS);
  EXPECT_EQ(speed(AXIS_X), 7000);
  double s[4];
  run(AXIS_X, probe_now_ns(), s);
  EXPECT_EQ(counter(AXIS_X), 20000);
}

// ---- the several-axes forms ----

TEST_F(PointMoves, MoveAllMaskAndCardOrder) {
  std::uint32_t dv[4] = {1000, 1000, 1000, 1000};
  std::int32_t pulses[4] = {100, 100, 100, 100};
  std::uint32_t sv[4] = {100, 100, 100, 100}, acc[4] = {10000, 10000, 10000, 10000};
  for (std::uint16_t mask : {0x0, 0x10, 0x15, 0x8000}) {
    EXPECT_EQ(RM7X0_NAME(const_moveall)(0, mask, dv, pulses), ERROR_NO_VALID_AXIS_ASSIGNED)
        << mask;
    EXPECT_EQ(RM7X0_NAME(t_moveall)(0, mask, sv, dv, acc, acc, pulses, nullptr),
              ERROR_NO_VALID_AXIS_ASSIGNED)
        << mask;
    // The mask is looked at before the card.
    EXPECT_EQ(RM7X0_NAME(const_moveall)(16, mask, dv, pulses), ERROR_NO_VALID_AXIS_ASSIGNED);
  }
  EXPECT_EQ(RM7X0_NAME(const_moveall)(16, 5, dv, pulses), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(RM7X0_NAME(t_moveall)(3, 5, sv, dv, acc, acc, pulses, nullptr),
            ERROR_INVALID_CARD_ID);
  probe_advance_ns(10 * MS);
  for (std::uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U}) EXPECT_EQ(counter(axis), 0);
}

TEST_F(PointMoves, ConstMoveAllStartsTheMaskedAxesTogether) {
  // Y and U entries are not read: their speeds would be refused.
  std::uint32_t dv[4] = {4000, 0, 2000, 99999};
  std::int32_t pulses[4] = {2000, 5, -1000, 5};
  std::uint64_t t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(const_moveall)(0, AXIS_X | AXIS_U, dv, pulses),
            ERROR_INVALID_DRIVING_SPEED);
  dv[3] = 1000;
  // X plus, and U: 5 pulses at 1,000.
  ASSERT_EQ(RM7X0_NAME(const_moveall)(0, AXIS_X | AXIS_U, dv, pulses), 0);
  EXPECT_TRUE(probe_axis_busy(0));
  EXPECT_TRUE(probe_axis_busy(3));
  EXPECT_FALSE(probe_axis_busy(1));
  double s[4];
  run(AXIS_X | AXIS_U, t0, s);
  EXPECT_DURATION(s[0], 0.5);
  EXPECT_DURATION(s[3], 0.005);
  EXPECT_EQ(counter(AXIS_X), 2000);
  EXPECT_EQ(counter(AXIS_U), 5);
  EXPECT_EQ(counter(AXIS_Y), 0);
}

TEST_F(PointMoves, ConstMoveAllRefusesOnTheFirstBadAxisAndSendsNothing) {
  std::uint32_t dv[4] = {4000, 8001, 2000, 1000};
  std::int32_t pulses[4] = {2000, 100, -1000, 5};
  EXPECT_EQ(RM7X0_NAME(const_moveall)(0, AXIS_X | AXIS_Y | AXIS_U, dv, pulses),
            ERROR_INVALID_DRIVING_SPEED);
  probe_advance_ns(10 * MS);
  for (std::uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U}) EXPECT_EQ(counter(axis), 0);
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(probe_axis_busy(i));
  // The axes are not left held: a single move starts at once.
  ASSERT_EQ(RM7X0_NAME(const_move)(0, AXIS_X, 1000, 10), 0);
  EXPECT_DURATION(run1(0), 0.01);
  EXPECT_EQ(counter(AXIS_X), 10);
}

TEST_F(PointMoves, TMoveAllTogetherWithOffsetsAbsentOrGiven) {
  std::uint32_t sv[4] = {1000, 1000, 0, 1000}, dv[4] = {5000, 5000, 0, 5000};
  std::uint32_t acc[4] = {100000, 100000, 0, 100000}, dec[4] = {100000, 50000, 0, 100000};
  std::int32_t pulses[4] = {10000, -10000, 0, 10000};
  std::uint64_t t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(t_moveall)(0, AXIS_X | AXIS_Y | AXIS_U, sv, dv, acc, dec, pulses,
                                  nullptr),
            0);
  double s[4];
  run(AXIS_X | AXIS_Y | AXIS_U, t0, s);
  EXPECT_DURATION(s[0], t_curve_s(10000, 1000, 5000, 100000, 100000));
  EXPECT_DURATION(s[1], t_curve_s(10000, 1000, 5000, 100000, 50000));
  EXPECT_DURATION(s[3], t_curve_s(10000, 1000, 5000, 100000, 100000));
  EXPECT_EQ(counter(AXIS_X), 10000);
  EXPECT_EQ(counter(AXIS_Y), -10000);
  EXPECT_EQ(counter(AXIS_U), 10000);
  // With offsets: X 100 pulses at the start speed, U none.
  std::int16_t ao[4] = {100, 0, 0, 0};
  t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(t_moveall)(0, AXIS_X | AXIS_U, sv, dv, acc, dec, pulses, ao), 0);
  run(AXIS_X | AXIS_U, t0, s);
  EXPECT_DURATION(s[0], t_curve_s(9900, 1000, 5000, 100000, 100000) + 0.1);
  EXPECT_DURATION(s[3], t_curve_s(10000, 1000, 5000, 100000, 100000));
  EXPECT_EQ(counter(AXIS_X), 20000);
  EXPECT_EQ(counter(AXIS_U), 20000);
}

struct AllRefusal {
  const char *name;
  std::uint32_t y_sv, y_dv, y_acc, y_dec;
  ApiStatus want;
};

class TMoveAllRefusals : public PointMoves, public testing::WithParamInterface<AllRefusal> {};

TEST_P(TMoveAllRefusals, TheFirstBadAxisEndsItBeforeAnythingIsSent) {
  const AllRefusal &c = GetParam();
  // X is good and comes first; Y fails; U would fail with another code.
  std::uint32_t sv[4] = {1000, c.y_sv, 0, 0}, dv[4] = {5000, c.y_dv, 0, 0};
  std::uint32_t acc[4] = {100000, c.y_acc, 0, 0}, dec[4] = {100000, c.y_dec, 0, 0};
  std::int32_t pulses[4] = {1000, 1000, 0, 1000};
  EXPECT_EQ(RM7X0_NAME(t_moveall)(0, AXIS_X | AXIS_Y | AXIS_U, sv, dv, acc, dec, pulses,
                                  nullptr),
            c.want);
  probe_advance_ns(50 * MS);
  for (std::uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U}) EXPECT_EQ(counter(axis), 0);
}

INSTANTIATE_TEST_SUITE_P(
    PerAxis, TMoveAllRefusals,
    testing::Values(
        AllRefusal{"dv_below_sv", 2000, 1000, 100000, 100000,
                   ERROR_START_SPEED_EXCEED_DRIVING_SPEED},
        AllRefusal{"sv", 0, 1000, 100000, 100000, ERROR_INVALID_START_SPEED},
        AllRefusal{"dv", 100, 8001, 100000, 100000, ERROR_INVALID_DRIVING_SPEED},
        AllRefusal{"acc", 100, 1000, 100, 100000, ERROR_INVALID_ACCELERATION},
        AllRefusal{"dec", 100, 1000, 100000, 100, ERROR_INVALID_DECELERATION}),
    [](const testing::TestParamInfo<AllRefusal> &info) { return std::string(info.param.name); });

TEST_F(PointMoves, MoveAllTowardAnActiveLimitChangesNothing) {
  // Z stands on its plus limit: a plus move of X and Z is refused whole.
  std::uint32_t dv[4] = {1000, 1000, 1000, 1000};
  std::int32_t pulses[4] = {100, 0, 100, 0};
  ApiStatus status = RM7X0_NAME(const_moveall)(0, AXIS_X | AXIS_Z, dv, pulses);
  EXPECT_LE(status, ERROR_OCCURS_IN_AXIS_X);
  EXPECT_GE(status, ERROR_OCCURS_IN_AXIS_XYZU);
  std::uint32_t sv[4] = {100, 100, 100, 100}, acc[4] = {10000, 10000, 10000, 10000};
  status = RM7X0_NAME(t_moveall)(0, AXIS_X | AXIS_Z, sv, dv, acc, acc, pulses, nullptr);
  EXPECT_LE(status, ERROR_OCCURS_IN_AXIS_X);
  EXPECT_GE(status, ERROR_OCCURS_IN_AXIS_XYZU);
  probe_advance_ns(200 * MS);
  EXPECT_EQ(counter(AXIS_X), 0);
  EXPECT_EQ(counter(AXIS_Z), 0);
  // Off the limit is allowed, and nothing was left held.
  pulses[2] = -100;
  std::uint64_t t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(const_moveall)(0, AXIS_X | AXIS_Z, dv, pulses), 0);
  double s[4];
  run(AXIS_X | AXIS_Z, t0, s);
  EXPECT_DURATION(s[0], 0.1);
  EXPECT_DURATION(s[2], 0.1);
  EXPECT_EQ(counter(AXIS_X), 100);
  EXPECT_EQ(counter(AXIS_Z), -100);
}

TEST_F(PointMoves, ZeroDistanceCountsAsThePlusDirection) {
  // Z stands on its plus limit: a move of 0 pulses is a plus move there.
  std::uint32_t dv[4] = {1000, 1000, 1000, 1000};
  std::int32_t pulses[4] = {0, 0, 0, 0};
  ApiStatus status = RM7X0_NAME(const_moveall)(0, AXIS_Z, dv, pulses);
  EXPECT_LE(status, ERROR_OCCURS_IN_AXIS_X);
  EXPECT_GE(status, ERROR_OCCURS_IN_AXIS_XYZU);
  std::uint32_t sv[4] = {100, 100, 100, 100}, acc[4] = {10000, 10000, 10000, 10000};
  status = RM7X0_NAME(t_moveall)(0, AXIS_Z, sv, dv, acc, acc, pulses, nullptr);
  EXPECT_LE(status, ERROR_OCCURS_IN_AXIS_X);
  EXPECT_GE(status, ERROR_OCCURS_IN_AXIS_XYZU);
  // Elsewhere a move of 0 pulses is accepted and moves nothing.
  EXPECT_EQ(RM7X0_NAME(const_moveall)(0, AXIS_X | AXIS_Y, dv, pulses), 0);
  EXPECT_EQ(RM7X0_NAME(t_moveall)(0, AXIS_U, sv, dv, acc, acc, pulses, nullptr), 0);
  probe_advance_ns(20 * MS);
  for (std::uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U}) EXPECT_EQ(counter(axis), 0);
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(probe_axis_busy(i));
}

TEST_F(PointMoves, TriangleSettingIsAnsweredWithoutItsReply) {
  // Set while the axis drives: 0 whenever the request was delivered.
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 5000, 100000, 100000, 3000, 0), 0);
  probe_advance_ns(10 * MS);
  EXPECT_EQ(RM7X0_NAME(t_set_avtri)(0, AXIS_X, 8), 0);
  EXPECT_EQ(RM7X0_NAME(t_set_avtri)(0, AXIS_X, 0), 0);
  double s[4];
  run(AXIS_X, probe_now_ns(), s);
  EXPECT_EQ(counter(AXIS_X), 3000);
}

TEST_F(PointMoves, MoveAllConvertsEveryAxisBeforeTheMoveCheck) {
  // Z toward its active limit, X with a bad speed: the speed is found first.
  std::uint32_t dv[4] = {8001, 0, 1000, 0};
  std::int32_t pulses[4] = {100, 0, 100, 0};
  EXPECT_EQ(RM7X0_NAME(const_moveall)(0, AXIS_X | AXIS_Z, dv, pulses),
            ERROR_INVALID_DRIVING_SPEED);
  std::uint32_t sv[4] = {100, 0, 100, 0}, acc[4] = {10000, 0, 10000, 0};
  std::uint32_t bad_acc[4] = {10000, 0, 1, 0};
  dv[0] = 1000;
  EXPECT_EQ(RM7X0_NAME(t_moveall)(0, AXIS_X | AXIS_Z, sv, dv, bad_acc, acc, pulses, nullptr),
            ERROR_INVALID_ACCELERATION);
  probe_advance_ns(20 * MS);
  EXPECT_EQ(counter(AXIS_X), 0);
}

// Two pages, the second unreadable: arrays that end where the first ends.
class FaultingArrays {
 public:
  FaultingArrays() {
    base_ = static_cast<char *>(
        mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    EXPECT_NE(base_, MAP_FAILED);
    EXPECT_EQ(mprotect(base_ + 4096, 4096, PROT_NONE), 0);
  }
  ~FaultingArrays() { munmap(base_, 8192); }
  // An array of four whose entries from `readable` on are unreadable; the
  // readable ones hold `value`.
  template <typename T>
  const T *array(int readable, T value) {
    T *a = reinterpret_cast<T *>(base_ + 4096) - readable;
    for (int i = 0; i < readable; ++i) a[i] = value;
    return a;
  }

 private:
  char *base_;
};

TEST_F(PointMoves, UnreadableArraysAreRefusedBeforeAnythingIsSent) {
  FaultingArrays pages;
  const std::uint32_t sv[4] = {1000, 1000, 1000, 1000}, dv[4] = {5000, 5000, 5000, 5000};
  const std::uint32_t acc[4] = {100000, 100000, 100000, 100000};
  const std::int32_t pulses[4] = {100, 100, 100, 100};
  const std::int16_t ao[4] = {0, 0, 0, 0};
  for (int readable : {0, 1, 3}) {
    SCOPED_TRACE(readable);
    // X's entries readable from 1 on; U's (index 3) unreadable from 3 on.
    const std::uint16_t mask = AXIS_X | AXIS_U;
    EXPECT_EQ(RM7X0_NAME(const_moveall)(0, mask, pages.array<std::uint32_t>(readable, 5000),
                                        pulses),
              ERROR_ACCESS_VIOLATION_DATA_COPY);
    EXPECT_EQ(RM7X0_NAME(const_moveall)(0, mask, dv, pages.array<std::int32_t>(readable, 100)),
              ERROR_ACCESS_VIOLATION_DATA_COPY);
    EXPECT_EQ(RM7X0_NAME(t_moveall)(0, mask, pages.array<std::uint32_t>(readable, 1000), dv, acc,
                                    acc, pulses, ao),
              ERROR_ACCESS_VIOLATION_DATA_COPY);
    EXPECT_EQ(RM7X0_NAME(t_moveall)(0, mask, sv, pages.array<std::uint32_t>(readable, 5000), acc,
                                    acc, pulses, ao),
              ERROR_ACCESS_VIOLATION_DATA_COPY);
    EXPECT_EQ(RM7X0_NAME(t_moveall)(0, mask, sv, dv, pages.array<std::uint32_t>(readable, 100000),
                                    acc, pulses, ao),
              ERROR_ACCESS_VIOLATION_DATA_COPY);
    EXPECT_EQ(RM7X0_NAME(t_moveall)(0, mask, sv, dv, acc,
                                    pages.array<std::uint32_t>(readable, 100000), pulses, ao),
              ERROR_ACCESS_VIOLATION_DATA_COPY);
    EXPECT_EQ(RM7X0_NAME(t_moveall)(0, mask, sv, dv, acc, acc,
                                    pages.array<std::int32_t>(readable, 100), ao),
              ERROR_ACCESS_VIOLATION_DATA_COPY);
    EXPECT_EQ(RM7X0_NAME(t_moveall)(0, mask, sv, dv, acc, acc, pulses,
                                    pages.array<std::int16_t>(readable, 0)),
              ERROR_ACCESS_VIOLATION_DATA_COPY);
  }
  probe_advance_ns(20 * MS);
  for (std::uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U}) EXPECT_EQ(counter(axis), 0);
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(probe_axis_busy(i));
  // Entries of axes outside the mask are not read: X alone runs from arrays
  // whose other entries are unreadable.
  const std::uint32_t slow[4] = {1000, 0, 0, 0};
  const std::int32_t ten[4] = {10, 0, 0, 0};
  ASSERT_EQ(RM7X0_NAME(const_moveall)(0, AXIS_X, slow, pages.array<std::int32_t>(1, 10)), 0);
  EXPECT_DURATION(run1(0), 0.01);
  ASSERT_EQ(RM7X0_NAME(const_moveall)(0, AXIS_X, pages.array<std::uint32_t>(1, 1000), ten), 0);
  EXPECT_DURATION(run1(0), 0.01);
  EXPECT_EQ(counter(AXIS_X), 20);
}

// ---- the chip's units at other speed ranges ----

TEST_F(PointMoves, SpeedsAndRatesRunAsTheirTruncatedWords) {
  // Range 16,000 (M = 500): 12,345 PPS is word 24, 12,000 PPS.
  ASSERT_EQ(RM7X0_NAME(set_range)(0, AXIS_X, 16000), 0);
  ASSERT_EQ(RM7X0_NAME(const_move)(0, AXIS_X, 12345, 12000), 0);
  EXPECT_DURATION(run1(0), 1.0);
  // 100,000 PPS/s is word 1, 62,500 PPS/s; 1,000 and 50,000 PPS are exact.
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 50000, 100000, 100000, -100000, 0), 0);
  EXPECT_DURATION(run1(0), t_curve_s(100000, 1000, 50000, 62500, 62500));
  EXPECT_EQ(counter(AXIS_X), 12000 - 100000);
  // Range 30,000 (M = 266.67): 1,000 PPS is word 3, 800 PPS.
  ASSERT_EQ(RM7X0_NAME(set_range)(0, AXIS_Y, 30000), 0);
  ASSERT_EQ(RM7X0_NAME(const_move)(0, AXIS_Y, 1000, 800), 0);
  EXPECT_DURATION(run1(1), 1.0);
  EXPECT_EQ(counter(AXIS_Y), 800);
}

TEST_F(PointMoves, LimitsOfRange16000) {
  ASSERT_EQ(RM7X0_NAME(set_range)(0, AXIS_X, 16000), 0);
  // Speeds 500 .. 4,000,000, rates 62,500 .. 500,000,000.
  EXPECT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 499, 1000, 62500, 62500, 10, 0),
            ERROR_INVALID_START_SPEED);
  EXPECT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 500, 4000001, 62500, 62500, 10, 0),
            ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 500, 1000, 62499, 62500, 10, 0),
            ERROR_INVALID_ACCELERATION);
  EXPECT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 500, 1000, 500000001, 500000000, 10, 0),
            ERROR_INVALID_ACCELERATION);
  EXPECT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 500, 1000, 62500, 62499, 10, 0),
            ERROR_INVALID_DECELERATION);
  EXPECT_EQ(RM7X0_NAME(const_move)(0, AXIS_X, 499, 10), ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(RM7X0_NAME(velocity_move)(0, AXIS_X, 500, 4000001, 62500, 0),
            ERROR_INVALID_DRIVING_SPEED);
  // The product 4,000,000 x 2,000,000 is not cut to 32 bits: 2,000,000 >= 1,000,000.
  EXPECT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 500, 4000000, 2000000, 1000000, 10, 0),
            ERROR_INVALID_DECELERATION);
  probe_advance_ns(10 * MS);
  EXPECT_EQ(counter(AXIS_X), 0);
  // Both ends accepted.
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 500, 4000000, 500000000, 500000000, 40000, 0), 0);
  double s[4];
  run(AXIS_X, probe_now_ns(), s);
  EXPECT_EQ(counter(AXIS_X), 40000);
}

TEST_F(PointMoves, ClampedSpeedsRunAtTheLimit) {
  ASSERT_EQ(RM7X0_NAME(set_range)(0, AXIS_X, 16000), 0);
  ASSERT_EQ(RM7X0_NAME(set_customization)(0, 2, 1), 0);
  // 499 PPS becomes 500: 500 pulses in one second.
  ASSERT_EQ(RM7X0_NAME(const_move)(0, AXIS_X, 499, 500), 0);
  EXPECT_DURATION(run1(0), 1.0);
  // At range 8,000,000 a drive speed of 9,000 becomes 8,000.
  ASSERT_EQ(RM7X0_NAME(const_move)(0, AXIS_Y, 9000, -8000), 0);
  EXPECT_DURATION(run1(1), 1.0);
  // And an acceleration of 1 becomes 125 PPS/s.
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_U, 1000, 1010, 1, 1, 1000, 0), 0);
  EXPECT_DURATION(run1(3), t_curve_s(1000, 1000, 1010, 125, 125));
  EXPECT_EQ(counter(AXIS_X), 500);
  EXPECT_EQ(counter(AXIS_Y), -8000);
  EXPECT_EQ(counter(AXIS_U), 1000);
}

// ---- accelerations given as times (option 3) ----

TEST_F(PointMoves, AccelerationTimesAreConvertedToRates) {
  ASSERT_EQ(RM7X0_NAME(set_customization)(0, 3, 1), 0);
  // 1,000 -> 6,000 in 50 ms: 100,000 PPS/s.
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 6000, 50, 50, 10000, 0), 0);
  EXPECT_DURATION(run1(0), t_curve_s(10000, 1000, 6000, 100000, 100000));
  EXPECT_EQ(counter(AXIS_X), 10000);
  // Deceleration in 100 ms: 50,000 PPS/s, an asymmetric profile.
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_Y, 1000, 6000, 50, 100, -10000, 0), 0);
  EXPECT_DURATION(run1(1), t_curve_s(10000, 1000, 6000, 100000, 50000));
  EXPECT_EQ(counter(AXIS_Y), -10000);
  // The velocity move: 3,500 PPS half way up its 50 ms ramp.
  ASSERT_EQ(RM7X0_NAME(velocity_move)(0, AXIS_U, 1000, 6000, 50, 1), 0);
  probe_advance_ns(25 * MS);
  EXPECT_NEAR(speed(AXIS_U), 3500, 20);
  probe_advance_ns(30 * MS);
  EXPECT_EQ(speed(AXIS_U), 6000);
  EXPECT_EQ(RM7X0_NAME(stop_move)(0, AXIS_U, 0x27), 0);
  // The constant move never converts.
  ASSERT_EQ(RM7X0_NAME(const_move)(0, AXIS_Z, 1000, -50), 0);
  EXPECT_DURATION(run1(2), 0.05);
}

TEST_F(PointMoves, AccelerationTimeOfZeroIsRefusedUnlessClamped) {
  ASSERT_EQ(RM7X0_NAME(set_customization)(0, 3, 1), 0);
  EXPECT_EQ(RM7X0_NAME(t_move)(16, AXIS_X, 1000, 6000, 0, 50, 100, 0), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(RM7X0_NAME(t_move)(0, 0x10, 1000, 6000, 0, 50, 100, 0), ERROR_NO_VALID_AXIS_ASSIGNED);
  EXPECT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 6000, 0, 50, 100, 0), ERROR_INVALID_ACCELERATION);
  EXPECT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 6000, 50, 0, 100, 0), ERROR_INVALID_DECELERATION);
  EXPECT_EQ(RM7X0_NAME(velocity_move)(0, AXIS_X, 1000, 6000, 0, 1), ERROR_INVALID_ACCELERATION);
  probe_advance_ns(10 * MS);
  EXPECT_EQ(counter(AXIS_X), 0);
  // Clamped, the zero rate becomes the minimum, 125 PPS/s.
  ASSERT_EQ(RM7X0_NAME(set_customization)(0, 2, 1), 0);
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 1010, 0, 0, 1000, 0), 0);
  EXPECT_DURATION(run1(0), t_curve_s(1000, 1000, 1010, 125, 125));
  EXPECT_EQ(counter(AXIS_X), 1000);
}

TEST_F(PointMoves, TMoveAllWithAccelerationTimesRuns) {
  ASSERT_EQ(RM7X0_NAME(set_customization)(0, 3, 1), 0);
  std::uint32_t sv[4] = {1000, 0, 0, 0}, dv[4] = {6000, 0, 0, 0};
  std::uint32_t acc[4] = {50, 0, 0, 0}, dec[4] = {100, 0, 0, 0};
  std::int32_t pulses[4] = {10000, 0, 0, 0};
  std::uint64_t t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(t_moveall)(0, AXIS_X, sv, dv, acc, dec, pulses, nullptr), 0);
  double s[4];
  run(AXIS_X, t0, s);
  EXPECT_DURATION(s[0], t_curve_s(10000, 1000, 6000, 100000, 50000));
  EXPECT_EQ(counter(AXIS_X), 10000);
}

// ---- the features combined ----

TEST_F(PointMoves, DeceleratingStopInTheMiddleEndsAtTheStartSpeed) {
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 5000, 100000, 100000, 10000, 0), 0);
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_Y, 1000, 5000, 100000, 100000, -10000, 0), 0);
  probe_advance_ns(500 * MS);
  std::int32_t at_stop = counter(AXIS_X);
  ASSERT_EQ(RM7X0_NAME(stop_move)(0, AXIS_X, 0x26), 0);
  std::uint64_t t0 = probe_now_ns();
  double s[4];
  run(AXIS_X, t0, s);
  // 40 ms down to 1,000, 120 pulses.
  EXPECT_DURATION(s[0], 0.04);
  EXPECT_NEAR(counter(AXIS_X), at_stop + 120, 1);
  std::uint8_t done = 0;
  std::int16_t state = 0;
  EXPECT_EQ(RM7X0_NAME(motion_done)(0, AXIS_X, &done, &state), 0);
  EXPECT_EQ(done, 1);
  EXPECT_TRUE(state & DRIVE_FINISH_WITH_STOP_COMMAND);
  // Y runs on to its end.
  EXPECT_TRUE(probe_axis_busy(1));
  run(AXIS_Y, t0, s);
  EXPECT_EQ(counter(AXIS_Y), -10000);
  EXPECT_EQ(RM7X0_NAME(motion_done)(0, AXIS_Y, &done, &state), 0);
  EXPECT_EQ(done, 1);
  EXPECT_TRUE(state & DRIVE_FINISH_OUTPUT_FIXED_PULSE);
}

TEST_F(PointMoves, RefusedMoveLeavesARunningMoveAlone) {
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 5000, 100000, 100000, 10000, 0), 0);
  std::uint64_t t0 = probe_now_ns();
  probe_advance_ns(300 * MS);
  EXPECT_EQ(RM7X0_NAME(t_move)(0, AXIS_X, 1000, 9000, 100000, 100000, 10, 0),
            ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(RM7X0_NAME(t_change_v)(0, AXIS_X, 9000, 0, 0), ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(RM7X0_NAME(velocity_move)(0, AXIS_X, 1000, 5000, 100000, 3),
            ERROR_INVALID_MOVE_DIRECTION);
  std::uint32_t dv[4] = {8001, 0, 0, 0};
  std::int32_t pulses[4] = {5, 0, 0, 0};
  EXPECT_EQ(RM7X0_NAME(const_moveall)(0, AXIS_X, dv, pulses), ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(speed(AXIS_X), 5000);
  double s[4];
  run(AXIS_X, t0, s);
  EXPECT_DURATION(s[0], t_curve_s(10000, 1000, 5000, 100000, 100000));
  EXPECT_EQ(counter(AXIS_X), 10000);
}

}  // namespace

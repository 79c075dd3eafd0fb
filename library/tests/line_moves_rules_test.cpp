// Two- and three-axis line moves, end to end on a manual clock: the order of
// their checks, the profile converted on the master axis, the speed lowering
// that keeps every axis within its maximum, waited lines, and lines run
// beside, stopped and refused next to other moves. Built once per model.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "unit_range_card.h"

namespace {

// Card 0 with U standing on its plus limit switch.
class LineMoves : public UnitRangeCard {
 protected:
  LineMoves() : UnitRangeCard("U.LimitPlus=0\n") {}
  static void expect_still() {
    probe_advance_ns(50 * MS);
    for (std::uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U}) EXPECT_EQ(counter(axis), 0);
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(probe_axis_busy(i));
  }
};

// ---- refusals, in the order of the checks ----

TEST_F(LineMoves, SlaveAxesChecks) {
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_X, 100, 1000, 10000, 10000, 10, 10, 0, 0),
            ERROR_INVALID_INTERPOLATION_SLAVE_AXES);
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_X | AXIS_Y, 100, 1000, 10000, 10000, 10,
                                     10, 0, 0),
            ERROR_INVALID_INTERPOLATION_SLAVE_AXES);
  EXPECT_EQ(RM7X0_NAME(t_line3_move)(0, AXIS_X, AXIS_Y, AXIS_Y, 100, 1000, 10000, 10000, 10,
                                     10, 10, 0, 0),
            ERROR_INTERPOLATION_SLAVE_AXES_DUPLICATED);
  EXPECT_EQ(RM7X0_NAME(t_line3_move)(0, AXIS_X, AXIS_Y, AXIS_X, 100, 1000, 10000, 10000, 10,
                                     10, 10, 0, 0),
            ERROR_INVALID_INTERPOLATION_SLAVE_AXES);
  EXPECT_EQ(RM7X0_NAME(s_line2_move)(0, AXIS_Z, AXIS_Z, 100, 1000, 100000, 100000, 10, 10, 0, 0),
            ERROR_INVALID_INTERPOLATION_SLAVE_AXES);
  EXPECT_EQ(RM7X0_NAME(s_line3_move)(0, AXIS_X, AXIS_Z, AXIS_Z, 100, 1000, 100000, 100000, 10,
                                     10, 10, 0, 0),
            ERROR_INTERPOLATION_SLAVE_AXES_DUPLICATED);
  // Master in the slaves comes before the wait flag, the wait flag before the card.
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(16, AXIS_X, AXIS_X, 100, 1000, 10000, 10000, 10, 10, 0, 2),
            ERROR_INVALID_INTERPOLATION_SLAVE_AXES);
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(16, AXIS_X, AXIS_Y, 100, 1000, 10000, 10000, 10, 10, 0, 2),
            ERROR_INVALID_BLOCK_OPEARTION_MODE);
  EXPECT_EQ(RM7X0_NAME(t_line3_move)(16, AXIS_X, AXIS_Y, AXIS_Z, 100, 1000, 10000, 10000, 10,
                                     10, 10, 0, 0xFFFF),
            ERROR_INVALID_BLOCK_OPEARTION_MODE);
  EXPECT_EQ(RM7X0_NAME(s_line2_move)(0, AXIS_X, AXIS_Y, 100, 1000, 100000, 100000, 10, 10, 0, 2),
            ERROR_INVALID_BLOCK_OPEARTION_MODE);
  EXPECT_EQ(RM7X0_NAME(s_line3_move)(0, AXIS_X, AXIS_Y, AXIS_Z, 100, 1000, 100000, 100000, 10,
                                     10, 10, 0, 3),
            ERROR_INVALID_BLOCK_OPEARTION_MODE);
  // Then the card, then the axes, then the duplicated slaves.
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(16, AXIS_X, AXIS_Y, 100, 1000, 10000, 10000, 10, 10, 0, 0),
            ERROR_INVALID_CARD_ID);
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(3, AXIS_X, AXIS_Y, 100, 1000, 10000, 10000, 10, 10, 0, 1),
            ERROR_INVALID_CARD_ID);
  EXPECT_EQ(RM7X0_NAME(t_line3_move)(16, AXIS_X, AXIS_Y, AXIS_Y, 100, 1000, 10000, 10000, 10,
                                     10, 10, 0, 0),
            ERROR_INVALID_CARD_ID);
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, 0x10, AXIS_Y, 100, 1000, 10000, 10000, 10, 10, 0, 0),
            ERROR_NO_VALID_AXIS_ASSIGNED);
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_Z, 0x10, 100, 1000, 10000, 10000, 10, 10, 0, 0),
            ERROR_NO_VALID_AXIS_ASSIGNED);
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_Z, AXIS_X | AXIS_Y, 100, 1000, 10000, 10000, 10, 10,
                                     0, 0),
            ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(RM7X0_NAME(t_line3_move)(0, AXIS_X, AXIS_Y, 0x10, 100, 1000, 10000, 10000, 10, 10,
                                     10, 0, 0),
            ERROR_NO_VALID_AXIS_ASSIGNED);
  EXPECT_EQ(RM7X0_NAME(t_line3_move)(0, AXIS_X, 0x14, 0x14, 100, 1000, 10000, 10000, 10, 10, 10,
                                     0, 0),
            ERROR_MULTI_AXES_ASSIGNED);
  expect_still();
}

struct ProfileRefusal {
  const char *name;
  std::uint32_t sv, dv, acc, dec;
  ApiStatus want;
};

class LineProfileRefusals : public LineMoves,
                            public testing::WithParamInterface<ProfileRefusal> {};

TEST_P(LineProfileRefusals, OnTheMasterAxis) {
  const ProfileRefusal &c = GetParam();
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, c.sv, c.dv, c.acc, c.dec, 100, 50, 0, 0),
            c.want);
  EXPECT_EQ(RM7X0_NAME(t_line3_move)(0, AXIS_Y, AXIS_Z, AXIS_X, c.sv, c.dv, c.acc, c.dec, 100,
                                     50, -20, 0, 0),
            c.want);
  expect_still();
}

INSTANTIATE_TEST_SUITE_P(
    T, LineProfileRefusals,
    testing::Values(
        ProfileRefusal{"dv_below_sv", 2000, 1999, 10000, 10000,
                       ERROR_START_SPEED_EXCEED_DRIVING_SPEED},
        ProfileRefusal{"sv_zero", 0, 1000, 10000, 10000, ERROR_INVALID_START_SPEED},
        ProfileRefusal{"dv_above_max", 100, 8001, 10000, 10000, ERROR_INVALID_DRIVING_SPEED},
        ProfileRefusal{"constant_above_max", 8001, 8001, 10000, 10000,
                       ERROR_INVALID_DRIVING_SPEED},
        ProfileRefusal{"acc_below_min", 100, 1000, 124, 10000, ERROR_INVALID_ACCELERATION},
        ProfileRefusal{"dec_above_max", 100, 1000, 10000, 1000001, ERROR_INVALID_DECELERATION},
        ProfileRefusal{"dec_too_low_for_acc", 100, 8000, 100000, 150,
                       ERROR_INVALID_DECELERATION}),
    [](const testing::TestParamInfo<ProfileRefusal> &info) {
      return std::string(info.param.name);
    });

TEST_F(LineMoves, SCurveLineProfileRefusals) {
  EXPECT_EQ(RM7X0_NAME(s_line2_move)(0, AXIS_X, AXIS_Y, 1000, 999, 100000, 100000, 10, 10, 0, 0),
            ERROR_START_SPEED_EXCEED_DRIVING_SPEED);
  EXPECT_EQ(RM7X0_NAME(s_line2_move)(0, AXIS_X, AXIS_Y, 100, 1000, 0, 0, 10, 10, 0, 0),
            ERROR_INVALID_JERK);
  EXPECT_EQ(RM7X0_NAME(s_line2_move)(0, AXIS_X, AXIS_Y, 100, 1000, 62500001, 0, 10, 10, 0, 0),
            ERROR_INVALID_JERK);
  EXPECT_EQ(RM7X0_NAME(s_line3_move)(0, AXIS_X, AXIS_Y, AXIS_Z, 100, 1000, 100000, 100, 10, 10,
                                     10, 0, 0),
            ERROR_INVALID_DECELERATION_RATE);
  EXPECT_EQ(RM7X0_NAME(s_line3_move)(0, AXIS_X, AXIS_Y, AXIS_Z, 100, 8001, 100000, 100000, 10,
                                     10, 10, 0, 0),
            ERROR_INVALID_DRIVING_SPEED);
  // With the clamp option a zero jerk is still refused.
  ASSERT_EQ(RM7X0_NAME(set_customization)(0, 2, 1), 0);
  EXPECT_EQ(RM7X0_NAME(s_line2_move)(0, AXIS_X, AXIS_Y, 100, 1000, 0, 0, 10, 10, 0, 0),
            ERROR_INVALID_JERK);
  expect_still();
}

TEST_F(LineMoves, ConstantLineDoesNotLookAtTheRates) {
  // SV = DV: a constant-speed profile; the rates are not converted.
  std::uint64_t t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 2000, 2000, 0, 0, 1000, 500, 0, 0), 0);
  double s[4];
  run(AXIS_X | AXIS_Y, t0, s);
  EXPECT_DURATION(s[0], 0.5);
  EXPECT_EQ(counter(AXIS_X), 1000);
  EXPECT_EQ(counter(AXIS_Y), 500);
}

TEST_F(LineMoves, TowardAnActiveLimitIsRefusedWhole) {
  ApiStatus status =
      RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_U, 1000, 1000, 0, 0, 100, 100, 0, 0);
  EXPECT_LE(status, ERROR_OCCURS_IN_AXIS_X);
  EXPECT_GE(status, ERROR_OCCURS_IN_AXIS_XYZU);
  status = RM7X0_NAME(t_line3_move)(0, AXIS_X, AXIS_Y, AXIS_U, 1000, 1000, 0, 0, 100, 10, 100, 0,
                                    1);
  EXPECT_LE(status, ERROR_OCCURS_IN_AXIS_X);
  EXPECT_GE(status, ERROR_OCCURS_IN_AXIS_XYZU);
  expect_still();
  // Off the limit it runs.
  std::uint64_t t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_U, AXIS_X, 1000, 1000, 0, 0, -100, 100, 0, 0), 0);
  double s[4];
  run(AXIS_X | AXIS_U, t0, s);
  EXPECT_DURATION(s[3], 0.1);
  EXPECT_EQ(counter(AXIS_U), -100);
  EXPECT_EQ(counter(AXIS_X), 100);
}

TEST_F(LineMoves, MoveCheckComesAfterTheAxesAndBeforeTheProfile) {
  // U toward its active limit with a bad drive speed: the move check first.
  ApiStatus status =
      RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_U, 1000, 9000, 0, 0, 100, 100, 0, 0);
  EXPECT_LE(status, ERROR_OCCURS_IN_AXIS_X);
  EXPECT_GE(status, ERROR_OCCURS_IN_AXIS_XYZU);
  status = RM7X0_NAME(s_line3_move)(0, AXIS_X, AXIS_Y, AXIS_U, 1000, 5000, 0, 0, 100, 10, 100, 0,
                                    0);
  EXPECT_LE(status, ERROR_OCCURS_IN_AXIS_X);
  EXPECT_GE(status, ERROR_OCCURS_IN_AXIS_XYZU);
  // Duplicated slaves and the wait flag come before it.
  EXPECT_EQ(RM7X0_NAME(t_line3_move)(0, AXIS_X, AXIS_U, AXIS_U, 1000, 1000, 0, 0, 100, 100, 100,
                                     0, 0),
            ERROR_INTERPOLATION_SLAVE_AXES_DUPLICATED);
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_U, 1000, 1000, 0, 0, 100, 100, 0, 2),
            ERROR_INVALID_BLOCK_OPEARTION_MODE);
  // With times for rates, the zero time is found after the move check.
  ASSERT_EQ(RM7X0_NAME(set_customization)(0, 3, 1), 0);
  status = RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_U, 1000, 5000, 0, 0, 100, 100, 0, 0);
  EXPECT_LE(status, ERROR_OCCURS_IN_AXIS_X);
  EXPECT_GE(status, ERROR_OCCURS_IN_AXIS_XYZU);
  expect_still();
}

// Polls the master of a running line every half millisecond: the time from
// the last sample above 1.05 x SV to the end, and the last speed sampled.
void end_of_line(std::uint16_t master, int index, std::uint32_t sv, double *tail,
                 std::int32_t *last) {
  std::uint64_t fast = probe_now_ns(), end = 0;
  *last = -1;
  for (int i = 0; i < 20000; ++i) {
    std::int32_t v = -1;
    EXPECT_EQ(RM7X0_NAME(get_speed)(0, master, &v), 0);
    if (!probe_axis_busy(index)) {
      end = probe_now_ns();
      break;
    }
    *last = v;
    if (v > static_cast<std::int32_t>(sv * 1.05)) fast = probe_now_ns();
    probe_advance_ns(MS / 2);
  }
  EXPECT_NE(end, 0u);
  *tail = (end - fast) * 1e-9;
}

struct EndCase {
  const char *name;
  bool s_curve;
  std::uint32_t rate, dec_rate;
  std::int16_t ao;
  double tail;  // at about the start speed before the end (s)
  double tolerance;  // S-curves come in to the start speed gradually
};

class LineEnds : public LineMoves, public testing::WithParamInterface<EndCase> {};

TEST_P(LineEnds, MasterBackAtTheStartSpeedAtTheLastStep) {
  const EndCase &c = GetParam();
  ApiStatus status =
      c.s_curve ? RM7X0_NAME(s_line2_move)(0, AXIS_X, AXIS_Y, 1000, 5000, c.rate, c.dec_rate,
                                           -2000, 1500, c.ao, 0)
                : RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 1000, 5000, c.rate, c.dec_rate,
                                           -2000, 1500, c.ao, 0);
  ASSERT_EQ(status, 0);
  double tail = 0;
  std::int32_t last = 0;
  end_of_line(AXIS_X, 0, 1000, &tail, &last);
  EXPECT_GE(last, 1000);
  EXPECT_LE(last, 1050);
  EXPECT_GE(tail, c.tail - 0.001);
  EXPECT_LE(tail, c.tail + c.tolerance);
  EXPECT_EQ(counter(AXIS_X), -2000);
  EXPECT_EQ(counter(AXIS_Y), 1500);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LineEnds,
    testing::Values(EndCase{"t_symmetric", false, 100000, 100000, 0, 0.0, 0.002},
                    EndCase{"t_asymmetric", false, 200000, 50000, 0, 0.0, 0.002},
                    EndCase{"t_offset", false, 100000, 100000, 50, 0.05, 0.002},
                    EndCase{"s_equal_jerks", true, 20000000, 20000000, 0, 0.0, 0.015},
                    EndCase{"s_decel_point", true, 20000000, 5000000, 0, 0.0, 0.015},
                    EndCase{"s_decel_point_offset", true, 40000000, 10000000, 50, 0.05,
                            0.015}),
    [](const testing::TestParamInfo<EndCase> &info) { return std::string(info.param.name); });

// ---- lines that run: end points, durations on the master's profile ----

struct LineCase {
  const char *name;
  int axes;  // 2 or 3: master X, slave Y (slave2 Z)
  bool s_curve;
  std::uint32_t sv, dv, acc, dec;
  std::int32_t d1, d2, d3;
  std::int16_t ao;
  double seconds;  // < 0: not timed
};

class Lines : public LineMoves, public testing::WithParamInterface<LineCase> {};

TEST_P(Lines, ArriveTogetherOnTheirEndPoints) {
  const LineCase &c = GetParam();
  std::uint64_t t0 = probe_now_ns();
  ApiStatus status;
  if (c.axes == 2 && !c.s_curve)
    status = RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, c.sv, c.dv, c.acc, c.dec, c.d1, c.d2,
                                      c.ao, 0);
  else if (c.axes == 3 && !c.s_curve)
    status = RM7X0_NAME(t_line3_move)(0, AXIS_X, AXIS_Y, AXIS_Z, c.sv, c.dv, c.acc, c.dec, c.d1,
                                      c.d2, c.d3, c.ao, 0);
  else if (c.axes == 2)
    status = RM7X0_NAME(s_line2_move)(0, AXIS_X, AXIS_Y, c.sv, c.dv, c.acc, c.dec, c.d1, c.d2,
                                      c.ao, 0);
  else
    status = RM7X0_NAME(s_line3_move)(0, AXIS_X, AXIS_Y, AXIS_Z, c.sv, c.dv, c.acc, c.dec, c.d1,
                                      c.d2, c.d3, c.ao, 0);
  ASSERT_EQ(status, 0);
  EXPECT_TRUE(probe_axis_busy(0));
  EXPECT_TRUE(probe_axis_busy(1));
  double s[4];
  run(c.axes == 3 ? 7 : 3, t0, s);
  if (c.seconds >= 0) {
    EXPECT_DURATION(s[0], c.seconds);
  }
  // Every axis of the line arrives with the master.
  EXPECT_NEAR(s[1], s[0], 0.0002);
  if (c.axes == 3) {
    EXPECT_NEAR(s[2], s[0], 0.0002);
  }
  EXPECT_EQ(counter(AXIS_X), c.d1);
  EXPECT_EQ(counter(AXIS_Y), c.d2);
  EXPECT_EQ(counter(AXIS_Z), c.axes == 3 ? c.d3 : 0);
  EXPECT_EQ(counter(AXIS_U), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Lines,
    testing::Values(
        LineCase{"constant", 2, false, 2000, 2000, 100000, 100000, 1000, 500, 0, 0, 0.5},
        LineCase{"constant_master_short", 2, false, 4000, 4000, 100000, 100000, 300, -1200, 0, 0,
                 0.3},
        LineCase{"equal_magnitudes", 2, false, 4000, 4000, 100000, 100000, -800, 800, 0, 0, 0.2},
        LineCase{"slave_still", 2, false, 4000, 4000, 100000, 100000, 800, 0, 0, 0, 0.2},
        LineCase{"master_still", 2, false, 4000, 4000, 100000, 100000, 0, -800, 0, 0, 0.2},
        LineCase{"t_symmetric", 2, false, 1000, 5000, 100000, 100000, 10000, -3000, 0, 0,
                 t_curve_s(10000, 1000, 5000, 100000, 100000)},
        LineCase{"t_asymmetric", 2, false, 1000, 5000, 100000, 50000, -3000, 10000, 0, 0,
                 t_curve_s(10000, 1000, 5000, 100000, 50000)},
        LineCase{"t_offset", 2, false, 1000, 5000, 100000, 100000, 10000, 7000, 0, 100,
                 t_curve_s(9900, 1000, 5000, 100000, 100000) + 0.1},
        LineCase{"three_constant", 3, false, 3000, 3000, 0, 0, 3000, -2000, 1000, 0, 1.0},
        LineCase{"three_master_middle", 3, false, 1000, 5000, 100000, 100000, 2000, 4000, -1000,
                 0, t_curve_s(4000, 1000, 5000, 100000, 100000)},
        LineCase{"three_master_short", 3, false, 1000, 5000, 100000, 50000, -100, -6000, 3000, 0,
                 t_curve_s(6000, 1000, 5000, 100000, 50000)},
        LineCase{"three_offset", 3, false, 1000, 5000, 100000, 100000, 5000, 5000, -5000, 100,
                 t_curve_s(4900, 1000, 5000, 100000, 100000) + 0.1},
        LineCase{"s_symmetric", 2, true, 1000, 5000, 10000000, 10000000, 10000, 4000, 0, 0, -1},
        LineCase{"s_decel_rate", 2, true, 1000, 5000, 10000000, 20000000, -6000, 4000, 0, 0, -1},
        LineCase{"s_constant", 2, true, 3000, 3000, 10000000, 10000000, 3000, 100, 0, 0, 1.0},
        LineCase{"s_three", 3, true, 1000, 5000, 10000000, 10000000, 2000, -4000, 3000, 0, -1},
        LineCase{"s_three_decel_rate", 3, true, 1000, 5000, 5000000, 10000000, 2000, -4000, 3000,
                 50, -1}),
    [](const testing::TestParamInfo<LineCase> &info) { return std::string(info.param.name); });

TEST_F(LineMoves, AccelerationTimesAreConvertedForLines) {
  ASSERT_EQ(RM7X0_NAME(set_customization)(0, 3, 1), 0);
  // 1,000 -> 6,000 in 50 ms, down in 100 ms.
  std::uint64_t t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 1000, 6000, 50, 100, 10000, 100, 0, 0), 0);
  double s[4];
  run(3, t0, s);
  EXPECT_DURATION(s[0], t_curve_s(10000, 1000, 6000, 100000, 50000));
  EXPECT_EQ(counter(AXIS_X), 10000);
  EXPECT_EQ(counter(AXIS_Y), 100);
  // A zero time gives a zero rate, refused.
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 1000, 6000, 0, 100, 100, 100, 0, 0),
            ERROR_INVALID_ACCELERATION);
  EXPECT_EQ(RM7X0_NAME(t_line3_move)(0, AXIS_X, AXIS_Y, AXIS_Z, 1000, 6000, 50, 0, 100, 100, 100,
                                     0, 0),
            ERROR_INVALID_DECELERATION);
}

TEST_F(LineMoves, TheProfileIsConvertedOnTheMastersRange) {
  // Master X at range 16,000 (M = 500): 12,345 PPS is word 24, 12,000 steps/s.
  ASSERT_EQ(RM7X0_NAME(set_range)(0, AXIS_X, 16000), 0);
  std::uint64_t t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 12345, 12345, 0, 0, 12000, -6000, 0, 0),
            0);
  double s[4];
  run(3, t0, s);
  EXPECT_DURATION(s[0], 1.0);
  EXPECT_EQ(counter(AXIS_X), 12000);
  EXPECT_EQ(counter(AXIS_Y), -6000);
  // The slave Y's range (speeds up to 8,000) does not limit the line.
  t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 1000, 50000, 100000, 100000, -100000,
                                     100000, 0, 0),
            0);
  run(3, t0, s);
  EXPECT_DURATION(s[0], t_curve_s(100000, 1000, 50000, 62500, 62500));
  EXPECT_EQ(counter(AXIS_X), -88000);
  EXPECT_EQ(counter(AXIS_Y), 94000);
  // Nor is it the one that refuses: Y as master is.
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_Y, AXIS_X, 1000, 50000, 100000, 100000, 10, 10, 0, 0),
            ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 100, 1000, 100000, 100000, 10, 10, 0, 0),
            ERROR_INVALID_START_SPEED);
}

// ---- speed lowering (option 6) ----

struct Lowering {
  const char *name;
  std::uint32_t x_range, y_range, z_range;  // M = 8,000,000 / range
  int axes;
  std::uint16_t master, slave1, slave2;
  std::int32_t d1, d2, d3;
  std::uint32_t dv;
  bool clamp;
  ApiStatus want;
  double seconds;  // of the line at its lowered speed (SV = DV: constant)
};

class SpeedLowering : public LineMoves, public testing::WithParamInterface<Lowering> {};

TEST_P(SpeedLowering, KeepsEveryAxisWithinItsMaximum) {
  const Lowering &c = GetParam();
  ASSERT_EQ(RM7X0_NAME(set_range)(0, AXIS_X, c.x_range), 0);
  ASSERT_EQ(RM7X0_NAME(set_range)(0, AXIS_Y, c.y_range), 0);
  ASSERT_EQ(RM7X0_NAME(set_range)(0, AXIS_Z, c.z_range), 0);
  ASSERT_EQ(RM7X0_NAME(set_customization)(0, 6, 1), 0);
  if (c.clamp) {
    ASSERT_EQ(RM7X0_NAME(set_customization)(0, 2, 1), 0);
  }
  std::uint64_t t0 = probe_now_ns();
  ApiStatus status =
      c.axes == 2 ? RM7X0_NAME(t_line2_move)(0, c.master, c.slave1, c.dv, c.dv, 100000, 100000,
                                             c.d1, c.d2, 0, 0)
                  : RM7X0_NAME(t_line3_move)(0, c.master, c.slave1, c.slave2, c.dv, c.dv, 100000,
                                             100000, c.d1, c.d2, c.d3, 0, 0);
  ASSERT_EQ(status, c.want);
  if (c.want != 0) {
    expect_still();
    return;
  }
  double s[4];
  run(7, t0, s);
  int m = c.master == AXIS_X ? 0 : c.master == AXIS_Y ? 1 : 2;
  EXPECT_DURATION(s[m], c.seconds);
  EXPECT_EQ(counter(c.master), c.d1);
  EXPECT_EQ(counter(c.slave1), c.d2);
  if (c.axes == 3) {
    EXPECT_EQ(counter(c.slave2), c.d3);
  }
}

constexpr std::uint32_t R8 = 1000000, R4 = 2000000, R1 = 8000000, R500 = 16000;

INSTANTIATE_TEST_SUITE_P(
    Table, SpeedLowering,
    testing::Values(
        // X max 64,000 long over 1,000, Y max 8,000 over 500: Vs = 16,000
        // reaches Y's max, so 8,000 x 1,000 / 500 = 16,000.
        Lowering{"master_long", R8, R1, R1, 2, AXIS_X, AXIS_Y, 0, 1000, 500, 0, 32000, true, 0,
                 1000 / 16000.0},
        Lowering{"master_long_slave_below_max", R8, R1, R1, 2, AXIS_X, AXIS_Y, 0, 1000, 200, 0,
                 32000, false, 0, 1000 / 32000.0},
        // Equal magnitudes: the master is the long axis.
        Lowering{"equal_magnitudes", R8, R1, R1, 2, AXIS_X, AXIS_Y, 0, 1000, -1000, 0, 32000,
                 true, 0, 1000 / 8000.0},
        // Master short: the slave is checked with DV itself.
        Lowering{"master_short_clamped", R8, R1, R1, 2, AXIS_X, AXIS_Y, 0, 500, 1000, 0, 32000,
                 true, 0, 1000 / 8000.0},
        Lowering{"master_short_below_max", R8, R4, R1, 2, AXIS_X, AXIS_Y, 0, -500, 1000, 0,
                 20000, false, 0, 1000 / 20000.0},
        // The slave's check below its speed minimum (range 16,000: 500 PPS).
        Lowering{"slave_below_min_clamped", R1, R500, R1, 2, AXIS_X, AXIS_Y, 0, 1000, 10, 0, 5000,
                 true, 0, 1000 / 5000.0},
        // Short distance 0. (Checks beyond an axis's maximum pass only clamped.)
        Lowering{"slave_still", R8, R1, R1, 2, AXIS_X, AXIS_Y, 0, 1000, 0, 0, 32000, false, 0,
                 1000 / 32000.0},
        Lowering{"master_still", R1, R8, R1, 2, AXIS_X, AXIS_Y, 0, 0, 1000, 0, 6000, false, 0,
                 1000 / 6000.0},
        Lowering{"master_still_slave_over_max", R8, R1, R1, 2, AXIS_Y, AXIS_X, 0, 0, 1000, 0,
                 32000, false, ERROR_INVALID_DRIVING_SPEED, 0},
        // Three axes, master long: middle Y (max 32,000) at 16,000 stays; short Z
        // (max 8,000) at 14,400 lowers to 8,000 x 1,000 / 450 = 17,777 (word 2,222).
        Lowering{"three_master_long_short_lowers", R8, R4, R1, 3, AXIS_X, AXIS_Y, AXIS_Z, 1000,
                 500, 450, 32000, true, 0, 1000 / 17776.0},
        Lowering{"three_master_long_middle_lowers", R8, R1, R1, 3, AXIS_X, AXIS_Y, AXIS_Z, 1000,
                 500, 100, 32000, true, 0, 1000 / 16000.0},
        Lowering{"three_short_still", R8, R1, R1, 3, AXIS_X, AXIS_Y, AXIS_Z, -1000, 500, 0,
                 32000, true, 0, 1000 / 16000.0},
        Lowering{"three_two_still", R8, R1, R1, 3, AXIS_X, AXIS_Y, AXIS_Z, 1000, 0, 0, 32000,
                 false, 0, 1000 / 32000.0},
        Lowering{"three_two_still_master_not_long", R1, R8, R1, 3, AXIS_X, AXIS_Y, AXIS_Z, 0,
                 1000, 0, 6000, false, 0, 1000 / 6000.0},
        // Master middle: the long axis caps V1, then the short axis.
        Lowering{"three_master_middle", R8, R4, R1, 3, AXIS_X, AXIS_Y, AXIS_Z, 500, 1000, 400,
                 32000, true, 0, 1000 / 20000.0},
        Lowering{"three_master_middle_short_below", R8, R4, R1, 3, AXIS_X, AXIS_Y, AXIS_Z, 500,
                 1000, 100, 32000, false, 0, 1000 / 32000.0},
        // Master short: the middle axis lowers it (clamped check).
        Lowering{"three_master_short_clamped", R8, R4, R1, 3, AXIS_X, AXIS_Y, AXIS_Z, 100, 1000,
                 500, 32000, true, 0, 1000 / 16000.0}),
    [](const testing::TestParamInfo<Lowering> &info) { return std::string(info.param.name); });

TEST_F(LineMoves, WithoutLoweringTheDriveSpeedStays) {
  ASSERT_EQ(RM7X0_NAME(set_range)(0, AXIS_X, R8), 0);
  std::uint64_t t0 = probe_now_ns();
  double s[4];
  // Option 6 off: Y runs beyond its own maximum.
  ASSERT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 32000, 32000, 0, 0, 1000, 500, 0, 0), 0);
  run(3, t0, s);
  EXPECT_DURATION(s[0], 1000 / 32000.0);
  // Option 6 with option 1: off as well.
  ASSERT_EQ(RM7X0_NAME(set_customization)(0, 6, 1), 0);
  ASSERT_EQ(RM7X0_NAME(set_customization)(0, 1, 1), 0);
  t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 32000, 32000, 0, 0, 1000, 500, 0, 0), 0);
  run(3, t0, s);
  EXPECT_DURATION(s[0], 1000 / 32000.0);
  EXPECT_EQ(counter(AXIS_X), 2000);
  EXPECT_EQ(counter(AXIS_Y), 1000);
  // A DV outside the master's range still fails.
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 1000, 64001, 100000, 100000, 10, 5, 0, 0),
            ERROR_INVALID_DRIVING_SPEED);
}

// ---- the waited form ----

// Steps the manual clock from another thread while the caller waits; the
// hook runs on that thread after each millisecond.
class ClockRunner {
 public:
  explicit ClockRunner(std::function<void(int)> hook = nullptr)
      : hook_(std::move(hook)), thread_([this] {
          for (int ms = 1; ms <= 20000 && !stop_; ++ms) {
            probe_advance_ns(MS);
            if (hook_) hook_(ms);
            std::this_thread::yield();
          }
        }) {}
  ~ClockRunner() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::function<void(int)> hook_;
  std::thread thread_;
};

TEST_F(LineMoves, WaitedLineStoppedOnTheWayReturnsItsFailureWhenItStands) {
  std::atomic<ApiStatus> stop_status{1};
  {
    // The stop comes 500 ms into the line, however late the line started: the
    // clock moves in whole milliseconds, so a line first seen busy at ms
    // started at ms - 1.
    int started = -1;
    ClockRunner clock([&](int ms) {
      if (started < 0 && probe_axis_busy(0)) started = ms - 1;
      if (started >= 0 && ms == started + 500) stop_status = RM7X0_NAME(stop_move)(0, AXIS_Y, 0x27);
    });
    EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 4000, 4000, 0, 0, 8000, -4000, 0, 1),
              ERROR_T_LINE2_START)
        << "a line stopped on the way is not done";
    EXPECT_FALSE(probe_axis_busy(0));
    EXPECT_FALSE(probe_axis_busy(1));
  }
  EXPECT_EQ(stop_status, 0);
  std::int32_t x = counter(AXIS_X);
  EXPECT_NEAR(x, 2000, 8);
  EXPECT_NEAR(counter(AXIS_Y), -x / 2.0, 0.5);
}

TEST_F(LineMoves, WaitedLineBesideAPointMove) {
  ASSERT_EQ(RM7X0_NAME(const_move)(0, AXIS_Z, 1000, 3000), 0);
  {
    ClockRunner clock;
    EXPECT_EQ(RM7X0_NAME(t_line3_move)(0, AXIS_X, AXIS_Y, AXIS_U, 1000, 5000, 100000, 100000,
                                       2000, 1000, -500, 0, 1),
              0);
    // The line has ended; Z, 3 s long, still drives.
    EXPECT_FALSE(probe_axis_busy(0));
    EXPECT_TRUE(probe_axis_busy(2));
    EXPECT_EQ(counter(AXIS_X), 2000);
    EXPECT_EQ(counter(AXIS_Y), 1000);
    EXPECT_EQ(counter(AXIS_U), -500);
  }
  double s[4];
  run(AXIS_Z, probe_now_ns(), s);
  EXPECT_EQ(counter(AXIS_Z), 3000);
}

TEST_F(LineMoves, WaitedLinesReturnAtTheirEnd) {
  {
    ClockRunner clock;
    EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 1000, 5000, 100000, 100000, 3000,
                                       -1500, 0, 1),
              0);
    EXPECT_FALSE(probe_axis_busy(0));
    EXPECT_FALSE(probe_axis_busy(1));
    EXPECT_EQ(counter(AXIS_X), 3000);
    EXPECT_EQ(counter(AXIS_Y), -1500);
    EXPECT_EQ(RM7X0_NAME(t_line3_move)(0, AXIS_Z, AXIS_X, AXIS_Y, 2000, 2000, 0, 0, 400, -300,
                                       200, 0, 1),
              0);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(probe_axis_busy(i));
    EXPECT_EQ(counter(AXIS_Z), 400);
    EXPECT_EQ(RM7X0_NAME(s_line2_move)(0, AXIS_Y, AXIS_X, 1000, 4000, 10000000, 10000000, 500,
                                       1000, 0, 1),
              0);
    EXPECT_FALSE(probe_axis_busy(0));
    EXPECT_FALSE(probe_axis_busy(1));
    EXPECT_EQ(RM7X0_NAME(s_line3_move)(0, AXIS_X, AXIS_Y, AXIS_Z, 1000, 4000, 10000000, 20000000,
                                       -1000, 500, 100, 0, 1),
              0);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(probe_axis_busy(i));
  }
  EXPECT_EQ(counter(AXIS_X), 3000 - 300 + 1000 - 1000);
  EXPECT_EQ(counter(AXIS_Y), -1500 + 200 + 500 + 500);
  EXPECT_EQ(counter(AXIS_Z), 400 + 100);
  // A waited line refused by its checks returns at once.
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 1000, 9000, 100000, 100000, 10, 10, 0, 1),
            ERROR_INVALID_DRIVING_SPEED);
}

// ---- the features combined ----

TEST_F(LineMoves, PointMoveBesideARunningLine) {
  std::uint64_t t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 1000, 5000, 100000, 100000, 10000, 4000,
                                     0, 0),
            0);
  probe_advance_ns(100 * MS);
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_Z, 1000, 4000, 200000, 200000, -5000, 0), 0);
  std::uint64_t t1 = probe_now_ns();
  double s[4];
  run(7, t0, s);
  EXPECT_DURATION(s[0], t_curve_s(10000, 1000, 5000, 100000, 100000));
  EXPECT_DURATION(s[2] - (t1 - t0) * 1e-9, t_curve_s(5000, 1000, 4000, 200000, 200000));
  EXPECT_EQ(counter(AXIS_X), 10000);
  EXPECT_EQ(counter(AXIS_Y), 4000);
  EXPECT_EQ(counter(AXIS_Z), -5000);
}

TEST_F(LineMoves, SuddenStopOfTheSlaveStopsTheWholeLine) {
  ASSERT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 5000, 5000, 0, 0, 10000, 5000, 0, 0), 0);
  probe_advance_ns(500 * MS);
  ASSERT_EQ(RM7X0_NAME(stop_move)(0, AXIS_Y, 0x27), 0);
  probe_advance_ns(10 * MS);
  EXPECT_FALSE(probe_axis_busy(0));
  EXPECT_FALSE(probe_axis_busy(1));
  std::int32_t x = counter(AXIS_X), y = counter(AXIS_Y);
  EXPECT_NEAR(x, 2500, 2);
  // On the line within half a pulse.
  EXPECT_NEAR(y, x / 2.0, 0.5);
  std::uint8_t done = 0;
  std::int16_t state = 0;
  EXPECT_EQ(RM7X0_NAME(motion_done)(0, AXIS_X, &done, &state), 0);
  EXPECT_EQ(done, 1);
  // A new line from there reaches its own end.
  std::uint64_t t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 5000, 5000, 0, 0, -x, -y, 0, 0), 0);
  double s[4];
  run(3, t0, s);
  EXPECT_EQ(counter(AXIS_X), 0);
  EXPECT_EQ(counter(AXIS_Y), 0);
}

TEST_F(LineMoves, DeceleratingStopOfTheMasterEndsTheLineAtRest) {
  ASSERT_EQ(RM7X0_NAME(t_line3_move)(0, AXIS_X, AXIS_Y, AXIS_Z, 1000, 5000, 100000, 100000,
                                     20000, -10000, 5000, 0, 0),
            0);
  probe_advance_ns(1000 * MS);
  std::int32_t x0 = counter(AXIS_X);
  ASSERT_EQ(RM7X0_NAME(stop_move)(0, AXIS_X, 0x26), 0);
  std::uint64_t t0 = probe_now_ns();
  double s[4];
  run(7, t0, s);
  EXPECT_DURATION(s[0], 0.04);
  EXPECT_NEAR(counter(AXIS_X), x0 + 120, 1);
  std::int32_t x = counter(AXIS_X);
  EXPECT_NEAR(counter(AXIS_Y), -x / 2.0, 0.5);
  EXPECT_NEAR(counter(AXIS_Z), x / 4.0, 0.5);
}

TEST_F(LineMoves, RefusedLineLeavesTheOtherMovesAlone) {
  std::uint64_t t0 = probe_now_ns();
  ASSERT_EQ(RM7X0_NAME(t_move)(0, AXIS_Z, 1000, 5000, 100000, 100000, 10000, 0), 0);
  probe_advance_ns(300 * MS);
  EXPECT_EQ(RM7X0_NAME(t_line3_move)(0, AXIS_X, AXIS_Y, AXIS_Y, 1000, 5000, 100000, 100000, 100,
                                     100, 100, 0, 0),
            ERROR_INTERPOLATION_SLAVE_AXES_DUPLICATED);
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_Y, 1000, 8001, 100000, 100000, 100, 100, 0,
                                     1),
            ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(RM7X0_NAME(t_line2_move)(0, AXIS_X, AXIS_U, 1000, 5000, 100000, 100000, 100, 100, 0,
                                     0) < 0,
            true);
  double s[4];
  run(0xF, t0, s);
  EXPECT_DURATION(s[2], t_curve_s(10000, 1000, 5000, 100000, 100000));
  EXPECT_EQ(counter(AXIS_Z), 10000);
  EXPECT_EQ(counter(AXIS_X), 0);
  EXPECT_EQ(counter(AXIS_Y), 0);
  EXPECT_EQ(counter(AXIS_U), 0);
}

}  // namespace

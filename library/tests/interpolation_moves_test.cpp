// Line and arc moves end to end: export -> request block -> DeviceIoControl
// -> driver -> simulated chip, on a manual clock that the test steps. The
// axes must end exactly on their targets; durations follow the profile the
// library sent (within 1%); a waited move returns only once it has ended.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "card_options.h"
#include "manual_clock_card.h"
#include "move_probe.h"

namespace {

constexpr uint64_t NS_PER_MS = 1000000;
constexpr uint64_t STEP_NS = NS_PER_MS / 10;
constexpr uint64_t LIMIT_NS = 20000 * NS_PER_MS;
constexpr double TOLERANCE = 0.01;
constexpr uint32_t S_CURVE_RANGE = 8000000;  // M = 1
constexpr uint16_t CW = 0x32, CCW = 0x33;

class Interpolation : public testing::Test {
 protected:
  // Runs the axes of the mask until none drives; the seconds the last took.
  static double run_to_end(unsigned axes) {
    const uint64_t start = probe_now_ns();
    uint64_t end_ns[4] = {};
    probe_run_until_idle(axes, STEP_NS, LIMIT_NS, end_ns);
    uint64_t last = start;
    for (int axis = 0; axis < 4; ++axis) {
      if (!(axes >> axis & 1)) continue;
      EXPECT_NE(end_ns[axis], 0u) << "axis " << axis << " never ended";
      last = std::max(last, end_ns[axis]);
    }
    probe_advance_ns(0);  // the drive-end interrupt is served
    return (last - start) / 1e9;
  }
  static void expect_counters(int32_t x, int32_t y, int32_t z, int32_t u) {
    EXPECT_EQ(probe_command_counter(0), x);
    EXPECT_EQ(probe_command_counter(1), y);
    EXPECT_EQ(probe_command_counter(2), z);
    EXPECT_EQ(probe_command_counter(3), u);
  }

  OpenCard card_{card_section(0, "A", 0)};
};

TEST_F(Interpolation, LinesOfTwoAndThreeAxesEndOnTheirTargets) {
  ASSERT_EQ(rm720_t_line2_move(0, AXIS_X, AXIS_Y, 1000, 100000, 1000000, 500000, 30000, -12345,
                               0, 0),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_mode3(0) & 7, 2) << "its own deceleration";
  run_to_end(AXIS_X | AXIS_Y);
  expect_counters(30000, -12345, 0, 0);

  // Y leads; the longest axis (U) is not the master.
  ASSERT_EQ(rm720_t_line3_move(0, AXIS_Y, AXIS_U, AXIS_Z, 1000, 100000, 1000000, 1000000, 777,
                               -40001, 2, 0, 0),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_mode3(1) & 7, 0) << "symmetric";
  run_to_end(AXIS_Y | AXIS_Z | AXIS_U);
  expect_counters(30000, -12345 + 777, 2, -40001);
}

TEST_F(Interpolation, AConstantSpeedLineTakesItsLongestAxisAtTheDriveSpeed) {
  ASSERT_EQ(rm720_t_line2_move(0, AXIS_Z, AXIS_X, 50000, 50000, 1000000, 1000000, -10000, 25000,
                               0, 0),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_status1(2) & 0x1F, 0x05) << "at the drive speed from the start";
  const double seconds = run_to_end(AXIS_X | AXIS_Z);
  expect_counters(25000, 0, -10000, 0);
  EXPECT_NEAR(seconds, 0.5, TOLERANCE * 0.5);
}

TEST_F(Interpolation, ArcsInBothDirectionsEndOnTheirEndPoints) {
  // Quarter circles of radius 10,000 around (10,000, 0) from the start.
  ASSERT_EQ(rm720_t_arc2_move(0, AXIS_X, AXIS_Y, 1000, 100000, 1000000, CCW, 10000, 0, 10000,
                              -10000, 0, 0),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_mode3(0) & 7, 1) << "the library's deceleration point";
  run_to_end(AXIS_X | AXIS_Y);
  expect_counters(10000, -10000, 0, 0);
  ASSERT_EQ(rm720_t_arc2_move(0, AXIS_X, AXIS_Y, 1000, 100000, 1000000, CW, 0, 10000, 10000,
                              10000, 0, 0),
            SUCCESS_NO_ERROR);
  run_to_end(AXIS_X | AXIS_Y);
  expect_counters(20000, 0, 0, 0);
  // A full circle at constant speed, the second axis leading.
  ASSERT_EQ(rm720_t_arc2_move(0, AXIS_Z, AXIS_U, 50000, 50000, 1000000, CW, -3000, 4000, 0, 0, 0,
                              0),
            SUCCESS_NO_ERROR);
  run_to_end(AXIS_Z | AXIS_U);
  expect_counters(20000, 0, 0, 0);
}

// Radius 10,000: 14,142 steps, too few to reach 200,000 PPS at 1,000,000
// PPS/s and come down again. The ramps meet half way, so the arc takes the
// time of the triangle up to the peak and back to its start speed.
TEST_F(Interpolation, AShortArcComesBackToItsStartSpeedAtItsEnd) {
  ASSERT_EQ(rm720_t_arc2_move(0, AXIS_X, AXIS_Y, 1000, 200000, 1000000, CCW, 10000, 0, 10000,
                              -10000, 0, 0),
            SUCCESS_NO_ERROR);
  const double seconds = run_to_end(AXIS_X | AXIS_Y);
  expect_counters(10000, -10000, 0, 0);
  const double peak = std::sqrt(1000000.0 * 14142 + 1000.0 * 1000);
  const double expected = 2 * (peak - 1000) / 1000000;
  EXPECT_NEAR(seconds, expected, TOLERANCE * expected);
}

TEST_F(Interpolation, SCurveLinesRunTheSingleAxisProfileOfTheirLongestAxis) {
  ASSERT_EQ(rm720_set_range(0, AXIS_X, S_CURVE_RANGE), SUCCESS_NO_ERROR);
  struct Case {
    uint32_t decel_jerk;
    uint16_t mode;
  };
  for (const Case c : {Case{1000000, 4}, Case{250000, 7}, Case{0, 4}}) {
    ASSERT_EQ(rm720_s_move(0, AXIS_X, 2000, 8000, 1000000, c.decel_jerk, 40000, 0),
              SUCCESS_NO_ERROR);
    const double single = run_to_end(AXIS_X);
    ASSERT_EQ(rm720_s_line2_move(0, AXIS_X, AXIS_Y, 2000, 8000, 1000000, c.decel_jerk, -40000,
                                 15000, 0, 0),
              SUCCESS_NO_ERROR);
    EXPECT_EQ(probe_mode3(0) & 7, c.mode) << "deceleration jerk " << c.decel_jerk;
    const double line = run_to_end(AXIS_X | AXIS_Y);
    EXPECT_NEAR(line, single, TOLERANCE * single) << "deceleration jerk " << c.decel_jerk;
    EXPECT_EQ(probe_command_counter(0), 0);
  }
  expect_counters(0, 45000, 0, 0);
  ASSERT_EQ(rm720_s_line3_move(0, AXIS_X, AXIS_Y, AXIS_Z, 2000, 8000, 1000000, 250000, 500, -9000,
                               2500, 0, 0),
            SUCCESS_NO_ERROR);
  run_to_end(AXIS_X | AXIS_Y | AXIS_Z);
  expect_counters(500, 36000, 2500, 0);
}

// X (master, max 4,000,000 PPS) over 100,000 pulses and Y (range 8,000,000:
// max 8,000 PPS) over 50,000: Y would run at 50,000 PPS, so the vector speed
// becomes 8,000 x 100,000 / 50,000 = 16,000 PPS.
TEST_F(Interpolation, SpeedLoweringKeepsEveryAxisWithinItsMaximum) {
  ASSERT_EQ(rm720_set_range(0, AXIS_Y, S_CURVE_RANGE), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_line2_move(0, AXIS_X, AXIS_Y, 100000, 100000, 0, 0, 100000, 50000, 0, 0),
            SUCCESS_NO_ERROR);
  EXPECT_NEAR(run_to_end(AXIS_X | AXIS_Y), 1.0, TOLERANCE) << "lowering off";

  ASSERT_EQ(rm720_set_customization(0, 6, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_line2_move(0, AXIS_X, AXIS_Y, 100000, 100000, 0, 0, -100000, -50000, 0, 0),
            SUCCESS_NO_ERROR);
  EXPECT_NEAR(run_to_end(AXIS_X | AXIS_Y), 6.25, TOLERANCE * 6.25);
  expect_counters(0, 0, 0, 0);

  // Y leading over the shorter distance: the long axis X keeps DV.
  ASSERT_EQ(rm720_t_line2_move(0, AXIS_Y, AXIS_X, 8000, 8000, 0, 0, 4000, 8000, 0, 0),
            SUCCESS_NO_ERROR);
  EXPECT_NEAR(run_to_end(AXIS_X | AXIS_Y), 1.0, TOLERANCE);

  // Option 1 (one flag with option 4) switches the lowering off again.
  ASSERT_EQ(rm720_set_customization(0, 1, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_line2_move(0, AXIS_X, AXIS_Y, 100000, 100000, 0, 0, 100000, 50000, 0, 0),
            SUCCESS_NO_ERROR);
  EXPECT_NEAR(run_to_end(AXIS_X | AXIS_Y), 1.0, TOLERANCE);
}

TEST_F(Interpolation, ArgumentsAreCheckedInOrderBeforeAnythingMoves) {
  // The master among its partners, before the wait flag and the card.
  EXPECT_EQ(rm720_t_line2_move(9, AXIS_X, AXIS_X, 1000, 2000, 1, 1, 10, 10, 0, 2),
            ERROR_INVALID_INTERPOLATION_SLAVE_AXES);
  EXPECT_EQ(rm720_s_line3_move(9, AXIS_Z, AXIS_Y, AXIS_Z, 1000, 2000, 1, 1, 10, 10, 10, 0, 2),
            ERROR_INVALID_INTERPOLATION_SLAVE_AXES);
  EXPECT_EQ(rm720_t_line2_move(9, AXIS_X, AXIS_Y, 1000, 2000, 1, 1, 10, 10, 0, 2),
            ERROR_INVALID_BLOCK_OPEARTION_MODE);
  EXPECT_EQ(rm720_t_line2_move(9, AXIS_X, AXIS_Y, 1000, 2000, 1, 1, 10, 10, 0, 0),
            ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_t_line2_move(0, AXIS_X, AXIS_Y | AXIS_Z, 1000, 2000, 1, 1, 10, 10, 0, 0),
            ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(rm720_t_line3_move(0, AXIS_X, AXIS_Y, AXIS_Y, 1000, 2000, 1, 1, 10, 10, 10, 0, 0),
            ERROR_INTERPOLATION_SLAVE_AXES_DUPLICATED);
  // The conversion comes after the axes' check.
  EXPECT_EQ(rm720_t_line2_move(0, AXIS_X, AXIS_Y, 1000, 5000000, 1000000, 1000000, 10, 10, 0, 0),
            ERROR_INVALID_DRIVING_SPEED);
  // The arc's direction comes first of all.
  EXPECT_EQ(rm720_t_arc2_move(9, AXIS_X, AXIS_X, 1000, 2000, 1, 0x34, 0, 0, 0, 0, 0, 2),
            ERROR_INVALID_INTERPOLATION_ARC_DIRECTION);
  EXPECT_EQ(rm720_t_arc2_move(9, AXIS_X, AXIS_X, 1000, 2000, 1, CW, 0, 0, 0, 0, 0, 2),
            ERROR_INVALID_INTERPOLATION_SLAVE_AXES);
  EXPECT_EQ(rm720_t_arc2_move(0, AXIS_X, AXIS_Y, 1000, 2000, 1, CW, 100, 0, 0, 0, 0, 2),
            ERROR_INVALID_BLOCK_OPEARTION_MODE);
  // An arc whose AO leaves no room for the ramp has no deceleration point.
  EXPECT_EQ(rm720_t_arc2_move(0, AXIS_X, AXIS_Y, 1000, 100000, 1000000, CW, 100, 0, 0, 0, 600, 0),
            ERROR_ARC_DECELERATION_POINT_CALCULATE);
  probe_advance_ns(10 * NS_PER_MS);
  expect_counters(0, 0, 0, 0);
}

TEST(InterpolationChecks, AnAxisAtItsLimitStopsTheLineBeforeItStarts) {
  OpenCard card(card_section(0, "A", 0) + "Y.LimitPlus=0\n");
  EXPECT_EQ(rm720_t_line2_move(0, AXIS_X, AXIS_Y, 1000, 2000, 100000, 100000, 10, 10, 0, 0),
            ERROR_OCCURS_IN_AXIS_Y);
  EXPECT_EQ(rm720_t_arc2_move(0, AXIS_X, AXIS_Y, 1000, 2000, 100000, CW, 100, 0, 0, 0, 0, 0),
            ERROR_OCCURS_IN_AXIS_Y)
      << "an arc may move either way";
  EXPECT_EQ(rm720_t_line2_move(0, AXIS_X, AXIS_Y, 1000, 2000, 100000, 100000, 10, -10, 0, 0),
            SUCCESS_NO_ERROR)
      << "away from the limit";
}

// The chip runs one interpolation at a time: a line of other, idle axes is
// refused while one runs, and runs once it has ended.
TEST_F(Interpolation, ASecondLineWaitsForTheChipsInterpolationToEnd) {
  ASSERT_EQ(rm720_t_line2_move(0, AXIS_X, AXIS_Y, 1000, 100000, 1000000, 1000000, 50000, 50000,
                               0, 0),
            SUCCESS_NO_ERROR);
  probe_advance_ns(50 * NS_PER_MS);
  EXPECT_EQ(rm720_t_line2_move(0, AXIS_Z, AXIS_U, 1000, 100000, 1000000, 1000000, 2000, 1000, 0,
                               0),
            ERROR_INTERPOLATION_NOT_COMPLETE);
  run_to_end(AXIS_X | AXIS_Y);
  ASSERT_EQ(rm720_t_line2_move(0, AXIS_Z, AXIS_U, 1000, 100000, 1000000, 1000000, 2000, 1000, 0,
                               0),
            SUCCESS_NO_ERROR);
  run_to_end(AXIS_Z | AXIS_U);
  expect_counters(50000, 50000, 2000, 1000);
}

// A waited move runs on its own thread while this one steps the clock.
class WaitedMove {
 public:
  template <typename Move>
  explicit WaitedMove(Move move)
      : thread_([this, move] {
          result_ = move();
          done_ = true;
        }) {}
  ~WaitedMove() {
    if (thread_.joinable()) thread_.join();
  }
  // Steps the clock until the call has returned; its status.
  ApiStatus finish() {
    for (uint64_t waited = 0; !done_ && waited < LIMIT_NS; waited += NS_PER_MS)
      probe_advance_ns(NS_PER_MS);
    thread_.join();
    return result_;
  }

 private:
  std::atomic<bool> done_{false};
  ApiStatus result_ = 1;
  std::thread thread_;
};

TEST_F(Interpolation, AWaitedMoveReturnsOnceItsAxesAreAtTheirTargets) {
  WaitedMove line([] {
    return rm720_t_line3_move(0, AXIS_X, AXIS_Y, AXIS_Z, 1000, 100000, 1000000, 1000000, 20000,
                              -5000, 300, 0, 1);
  });
  EXPECT_EQ(line.finish(), SUCCESS_NO_ERROR);
  expect_counters(20000, -5000, 300, 0);
  WaitedMove arc([] {
    return rm720_t_arc2_move(0, AXIS_Y, AXIS_X, 1000, 100000, 1000000, CCW, 0, 1000, 0, 2000, 0,
                             1);
  });
  EXPECT_EQ(arc.finish(), SUCCESS_NO_ERROR);
  expect_counters(22000, -5000, 300, 0);
  // The wait is ended: another waited line on the same master waits again.
  WaitedMove again([] {
    return rm720_s_line2_move(0, AXIS_X, AXIS_U, 1000, 100000, 100000000, 0, -2000, 700, 0, 1);
  });
  EXPECT_EQ(again.finish(), SUCCESS_NO_ERROR);
  expect_counters(20000, -5000, 300, 700);
}

// A reset cancels the waiting request: the move did not end, and the call
// says so with its own failure code.
TEST_F(Interpolation, AWaitedLineCancelledByAResetFails) {
  WaitedMove line([] {
    return rm720_t_line2_move(0, AXIS_X, AXIS_Y, 1000, 100000, 1000000, 1000000, 500000, 1, 0, 1);
  });
  while (!probe_axis_busy(0)) std::this_thread::yield();
  ASSERT_EQ(rm720_reset(0), SUCCESS_NO_ERROR);
  EXPECT_EQ(line.finish(), ERROR_T_LINE2_START);
  EXPECT_FALSE(probe_axis_busy(0));
}

}  // namespace

// Absolute coordinates end to end: the origin that set_abs_position places
// on the command or encoder counter, and the moves to absolute targets that
// become relative moves from the axes' positions now.
#include <gtest/gtest.h>

#include "card_table.h"
#include "manual_clock_card.h"
#include "move_probe.h"

namespace {

constexpr uint64_t NS_PER_MS = 1000000;
constexpr uint16_t CCW = 0x33;

class AbsoluteMoves : public testing::Test {
 protected:
  static void run_to_end(unsigned axes) {
    uint64_t end_ns[4] = {};
    probe_run_until_idle(axes, NS_PER_MS / 10, 10000 * NS_PER_MS, end_ns);
    probe_advance_ns(0);
  }
  static int32_t abs_position(uint16_t axis) {
    int32_t position = 0;
    EXPECT_EQ(rm720_get_abs_position(0, axis, &position), SUCCESS_NO_ERROR);
    return position;
  }
  static AxisMotionState &motion(int axis) { return card_table.cards[0].axes[axis].motion; }

  OpenCard card_{card_section(0, "A", 0)};
};

TEST_F(AbsoluteMoves, ThePositionFollowsTheChosenCounterLessTheOrigin) {
  ASSERT_EQ(rm720_set_enccounter(0, AXIS_Y, 500), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_abs_feedback_src(0, AXIS_Y, 1), SUCCESS_NO_ERROR);
  EXPECT_EQ(abs_position(AXIS_Y), 500) << "the origin stays: the position jumps";
  ASSERT_EQ(rm720_set_abs_position(0, AXIS_Y, 100), SUCCESS_NO_ERROR);
  EXPECT_EQ(abs_position(AXIS_Y), 100);
  EXPECT_EQ(abs_position(AXIS_Y), 100) << "as long as the encoder stays at 500";
  ASSERT_EQ(rm720_set_abs_feedback_src(0, AXIS_Y, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(abs_position(AXIS_Y), -400) << "command counter 0 less the origin 400";

  EXPECT_EQ(rm720_set_abs_feedback_src(0, AXIS_Y, 2), ERROR_INVALID_ABS_FEEDBACK_SOURCE);
  EXPECT_EQ(rm720_set_abs_feedback_src(0, AXIS_Y | AXIS_X, 1), ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(rm720_get_abs_position(0, AXIS_Y, nullptr), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(rm720_set_abs_position(16, AXIS_Y, 0), ERROR_INVALID_CARD_ID);
}

TEST_F(AbsoluteMoves, AMovingAxisKeepsItsOriginAndSource) {
  ASSERT_EQ(rm720_const_move(0, AXIS_X, 50000, 25000), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_set_abs_position(0, AXIS_X, 0), ERROR_MOTION_NOT_COMPLETE);
  EXPECT_EQ(rm720_set_abs_feedback_src(0, AXIS_X, 1), ERROR_MOTION_NOT_COMPLETE);
  run_to_end(AXIS_X);
  EXPECT_EQ(abs_position(AXIS_X), 25000);
  ASSERT_EQ(rm720_set_abs_position(0, AXIS_X, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(abs_position(AXIS_X), 0);
}

TEST_F(AbsoluteMoves, OnlyANewOriginForgetsTheLastTarget) {
  ASSERT_EQ(rm720_set_abs_position(0, AXIS_Z, 100), SUCCESS_NO_ERROR);
  motion(2).last_abs_target = 700;
  motion(2).last_target_valid = 1;
  ASSERT_EQ(rm720_set_abs_position(0, AXIS_Z, 100), SUCCESS_NO_ERROR);
  EXPECT_EQ(motion(2).last_target_valid, 1);
  ASSERT_EQ(rm720_set_abs_position(0, AXIS_Z, 200), SUCCESS_NO_ERROR);
  EXPECT_EQ(motion(2).last_target_valid, 0);
  EXPECT_EQ(motion(2).last_abs_target, 0);
}

// A counter that cannot be read leaves the origin where it was: taking the
// counter as 0 would shift every later target.
TEST_F(AbsoluteMoves, AFailedCounterReadChangesNothing) {
  ASSERT_EQ(rm720_set_abs_position(0, AXIS_U, 300), SUCCESS_NO_ERROR);
  motion(3).internal_position_set = 1;  // as a waited home search sets it: no motion check
  const HANDLE device = card_table.cards[0].device;
  card_table.cards[0].device = reinterpret_cast<HANDLE>(0x7777);  // a handle of nothing
  EXPECT_EQ(rm720_set_abs_position(0, AXIS_U, 0), ERROR_CMD_COUNTER_GET);
  card_table.cards[0].device = device;
  motion(3).internal_position_set = 0;
  EXPECT_EQ(abs_position(AXIS_U), 300);
}

TEST_F(AbsoluteMoves, SingleAxisMovesEndOnTheirAbsoluteTargets) {
  ASSERT_EQ(rm720_set_abs_position(0, AXIS_X, 1000), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_abs_move(0, AXIS_X, 1000, 100000, 1000000, 1000000, -4000, 0),
            SUCCESS_NO_ERROR);
  run_to_end(AXIS_X);
  EXPECT_EQ(probe_command_counter(0), -5000);
  ASSERT_EQ(rm720_s_abs_move(0, AXIS_X, 1000, 100000, 100000000, 0, 2500, 0), SUCCESS_NO_ERROR);
  run_to_end(AXIS_X);
  EXPECT_EQ(abs_position(AXIS_X), 2500);
  // To where it is: a distance of 0.
  ASSERT_EQ(rm720_t_abs_move(0, AXIS_X, 1000, 100000, 1000000, 1000000, 2500, 0),
            SUCCESS_NO_ERROR);
  run_to_end(AXIS_X);
  EXPECT_EQ(probe_command_counter(0), 1500);
  EXPECT_EQ(rm720_t_abs_move(0, 0x10, 1000, 100000, 1000000, 1000000, 0, 0),
            ERROR_NO_VALID_AXIS_ASSIGNED);
}

TEST_F(AbsoluteMoves, AllFormsConvertTheMaskedAxesOnly) {
  ASSERT_EQ(rm720_set_abs_position(0, AXIS_Z, -100), SUCCESS_NO_ERROR);
  const uint32_t sv[4] = {1000, 1000, 1000, 1000}, acc[4] = {1000000, 1000000, 1000000, 1000000};
  uint32_t dv[4] = {100000, 100000, 100000, 100000};
  const int32_t targets[4] = {3000, 999999, 900, 0};
  ASSERT_EQ(rm720_t_abs_moveall(0, AXIS_X | AXIS_Z, sv, dv, acc, acc, targets, nullptr),
            SUCCESS_NO_ERROR);
  run_to_end(AXIS_X | AXIS_Z);
  EXPECT_EQ(probe_command_counter(0), 3000);
  EXPECT_EQ(probe_command_counter(1), 0);
  EXPECT_EQ(probe_command_counter(2), 1000);
  const uint32_t jerk[4] = {100000000, 100000000, 100000000, 100000000};
  const int32_t back[4] = {0, 0, -100, 0};
  ASSERT_EQ(rm720_s_abs_moveall(0, AXIS_X | AXIS_Z, sv, dv, jerk, jerk, back, nullptr),
            SUCCESS_NO_ERROR);
  run_to_end(AXIS_X | AXIS_Z);
  EXPECT_EQ(probe_command_counter(0), 0);
  EXPECT_EQ(probe_command_counter(2), 0);

  EXPECT_EQ(rm720_t_abs_moveall(0, 0, sv, dv, acc, acc, targets, nullptr),
            ERROR_NO_VALID_AXIS_ASSIGNED);
  EXPECT_EQ(rm720_t_abs_moveall(0, AXIS_Y, sv, dv, acc, acc, nullptr, nullptr),
            ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(rm720_s_abs_moveall(16, AXIS_Y, sv, dv, jerk, jerk, targets, nullptr),
            ERROR_INVALID_CARD_ID);
}

TEST_F(AbsoluteMoves, LinesAndArcsFromASetAbsolutePosition) {
  ASSERT_EQ(rm720_set_abs_position(0, AXIS_X, 1000), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_abs_position(0, AXIS_Y, -500), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_abs_line2_move(0, AXIS_X, AXIS_Y, 1000, 100000, 1000000, 1000000, 3000, 1500,
                                   0, 0),
            SUCCESS_NO_ERROR);
  run_to_end(AXIS_X | AXIS_Y);
  EXPECT_EQ(probe_command_counter(0), 2000);
  EXPECT_EQ(probe_command_counter(1), 2000);

  ASSERT_EQ(rm720_s_abs_line3_move(0, AXIS_Z, AXIS_X, AXIS_Y, 1000, 100000, 100000000, 0, 50,
                                   -1000, -500, 0, 0),
            SUCCESS_NO_ERROR);
  run_to_end(AXIS_X | AXIS_Y | AXIS_Z);
  EXPECT_EQ(abs_position(AXIS_X), -1000);
  EXPECT_EQ(abs_position(AXIS_Y), -500);
  EXPECT_EQ(abs_position(AXIS_Z), 50);

  ASSERT_EQ(rm720_t_abs_line3_move(0, AXIS_X, AXIS_Y, AXIS_Z, 1000, 100000, 1000000, 1000000, 0,
                                   0, 0, 0, 0),
            SUCCESS_NO_ERROR);
  run_to_end(AXIS_X | AXIS_Y | AXIS_Z);
  ASSERT_EQ(rm720_s_abs_line2_move(0, AXIS_Y, AXIS_X, 1000, 100000, 100000000, 0, 100, 200, 0, 0),
            SUCCESS_NO_ERROR);
  run_to_end(AXIS_X | AXIS_Y);
  EXPECT_EQ(abs_position(AXIS_X), 200);
  EXPECT_EQ(abs_position(AXIS_Y), 100);

  // A half circle around the absolute centre (200, 1100) to (200, 2100).
  ASSERT_EQ(rm720_t_abs_arc2_move(0, AXIS_X, AXIS_Y, 1000, 100000, 1000000, CCW, 200, 1100, 200,
                                  2100, 0, 0),
            SUCCESS_NO_ERROR);
  run_to_end(AXIS_X | AXIS_Y);
  EXPECT_EQ(abs_position(AXIS_X), 200);
  EXPECT_EQ(abs_position(AXIS_Y), 2100);
  // Targets are converted before the relative checks.
  EXPECT_EQ(rm720_t_abs_arc2_move(0, AXIS_X, AXIS_Y | AXIS_Z, 1000, 100000, 1000000, CCW, 0, 0, 0, 0, 0, 0),
            ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(rm720_t_abs_line2_move(0, AXIS_X, AXIS_X, 1000, 100000, 1000000, 1000000, 0, 0, 0,
                                   0),
            ERROR_INVALID_INTERPOLATION_SLAVE_AXES);
}

}  // namespace

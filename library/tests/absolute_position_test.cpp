// Absolute targets and relative distances: counted from an axis's last
// absolute target, and, end to end through the driver to the simulated card,
// from its source counter less its origin offset.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "absolute_position.h"
#include "card_table.h"
#include "open_cards.h"

namespace {

constexpr uint8_t CARD = 2;

class AbsolutePositionTest : public ::testing::Test {
 protected:
  // The conversions from a last target send no request: a handle that is not
  // INVALID_HANDLE_VALUE is all the card check looks at.
  void SetUp() override { card_table.cards[CARD].device = reinterpret_cast<HANDLE>(0x1000); }
  void TearDown() override { empty_card_table(); }

  static void set_last_target(uint16_t axis_bit, int32_t target) {
    AxisMotionState &motion = card_table.cards[CARD].axes[__builtin_ctz(axis_bit)].motion;
    motion.last_abs_target = target;
    motion.last_target_valid = 1;
  }
};

TEST_F(AbsolutePositionTest, DistancesCountFromTheLastTarget) {
  set_last_target(AXIS_Z, 1500);
  int32_t distance = 0;
  EXPECT_EQ(abs_to_relative(CARD, AXIS_Z, 1000, &distance, FROM_LAST_TARGET), 0);
  EXPECT_EQ(distance, -500);
  int32_t target = 0;
  EXPECT_EQ(relative_to_abs(CARD, AXIS_Z, distance, &target, FROM_LAST_TARGET), 0);
  EXPECT_EQ(target, 1000);
}

TEST_F(AbsolutePositionTest, WithoutALastTargetNothingIsWritten) {
  set_last_target(AXIS_X, 7);  // another axis's target does not count
  int32_t out = 42;
  EXPECT_EQ(abs_to_relative(CARD, AXIS_Y, 1000, &out, FROM_LAST_TARGET), ERROR_NO_LAST_ABS_TARGET);
  EXPECT_EQ(relative_to_abs(CARD, AXIS_Y, 1000, &out, FROM_LAST_TARGET), ERROR_NO_LAST_ABS_TARGET);
  EXPECT_EQ(out, 42);
}

TEST_F(AbsolutePositionTest, DistancesWrapAt32BitsLikeTheCounters) {
  set_last_target(AXIS_U, INT32_MIN);
  int32_t distance = 0;
  EXPECT_EQ(abs_to_relative(CARD, AXIS_U, INT32_MAX, &distance, FROM_LAST_TARGET), 0);
  EXPECT_EQ(distance, -1);
}

TEST_F(AbsolutePositionTest, CardAndAxisAreCheckedFirst) {
  set_last_target(AXIS_X, 0);
  int32_t out = 42;
  for (auto convert : {abs_to_relative, relative_to_abs}) {
    EXPECT_EQ(convert(16, AXIS_X, 1, &out, FROM_LAST_TARGET), ERROR_INVALID_CARD_ID);
    EXPECT_EQ(convert(CARD + 1, AXIS_X, 1, &out, FROM_LAST_TARGET), ERROR_INVALID_CARD_ID);
    EXPECT_EQ(convert(CARD, AXIS_X | AXIS_Y, 1, &out, FROM_LAST_TARGET),
              ERROR_MULTI_AXES_ASSIGNED);
    EXPECT_EQ(convert(CARD, 0x10, 1, &out, FROM_LAST_TARGET), ERROR_NO_VALID_AXIS_ASSIGNED);
  }
  EXPECT_EQ(out, 42);
}

// Card 0 of model A opened, its axes at rest.
class CountedPositionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(rm720_open(0), 0); }
  void TearDown() override { EXPECT_EQ(rm720_close(0), 0); }

  static AxisMotionState &motion(int axis) { return card_table.cards[0].axes[axis].motion; }

  AttachedLibrary library_{homed_cards("A", {0})};
};

TEST_F(CountedPositionTest, TheCommandCounterLessTheOriginIsThePosition) {
  // Writing the source counter keeps the position (the origin moves along);
  // the origin is then set apart from it: position 5,000 - 300 = 4,700.
  ASSERT_EQ(rm720_set_cmdcounter(0, AXIS_X, 5000), 0);
  motion(0).origin_offset = 300;
  int32_t distance = 0;
  EXPECT_EQ(abs_to_relative(0, AXIS_X, 1000, &distance, FROM_COUNTER), 0);
  EXPECT_EQ(distance, -3700);
  int32_t target = 0;
  EXPECT_EQ(relative_to_abs(0, AXIS_X, -3700, &target, FROM_COUNTER), 0);
  EXPECT_EQ(target, 1000);
}

TEST_F(CountedPositionTest, AnEncoderSourceReadsTheEncoderCounter) {
  ASSERT_EQ(rm720_set_enccounter(0, AXIS_Y, 777), 0);  // not the source yet: origin stays 0
  motion(1).abs_position_source = 1;
  int32_t distance = 0;
  EXPECT_EQ(abs_to_relative(0, AXIS_Y, 1000, &distance, FROM_COUNTER), 0);
  EXPECT_EQ(distance, 223);
}

// A counter that cannot be read gives the read's status: a counter of 0
// would give a distance from the wrong place.
TEST_F(CountedPositionTest, AFailedCounterReadIsReportedAndNothingWritten) {
  const HANDLE device = card_table.cards[0].device;
  card_table.cards[0].device = reinterpret_cast<HANDLE>(0x7777);  // a handle of nothing
  int32_t out = 42;
  EXPECT_EQ(abs_to_relative(0, AXIS_Z, 1000, &out, FROM_COUNTER), ERROR_CMD_COUNTER_GET);
  motion(2).abs_position_source = 1;
  EXPECT_EQ(abs_to_relative(0, AXIS_Z, 1000, &out, FROM_COUNTER), ERROR_POS_COUNTER_GET);
  EXPECT_EQ(relative_to_abs(0, AXIS_Z, 1000, &out, FROM_COUNTER), ERROR_MOTION_DONE_GET);
  EXPECT_EQ(out, 42);
  card_table.cards[0].device = device;
}

}  // namespace

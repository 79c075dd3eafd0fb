// The card and axis checks and the axis limits, on the card table directly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "card_table.h"
#include "checks.h"

namespace {

class CardTableTest : public ::testing::Test {
 protected:
  void SetUp() override { empty_card_table(); }
  void TearDown() override { empty_card_table(); }
  // Marks a card open without a device behind it; the checks look at the handle only.
  static void pretend_open(uint8_t card) {
    card_table.cards[card].device = reinterpret_cast<HANDLE>(uintptr_t{0x1000} + card);
  }
};

struct AxisCase {
  uint8_t card;
  uint16_t axis1, axis2, axis3;
  ApiStatus status;
};

class CheckCardAxis : public CardTableTest, public ::testing::WithParamInterface<AxisCase> {};

TEST_P(CheckCardAxis, ChecksTheCardThenEachUsedAxis) {
  pretend_open(3);
  const AxisCase &c = GetParam();
  EXPECT_EQ(check_card_axis(c.card, c.axis1, c.axis2, c.axis3), c.status)
      << "card " << int{c.card} << ", axes 0x" << std::hex << c.axis1 << " 0x" << c.axis2 << " 0x"
      << c.axis3;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CheckCardAxis,
    ::testing::Values(AxisCase{3, 0x11, 128, 128, ERROR_MULTI_AXES_ASSIGNED},
                      AxisCase{3, 0x10, 128, 128, ERROR_NO_VALID_AXIS_ASSIGNED},
                      AxisCase{3, 128, 128, 128, SUCCESS_NO_ERROR},
                      AxisCase{3, AXIS_U, AXIS_X, AXIS_Z, SUCCESS_NO_ERROR},
                      AxisCase{3, AXIS_X, 0x0C, 128, ERROR_MULTI_AXES_ASSIGNED},
                      AxisCase{3, AXIS_X, 128, 0, ERROR_NO_VALID_AXIS_ASSIGNED},
                      AxisCase{3, 0x81, 128, 128, ERROR_MULTI_AXES_ASSIGNED},
                      AxisCase{16, 0x11, 128, 128, ERROR_INVALID_CARD_ID},
                      AxisCase{255, AXIS_X, 128, 128, ERROR_INVALID_CARD_ID},
                      AxisCase{2, AXIS_X, 128, 128, ERROR_INVALID_CARD_ID}));

TEST(AxisIndex, NamesOneAxisOrTheFault) {
  EXPECT_EQ(axis_index(AXIS_X), 0);
  EXPECT_EQ(axis_index(AXIS_U), 3);
  EXPECT_EQ(axis_index(AXIS_X | AXIS_Y), ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(axis_index(0x20), ERROR_NO_VALID_AXIS_ASSIGNED);
}

struct LimitCase {
  uint32_t range;
  double multiplier;
  uint32_t speed_min, speed_max, acc_min, acc_max, jerk_min, jerk_max;
};

class UpdateAxisLimits : public CardTableTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(UpdateAxisLimits, DerivesTheLimitsFromTheMultiplier) {
  const LimitCase &c = GetParam();
  const uint32_t ranges[4] = {c.range, c.range, c.range, c.range};
  set_up_axes(5, ranges);
  for (const AxisBlock &axis : card_table.cards[5].axes) {
    EXPECT_EQ(axis.multiplier, c.multiplier) << "range " << c.range;
    EXPECT_EQ(axis.speed_min, c.speed_min) << "range " << c.range;
    EXPECT_EQ(axis.speed_max, c.speed_max) << "range " << c.range;
    EXPECT_EQ(axis.acc_min, c.acc_min) << "range " << c.range;
    EXPECT_EQ(axis.acc_max, c.acc_max) << "range " << c.range;
    EXPECT_EQ(axis.jerk_min, c.jerk_min) << "range " << c.range;
    EXPECT_EQ(axis.jerk_max, c.jerk_max) << "range " << c.range;
  }
}

// M = 266.6666564941406 (single-precision quotient): speed min ceil(M) = 267,
// speed max floor(8,000 M) = 2,133,333, acceleration min ceil(125 M) = 33,334,
// acceleration max floor(10^6 M) = 266,666,656, jerk min 62.5e6 M / 65,535 =
// 254,317.02..., jerk max 16,666,666,030.88... > 2^32.
INSTANTIATE_TEST_SUITE_P(
    Ranges, UpdateAxisLimits,
    ::testing::Values(LimitCase{16000, 500, 500, 4000000, 62500, 500000000, 476844, 0xFFFFFFFFu},
                      LimitCase{160000, 50, 50, 400000, 6250, 50000000, 47684, 3125000000u},
                      LimitCase{8000000, 1, 1, 8000, 125, 1000000, 953, 62500000},
                      LimitCase{30000, 266.6666564941406, 267, 2133333, 33334, 266666656, 254317,
                                0xFFFFFFFFu}));

TEST_F(CardTableTest, SettingUpAxesClearsTheirMotionState) {
  AxisBlock &axis = card_table.cards[1].axes[2];
  axis.motion.avoid_triangle = 1;
  axis.motion.origin_offset = 77;
  axis.motion.internal_position_set = 1;
  const uint32_t ranges[4] = {16000, 16000, 16000, 16000};
  set_up_axes(1, ranges);
  EXPECT_EQ(axis.motion.avoid_triangle, 0);
  EXPECT_EQ(axis.motion.origin_offset, 0);
  EXPECT_EQ(axis.motion.internal_position_set, 0);
}

}  // namespace

namespace {

TEST(CopyInterfacePath, KeepsTheTerminatorOrRefusesThePath) {
  char slot[MAX_PATH];
  std::memset(slot, 'x', sizeof slot);
  const std::string longest(MAX_PATH - 1, 'p');
  EXPECT_TRUE(copy_interface_path(slot, longest.c_str()));
  EXPECT_EQ(std::string(slot), longest);

  std::memset(slot, 'x', sizeof slot);
  const std::string too_long(MAX_PATH, 'p');
  EXPECT_FALSE(copy_interface_path(slot, too_long.c_str())) << "260 characters leave no room for the NUL";
  EXPECT_EQ(slot[0], 'x') << "nothing copied";
}

}  // namespace

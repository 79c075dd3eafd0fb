// The request block's slot rules, the mapping of the driver's result words and
// the direction bytes of the multi-axis moves.
#include <gtest/gtest.h>

#include "axes_move.h"
#include "driver_status.h"
#include "request.h"

namespace {

struct WordCase {
  uint16_t word;
  int16_t slot1;
  ApiStatus status;
};

class MapDriverStatus : public ::testing::TestWithParam<WordCase> {};

TEST_P(MapDriverStatus, GivesTheStatusOfTheWord) {
  const WordCase &c = GetParam();
  EXPECT_EQ(map_driver_status(c.word, c.slot1), c.status)
      << "word 0x" << std::hex << c.word << ", slot 1 = " << std::dec << c.slot1;
}

INSTANTIATE_TEST_SUITE_P(
    Words, MapDriverStatus,
    ::testing::Values(
        WordCase{0x8001, 0, ERROR_CONFIG_IS_NEEDED}, WordCase{0x800A, 0, ERROR_CONFIG_IS_NEEDED},
        WordCase{0x800F, 0, ERROR_CONFIG_IS_NEEDED}, WordCase{0x801A, 0, ERROR_CONFIG_IS_NEEDED},
        WordCase{0x8002, 0, ERROR_MOTION_NOT_COMPLETE},
        WordCase{0x8003, 0, ERROR_CONFLICT_WITH_SOFTLIMIT},
        WordCase{0x8004, 0, ERROR_CONFLICT_WITH_CMPTRIG},
        WordCase{0x8007, 0, ERROR_CONFLICT_WITH_CMPTRIG},
        WordCase{0x801B, 0, ERROR_CONFLICT_WITH_CMPTRIG},
        WordCase{0x8005, 0, ERROR_CONFLICT_WITH_VRING},
        WordCase{0x8006, 0, ERROR_CONFLICT_WITH_SYNCH_ACTION},
        WordCase{0x8008, 0, ERROR_CONFLICT_WITH_SYNCH_ACTION},
        WordCase{0x800C, 5, ERROR_OCCURS_IN_AXIS_XZ}, WordCase{0x800C, 15, ERROR_OCCURS_IN_AXIS_XYZU},
        WordCase{0x800C, 1, ERROR_OCCURS_IN_AXIS_X}, WordCase{0x800C, -1, -299},
        WordCase{0x800D, 0, ERROR_REASSIGN_SYNCH_MODE_COMMAND},
        WordCase{0x800E, 0, ERROR_INTERPOLATION_NOT_COMPLETE},
        WordCase{0x8010, 0, ERROR_CONTI_INTERP_INTERRUPTED},
        WordCase{0x8013, 0, ERROR_CONTI_INTERP_INTERRUPTED},
        WordCase{0x8011, 0, ERROR_CONTI_INTERP_INCORRECT_CONFIG},
        WordCase{0x8012, 0, ERROR_CONTI_INTERP_NEXT_NOT_READY},
        WordCase{0x8014, 0, ERROR_NOT_CONSTANT_SPEED_IN_T_MOVE},
        WordCase{0x8015, 0, ERROR_INVALID_OPERATION_IN_S_CURVE},
        WordCase{0x8016, 0, ERROR_SPEED_CHANGE_FAIL_IN_ACC_DEC},
        WordCase{0x8017, 0, ERROR_MOTION_IS_COMPLETED},
        WordCase{0x8018, 0, ERROR_CONFLICT_WITH_INTERPOLATION_MOVE},
        WordCase{0x801C, 0, ERROR_DRIVER_STATUS_801C}, WordCase{0x801D, 0, ERROR_DRIVER_STATUS_801D},
        WordCase{0x801F, 0, ERROR_DRIVER_STATUS_801F}, WordCase{0x8021, 0, ERROR_DRIVER_STATUS_8021},
        WordCase{0x8023, 0, ERROR_DRIVER_STATUS_8023},
        // Words without a status of their own come back as signed 16-bit values.
        WordCase{0x8009, 0, -32759}, WordCase{0x800B, 0, -32757}, WordCase{0x8019, 0, -32743},
        WordCase{0x801E, 0, -32738}, WordCase{0x8020, 0, -32736}, WordCase{0x8022, 0, -32734},
        WordCase{0x8024, 0, -32732}, WordCase{0x0215, 0, 533}, WordCase{0xFE97, 0, -361}));

TEST(RequestSlots, ValuesTravelInTheLowHalfWithSignedShortsExtendedTo32Bits) {
  DriverRequest block{};
  for (uint64_t &slot : block.slot) slot = 0xAAAAAAAAAAAAAAAAull;
  put_i16(block, 1, -1);
  put_i32(block, 2, -2);
  put_u32(block, 3, 0x80000000u);
  preset_status(block);
  EXPECT_EQ(block.slot[1], 0x00000000FFFFFFFFull);
  EXPECT_EQ(block.slot[2], 0x00000000FFFFFFFEull);
  EXPECT_EQ(block.slot[3], 0x0000000080000000ull);
  EXPECT_EQ(status_word(block), 0xFE97);
  EXPECT_EQ(api_id(REQ_T_LINE2_MOVE), 1077);
  EXPECT_EQ(REQ_T_MOVE, 0x2210CCu);
}

struct DirectionCase {
  const char *name;
  uint16_t api_id, axis1, axis2, axis3;
  int32_t d1, d2, d3;
  uint8_t expected[4];
};

class FillMoveDirections : public ::testing::TestWithParam<DirectionCase> {};

TEST_P(FillMoveDirections, WritesTheBytesOfTheInterpolatedAxes) {
  const DirectionCase &c = GetParam();
  uint8_t direction[4] = {0x11, 0x11, 0x11, 0x11};
  fill_move_directions(c.api_id, c.axis1, c.axis2, c.axis3, c.d1, c.d2, c.d3, direction);
  for (int axis = 0; axis < 4; ++axis)
    EXPECT_EQ(direction[axis], c.expected[axis]) << c.name << ", axis " << axis;
}

INSTANTIATE_TEST_SUITE_P(
    Moves, FillMoveDirections,
    ::testing::Values(
        DirectionCase{"T line2 X+0 Y-5", 1077, AXIS_X, AXIS_Y, 128, 0, -5, 0, {0xFF, 0, 0x11, 0x11}},
        DirectionCase{"S line2 U+ Z-", 1079, AXIS_U, AXIS_Z, 128, 7, -1, 0, {0x11, 0x11, 0, 1}},
        DirectionCase{"T line3", 1078, AXIS_Y, AXIS_Z, AXIS_U, 1, 0, -3, {0x11, 1, 0xFF, 0}},
        DirectionCase{"S line3", 1080, AXIS_X, AXIS_Y, AXIS_Z, -1, -1, 1, {0, 0, 1, 0x11}},
        DirectionCase{"arc", 1081, AXIS_Z, AXIS_X, 128, 5, 5, 0, {0xFE, 0x11, 0xFE, 0x11}},
        DirectionCase{"conti 2 axes", 1083, AXIS_X, AXIS_Y, 0, 0, 0, 0, {0xFE, 0xFE, 0x11, 0x11}},
        DirectionCase{"conti 3 axes", 1083, AXIS_X, AXIS_Y, AXIS_U, 0, 0, 0, {0xFE, 0xFE, 0x11, 0xFE}},
        DirectionCase{"other id", 1074, AXIS_X, AXIS_Y, AXIS_Z, 1, 1, 1, {0x11, 0x11, 0x11, 0x11}}));

}  // namespace

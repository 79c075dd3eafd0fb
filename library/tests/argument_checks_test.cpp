// The option checks of every ApiId, at the edges of what each rule accepts,
// for both card models; and the helpers over axis masks and distances.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <utility>

#include "argument_checks.h"

namespace {

enum class Models { Both, OnlyA, OnlyB };

struct CheckRow {
  Models models;
  uint16_t api_id;
  uint16_t v1, v2, v3, v4;
  int32_t v5, v6;
  ApiStatus expected;
};

constexpr Models BOTH = Models::Both;
constexpr Models A = Models::OnlyA;
constexpr Models B = Models::OnlyB;

const CheckRow kRows[] = {
    // Pulse output: mode, level, direction (looked at in mode 0x40 only).
    {BOTH, API_SET_PLS_CFG, 0, 0, 0, 0, 0, 0, 0},
    {BOTH, API_SET_PLS_CFG, 0x40, 0x80, 0x100, 0, 0, 0, 0},
    {BOTH, API_SET_PLS_CFG, 0x41, 0, 0, 0, 0, 0, ERROR_INVALID_PULSE_MODE},
    {BOTH, API_SET_PLS_CFG, 0x80, 0, 0, 0, 0, 0, ERROR_INVALID_PULSE_MODE},
    {BOTH, API_SET_PLS_CFG, 0, 0x40, 0, 0, 0, 0, ERROR_INVALID_PULSE_LEVEL},
    {BOTH, API_SET_PLS_CFG, 0x40, 0, 0x80, 0, 0, 0, ERROR_INVALID_PULSE_DIRECTION},
    {BOTH, API_SET_PLS_CFG, 0, 0, 0x1234, 0, 0, 0, 0},
    {BOTH, API_SET_PLS_CFG, 0x40, 0x81, 0x1234, 0, 0, 0, ERROR_INVALID_PULSE_LEVEL},
    // Encoder input.
    {BOTH, API_SET_ENC_CFG, 0, 0, 0, 0, 0, 0, 0},
    {BOTH, API_SET_ENC_CFG, 512, 0, 0, 0, 0, 0, 0},
    {BOTH, API_SET_ENC_CFG, 1024, 0, 0, 0, 0, 0, 0},
    {BOTH, API_SET_ENC_CFG, 2048, 0, 0, 0, 0, 0, 0},
    {BOTH, API_SET_ENC_CFG, 1536, 0, 0, 0, 0, 0, ERROR_INVALID_ENCODER_MODE},
    {BOTH, API_SET_ENC_CFG, 256, 0, 0, 0, 0, 0, ERROR_INVALID_ENCODER_MODE},
    // Limit switches: logic, then stop mode.
    {BOTH, API_SET_LIMIT, 24, 4, 0, 0, 0, 0, 0},
    {BOTH, API_SET_LIMIT, 8, 0, 0, 0, 0, 0, ERROR_INVALID_LIMIT_LOGIC},
    {BOTH, API_SET_LIMIT, 0, 5, 0, 0, 0, 0, ERROR_INVALID_STOP_MODE},
    {BOTH, API_SET_LIMIT, 25, 5, 0, 0, 0, 0, ERROR_INVALID_LIMIT_LOGIC},
    // In-position input: the logic of a disabled input is not looked at.
    {BOTH, API_SET_INP, 0x8000, 0x4000, 0, 0, 0, 0, 0},
    {BOTH, API_SET_INP, 0, 0x1234, 0, 0, 0, 0, 0},
    {BOTH, API_SET_INP, 1, 0, 0, 0, 0, 0, ERROR_INVALID_INP_ENABLE},
    {BOTH, API_SET_INP, 0x8000, 0x1234, 0, 0, 0, 0, ERROR_INVALID_INP_LOGIC_LEVEL},
    // Alarm input, likewise.
    {BOTH, API_SET_ALARM, 0x2000, 0x1000, 0, 0, 0, 0, 0},
    {BOTH, API_SET_ALARM, 0, 0x1234, 0, 0, 0, 0, 0},
    {BOTH, API_SET_ALARM, 0x1000, 0, 0, 0, 0, 0, ERROR_INVALID_ALARM_ENABLE},
    {BOTH, API_SET_ALARM, 0x2000, 0x2000, 0, 0, 0, 0, ERROR_INVALID_ALARM_LOGIC_LEVEL},
    // The three on/off outputs, each with its own code.
    {BOTH, API_SET_ALARM_RESET, 1, 0, 0, 0, 0, 0, 0},
    {BOTH, API_SET_ALARM_RESET, 2, 0, 0, 0, 0, 0, ERROR_INVALID_ALARM_RESET},
    {BOTH, API_SET_ERC, 0, 0, 0, 0, 0, 0, 0},
    {BOTH, API_SET_ERC, 2, 0, 0, 0, 0, 0, ERROR_INVALID_ERC},
    {BOTH, API_SET_GDO, 1, 0, 0, 0, 0, 0, 0},
    {BOTH, API_SET_GDO, 0xFFFF, 0, 0, 0, 0, 0, ERROR_INVALID_GDO},
    // IN3.
    {BOTH, API_SET_IN3, 0x80, 0x40, 0, 0, 0, 0, 0},
    {BOTH, API_SET_IN3, 0x40, 0, 0, 0, 0, 0, ERROR_INVALID_IN3_ENABLE},
    {BOTH, API_SET_IN3, 0, 0x80, 0, 0, 0, 0, ERROR_INVALID_IN3_LOGIC_LEVEL},
    // Filter: configuration within bits 8..12 and delay n x 0x2000 when enabled.
    {BOTH, API_SET_FILTER, 1, 0x1F00, 0xE000, 0, 0, 0, 0},
    {BOTH, API_SET_FILTER, 1, 0, 0, 0, 0, 0, 0},
    {BOTH, API_SET_FILTER, 0, 0xFFFF, 0x1234, 0, 0, 0, 0},
    {BOTH, API_SET_FILTER, 2, 0, 0, 0, 0, 0, ERROR_INVALID_FILTER_ENABLE},
    {BOTH, API_SET_FILTER, 1, 0x2000, 0, 0, 0, 0, ERROR_INVALID_FILTER_CONFIGURATION},
    {BOTH, API_SET_FILTER, 1, 0x00FF, 0, 0, 0, 0, ERROR_INVALID_FILTER_CONFIGURATION},
    {BOTH, API_SET_FILTER, 1, 0x0100, 0x1000, 0, 0, 0, ERROR_INVALID_FILTER_DELAY_TIME},
    {BOTH, API_SET_FILTER, 1, 0x0100, 0x2001, 0, 0, 0, ERROR_INVALID_FILTER_DELAY_TIME},
    // Software limit: source looked at when enabled.
    {BOTH, API_SET_SOFTLIMIT, 3, 32, 0, 0, 0, 0, 0},
    {BOTH, API_SET_SOFTLIMIT, 0, 5, 0, 0, 0, 0, 0},
    {BOTH, API_SET_SOFTLIMIT, 1, 0, 0, 0, 0, 0, ERROR_INVALID_SOFTWARE_LIMIT_ENABLE},
    {BOTH, API_SET_SOFTLIMIT, 3, 16, 0, 0, 0, 0,
     ERROR_INVALID_SOFTWARE_LIMIT_COMPARATOR_SOURCE},
    // Home configuration: home, near-home and index levels, step.
    {BOTH, API_SET_HOME_CFG, 4, 1, 16, 255, 0, 0, 0},
    {BOTH, API_SET_HOME_CFG, 1, 0, 0, 0, 0, 0, ERROR_INVALID_HOME_LOGIC_LEVEL},
    {BOTH, API_SET_HOME_CFG, 0, 4, 0, 0, 0, 0, ERROR_INVALID_NEAR_HOME_LOGIC_LEVEL},
    {BOTH, API_SET_HOME_CFG, 0, 0, 1, 0, 0, 0, ERROR_INVALID_INDEX_LOGIC_LEVEL},
    {BOTH, API_SET_HOME_CFG, 0, 0, 0, 256, 0, 0, ERROR_INVALID_AUTO_HOME_STEP},
    {BOTH, API_SET_HOME_CFG_EX, 4, 1, 16, 5, 0, 0, 0},
    {BOTH, API_SET_HOME_CFG_EX, 0, 0, 0x10, 6, 0, 0, ERROR_HOME_CFG_EX_SET},
    {BOTH, API_SET_HOME_CFG_EX, 0, 2, 0, 6, 0, 0, ERROR_INVALID_NEAR_HOME_LOGIC_LEVEL},
    // Wait flag of the home search, the line and the arc moves.
    {BOTH, API_HOME_START, 1, 0, 0, 0, 0, 0, 0},
    {BOTH, API_HOME_START, 2, 0, 0, 0, 0, 0, ERROR_INVALID_BLOCK_OPEARTION_MODE},
    {BOTH, API_T_LINE2_MOVE, 2, 0, 0, 0, 0, 0, ERROR_INVALID_BLOCK_OPEARTION_MODE},
    {BOTH, API_T_LINE3_MOVE, 2, 0, 0, 0, 0, 0, ERROR_INVALID_BLOCK_OPEARTION_MODE},
    {BOTH, API_S_LINE2_MOVE, 2, 0, 0, 0, 0, 0, ERROR_INVALID_BLOCK_OPEARTION_MODE},
    {BOTH, API_S_LINE3_MOVE, 2, 0, 0, 0, 0, 0, ERROR_INVALID_BLOCK_OPEARTION_MODE},
    {BOTH, API_T_ARC2_MOVE, 0, 0, 0, 0, 0, 0, 0},
    {BOTH, API_T_ARC2_MOVE, 0x100, 0, 0, 0, 0, 0, ERROR_INVALID_BLOCK_OPEARTION_MODE},
    // Ring counter enable.
    {BOTH, API_SET_VRING, 16, 0, 0, 0, 0, 0, 0},
    {BOTH, API_SET_VRING, 1, 0, 0, 0, 0, 0, ERROR_INVALID_FILTER_ENABLE},
    // Compare trigger: enable, source, mode, direction, output, table direction.
    {BOTH, API_CMPTRIG_CONFIG, 0, 0xFFFF, 0xFFFF, 0xFFFF, -1, -1, 0},  // off passes at once
    {BOTH, API_CMPTRIG_CONFIG, 1, 0, 0, 0, 0, 0, ERROR_INVALID_CMPTRIG_ENABLE},
    {BOTH, API_CMPTRIG_CONFIG, 0x4000, 16, 0, 0, 0x0800, 0, ERROR_INVALID_COMPARATOR_SOURCE},
    {BOTH, API_CMPTRIG_CONFIG, 0x4000, 32, 8, 0, 0x0800, 0, ERROR_INVALID_CMPTRIG_SOURCE},
    {BOTH, API_CMPTRIG_CONFIG, 0x4000, 0, 16, 2048, 0x0800, 0, ERROR_INVALID_CMPTRIG_DIRECTION},
    {A, API_CMPTRIG_CONFIG, 0x4000, 32, 16, 4096, 0xE800, 7, 0},  // table direction not used
    {A, API_CMPTRIG_CONFIG, 0x4000, 0, 0, 0, 0x0800, 1, 0},
    {A, API_CMPTRIG_CONFIG, 0x4000, 0, 0, 0, 0x2800, 0, 0},
    {A, API_CMPTRIG_CONFIG, 0x4000, 0, 0, 0, 0x0000, 0, ERROR_INVALID_CMPTRIG_OUTPUT},
    {A, API_CMPTRIG_CONFIG, 0x4000, 0, 0, 0, 0x0801, 0, ERROR_INVALID_CMPTRIG_OUTPUT},
    {A, API_CMPTRIG_CONFIG, 0x4000, 0, 0, 0, 0x1800, 0, ERROR_INVALID_CMPTRIG_OUTPUT},
    {A, API_CMPTRIG_CONFIG, 0x4000, 0, 0, 0, 1, 0, ERROR_INVALID_CMPTRIG_OUTPUT},
    {A, API_CMPTRIG_CONFIG, 0x4000, 0, 0, 0, 0x0800, 2, ERROR_INVALID_MOVE_DIRECTION},
    // Model B: output 1..15, the direction flag checked in every mode.
    {B, API_CMPTRIG_CONFIG, 0x4000, 32, 16, 4096, 15, 1, 0},
    {B, API_CMPTRIG_CONFIG, 0x4000, 0, 16, 0, 1, 0, 0},
    {B, API_CMPTRIG_CONFIG, 0x4000, 0, 16, 0, 0, 0, ERROR_INVALID_CMPTRIG_OUTPUT},
    {B, API_CMPTRIG_CONFIG, 0x4000, 0, 16, 0, 16, 0, ERROR_INVALID_CMPTRIG_OUTPUT},
    {B, API_CMPTRIG_CONFIG, 0x4000, 0, 0, 0, 0x0800, 0, ERROR_INVALID_CMPTRIG_OUTPUT},
    {B, API_CMPTRIG_CONFIG, 0x4000, 0, 16, 0, 3, 2, ERROR_INVALID_MOVE_DIRECTION},
    // Synchronous action, model A: enable, condition, values 3 to 5.
    {BOTH, API_SET_SYNCH, 0, 0xFFFF, 0xFFFF, 0xFFFF, -1, 0, 0},  // off passes at once
    {BOTH, API_SET_SYNCH, 2, 0, 0, 0, 0, 0, ERROR_INVALID_SYNCH_ENABLE},
    {A, API_SET_SYNCH, 1, 8, 0x4000, 128, 32, 0, 0},
    {A, API_SET_SYNCH, 1, 1, 0x0100, 0, 0, 0, ERROR_INVALID_SYNCH_CONDITION},
    {A, API_SET_SYNCH, 1, 2, 0x0101, 0, 0, 0, 0},
    {A, API_SET_SYNCH, 1, 4, 0, 3, 0, 0, ERROR_INVALID_SYNCH_CONDITION},
    {A, API_SET_SYNCH, 1, 4, 0, 256, 0, 0, ERROR_INVALID_SYNCH_CONDITION},
    {A, API_SET_SYNCH, 1, 4, 0, 0, 16, 0, ERROR_INVALID_COMPARATOR_SOURCE},
    {A, API_SET_SYNCH, 1, 64, 128, 0xFFFF, -1, 0, 0},  // values 4 and 5 not used
    {A, API_SET_SYNCH, 1, 128, 16, 0, 0, 0, ERROR_INVALID_SYNCH_CONDITION},
    {A, API_SET_SYNCH, 1, 64, 3, 0, 0, 0, ERROR_INVALID_SYNCH_CONDITION},
    {A, API_SET_SYNCH, 1, 3, 0xFFFF, 0xFFFF, -1, 0, 0},  // other conditions pass
    {A, API_SET_SYNCH, 1, 16, 0xFFFF, 0xFFFF, -1, 0, 0},
    // Model B: condition 16, 32 or an axis mask without X+Y or Z+U; a bad
    // condition answers -267 (ERROR_INVALID_WDT_MODE by name).
    {B, API_SET_SYNCH, 1, 5, 0x4000, 0x0001, 32, 0, 0},
    {B, API_SET_SYNCH, 1, 0, 0, 0, 0, 0, 0},
    {B, API_SET_SYNCH, 1, 16, 0, 0, 0, 0, 0},
    {B, API_SET_SYNCH, 1, 32, 0, 0, 0, 0, 0},
    {B, API_SET_SYNCH, 1, 3, 0, 0, 0, 0, ERROR_INVALID_WDT_MODE},
    {B, API_SET_SYNCH, 1, 12, 0, 0, 0, 0, ERROR_INVALID_WDT_MODE},
    {B, API_SET_SYNCH, 1, 64, 0, 0, 0, 0, ERROR_INVALID_WDT_MODE},
    {B, API_SET_SYNCH, 1, 1, 0x0100, 0, 0, 0, ERROR_INVALID_SYNCH_CONDITION},
    {B, API_SET_SYNCH, 1, 1, 0, 0x8000, 0, 0, ERROR_INVALID_SYNCH_CONDITION},
    {B, API_SET_SYNCH, 1, 1, 0, 0x0080, 16, 0, ERROR_INVALID_COMPARATOR_SOURCE},
    // Interrupt factor: the low byte must be 0.
    {BOTH, API_SET_INT_FACTOR, 0, 0, 0, 0, 0, 0, 0},
    {BOTH, API_SET_INT_FACTOR, 0xFF00, 0, 0, 0, 0, 0, 0},
    {BOTH, API_SET_INT_FACTOR, 0x0101, 0, 0, 0, 0, 0, ERROR_INVALID_INT_FACTOR},
    {BOTH, API_SET_INT_FACTOR, 0x0080, 0, 0, 0, 0, 0, ERROR_INVALID_INT_FACTOR},
    // Compare mask: five flags, each 0 or 1.
    {BOTH, API_SET_CMP_MASK_IN3, 1, 1, 1, 1, 1, 0x1234, 0},
    {BOTH, API_SET_CMP_MASK_IN3, 0, 0, 0, 0, 2, 0, ERROR_INVALID_CMP_MASK},
    {BOTH, API_SET_CMP_MASK_IN3, 0, 0, 2, 0, 0, 0, ERROR_INVALID_CMP_MASK},
    // Comparator source.
    {BOTH, API_SET_CMP, 32, 0, 0, 0, 0, 0, 0},
    {BOTH, API_SET_CMP, 1, 0, 0, 0, 0, 0, ERROR_INVALID_COMPARATOR_SOURCE},
    // Ids without rules.
    {BOTH, API_CONTI_INTERP_BEGIN, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, -1, -1, 0},
    {BOTH, 0x433, 0xFFFF, 0, 0, 0, 0, 0, 0},
};

bool applies(Models models, CardModel model) {
  return models == Models::Both || (models == Models::OnlyA) == (model == CardModel::A);
}

TEST(ValidateApiArgs, EachRuleAcceptsItsValuesAndRefusesWithItsCode) {
  for (CardModel model : {CardModel::A, CardModel::B}) {
    for (const CheckRow &row : kRows) {
      if (!applies(row.models, model)) continue;
      SCOPED_TRACE(testing::Message() << "model " << (model == CardModel::A ? 'A' : 'B')
                                      << " id " << row.api_id << " values " << row.v1 << ", "
                                      << row.v2 << ", " << row.v3 << ", " << row.v4 << ", "
                                      << row.v5 << ", " << row.v6);
      EXPECT_EQ(validate_api_args_of_model(model, row.api_id, row.v1, row.v2, row.v3, row.v4,
                                           row.v5, row.v6),
                row.expected);
    }
  }
}

// Values 5 and 6 travel as 32-bit values but count by their low 16 bits.
TEST(ValidateApiArgs, WideValuesAreComparedBy16Bits) {
  EXPECT_EQ(validate_api_args_of_model(CardModel::A, API_CMPTRIG_CONFIG, 0x4000, 0, 0, 0,
                                       0x10800, 0x10001),
            0);
  EXPECT_EQ(validate_api_args_of_model(CardModel::B, API_SET_SYNCH, 1, 1, 0, 0, 0x10020, 0), 0);
}

TEST(ApiIdNumbers, AreTheCommandNumbersOfTheRequests) {
  const std::pair<ApiId, int> ids[] = {
      {API_SET_PLS_CFG, 1031},     {API_SET_ENC_CFG, 1032},    {API_SET_LIMIT, 1033},
      {API_SET_INP, 1034},         {API_SET_ALARM, 1035},      {API_SET_ALARM_RESET, 1036},
      {API_SET_ERC, 1037},         {API_SET_GDO, 1038},        {API_SET_IN3, 1041},
      {API_SET_FILTER, 1043},      {API_SET_SOFTLIMIT, 1044},  {API_SET_HOME_CFG, 1045},
      {API_HOME_START, 1047},      {API_SET_HOME_CFG_EX, 1048}, {API_SET_VRING, 1064},
      {API_CMPTRIG_CONFIG, 1067},  {API_SET_SYNCH, 1068},      {API_SET_INT_FACTOR, 1069},
      {API_T_LINE2_MOVE, 1077},    {API_T_LINE3_MOVE, 1078},   {API_S_LINE2_MOVE, 1079},
      {API_S_LINE3_MOVE, 1080},    {API_T_ARC2_MOVE, 1081},    {API_CONTI_INTERP_BEGIN, 1083},
      {API_SET_CMP_MASK_IN3, 1110}, {API_SET_CMP, 1111},
  };
  for (const auto &[id, number] : ids) EXPECT_EQ(id, number);
}

TEST(OtherAxesMask, GivesTheOtherAxesInCyclicOrder) {
  struct Row {
    int axis;
    uint16_t mask, expected;
  };
  const Row rows[] = {
      {0, AXIS_Y, 1},                    // X: Y, Z, U in bits 0, 1, 2
      {0, AXIS_U, 4},
      {1, AXIS_X | AXIS_Z | AXIS_U, 7},  // Y: Z, U, X
      {1, AXIS_X, 4},
      {1, AXIS_Y, 0},                    // the axis itself is dropped
      {2, AXIS_U, 1},                    // Z: U, X, Y
      {2, AXIS_X, 2},
      {2, AXIS_Y, 4},
      {3, AXIS_X | AXIS_Z, 5},           // U: X, Y, Z
      {3, 0xF, 7},
      {0, 0xF, 7},
      {0, 0xF0 | AXIS_Z, 2},             // bits above the axes are ignored
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(testing::Message() << "axis " << row.axis << " mask " << row.mask);
    EXPECT_EQ(other_axes_mask(row.axis, row.mask), row.expected);
  }
}

TEST(MaxAbs3, LargestMagnitudeOfThree) {
  EXPECT_EQ(max_abs3(3, -7, 5), 7u);
  EXPECT_EQ(max_abs3(0, 0, 0), 0u);
  EXPECT_EQ(max_abs3(-1, 1, 0), 1u);
  EXPECT_EQ(max_abs3(INT32_MIN, 0, INT32_MAX), 2147483648u);
}

}  // namespace

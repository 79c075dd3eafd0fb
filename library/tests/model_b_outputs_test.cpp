// The model-B card's per-axis outputs end to end: the alarm-reset and GDO bits
// of the card's output word, the ERC field of the axis's extension word, and
// the order of the checks.
#include <gtest/gtest.h>

#include "machine_probe.h"
#include "open_cards.h"

namespace {

constexpr uint8_t CARD = 1;
constexpr uint16_t AXIS_BITS[] = {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U};
constexpr uint16_t ERC_FIELD = 0xF000;

class ModelBOutputsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int16_t count = 0;
    ASSERT_EQ(rm730_scan(&count, nullptr), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm730_open(CARD), SUCCESS_NO_ERROR);
  }
  AttachedLibrary library_{homed_cards("B", {CARD})};
};

TEST_F(ModelBOutputsTest, EachAxisSwitchesItsOwnBits) {
  for (int axis = 0; axis < 4; ++axis) {
    SCOPED_TRACE(axis);
    const uint16_t alarm_reset = static_cast<uint16_t>(0x0004 << (4 * axis));
    const uint16_t gdo = static_cast<uint16_t>(0x0008 << (4 * axis));
    ASSERT_EQ(rm730_set_alarm_reset(CARD, AXIS_BITS[axis], 1), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm730_set_gdo(CARD, AXIS_BITS[axis], 1), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm730_set_erc(CARD, AXIS_BITS[axis], 1), SUCCESS_NO_ERROR);
    EXPECT_EQ(probe_output_word(0) & (alarm_reset | gdo), alarm_reset | gdo);
    EXPECT_EQ(probe_axis(0, axis).ext_word2 & ERC_FIELD, 0x1000);

    ASSERT_EQ(rm730_set_alarm_reset(CARD, AXIS_BITS[axis], 0), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm730_set_gdo(CARD, AXIS_BITS[axis], 0), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm730_set_erc(CARD, AXIS_BITS[axis], 0), SUCCESS_NO_ERROR);
    EXPECT_EQ(probe_output_word(0) & (alarm_reset | gdo), 0);
    EXPECT_EQ(probe_axis(0, axis).ext_word2 & ERC_FIELD, 0);
  }
}

TEST_F(ModelBOutputsTest, ChecksCardThenAxisThenTheOnValue) {
  using Export = ApiStatus (*)(uint8_t, uint16_t, uint8_t);
  const struct {
    Export output;
    ApiStatus bad_on;
  } outputs[] = {{rm730_set_alarm_reset, ERROR_INVALID_ALARM_RESET},
                 {rm730_set_gdo, ERROR_INVALID_GDO},
                 {rm730_set_erc, ERROR_INVALID_ERC}};
  for (const auto &o : outputs) {
    EXPECT_EQ(o.output(16, AXIS_X, 2), ERROR_INVALID_CARD_ID);
    EXPECT_EQ(o.output(CARD, AXIS_X | AXIS_Y, 2), ERROR_MULTI_AXES_ASSIGNED);
    EXPECT_EQ(o.output(CARD, AXIS_Z, 2), o.bad_on);
  }
}

}  // namespace

// The axis configuration exports end to end: their order of checks, and the
// words they send as the driver keeps them and the chip shows them.
#include <gtest/gtest.h>

#include <functional>

#include "card_table.h"
#include "machine_probe.h"
#include "open_cards.h"

namespace {

constexpr int X = 0, Y = 1, Z = 2;
constexpr uint8_t CARD = 3;         // the open card, in slot 0
constexpr uint8_t CLOSED_CARD = 4;  // found, not open

class AxisConfigurationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int16_t count = 0;
    ASSERT_EQ(rm720_scan(&count, nullptr), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_open(CARD), SUCCESS_NO_ERROR);
  }

  AttachedLibrary library_{homed_cards("A", {CARD, CLOSED_CARD})};
};

// Range bounds come before the card; then card, axis and options in turn.
struct OrderCase {
  const char *what;
  std::function<ApiStatus()> call;
  ApiStatus expected;
};

class CheckOrderTest : public AxisConfigurationTest,
                       public ::testing::WithParamInterface<OrderCase> {};

TEST_P(CheckOrderTest, ReportsTheFirstCheckThatFails) {
  EXPECT_EQ(GetParam().call(), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Exports, CheckOrderTest,
    ::testing::Values(
        OrderCase{"range too small, card 99", [] { return rm720_set_range(99, 0x11, 15999); },
                  ERROR_INVALID_RANGE},
        OrderCase{"range too large, card 99", [] { return rm720_set_range(99, 1, 8000001); },
                  ERROR_INVALID_RANGE},
        OrderCase{"range valid, card 99", [] { return rm720_set_range(99, 1, 16000); },
                  ERROR_INVALID_CARD_ID},
        OrderCase{"range valid, closed card", [] { return rm720_set_range(CLOSED_CARD, 1, 16000); },
                  ERROR_INVALID_CARD_ID},
        OrderCase{"range valid, two axes", [] { return rm720_set_range(CARD, 3, 16000); },
                  ERROR_MULTI_AXES_ASSIGNED},
        OrderCase{"maximum speed too small, card 99", [] { return rm720_set_max_v(99, 0, 7999); },
                  ERROR_INVALID_RANGE},
        OrderCase{"maximum speed too large", [] { return rm720_set_max_v(CARD, 1, 4000001); },
                  ERROR_INVALID_RANGE},
        OrderCase{"bad mode, closed card", [] { return rm720_set_pls_cfg(CLOSED_CARD, 0x11, 7, 0, 0); },
                  ERROR_INVALID_CARD_ID},
        OrderCase{"bad mode, two axes", [] { return rm720_set_pls_cfg(CARD, 0x11, 7, 0, 0); },
                  ERROR_MULTI_AXES_ASSIGNED},
        OrderCase{"bad mode, no axis", [] { return rm720_set_pls_cfg(CARD, 0x10, 7, 0, 0); },
                  ERROR_NO_VALID_AXIS_ASSIGNED},
        OrderCase{"bad pulse mode", [] { return rm720_set_pls_cfg(CARD, 1, 7, 0, 0); },
                  ERROR_INVALID_PULSE_MODE},
        OrderCase{"bad encoder mode", [] { return rm720_set_enc_cfg(CARD, 1, 256); },
                  ERROR_INVALID_ENCODER_MODE},
        OrderCase{"bad stop mode", [] { return rm720_set_limit(CARD, 1, 24, 2); },
                  ERROR_INVALID_STOP_MODE},
        OrderCase{"bad in-position logic", [] { return rm720_set_inp(CARD, 1, 0x8000, 1); },
                  ERROR_INVALID_INP_LOGIC_LEVEL},
        OrderCase{"bad alarm enable", [] { return rm720_set_alarm(CARD, 1, 1, 0); },
                  ERROR_INVALID_ALARM_ENABLE},
        OrderCase{"servo on = 2, closed card", [] { return rm720_servo_on(CLOSED_CARD, 1, 2, 1); },
                  ERROR_INVALID_CARD_ID},
        OrderCase{"servo on = 2", [] { return rm720_servo_on(CARD, 1, 2, 1); },
                  ERROR_INVALID_SERVO_SETTING},
        OrderCase{"bad filter delay", [] { return rm720_set_filter(CARD, 1, 1, 0x100, 0x1000); },
                  ERROR_INVALID_FILTER_DELAY_TIME},
        OrderCase{"bad software limit source", [] { return rm720_set_softlimit(CARD, 1, 3, 1, 0, 0); },
                  ERROR_INVALID_SOFTWARE_LIMIT_COMPARATOR_SOURCE},
        OrderCase{"bad home level", [] { return rm720_set_home_cfg(CARD, 1, 1, 0, 0, 0, 0); },
                  ERROR_INVALID_HOME_LOGIC_LEVEL},
        OrderCase{"home step 256", [] { return rm720_set_home_cfg(CARD, 1, 0, 0, 0, 256, 0); },
                  ERROR_INVALID_AUTO_HOME_STEP},
        OrderCase{"range settings, closed card",
                  [] {
                    int32_t limits[6];
                    return rm720_get_range_settings(CLOSED_CARD, 1, limits);
                  },
                  ERROR_INVALID_CARD_ID}));

TEST_F(AxisConfigurationTest, RangeChangeGivesTheLimitsOfItsMultiplier) {
  ASSERT_EQ(rm720_set_range(CARD, AXIS_Y, 160000), SUCCESS_NO_ERROR);
  int32_t limits[6];
  ASSERT_EQ(rm720_get_range_settings(CARD, AXIS_Y, limits), SUCCESS_NO_ERROR);
  const int32_t m50[6] = {static_cast<int32_t>(3125000000u), 47684, 6250, 50000000, 50, 400000};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(limits[i], m50[i]) << "limit " << i;

  ASSERT_EQ(rm720_set_max_v(CARD, AXIS_Z, 3000000), SUCCESS_NO_ERROR);
  EXPECT_EQ(card_table.cards[CARD].axes[Z].range, 21333u);
  // The driver keeps the ranges: a new open reads them back.
  ASSERT_EQ(rm720_close(CARD), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_open(CARD), SUCCESS_NO_ERROR);
  EXPECT_EQ(card_table.cards[CARD].axes[Y].range, 160000u);
  EXPECT_EQ(card_table.cards[CARD].axes[Z].range, 21333u);
}

TEST_F(AxisConfigurationTest, RangeOfADrivingAxisIsRefusedAndKept) {
  probe_start_drive(0, X);
  EXPECT_EQ(rm720_set_range(CARD, AXIS_X, 160000), ERROR_MOTION_NOT_COMPLETE);
  probe_stop_drive(0, X);
  EXPECT_EQ(card_table.cards[CARD].axes[X].range, 16000u);
  EXPECT_EQ(card_table.cards[CARD].axes[X].speed_max, 4000000u);
}

TEST_F(AxisConfigurationTest, RangeSettingsIntoFaultingMemory) {
  EXPECT_EQ(rm720_get_range_settings(CARD, AXIS_X, reinterpret_cast<int32_t *>(16)),
            ERROR_ACCESS_VIOLATION_DATA_COPY);
}

TEST_F(AxisConfigurationTest, ModeWordsReachTheDriver) {
  // The direction output only counts in the pulse-and-direction mode.
  ASSERT_EQ(rm720_set_pls_cfg(CARD, AXIS_X, 0, 0x80, 0x1234), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_enc_cfg(CARD, AXIS_X, 2048), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_limit(CARD, AXIS_X, 24, 4), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_axis(0, X).mode2, 0x0080 | 0x0800 | 0x001C);
  ASSERT_EQ(rm720_set_pls_cfg(CARD, AXIS_X, 0x40, 0, 0x100), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_axis(0, X).mode2, 0x0140 | 0x0800 | 0x001C);
}

TEST_F(AxisConfigurationTest, DisabledInputsSendNoLevel) {
  ASSERT_EQ(rm720_set_inp(CARD, AXIS_Y, 0x8000, 0x4000), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_alarm(CARD, AXIS_Y, 0x2000, 0x1000), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_axis(0, Y).mode2, 0xF000);
  EXPECT_EQ(probe_axis(0, Y).inputs & 0x40, 0x40) << "in position, shown at the high level";
  ASSERT_EQ(rm720_set_inp(CARD, AXIS_Y, 0, 0x1234), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_alarm(CARD, AXIS_Y, 0, 0x1234), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_axis(0, Y).mode2, 0);
}

TEST_F(AxisConfigurationTest, ServoOnSwitchesTheAxisOutput) {
  ASSERT_EQ(rm720_servo_on(CARD, AXIS_Z, 1, 1), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_output_word(0), 0x0200);
  EXPECT_EQ(probe_axis(0, Z).servo_state, 1);
  ASSERT_EQ(rm720_servo_on(CARD, AXIS_Z, 0, 1), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_output_word(0), 0);
}

TEST_F(AxisConfigurationTest, FilterWordOnlyWhenEnabled) {
  ASSERT_EQ(rm720_set_filter(CARD, AXIS_X, 1, 0x0500, 0x4000), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_axis(0, X).ext_word1, 0x4500);
  ASSERT_EQ(rm720_set_filter(CARD, AXIS_X, 0, 0x0500, 0x4000), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_axis(0, X).ext_word1, 0);
}

TEST_F(AxisConfigurationTest, SoftwareLimitsWatchTheChosenCounter) {
  ASSERT_EQ(rm720_set_softlimit(CARD, AXIS_Y, 3, 32, -10, 10), SUCCESS_NO_ERROR);
  AxisProbe y = probe_axis(0, Y);
  EXPECT_EQ(y.mode2, 0x0023);
  EXPECT_EQ(y.feature_owner, 1);
  EXPECT_EQ(y.status2 & 3, 3) << "the counter (0) lies beyond both limits";
  ASSERT_EQ(rm720_set_softlimit(CARD, AXIS_Y, 0, 0, 0, 0), SUCCESS_NO_ERROR);
  y = probe_axis(0, Y);
  EXPECT_EQ(y.mode2, 0);
  EXPECT_EQ(y.status2 & 3, 0);
}

TEST_F(AxisConfigurationTest, HomeLevelsAndSteps) {
  const uint8_t home_low = probe_axis(0, X).inputs & 0x02;
  ASSERT_EQ(rm720_set_home_cfg(CARD, AXIS_X, 4, 1, 16, 0x47, 500), SUCCESS_NO_ERROR);
  const AxisProbe x = probe_axis(0, X);
  EXPECT_EQ(x.mode1, 0x15);
  EXPECT_EQ(x.ext_word2, 0x0847);
  EXPECT_NE(x.inputs & 0x02, home_low) << "the home sensor is now read at the high level";
}

}  // namespace

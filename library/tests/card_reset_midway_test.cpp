// A card reset or a sleep in the middle of a running feature, then the same
// feature again, end to end on the manual clock: it works as on a fresh
// card, for nothing of the feature from before is left in the driver.
#include <gtest/gtest.h>

#include <cstdint>

#include "conti_probe.h"
#include "machine_probe.h"
#include "manual_clock_card.h"
#include "move_probe.h"

namespace {

constexpr uint8_t CARD = 0;
constexpr int Y = 1;
constexpr uint64_t MS = 1000000;
constexpr uint32_t SV = 10000, DV = 100000, ACC = 1000000;

void run_to_rest() {
  uint64_t end[4] = {};
  probe_run_until_idle(0xF, MS / 10, 10000 * MS, end);
  uint8_t done = 0;
  int16_t state = 0;
  EXPECT_EQ(rm720_motion_done(CARD, AXIS_X, &done, &state), SUCCESS_NO_ERROR);
  EXPECT_EQ(done, 1);
}

// A line at the drive speed as given stretches the partner's range while it
// runs; the long one is cut off by `interrupt`, a short one after it gives
// the partner the range the application set since.
template <typename Interrupt>
void long_line_interrupted_then_short_line(Interrupt interrupt) {
  OpenCard card(card_section(CARD, "A", 0));
  ASSERT_EQ(rm720_set_customization(CARD, 4, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_line2_move(CARD, AXIS_X, AXIS_Y, SV, DV, ACC, ACC, 2000000, 1000000, 0, 0),
            SUCCESS_NO_ERROR);
  probe_advance_ns(10 * MS);
  ASSERT_NE(probe_driver_range(Y), 16000u) << "stretched while the line runs";
  interrupt();
  ASSERT_EQ(rm720_set_customization(CARD, 4, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_range(CARD, AXIS_Y, 80000), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_line2_move(CARD, AXIS_X, AXIS_Y, SV, DV, ACC, ACC, 2000, 1000, 0, 0),
            SUCCESS_NO_ERROR);
  run_to_rest();
  EXPECT_EQ(probe_driver_range(Y), 80000u) << "the range the library plans with";
}

TEST(CardResetMidway, ALineLeavesNoStretchedRangeBehind) {
  long_line_interrupted_then_short_line([] { ASSERT_EQ(rm720_reset(CARD), SUCCESS_NO_ERROR); });
}

TEST(CardSleepMidway, ALineLeavesNoStretchedRangeBehind) {
  long_line_interrupted_then_short_line([] {
    ASSERT_TRUE(probe_sleep_and_wake(CARD));
    EXPECT_EQ(probe_driver_range(Y), 16000u) << "the range from before the line";
  });
}

}  // namespace

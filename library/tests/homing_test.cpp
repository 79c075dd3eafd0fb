// Homing end to end: export -> request block -> DeviceIoControl -> driver ->
// simulated chip and its sensors. Waited searches run on the scaled clock
// and block the calling thread until the driver ends them; searches that do
// not wait run on the manual clock, stepped by the test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "axis_position.h"
#include "homing_probe.h"
#include "machine_probe.h"
#include "move_probe.h"
#include "open_cards.h"

namespace {

constexpr uint16_t HOME_HIGH = 4, INDEX_HIGH = 16;
constexpr uint16_t STEP2_PLUS = 0x04;  // seek the home input, plus
constexpr uint32_t SV = 1000, ACC = 500000, DEC = 500000, DV = 20000, SEARCH = 2000;
constexpr uint64_t TICK_NS = 100000;  // the home timer's period

int32_t absolute_position(uint16_t axis) {
  int32_t position = -1;
  EXPECT_EQ(absolute_position_now(0, axis, &position), SUCCESS_NO_ERROR);
  return position;
}

int32_t command_counter(uint16_t axis) {
  int32_t counter = 0;
  EXPECT_EQ(rm720_get_cmdcounter(0, axis, &counter), SUCCESS_NO_ERROR);
  return counter;
}

struct MotionState {
  uint8_t done;
  int16_t reason;
};
MotionState motion_state(uint16_t axis) {
  MotionState state{};
  EXPECT_EQ(rm720_motion_done(0, axis, &state.done, &state.reason), SUCCESS_NO_ERROR);
  return state;
}

ApiStatus waited_home_start(uint16_t axis) {
  return rm720_home_start(0, axis, SV, ACC, DEC, DV, SEARCH, 1);
}

// ---- argument checks and what the configuration sends ----------------------------

class HomingChecks : public testing::Test {
 protected:
  OpenCardZero card_{card_section(0, "A", 0)};
};

TEST_F(HomingChecks, ConfigurationsRefuseTheirBadValuesInOrder) {
  EXPECT_EQ(rm720_set_home_cfg(0, AXIS_X, 0, 0, 0, 255, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_set_home_cfg(0, AXIS_X, 0, 0, 0, 256, 0), ERROR_INVALID_AUTO_HOME_STEP);
  EXPECT_EQ(rm720_set_home_cfg_ex(16, AXIS_X, 2, 0, 0, 9, 1), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_set_home_cfg_ex(0, AXIS_X | AXIS_Y, 2, 0, 0, 9, 1), ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(rm720_set_home_cfg_ex(0, AXIS_X, 2, 0, 0, 9, 1), ERROR_INVALID_HOME_LOGIC_LEVEL);
  EXPECT_EQ(rm720_set_home_cfg_ex(0, AXIS_X, 4, 2, 0, 9, 1), ERROR_INVALID_NEAR_HOME_LOGIC_LEVEL);
  EXPECT_EQ(rm720_set_home_cfg_ex(0, AXIS_X, 4, 1, 0, 6, 1), ERROR_HOME_CFG_EX_SET);
}

TEST_F(HomingChecks, ExtendedConfigurationSendsTheStepAndOptionOfItsMode) {
  struct Case {
    uint16_t mode;
    uint8_t direction;
    uint16_t step_word;
    uint8_t option;
  };
  for (const Case c : {Case{0, 1, 4, 1}, Case{1, 0, 12, 0}, Case{2, 1, 4, 0}, Case{3, 7, 12, 1},
                       Case{4, 1, 0, 0}, Case{5, 0, 0, 0}}) {
    ASSERT_EQ(rm720_set_home_cfg_ex(0, AXIS_Y, HOME_HIGH, 1, INDEX_HIGH, c.mode, c.direction),
              SUCCESS_NO_ERROR);
    const HomeSetupProbe setup = probe_home_setup(1);
    EXPECT_EQ(setup.step_word, c.step_word) << "mode " << c.mode;
    EXPECT_EQ(setup.option, c.option) << "mode " << c.mode;
    EXPECT_EQ(setup.mode, c.mode);
    EXPECT_EQ(setup.direction, c.direction);
    EXPECT_EQ(setup.levels, HOME_HIGH | 1 | INDEX_HIGH);
  }
}

TEST_F(HomingChecks, StartRefusesItsBadValuesInOrder) {
  EXPECT_EQ(rm720_home_start(16, AXIS_X, SV, ACC, DEC, DV, SEARCH, 2), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_home_start(0, 0, SV, ACC, DEC, DV, SEARCH, 2), ERROR_NO_VALID_AXIS_ASSIGNED);
  EXPECT_EQ(rm720_home_start(0, AXIS_X, 0, 0, 0, 0, SEARCH, 2),
            ERROR_INVALID_BLOCK_OPEARTION_MODE);
  EXPECT_EQ(rm720_home_start(0, AXIS_X, SV, ACC, DEC, 5000000, SEARCH, 0),
            ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(rm720_home_start(0, AXIS_X, SV, ACC, DEC, DV, 5000000, 0),
            ERROR_INVALID_HOME_SEARCH_SPEED);
  EXPECT_EQ(rm720_home_start(0, AXIS_X, SV, ACC, DEC, DV, 0, 0), ERROR_INVALID_HOME_SEARCH_SPEED);
  EXPECT_FALSE(probe_axis_busy(0)) << "a refused start moved the axis";
}

// ---- waited searches (scaled clock) -------------------------------------------------

// The chip's own search of the home input: the call returns once the axis
// stands on home, whose position is then absolute 0, and the home-end
// interrupt is off again.
TEST(WaitedHoming, ReturnsStandingOnHomeWithTheAbsolutePositionZero) {
  OpenCardZero card(card_section(0, "A", 0) + "X.Home=5000\n");
  ASSERT_EQ(rm720_set_home_cfg(0, AXIS_X, HOME_HIGH, 0, 0, STEP2_PLUS, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(waited_home_start(AXIS_X), SUCCESS_NO_ERROR);
  EXPECT_EQ(motion_state(AXIS_X).done, 1) << "returned before the search ended";
  EXPECT_NEAR(command_counter(AXIS_X), 5000, 25);
  EXPECT_EQ(absolute_position(AXIS_X), 0);
  EXPECT_EQ(probe_axis(0, 0).ext_word1 & 0x20, 0) << "the home-end interrupt stayed on";
  EXPECT_EQ(probe_held_requests(), 0u);
}

// Modes 0 to 3 run on the chip, step by step from the driver's interrupt
// handling; the waited start returns after the last step, on home (modes 0
// and 2) or on the index pulse next to it (modes 1 and 3).
TEST(WaitedHoming, ExtendedChipModesEndOnHomeOrItsIndex) {
  constexpr int32_t HOME = -3000, INDEX_PERIOD = 400;
  for (uint16_t mode = 0; mode <= 3; ++mode) {
    OpenCardZero card(card_section(0, "A", 0) + "X.Home=-3000\nX.IndexPeriod=400\n");
    ASSERT_EQ(rm720_set_home_cfg_ex(0, AXIS_X, HOME_HIGH, 0, INDEX_HIGH, mode, 0),
              SUCCESS_NO_ERROR);
    ASSERT_EQ(waited_home_start(AXIS_X), SUCCESS_NO_ERROR) << "mode " << mode;
    const MotionState state = motion_state(AXIS_X);
    EXPECT_EQ(state.done, 1) << "mode " << mode;
    EXPECT_EQ(state.reason, 0x0100) << "mode " << mode << " did not end on its home end";
    const int32_t counter = command_counter(AXIS_X);
    if (mode == 1 || mode == 3) {
      EXPECT_EQ(counter % INDEX_PERIOD, 0) << "mode " << mode;
      EXPECT_NEAR(counter, HOME, INDEX_PERIOD) << "mode " << mode;
    } else {
      EXPECT_NEAR(counter, HOME, 25) << "mode " << mode;
    }
    EXPECT_EQ(absolute_position(AXIS_X), 0) << "mode " << mode;
  }
}

// A search without a home sensor never ends by itself; when a reset from
// another thread cancels it, no home was found and the start says so.
TEST(WaitedHoming, SearchCancelledByAResetFails) {
  OpenCardZero card(card_section(0, "A", 0));
  ASSERT_EQ(rm720_set_home_cfg(0, AXIS_Z, HOME_HIGH, 0, 0, STEP2_PLUS, 0), SUCCESS_NO_ERROR);
  ApiStatus status = SUCCESS_NO_ERROR;
  std::thread searching([&] { status = waited_home_start(AXIS_Z); });
  while (probe_held_requests() == 0) std::this_thread::yield();
  EXPECT_EQ(rm720_reset(0), SUCCESS_NO_ERROR);
  searching.join();
  EXPECT_EQ(status, ERROR_START_HOME);
}

// ---- searches that do not wait (manual clock) ---------------------------------------

class ManualClockHoming : public testing::Test {
 protected:
  OpenCardZero card_{"[Machine]\nClock=manual\n" + card_section(0, "A", 0) +
                     "X.LimitPlus=20500\nX.LimitMinus=-20500\nX.IndexPeriod=1000\n"};

  // Steps the home timer until the search has ended.
  static void run_search_to_end() {
    for (int tick = 0; tick < 100000 && probe_home_search_active(); ++tick)
      probe_advance_ns(TICK_NS);
    ASSERT_FALSE(probe_home_search_active()) << "the search never ended";
  }

  // Configures and starts a timer search of X that does not wait, and lets
  // it run for 20 ticks.
  static void start_timer_search(uint16_t mode, uint8_t direction) {
    ASSERT_EQ(rm720_set_home_cfg_ex(0, AXIS_X, 0, 0, 0, mode, direction), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_home_start(0, AXIS_X, SV, ACC, DEC, 50000, 5000, 0), SUCCESS_NO_ERROR);
    probe_advance_ns(20 * TICK_NS);
  }
};

// Mode 4 ends standing on the limit it searched for; the position becomes
// 0 at the first motion_done that finds the axis stopped, not before.
TEST_F(ManualClockHoming, Mode4ZeroesThePositionAtTheFirstMotionDoneAfterTheSearch) {
  ASSERT_EQ(rm720_set_home_cfg_ex(0, AXIS_X, 0, 0, 0, 4, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_home_start(0, AXIS_X, SV, ACC, DEC, 50000, 5000, 0), SUCCESS_NO_ERROR);
  EXPECT_TRUE(probe_axis_busy(0)) << "the start did not return at once";
  EXPECT_EQ(motion_state(AXIS_X).done, 0) << "the search reads done before its end";
  EXPECT_EQ(absolute_position(AXIS_X), command_counter(AXIS_X)) << "zeroed mid-search";
  run_search_to_end();
  EXPECT_GE(command_counter(AXIS_X), 20000);
  EXPECT_EQ(absolute_position(AXIS_X), command_counter(AXIS_X));
  EXPECT_EQ(motion_state(AXIS_X).done, 1);
  EXPECT_EQ(absolute_position(AXIS_X), 0);
  ASSERT_EQ(rm720_const_move(0, AXIS_X, 5000, -500), SUCCESS_NO_ERROR);
  uint64_t end_ns[4] = {};
  probe_run_until_idle(1, TICK_NS, 1000000000, end_ns);
  EXPECT_EQ(motion_state(AXIS_X).done, 1);
  EXPECT_EQ(absolute_position(AXIS_X), -500) << "the position was zeroed a second time";
}

// An extended configuration of another axis while the timer search runs
// leaves that search running to its end.
TEST_F(ManualClockHoming, ConfiguringAnotherAxisLeavesTheSearchRunning) {
  ASSERT_NO_FATAL_FAILURE(start_timer_search(5, 1));
  ASSERT_EQ(rm720_set_home_cfg_ex(0, AXIS_Y, HOME_HIGH, 0, 0, 0, 1), SUCCESS_NO_ERROR);
  run_search_to_end();  // the chip's index step included
  const MotionState state = motion_state(AXIS_X);
  EXPECT_EQ(state.done, 1);
  EXPECT_EQ(state.reason, 0x0100) << "did not end at its home";
  EXPECT_EQ(command_counter(AXIS_X) % 1000, 0) << "not stopped on an index pulse";
  EXPECT_GT(command_counter(AXIS_X), 15000) << "the search ended early";
}

// The searching axis keeps the configuration it started with: both
// configurations succeed while its search runs, which ends as set up, and
// the next search runs as newly configured (mode 4 minus: on the minus limit).
TEST_F(ManualClockHoming, ConfiguringTheSearchingAxisTakesEffectAtItsEnd) {
  ASSERT_NO_FATAL_FAILURE(start_timer_search(5, 1));
  EXPECT_EQ(rm720_set_home_cfg(0, AXIS_X, HOME_HIGH, 0, 0, STEP2_PLUS, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_set_home_cfg_ex(0, AXIS_X, 0, 0, 0, 4, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_home_setup(0).mode, 5);
  run_search_to_end();
  EXPECT_EQ(motion_state(AXIS_X).reason, 0x0100);
  EXPECT_EQ(command_counter(AXIS_X) % 1000, 0) << "not stopped on an index pulse";
  EXPECT_EQ(probe_home_setup(0).mode, 4) << "the held configuration was not applied";
  ASSERT_EQ(rm720_home_start(0, AXIS_X, SV, ACC, DEC, 50000, 5000, 0), SUCCESS_NO_ERROR);
  run_search_to_end();
  EXPECT_EQ(motion_state(AXIS_X).done, 1);
  EXPECT_LE(command_counter(AXIS_X), -20500) << "the next search did not use the new mode";
}

// A stop ends the search and the configuration held meanwhile takes effect.
TEST_F(ManualClockHoming, ConfigurationHeldDuringASearchTakesEffectAtItsStop) {
  ASSERT_NO_FATAL_FAILURE(start_timer_search(4, 1));
  EXPECT_EQ(rm720_set_home_cfg_ex(0, AXIS_X, 0, 0, 0, 5, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_home_setup(0).mode, 4);
  EXPECT_EQ(rm720_stop_move(0, AXIS_X, 0x27), SUCCESS_NO_ERROR);
  EXPECT_FALSE(probe_home_search_active());
  EXPECT_EQ(probe_home_setup(0).mode, 5);
  EXPECT_EQ(probe_home_setup(0).direction, 0);
}

// A start that the driver refuses at once (the axis is driving) is reported
// and leaves the absolute position alone.
TEST_F(ManualClockHoming, RefusedStartIsReported) {
  ASSERT_EQ(rm720_set_home_cfg(0, AXIS_X, HOME_HIGH, 0, 0, STEP2_PLUS, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_velocity_move(0, AXIS_X, 1000, 1000, 100000, 0), SUCCESS_NO_ERROR);
  probe_advance_ns(10 * TICK_NS);
  EXPECT_NE(waited_home_start(AXIS_X), SUCCESS_NO_ERROR);
  EXPECT_NE(rm720_home_start(0, AXIS_X, SV, ACC, DEC, DV, SEARCH, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_stop_move(0, AXIS_X, 0x27), SUCCESS_NO_ERROR);
  EXPECT_EQ(motion_state(AXIS_X).done, 1);
  EXPECT_NE(command_counter(AXIS_X), 0);
  EXPECT_EQ(absolute_position(AXIS_X), command_counter(AXIS_X))
      << "a refused start zeroed the position";
}

}  // namespace

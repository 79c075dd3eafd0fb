// Interrupt factors, the per-axis events and the interrupt actions end to
// end, on the scaled clock: an application thread waits on the handles that
// rm720_int_event_config returned and wakes at the axis's drive end or home
// end; an action armed on one axis runs at another axis's factor.
#include <gtest/gtest.h>

#include <thread>

#include "bench.h"
#include "card_table.h"
#include "open_cards.h"
#include "request.h"

namespace {

constexpr uint8_t CARD = 0;
constexpr uint16_t DRIVE_END_FACTOR = 0x8000;
constexpr DWORD LONG_WAIT_MS = 600000;  // simulated: 0.6 s at the tests' scale of 1000

std::string scaled_card() {
  return "[Machine]\nTimeScale=1000\n" + card_section(0, "A", CARD) + "Z.Home=3000\n";
}

bool send(DWORD code, std::initializer_list<uint32_t> slots) {
  DriverRequest block{};
  int n = 1;
  for (uint32_t value : slots) put_u32(block, n++, value);
  return send_request(card_device(CARD), code, block);
}

class Events : public ::testing::Test {
 protected:
  Events() : library_(scaled_card()) {}
  void SetUp() override {
    ASSERT_EQ(rm720_open(CARD), 0);
    ASSERT_EQ(rm720_int_event_config(CARD, 1, events_), 0);
  }
  void move(uint16_t axis, int32_t pulses) {
    ASSERT_EQ(rm720_t_move(CARD, axis, 1000, 100000, 1000000, 1000000, pulses, 0), 0);
  }
  // Polls until the axis has stopped, however long the host takes.
  void wait_stopped(uint16_t axis) {
    uint8_t done = 0;
    int16_t state = 0;
    while (!done) {
      ASSERT_EQ(rm720_motion_done(CARD, axis, &done, &state), 0);
      std::this_thread::yield();
    }
  }
  // Lets the card run `ms` of its own time, however slow the host.
  void let_the_card_run(DWORD ms) {
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(never, ms), WAIT_TIMEOUT);
    CloseHandle(never);
  }
  // Polls until the axis's command counter reads `value`.
  void wait_counter(uint16_t axis, int32_t value) {
    while (counter(axis) != value) std::this_thread::yield();
  }
  int32_t counter(uint16_t axis) {
    int32_t value = 0;
    EXPECT_EQ(rm720_get_cmdcounter(CARD, axis, &value), 0);
    return value;
  }

  AttachedLibrary library_;
  HANDLE events_[4] = {};
};

TEST_F(Events, DriveEndWakesTheThreadWaitingOnTheAxisEvent) {
  ASSERT_EQ(rm720_set_int_factor(CARD, AXIS_Y, DRIVE_END_FACTOR), 0);
  DWORD woke = WAIT_FAILED;
  std::thread waiter([&] { woke = WaitForSingleObject(events_[1], LONG_WAIT_MS); });
  move(AXIS_Y, 20000);
  waiter.join();
  EXPECT_EQ(woke, WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(events_[0], 0), WAIT_TIMEOUT) << "another axis's event";
  int16_t factor = 0;
  ASSERT_EQ(rm720_get_int_status(CARD, AXIS_Y, &factor), 0);
  EXPECT_EQ(factor & 0x80, 0x80);
}

// A factor set while another pair of axes interpolates keeps its drive-end
// enable: Z's event fires while X and Y still run their line. On the manual
// clock, so that the line surely runs on when Z ends, however slow the host.
TEST(EventsOnTheManualClock, ADriveEndFactorSetDuringAnInterpolationFires) {
  AttachedLibrary library("[Machine]\nClock=manual\n" + card_section(0, "A", CARD));
  ASSERT_EQ(rm720_open(CARD), 0);
  HANDLE events[4] = {};
  ASSERT_EQ(rm720_int_event_config(CARD, 1, events), 0);
  ASSERT_EQ(rm720_t_line2_move(CARD, AXIS_X, AXIS_Y, 1000, 100000, 1000000, 1000000, 4000000,
                               1000000, 0, 0),
            0);
  ASSERT_EQ(rm720_set_int_factor(CARD, AXIS_Z, DRIVE_END_FACTOR), 0);
  ASSERT_EQ(rm720_t_move(CARD, AXIS_Z, 1000, 100000, 1000000, 1000000, 20000, 0), 0);
  DWORD woke = WAIT_TIMEOUT;
  for (int ms = 0; ms < 1000 && woke == WAIT_TIMEOUT; ++ms) {  // Z's move takes 0.3 s
    bench_advance_us(1000);
    woke = WaitForSingleObject(events[2], 0);
  }
  EXPECT_EQ(woke, WAIT_OBJECT_0) << "the drive-end factor of Z was dropped";
  uint8_t done = 1;
  int16_t state = 0;
  ASSERT_EQ(rm720_motion_done(CARD, AXIS_X, &done, &state), 0);
  EXPECT_EQ(done, 0) << "the line ended before Z";
  ASSERT_EQ(rm720_stop_move(CARD, AXIS_X, 0x27), 0);
  for (int ms = 0; ms < 1000 && !done; ++ms) {
    bench_advance_us(1000);
    ASSERT_EQ(rm720_motion_done(CARD, AXIS_X, &done, &state), 0);
  }
  EXPECT_EQ(done, 1);
  rm720_close(CARD);
}

// An interrupt action counting X's drive end leaves X's own drive-end factor
// on when it fires: the application's event still wakes at X's next drive end.
TEST(EventsOnTheManualClock, AnActionThatFiredLeavesTheApplicationsOwnFactor) {
  AttachedLibrary library("[Machine]\nClock=manual\n" + card_section(0, "A", CARD));
  ASSERT_EQ(rm720_open(CARD), 0);
  HANDLE events[4] = {};
  ASSERT_EQ(rm720_int_event_config(CARD, 1, events), 0);
  ASSERT_EQ(rm720_set_int_factor(CARD, AXIS_X, DRIVE_END_FACTOR), 0);
  ASSERT_EQ(rm720_drv_hold(CARD, AXIS_Y), 0);
  ASSERT_EQ(rm720_t_move(CARD, AXIS_Y, 1000, 100000, 1000000, 1000000, 3000, 0), 0);
  ASSERT_EQ(rm720_set_int_action(CARD, AXIS_X, DRIVE_END_FACTOR, AXIS_Y, 1, nullptr), 0);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(rm720_t_move(CARD, AXIS_X, 1000, 100000, 1000000, 1000000, 2000, 0), 0);
    DWORD woke = WAIT_TIMEOUT;
    for (int ms = 0; ms < 1000 && woke == WAIT_TIMEOUT; ++ms) {
      bench_advance_us(1000);
      woke = WaitForSingleObject(events[0], 0);
    }
    EXPECT_EQ(woke, WAIT_OBJECT_0) << "X's own drive-end event";
    for (int ms = 0; ms < 200; ++ms) bench_advance_us(1000);
  }
  rm720_close(CARD);
}

TEST_F(Events, HomeEndWakesAWaitOnAllFourEvents) {
  ASSERT_EQ(rm720_set_home_cfg(CARD, AXIS_Z, 4, 0, 0, 0x04, 0), 0);
  DWORD woke = WAIT_FAILED;
  std::thread waiter([&] { woke = WaitForMultipleObjects(4, events_, FALSE, LONG_WAIT_MS); });
  // A home search without waiting arms the home-end factor alone.
  ASSERT_TRUE(send(REQ_HOME_START, {AXIS_Z, 10, 100, 100, 100, 100, 0}));
  waiter.join();
  EXPECT_EQ(woke, WAIT_OBJECT_0 + 2);
  int16_t factor = 0;
  ASSERT_EQ(rm720_get_int_status(CARD, AXIS_Z, &factor), 0);
  EXPECT_EQ(factor & 0x100, 0x100);
}

TEST_F(Events, EnablingAgainGivesTheSameHandlesAndDisablingReleasesThem) {
  HANDLE again[4] = {};
  ASSERT_EQ(rm720_int_event_config(CARD, 1, again), 0);
  for (int axis = 0; axis < 4; ++axis) EXPECT_EQ(again[axis], events_[axis]);
  EXPECT_EQ(rm720_int_event_config(CARD, 2, again), ERROR_INVALID_INT_EVENT_MODE);
  ASSERT_EQ(rm720_int_event_config(CARD, 0, again), 0);
  EXPECT_EQ(card_table.cards[CARD].int_events[0], INVALID_HANDLE_VALUE);
  EXPECT_EQ(rm720_int_event_config(CARD, 0, again), 0) << "nothing left to release";
}

TEST_F(Events, FactorsAndActionsAreCheckedFirst) {
  EXPECT_EQ(rm720_set_int_factor(CARD, AXIS_X, 0x0101), ERROR_INVALID_INT_FACTOR);
  EXPECT_EQ(rm720_set_int_action(15, 16, 0x8000, AXIS_X, 1, nullptr), ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(rm720_set_int_action(15, 1, 0x8000, AXIS_X, 1, nullptr), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_set_int_action(CARD, 1, 0x0101, AXIS_X, 1, nullptr), ERROR_INVALID_INT_FACTOR);
}

// A drive of Y held by the card starts when X's drive ends.
TEST_F(Events, ReleaseActionRunsAtTheOtherAxisFactor) {
  ASSERT_TRUE(send(REQ_DRV_HOLD, {AXIS_Y}));
  move(AXIS_Y, 3000);
  ASSERT_EQ(rm720_set_int_action(CARD, AXIS_X, DRIVE_END_FACTOR, AXIS_Y, 1, nullptr), 0);
  let_the_card_run(20000);
  EXPECT_EQ(counter(AXIS_Y), 0) << "held until X's drive end";
  move(AXIS_X, 1000);
  wait_stopped(AXIS_X);
  wait_counter(AXIS_Y, 3000);
}

// An S-curve move of Z by -5,000 pulses starts at X's drive end, once.
TEST_F(Events, SCurveActionRunsOnceAtTheOtherAxisFactor) {
  const int32_t record[5] = {1000, 50000, 100000000, 100000000, -5000};
  ASSERT_EQ(rm720_set_int_action(CARD, AXIS_X, DRIVE_END_FACTOR, AXIS_Z, 2, record), 0);
  move(AXIS_X, 1000);
  wait_stopped(AXIS_X);
  wait_counter(AXIS_Z, -5000);
  wait_stopped(AXIS_Z);  // the action's move is over, not a held one still to come
  move(AXIS_X, 1000);
  wait_stopped(AXIS_X);
  let_the_card_run(20000);
  EXPECT_EQ(counter(AXIS_Z), -5000) << "a fired action is spent";
}

// A deceleration jerk of 0 means "as the jerk", as for rm720_s_move: the
// action's move is planned as the chip's symmetric S-curve (which leaves no
// last S-curve values on the axis) and runs its whole distance.
TEST_F(Events, AnSCurveActionWithoutDecelerationJerkIsPlannedSymmetric) {
  const int32_t record[5] = {1000, 50000, 100000000, 0, 5000};
  ASSERT_EQ(rm720_set_int_action(CARD, AXIS_X, DRIVE_END_FACTOR, AXIS_Z, 2, record), 0);
  EXPECT_EQ(card_table.cards[CARD].axes[2].motion.last_start_speed_word, 0);
  move(AXIS_X, 1000);
  wait_stopped(AXIS_X);
  wait_counter(AXIS_Z, 5000);
}

// An action's move has no offset pulses: a later speed change plans from
// the action's move alone, not with the offset of an earlier move.
TEST_F(Events, AnAsymmetricSCurveActionKeepsNoOffsetOfAnEarlierMove) {
  const AxisMotionState &z = card_table.cards[CARD].axes[2].motion;
  ASSERT_EQ(rm720_s_move(CARD, AXIS_Z, 1000, 50000, 100000000, 50000000, 3000, 100), 0);
  wait_stopped(AXIS_Z);
  ASSERT_EQ(z.offset_pulse_count, 100);
  const int32_t record[5] = {1000, 50000, 100000000, 50000000, 5000};
  ASSERT_EQ(rm720_set_int_action(CARD, AXIS_X, DRIVE_END_FACTOR, AXIS_Z, 2, record), 0);
  EXPECT_EQ(z.pulse_count, 5000);
  EXPECT_EQ(z.offset_pulse_count, 0);
}

// A move that its target could not start is refused when the action is
// set, with the failing axis, and never starts later.
TEST_F(Events, AnSCurveActionThatFailsItsCheckIsRefusedAndNeverRuns) {
  ASSERT_EQ(rm720_set_softlimit(CARD, AXIS_Z, 3, 0, -10, -20), 0);  // Z beyond its + limit
  const int32_t record[5] = {1000, 50000, 100000000, 100000000, 5000};
  EXPECT_EQ(rm720_set_int_action(CARD, AXIS_X, DRIVE_END_FACTOR, AXIS_Z, 2, record),
            -300 - AXIS_Z);
  move(AXIS_X, 1000);
  wait_stopped(AXIS_X);
  let_the_card_run(20000);
  EXPECT_EQ(counter(AXIS_Z), 0);
}

}  // namespace

// End to end on a manual clock, for the model the test is built for: the
// interrupt factors of an axis, the card's four per-axis events waited on
// from another thread, re-arming, disabling and closing with the events
// registered, and the actions the driver starts by itself.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "bench.h"
#include "manual_clock_card.h"
#include "move_probe.h"
#include "open_cards.h"

#define RM(name) RM7X0_NAME(name)

namespace {


#ifdef RM7X0_MODEL_B
const char *const MODEL = "B";
#else
const char *const MODEL = "A";
#endif

const uint16_t AXES[4] = {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U};
const uint16_t DRIVE_END = 0x8000;
// Only guards a test that would otherwise hang; success never waits for it.
const DWORD SAFETY_MS = 20000;

std::string card0() { return card_section(0, MODEL, 0); }

uint8_t done_of(uint8_t card, uint16_t axis) {
  uint8_t done = 0xEE;
  int16_t s = 0;
  EXPECT_EQ(RM(motion_done)(card, axis, &done, &s), SUCCESS_NO_ERROR);
  return done;
}

void run_until_stopped(uint8_t card, uint16_t axis) {
  for (int i = 0; i < 3000; ++i) {
    if (done_of(card, axis) == 1) return;
    bench_advance_us(1000);
  }
  ADD_FAILURE() << "axis " << axis << " still moving";
}

int32_t cmd(uint16_t axis) {
  int32_t v = 0;
  EXPECT_EQ(RM(get_cmdcounter)(0, axis, &v), SUCCESS_NO_ERROR);
  return v;
}

bool signalled(void *event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

// A short move of the axis run to its end.
void short_move(uint16_t axis, int32_t pulses = 1000) {
  ASSERT_EQ(RM(const_move)(0, axis, 50000, pulses), SUCCESS_NO_ERROR);
  run_until_stopped(0, axis);
  bench_settle();
}

// ---- Enabling and disabling the events ----------------------------------------

TEST(IntEvents, ModesOfTheEventConfiguration) {
  OpenCard card(card0());
  void *events[4] = {nullptr, nullptr, nullptr, nullptr};
  for (uint16_t mode : {2, 3, 0x100, 0xFFFF}) {
    EXPECT_EQ(RM(int_event_config)(0, mode, events), ERROR_INVALID_INT_EVENT_MODE) << mode;
  }
  for (void *e : events) EXPECT_EQ(e, nullptr);
  // Never created: disabling sends the release and succeeds, twice.
  EXPECT_EQ(RM(int_event_config)(0, 0, events), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(int_event_config)(0, 0, nullptr), SUCCESS_NO_ERROR);
  // Bad cards.
  for (uint8_t c : {1, 15, 16, 200}) {
    EXPECT_NE(RM(int_event_config)(c, 1, events), SUCCESS_NO_ERROR) << int(c);
    EXPECT_NE(RM(int_event_config)(c, 0, events), SUCCESS_NO_ERROR) << int(c);
  }
  for (void *e : events) EXPECT_EQ(e, nullptr);
}

TEST(IntEvents, EnablingTwiceGivesTheSameFourEvents) {
  OpenCard card(card0());
  void *first[4] = {}, *second[4] = {};
  ASSERT_EQ(RM(int_event_config)(0, 1, first), SUCCESS_NO_ERROR);
  for (int a = 0; a < 4; ++a) {
    EXPECT_NE(first[a], nullptr);
    EXPECT_NE(first[a], INVALID_HANDLE_VALUE);
    for (int b = 0; b < a; ++b) EXPECT_NE(first[a], first[b]);
    EXPECT_FALSE(signalled(first[a])) << "created non-signalled";
  }
  ASSERT_EQ(RM(int_event_config)(0, 1, second), SUCCESS_NO_ERROR);
  for (int a = 0; a < 4; ++a) EXPECT_EQ(second[a], first[a]);
  EXPECT_EQ(RM(int_event_config)(0, 0, second), SUCCESS_NO_ERROR);
}

TEST(IntEvents, FaultingHandleStoreGivesAccessViolation) {
  OpenCard card(card0());
  void *page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(page, MAP_FAILED);
  EXPECT_EQ(RM(int_event_config)(0, 1, static_cast<void **>(page)),
            ERROR_ACCESS_VIOLATION_DATA_COPY);
  munmap(page, 4096);
  // The events were created and registered all the same: the next enable
  // hands them out.
  void *events[4] = {};
  EXPECT_EQ(RM(int_event_config)(0, 1, events), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_factor)(0, AXIS_Z, DRIVE_END), SUCCESS_NO_ERROR);
  short_move(AXIS_Z);
  EXPECT_TRUE(signalled(events[2]));
}

// ---- Interrupt factors --------------------------------------------------------

TEST(IntEvents, FactorLowByteMustBeZero) {
  OpenCard card(card0());
  for (uint16_t factor : {0x0001, 0x0080, 0x00FF, 0x0101, 0x8001, 0xFFFF}) {
    SCOPED_TRACE(factor);
    EXPECT_EQ(RM(set_int_factor)(0, AXIS_X, factor), ERROR_INVALID_INT_FACTOR);
  }
  for (uint16_t factor : {0x0000, 0x0100, 0x8000}) {
    SCOPED_TRACE(factor);
    for (uint16_t axis : AXES) EXPECT_EQ(RM(set_int_factor)(0, axis, factor), SUCCESS_NO_ERROR);
  }
  for (uint16_t axis : {0, 3, 16, 0xFFFF}) {
    EXPECT_NE(RM(set_int_factor)(0, axis, DRIVE_END), SUCCESS_NO_ERROR) << axis;
  }
  EXPECT_EQ(RM(set_int_factor)(16, AXIS_X, DRIVE_END), ERROR_INVALID_CARD_ID);
  EXPECT_NE(RM(set_int_factor)(1, AXIS_X, DRIVE_END), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(set_int_factor)(0, AXIS_X, 0), SUCCESS_NO_ERROR);
}

// A drive end signals the event of its axis only, once per drive (auto-reset),
// to a thread that waits on it; with the factor off it signals nothing.
TEST(IntEvents, DriveEndSignalsTheAxisEventWaitedOnFromAnotherThread) {
  OpenCard card(card0());
  void *events[4] = {};
  ASSERT_EQ(RM(int_event_config)(0, 1, events), SUCCESS_NO_ERROR);
  for (int a = 0; a < 4; ++a) {
    SCOPED_TRACE(a);
    ASSERT_EQ(RM(set_int_factor)(0, AXES[a], DRIVE_END), SUCCESS_NO_ERROR);
    std::atomic<DWORD> result{0xDEAD};
    std::thread waiter([&] { result = WaitForSingleObject(events[a], SAFETY_MS); });
    ASSERT_EQ(RM(const_move)(0, AXES[a], 50000, 1000 + 100 * a), SUCCESS_NO_ERROR);
    run_until_stopped(0, AXES[a]);
    bench_settle();
    waiter.join();
    EXPECT_EQ(result.load(), WAIT_OBJECT_0);
    EXPECT_EQ(cmd(AXES[a]), 1000 + 100 * a);
    // Auto-reset: taken by the waiter; no other axis's event came up.
    for (int b = 0; b < 4; ++b) EXPECT_FALSE(signalled(events[b])) << b;
    int16_t status = 0;
    EXPECT_EQ(RM(get_int_status)(0, AXES[a], &status), SUCCESS_NO_ERROR);
    EXPECT_NE(status, 0) << "the drive end is among the axis's last factors";
    ASSERT_EQ(RM(set_int_factor)(0, AXES[a], 0), SUCCESS_NO_ERROR);
  }
  // Re-armed by the next drive.
  ASSERT_EQ(RM(set_int_factor)(0, AXIS_Y, DRIVE_END), SUCCESS_NO_ERROR);
  for (int round = 0; round < 3; ++round) {
    short_move(AXIS_Y, round % 2 ? -500 : 500);
    EXPECT_TRUE(signalled(events[1])) << round;
    EXPECT_FALSE(signalled(events[1])) << round;
  }
  // The factor switched off: drives end silently.
  ASSERT_EQ(RM(set_int_factor)(0, AXIS_Y, 0), SUCCESS_NO_ERROR);
  short_move(AXIS_Y);
  EXPECT_FALSE(signalled(events[1]));
  // Switched on again.
  ASSERT_EQ(RM(set_int_factor)(0, AXIS_Y, DRIVE_END), SUCCESS_NO_ERROR);
  short_move(AXIS_Y);
  EXPECT_TRUE(signalled(events[1]));
  EXPECT_EQ(RM(int_event_config)(0, 0, nullptr), SUCCESS_NO_ERROR);
}

TEST(IntEvents, DisablingReleasesAndReEnablingRegistersAnew) {
  OpenCard card(card0());
  void *events[4] = {};
  ASSERT_EQ(RM(int_event_config)(0, 1, events), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_factor)(0, AXIS_X, DRIVE_END), SUCCESS_NO_ERROR);
  short_move(AXIS_X);
  EXPECT_TRUE(signalled(events[0]));
  ASSERT_EQ(RM(int_event_config)(0, 0, nullptr), SUCCESS_NO_ERROR);
  // While disabled a drive end with the factor on has nowhere to go.
  short_move(AXIS_X);
  void *again[4] = {};
  ASSERT_EQ(RM(int_event_config)(0, 1, again), SUCCESS_NO_ERROR);
  for (void *e : again) EXPECT_FALSE(signalled(e));
  short_move(AXIS_X);
  EXPECT_TRUE(signalled(again[0]));
  EXPECT_FALSE(signalled(again[1]));
}

TEST(IntEvents, ClosingWithEventsRegisteredThenReopening) {
  AttachedLibrary lib(MANUAL_CLOCK + card0());
  int16_t count = 0;
  ASSERT_EQ(RM(scan)(&count, nullptr), SUCCESS_NO_ERROR);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(RM(open)(0), SUCCESS_NO_ERROR);
    void *events[4] = {};
    ASSERT_EQ(RM(int_event_config)(0, 1, events), SUCCESS_NO_ERROR);
    ASSERT_EQ(RM(set_int_factor)(0, AXIS_U, DRIVE_END), SUCCESS_NO_ERROR);
    short_move(AXIS_U);
    EXPECT_TRUE(signalled(events[3]));
    if (round == 1) {
      EXPECT_EQ(RM(close_all)(), SUCCESS_NO_ERROR);
    } else {
      EXPECT_EQ(RM(close)(0), SUCCESS_NO_ERROR);
    }
    // The card is closed: its events can no longer be configured.
    EXPECT_NE(RM(int_event_config)(0, 1, events), SUCCESS_NO_ERROR);
  }
}

// Each card has its own four events; closing one card leaves the other's.
TEST(IntEvents, TwoCardsKeepTheirOwnEvents) {
  AttachedLibrary lib(MANUAL_CLOCK + card_section(0, MODEL, 0) + card_section(1, MODEL, 1));
  int16_t count = 0;
  ASSERT_EQ(RM(scan)(&count, nullptr), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(open)(0), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(open)(1), SUCCESS_NO_ERROR);
  void *e0[4] = {}, *e1[4] = {};
  ASSERT_EQ(RM(int_event_config)(0, 1, e0), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(int_event_config)(1, 1, e1), SUCCESS_NO_ERROR);
  for (int a = 0; a < 4; ++a) {
    for (int b = 0; b < 4; ++b) EXPECT_NE(e0[a], e1[b]);
  }
  for (uint8_t c : {0, 1}) ASSERT_EQ(RM(set_int_factor)(c, AXIS_X, DRIVE_END), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(const_move)(1, AXIS_X, 50000, 300), SUCCESS_NO_ERROR);
  run_until_stopped(1, AXIS_X);
  bench_settle();
  EXPECT_TRUE(signalled(e1[0]));
  EXPECT_FALSE(signalled(e0[0]));
  ASSERT_EQ(RM(close)(0), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(const_move)(1, AXIS_X, 50000, 300), SUCCESS_NO_ERROR);
  run_until_stopped(1, AXIS_X);
  bench_settle();
  EXPECT_TRUE(signalled(e1[0])) << "card 1's events outlive card 0's close";
  EXPECT_EQ(RM(close_all)(), SUCCESS_NO_ERROR);
}

// ---- Interrupt actions ----------------------------------------------------------

TEST(IntEvents, ActionArgumentsAreCheckedInOrder) {
  OpenCard card(card0());
  // Source axes first, before the card and the factor.
  for (uint16_t sources : {16, 17, 0x100, 0xFFFF}) {
    EXPECT_EQ(RM(set_int_action)(16, sources, 0x0101, AXIS_Y, 1, nullptr),
              ERROR_MULTI_AXES_ASSIGNED)
        << sources;
  }
  EXPECT_EQ(RM(set_int_action)(16, AXIS_X, 0x0101, AXIS_Y, 1, nullptr), ERROR_INVALID_CARD_ID);
  EXPECT_NE(RM(set_int_action)(1, AXIS_X, 0x0101, AXIS_Y, 1, nullptr), SUCCESS_NO_ERROR);
  for (uint16_t factor : {0x0101, 0x0001, 0x80FF}) {
    EXPECT_EQ(RM(set_int_action)(0, AXIS_X, factor, AXIS_Y, 1, nullptr), ERROR_INVALID_INT_FACTOR)
        << factor;
  }
  // The factor is checked before a kind-2 record is read or its target checked.
  EXPECT_EQ(RM(set_int_action)(0, AXIS_X, 0x0101, AXIS_Y, 2, nullptr), ERROR_INVALID_INT_FACTOR);
  EXPECT_EQ(RM(set_int_action)(0, AXIS_X, 0x0101, 0, 2, nullptr), ERROR_INVALID_INT_FACTOR);
  EXPECT_EQ(RM(set_int_action)(0, 16, DRIVE_END, AXIS_Y, 2, nullptr), ERROR_MULTI_AXES_ASSIGNED);
  // Kind 2 checks its target axis; other kinds pass it through.
  const int32_t record[5] = {1000, 20000, 1000000, 1000000, 5000};
  for (uint16_t target : {0, 3, 16}) {
    EXPECT_NE(RM(set_int_action)(0, AXIS_X, DRIVE_END, target, 2, record), SUCCESS_NO_ERROR)
        << target;
  }
  // Kind 1 never reads the record.
  EXPECT_EQ(RM(set_int_action)(0, AXIS_X, DRIVE_END, AXIS_Y, 1, nullptr), SUCCESS_NO_ERROR);
}

// Kind 1: the held drive of the target starts when the source's drive ends.
TEST(IntEvents, Kind1ReleasesTheHeldDriveAtTheSourceDriveEnd) {
  OpenCard card(card0());
  void *events[4] = {};
  ASSERT_EQ(RM(int_event_config)(0, 1, events), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_factor)(0, AXIS_X, DRIVE_END), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_action)(0, AXIS_X, DRIVE_END, AXIS_Y, 1, nullptr), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(drv_hold)(0, AXIS_Y), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(const_move)(0, AXIS_Y, 50000, 700), SUCCESS_NO_ERROR);
  bench_advance_us(5000);
  EXPECT_EQ(cmd(AXIS_Y), 0) << "held";
  ASSERT_EQ(RM(const_move)(0, AXIS_X, 50000, 1000), SUCCESS_NO_ERROR);
  bench_advance_us(5000);
  EXPECT_EQ(cmd(AXIS_Y), 0) << "still held while X drives";
  run_until_stopped(0, AXIS_X);
  bench_settle();
  EXPECT_TRUE(signalled(events[0]));
  bench_advance_us(2000);
  run_until_stopped(0, AXIS_Y);
  EXPECT_EQ(cmd(AXIS_Y), 700);
  EXPECT_EQ(cmd(AXIS_X), 1000);
}

// With two source axes the action waits for the factor of both.
TEST(IntEvents, Kind1WithTwoSourcesWaitsForBoth) {
  OpenCard card(card0());
  ASSERT_EQ(RM(set_int_factor)(0, AXIS_X, DRIVE_END), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_factor)(0, AXIS_Y, DRIVE_END), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_action)(0, AXIS_X | AXIS_Y, DRIVE_END, AXIS_U, 1, nullptr),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(drv_hold)(0, AXIS_U), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(const_move)(0, AXIS_U, 50000, -400), SUCCESS_NO_ERROR);
  short_move(AXIS_X, 300);
  bench_advance_us(5000);
  EXPECT_EQ(cmd(AXIS_U), 0) << "X alone does not release U";
  short_move(AXIS_Y, 300);
  bench_advance_us(2000);
  run_until_stopped(0, AXIS_U);
  EXPECT_EQ(cmd(AXIS_U), -400);
}

TEST(IntEvents, Kind2ProfileIsChecked) {
  OpenCard card(card0());
  const int32_t too_fast[5] = {1000, 5000000, 100000000, 100000000, 1000};
  const int32_t start_above_drive[5] = {30000, 20000, 100000000, 100000000, 1000};
  EXPECT_NE(RM(set_int_action)(0, AXIS_X, DRIVE_END, AXIS_Y, 2, too_fast), SUCCESS_NO_ERROR);
  EXPECT_NE(RM(set_int_action)(0, AXIS_X, DRIVE_END, AXIS_Y, 2, start_above_drive),
            SUCCESS_NO_ERROR);
  // Clamped to the axis's limits with option 2.
  ASSERT_EQ(RM(set_customization)(0, 2, 1), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(set_int_action)(0, AXIS_X, DRIVE_END, AXIS_Y, 2, too_fast), SUCCESS_NO_ERROR);
}

TEST(IntEvents, NullHandleArrayGivesAccessViolation) {
  OpenCard card(card0());
  EXPECT_EQ(RM(int_event_config)(0, 1, nullptr), ERROR_ACCESS_VIOLATION_DATA_COPY);
  void *events[4] = {};
  ASSERT_EQ(RM(int_event_config)(0, 1, events), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_factor)(0, AXIS_Y, DRIVE_END), SUCCESS_NO_ERROR);
  short_move(AXIS_Y);
  EXPECT_TRUE(signalled(events[1]));
}

struct Kind2Case {
  const char *name;
  int32_t distance;
  int option;  // option type set to 1 before, 0 none
  int32_t jerk, dec_jerk;
  unsigned profile_mode;
};
class Kind2 : public testing::TestWithParam<Kind2Case> {};

// Kind 2: an S-curve move of the target by the signed distance.
TEST_P(Kind2, StartsAnSCurveMoveOfTheTargetByTheDistance) {
  const Kind2Case &c = GetParam();
  OpenCard card(card0());
  if (c.option) {
    ASSERT_EQ(RM(set_customization)(0, c.option, 1), SUCCESS_NO_ERROR);
  }
  ASSERT_EQ(RM(set_int_factor)(0, AXIS_Z, DRIVE_END), SUCCESS_NO_ERROR);
  const int32_t record[5] = {1000, 100000, c.jerk, c.dec_jerk, c.distance};
  ASSERT_EQ(RM(set_int_action)(0, AXIS_Z, DRIVE_END, AXIS_U, 2, record), SUCCESS_NO_ERROR);
  bench_advance_us(5000);
  EXPECT_EQ(cmd(AXIS_U), 0) << "not before the factor";
  ASSERT_EQ(RM(const_move)(0, AXIS_Z, 50000, 500), SUCCESS_NO_ERROR);
  run_until_stopped(0, AXIS_Z);
  bench_settle();
  bench_advance_us(1000);
  EXPECT_EQ(done_of(0, AXIS_U), 0) << "the action started U";
  EXPECT_EQ(probe_mode3(3) & 7, c.profile_mode) << "4 symmetric, 7 with a deceleration point";
  run_until_stopped(0, AXIS_U);
  EXPECT_EQ(cmd(AXIS_U), c.distance);
  EXPECT_EQ(cmd(AXIS_Z), 500);
}

// With option 3 the jerks are times: J = 4,000,000 x (V - SV) / t^2. The
// move so started runs as the one given the computed jerks.
int32_t kind2_position_after(int option3, int32_t jerk, int32_t dec_jerk) {
  OpenCard card(card0());
  if (option3) {
    EXPECT_EQ(RM(set_customization)(0, 3, 1), SUCCESS_NO_ERROR);
  }
  EXPECT_EQ(RM(set_int_factor)(0, AXIS_X, DRIVE_END), SUCCESS_NO_ERROR);
  const int32_t record[5] = {1000, 41000, jerk, dec_jerk, 1600};
  EXPECT_EQ(RM(set_int_action)(0, AXIS_X, DRIVE_END, AXIS_Y, 2, record), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(const_move)(0, AXIS_X, 50000, 100), SUCCESS_NO_ERROR);
  run_until_stopped(0, AXIS_X);
  bench_advance_us(55000);  // into the deceleration
  EXPECT_EQ(done_of(0, AXIS_Y), 0);
  return cmd(AXIS_Y);
}

TEST(IntEvents, Kind2JerksAsTimes) {
  // 40,000 PPS over 20 ms: 400,000,000; over 32 ms: 156,250,000.
  const int32_t timed = kind2_position_after(1, 20, 32);
  const int32_t given = kind2_position_after(0, 400000000, 156250000);
  EXPECT_GT(timed, 0);
  EXPECT_EQ(timed, given);
  EXPECT_NE(kind2_position_after(0, 400000000, 400000000), given) << "the deceleration jerk matters";
}

// Four actions at most: a fifth replaces the first.
TEST(IntEvents, FifthActionReplacesTheFirst) {
  OpenCard card(card0());
  for (uint16_t axis : AXES) ASSERT_EQ(RM(set_int_factor)(0, axis, DRIVE_END), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_action)(0, AXIS_Y, DRIVE_END, AXIS_X, 1, nullptr), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_action)(0, AXIS_Z, DRIVE_END, AXIS_X, 1, nullptr), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_action)(0, AXIS_U, DRIVE_END, AXIS_X, 1, nullptr), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_action)(0, AXIS_Z | AXIS_U, DRIVE_END, AXIS_X, 1, nullptr),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_action)(0, AXIS_X, DRIVE_END, AXIS_U, 1, nullptr), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(drv_hold)(0, AXIS_X), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(const_move)(0, AXIS_X, 50000, 250), SUCCESS_NO_ERROR);
  short_move(AXIS_Y, 200);
  bench_advance_us(5000);
  EXPECT_EQ(cmd(AXIS_X), 0) << "the action of Y was replaced";
  short_move(AXIS_Z, 200);
  bench_advance_us(2000);
  run_until_stopped(0, AXIS_X);
  EXPECT_EQ(cmd(AXIS_X), 250) << "the action of Z is still there";
}

// One thread waits on all four events; drives of two axes end.
TEST(IntEvents, WaitOnAllFourFromAnotherThread) {
  OpenCard card(card0());
  void *events[4] = {};
  ASSERT_EQ(RM(int_event_config)(0, 1, events), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_factor)(0, AXIS_Y, DRIVE_END), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_int_factor)(0, AXIS_U, DRIVE_END), SUCCESS_NO_ERROR);
  std::atomic<DWORD> all{0xDEAD};
  std::thread waiter([&] {
    HANDLE pair[2] = {events[1], events[3]};
    all = WaitForMultipleObjects(2, pair, TRUE, SAFETY_MS);
  });
  ASSERT_EQ(RM(const_move)(0, AXIS_Y, 50000, 300), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(const_move)(0, AXIS_U, 50000, 600), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(const_move)(0, AXIS_X, 50000, 600), SUCCESS_NO_ERROR);
  run_until_stopped(0, AXIS_U);
  run_until_stopped(0, AXIS_X);
  bench_settle();
  waiter.join();
  EXPECT_EQ(all.load(), WAIT_OBJECT_0);
  EXPECT_FALSE(signalled(events[0])) << "X's factor is off";
  EXPECT_FALSE(signalled(events[2]));
}

INSTANTIATE_TEST_SUITE_P(
    IntEvents, Kind2,
    testing::Values(Kind2Case{"plus_symmetric", 2000, 0, 100000000, 100000000, 4},
                    Kind2Case{"minus_symmetric", -2000, 0, 100000000, 100000000, 4},
                    Kind2Case{"minus_asymmetric", -2000, 0, 100000000, 50000000, 7},
                    Kind2Case{"plus_forced_decel_point", 2000, 5, 100000000, 100000000, 7},
                    Kind2Case{"plus_short_peak_lowered", 300, 5, 100000000, 50000000, 7},
                    Kind2Case{"minus_tiny_peak_not_below_start", -12, 5, 100000000, 50000000, 7},
                    Kind2Case{"minus_times_in_ms", -2000, 3, 100, 100, 4},
                    Kind2Case{"plus_unequal_times_in_ms", 2000, 3, 50, 100, 7}),
    [](const testing::TestParamInfo<Kind2Case> &i) { return std::string(i.param.name); });

}  // namespace

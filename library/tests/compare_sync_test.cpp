// The compare trigger, the synchronous action and the three-step batch move
// of the model-A library end to end: export -> request block ->
// DeviceIoControl -> driver -> simulated chip, on a manual clock that the
// test steps a tenth of a pulse at a time, so that every event is seen on
// its exact pulse.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "batch_move.h"
#include "case_names.h"
#include "compare_probe.h"
#include "machine_probe.h"
#include "move_probe.h"
#include "open_cards.h"

namespace {

constexpr uint8_t CARD = 0;
constexpr uint32_t RANGE = 8000000;   // M = 1: a speed word is one PPS
constexpr uint32_t SPEED = 1000;      // PPS
constexpr uint64_t STEP_NS = 100000;  // a tenth of a pulse at SPEED
constexpr uint64_t LIMIT_NS = 60ull * 1000000000;
constexpr uint16_t ARM = 0x4000, INTERVAL = 16, TABLE = 0, OUTPUT = 0x0800;
constexpr uint16_t ACTIVE = 0x4000, COMP_PLUS_UP = 1;
constexpr uint16_t START_PLUS = 0x0001, SUDDEN_STOP = 0x0020, LATCH_COMMAND = 0x0040;
constexpr uint16_t DRIVE_START = 0x0010, ENCODER = 32, DRIVE_END = 0x8000, SYNC_INTERRUPT = 0x8000;

class CompareSync : public testing::Test {
 protected:
  void SetUp() override {
    int16_t count = 0;
    ASSERT_EQ(rm720_scan(&count, nullptr), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_open(CARD), SUCCESS_NO_ERROR);
    for (uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U})
      ASSERT_EQ(rm720_set_range(CARD, axis, RANGE), SUCCESS_NO_ERROR);
  }
  void TearDown() override { rm720_close(CARD); }

  // A constant-speed move of the axis at SPEED.
  static ApiStatus move(uint16_t axis, int32_t pulses) {
    return rm720_const_move(CARD, axis, SPEED, pulses);
  }
  static void run_until_idle(unsigned axes) {
    uint64_t end_ns[4] = {};
    probe_run_until_idle(axes, STEP_NS, LIMIT_NS, end_ns);
  }
  // Steps until the pulse count of the axis's compare output changes or the
  // axis stops; the command counter at that step, or nothing.
  static bool next_trigger(int axis, int32_t *position) {
    const uint32_t before = probe_compare_pulses(CARD, axis);
    while (probe_axis_busy(axis)) {
      probe_advance_ns(STEP_NS);
      if (probe_compare_pulses(CARD, axis) != before) {
        *position = probe_command_counter(axis);
        return true;
      }
    }
    return false;
  }

  AttachedLibrary library_{"[Machine]\nClock=manual\n" + card_section(0, "A", 0)};
};

TEST_F(CompareSync, IntervalTriggerPulsesOncePerPitch) {
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, ARM, 0, INTERVAL, 0, OUTPUT, 0, 100, nullptr, 0),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_X, 1050), SUCCESS_NO_ERROR);
  run_until_idle(1);
  EXPECT_EQ(probe_compare_pulses(CARD, 0), 10u);
  EXPECT_EQ(rm720_cmptrig_config(CARD, AXIS_X, 0, 0, 0, 0, 0, 0, 0, nullptr, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_cmptrig_config(CARD, AXIS_X, 0, 0, 0, 0, 0, 0, 0, nullptr, 0), SUCCESS_NO_ERROR)
      << "not armed: only the output bits change";
}

// The comparators take entries 0 and 1; the interrupt service moves each
// comparator that matched two entries on, so every entry fires on its pulse.
TEST_F(CompareSync, TableTriggerFiresAtEachEntry) {
  for (uint16_t direction : {1, 0}) {
    SCOPED_TRACE(direction);
    const std::vector<int32_t> table = direction ? std::vector<int32_t>{100, 150, 230, 300, 420}
                                                 : std::vector<int32_t>{-40, -90, -200};
    ASSERT_EQ(rm720_set_cmdcounter(CARD, AXIS_X, 0), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, ARM, 0, TABLE, 0, OUTPUT, direction, 0,
                                   table.data(), static_cast<uint32_t>(table.size())),
              SUCCESS_NO_ERROR);
    ASSERT_EQ(move(AXIS_X, direction ? 500 : -250), SUCCESS_NO_ERROR);
    std::vector<int32_t> fired;
    int32_t position = 0;
    while (next_trigger(0, &position)) fired.push_back(position);
    EXPECT_EQ(fired, table);
    EXPECT_EQ(rm720_cmptrig_config(CARD, AXIS_X, 0, 0, 0, 0, 0, 0, 0, nullptr, 0),
              SUCCESS_NO_ERROR);
  }
}

TEST_F(CompareSync, AnActionStartsThePartnersLoadedMoveAtItsPulse) {
  ASSERT_EQ(rm720_synch_t_move_cfg(CARD, AXIS_Y, SPEED, SPEED, 100000, 100000, -300),
            SUCCESS_NO_ERROR);
  EXPECT_FALSE(probe_axis_busy(1)) << "loaded, not started";
  ASSERT_EQ(rm720_set_synch(CARD, AXIS_X, 1, AXIS_Y, COMP_PLUS_UP, ACTIVE, START_PLUS, 0, 400, 0),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_X, 1000), SUCCESS_NO_ERROR);
  while (!probe_axis_busy(1) && probe_axis_busy(0)) probe_advance_ns(STEP_NS);
  EXPECT_EQ(probe_command_counter(0), 400);
  run_until_idle(3);
  EXPECT_EQ(probe_command_counter(1), 300) << "|pulses| in the direction the action names";
  EXPECT_EQ(probe_command_counter(0), 1000);
}

TEST_F(CompareSync, AnActionLatchesAndStopsItsOwnAxisUntilDisabled) {
  ASSERT_EQ(rm720_set_synch(CARD, AXIS_X, 1, 0, COMP_PLUS_UP, ACTIVE | LATCH_COMMAND, 0, 0, 321, 0),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_X, 500), SUCCESS_NO_ERROR);
  run_until_idle(1);
  int32_t latch = 0;
  EXPECT_EQ(rm720_get_latch(CARD, AXIS_X, &latch), SUCCESS_NO_ERROR);
  EXPECT_EQ(latch, 321);

  ASSERT_EQ(rm720_set_synch(CARD, AXIS_X, 1, 0, COMP_PLUS_UP, ACTIVE | SUDDEN_STOP, 0, 0, 700, 0),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_X, 1000), SUCCESS_NO_ERROR);
  run_until_idle(1);
  EXPECT_EQ(probe_command_counter(0), 700);

  ASSERT_EQ(rm720_set_synch(CARD, AXIS_X, 0, 0, 0, 0, 0, 0, 0, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_cmdcounter(CARD, AXIS_X, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_X, 1000), SUCCESS_NO_ERROR);
  run_until_idle(1);
  EXPECT_EQ(probe_command_counter(0), 1000) << "the disabled action no longer stops it";
}

TEST_F(CompareSync, CompareTriggerAndActionExcludeEachOther) {
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_Y, ARM, 0, INTERVAL, 0, OUTPUT, 0, 10, nullptr, 0),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_set_synch(CARD, AXIS_Y, 1, 0, COMP_PLUS_UP, ACTIVE, 0, 0, 5, 0),
            ERROR_CONFLICT_WITH_CMPTRIG);
  EXPECT_EQ(rm720_cmptrig_config(CARD, AXIS_Y, 0, 0, 0, 0, 0, 0, 0, nullptr, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_set_synch(CARD, AXIS_Y, 1, 0, COMP_PLUS_UP, ACTIVE, 0, 0, 5, 0),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_cmptrig_config(CARD, AXIS_Y, ARM, 0, INTERVAL, 0, OUTPUT, 0, 10, nullptr, 0),
            ERROR_CONFLICT_WITH_SYNCH_ACTION);
}

// Arming sets the counters for the ring; the absolute position stays where
// the axis is, whichever counter it follows, and is true after the disarm.
TEST_F(CompareSync, TheAbsolutePositionStaysTrueAcrossAnIntervalTrigger) {
  for (uint8_t source : {0, 1}) {
    SCOPED_TRACE(source);
    ASSERT_EQ(rm720_set_abs_feedback_src(CARD, AXIS_X, source), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_set_abs_position(CARD, AXIS_X, 1234), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, ARM, 0, INTERVAL, 0, OUTPUT, 0, 100, nullptr, 0),
              SUCCESS_NO_ERROR);
    int32_t position = 0;
    EXPECT_EQ(rm720_get_abs_position(CARD, AXIS_X, &position), SUCCESS_NO_ERROR);
    EXPECT_EQ(position, 1234) << "armed";
    ASSERT_EQ(move(AXIS_X, 1050), SUCCESS_NO_ERROR);
    run_until_idle(1);
    ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, 0, 0, 0, 0, 0, 0, 0, nullptr, 0),
              SUCCESS_NO_ERROR);
    EXPECT_EQ(rm720_get_abs_position(CARD, AXIS_X, &position), SUCCESS_NO_ERROR);
    EXPECT_EQ(position, 1234 + 1050) << "disarmed";
  }
}

// An action on the axis's own drive start that stops and starts it again
// fires once per start: the move runs its pulses.
TEST_F(CompareSync, AStopThenStartActionOnDriveStartRunsTheMoveOnce) {
  ASSERT_EQ(rm720_set_synch(CARD, AXIS_X, 1, 0, DRIVE_START, ACTIVE | SUDDEN_STOP | START_PLUS, 0,
                            0, 0, 0),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_move(CARD, AXIS_X, SPEED, SPEED, 100000, 100000, 500, 0), SUCCESS_NO_ERROR);
  run_until_idle(1);
  EXPECT_EQ(probe_command_counter(0), 500);
}

// The table advances only on its own matches: drive ends of the trigger axis
// and of another axis, both with their factor on, take no entry.
TEST_F(CompareSync, DriveEndsDuringATableRunSkipNoEntry) {
  ASSERT_EQ(rm720_set_int_factor(CARD, AXIS_X, DRIVE_END), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_int_factor(CARD, AXIS_Z, DRIVE_END), SUCCESS_NO_ERROR);
  const std::vector<int32_t> table{100, 150, 230, 300};
  ASSERT_EQ(move(AXIS_X, 50), SUCCESS_NO_ERROR);
  run_until_idle(1);
  ASSERT_EQ(rm720_set_cmdcounter(CARD, AXIS_X, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, ARM, 0, TABLE, 0, OUTPUT, 1, 0, table.data(), 4),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_X, 400), SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_Z, 120), SUCCESS_NO_ERROR);  // ends between the second and third entry
  std::vector<int32_t> fired;
  int32_t position = 0;
  while (next_trigger(0, &position)) fired.push_back(position);
  EXPECT_EQ(fired, table);
  EXPECT_EQ(probe_command_counter(2), 120);
}

// A sync-action factor raised while the chip's interrupt was off is stale
// at the table's arming: it is not taken for the first match.
TEST_F(CompareSync, AStaleMatchBeforeArmingTakesNoEntry) {
  ASSERT_EQ(rm720_set_synch(CARD, AXIS_X, 1, 0, COMP_PLUS_UP, ACTIVE | SYNC_INTERRUPT, 0, 0, 50, 0),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_X, 100), SUCCESS_NO_ERROR);
  run_until_idle(1);
  ASSERT_EQ(rm720_set_synch(CARD, AXIS_X, 0, 0, 0, 0, 0, 0, 0, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_cmdcounter(CARD, AXIS_X, 0), SUCCESS_NO_ERROR);
  const std::vector<int32_t> table{100, 150, 230, 300};
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, ARM, 0, TABLE, 0, OUTPUT, 1, 0, table.data(), 4),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_X, 400), SUCCESS_NO_ERROR);
  std::vector<int32_t> fired;
  int32_t position = 0;
  while (next_trigger(0, &position)) fired.push_back(position);
  EXPECT_EQ(fired, table);
}

// X and Y each keep an interval trigger of their own: each pulses on its
// own pitch and is disarmed alone, the other pulsing on.
TEST_F(CompareSync, IntervalTriggersOnXAndYAreDisarmedEachAlone) {
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, ARM, 0, INTERVAL, 0, OUTPUT, 0, 100, nullptr, 0),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_Y, ARM, 0, INTERVAL, 0, OUTPUT, 0, 50, nullptr, 0),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_X, 350), SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_Y, 520), SUCCESS_NO_ERROR);
  run_until_idle(3);
  EXPECT_EQ(probe_compare_pulses(CARD, 0), 3u);
  EXPECT_EQ(probe_compare_pulses(CARD, 1), 10u);

  EXPECT_EQ(rm720_cmptrig_config(CARD, AXIS_X, 0, 0, 0, 0, 0, 0, 0, nullptr, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_X, 350), SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_Y, 200), SUCCESS_NO_ERROR);
  run_until_idle(3);
  EXPECT_EQ(probe_compare_pulses(CARD, 0), 3u) << "X disarmed";
  EXPECT_EQ(probe_compare_pulses(CARD, 1), 14u) << "Y pulses on";
  EXPECT_EQ(rm720_set_softlimit(CARD, AXIS_X, 3, 0, 100000, -100000), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_set_softlimit(CARD, AXIS_X, 0, 0, 0, 0), SUCCESS_NO_ERROR);

  EXPECT_EQ(rm720_cmptrig_config(CARD, AXIS_Y, 0, 0, 0, 0, 0, 0, 0, nullptr, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_Y, 200), SUCCESS_NO_ERROR);
  run_until_idle(2);
  EXPECT_EQ(probe_compare_pulses(CARD, 1), 14u) << "Y disarmed";
  EXPECT_EQ(rm720_set_softlimit(CARD, AXIS_Y, 3, 0, 100000, -100000), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_set_softlimit(CARD, AXIS_Y, 0, 0, 0, 0), SUCCESS_NO_ERROR);
}

// The card reloads one table: a table for the other axis is refused while
// one runs, and the running table fires every entry of its own.
TEST_F(CompareSync, OneTableTriggerPerCard) {
  const std::vector<int32_t> table{100, 150, 230, 300};
  const std::vector<int32_t> other{10, 20, 30, 40, 50, 60};
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, ARM, 0, TABLE, 0, OUTPUT, 1, 0, table.data(), 4),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_cmptrig_config(CARD, AXIS_Y, ARM, 0, TABLE, 0, OUTPUT, 1, 0, other.data(), 6),
            ERROR_CONFLICT_WITH_CMPTRIG);
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_Y, ARM, 0, INTERVAL, 0, OUTPUT, 0, 100, nullptr, 0),
            SUCCESS_NO_ERROR)
      << "an interval trigger beside the table";
  ASSERT_EQ(move(AXIS_X, 400), SUCCESS_NO_ERROR);
  std::vector<int32_t> fired;
  int32_t position = 0;
  while (next_trigger(0, &position)) fired.push_back(position);
  EXPECT_EQ(fired, table);
  EXPECT_EQ(rm720_cmptrig_config(CARD, AXIS_Y, 0, 0, 0, 0, 0, 0, 0, nullptr, 0), SUCCESS_NO_ERROR);

  EXPECT_EQ(rm720_cmptrig_config(CARD, AXIS_X, 0, 0, 0, 0, 0, 0, 0, nullptr, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_cmdcounter(CARD, AXIS_Y, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_cmptrig_config(CARD, AXIS_Y, ARM, 0, TABLE, 0, OUTPUT, 1, 0, other.data(), 6),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(move(AXIS_Y, 100), SUCCESS_NO_ERROR);
  fired.clear();
  while (next_trigger(1, &position)) fired.push_back(position);
  EXPECT_EQ(fired, other);
  EXPECT_EQ(rm720_cmptrig_config(CARD, AXIS_Y, 0, 0, 0, 0, 0, 0, 0, nullptr, 0), SUCCESS_NO_ERROR);
}

// A partner whose sync words the compare trigger holds is refused; its
// trigger keeps pulsing.
TEST_F(CompareSync, APartnerRunningACompareTriggerIsRefused) {
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_Y, ARM, 0, INTERVAL, 0, OUTPUT, 0, 100, nullptr, 0),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_set_synch(CARD, AXIS_X, 1, AXIS_Y, COMP_PLUS_UP, ACTIVE, START_PLUS, 0, 400, 0),
            ERROR_CONFLICT_WITH_CMPTRIG);
  ASSERT_EQ(move(AXIS_Y, 1050), SUCCESS_NO_ERROR);
  run_until_idle(2);
  EXPECT_EQ(probe_compare_pulses(CARD, 1), 10u);
}

// Re-arming an action on another counter, with new comparators, fires
// nothing while the axis stands: the partner's loaded move stays loaded.
TEST_F(CompareSync, RearmingOnAnotherCounterFiresNothing) {
  ASSERT_EQ(rm720_synch_t_move_cfg(CARD, AXIS_Y, SPEED, SPEED, 100000, 100000, 300),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_cmdcounter(CARD, AXIS_X, 5000), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_synch(CARD, AXIS_X, 1, AXIS_Y, COMP_PLUS_UP, ACTIVE, START_PLUS, ENCODER,
                            1000, 0),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_synch(CARD, AXIS_X, 1, AXIS_Y, COMP_PLUS_UP, ACTIVE, START_PLUS, 0, 6000, 0),
            SUCCESS_NO_ERROR);
  probe_advance_ns(LIMIT_NS / 60);
  EXPECT_FALSE(probe_axis_busy(1));
  EXPECT_EQ(probe_command_counter(1), 0);
}

// A line started while the compare table holds the interrupt cannot arm its
// drive end; once it has run and the trigger is off, a waited line runs.
TEST_F(CompareSync, ALineBesideATableTriggerLeavesNoInterpolationBehind) {
  for (uint16_t axis : {AXIS_X, AXIS_Y})
    ASSERT_EQ(rm720_set_range(CARD, axis, 800000), SUCCESS_NO_ERROR);  // up to 80,000 PPS
  std::vector<int32_t> table;
  for (int32_t position = 1000; position <= 20000; position += 1000) table.push_back(position);
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, ARM, 0, TABLE, 0, OUTPUT, 1, 0, table.data(),
                                 static_cast<uint32_t>(table.size())),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_line2_move(CARD, AXIS_X, AXIS_Y, 20000, 20000, 500000, 500000, 15500, 7750,
                               0, 0),
            SUCCESS_NO_ERROR);
  run_until_idle(3);
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, 0, 0, 0, 0, OUTPUT, 1, 0, nullptr, 0),
            SUCCESS_NO_ERROR);
  std::atomic<bool> returned{false};
  std::thread clock([&] {
    while (!returned) {
      probe_advance_ns(1000000);
      std::this_thread::yield();
    }
  });
  EXPECT_EQ(rm720_t_line2_move(CARD, AXIS_X, AXIS_Y, 5000, 20000, 500000, 500000, -1500, 500, 0,
                               1),
            SUCCESS_NO_ERROR);
  returned = true;
  clock.join();
  EXPECT_EQ(probe_command_counter(0), 14000);
  EXPECT_EQ(probe_command_counter(1), 8250);
}

// Argument checks in their order: card, axis, option values, then the
// export's own checks.
struct CheckCase {
  const char *name;
  ApiStatus (*call)();
  ApiStatus expected;
};

const int32_t kIncreasing[] = {10, 20, 30};
const int32_t kRepeated[] = {10, 20, 20};
const int32_t kDecreasing[] = {30, 20, 10};

ApiStatus cmptrig(uint8_t card, uint16_t axis, uint16_t enable, uint16_t mode, int32_t pitch,
                  const int32_t *table, uint32_t count, uint16_t table_direction = 1) {
  return rm720_cmptrig_config(card, axis, enable, 0, mode, 0, OUTPUT, table_direction, pitch, table,
                              count);
}

const CheckCase kChecks[] = {
    {"cmptrig card", [] { return cmptrig(16, AXIS_Z, 7, TABLE, -1, nullptr, 0); },
     ERROR_INVALID_CARD_ID},
    {"cmptrig axes", [] { return cmptrig(CARD, 3, 7, TABLE, -1, nullptr, 0); },
     ERROR_MULTI_AXES_ASSIGNED},
    {"cmptrig enable", [] { return cmptrig(CARD, AXIS_Z, 7, TABLE, -1, nullptr, 0); },
     ERROR_INVALID_CMPTRIG_ENABLE},
    {"no table", [] { return cmptrig(CARD, AXIS_Z, ARM, TABLE, 0, nullptr, 3); },
     ERROR_INVALID_OFFSET_BUFFER},
    {"count 0", [] { return cmptrig(CARD, AXIS_Z, ARM, TABLE, 0, kIncreasing, 0); },
     ERROR_INVALID_OFFSET_LEN},
    {"count 2049", [] { return cmptrig(CARD, AXIS_Z, ARM, TABLE, 0, kIncreasing, 2049); },
     ERROR_INVALID_OFFSET_LEN},
    {"negative pitch", [] { return cmptrig(CARD, AXIS_Z, ARM, INTERVAL, -1, nullptr, 0); },
     ERROR_INVALID_CONST_PITCH},
    {"pitch 0", [] { return cmptrig(CARD, AXIS_X, ARM, INTERVAL, 0, nullptr, 0); },
     ERROR_INVALID_CONST_PITCH},
    {"axis Z", [] { return cmptrig(CARD, AXIS_Z, ARM, INTERVAL, 10, nullptr, 0); },
     ERROR_INVALID_AXIS},
    {"off on Z", [] { return cmptrig(CARD, AXIS_Z, 0, INTERVAL, -1, nullptr, 0); },
     SUCCESS_NO_ERROR},
    {"repeated entry", [] { return cmptrig(CARD, AXIS_X, ARM, TABLE, 0, kRepeated, 3); },
     ERROR_INVALID_OFFSET_DATA},
    {"decreasing", [] { return cmptrig(CARD, AXIS_X, ARM, TABLE, 0, kDecreasing, 3, 0); },
     SUCCESS_NO_ERROR},
    {"faulting table",
     [] { return cmptrig(CARD, AXIS_X, ARM, TABLE, 0, reinterpret_cast<const int32_t *>(8), 3); },
     ERROR_ACCESS_VIOLATION_DATA_COPY},
    {"synch enable", [] { return rm720_set_synch(CARD, AXIS_X, 2, AXIS_X, 1, 0, 0, 0, 0, 0); },
     ERROR_INVALID_SYNCH_ENABLE},
    {"synch action", [] { return rm720_set_synch(CARD, AXIS_X, 1, AXIS_X, 1, 0x100, 0, 0, 0, 0); },
     ERROR_INVALID_SYNCH_CONDITION},
    {"synch partner itself",
     [] { return rm720_set_synch(CARD, AXIS_X, 1, AXIS_X, 1, 0, 0, 0, 0, 0); },
     ERROR_INVALID_SYNCHRONOUS_AXES},
    {"synch partner above U", [] { return rm720_set_synch(CARD, AXIS_X, 0, 16, 0, 0, 0, 0, 0, 0); },
     ERROR_INVALID_SYNCHRONOUS_AXES},
    {"loaded T speed", [] { return rm720_synch_t_move_cfg(CARD, AXIS_X, 10, 9000, 1000, 1000, 5); },
     ERROR_INVALID_DRIVING_SPEED},
    {"loaded S jerk", [] { return rm720_synch_s_move_cfg(CARD, AXIS_X, 10, 100, 0, 0, 5); },
     ERROR_INVALID_JERK},
    {"set_cmp source", [] { return rm720_set_cmp(CARD, AXIS_X, 1, 0, 0); },
     ERROR_INVALID_COMPARATOR_SOURCE},
    {"set_cmp", [] { return rm720_set_cmp(CARD, AXIS_X, 32, 5, 6); }, SUCCESS_NO_ERROR},
    {"mask flag", [] { return rm720_set_cmp_mask_in3(CARD, 0, 1, 0, 2, 0, 0); },
     ERROR_INVALID_CMP_MASK},
    {"mask card", [] { return rm720_set_cmp_mask_in3(3, 0, 2, 0, 0, 0, 0); },
     ERROR_INVALID_CARD_ID},
    {"batch V2",
     [] {
       return rm720_t_move_batch_3steps(CARD, AXIS_X, 10, 100, 9000, 100, 1000, 0, 1000, 5, 5, 5);
     },
     ERROR_INVALID_DRIVING_SPEED},
};

class ArgumentChecks : public CompareSync, public testing::WithParamInterface<CheckCase> {};

TEST_P(ArgumentChecks, ComeInTheirOrder) { EXPECT_EQ(GetParam().call(), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Exports, ArgumentChecks, testing::ValuesIn(kChecks), case_name<CheckCase>);

// The batch worker issues step 3 from its own thread once the axis stopped:
// the test waits for the worker (no time limit on the wait itself).
class BatchMove : public CompareSync {
 protected:
  static DWORD wait_for_worker() {
    HANDLE worker = last_batch_worker();
    EXPECT_NE(worker, nullptr);
    EXPECT_EQ(WaitForSingleObject(worker, INFINITE), WAIT_OBJECT_0);
    DWORD exit_code = 0;
    EXPECT_TRUE(GetExitCodeThread(worker, &exit_code));
    return exit_code;
  }
  // Read through the driver: the worker's requests run meanwhile.
  static int32_t counter() {
    int32_t value = 0;
    EXPECT_EQ(rm720_get_cmdcounter(CARD, AXIS_X, &value), SUCCESS_NO_ERROR);
    return value;
  }
  static void run_to(int32_t position) {
    while (counter() < position) probe_advance_ns(STEP_NS);
  }
  static ApiStatus batch(int32_t d1, int32_t d2, int32_t d3) {
    return rm720_t_move_batch_3steps(CARD, AXIS_X, 1000, 5000, 2000, 3000, 100000, 0, 100000, d1,
                                     d2, d3);
  }
};

TEST_F(BatchMove, ReachesItsThreeTargetsAtTheirSpeeds) {
  ASSERT_EQ(rm720_set_cmdcounter(CARD, AXIS_X, 100), SUCCESS_NO_ERROR);
  ASSERT_EQ(batch(1000, 1000, 500), SUCCESS_NO_ERROR);
  run_to(900);
  int32_t speed = 0;
  EXPECT_EQ(rm720_get_speed(CARD, AXIS_X, &speed), SUCCESS_NO_ERROR);
  EXPECT_EQ(speed, 5000) << "step 1 at DV";
  run_to(1600);
  EXPECT_EQ(rm720_get_speed(CARD, AXIS_X, &speed), SUCCESS_NO_ERROR);
  EXPECT_EQ(speed, 2000) << "step 2 at V2, changed by the card";
  // Step 3 starts when the worker sees step 2 end at 2100: the clock runs on
  // until it has, however late the host runs the worker.
  run_to(2300);
  EXPECT_EQ(rm720_get_speed(CARD, AXIS_X, &speed), SUCCESS_NO_ERROR);
  EXPECT_EQ(speed, 3000) << "step 3 at V3";
  run_until_idle(1);
  EXPECT_EQ(wait_for_worker(), 0u) << "step 3 issued";
  EXPECT_EQ(counter(), 2600);
}

TEST_F(BatchMove, AStopBeforeTheEndOfStepTwoSkipsStepThree) {
  ASSERT_EQ(batch(0, 800, 500), SUCCESS_NO_ERROR);
  run_to(300);
  probe_stop_drive(CARD, 0);
  EXPECT_EQ(wait_for_worker(), 1u);
  EXPECT_EQ(counter(), 300);
}

// The speed change ends with steps 1 and 2: a later move across the old end
// of step 1 keeps its own speed.
TEST_F(BatchMove, ALaterMoveKeepsItsSpeedAcrossTheOldEndOfStepOne) {
  ASSERT_EQ(batch(1000, 1000, 500), SUCCESS_NO_ERROR);
  run_until_idle(1);
  EXPECT_EQ(wait_for_worker(), 0u);
  run_until_idle(1);
  ASSERT_EQ(rm720_set_cmdcounter(CARD, AXIS_X, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_move(CARD, AXIS_X, 1000, 3000, 100000, 100000, 2000, 0), SUCCESS_NO_ERROR);
  run_to(1500);
  int32_t speed = 0;
  EXPECT_EQ(rm720_get_speed(CARD, AXIS_X, &speed), SUCCESS_NO_ERROR);
  EXPECT_EQ(speed, 3000);
  run_until_idle(1);
}

// V2 is the driver's to keep: other requests' data writes during step 1
// change nothing of step 2.
TEST_F(BatchMove, OtherRequestsDuringStepOneLeaveStepTwoAtV2) {
  ASSERT_EQ(batch(1000, 1000, 500), SUCCESS_NO_ERROR);
  run_to(500);
  ASSERT_EQ(rm720_set_cmdcounter(CARD, AXIS_Y, 12345), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_range(CARD, AXIS_Z, RANGE), SUCCESS_NO_ERROR);
  run_to(1600);
  int32_t speed = 0;
  EXPECT_EQ(rm720_get_speed(CARD, AXIS_X, &speed), SUCCESS_NO_ERROR);
  EXPECT_EQ(speed, 2000);
  run_until_idle(1);
  EXPECT_EQ(wait_for_worker(), 0u);
  run_until_idle(1);
  EXPECT_EQ(counter(), 2500);
}

TEST_F(BatchMove, ARefusedMoveDisablesTheSpeedChangeAgain) {
  ASSERT_EQ(rm720_set_softlimit(CARD, AXIS_X, 3, 0, 100000, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(batch(10, 10, 10), ERROR_CONFLICT_WITH_SOFTLIMIT) << "the speed change is refused";
  ASSERT_EQ(rm720_set_softlimit(CARD, AXIS_X, 0, 0, 0, 0), SUCCESS_NO_ERROR);
  // A move the driver refuses (a busy axis) leaves no action armed behind.
  probe_start_drive(CARD, 0);
  EXPECT_EQ(batch(10, 10, 10), ERROR_MOTION_NOT_COMPLETE);
  probe_stop_drive(CARD, 0);
  EXPECT_EQ(rm720_cmptrig_config(CARD, AXIS_X, ARM, 0, INTERVAL, 0, OUTPUT, 0, 10, nullptr, 0),
            SUCCESS_NO_ERROR);
}

}  // namespace

// The model-B compare trigger end to end: its interval trigger from a start
// position, confirmed by the library reading the card's compare registers
// back, the counters it reads, and the checks in which the model-B library
// differs from the model-A one.
#include <gtest/gtest.h>

#include "case_names.h"
#include "move_probe.h"
#include "open_cards.h"

namespace {

constexpr uint8_t OLD_CPLD_CARD = 1;  // CPLD version 2: a 16-bit pitch
constexpr uint8_t CARD = 2;           // CPLD version 3: a 20-bit pitch
constexpr uint64_t STEP_NS = 100000;
constexpr uint64_t LIMIT_NS = 60ull * 1000000000;
constexpr uint16_t ARM = 0x4000, INTERVAL = 16, OUTPUT_LINE = 1, PLUS = 1, MINUS = 0;

class ModelBCompare : public testing::Test {
 protected:
  void SetUp() override {
    int16_t count = 0;
    ASSERT_EQ(rm730_scan(&count, nullptr), SUCCESS_NO_ERROR);
    for (uint8_t card : {OLD_CPLD_CARD, CARD}) ASSERT_EQ(rm730_open(card), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm730_set_range(CARD, AXIS_X, 8000000), SUCCESS_NO_ERROR);
  }
  void TearDown() override { rm730_close_all(); }

  static ApiStatus arm(uint8_t card, uint16_t axis, uint16_t travel, int32_t pitch,
                       uint32_t start) {
    return rm730_cmptrig_config(card, axis, ARM, 0, INTERVAL, 0, OUTPUT_LINE, travel, pitch, start);
  }
  static int32_t trigger_counter() {
    int32_t value = 0;
    EXPECT_EQ(rm730_get_cmptrigcounter(CARD, AXIS_X, &value), SUCCESS_NO_ERROR);
    return value;
  }
  static void move(int32_t pulses) {
    ASSERT_EQ(rm730_const_move(CARD, AXIS_X, 1000, pulses), SUCCESS_NO_ERROR);
    uint64_t end_ns[4] = {};
    probe_run_until_idle(1, STEP_NS, LIMIT_NS, end_ns);
  }

  // The card with CPLD 3 sits in slot 0, which the probes look at.
  AttachedLibrary library_{"[Machine]\nClock=manual\n" + card_section(0, "B", CARD) +
                           card_section(1, "B", OLD_CPLD_CARD) + "CpldVersion=2\n"};
};

TEST_F(ModelBCompare, TheReadBackConfirmsATriggerFromAnyStart) {
  ASSERT_EQ(arm(CARD, AXIS_X, PLUS, 100, 5000), SUCCESS_NO_ERROR);
  int32_t pitch = 0;
  EXPECT_EQ(rm730_get_cmp_pitch(CARD, AXIS_X, &pitch), SUCCESS_NO_ERROR);
  EXPECT_EQ(pitch, 100);
  EXPECT_EQ(trigger_counter(), 5000);

  move(1050);
  EXPECT_EQ(trigger_counter(), 5000 + 10 * 100) << "one pitch on per trigger";
  int32_t counter = 0;
  EXPECT_EQ(rm730_get_cmpcounter(CARD, AXIS_X, &counter), SUCCESS_NO_ERROR);
  EXPECT_EQ(counter, (99 + 1050) % 100) << "the ring of the pitch";

  ASSERT_EQ(arm(CARD, AXIS_X, MINUS, 100, 5000), SUCCESS_NO_ERROR);
  move(-250);
  EXPECT_EQ(trigger_counter(), 5000 - 2 * 100) << "counting down when travelling minus";
  EXPECT_EQ(rm730_cmptrig_config(CARD, AXIS_X, 0, 0, 0, 0, 0, 0, 0, 0), SUCCESS_NO_ERROR);
}

TEST_F(ModelBCompare, ThePitchRangeFollowsTheCpldVersion) {
  EXPECT_EQ(arm(CARD, AXIS_Y, PLUS, 40000, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(arm(OLD_CPLD_CARD, AXIS_Y, PLUS, 40000, 0), ERROR_INVALID_CONST_PITCH);
  EXPECT_EQ(arm(OLD_CPLD_CARD, AXIS_Y, PLUS, 0x7FFF, 0), SUCCESS_NO_ERROR);
}

// As on model A, the absolute position stays true across the trigger.
TEST_F(ModelBCompare, TheAbsolutePositionStaysTrueAcrossTheTrigger) {
  ASSERT_EQ(rm730_set_abs_position(CARD, AXIS_X, -700), SUCCESS_NO_ERROR);
  ASSERT_EQ(arm(CARD, AXIS_X, PLUS, 100, 5000), SUCCESS_NO_ERROR);
  move(1050);
  ASSERT_EQ(rm730_cmptrig_config(CARD, AXIS_X, 0, 0, 0, 0, 0, 0, 0, 0), SUCCESS_NO_ERROR);
  int32_t position = 0;
  EXPECT_EQ(rm730_get_abs_position(CARD, AXIS_X, &position), SUCCESS_NO_ERROR);
  EXPECT_EQ(position, -700 + 1050);
}

// Every pitch of the signed 20-bit range arms on CPLD 3 and reads back as
// given; the pitch of a trigger no longer armed is the register's.
TEST_F(ModelBCompare, WideAndNegativePitchesArmAndReadBack) {
  for (int32_t pitch : {0x10000, 0x7FFFF, 0x12345, -500, -0x80000}) {
    SCOPED_TRACE(pitch);
    ASSERT_EQ(arm(CARD, AXIS_X, PLUS, pitch, 0), SUCCESS_NO_ERROR);
    int32_t read = 0;
    EXPECT_EQ(rm730_get_cmp_pitch(CARD, AXIS_X, &read), SUCCESS_NO_ERROR);
    EXPECT_EQ(read, pitch);
    ASSERT_EQ(rm730_cmptrig_config(CARD, AXIS_X, 0, 0, 0, 0, 0, 0, 0, 0), SUCCESS_NO_ERROR);
    EXPECT_EQ(rm730_get_cmp_pitch(CARD, AXIS_X, &read), SUCCESS_NO_ERROR);
    EXPECT_EQ(read, 0);
  }
}

// A refused pitch changes nothing: no trigger armed, the counter untouched,
// the software limit still free.
TEST_F(ModelBCompare, ARefusedPitchLeavesNothingArmed) {
  struct Refusal {
    uint8_t card;
    int32_t pitch;
  };
  for (const Refusal &r : {Refusal{OLD_CPLD_CARD, 40000}, Refusal{OLD_CPLD_CARD, -0x8001},
                           Refusal{CARD, 0x80000}, Refusal{CARD, -0x80001}, Refusal{CARD, 0}}) {
    SCOPED_TRACE(r.pitch);
    ASSERT_EQ(rm730_set_cmdcounter(r.card, AXIS_X, 1234), SUCCESS_NO_ERROR);
    EXPECT_EQ(arm(r.card, AXIS_X, PLUS, r.pitch, 0), ERROR_INVALID_CONST_PITCH);
    int32_t value = 0;
    EXPECT_EQ(rm730_get_cmdcounter(r.card, AXIS_X, &value), SUCCESS_NO_ERROR);
    EXPECT_EQ(value, 1234);
    EXPECT_EQ(rm730_set_softlimit(r.card, AXIS_X, 3, 0, 100000, -100000), SUCCESS_NO_ERROR);
    EXPECT_EQ(rm730_set_softlimit(r.card, AXIS_X, 0, 0, 0, 0), SUCCESS_NO_ERROR);
  }
}

struct CheckCase {
  const char *name;
  ApiStatus (*call)();
  ApiStatus expected;
};

const CheckCase kChecks[] = {
    {"card", [] { return rm730_cmptrig_config(0, 3, 9, 0, 0, 0, 0, 0, 0, 0); },
     ERROR_INVALID_CARD_ID},
    {"enable", [] { return rm730_cmptrig_config(CARD, AXIS_Z, 9, 0, 0, 0, 0, 0, 0, 0); },
     ERROR_INVALID_CMPTRIG_ENABLE},
    {"output line",
     [] { return rm730_cmptrig_config(CARD, AXIS_X, ARM, 0, INTERVAL, 0, 0, 0, 10, 0); },
     ERROR_INVALID_CMPTRIG_OUTPUT},
    {"travel", [] { return rm730_cmptrig_config(CARD, AXIS_X, ARM, 0, 0, 0, 1, 2, 10, 0); },
     ERROR_INVALID_MOVE_DIRECTION},
    {"no table", [] { return rm730_cmptrig_config(CARD, AXIS_Z, ARM, 0, 0, 0, 1, 1, -1, 0); },
     ERROR_CMPTRIG_SET},
    {"pitch 0", [] { return rm730_cmptrig_config(CARD, AXIS_Z, ARM, 0, INTERVAL, 0, 1, 1, 0, 0); },
     ERROR_INVALID_CONST_PITCH},
    {"start",
     [] { return rm730_cmptrig_config(CARD, AXIS_Z, ARM, 0, INTERVAL, 0, 1, 1, 10, 0x80000000u); },
     ERROR_INVALID_OFFSET_BUFFER},
    {"axis Z", [] { return rm730_cmptrig_config(CARD, AXIS_Z, ARM, 0, INTERVAL, 0, 1, 1, 10, 0); },
     ERROR_INVALID_AXIS},
    {"off on Z", [] { return rm730_cmptrig_config(CARD, AXIS_Z, 0, 7, 7, 7, 0, 9, 0, 0); },
     SUCCESS_NO_ERROR},
    {"counter axis",
     [] {
       int32_t v = 0;
       return rm730_get_cmpcounter(CARD, 0, &v);
     },
     ERROR_NO_VALID_AXIS_ASSIGNED},
    {"counter store",
     [] { return rm730_get_cmp_pitch(CARD, AXIS_X, reinterpret_cast<int32_t *>(8)); },
     ERROR_ACCESS_VIOLATION_DATA_COPY},
    {"synch both COMP+",
     [] { return rm730_set_synch(CARD, AXIS_X, 1, 0, 3, 0x4000, 0, 0, 10, 20); },
     ERROR_INVALID_WDT_MODE},
    {"synch COMP+ and COMP-",
     [] { return rm730_set_synch(CARD, AXIS_X, 1, 0, 5, 0x4000, 0, 0, 10, 20); }, SUCCESS_NO_ERROR},
};

class ModelBChecks : public ModelBCompare, public testing::WithParamInterface<CheckCase> {};

TEST_P(ModelBChecks, ComeInTheirOrder) { EXPECT_EQ(GetParam().call(), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Exports, ModelBChecks, testing::ValuesIn(kChecks), case_name<CheckCase>);

}  // namespace

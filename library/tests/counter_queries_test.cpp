// End to end on a manual clock, for the model the test is built for: the
// counters and their writers, the motion state and its stop reasons after
// injected faults, the speed and acceleration read-backs, the input queries,
// the board information, the per-card options and (model A) the register
// access and the watchdog.
#include <gtest/gtest.h>
#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench.h"
#include "machine_probe.h"
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

std::string card0(const std::string &extra = "") {
  return card_section(0, MODEL, 0) + extra;
}

// A page the library may read but not write: stores into it fault.
struct ReadOnlyPage {
  ReadOnlyPage() {
    page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(page, MAP_FAILED);
  }
  ~ReadOnlyPage() { munmap(page, 4096); }
  template <typename T>
  T *as() const { return static_cast<T *>(page); }
  void *page;
};

uint8_t done_of(uint16_t axis, int16_t *state = nullptr) {
  uint8_t done = 0xEE;
  int16_t s = 0;
  EXPECT_EQ(RM(motion_done)(0, axis, &done, &s), SUCCESS_NO_ERROR);
  if (state) *state = s;
  return done;
}

// Steps the clock in 1 ms steps until the axis is stopped (at most limit_ms).
int16_t run_until_stopped(uint16_t axis, int limit_ms = 5000) {
  int16_t state = 0;
  for (int i = 0; i < limit_ms; ++i) {
    if (done_of(axis, &state) == 1) return state;
    bench_advance_us(1000);
  }
  ADD_FAILURE() << "axis " << axis << " still moving after " << limit_ms << " ms";
  return state;
}

int32_t cmd(uint16_t axis) {
  int32_t v = 0;
  EXPECT_EQ(RM(get_cmdcounter)(0, axis, &v), SUCCESS_NO_ERROR);
  return v;
}
int32_t enc(uint16_t axis) {
  int32_t v = 0;
  EXPECT_EQ(RM(get_enccounter)(0, axis, &v), SUCCESS_NO_ERROR);
  return v;
}
int32_t abs_pos(uint16_t axis) {
  int32_t v = 0;
  EXPECT_EQ(RM(get_abs_position)(0, axis, &v), SUCCESS_NO_ERROR);
  return v;
}
int32_t speed(uint16_t axis) {
  int32_t v = -1;
  EXPECT_EQ(RM(get_speed)(0, axis, &v), SUCCESS_NO_ERROR);
  return v;
}

const uint16_t AXES[4] = {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U};
const uint16_t FAULT_BITS = 0x0007 | 0xF000;

// ---- Counters -------------------------------------------------------------

TEST(CounterQueries, WrittenCountersReadBackOnEveryAxis) {
  OpenCard card(card0());
  const int32_t values[] = {0, 1, -1, 123456, -7654321, INT32_MAX, INT32_MIN};
  for (int a = 0; a < 4; ++a) {
    for (int32_t v : values) {
      SCOPED_TRACE(testing::Message() << "axis " << a << " value " << v);
      EXPECT_EQ(RM(set_cmdcounter)(0, AXES[a], v), SUCCESS_NO_ERROR);
      EXPECT_EQ(cmd(AXES[a]), v);
      EXPECT_EQ(RM(set_enccounter)(0, AXES[a], v ^ 0x55), SUCCESS_NO_ERROR);
      EXPECT_EQ(enc(AXES[a]), v ^ 0x55);
      int32_t pos = 0;
      EXPECT_EQ(RM(get_position)(0, AXES[a], &pos), SUCCESS_NO_ERROR);
      EXPECT_EQ(pos, v ^ 0x55);  // the position is the encoder counter
      EXPECT_EQ(RM(set_position)(0, AXES[a], v), SUCCESS_NO_ERROR);
      EXPECT_EQ(enc(AXES[a]), v);
      EXPECT_EQ(cmd(AXES[a]), v);  // set_position leaves the command counter
    }
  }
  // The axes are independent.
  for (int a = 0; a < 4; ++a) EXPECT_EQ(RM(set_cmdcounter)(0, AXES[a], 100 * (a + 1)), 0);
  for (int a = 0; a < 4; ++a) EXPECT_EQ(cmd(AXES[a]), 100 * (a + 1));
}

TEST(CounterQueries, CountersFollowAMoveAndMotionDoneReportsIt) {
  OpenCard card(card0());
  ASSERT_EQ(RM(set_cmdcounter)(0, AXIS_Y, 500), SUCCESS_NO_ERROR);
  EXPECT_EQ(done_of(AXIS_Y), 1);
  ASSERT_EQ(RM(const_move)(0, AXIS_Y, 50000, 4000), SUCCESS_NO_ERROR);
  EXPECT_EQ(done_of(AXIS_Y), 0);
  int32_t last = cmd(AXIS_Y);
  bench_advance_us(30000);
  int32_t mid = cmd(AXIS_Y);
  EXPECT_GT(mid, last);
  EXPECT_LT(mid, 4500);
  EXPECT_EQ(done_of(AXIS_Y), 0);
  int32_t spd = speed(AXIS_Y);
  EXPECT_EQ(spd, 50000);
  int16_t mdi = 0;
  EXPECT_EQ(RM(get_mdi_status)(0, AXIS_Y, &mdi), SUCCESS_NO_ERROR);
  EXPECT_EQ(mdi & 1, 1) << "bit 0: driving";
  int16_t state = run_until_stopped(AXIS_Y);
  EXPECT_EQ(state & FAULT_BITS, 0) << std::hex << state;
  EXPECT_EQ(cmd(AXIS_Y), 4500);
  EXPECT_EQ(RM(get_mdi_status)(0, AXIS_Y, &mdi), SUCCESS_NO_ERROR);
  EXPECT_EQ(mdi & 1, 0);
  // The other axes did not move.
  EXPECT_EQ(cmd(AXIS_X), 0);
  EXPECT_EQ(cmd(AXIS_U), 0);
}

// With two encoder pulses per command pulse the position is the encoder
// counter, not the command counter.
TEST(CounterQueries, PositionIsTheEncoderCounterWhileMoving) {
  OpenCard card(card0("U.EncoderRatio=2\n"));
  ASSERT_EQ(RM(const_move)(0, AXIS_U, 50000, 3000), SUCCESS_NO_ERROR);
  bench_advance_us(20000);
  int32_t pos = 0;
  EXPECT_EQ(RM(get_position)(0, AXIS_U, &pos), SUCCESS_NO_ERROR);
  EXPECT_EQ(pos, enc(AXIS_U));
  EXPECT_GT(pos, 0);
  EXPECT_NEAR(pos, 2 * cmd(AXIS_U), 2);
  run_until_stopped(AXIS_U);
  EXPECT_EQ(cmd(AXIS_U), 3000);
  EXPECT_EQ(RM(get_position)(0, AXIS_U, &pos), SUCCESS_NO_ERROR);
  EXPECT_EQ(pos, 6000);
  EXPECT_EQ(enc(AXIS_U), 6000);
}

TEST(CounterQueries, MotionDoneStoresGuarded) {
  OpenCard card(card0());
  ReadOnlyPage ro;
  uint8_t done = 0xEE;
  int16_t state = 0x5A5A;
  EXPECT_EQ(RM(motion_done)(0, AXIS_X, ro.as<uint8_t>(), &state), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(state, 0x5A5A) << "done is stored first";
  EXPECT_EQ(RM(motion_done)(0, AXIS_X, &done, ro.as<int16_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(RM(motion_done)(0, AXIS_X, nullptr, nullptr), ERROR_ACCESS_VIOLATION_DATA_COPY);
}

TEST(CounterQueries, Types1And4NeedTheCardOpenAfterClose) {
  AttachedLibrary lib(MANUAL_CLOCK + card0());
  int16_t count = 0;
  ASSERT_EQ(RM(scan)(&count, nullptr), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(open)(0), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(set_customization)(0, 1, 1), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(close)(0), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(set_customization)(0, 1, 0), ERROR_CUSTOMIZATION_SET);
  EXPECT_EQ(RM(set_customization)(0, 4, 1), ERROR_CUSTOMIZATION_SET);
  EXPECT_EQ(RM(set_customization)(0, 8, 1), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(set_customization)(0, 8, 0), SUCCESS_NO_ERROR);
}

// The write of the counter the absolute position follows keeps the absolute
// position; the write of the other counter does not touch it.
TEST(CounterQueries, CounterWritersKeepTheAbsolutePosition) {
  OpenCard card(card0());
  ASSERT_EQ(RM(t_move)(0, AXIS_X, 1000, 50000, 1000000, 1000000, 2500, 0), 0);
  run_until_stopped(AXIS_X);
  // Encoder source.
  ASSERT_EQ(RM(set_abs_feedback_src)(0, AXIS_X, 1), SUCCESS_NO_ERROR);
  int32_t before = abs_pos(AXIS_X);
  EXPECT_EQ(RM(set_enccounter)(0, AXIS_X, 1000), SUCCESS_NO_ERROR);
  EXPECT_EQ(enc(AXIS_X), 1000);
  EXPECT_EQ(abs_pos(AXIS_X), before);
  EXPECT_EQ(RM(set_position)(0, AXIS_X, -42), SUCCESS_NO_ERROR);
  EXPECT_EQ(abs_pos(AXIS_X), before);
  EXPECT_EQ(RM(set_cmdcounter)(0, AXIS_X, 77777), SUCCESS_NO_ERROR);
  EXPECT_EQ(abs_pos(AXIS_X), before);
  // Command source.
  ASSERT_EQ(RM(set_abs_feedback_src)(0, AXIS_X, 0), SUCCESS_NO_ERROR);
  before = abs_pos(AXIS_X);
  EXPECT_EQ(RM(set_cmdcounter)(0, AXIS_X, -3000), SUCCESS_NO_ERROR);
  EXPECT_EQ(cmd(AXIS_X), -3000);
  EXPECT_EQ(abs_pos(AXIS_X), before);
  EXPECT_EQ(RM(set_enccounter)(0, AXIS_X, 5), SUCCESS_NO_ERROR);
  EXPECT_EQ(abs_pos(AXIS_X), before);
  // Moving on from there moves the absolute position by the distance.
  ASSERT_EQ(RM(const_move)(0, AXIS_X, 50000, 400), 0);
  run_until_stopped(AXIS_X);
  EXPECT_EQ(abs_pos(AXIS_X), before + 400);
}

struct MovingWriteCase {
  const char *name;
  uint8_t source;   // absolute-position source
  int writer;       // 0 set_cmdcounter, 1 set_enccounter, 2 set_position
  bool option8;
  ApiStatus expected;
};

class MovingWrite : public testing::TestWithParam<MovingWriteCase> {};

TEST_P(MovingWrite, RefusedOnlyForTheSourceCounterWithoutOption8) {
  const MovingWriteCase &c = GetParam();
  OpenCard card(card0());
  ASSERT_EQ(RM(set_abs_feedback_src)(0, AXIS_Z, c.source), SUCCESS_NO_ERROR);
  if (c.option8) {
    ASSERT_EQ(RM(set_customization)(0, 8, 1), SUCCESS_NO_ERROR);
  }
  ASSERT_EQ(RM(velocity_move)(0, AXIS_Z, 20000, 20000, 1000000, 1), SUCCESS_NO_ERROR);
  bench_advance_us(10000);
  ASSERT_EQ(done_of(AXIS_Z), 0);
  const int32_t abs_at_write = abs_pos(AXIS_Z);
  ApiStatus got = c.writer == 0   ? RM(set_cmdcounter)(0, AXIS_Z, 0)
                  : c.writer == 1 ? RM(set_enccounter)(0, AXIS_Z, 0)
                                  : RM(set_position)(0, AXIS_Z, 0);
  EXPECT_EQ(got, c.expected);
  // The clock stands still between the calls: the absolute position is kept.
  EXPECT_EQ(abs_pos(AXIS_Z), abs_at_write);
  if (got == SUCCESS_NO_ERROR) {
    int32_t v = c.writer == 0 ? cmd(AXIS_Z) : enc(AXIS_Z);
    EXPECT_LT(v, 20000 / 100) << "written at once";
  }
  RM(stop_move)(0, AXIS_Z, 0x26);
  run_until_stopped(AXIS_Z);
}

INSTANTIATE_TEST_SUITE_P(
    CounterQueries, MovingWrite,
    testing::Values(
        MovingWriteCase{"cmd_source_cmd_writer", 0, 0, false, ERROR_MOTION_NOT_COMPLETE},
        MovingWriteCase{"cmd_source_cmd_writer_opt8", 0, 0, true, SUCCESS_NO_ERROR},
        MovingWriteCase{"cmd_source_enc_writer", 0, 1, false, SUCCESS_NO_ERROR},
        MovingWriteCase{"cmd_source_position_writer", 0, 2, false, SUCCESS_NO_ERROR},
        MovingWriteCase{"enc_source_cmd_writer", 1, 0, false, SUCCESS_NO_ERROR},
        MovingWriteCase{"enc_source_enc_writer", 1, 1, false, ERROR_MOTION_NOT_COMPLETE},
        MovingWriteCase{"enc_source_enc_writer_opt8", 1, 1, true, SUCCESS_NO_ERROR},
        MovingWriteCase{"enc_source_position_writer", 1, 2, false, ERROR_MOTION_NOT_COMPLETE},
        MovingWriteCase{"enc_source_position_writer_opt8", 1, 2, true,
                        ERROR_MOTION_NOT_COMPLETE}),
    [](const testing::TestParamInfo<MovingWriteCase> &i) { return std::string(i.param.name); });

// ---- Speed and acceleration read-backs --------------------------------------

TEST(CounterQueries, SpeedReadsBackInPpsOfTheAxisRange) {
  OpenCard card(card0());
  // Range 16,000 (M = 500): the top speed register 8,000 is 4,000,000 PPS.
  ASSERT_EQ(RM(velocity_move)(0, AXIS_X, 4000000, 4000000, 1000000, 1), SUCCESS_NO_ERROR);
  bench_advance_us(1000);
  EXPECT_EQ(speed(AXIS_X), 4000000);
  // Range 8,000,000 (M = 1): speeds read back pulse for pulse.
  ASSERT_EQ(RM(set_range)(0, AXIS_Y, 8000000), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(velocity_move)(0, AXIS_Y, 7777, 7777, 100000, 0), SUCCESS_NO_ERROR);
  bench_advance_us(1000);
  EXPECT_EQ(speed(AXIS_Y), 7777);
  EXPECT_EQ(speed(AXIS_Z), 0);
  RM(stop_move)(0, AXIS_X, 0x27);
  RM(stop_move)(0, AXIS_Y, 0x27);
}

TEST(CounterQueries, AccelerationReadsBackIn125MUnits) {
  OpenCard card(card0());
  // Range 16,000: 125,000 PPS/s is the acceleration register 2.
  ASSERT_EQ(RM(velocity_move)(0, AXIS_U, 1000, 4000000, 125000, 1), SUCCESS_NO_ERROR);
  bench_advance_us(10000);
  int32_t acc = -1;
  EXPECT_EQ(RM(get_acc)(0, AXIS_U, &acc), SUCCESS_NO_ERROR);
  EXPECT_EQ(acc, 125000);
  int32_t v = speed(AXIS_U);
  EXPECT_GT(v, 1000);
  EXPECT_LT(v, 1000 + 125000 / 10);
  RM(stop_move)(0, AXIS_U, 0x27);
}

// Read-backs are M x register and M x 125 x register, truncated, also where
// M = 8,000,000 / range is not a whole number.
struct TruncCase {
  const char *name;
  uint32_t range;
  uint32_t set_speed;
  int32_t read_speed;
  uint32_t set_acc;
  int32_t read_acc;
};
class Truncation : public testing::TestWithParam<TruncCase> {};

TEST_P(Truncation, SpeedAndAccelerationReadBacks) {
  const TruncCase &c = GetParam();
  OpenCard card(card0());
  ASSERT_EQ(RM(set_range)(0, AXIS_Z, c.range), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(velocity_move)(0, AXIS_Z, c.set_speed, c.set_speed, c.set_acc, 1), SUCCESS_NO_ERROR);
  bench_advance_us(1000);
  EXPECT_EQ(speed(AXIS_Z), c.read_speed);
  EXPECT_EQ(RM(stop_move)(0, AXIS_Z, 0x26), SUCCESS_NO_ERROR);
  run_until_stopped(AXIS_Z);
  ASSERT_EQ(RM(velocity_move)(0, AXIS_Z, c.set_speed, 6 * c.set_speed, c.set_acc, 0),
            SUCCESS_NO_ERROR);
  bench_advance_us(2000);
  int32_t acc = -1;
  EXPECT_EQ(RM(get_acc)(0, AXIS_Z, &acc), SUCCESS_NO_ERROR);
  EXPECT_EQ(acc, c.read_acc);
  EXPECT_EQ(RM(stop_move)(0, AXIS_Z, 0x27), SUCCESS_NO_ERROR);
}

INSTANTIATE_TEST_SUITE_P(
    CounterQueries, Truncation,
    testing::Values(TruncCase{"range_16000", 16000, 1000, 1000, 125000, 125000},
                    TruncCase{"range_30000", 30000, 1067, 1066, 133334, 133333},
                    TruncCase{"range_24000", 24000, 1334, 1333, 166667, 166666},
                    TruncCase{"range_70000", 70000, 1143, 1142, 142858, 142857},
                    TruncCase{"range_8000000", 8000000, 1234, 1234, 1000, 1000}),
    [](const testing::TestParamInfo<TruncCase> &i) { return std::string(i.param.name); });

// Every speed and acceleration word reads back as that word in the axis's
// units (M x word and 125 x M x word, truncated), also at ranges whose
// multiplier is not a whole number.
struct WordKind {
  const char *name;
  double per_unit_m;  // the unit of a word, in multiples of M
  int min_limit, max_limit;  // their places in get_range_settings
};
const WordKind SPEED_WORDS = {"speed", 1.0, 4, 5};
const WordKind ACCELERATION_WORDS = {"acceleration", 125.0, 2, 3};

double library_multiplier(uint32_t range) {
  return static_cast<double>(8000000.0f / static_cast<float>(range));
}
// The lowest rate that the library converts to `word` words of `unit`.
uint32_t rate_of_word(uint16_t word, double unit) {
  auto value = static_cast<uint32_t>(std::ceil(word * unit));
  while (static_cast<uint32_t>(static_cast<double>(static_cast<float>(value)) / unit) < word) ++value;
  return value;
}

// Drives Z at every legal word of the kind in turn and reads it back: at
// constant speed for a speed word, on the ramp up for an acceleration word.
void check_every_word(uint32_t range, const WordKind &kind) {
  ASSERT_EQ(RM(set_range)(0, AXIS_Z, range), SUCCESS_NO_ERROR);
  int32_t limits[6] = {};
  ASSERT_EQ(RM(get_range_settings)(0, AXIS_Z, limits), SUCCESS_NO_ERROR);
  const double unit = kind.per_unit_m * library_multiplier(range);
  int wrong = 0;
  for (uint16_t word = 1; word <= 8000; ++word) {
    const uint32_t rate = rate_of_word(word, unit);
    if (rate < static_cast<uint32_t>(limits[kind.min_limit]) ||
        rate > static_cast<uint32_t>(limits[kind.max_limit]))
      continue;
    const bool speed_kind = kind.per_unit_m == 1.0;
    const uint32_t sv = speed_kind ? rate : static_cast<uint32_t>(limits[4]);
    const uint32_t dv = speed_kind ? rate : static_cast<uint32_t>(limits[5]);
    const uint32_t acc = speed_kind ? static_cast<uint32_t>(limits[3]) : rate;
    ASSERT_EQ(RM(velocity_move)(0, AXIS_Z, sv, dv, acc, 1), SUCCESS_NO_ERROR) << rate;
    bench_advance_us(10);
    int32_t got = -1;
    EXPECT_EQ(speed_kind ? RM(get_speed)(0, AXIS_Z, &got) : RM(get_acc)(0, AXIS_Z, &got),
              SUCCESS_NO_ERROR);
    const auto want = static_cast<int32_t>(unit * word);
    if (got != want && ++wrong <= 3)
      ADD_FAILURE() << kind.name << " word " << word << " reads " << got << ", not " << want;
    ASSERT_EQ(RM(stop_move)(0, AXIS_Z, 0x27), SUCCESS_NO_ERROR);
    run_until_stopped(AXIS_Z);
  }
  EXPECT_EQ(wrong, 0) << kind.name << " words read wrong at range " << range;
}

class WordReadBack : public testing::TestWithParam<uint32_t> {};

TEST_P(WordReadBack, EverySpeedWord) {
  OpenCard card(card0());
  check_every_word(GetParam(), SPEED_WORDS);
}

TEST_P(WordReadBack, EveryAccelerationWord) {
  OpenCard card(card0());
  check_every_word(GetParam(), ACCELERATION_WORDS);
}

INSTANTIATE_TEST_SUITE_P(CounterQueries, WordReadBack,
                         testing::Values(24000u, 30000u, 70000u, 3000000u));

// ---- Stop reasons after injected faults -------------------------------------

struct StopCase {
  const char *name;
  std::string axis_keys;  // for axis X
  int kind;               // 0 alarm, 1 emergency stop, 2 stop command,
                          // 3 soft limit +, 4 soft limit -, 5 limit +, 6 limit -
  uint16_t reason;
  int error_bit;          // get_error_status bit, -1 none
};

class StopReason : public testing::TestWithParam<StopCase> {};

TEST_P(StopReason, MotionDoneNamesIt) {
  const StopCase &c = GetParam();
  OpenCard card(card0(c.axis_keys));
  if (c.kind == 0) {
    ASSERT_EQ(RM(set_alarm)(0, AXIS_X, 0x2000, 0), SUCCESS_NO_ERROR);
  }
  if (c.kind == 3 || c.kind == 4) {
    ASSERT_EQ(RM(set_softlimit)(0, AXIS_X, 3, 0, 3000, -3000), SUCCESS_NO_ERROR);
  }
  int16_t err = -1;
  ASSERT_EQ(RM(get_error_status)(0, AXIS_X, &err), SUCCESS_NO_ERROR);
  EXPECT_EQ(err, 0);
  uint8_t dir = (c.kind == 4 || c.kind == 6) ? 0 : 1;
  ASSERT_EQ(RM(velocity_move)(0, AXIS_X, 50000, 50000, 1000000, dir), SUCCESS_NO_ERROR);
  bench_advance_us(20000);  // 1,000 pulses
  ASSERT_EQ(done_of(AXIS_X), 0);
  if (c.kind == 0) bench_set_fault(0, 0, BenchFault::Alarm, true);
  if (c.kind == 1) bench_set_fault(0, 0, BenchFault::EmergencyStop, true);
  if (c.kind == 2) {
    ASSERT_EQ(RM(stop_move)(0, AXIS_X, 0x26), SUCCESS_NO_ERROR);
  }
  int16_t state = run_until_stopped(AXIS_X);
  EXPECT_EQ(static_cast<uint16_t>(state), c.reason) << std::hex << state;
  ASSERT_EQ(RM(get_error_status)(0, AXIS_X, &err), SUCCESS_NO_ERROR);
  if (c.error_bit >= 0) {
    EXPECT_NE(err & (1 << c.error_bit), 0) << std::hex << err;
  }
  // The other axes are untouched.
  int16_t other = 0;
  uint8_t d = 0;
  EXPECT_EQ(RM(motion_done)(0, AXIS_Y, &d, &other), SUCCESS_NO_ERROR);
  EXPECT_EQ(d, 1);
  if (c.kind == 0) bench_set_fault(0, 0, BenchFault::Alarm, false);
  if (c.kind == 1) bench_set_fault(0, 0, BenchFault::EmergencyStop, false);
}

INSTANTIATE_TEST_SUITE_P(
    CounterQueries, StopReason,
    testing::Values(
        StopCase{"alarm", "", 0, DRIVE_FINISH_WITH_ALARM, 4},
        StopCase{"emergency_stop", "", 1, DRIVE_FINISH_WITH_EMG, 5},
        StopCase{"stop_command", "", 2, DRIVE_FINISH_WITH_STOP_COMMAND, -1},
        StopCase{"soft_limit_plus", "", 3, DRIVE_FINISH_WITH_SW_LIMIT_POSITIVE, 0},
        StopCase{"soft_limit_minus", "", 4, DRIVE_FINISH_WITH_SW_LIMIT_NEGATIVE, 1},
        StopCase{"limit_plus", "X.LimitPlus=3000\n", 5, DRIVE_FINISH_WITH_LIMIT_POSITIVE, 2},
        StopCase{"limit_minus", "X.LimitMinus=-3000\n", 6, DRIVE_FINISH_WITH_LIMIT_NEGATIVE,
                 3}),
    [](const testing::TestParamInfo<StopCase> &i) { return std::string(i.param.name); });

// ---- Inputs and outputs ----------------------------------------------------

struct Inputs {
  uint8_t in3, exp_plus, exp_minus;
};
Inputs read_inputs(uint16_t axis) {
  Inputs in{0xEE, 0xEE, 0xEE};
  EXPECT_EQ(RM(get_in3)(0, axis, &in.in3), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(get_exp)(0, axis, &in.exp_plus, &in.exp_minus), SUCCESS_NO_ERROR);
  return in;
}

TEST(CounterQueries, In3AndExternalInputsFollowTheirLevels) {
  Inputs low, in3, plus, minus;
  {
    OpenCard card(card0());
    low = read_inputs(AXIS_Z);
  }
  {
    OpenCard card(card0("Z.IN3=1\n"));
    in3 = read_inputs(AXIS_Z);
    Inputs x = read_inputs(AXIS_X);
    EXPECT_EQ(x.in3, low.in3) << "only Z's IN3 is high";
  }
  {
    OpenCard card(card0("Z.ExpPlus=1\n"));
    plus = read_inputs(AXIS_Z);
  }
  {
    OpenCard card(card0("Z.ExpMinus=1\n"));
    minus = read_inputs(AXIS_Z);
  }
  EXPECT_NE(in3.in3, low.in3);
  EXPECT_EQ(in3.exp_plus, low.exp_plus);
  EXPECT_EQ(in3.exp_minus, low.exp_minus);
  EXPECT_NE(plus.exp_plus, low.exp_plus);
  EXPECT_EQ(plus.exp_minus, low.exp_minus);
  EXPECT_EQ(plus.in3, low.in3);
  EXPECT_NE(minus.exp_minus, low.exp_minus);
  EXPECT_EQ(minus.exp_plus, low.exp_plus);
}

TEST(CounterQueries, ServoOnStateReadsBack) {
  OpenCard card(card0());
  uint8_t off = 0xEE, on = 0xEE, again = 0xEE;
  ASSERT_EQ(RM(servo_on)(0, AXIS_Y, 0, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(get_out1_status)(0, AXIS_Y, &off), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(servo_on)(0, AXIS_Y, 1, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(get_out1_status)(0, AXIS_Y, &on), SUCCESS_NO_ERROR);
  EXPECT_NE(on, off);
  ASSERT_EQ(RM(servo_on)(0, AXIS_Y, 0, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(get_out1_status)(0, AXIS_Y, &again), SUCCESS_NO_ERROR);
  EXPECT_EQ(again, off);
}

TEST(CounterQueries, InputStatusShowsFaultsAndLimits) {
  OpenCard card(card0("X.LimitPlus=0\n"));
  ASSERT_EQ(RM(set_alarm)(0, AXIS_Y, 0x2000, 0), SUCCESS_NO_ERROR);
  int16_t x = 0, y = 0, z = 0, di = 0;
  EXPECT_EQ(RM(get_mdi_status)(0, AXIS_X, &x), SUCCESS_NO_ERROR);
  EXPECT_NE(x & 0x2, 0) << "bit 1: limit + (X stands on it)";
  EXPECT_EQ(RM(get_di_status)(0, AXIS_X, &di), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(get_mdi_status)(0, AXIS_Y, &y), SUCCESS_NO_ERROR);
  EXPECT_EQ(y & 0x1E, 0);
  bench_set_fault(0, 1, BenchFault::Alarm, true);
  bench_set_fault(0, 2, BenchFault::EmergencyStop, true);
  bench_settle();
  EXPECT_EQ(RM(get_mdi_status)(0, AXIS_Y, &y), SUCCESS_NO_ERROR);
  EXPECT_NE(y & 0x10, 0) << "bit 4: alarm";
  EXPECT_EQ(RM(get_mdi_status)(0, AXIS_Z, &z), SUCCESS_NO_ERROR);
  EXPECT_NE(z & 0x08, 0) << "bit 3: emergency stop";
  bench_set_fault(0, 1, BenchFault::Alarm, false);
  bench_set_fault(0, 2, BenchFault::EmergencyStop, false);
}

// The input-status bits of the sensors an axis stands on at power-on, and
// the error bits they raise.
struct SensorCase {
  const char *name;
  std::string keys;
  uint16_t mdi_bits;
  uint16_t error_bits;
};
class SensorBits : public testing::TestWithParam<SensorCase> {};

TEST_P(SensorBits, InputAndErrorStatus) {
  const SensorCase &c = GetParam();
  OpenCard card(card0(c.keys));
  int16_t mdi = 0, err = 0, y = 0;
  EXPECT_EQ(RM(get_mdi_status)(0, AXIS_X, &mdi), SUCCESS_NO_ERROR);
  EXPECT_EQ(static_cast<uint16_t>(mdi) & 0x37E, c.mdi_bits) << std::hex << mdi;
  EXPECT_EQ(RM(get_error_status)(0, AXIS_X, &err), SUCCESS_NO_ERROR);
  EXPECT_EQ(static_cast<uint16_t>(err) & 0x3F, c.error_bits) << std::hex << err;
  EXPECT_EQ(RM(get_mdi_status)(0, AXIS_Y, &y), SUCCESS_NO_ERROR);
  EXPECT_EQ(y & 0x27E, 0) << "Y stands on none";
}

INSTANTIATE_TEST_SUITE_P(
    CounterQueries, SensorBits,
    testing::Values(SensorCase{"none", "", 0, 0},
                    SensorCase{"home", "X.Home=0\n", 0x20, 0},
                    SensorCase{"near_home", "X.NearHome=0\n", 0x40, 0},
                    SensorCase{"index", "X.IndexPeriod=1\n", 0x200, 0},
                    SensorCase{"limit_plus", "X.LimitPlus=0\n", 0x02, 0x04},
                    SensorCase{"limit_minus", "X.LimitMinus=0\n", 0x04, 0x08},
                    SensorCase{"emergency_stop", "X.EmergencyStop=1\n", 0x08, 0x20}),
    [](const testing::TestParamInfo<SensorCase> &i) { return std::string(i.param.name); });

// ---- Board information ---------------------------------------------------------

struct BoardCase {
  const char *name;
  std::string keys;
  int16_t version;
  uint32_t date;
};
class BoardInfo : public testing::TestWithParam<BoardCase> {};

TEST_P(BoardInfo, CpldVersionAndDateCode) {
  const BoardCase &c = GetParam();
  OpenCard card(card0(c.keys));
  int16_t version = 0;
  int32_t date = 0;
  EXPECT_EQ(RM(cpld_ver_get)(0, &version, &date), SUCCESS_NO_ERROR);
  EXPECT_EQ(version, c.version);
  EXPECT_EQ(static_cast<uint32_t>(date), c.date);
  uint8_t id = 0xEE;
  EXPECT_EQ(RM(get_dipsw_id)(0, &id), SUCCESS_NO_ERROR);
  EXPECT_EQ(id, 0);
}

INSTANTIATE_TEST_SUITE_P(
    CounterQueries, BoardInfo,
    testing::Values(BoardCase{"default", "", 3, 0x20080826u},
                    BoardCase{"no_bar3", "Bar3Length=0\nCpldVersion=0x0012\n", 0x12, 0x20060927u},
                    BoardCase{"wide_bar2", "Bar2Length=0x100\nCpldVersion=7\n", 7, 0x20060428u},
                    BoardCase{"odd_windows", "Bar3Length=0x40\n", 3, 0xFFFFFFFFu},
                    BoardCase{"high_version", "CpldVersion=0xFFFE\n", -2, 0x20080826u}),
    [](const testing::TestParamInfo<BoardCase> &i) { return std::string(i.param.name); });

TEST(CounterQueries, DipSwitchIdOfAnotherCard) {
  AttachedLibrary lib(MANUAL_CLOCK + card_section(0, MODEL, 5));
  int16_t count = 0;
  ASSERT_EQ(RM(scan)(&count, nullptr), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(open)(5), SUCCESS_NO_ERROR);
  uint8_t id = 0xEE;
  EXPECT_EQ(RM(get_dipsw_id)(5, &id), SUCCESS_NO_ERROR);
  EXPECT_EQ(id, 5);
  EXPECT_EQ(RM(close)(5), SUCCESS_NO_ERROR);
}

// ---- Bad input ----------------------------------------------------------------

TEST(CounterQueries, QueriesRefuseBadCardsAndAxes) {
  OpenCard card(card0());
  int32_t v = 1234;
  int16_t s = 1234;
  uint8_t b = 0x5A, b2 = 0x5A;
  for (uint16_t axis : {0, 3, 5, 16, 0xFFFF}) {
    SCOPED_TRACE(axis);
    EXPECT_NE(RM(get_cmdcounter)(0, axis, &v), 0);
    EXPECT_NE(RM(get_enccounter)(0, axis, &v), 0);
    EXPECT_NE(RM(get_position)(0, axis, &v), 0);
    EXPECT_NE(RM(get_speed)(0, axis, &v), 0);
    EXPECT_NE(RM(get_acc)(0, axis, &v), 0);
    EXPECT_NE(RM(get_latch)(0, axis, &v), 0);
    EXPECT_NE(RM(get_mdi_status)(0, axis, &s), 0);
    EXPECT_NE(RM(get_di_status)(0, axis, &s), 0);
    EXPECT_NE(RM(get_in3)(0, axis, &b), 0);
    EXPECT_NE(RM(get_exp)(0, axis, &b, &b2), 0);
    EXPECT_NE(RM(get_out1_status)(0, axis, &b), 0);
    EXPECT_NE(RM(get_int_status)(0, axis, &s), 0);
    EXPECT_NE(RM(get_error_status)(0, axis, &s), 0);
    EXPECT_NE(RM(motion_done)(0, axis, &b, &s), 0);
    EXPECT_NE(RM(set_cmdcounter)(0, axis, 1), 0);
    EXPECT_NE(RM(set_enccounter)(0, axis, 1), 0);
    EXPECT_NE(RM(set_position)(0, axis, 1), 0);
  }
  for (uint8_t c : {1, 15, 16, 255}) {
    SCOPED_TRACE(int(c));
    EXPECT_NE(RM(get_cmdcounter)(c, AXIS_X, &v), 0);
    EXPECT_NE(RM(motion_done)(c, AXIS_X, &b, &s), 0);
    EXPECT_NE(RM(set_cmdcounter)(c, AXIS_X, 1), 0);
    EXPECT_NE(RM(cpld_ver_get)(c, &s, &v), 0);
    EXPECT_NE(RM(get_dipsw_id)(c, &b), 0);
  }
  EXPECT_EQ(RM(get_cmdcounter)(16, AXIS_X, &v), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(v, 1234);
  EXPECT_EQ(s, 1234);
  EXPECT_EQ(b, 0x5A);
  EXPECT_EQ(b2, 0x5A);
}

TEST(CounterQueries, FaultingStoresGiveAccessViolation) {
  OpenCard card(card0("U.IN3=1\n"));
  ReadOnlyPage ro;
  EXPECT_EQ(RM(get_cmdcounter)(0, AXIS_X, ro.as<int32_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM(get_enccounter)(0, AXIS_X, ro.as<int32_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM(get_position)(0, AXIS_X, ro.as<int32_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM(get_speed)(0, AXIS_X, ro.as<int32_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM(get_acc)(0, AXIS_X, ro.as<int32_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM(get_latch)(0, AXIS_X, ro.as<int32_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM(get_mdi_status)(0, AXIS_X, ro.as<int16_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM(get_di_status)(0, AXIS_X, ro.as<int16_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM(get_in3)(0, AXIS_X, ro.as<uint8_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM(get_out1_status)(0, AXIS_X, ro.as<uint8_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM(get_int_status)(0, AXIS_X, ro.as<int16_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM(get_error_status)(0, AXIS_X, ro.as<int16_t>()),
            ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM(get_cmdcounter)(0, AXIS_X, nullptr), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM(get_dipsw_id)(0, ro.as<uint8_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  // Two outputs: the first is stored before the second faults.
  uint8_t plus_ok = 0xEE;
  Inputs in = read_inputs(AXIS_U);
  EXPECT_EQ(RM(get_exp)(0, AXIS_U, &plus_ok, ro.as<uint8_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(plus_ok, in.exp_plus);
  int16_t version = 0;
  EXPECT_EQ(RM(cpld_ver_get)(0, &version, ro.as<int32_t>()), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(version, 3);
  // The card still answers.
  int32_t v = 1;
  EXPECT_EQ(RM(get_cmdcounter)(0, AXIS_X, &v), SUCCESS_NO_ERROR);
  EXPECT_EQ(v, 0);
}

// ---- Options ----------------------------------------------------------------------

TEST(CounterQueries, CustomizationValuesAndTypes) {
  // Without any card open: the types kept in the library are taken.
  AttachedLibrary lib(MANUAL_CLOCK + card_section(0, MODEL, 0));
  for (uint16_t type : {2, 3, 5, 6, 7, 8, 9}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(RM(set_customization)(3, type, 1), SUCCESS_NO_ERROR);
    EXPECT_EQ(RM(set_customization)(15, type, 0), SUCCESS_NO_ERROR);
    EXPECT_EQ(RM(set_customization)(3, type, 2), ERROR_INVALID_CUSTOMIZATION_VALUE);
    EXPECT_EQ(RM(set_customization)(3, type, 0xFFFF), ERROR_INVALID_CUSTOMIZATION_VALUE);
  }
  // Types 1 and 4 go to the driver: a card that is not open refuses them.
  EXPECT_EQ(RM(set_customization)(3, 1, 1), ERROR_CUSTOMIZATION_SET);
  EXPECT_EQ(RM(set_customization)(3, 4, 0), ERROR_CUSTOMIZATION_SET);
  // The value is checked before the type.
  EXPECT_EQ(RM(set_customization)(3, 10, 2), ERROR_INVALID_CUSTOMIZATION_VALUE);
  EXPECT_EQ(RM(set_customization)(3, 0, 7), ERROR_INVALID_CUSTOMIZATION_VALUE);
  for (uint16_t type : {0, 10, 11, 0x100, 0xFFFF}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(RM(set_customization)(3, type, 1), ERROR_CUSTOMIZATION_SET);
    EXPECT_EQ(RM(set_customization)(3, type, 0), ERROR_CUSTOMIZATION_SET);
  }
  EXPECT_EQ(RM(set_customization)(16, 2, 1), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(RM(set_customization)(255, 8, 0), ERROR_INVALID_CARD_ID);
  int16_t count = 0;
  ASSERT_EQ(RM(scan)(&count, nullptr), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(open)(0), SUCCESS_NO_ERROR);
  for (uint16_t type : {1, 4}) {
    EXPECT_EQ(RM(set_customization)(0, type, 1), SUCCESS_NO_ERROR);
    EXPECT_EQ(RM(set_customization)(0, type, 0), SUCCESS_NO_ERROR);
  }
  RM(close)(0);
  for (uint16_t type : {2, 3, 5, 6, 7, 8, 9}) RM(set_customization)(3, type, 0);
}

// Option 8 set before the card is opened, kept through close, reopen and
// reset, and for that card only.
TEST(CounterQueries, Option8SetBeforeOpenLastsThroughCloseAndReset) {
  AttachedLibrary lib(MANUAL_CLOCK + card_section(0, MODEL, 0) + card_section(1, MODEL, 1));
  ASSERT_EQ(RM(set_customization)(0, 8, 1), SUCCESS_NO_ERROR);
  int16_t count = 0;
  ASSERT_EQ(RM(scan)(&count, nullptr), SUCCESS_NO_ERROR);
  ASSERT_EQ(count, 2);
  auto moving_write = [](uint8_t c) {
    EXPECT_EQ(RM(set_abs_feedback_src)(c, AXIS_X, 0), SUCCESS_NO_ERROR);
    EXPECT_EQ(RM(velocity_move)(c, AXIS_X, 20000, 20000, 1000000, 1), SUCCESS_NO_ERROR);
    bench_advance_us(5000);
    ApiStatus st = RM(set_cmdcounter)(c, AXIS_X, -9);
    EXPECT_EQ(RM(stop_move)(c, AXIS_X, 0x26), SUCCESS_NO_ERROR);
    uint8_t done = 0;
    int16_t state = 0;
    for (int i = 0; i < 200 && done != 1; ++i) {
      bench_advance_us(1000);
      EXPECT_EQ(RM(motion_done)(c, AXIS_X, &done, &state), SUCCESS_NO_ERROR);
    }
    return st;
  };
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(RM(open)(0), SUCCESS_NO_ERROR);
    ASSERT_EQ(RM(open)(1), SUCCESS_NO_ERROR);
    EXPECT_EQ(moving_write(0), SUCCESS_NO_ERROR);
    EXPECT_EQ(moving_write(1), ERROR_MOTION_NOT_COMPLETE);
    EXPECT_EQ(RM(reset)(0), SUCCESS_NO_ERROR);
    EXPECT_EQ(moving_write(0), SUCCESS_NO_ERROR);
    EXPECT_EQ(RM(close)(0), SUCCESS_NO_ERROR);
    EXPECT_EQ(RM(close)(1), SUCCESS_NO_ERROR);
  }
  ASSERT_EQ(RM(open)(0), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_customization)(0, 8, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(moving_write(0), ERROR_MOTION_NOT_COMPLETE);
  RM(close)(0);
}

// The options outlive closing and resetting every card at once.
TEST(CounterQueries, OptionsOutliveCloseAllAndResetAll) {
  AttachedLibrary lib(MANUAL_CLOCK + card0());
  int16_t count = 0;
  ASSERT_EQ(RM(scan)(&count, nullptr), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(open_all)(), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_customization)(0, 2, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(close_all)(), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(open_all)(), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(reset_all)(), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(velocity_move)(0, AXIS_X, 5000000, 5000000, 1000000, 1), SUCCESS_NO_ERROR)
      << "still clamped";
  bench_advance_us(1000);
  EXPECT_EQ(speed(AXIS_X), 4000000);
  EXPECT_EQ(RM(stop_move)(0, AXIS_X, 0x27), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_customization)(0, 2, 0), SUCCESS_NO_ERROR);
  EXPECT_NE(RM(velocity_move)(0, AXIS_Y, 5000000, 5000000, 1000000, 1), SUCCESS_NO_ERROR);
  RM(close_all)();
}

TEST(CounterQueries, Option2ClampsAnOutOfRangeDriveSpeed) {
  OpenCard card(card0());
  ApiStatus refused = RM(velocity_move)(0, AXIS_X, 1000, 5000000, 1000000, 1);
  EXPECT_NE(refused, SUCCESS_NO_ERROR);
  EXPECT_EQ(done_of(AXIS_X), 1);
  ASSERT_EQ(RM(set_customization)(0, 2, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(velocity_move)(0, AXIS_X, 5000000, 5000000, 1000000, 1), SUCCESS_NO_ERROR);
  bench_advance_us(1000);
  EXPECT_EQ(speed(AXIS_X), 4000000);
  RM(stop_move)(0, AXIS_X, 0x27);
  ASSERT_EQ(RM(set_customization)(0, 2, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(velocity_move)(0, AXIS_Y, 1000, 5000000, 1000000, 1), refused);
}

TEST(CounterQueries, Option3TakesAccelerationAsTime) {
  OpenCard card(card0());
  // 125,000 PPS/s either way: as a rate, and as 1,000 ms from 1,000 to 126,000 PPS.
  ASSERT_EQ(RM(velocity_move)(0, AXIS_X, 1000, 126000, 125000, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_customization)(0, 3, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(velocity_move)(0, AXIS_Y, 1000, 126000, 1000, 1), SUCCESS_NO_ERROR);
  bench_advance_us(100000);
  int32_t ax = -1, ay = -2;
  EXPECT_EQ(RM(get_acc)(0, AXIS_X, &ax), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(get_acc)(0, AXIS_Y, &ay), SUCCESS_NO_ERROR);
  EXPECT_EQ(ay, ax);
  EXPECT_EQ(ax, 125000);
  EXPECT_EQ(speed(AXIS_Y), speed(AXIS_X));
  RM(stop_move)(0, AXIS_X, 0x27);
  RM(stop_move)(0, AXIS_Y, 0x27);
}

TEST(CounterQueries, Option7SuddenStopReturnsAtOnce) {
  OpenCard card(card0());
  ASSERT_EQ(RM(set_customization)(0, 7, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(velocity_move)(0, AXIS_Z, 20000, 20000, 1000000, 1), SUCCESS_NO_ERROR);
  bench_advance_us(5000);
  EXPECT_EQ(RM(stop_move)(0, AXIS_Z, 0x27), SUCCESS_NO_ERROR);
  int16_t state = run_until_stopped(AXIS_Z);
  EXPECT_EQ(static_cast<uint16_t>(state), DRIVE_FINISH_WITH_STOP_COMMAND);
}

// The flag of types 1 and 4 is one flag: the last one set wins. With option
// 6 and that flag clear, a line lowers its drive speed so that the slave (Y,
// at most 8,000 PPS) stays within its limit; with the flag set it does not.
struct LineFlagCase {
  const char *name;
  std::vector<std::pair<uint16_t, uint16_t>> options;  // type, value in order
  bool lowered;
};
class LineFlag : public testing::TestWithParam<LineFlagCase> {};

TEST_P(LineFlag, LastOfTypes1And4Wins) {
  const LineFlagCase &c = GetParam();
  OpenCard card(card0());
  ASSERT_EQ(RM(set_range)(0, AXIS_Y, 8000000), SUCCESS_NO_ERROR);
  for (const auto &o : c.options) {
    ASSERT_EQ(RM(set_customization)(0, o.first, o.second), SUCCESS_NO_ERROR);
  }
  ASSERT_EQ(RM(t_line2_move)(0, AXIS_X, AXIS_Y, 1000, 20000, 1000000, 1000000, 20000, 20000, 0, 0),
            SUCCESS_NO_ERROR);
  bench_advance_us(50000);
  int32_t v = speed(AXIS_X);
  if (c.lowered) {
    EXPECT_LE(v, 8000);
    EXPECT_GT(v, 1000);
  } else {
    EXPECT_GT(v, 8000);
  }
  EXPECT_EQ(RM(stop_move_all)(0, AXIS_X | AXIS_Y, 0x26), SUCCESS_NO_ERROR);
  run_until_stopped(AXIS_X);
}

INSTANTIATE_TEST_SUITE_P(
    CounterQueries, LineFlag,
    testing::Values(LineFlagCase{"option6", {{6, 1}}, true},
                    LineFlagCase{"option6_type1", {{6, 1}, {1, 1}}, false},
                    LineFlagCase{"option6_type4", {{6, 1}, {4, 1}}, false},
                    LineFlagCase{"option6_type4_on_type1_off", {{6, 1}, {4, 1}, {1, 0}}, true},
                    LineFlagCase{"option6_type1_on_type4_off", {{6, 1}, {1, 1}, {4, 0}}, true},
                    LineFlagCase{"option6_type1_off_type4_on", {{6, 1}, {1, 0}, {4, 1}}, false},
                    LineFlagCase{"type4_before_option6", {{4, 1}, {6, 1}}, false}),
    [](const testing::TestParamInfo<LineFlagCase> &i) { return std::string(i.param.name); });

// A refused type 1 leaves the shared flag clear, and the flag is the card's own.
TEST(CounterQueries, SharedFlagOnlyOnSuccessAndPerCard) {
  AttachedLibrary lib(MANUAL_CLOCK + card_section(0, MODEL, 0) + card_section(1, MODEL, 1));
  for (uint8_t c : {0, 1}) ASSERT_EQ(RM(set_customization)(c, 6, 1), SUCCESS_NO_ERROR);
  EXPECT_EQ(RM(set_customization)(0, 1, 1), ERROR_CUSTOMIZATION_SET);
  int16_t count = 0;
  ASSERT_EQ(RM(scan)(&count, nullptr), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(open)(0), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(open)(1), SUCCESS_NO_ERROR);
  auto line_speed = [](uint8_t c) {
    EXPECT_EQ(RM(set_range)(c, AXIS_Y, 8000000), SUCCESS_NO_ERROR);
    EXPECT_EQ(RM(t_line2_move)(c, AXIS_X, AXIS_Y, 1000, 20000, 1000000, 1000000, 20000, 20000,
                               0, 0),
              SUCCESS_NO_ERROR);
    bench_advance_us(40000);
    int32_t v = 0;
    EXPECT_EQ(RM(get_speed)(c, AXIS_X, &v), SUCCESS_NO_ERROR);
    EXPECT_EQ(RM(stop_move_all)(c, AXIS_X | AXIS_Y, 0x27), SUCCESS_NO_ERROR);
    bench_advance_us(2000);
    return v;
  };
  EXPECT_LE(line_speed(0), 8000) << "the refused type 1 set nothing";
  ASSERT_EQ(RM(set_customization)(1, 1, 1), SUCCESS_NO_ERROR);
  EXPECT_GT(line_speed(1), 8000);
  EXPECT_LE(line_speed(0), 8000) << "card 1's flag is not card 0's";
  RM(close)(0);
  RM(close)(1);
  for (uint8_t c : {0, 1}) RM(set_customization)(c, 6, 0);
}

// A home search started without waiting makes the home absolute position 0
// at the first motion_done that finds the axis stopped, and only then.
TEST(CounterQueries, MotionDoneZeroesTheAbsolutePositionOnceAfterAHomeSearch) {
  OpenCard card(card0("X.Home=2000\nX.NearHome=2000\n"));
  ASSERT_EQ(RM(set_home_cfg)(0, AXIS_X, 0, 0, 0, 1, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_abs_position)(0, AXIS_X, 1234), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(home_start)(0, AXIS_X, 1000, 1000000, 1000000, 50000, 5000, 0), SUCCESS_NO_ERROR);
  for (int i = 0; i < 3000 && (i < 5 || probe_axis_busy(0)); ++i) {
    bench_advance_us(1000);
    if (i % 10 == 5 && probe_axis_busy(0)) {
      EXPECT_EQ(done_of(AXIS_X), 0);
      EXPECT_NE(abs_pos(AXIS_X), 0) << "not zeroed while the search runs";
    }
  }
  ASSERT_FALSE(probe_axis_busy(0));
  EXPECT_NE(abs_pos(AXIS_X), 0) << "not before motion_done";
  EXPECT_EQ(done_of(AXIS_Y), 1);
  EXPECT_NE(abs_pos(AXIS_X), 0) << "not by another axis's motion_done";
  EXPECT_EQ(done_of(AXIS_X), 1);
  EXPECT_EQ(abs_pos(AXIS_X), 0);
  ASSERT_EQ(RM(set_abs_position)(0, AXIS_X, 77), SUCCESS_NO_ERROR);
  EXPECT_EQ(done_of(AXIS_X), 1);
  EXPECT_EQ(abs_pos(AXIS_X), 77);
  ASSERT_EQ(RM(const_move)(0, AXIS_X, 50000, 300), SUCCESS_NO_ERROR);
  run_until_stopped(AXIS_X);
  EXPECT_EQ(abs_pos(AXIS_X), 377);
}

TEST(CounterQueries, Option5GivesSCurveMovesTheDecelerationPoint) {
  OpenCard card(card0());
  ASSERT_EQ(RM(s_move)(0, AXIS_Y, 1000, 100000, 100000000, 0, 1000, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_mode3(1) & 7, 4u) << "symmetric";
  run_until_stopped(AXIS_Y);
  ASSERT_EQ(RM(set_customization)(0, 5, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(s_move)(0, AXIS_Y, 1000, 100000, 100000000, 0, 1000, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_mode3(1) & 7, 7u) << "deceleration point";
  run_until_stopped(AXIS_Y);
  EXPECT_EQ(cmd(AXIS_Y), 2000);
  ASSERT_EQ(RM(set_customization)(0, 5, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(s_move)(0, AXIS_Y, 1000, 100000, 100000000, 0, -1000, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_mode3(1) & 7, 4u);
  run_until_stopped(AXIS_Y);
  EXPECT_EQ(cmd(AXIS_Y), 1000);
}

TEST(CounterQueries, Option3AlsoTimesTheTCurve) {
  OpenCard card(card0());
  ASSERT_EQ(RM(set_customization)(0, 3, 1), SUCCESS_NO_ERROR);
  // 1,000 ms from 1,000 to 126,000 PPS: 125,000 PPS/s.
  ASSERT_EQ(RM(t_move)(0, AXIS_X, 1000, 126000, 1000, 1000, 1000000, 0), SUCCESS_NO_ERROR);
  bench_advance_us(50000);
  int32_t acc = 0;
  EXPECT_EQ(RM(get_acc)(0, AXIS_X, &acc), SUCCESS_NO_ERROR);
  EXPECT_EQ(acc, 125000);
  EXPECT_EQ(RM(stop_move)(0, AXIS_X, 0x27), SUCCESS_NO_ERROR);
}

// The export list of the built library file, looked at in a child process.
int exported(const char *file, const char *name) {
  pid_t pid = fork();
  if (pid == 0) {
    void *lib = dlopen(file, RTLD_LAZY | RTLD_LOCAL);
    if (!lib) _exit(2);
    _exit(dlsym(lib, name) ? 1 : 0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

TEST(CounterQueries, ModelAOnlyExportsOfThisArea) {
  const std::string prefix = MODEL[0] == 'A' ? "rm720_" : "rm730_";
  const int model_a = MODEL[0] == 'A' ? 1 : 0;
  for (const char *name : {"reg_rw_test", "set_WDT", "get_WDT"}) {
    EXPECT_EQ(exported(RM7X0_LIBRARY_FILE, (prefix + name).c_str()), model_a) << name;
  }
  for (const char *name :
       {"get_cmdcounter", "get_enccounter", "get_position", "get_speed", "get_acc", "get_latch",
        "get_mdi_status", "get_di_status", "get_in3", "get_exp", "get_out1_status",
        "get_int_status", "get_error_status", "cpld_ver_get", "get_dipsw_id", "motion_done",
        "set_cmdcounter", "set_enccounter", "set_position", "set_customization",
        "set_int_factor", "int_event_config", "set_int_action"}) {
    EXPECT_EQ(exported(RM7X0_LIBRARY_FILE, (prefix + name).c_str()), 1) << name;
  }
}

// The application polls motion_done from its own thread while the search
// runs; the home becomes absolute position 0 from that thread.
TEST(CounterQueries, MotionDonePolledFromAnotherThreadZeroesTheHome) {
  OpenCard card(card0("Z.Home=1500\nZ.NearHome=1500\n"));
  ASSERT_EQ(RM(set_home_cfg)(0, AXIS_Z, 0, 0, 0, 1, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(set_abs_position)(0, AXIS_Z, -50), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM(home_start)(0, AXIS_Z, 1000, 1000000, 1000000, 50000, 5000, 0), SUCCESS_NO_ERROR);
  std::atomic<bool> stopped{false};
  std::atomic<int> polls{0};
  std::thread poller([&] {
    while (!stopped) {
      uint8_t done = 0;
      int16_t state = 0;
      if (RM(motion_done)(0, AXIS_Z, &done, &state) != SUCCESS_NO_ERROR) break;
      ++polls;
      if (done == 1) stopped = true;
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < 3000 && !stopped; ++i) bench_advance_us(1000);
  stopped = true;
  poller.join();
  EXPECT_GT(polls.load(), 1);
  EXPECT_FALSE(probe_axis_busy(2));
  EXPECT_NE(cmd(AXIS_Z), 0) << "the search moved";
  EXPECT_EQ(abs_pos(AXIS_Z), 0);
}

// Without option 7 the sudden stop returns once the axis stands, while
// another thread moves the clock on.
TEST(CounterQueries, SuddenStopWaitsWithoutOption7) {
  OpenCard card(card0());
  ASSERT_EQ(RM(velocity_move)(0, AXIS_U, 20000, 20000, 1000000, 1), SUCCESS_NO_ERROR);
  bench_advance_us(5000);
  std::atomic<bool> returned{false};
  std::thread stepper([&] {
    for (int i = 0; i < 2000 && !returned; ++i) bench_advance_us(1000);
  });
  ApiStatus st = RM(stop_move)(0, AXIS_U, 0x27);
  returned = true;
  stepper.join();
  EXPECT_EQ(st, SUCCESS_NO_ERROR);
  EXPECT_EQ(done_of(AXIS_U), 1) << "stands when the call returns";
}

// ---- Model A: register access and the watchdog ------------------------------------

#ifndef RM7X0_MODEL_B
TEST(CounterQueries, RegisterReadsOfTheCardWindow) {
  OpenCard card(card_section(0, MODEL, 0x1230) + "CpldVersion=0x0456\n");
  int16_t value = 0;
  EXPECT_EQ(rm720_reg_rw_test(0, 0, 0x30, &value, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(value, 0x0456);
  EXPECT_EQ(rm720_reg_rw_test(0, 0, 0x40, &value, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(value, 0x1230);
  EXPECT_EQ(rm720_reg_rw_test(0, 2, 0x00, &value, 0), SUCCESS_NO_ERROR);
  EXPECT_NE(rm720_reg_rw_test(1, 0, 0x30, &value, 0), SUCCESS_NO_ERROR);
  EXPECT_NE(rm720_reg_rw_test(16, 0, 0x30, &value, 0), SUCCESS_NO_ERROR);
}

TEST(CounterQueries, WatchdogModesAndTheDriverWithoutOne) {
  OpenCard card(card0());
  for (uint8_t mode : {0, 2, 4, 6}) {
    EXPECT_EQ(rm720_set_WDT(0, mode), ERROR_WDT_SET) << int(mode);
  }
  for (uint8_t mode : {1, 3, 5, 7, 8, 0x10, 0xFF}) {
    EXPECT_EQ(rm720_set_WDT(0, mode), ERROR_INVALID_WDT_MODE) << int(mode);
  }
  uint8_t mode = 0x5A;
  EXPECT_EQ(rm720_get_WDT(0, &mode), ERROR_WDT_GET);
  EXPECT_EQ(mode, 0x5A);
  // The card is checked before the mode.
  EXPECT_EQ(rm720_set_WDT(16, 0), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_set_WDT(16, 1), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_get_WDT(16, &mode), ERROR_INVALID_CARD_ID);
}
#endif

}  // namespace

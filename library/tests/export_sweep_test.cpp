// Every export of the library, called with every class of bad input a caller
// can pass: bad cards, bad axis bits, options outside their values, NULL and
// unmapped pointers, the extreme values of every integer. A refusal answers
// its status code and leaves the card as it was (driver record, chip,
// counters, the library's own records); no call crashes or touches memory
// outside its records (the sanitizer build runs this too). The rows are
// checked against the library file's export list, so an export without a row
// fails here. After a refused load every export refuses and no card is reached.
#include <elf.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "batch_move.h"
#include "card_options.h"
#include "card_table.h"
#include "dll_main.h"
#include "machine.h"
#include "manual_clock_card.h"
#include "model.h"
#include "sweep_probe.h"

namespace {

#ifdef RM7X0_MODEL_B
const char *const PREFIX = "rm730_";
const char *const MODEL = "B";
#else
const char *const PREFIX = "rm720_";
const char *const MODEL = "A";
#endif

// Card 0 is open, card 1 found and closed, card 2 not in the machine.
constexpr uint8_t CARD_CLOSED = 1, CARD_MISSING = 2;
constexpr uint64_t NUL = 0;
constexpr int ANY = 1;  // a code that an extreme value may answer, refusal or not

// A page that faults on every access: the "unmapped address" of the pointer cases.
uint64_t faulting_page() {
  static void *page = mmap(nullptr, static_cast<size_t>(getpagesize()), PROT_NONE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return reinterpret_cast<uint64_t>(page);
}

// Arguments of one call, each held as 64 bits and narrowed by its reader.
struct Args {
  uint64_t v[14] = {};
  uint8_t b(int i) const { return static_cast<uint8_t>(v[i]); }
  uint16_t w(int i) const { return static_cast<uint16_t>(v[i]); }
  int16_t s(int i) const { return static_cast<int16_t>(v[i]); }
  uint32_t u(int i) const { return static_cast<uint32_t>(v[i]); }
  int32_t i(int k) const { return static_cast<int32_t>(v[k]); }
  template <typename T>
  T *p(int k) const { return reinterpret_cast<T *>(v[k]); }
};

struct Bad {
  uint64_t value;
  int expected;  // a status, or ANY
};

// One argument: its good value and the bad ones with what each answers.
struct Arg {
  uint64_t good;
  std::vector<Bad> bad;
};

Arg card(int code = ERROR_INVALID_CARD_ID) {
  return {0, {{16, code}, {255, code}, {CARD_MISSING, code}, {CARD_CLOSED, code}}};
}
Arg axis(uint64_t good = AXIS_X) {
  return {good,
          {{0, ERROR_NO_VALID_AXIS_ASSIGNED},
           {128, ERROR_NO_VALID_AXIS_ASSIGNED},
           {3, ERROR_MULTI_AXES_ASSIGNED},
           {0x10, ERROR_NO_VALID_AXIS_ASSIGNED},
           {0xFFFF, ERROR_MULTI_AXES_ASSIGNED}}};
}
// An axis of a line or arc: a bit shared with another of its axes is refused first.
Arg interp_axis(uint64_t good) {
  return {good,
          {{0, ERROR_NO_VALID_AXIS_ASSIGNED},
           {128, ERROR_NO_VALID_AXIS_ASSIGNED},
           {3, ERROR_INVALID_INTERPOLATION_SLAVE_AXES},
           {0x10, ERROR_NO_VALID_AXIS_ASSIGNED},
           {0xFFFF, ERROR_INVALID_INTERPOLATION_SLAVE_AXES}}};
}
// A mask of axes; bits above U are refused.
Arg mask(uint64_t good, int code = ERROR_MULTI_AXES_ASSIGNED) {
  return {good, {{0x10, code}, {0x1F, code}, {0xFFFF, code}}};
}
// The mask of the "all" moves: at least one axis and none above U.
Arg move_mask() {
  const int code = ERROR_NO_VALID_AXIS_ASSIGNED;
  return {AXIS_X, {{0, code}, {0x10, code}, {0x1F, code}, {0xFFFF, code}}};
}
Arg pointer(const void *good, int code = ERROR_ACCESS_VIOLATION_DATA_COPY) {
  return {reinterpret_cast<uint64_t>(good), {{NUL, code}, {faulting_page(), code}}};
}
Arg option(uint64_t good, std::vector<Bad> bad) { return {good, std::move(bad)}; }
Arg plain(uint64_t good) { return {good, {}}; }
Arg int32(uint64_t good) {
  return {good, {{0, ANY}, {0x7FFFFFFF, ANY}, {0x80000000, ANY}, {0xFFFFFFFF, ANY}}};
}
Arg int16(uint64_t good) { return {good, {{0, ANY}, {0x7FFF, ANY}, {0x8000, ANY}, {0xFFFF, ANY}}}; }
Arg int8(uint64_t good) { return {good, {{0, ANY}, {0x7F, ANY}, {0x80, ANY}, {0xFF, ANY}}}; }

struct Row {
  const char *name;  // without the model's prefix
  std::vector<Arg> args;
  std::function<ApiStatus(const Args &)> call;
};

// Good argument buffers of the pointer arguments.
int32_t out_i32[64];
int16_t out_i16[8];
uint8_t out_u8[64];
void *out_events[4];
const uint32_t SPEEDS[4] = {10000, 10000, 10000, 10000};
const uint32_t START_SPEEDS[4] = {1000, 1000, 1000, 1000};
uint32_t drive_speeds[4] = {10000, 10000, 10000, 10000};
const uint32_t RATES[4] = {100000, 100000, 100000, 100000};
const uint32_t JERKS[4] = {1000000, 1000000, 1000000, 1000000};
const int32_t PULSES[4] = {1000, 1000, 1000, 1000};
const int16_t OFFSETS[4] = {0, 0, 0, 0};
// An S-curve move record: start speed, drive speed, jerk, deceleration jerk, distance.
const int32_t RECORD[16] = {1000, 10000, 1000000, 0, 1000};
const uint8_t SEGMENTS[64] = {};
const float PARAMETERS[32] = {};
#ifndef RM7X0_MODEL_B
float out_f32[64];
#endif
const int32_t TABLE[4] = {100, 200, 300, 400};
const int16_t U_AXES[3] = {AXIS_Z, AXIS_X, AXIS_Y};
const int32_t U_TARGETS[4] = {1000, 2000, 2000, 0};
const int32_t U_BLENDS[3] = {100, 100, 100};

#define CALL(...) []([[maybe_unused]] const Args &a) { return __VA_ARGS__; }

std::vector<Row> rows() {
  const int bad_card = ERROR_INVALID_CARD_ID;
  const Arg speed = int32(10000), start = int32(1000), rate = int32(100000),
            jerk = int32(1000000), pulses = int32(1000), offset = int16(0);
  const Arg wait = option(0, {{2, ERROR_INVALID_BLOCK_OPEARTION_MODE},
                              {0xFFFF, ERROR_INVALID_BLOCK_OPEARTION_MODE}});
  const Arg master = interp_axis(AXIS_X), slave = interp_axis(AXIS_Y), slave2 = interp_axis(AXIS_Z);
  // No offsets (NULL) is allowed.
  const Arg offsets = option(reinterpret_cast<uint64_t>(OFFSETS),
                             {{faulting_page(), ERROR_ACCESS_VIOLATION_DATA_COPY}});
  std::vector<Row> r = {
      // ---- cards ----
      {"scan", {pointer(out_i16), option(reinterpret_cast<uint64_t>(out_u8),
                                         {{faulting_page(), ERROR_ACCESS_VIOLATION_DATA_COPY}})},
       CALL(RM7X0_NAME(scan)(a.p<int16_t>(0), a.p<uint8_t>(1)))},
      {"get_cardinfo",
       {option(0, {{2, ERROR_INVALID_SCANNED_INDEX},
                   {0x7FFFFFFF, ERROR_INVALID_SCANNED_INDEX},
                   {0x80000000, ERROR_SCANNED_CARD_NOT_FOUND},
                   {0xFFFFFFFF, ERROR_SCANNED_CARD_NOT_FOUND}}),
        pointer(out_u8)},
       CALL(RM7X0_NAME(get_cardinfo)(a.i(0), a.p<uint8_t>(1)))},
      {"open", {option(0, {{16, bad_card}, {255, bad_card}, {CARD_MISSING, bad_card},
                           {0, ERROR_DEVICE_OPEN}})},
       CALL(RM7X0_NAME(open)(a.b(0)))},
      {"open_all", {}, CALL(RM7X0_NAME(open_all)())},
      {"close", {card()}, CALL(RM7X0_NAME(close)(a.b(0)))},
      {"close_all", {}, CALL(RM7X0_NAME(close_all)())},
      {"reset", {card()}, CALL(RM7X0_NAME(reset)(a.b(0)))},
      {"reset_all", {}, CALL(RM7X0_NAME(reset_all)())},
      {"load_config",
       {option(reinterpret_cast<uint64_t>("/nonexistent/sweep.ini"),
               {{faulting_page(), ERROR_ACCESS_VIOLATION_DATA_COPY}})},
       CALL(RM7X0_NAME(load_config)(a.p<const char>(0)))},
      // ---- axis configuration ----
      {"set_range",
       {card(), axis(), option(16000, {{15999, ERROR_INVALID_RANGE}, {8000001, ERROR_INVALID_RANGE},
                                       {0, ERROR_INVALID_RANGE}, {0xFFFFFFFF, ERROR_INVALID_RANGE}})},
       CALL(RM7X0_NAME(set_range)(a.b(0), a.w(1), a.u(2)))},
      {"get_range_settings", {card(), axis(), pointer(out_i32)},
       CALL(RM7X0_NAME(get_range_settings)(a.b(0), a.w(1), a.p<int32_t>(2)))},
      {"set_pls_cfg",
       {card(), axis(), option(0x40, {{1, ERROR_INVALID_PULSE_MODE}, {0xFFFF, ERROR_INVALID_PULSE_MODE}}),
        option(0, {{0x40, ERROR_INVALID_PULSE_LEVEL}, {0xFFFF, ERROR_INVALID_PULSE_LEVEL}}),
        option(0, {{1, ERROR_INVALID_PULSE_DIRECTION}, {0xFFFF, ERROR_INVALID_PULSE_DIRECTION}})},
       CALL(RM7X0_NAME(set_pls_cfg)(a.b(0), a.w(1), a.w(2), a.w(3), a.w(4)))},
      {"set_enc_cfg",
       {card(), axis(), option(0, {{1, ERROR_INVALID_ENCODER_MODE}, {0xFFFF, ERROR_INVALID_ENCODER_MODE}})},
       CALL(RM7X0_NAME(set_enc_cfg)(a.b(0), a.w(1), a.w(2)))},
      {"set_limit",
       {card(), axis(), option(0, {{1, ERROR_INVALID_LIMIT_LOGIC}, {0xFFFF, ERROR_INVALID_LIMIT_LOGIC}}),
        option(4, {{1, ERROR_INVALID_STOP_MODE}, {0xFFFF, ERROR_INVALID_STOP_MODE}})},
       CALL(RM7X0_NAME(set_limit)(a.b(0), a.w(1), a.w(2), a.w(3)))},
      {"set_inp",
       {card(), axis(), option(0x8000, {{1, ERROR_INVALID_INP_ENABLE}, {0xFFFF, ERROR_INVALID_INP_ENABLE}}),
        option(0, {{1, ERROR_INVALID_INP_LOGIC_LEVEL}, {0xFFFF, ERROR_INVALID_INP_LOGIC_LEVEL}})},
       CALL(RM7X0_NAME(set_inp)(a.b(0), a.w(1), a.w(2), a.w(3)))},
      {"set_alarm",
       {card(), axis(), option(0x2000, {{1, ERROR_INVALID_ALARM_ENABLE}, {0xFFFF, ERROR_INVALID_ALARM_ENABLE}}),
        option(0, {{1, ERROR_INVALID_ALARM_LOGIC_LEVEL}, {0xFFFF, ERROR_INVALID_ALARM_LOGIC_LEVEL}})},
       CALL(RM7X0_NAME(set_alarm)(a.b(0), a.w(1), a.w(2), a.w(3)))},
      {"servo_on",
       {card(), axis(), option(1, {{2, ERROR_INVALID_SERVO_SETTING}, {0xFF, ERROR_INVALID_SERVO_SETTING}}),
        int8(1)},
       CALL(RM7X0_NAME(servo_on)(a.b(0), a.w(1), a.b(2), a.b(3)))},
      {"set_filter",
       {card(), axis(), option(1, {{2, ERROR_INVALID_FILTER_ENABLE}, {0xFFFF, ERROR_INVALID_FILTER_ENABLE}}),
        option(0x100, {{0x80, ERROR_INVALID_FILTER_CONFIGURATION},
                       {0xFFFF, ERROR_INVALID_FILTER_CONFIGURATION}}),
        option(0x2000, {{1, ERROR_INVALID_FILTER_DELAY_TIME}, {0xFFFF, ERROR_INVALID_FILTER_DELAY_TIME}})},
       CALL(RM7X0_NAME(set_filter)(a.b(0), a.w(1), a.w(2), a.w(3), a.w(4)))},
      {"set_softlimit",
       {card(), axis(),
        option(3, {{1, ERROR_INVALID_SOFTWARE_LIMIT_ENABLE}, {0xFFFF, ERROR_INVALID_SOFTWARE_LIMIT_ENABLE}}),
        option(0, {{1, ERROR_INVALID_SOFTWARE_LIMIT_COMPARATOR_SOURCE},
                   {0xFFFF, ERROR_INVALID_SOFTWARE_LIMIT_COMPARATOR_SOURCE}}),
        int32(100000), int32(static_cast<uint32_t>(-100000))},
       CALL(RM7X0_NAME(set_softlimit)(a.b(0), a.w(1), a.w(2), a.w(3), a.i(4), a.i(5)))},
      // ---- homing ----
      {"set_home_cfg",
       {card(), axis(), option(0, {{1, ERROR_INVALID_HOME_LOGIC_LEVEL}, {0xFFFF, ERROR_INVALID_HOME_LOGIC_LEVEL}}),
        option(0, {{2, ERROR_INVALID_NEAR_HOME_LOGIC_LEVEL}, {0xFFFF, ERROR_INVALID_NEAR_HOME_LOGIC_LEVEL}}),
        option(0, {{1, ERROR_INVALID_INDEX_LOGIC_LEVEL}, {0xFFFF, ERROR_INVALID_INDEX_LOGIC_LEVEL}}),
        option(0, {{256, ERROR_INVALID_AUTO_HOME_STEP}, {0xFFFF, ERROR_INVALID_AUTO_HOME_STEP}}),
        int32(0)},
       CALL(RM7X0_NAME(set_home_cfg)(a.b(0), a.w(1), a.w(2), a.w(3), a.w(4), a.w(5), a.u(6)))},
      {"set_home_cfg_ex",
       {card(), axis(), option(0, {{1, ERROR_INVALID_HOME_LOGIC_LEVEL}}),
        option(0, {{2, ERROR_INVALID_NEAR_HOME_LOGIC_LEVEL}}), option(0, {{1, ERROR_INVALID_INDEX_LOGIC_LEVEL}}),
        option(0, {{6, ERROR_HOME_CFG_EX_SET}, {0xFFFF, ERROR_HOME_CFG_EX_SET}}), int8(1)},
       CALL(RM7X0_NAME(set_home_cfg_ex)(a.b(0), a.w(1), a.w(2), a.w(3), a.w(4), a.w(5), a.b(6)))},
      {"home_start", {card(), axis(), start, rate, rate, speed, speed, wait},
       CALL(RM7X0_NAME(home_start)(a.b(0), a.w(1), a.u(2), a.u(3), a.u(4), a.u(5), a.u(6), a.w(7)))},
      // ---- stop, hold, start, ring counter, hand wheel, target change ----
      {"stop_move",
       {card(), axis(), option(0x26, {{0, ERROR_INVALID_STOP_MODE}, {0xFFFF, ERROR_INVALID_STOP_MODE}})},
       CALL(RM7X0_NAME(stop_move)(a.b(0), a.w(1), a.w(2)))},
      {"stop_move_all",
       {card(), mask(0xF), option(0x26, {{0, ERROR_INVALID_STOP_MODE}, {0xFFFF, ERROR_INVALID_STOP_MODE}})},
       CALL(RM7X0_NAME(stop_move_all)(a.b(0), a.w(1), a.w(2)))},
      {"drv_hold", {card(), mask(0)}, CALL(RM7X0_NAME(drv_hold)(a.b(0), a.w(1)))},
      {"drv_start", {card(), mask(0)}, CALL(RM7X0_NAME(drv_start)(a.b(0), a.w(1)))},
      {"set_vring",
       {card(), axis(), option(0, {{1, ERROR_INVALID_FILTER_ENABLE}, {0xFFFF, ERROR_INVALID_FILTER_ENABLE}}),
        option(100, {{0, ERROR_INVALID_RING_COUNTER}, {1, ERROR_INVALID_RING_COUNTER}})},
       CALL(RM7X0_NAME(set_vring)(a.b(0), a.w(1), a.w(2), a.u(3)))},
      {"set_mpg",
       {card(), axis(), option(0, {{0xFFFF, ERROR_INVALID_MPG_EXP_CONFIG}}), int32(1), speed, int32(1000)},
       CALL(RM7X0_NAME(set_mpg)(a.b(0), a.w(1), a.w(2), a.u(3), a.u(4), a.i(5)))},
      {"change_p", {card(), axis(), int32(1000)}, CALL(RM7X0_NAME(change_p)(a.b(0), a.w(1), a.u(2)))},
      // ---- single-axis moves ----
      {"velocity_move",
       {card(), axis(), start, speed, rate, option(1, {{2, ERROR_INVALID_MOVE_DIRECTION},
                                                        {0xFF, ERROR_INVALID_MOVE_DIRECTION}})},
       CALL(RM7X0_NAME(velocity_move)(a.b(0), a.w(1), a.u(2), a.u(3), a.u(4), a.b(5)))},
      {"const_move", {card(), axis(), speed, pulses},
       CALL(RM7X0_NAME(const_move)(a.b(0), a.w(1), a.u(2), a.i(3)))},
      {"const_moveall",
       {card(), move_mask(), pointer(SPEEDS), pointer(PULSES)},
       CALL(RM7X0_NAME(const_moveall)(a.b(0), a.w(1), a.p<const uint32_t>(2), a.p<const int32_t>(3)))},
      {"t_move", {card(), axis(), start, speed, rate, rate, pulses, offset},
       CALL(RM7X0_NAME(t_move)(a.b(0), a.w(1), a.u(2), a.u(3), a.u(4), a.u(5), a.i(6), a.s(7)))},
      {"t_moveall",
       {card(), move_mask(), pointer(START_SPEEDS), pointer(SPEEDS),
        pointer(RATES), pointer(RATES), pointer(PULSES), offsets},
       CALL(RM7X0_NAME(t_moveall)(a.b(0), a.w(1), a.p<const uint32_t>(2), a.p<const uint32_t>(3),
                                  a.p<const uint32_t>(4), a.p<const uint32_t>(5),
                                  a.p<const int32_t>(6), a.p<const int16_t>(7)))},
      {"t_set_avtri",
       {card(), axis(), option(0, {{1, ERROR_INVALID_AVOID_TRIANGLE_CONFIG},
                                   {0xFFFF, ERROR_INVALID_AVOID_TRIANGLE_CONFIG}})},
       CALL(RM7X0_NAME(t_set_avtri)(a.b(0), a.w(1), a.w(2)))},
      {"t_change_v", {card(), axis(), speed, rate, rate},
       CALL(RM7X0_NAME(t_change_v)(a.b(0), a.w(1), a.u(2), a.u(3), a.u(4)))},
      {"s_move", {card(), axis(), start, speed, jerk, jerk, pulses, offset},
       CALL(RM7X0_NAME(s_move)(a.b(0), a.w(1), a.u(2), a.u(3), a.u(4), a.u(5), a.i(6), a.s(7)))},
      {"s_moveall",
       {card(), move_mask(), pointer(START_SPEEDS), pointer(drive_speeds),
        pointer(JERKS), pointer(JERKS), pointer(PULSES), offsets},
       CALL(RM7X0_NAME(s_moveall)(a.b(0), a.w(1), a.p<const uint32_t>(2), a.p<uint32_t>(3),
                                  a.p<const uint32_t>(4), a.p<const uint32_t>(5),
                                  a.p<const int32_t>(6), a.p<const int16_t>(7)))},
      {"s_set_avtri",
       {card(), axis(), option(0, {{1, ERROR_INVALID_AVOID_TRIANGLE_CONFIG},
                                   {0xFFFF, ERROR_INVALID_AVOID_TRIANGLE_CONFIG}})},
       CALL(RM7X0_NAME(s_set_avtri)(a.b(0), a.w(1), a.w(2)))},
      {"s_change_v", {card(), axis(), speed, jerk, jerk},
       CALL(RM7X0_NAME(s_change_v)(a.b(0), a.w(1), a.u(2), a.u(3), a.u(4)))},
      // ---- line and arc interpolation ----
      {"t_line2_move", {card(), master, slave, start, speed, rate, rate, pulses, pulses, offset, wait},
       CALL(RM7X0_NAME(t_line2_move)(a.b(0), a.w(1), a.w(2), a.u(3), a.u(4), a.u(5), a.u(6), a.i(7),
                                     a.i(8), a.s(9), a.w(10)))},
      {"t_line3_move",
       {card(), master, slave, slave2, start, speed, rate, rate, pulses, pulses, pulses, offset, wait},
       CALL(RM7X0_NAME(t_line3_move)(a.b(0), a.w(1), a.w(2), a.w(3), a.u(4), a.u(5), a.u(6), a.u(7),
                                     a.i(8), a.i(9), a.i(10), a.s(11), a.w(12)))},
      {"s_line2_move", {card(), master, slave, start, speed, jerk, jerk, pulses, pulses, offset, wait},
       CALL(RM7X0_NAME(s_line2_move)(a.b(0), a.w(1), a.w(2), a.u(3), a.u(4), a.u(5), a.u(6), a.i(7),
                                     a.i(8), a.s(9), a.w(10)))},
      {"s_line3_move",
       {card(), master, slave, slave2, start, speed, jerk, jerk, pulses, pulses, pulses, offset, wait},
       CALL(RM7X0_NAME(s_line3_move)(a.b(0), a.w(1), a.w(2), a.w(3), a.u(4), a.u(5), a.u(6), a.u(7),
                                     a.i(8), a.i(9), a.i(10), a.s(11), a.w(12)))},
      {"t_arc2_move",
       {card(), master, slave, start, speed, rate,
        option(0x32, {{0, ERROR_INVALID_INTERPOLATION_ARC_DIRECTION},
                      {0xFFFF, ERROR_INVALID_INTERPOLATION_ARC_DIRECTION}}),
        int32(1000), int32(0), int32(2000), int32(0), offset, wait},
       CALL(RM7X0_NAME(t_arc2_move)(a.b(0), a.w(1), a.w(2), a.u(3), a.u(4), a.u(5), a.w(6), a.i(7),
                                    a.i(8), a.i(9), a.i(10), a.s(11), a.w(12)))},
      // ---- continuous interpolation ----
      {"conti_interp_begin", {card(), axis(), axis(AXIS_Y), plain(0), speed},
       CALL(RM7X0_NAME(conti_interp_begin)(a.b(0), a.w(1), a.w(2), a.w(3), a.u(4)))},
      {"conti_interp_end", {card()}, CALL(RM7X0_NAME(conti_interp_end)(a.b(0)))},
      {"conti_interp_next_ready", {card(), pointer(out_u8, ERROR_CONFIG_IS_NEEDED)},
       CALL(RM7X0_NAME(conti_interp_next_ready)(a.b(0), a.p<uint8_t>(1)))},
      {"conti_line2_move", {card(), pulses, pulses, int16(0)},
       CALL(RM7X0_NAME(conti_line2_move)(a.b(0), a.i(1), a.i(2), a.w(3)))},
      {"conti_line3_move", {card(), pulses, pulses, pulses, int16(0)},
       CALL(RM7X0_NAME(conti_line3_move)(a.b(0), a.i(1), a.i(2), a.i(3), a.w(4)))},
      {"conti_arc2_move", {card(), int16(0x32), pulses, pulses, pulses, pulses, int16(0)},
       CALL(RM7X0_NAME(conti_arc2_move)(a.b(0), a.w(1), a.i(2), a.i(3), a.i(4), a.i(5), a.w(6)))},
      {"conti_abs_line2_move", {card(), pulses, pulses, int16(0)},
       CALL(RM7X0_NAME(conti_abs_line2_move)(a.b(0), a.i(1), a.i(2), a.w(3)))},
      {"conti_abs_line3_move", {card(), pulses, pulses, pulses, int16(0)},
       CALL(RM7X0_NAME(conti_abs_line3_move)(a.b(0), a.i(1), a.i(2), a.i(3), a.w(4)))},
      {"conti_abs_arc2_move", {card(), int16(0x32), pulses, pulses, pulses, pulses, int16(0)},
       CALL(RM7X0_NAME(conti_abs_arc2_move)(a.b(0), a.w(1), a.i(2), a.i(3), a.i(4), a.i(5), a.w(6)))},
      // ---- synchronous action ----
      {"set_synch",
       {card(), axis(), option(1, {{2, ERROR_INVALID_SYNCH_ENABLE}, {0xFFFF, ERROR_INVALID_SYNCH_ENABLE}}),
        int16(AXIS_Y), plain(1), plain(0), plain(0), plain(0), int32(10), int32(20)},
       CALL(RM7X0_NAME(set_synch)(a.b(0), a.w(1), a.w(2), a.w(3), a.w(4), a.w(5), a.w(6), a.w(7),
                                  a.u(8), a.u(9)))},
      {"synch_t_move_cfg", {card(), axis(), start, speed, rate, rate, pulses},
       CALL(RM7X0_NAME(synch_t_move_cfg)(a.b(0), a.w(1), a.u(2), a.u(3), a.u(4), a.u(5), a.i(6)))},
      {"synch_s_move_cfg", {card(), axis(), start, speed, jerk, jerk, pulses},
       CALL(RM7X0_NAME(synch_s_move_cfg)(a.b(0), a.w(1), a.u(2), a.u(3), a.u(4), a.u(5), a.i(6)))},
      // ---- absolute-coordinate moves ----
      {"set_abs_feedback_src",
       {card(), axis(), option(0, {{2, ERROR_INVALID_ABS_FEEDBACK_SOURCE},
                                   {0xFF, ERROR_INVALID_ABS_FEEDBACK_SOURCE}})},
       CALL(RM7X0_NAME(set_abs_feedback_src)(a.b(0), a.w(1), a.b(2)))},
      {"set_abs_position", {card(), axis(), pulses},
       CALL(RM7X0_NAME(set_abs_position)(a.b(0), a.w(1), a.i(2)))},
      {"get_abs_position", {card(), axis(), pointer(out_i32)},
       CALL(RM7X0_NAME(get_abs_position)(a.b(0), a.w(1), a.p<int32_t>(2)))},
      {"t_abs_move", {card(), axis(), start, speed, rate, rate, pulses, offset},
       CALL(RM7X0_NAME(t_abs_move)(a.b(0), a.w(1), a.u(2), a.u(3), a.u(4), a.u(5), a.i(6), a.s(7)))},
      {"t_abs_moveall",
       {card(), move_mask(), pointer(START_SPEEDS), pointer(SPEEDS),
        pointer(RATES), pointer(RATES), pointer(PULSES), offsets},
       CALL(RM7X0_NAME(t_abs_moveall)(a.b(0), a.w(1), a.p<const uint32_t>(2), a.p<const uint32_t>(3),
                                      a.p<const uint32_t>(4), a.p<const uint32_t>(5),
                                      a.p<const int32_t>(6), a.p<const int16_t>(7)))},
      {"s_abs_move", {card(), axis(), start, speed, jerk, jerk, pulses, offset},
       CALL(RM7X0_NAME(s_abs_move)(a.b(0), a.w(1), a.u(2), a.u(3), a.u(4), a.u(5), a.i(6), a.s(7)))},
      {"s_abs_moveall",
       {card(), move_mask(), pointer(START_SPEEDS), pointer(drive_speeds),
        pointer(JERKS), pointer(JERKS), pointer(PULSES), offsets},
       CALL(RM7X0_NAME(s_abs_moveall)(a.b(0), a.w(1), a.p<const uint32_t>(2), a.p<uint32_t>(3),
                                      a.p<const uint32_t>(4), a.p<const uint32_t>(5),
                                      a.p<const int32_t>(6), a.p<const int16_t>(7)))},
      {"t_abs_line2_move", {card(), axis(), axis(AXIS_Y), start, speed, rate, rate, pulses, pulses, offset, wait},
       CALL(RM7X0_NAME(t_abs_line2_move)(a.b(0), a.w(1), a.w(2), a.u(3), a.u(4), a.u(5), a.u(6),
                                         a.i(7), a.i(8), a.s(9), a.w(10)))},
      {"t_abs_line3_move",
       {card(), axis(), axis(AXIS_Y), axis(AXIS_Z), start, speed, rate, rate, pulses, pulses, pulses, offset, wait},
       CALL(RM7X0_NAME(t_abs_line3_move)(a.b(0), a.w(1), a.w(2), a.w(3), a.u(4), a.u(5), a.u(6),
                                         a.u(7), a.i(8), a.i(9), a.i(10), a.s(11), a.w(12)))},
      {"s_abs_line2_move", {card(), axis(), axis(AXIS_Y), start, speed, jerk, jerk, pulses, pulses, offset, wait},
       CALL(RM7X0_NAME(s_abs_line2_move)(a.b(0), a.w(1), a.w(2), a.u(3), a.u(4), a.u(5), a.u(6),
                                         a.i(7), a.i(8), a.s(9), a.w(10)))},
      {"s_abs_line3_move",
       {card(), axis(), axis(AXIS_Y), axis(AXIS_Z), start, speed, jerk, jerk, pulses, pulses, pulses, offset, wait},
       CALL(RM7X0_NAME(s_abs_line3_move)(a.b(0), a.w(1), a.w(2), a.w(3), a.u(4), a.u(5), a.u(6),
                                         a.u(7), a.i(8), a.i(9), a.i(10), a.s(11), a.w(12)))},
      {"t_abs_arc2_move",
       {card(), axis(), axis(AXIS_Y), start, speed, rate,
        option(0x32, {{0, ERROR_INVALID_INTERPOLATION_ARC_DIRECTION}}), int32(1000), int32(0),
        int32(2000), int32(0), offset, wait},
       CALL(RM7X0_NAME(t_abs_arc2_move)(a.b(0), a.w(1), a.w(2), a.u(3), a.u(4), a.u(5), a.w(6),
                                        a.i(7), a.i(8), a.i(9), a.i(10), a.s(11), a.w(12)))},
      // ---- options, interrupt factors and events ----
      {"set_customization",
       {option(0, {{16, bad_card}, {255, bad_card}}),
        option(2, {{0, ERROR_CUSTOMIZATION_SET}, {10, ERROR_CUSTOMIZATION_SET},
                   {0xFFFF, ERROR_CUSTOMIZATION_SET}}),
        option(0, {{2, ERROR_INVALID_CUSTOMIZATION_VALUE}, {0xFFFF, ERROR_INVALID_CUSTOMIZATION_VALUE}})},
       CALL(RM7X0_NAME(set_customization)(a.b(0), a.w(1), a.w(2)))},
      {"set_int_factor",
       {card(), axis(), option(0, {{1, ERROR_INVALID_INT_FACTOR}, {0xFFFF, ERROR_INVALID_INT_FACTOR}})},
       CALL(RM7X0_NAME(set_int_factor)(a.b(0), a.w(1), a.w(2)))},
      {"int_event_config",
       {card(), option(1, {{2, ERROR_INVALID_INT_EVENT_MODE}, {0xFFFF, ERROR_INVALID_INT_EVENT_MODE}}),
        pointer(out_events)},
       CALL(RM7X0_NAME(int_event_config)(a.b(0), a.w(1), a.p<void *>(2)))},
      {"set_int_action",
       {card(), mask(AXIS_X), option(0x100, {{1, ERROR_INVALID_INT_FACTOR}}), int16(AXIS_Y),
        option(2, {{0xFFFF, ANY}}), pointer(RECORD)},  // action 2 reads its move record
       CALL(RM7X0_NAME(set_int_action)(a.b(0), a.w(1), a.w(2), a.w(3), a.w(4),
                                       a.p<const int32_t>(5)))},
      // ---- counters, status, board information ----
      {"get_cmdcounter", {card(), axis(), pointer(out_i32)},
       CALL(RM7X0_NAME(get_cmdcounter)(a.b(0), a.w(1), a.p<int32_t>(2)))},
      {"get_enccounter", {card(), axis(), pointer(out_i32)},
       CALL(RM7X0_NAME(get_enccounter)(a.b(0), a.w(1), a.p<int32_t>(2)))},
      {"get_position", {card(), axis(), pointer(out_i32)},
       CALL(RM7X0_NAME(get_position)(a.b(0), a.w(1), a.p<int32_t>(2)))},
      {"set_cmdcounter", {card(), axis(), pulses},
       CALL(RM7X0_NAME(set_cmdcounter)(a.b(0), a.w(1), a.i(2)))},
      {"set_enccounter", {card(), axis(), pulses},
       CALL(RM7X0_NAME(set_enccounter)(a.b(0), a.w(1), a.i(2)))},
      {"set_position", {card(), axis(), pulses},
       CALL(RM7X0_NAME(set_position)(a.b(0), a.w(1), a.i(2)))},
      {"get_latch", {card(), axis(), pointer(out_i32)},
       CALL(RM7X0_NAME(get_latch)(a.b(0), a.w(1), a.p<int32_t>(2)))},
      {"motion_done", {card(), axis(), pointer(out_u8), pointer(out_i16)},
       CALL(RM7X0_NAME(motion_done)(a.b(0), a.w(1), a.p<uint8_t>(2), a.p<int16_t>(3)))},
      {"get_speed", {card(), axis(), pointer(out_i32)},
       CALL(RM7X0_NAME(get_speed)(a.b(0), a.w(1), a.p<int32_t>(2)))},
      {"get_acc", {card(), axis(), pointer(out_i32)},
       CALL(RM7X0_NAME(get_acc)(a.b(0), a.w(1), a.p<int32_t>(2)))},
      {"get_error_status", {card(), axis(), pointer(out_i16)},
       CALL(RM7X0_NAME(get_error_status)(a.b(0), a.w(1), a.p<int16_t>(2)))},
      {"get_int_status", {card(), axis(), pointer(out_i16)},
       CALL(RM7X0_NAME(get_int_status)(a.b(0), a.w(1), a.p<int16_t>(2)))},
      {"get_mdi_status", {card(), axis(), pointer(out_i16)},
       CALL(RM7X0_NAME(get_mdi_status)(a.b(0), a.w(1), a.p<int16_t>(2)))},
      {"get_di_status", {card(), axis(), pointer(out_i16)},
       CALL(RM7X0_NAME(get_di_status)(a.b(0), a.w(1), a.p<int16_t>(2)))},
      {"get_in3", {card(), axis(), pointer(out_u8)},
       CALL(RM7X0_NAME(get_in3)(a.b(0), a.w(1), a.p<uint8_t>(2)))},
      {"get_exp", {card(), axis(), pointer(out_u8), pointer(out_u8 + 1)},
       CALL(RM7X0_NAME(get_exp)(a.b(0), a.w(1), a.p<uint8_t>(2), a.p<uint8_t>(3)))},
      {"get_out1_status", {card(), axis(), pointer(out_u8)},
       CALL(RM7X0_NAME(get_out1_status)(a.b(0), a.w(1), a.p<uint8_t>(2)))},
      {"cpld_ver_get", {card(), pointer(out_i16), pointer(out_i32)},
       CALL(RM7X0_NAME(cpld_ver_get)(a.b(0), a.p<int16_t>(1), a.p<int32_t>(2)))},
      {"get_dipsw_id", {card(), pointer(out_u8)},
       CALL(RM7X0_NAME(get_dipsw_id)(a.b(0), a.p<uint8_t>(1)))},
      // ---- Torix remote I/O ----
      {"scan_Torix_DI", {card(), pointer(out_i16)},
       CALL(RM7X0_NAME(scan_Torix_DI)(a.b(0), a.p<int16_t>(1)))},
      {"reset_Torix", {card()}, CALL(RM7X0_NAME(reset_Torix)(a.b(0)))},
      {"config_Torix",
       {card(), option(0, {{2, ERROR_INVALID_TORIX_PERIODIC_ENABLE}, {0xFFFF, ERROR_INVALID_TORIX_PERIODIC_ENABLE}}),
        option(0, {{256, ERROR_INVALID_TORIX_PERIODIC_FACTOR}, {0xFFFF, ERROR_INVALID_TORIX_PERIODIC_FACTOR}})},
       CALL(RM7X0_NAME(config_Torix)(a.b(0), a.w(1), a.w(2)))},
      {"get_Torix_DI",
       {card(), option(8, {{0, ERROR_INVALID_TORIX_SA_GROUP_ADDRESS}, {0xFFFF, ERROR_INVALID_TORIX_SA_GROUP_ADDRESS}}),
        pointer(out_i16, ERROR_CONFIG_IS_NEEDED), option(0, {{2, ERROR_INVALID_TORIX_DI_MODE}, {0xFFFF, ERROR_INVALID_TORIX_DI_MODE}})},
       CALL(RM7X0_NAME(get_Torix_DI)(a.b(0), a.w(1), a.p<int16_t>(2), a.w(3)))},
      {"set_Torix_DO",
       {card(), option(0, {{0xFFFF, ERROR_INVALID_TORIX_RA_GROUP_ADDRESS}}), int16(0)},
       CALL(RM7X0_NAME(set_Torix_DO)(a.b(0), a.w(1), a.w(2)))},
  };
#ifdef RM7X0_MODEL_B
  const std::vector<Row> model_rows = {
      {"set_erc", {card(), axis(), option(0, {{2, ERROR_INVALID_ERC}, {0xFF, ERROR_INVALID_ERC}})},
       CALL(rm730_set_erc(a.b(0), a.w(1), a.b(2)))},
      {"set_alarm_reset",
       {card(), axis(), option(0, {{2, ERROR_INVALID_ALARM_RESET}, {0xFF, ERROR_INVALID_ALARM_RESET}})},
       CALL(rm730_set_alarm_reset(a.b(0), a.w(1), a.b(2)))},
      {"set_gdo", {card(), axis(), option(0, {{2, ERROR_INVALID_GDO}, {0xFF, ERROR_INVALID_GDO}})},
       CALL(rm730_set_gdo(a.b(0), a.w(1), a.b(2)))},
      {"cmptrig_config",
       {card(), axis(), option(0x4000, {{1, ERROR_INVALID_CMPTRIG_ENABLE}, {0xFFFF, ERROR_INVALID_CMPTRIG_ENABLE}}),
        option(0, {{1, ERROR_INVALID_COMPARATOR_SOURCE}}),
        option(16, {{1, ERROR_INVALID_CMPTRIG_SOURCE}}),  // constant pitch
        option(0, {{1, ERROR_INVALID_CMPTRIG_DIRECTION}}),
        option(1, {{0, ERROR_INVALID_CMPTRIG_OUTPUT}, {16, ERROR_INVALID_CMPTRIG_OUTPUT}}),
        plain(0), int32(100), int32(0)},
       CALL(rm730_cmptrig_config(a.b(0), a.w(1), a.w(2), a.w(3), a.w(4), a.w(5), a.w(6), a.w(7),
                                 a.i(8), a.u(9)))},
      {"get_cmpcounter", {card(), axis(), pointer(out_i32)},
       CALL(rm730_get_cmpcounter(a.b(0), a.w(1), a.p<int32_t>(2)))},
      {"get_cmptrigcounter", {card(), axis(), pointer(out_i32)},
       CALL(rm730_get_cmptrigcounter(a.b(0), a.w(1), a.p<int32_t>(2)))},
      {"get_cmp_pitch", {card(), axis(), pointer(out_i32)},
       CALL(rm730_get_cmp_pitch(a.b(0), a.w(1), a.p<int32_t>(2)))},
  };
#else
  const std::vector<Row> model_rows = {
      {"set_max_v",
       {card(), axis(), option(4000000, {{7999, ERROR_INVALID_RANGE}, {4000001, ERROR_INVALID_RANGE},
                                         {0, ERROR_INVALID_RANGE}, {0xFFFFFFFF, ERROR_INVALID_RANGE}})},
       CALL(rm720_set_max_v(a.b(0), a.w(1), a.u(2)))},
      {"conti_interp_start", {card(), axis(), axis(AXIS_Y), plain(0), speed, pointer(SEGMENTS), plain(1)},
       CALL(rm720_conti_interp_start(a.b(0), a.w(1), a.w(2), a.w(3), a.u(4), a.p<const void>(5),
                                     a.b(6)))},
      {"conti_interp_config",
       {card(), axis(), axis(AXIS_Y), plain(0), start, speed, rate, rate,
        option(50, {{101, ERROR_CONTI_INTERP_SET}, {0xFF, ERROR_CONTI_INTERP_SET}})},
       CALL(rm720_conti_interp_config(a.b(0), a.w(1), a.w(2), a.w(3), a.u(4), a.u(5), a.u(6),
                                      a.u(7), a.b(8)))},
      {"conti_abs_line3_move_load", {card(), pulses, pulses, pulses},
       CALL(rm720_conti_abs_line3_move_load(a.b(0), a.i(1), a.i(2), a.i(3)))},
      {"conti_interp_start_all", {card()}, CALL(rm720_conti_interp_start_all(a.b(0)))},
      {"conti_interp_running_segment", {card(), pointer(out_u8)},
       CALL(rm720_conti_interp_running_segment(a.b(0), a.p<uint8_t>(1)))},
      {"set_sv_acc", {card(), axis(), start, rate, rate},
       CALL(rm720_set_sv_acc(a.b(0), a.w(1), a.u(2), a.u(3), a.u(4)))},
      {"reg_rw_test", {card(), plain(0), plain(0), pointer(out_i16), plain(0)},
       CALL(rm720_reg_rw_test(a.b(0), a.b(1), a.b(2), a.p<int16_t>(3), a.w(4)))},
      {"set_WDT", {card(), option(0, {{1, ERROR_INVALID_WDT_MODE}, {8, ERROR_INVALID_WDT_MODE},
                                      {0xFF, ERROR_INVALID_WDT_MODE}})},
       CALL(rm720_set_WDT(a.b(0), a.b(1)))},
      {"get_WDT", {card(), pointer(out_u8, ERROR_WDT_GET)},
       CALL(rm720_get_WDT(a.b(0), a.p<uint8_t>(1)))},
      {"cmptrig_config",
       {card(), axis(), option(0x4000, {{1, ERROR_INVALID_CMPTRIG_ENABLE}, {0xFFFF, ERROR_INVALID_CMPTRIG_ENABLE}}),
        option(0, {{1, ERROR_INVALID_COMPARATOR_SOURCE}}), option(0, {{1, ERROR_INVALID_CMPTRIG_SOURCE}}),
        option(0, {{1, ERROR_INVALID_CMPTRIG_DIRECTION}}), option(0x0800, {{0, ERROR_INVALID_CMPTRIG_OUTPUT}}),
        option(1, {{2, ERROR_INVALID_MOVE_DIRECTION}}), int32(0),
        option(reinterpret_cast<uint64_t>(TABLE), {{NUL, ERROR_INVALID_OFFSET_BUFFER},
                                                   {faulting_page(), ERROR_ACCESS_VIOLATION_DATA_COPY}}),
        plain(4)},
       CALL(rm720_cmptrig_config(a.b(0), a.w(1), a.w(2), a.w(3), a.w(4), a.w(5), a.w(6), a.w(7),
                                 a.i(8), a.p<const int32_t>(9), a.u(10)))},
      {"set_cmp",
       {card(), axis(), option(0, {{1, ERROR_INVALID_COMPARATOR_SOURCE}, {0xFFFF, ERROR_INVALID_COMPARATOR_SOURCE}}),
        int32(100), int32(0)},
       CALL(rm720_set_cmp(a.b(0), a.w(1), a.w(2), a.u(3), a.u(4)))},
      {"set_cmp_mask_in3",
       {card(), int16(0), option(0, {{2, ERROR_INVALID_CMP_MASK}}), option(0, {{2, ERROR_INVALID_CMP_MASK}}),
        option(0, {{2, ERROR_INVALID_CMP_MASK}}), option(0, {{2, ERROR_INVALID_CMP_MASK}}),
        option(0, {{0xFF, ERROR_INVALID_CMP_MASK}})},
       CALL(rm720_set_cmp_mask_in3(a.b(0), a.w(1), a.b(2), a.b(3), a.b(4), a.b(5), a.b(6)))},
      {"t_move_batch_3steps",
       {card(), axis(), start, speed, speed, speed, rate, plain(0), rate, pulses, pulses, pulses},
       CALL(rm720_t_move_batch_3steps(a.b(0), a.w(1), a.u(2), a.u(3), a.u(4), a.u(5), a.u(6), a.u(7),
                                      a.u(8), a.i(9), a.i(10), a.i(11)))},
      // A robot type whose parameters are read (the two-link arm's eight).
      {"robot_init",
       {card(), option(1, {{9, ERROR_INVALID_ROBOT_TYPE}, {0xFF, ERROR_INVALID_ROBOT_TYPE}}),
        pointer(PARAMETERS), pointer(out_i32)},
       CALL(rm720_robot_init(a.b(0), a.b(1), a.p<const float>(2), a.p<int32_t>(3)))},
      {"robot_fwd_kine",
       {card(), option(0, {{1, ERROR_INVALID_KINE_FLAG}, {0xFFFFFFFF, ERROR_INVALID_KINE_FLAG}}),
        plain(reinterpret_cast<uint64_t>(PARAMETERS)), plain(reinterpret_cast<uint64_t>(out_f32))},
       CALL(rm720_robot_fwd_kine(a.b(0), a.i(1), a.p<const float>(2), a.p<float>(3)))},
      {"robot_inv_kine",
       {card(), option(0, {{1, ERROR_INVALID_KINE_FLAG}}), plain(reinterpret_cast<uint64_t>(PARAMETERS)),
        plain(reinterpret_cast<uint64_t>(out_f32))},
       CALL(rm720_robot_inv_kine(a.b(0), a.i(1), a.p<const float>(2), a.p<float>(3)))},
      {"s_abs_u_shaped_move",
       {card(), pointer(U_AXES), pointer(U_TARGETS), pointer(U_BLENDS), pointer(START_SPEEDS),
        pointer(SPEEDS), pointer(JERKS), pointer(JERKS)},
       CALL(rm720_s_abs_u_shaped_move(a.b(0), a.p<const int16_t>(1), a.p<const int32_t>(2),
                                      a.p<const int32_t>(3), a.p<const uint32_t>(4),
                                      a.p<const uint32_t>(5), a.p<const uint32_t>(6),
                                      a.p<const uint32_t>(7)))},
  };
#endif
  r.insert(r.end(), model_rows.begin(), model_rows.end());
  return r;
}

// ---- the card's state -------------------------------------------------------

template <typename T>
void append(std::vector<uint8_t> &bytes, const T &value) {
  const auto *first = reinterpret_cast<const uint8_t *>(&value);
  bytes.insert(bytes.end(), first, first + sizeof value);
}

// Everything a refusal must leave alone, by part: both cards' driver
// records and chips, card 0's counters, and the library's card table and
// options.
struct CardState {
  std::vector<uint8_t> part[5];
  bool operator==(const CardState &other) const {
    for (int k = 0; k < 5; ++k)
      if (part[k] != other.part[k]) return false;
    return true;
  }
};
const char *const PART_NAMES[5] = {"card 0 driver and chip", "card 1 driver and chip",
                                   "card 0 counters", "card table", "card options"};

CardState card_state() {
  probe_wait_idle();
  CardState state;
  state.part[0] = probe_card_state(0);
  state.part[1] = probe_card_state(1);
  std::vector<uint8_t> &bytes = state.part[2];
  for (uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U}) {
    int32_t command = 0, encoder = 0;
    uint8_t done = 0;
    int16_t reason = 0;
    RM7X0_NAME(get_cmdcounter)(0, axis, &command);
    RM7X0_NAME(get_enccounter)(0, axis, &encoder);
    RM7X0_NAME(motion_done)(0, axis, &done, &reason);
    append(bytes, command);
    append(bytes, encoder);
    append(bytes, done);
    append(bytes, reason);
  }
  append(state.part[3], card_table);
  append(state.part[4], card_options);
  return state;
}

// The first byte where two states differ, for the failure message.
std::string first_difference(const CardState &before, const CardState &after) {
  for (int part = 0; part < 5; ++part) {
    const std::vector<uint8_t> &a = before.part[part], &b = after.part[part];
    for (size_t k = 0; k < a.size() && k < b.size(); ++k)
      if (a[k] != b[k]) return std::string(PART_NAMES[part]) + ", byte " + std::to_string(k) + " changed";
  }
  return "nothing changed";
}

// Ends whatever a call that succeeded started, so that the next case starts
// from a card at rest.
void settle() {
  RM7X0_NAME(stop_move_all)(0, 0xF, 0x27);
  RM7X0_NAME(conti_interp_end)(0);
#ifndef RM7X0_MODEL_B
  // A batch move ends its job from its worker's thread once the axis stopped.
  if (HANDLE worker = last_batch_worker()) WaitForSingleObject(worker, INFINITE);
#endif
}

std::string machine_text() {
  return MANUAL_CLOCK + card_section(0, MODEL, 0) + card_section(1, MODEL, CARD_CLOSED);
}

// The codes that the status header documents; a driver's word without a
// name of its own (0x8009 .. as a negative 16-bit value) is documented too.
bool is_documented(ApiStatus status) {
  static const std::set<int> codes = [] {
    std::set<int> found;
    std::ifstream header(RM7X0_STATUS_HEADER);
    for (std::string line; std::getline(header, line);) {
      // Enumerator lines: "  NAME = -123,".
      const size_t name = line.find_first_not_of(' '), equals = line.find(" = ");
      if (name == std::string::npos || equals == std::string::npos || !std::isupper(line[name]))
        continue;
      found.insert(std::atoi(line.c_str() + equals + 3));
    }
    return found;
  }();
  return codes.count(status) || status <= -32733;
}

class ExportSweep : public ::testing::TestWithParam<Row> {};

struct Case {
  size_t arg;
  Bad bad;
};

std::vector<Case> cases_of(const Row &row) {
  std::vector<Case> refusals, extremes;
  for (size_t k = 0; k < row.args.size(); ++k)
    for (const Bad &bad : row.args[k].bad) (bad.expected == ANY ? extremes : refusals).push_back({k, bad});
  refusals.insert(refusals.end(), extremes.begin(), extremes.end());
  return refusals;
}

Args good_args(const Row &row) {
  Args args;
  for (size_t k = 0; k < row.args.size(); ++k) args.v[k] = row.args[k].good;
  return args;
}

TEST_P(ExportSweep, RefusesEveryBadInputAndChangesNothing) {
  const Row &row = GetParam();
  OpenCard open(card_section(0, MODEL, 0) + card_section(1, MODEL, CARD_CLOSED));
  CardState before = card_state();
  for (const Case &c : cases_of(row)) {
    Args args = good_args(row);
    args.v[c.arg] = c.bad.value;
    const std::string label = std::string(PREFIX) + row.name + ": argument " +
                              std::to_string(c.arg + 1) + " = " + std::to_string(c.bad.value);
    const ApiStatus status = row.call(args);
    if (c.bad.expected != ANY) {
      EXPECT_EQ(status, c.bad.expected) << label;
    }
    EXPECT_TRUE(is_documented(status)) << label << " answered " << status;
    if (status != SUCCESS_NO_ERROR) {
      const CardState after = card_state();
      EXPECT_TRUE(after == before) << label << " answered " << status << " and "
                                   << first_difference(before, after);
    } else {
      settle();
    }
    before = card_state();
  }
}

INSTANTIATE_TEST_SUITE_P(Exports, ExportSweep, ::testing::ValuesIn(rows()),
                         [](const testing::TestParamInfo<Row> &info) { return std::string(info.param.name); });

// At M = 500 an acceleration word above 34,359 is more than an int32 holds.
TEST(ExportReplies, AnAccelerationTooLargeForTheReplyIsClamped) {
  OpenCard open(card_section(0, MODEL, 0));
  probe_accelerate(0, 0, 65535);
  int32_t acceleration = 0;
  EXPECT_EQ(RM7X0_NAME(get_acc)(0, AXIS_X, &acceleration), SUCCESS_NO_ERROR);
  EXPECT_EQ(acceleration, INT32_MAX);
  RM7X0_NAME(stop_move)(0, AXIS_X, 0x27);
}

// ---- the rows against the library's export list --------------------------------

// The names of the functions that a shared object exports (its dynamic
// symbols defined in it).
std::set<std::string> exported_names(const char *path) {
  std::set<std::string> names;
  FILE *file = std::fopen(path, "rb");
  if (!file) return names;
  std::vector<char> image;
  char chunk[65536];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) image.insert(image.end(), chunk, chunk + n);
  std::fclose(file);
  const auto *header = reinterpret_cast<const Elf64_Ehdr *>(image.data());
  const auto *sections = reinterpret_cast<const Elf64_Shdr *>(image.data() + header->e_shoff);
  for (int k = 0; k < header->e_shnum; ++k) {
    if (sections[k].sh_type != SHT_DYNSYM) continue;
    const Elf64_Shdr &strings = sections[sections[k].sh_link];
    const auto *symbols = reinterpret_cast<const Elf64_Sym *>(image.data() + sections[k].sh_offset);
    for (size_t s = 0; s < sections[k].sh_size / sizeof(Elf64_Sym); ++s) {
      if (symbols[s].st_shndx == SHN_UNDEF || ELF64_ST_TYPE(symbols[s].st_info) != STT_FUNC) continue;
      names.insert(image.data() + strings.sh_offset + symbols[s].st_name);
    }
  }
  return names;
}

TEST(ExportSweepRows, EveryExportOfTheLibraryHasExactlyOneRow) {
  const std::set<std::string> exports = exported_names(RM7X0_LIBRARY_FILE);
  ASSERT_FALSE(exports.empty()) << RM7X0_LIBRARY_FILE;
  std::multiset<std::string> covered;
  for (const Row &row : rows()) covered.insert(std::string(PREFIX) + row.name);
  for (const std::string &name : exports)
    EXPECT_EQ(covered.count(name), 1u) << name << " needs one row in the sweep";
  for (const std::string &name : covered) EXPECT_TRUE(exports.count(name)) << name << " is no export";
}

// ---- the refused load ------------------------------------------------------------

TEST(RefusedLoad, EveryExportRefusesAndNoCardIsReached) {
  BootedMachine machine(machine_text());
  setenv("RM7X0_WINDOWS_VERSION", "2.4.0", 1);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr));
  ::testing::internal::GetCapturedStderr();
  unsetenv("RM7X0_WINDOWS_VERSION");
  const std::vector<uint8_t> before = probe_card_state(0);
  for (const Row &row : rows()) {
    EXPECT_EQ(row.call(good_args(row)), ERROR_NO_CARD_FOUND) << PREFIX << row.name;
    EXPECT_EQ(probe_open_files(0), 0) << PREFIX << row.name;
    EXPECT_EQ(probe_open_files(1), 0) << PREFIX << row.name;
  }
  EXPECT_TRUE(probe_card_state(0) == before);
  // A later load that is not refused works again.
  EXPECT_TRUE(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr));
  EXPECT_EQ(RM7X0_NAME(open_all)(), SUCCESS_NO_ERROR);
  DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
}

}  // namespace

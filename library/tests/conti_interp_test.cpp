// Continuous interpolation end to end: export -> request block ->
// DeviceIoControl -> driver -> simulated chip, on a manual clock that the
// tests step. A path of lines and arcs is fed by the application (polling
// next-ready) and by the driver's segment table; both must run without a stop
// and end exactly on the path's last point.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "card_options.h"
#include "card_table.h"
#include "checks.h"
#include "conti_probe.h"
#include "move_probe.h"
#include "open_cards.h"
#include "request.h"

namespace {

constexpr uint64_t NS_PER_MS = 1000000;
constexpr int LIMIT_MS = 60000;
constexpr uint16_t CW = 0x32, CCW = 0x33;
constexpr uint16_t FIRST = 0, FOLLOWING = 1;
constexpr uint32_t SPEED = 20000;        // PPS: a word of 40 at the reset range
constexpr uint32_t RESET_RANGE = 16000;  // PPS

// One piece of a path, relative to where it begins.
struct Piece {
  bool arc;
  uint16_t direction;
  int32_t cx, cy, ex, ey;
};

// Lines and quarter arcs (centre and end relative to the piece's start);
// one round ends at (500, 1000) and the path runs four rounds.
const std::vector<Piece> ROUND = {
    {false, 0, 0, 0, 2000, 0},      {true, CCW, 0, 1000, 1000, 1000},
    {false, 0, 0, 0, 0, 1500},      {true, CCW, -1000, 0, -1000, 1000},
    {false, 0, 0, 0, -3000, 0},     {true, CW, 0, -500, 500, -500},
    {false, 0, 0, 0, 1000, -2000},
};
constexpr int ROUNDS = 4;
constexpr int32_t PATH_END_X = 500 * ROUNDS, PATH_END_Y = 1000 * ROUNDS;

std::vector<Piece> whole_path() {
  std::vector<Piece> path;
  for (int round = 0; round < ROUNDS; ++round) path.insert(path.end(), ROUND.begin(), ROUND.end());
  return path;
}
const std::vector<Piece> PATH = whole_path();

class ContiTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(rm720_open(0), SUCCESS_NO_ERROR); }
  void TearDown() override {
    rm720_close(0);
    card_options = CardOptions{};  // kept by the library from load to unload
  }

  static void advance_ms(uint64_t ms) { probe_advance_ns(ms * NS_PER_MS); }
  // Steps the clock until the axes stopped and the DPC served their end.
  static void run_until_idle() {
    for (int ms = 0; ms < LIMIT_MS && (probe_axis_busy(0) || probe_axis_busy(1) ||
                                       probe_axis_busy(2));
         ++ms)
      advance_ms(1);
    advance_ms(1);
    ASSERT_FALSE(probe_axis_busy(0));
  }
  // Polls next-ready, stepping the clock, while the master keeps driving.
  static void wait_until_ready() {
    uint8_t ready = 0;
    for (int ms = 0; ms < LIMIT_MS; ++ms) {
      ASSERT_EQ(rm720_conti_interp_next_ready(0, &ready), SUCCESS_NO_ERROR);
      if (ready == 1) return;
      ASSERT_TRUE(probe_axis_busy(0)) << "the path stopped";
      advance_ms(1);
    }
    FAIL() << "never ready";
  }
  static ApiStatus feed(const Piece &piece, uint16_t mode) {
    return piece.arc ? rm720_conti_arc2_move(0, piece.direction, piece.cx, piece.cy, piece.ex,
                                             piece.ey, mode)
                     : rm720_conti_line2_move(0, piece.ex, piece.ey, mode);
  }
  static const AxisBlock &axis_block(int axis) { return card_table.cards[0].axes[axis]; }
  static const AxisMotionState &motion(int axis) { return axis_block(axis).motion; }

  AttachedLibrary library_{"[Machine]\nClock=manual\n" + card_section(0, "A", 0)};
};

TEST_F(ContiTest, TheApplicationFeedsLinesAndArcsWithoutAStop) {
  // With the chip's interrupt on for another axis, the driver sees the free
  // segment slot too; an application-fed run is not its to feed or close.
  ASSERT_EQ(rm720_set_int_factor(0, AXIS_Z, 0x8000), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_conti_interp_begin(0, AXIS_X, AXIS_Y, 255, SPEED), SUCCESS_NO_ERROR);
  EXPECT_EQ(axis_block(1).range, 22627u) << "the partner's range follows the master's";
  EXPECT_EQ(probe_driver_range(1), 22627u);
  EXPECT_EQ(axis_block(2).range, RESET_RANGE) << "no third axis";
  ASSERT_EQ(feed(PATH[0], FIRST), SUCCESS_NO_ERROR);
  for (size_t k = 1; k < PATH.size(); ++k) {
    wait_until_ready();
    ASSERT_EQ(feed(PATH[k], FOLLOWING), SUCCESS_NO_ERROR) << "piece " << k;
    if (k == 1) {
      // The chip holds one queued piece: the next is refused, the run goes on.
      EXPECT_EQ(feed(PATH[2], FOLLOWING), ERROR_CONTI_INTERP_NEXT_NOT_READY);
    }
  }
  EXPECT_EQ(motion(0).last_abs_target, PATH_END_X);
  EXPECT_EQ(motion(1).last_abs_target, PATH_END_Y);
  // An absolute piece counts from the last targets.
  wait_until_ready();
  ASSERT_EQ(rm720_conti_abs_line2_move(0, 4000, -2000, FOLLOWING), SUCCESS_NO_ERROR);
  run_until_idle();
  EXPECT_EQ(probe_command_counter(0), 4000);
  EXPECT_EQ(probe_command_counter(1), -2000);
  EXPECT_EQ(motion(1).last_abs_target, -2000);

  ASSERT_EQ(rm720_conti_interp_end(0), SUCCESS_NO_ERROR);
  EXPECT_EQ(axis_block(1).range, RESET_RANGE);
  EXPECT_EQ(probe_driver_range(1), RESET_RANGE);
  EXPECT_EQ(card_table.cards[0].conti.axes[0], 0);
  uint8_t ready = 7;
  EXPECT_EQ(rm720_conti_interp_next_ready(0, &ready), ERROR_CONFIG_IS_NEEDED);
  EXPECT_EQ(ready, 7) << "written only on success";
}

// The caller's 28-byte records.
void append_record(std::vector<uint8_t> &bytes, uint8_t type, int32_t x, int32_t y, int32_t z,
                   uint8_t direction = 0, int32_t cx = 0, int32_t cy = 0) {
  uint8_t record[28] = {};
  record[0] = type;
  std::memcpy(record + 4, &x, 4);
  std::memcpy(record + 8, &y, 4);
  std::memcpy(record + 12, &z, 4);
  record[16] = direction;
  std::memcpy(record + 20, &cx, 4);
  std::memcpy(record + 24, &cy, 4);
  bytes.insert(bytes.end(), record, record + sizeof record);
}

// The path as records, relative or with absolute points (the path starts at 0).
std::vector<uint8_t> path_records(bool absolute) {
  std::vector<uint8_t> bytes;
  int32_t x = 0, y = 0;
  for (const Piece &piece : PATH) {
    const uint8_t type = static_cast<uint8_t>((piece.arc ? 1 : 0) + (absolute ? 16 : 0));
    const int32_t from_x = absolute ? x : 0, from_y = absolute ? y : 0;
    append_record(bytes, type, from_x + piece.ex, from_y + piece.ey, 0,
                  static_cast<uint8_t>(piece.direction), from_x + piece.cx, from_y + piece.cy);
    x += piece.ex;
    y += piece.ey;
  }
  return bytes;
}

class ContiTableTest : public ContiTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ContiTableTest, TheDriverFeedsTheTableAndEndsTheRunOnTheLastPoint) {
  const std::vector<uint8_t> records = path_records(GetParam());
  ASSERT_EQ(rm720_conti_interp_start(0, AXIS_X, AXIS_Y, 0, SPEED, records.data(),
                                     static_cast<uint8_t>(PATH.size())),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(axis_block(1).range, RESET_RANGE) << "the library keeps its own range";
  EXPECT_EQ(probe_driver_range(1), 22627u);
  EXPECT_EQ(probe_segment_count(), PATH.size() - 1);
  run_until_idle();
  EXPECT_EQ(probe_command_counter(0), PATH_END_X);
  EXPECT_EQ(probe_command_counter(1), PATH_END_Y);
  // The master's drive end closed the run in the driver.
  EXPECT_EQ(probe_segment_count(), 0u);
  EXPECT_EQ(probe_driver_range(1), RESET_RANGE);
  EXPECT_EQ(rm720_conti_interp_end(0), ERROR_CONFIG_IS_NEEDED);
  // Absolute records leave the path's end as the last targets; relative ones
  // leave none (the first segment's end is not where the path ends).
  EXPECT_EQ(motion(0).last_target_valid, GetParam() ? 1 : 0);
  if (GetParam()) {
    EXPECT_EQ(motion(0).last_abs_target, PATH_END_X);
    EXPECT_EQ(motion(1).last_abs_target, PATH_END_Y);
  }
}

INSTANTIATE_TEST_SUITE_P(RelativeAndAbsolute, ContiTableTest, ::testing::Bool());

// A T-curve run of absolute three-axis lines: the driver switches the
// deceleration on once the rest of the path is no longer than the distance
// DV -> SV takes, (20,000^2 - 1,000^2) / (2 x 125,000) = 1,596 pulses.
TEST_F(ContiTest, ATableOfPointsDeceleratesAtThePathsEnd) {
  ASSERT_EQ(rm720_conti_interp_config(0, AXIS_X, AXIS_Y, AXIS_Z, 1000, SPEED, 125000, 125000, 0),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_end_threshold(), 1596u);
  EXPECT_EQ(probe_driver_range(2), 27712u);
  EXPECT_EQ(axis_block(2).range, RESET_RANGE);
  const int32_t points[][3] = {{1000, 0, 0},       {1000, 1000, 0},    {1000, 1000, 1000},
                               {2000, 1000, 1000}, {2000, 2000, 1000}, {2000, 2000, 2000},
                               {3000, 2000, 2000}, {3000, 3000, 2000}, {3000, 3000, 3000}};
  for (const auto &point : points)
    ASSERT_EQ(rm720_conti_abs_line3_move_load(0, point[0], point[1], point[2]), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_conti_interp_start_all(0), SUCCESS_NO_ERROR);

  int32_t top_speed = 0, last_speed = 0;
  for (int ms = 0; ms < LIMIT_MS && probe_axis_busy(0); ++ms) {
    int32_t speed = 0;
    ASSERT_EQ(rm720_get_speed(0, AXIS_X, &speed), SUCCESS_NO_ERROR);
    top_speed = std::max(top_speed, speed);
    last_speed = speed;
    advance_ms(1);
  }
  run_until_idle();
  EXPECT_EQ(top_speed, static_cast<int32_t>(SPEED));
  EXPECT_LE(last_speed, 2000) << "ran into the end at speed";
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_EQ(probe_command_counter(axis), 3000);
    EXPECT_EQ(motion(axis).last_abs_target, 3000) << "the path's end, not its first point";
  }
  EXPECT_EQ(rm720_conti_interp_end(0), ERROR_CONFIG_IS_NEEDED) << "the drive end closed the run";
}

TEST_F(ContiTest, TheDecelerationDistanceShrinksWithThePercentage) {
  ASSERT_EQ(rm720_conti_interp_config(0, AXIS_X, AXIS_Y, 0, 1000, SPEED, 125000, 125000, 50),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_end_threshold(), 798u);
  ASSERT_EQ(rm720_conti_interp_end(0), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_conti_interp_config(0, AXIS_X, AXIS_Y, 0, 1000, SPEED, 125000, 125000, 100),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_end_threshold(), 0u);
  ASSERT_EQ(rm720_conti_interp_end(0), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_conti_interp_config(16, AXIS_X, AXIS_Y, 0, 1000, SPEED, 125000, 125000, 101),
            ERROR_CONTI_INTERP_SET)
      << "the percentage comes before the card";
}

TEST_F(ContiTest, TheFirstLoadIsKeptAndTheNext2048FillTheTable) {
  ASSERT_EQ(rm720_conti_interp_config(0, AXIS_X, AXIS_Y, AXIS_Z, SPEED, SPEED, 0, 0, 0),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_end_threshold(), 0u) << "constant speed: no deceleration";
  for (int32_t k = 0; k <= 2048; ++k)
    ASSERT_EQ(rm720_conti_abs_line3_move_load(0, k + 1, 0, 0), SUCCESS_NO_ERROR) << k;
  EXPECT_EQ(probe_segment_count(), 2048u);
  EXPECT_EQ(rm720_conti_abs_line3_move_load(0, 5000, 0, 0), ERROR_CONTI_QUEUE_FULL);
  EXPECT_EQ(card_table.cards[0].conti.first_segment.x, 1);
  EXPECT_EQ(rm720_conti_interp_end(0), SUCCESS_NO_ERROR);
}

// A segment that the driver's table has no room for is refused, not
// reported as stored.
TEST_F(ContiTest, ALoadTheDriverDoesNotStoreIsRefused) {
  ASSERT_EQ(rm720_conti_interp_config(0, AXIS_X, AXIS_Y, AXIS_Z, SPEED, SPEED, 0, 0, 0),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_conti_abs_line3_move_load(0, 1, 0, 0), SUCCESS_NO_ERROR);
  for (int k = 0; k < 2048; ++k) {  // another sender fills the table meanwhile
    DriverRequest block{};
    preset_status(block);
    put_u32(block, CONTI_LOAD_SEGMENT_TYPE, 18);
    ASSERT_TRUE(send_request(card_device(0), REQ_CONTI_LOAD_SEGMENT, block));
  }
  EXPECT_EQ(rm720_conti_abs_line3_move_load(0, 2, 0, 0),
            ERROR_INVALID_CONTINUE_INTERPOLATION_MOTION);
  EXPECT_EQ(card_table.cards[0].conti.loaded_count, 1);
  EXPECT_EQ(rm720_conti_interp_end(0), SUCCESS_NO_ERROR);
}

// A clamped deceleration of 2^31 PPS/s doubles to 0 in 32 bits: the
// deceleration distance is then 0, never a division by zero.
TEST_F(ContiTest, ADecelerationThatWrapsNeedsNoDistance) {
  ASSERT_EQ(rm720_set_customization(0, 2, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_conti_interp_config(0, AXIS_X, AXIS_Y, 0, 1000, SPEED, 125000, 0x80000000u, 0),
            SUCCESS_NO_ERROR);
  // Clamped to the steepest word the chip runs, the ramp needs a pulse at most.
  EXPECT_LE(probe_end_threshold(), 1u);
  EXPECT_EQ(rm720_conti_interp_end(0), SUCCESS_NO_ERROR);
}

TEST_F(ContiTest, BeginAndConfigRefuseInTheirOrder) {
  EXPECT_EQ(rm720_conti_interp_begin(16, AXIS_X, AXIS_Y, 0, 3000000), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_conti_interp_begin(0, AXIS_X | AXIS_Z, AXIS_Y, 0, 0), ERROR_MULTI_AXES_ASSIGNED);
  EXPECT_EQ(rm720_conti_interp_begin(0, AXIS_X, AXIS_Y, AXIS_NOT_USED, 0),
            ERROR_NO_VALID_AXIS_ASSIGNED);
  EXPECT_EQ(rm720_conti_interp_begin(0, AXIS_X, AXIS_Y, AXIS_Y, 3000000),
            ERROR_INTERPOLATION_SLAVE_AXES_DUPLICATED);
  EXPECT_EQ(rm720_conti_interp_begin(0, AXIS_X, AXIS_X, AXIS_Y, 3000000),
            ERROR_INVALID_INTERPOLATION_SLAVE_AXES);
  EXPECT_EQ(rm720_conti_interp_begin(0, AXIS_X, AXIS_Y, 0, 2000001), ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(rm720_conti_interp_config(0, AXIS_X, AXIS_Y, 0, 1000, 2000001, 1, 1, 0),
            ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(rm720_conti_interp_config(0, AXIS_X, AXIS_Y, 0, 1000, SPEED, 0, 125000, 0),
            ERROR_INVALID_ACCELERATION);
  EXPECT_EQ(card_table.cards[0].conti.axes[0], 0);

  ASSERT_EQ(rm720_conti_interp_begin(0, AXIS_Y, AXIS_Z, AXIS_U, 2000000), SUCCESS_NO_ERROR);
  EXPECT_EQ(axis_block(2).range, 22627u);
  EXPECT_EQ(axis_block(3).range, 27712u);
  EXPECT_EQ(rm720_conti_interp_begin(0, AXIS_X, AXIS_Z, 0, SPEED), ERROR_INTERPOLATION_NOT_COMPLETE);
  ASSERT_EQ(rm720_conti_interp_end(0), SUCCESS_NO_ERROR);
  EXPECT_EQ(axis_block(3).range, RESET_RANGE);
  EXPECT_EQ(probe_driver_range(3), RESET_RANGE);
}

// A partner range the chip cannot take closes the run and is reported.
TEST_F(ContiTest, APartnerRangeBeyondTheChipClosesTheRun) {
  ASSERT_EQ(rm720_set_range(0, AXIS_X, 8000000), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_conti_interp_begin(0, AXIS_X, AXIS_Y, 0, 5000), ERROR_INVALID_RANGE);
  EXPECT_EQ(card_table.cards[0].conti.axes[0], 0);
  EXPECT_EQ(rm720_conti_interp_end(0), ERROR_CONFIG_IS_NEEDED) << "the driver's run was closed";
}

TEST_F(ContiTest, SegmentsRefuseInTheirOrder) {
  EXPECT_EQ(rm720_conti_line2_move(16, 1, 1, 5), ERROR_INVALID_CONTINUE_INTERPOLATION_MOTION);
  EXPECT_EQ(rm720_conti_line3_move(16, 1, 1, 1, 5), ERROR_INVALID_CONTINUE_INTERPOLATION_MOTION);
  EXPECT_EQ(rm720_conti_arc2_move(16, CW, 1, 1, 2, 2, 2),
            ERROR_INVALID_CONTINUE_INTERPOLATION_MOTION);
  EXPECT_EQ(rm720_conti_line2_move(16, 1, 1, 4), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_conti_abs_arc2_move(16, CW, 1, 1, 2, 2, 2), ERROR_INVALID_CARD_ID)
      << "the absolute form converts first";
  EXPECT_EQ(rm720_conti_line2_move(0, 1, 1, 0), ERROR_CONFIG_IS_NEEDED) << "no run";

  ASSERT_EQ(rm720_conti_interp_begin(0, AXIS_X, AXIS_Y, 0, SPEED), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_conti_line2_move(0, 1, 1, FOLLOWING), ERROR_NO_LAST_ABS_TARGET)
      << "begin forgets the last targets";
  EXPECT_EQ(rm720_conti_arc2_move(0, 0x34, 0, 100, 100, 100, FIRST),
            ERROR_INVALID_INTERPOLATION_ARC_DIRECTION);
  EXPECT_EQ(rm720_conti_line3_move(0, 1, 1, 1, FIRST), ERROR_CONTI_INTERP_INCORRECT_CONFIG);
  EXPECT_EQ(motion(0).last_target_valid, 0) << "a refused segment keeps no target";
  ASSERT_EQ(rm720_conti_interp_end(0), SUCCESS_NO_ERROR);
}

TEST_F(ContiTest, TableStartChecksItsRecordsBeforeAnythingRuns) {
  std::vector<uint8_t> mixed;
  append_record(mixed, 0, 100, 0, 0);
  append_record(mixed, 16, 200, 0, 0);
  append_record(mixed, 1, 100, 100, 0, 0x34, 0, 100);
  EXPECT_EQ(rm720_conti_interp_start(16, AXIS_X, AXIS_Y, 0, SPEED, mixed.data(), 3),
            ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_conti_interp_start(0, AXIS_X, AXIS_Y, 0, SPEED, mixed.data(), 3),
            ERROR_CONTI_SEGMENT_KIND_MIXED);

  std::vector<uint8_t> bad_arc;
  append_record(bad_arc, 0, 100, 0, 0);
  append_record(bad_arc, 1, 100, 100, 0, 0x34, 0, 100);
  append_record(bad_arc, 2, 1, 1, 1);
  EXPECT_EQ(rm720_conti_interp_start(0, AXIS_X, AXIS_Y, 0, SPEED, bad_arc.data(), 3),
            ERROR_INVALID_INTERPOLATION_ARC_DIRECTION);

  std::vector<uint8_t> line3;
  append_record(line3, 0, 100, 0, 0);
  append_record(line3, 2, 1, 1, 1);
  EXPECT_EQ(rm720_conti_interp_start(0, AXIS_X, AXIS_Y, 255, SPEED, line3.data(), 2),
            ERROR_CONTI_SEGMENT_AXES);
  EXPECT_EQ(rm720_conti_interp_start(0, AXIS_X, AXIS_Y, AXIS_Z, SPEED, line3.data(), 2),
            ERROR_CONTI_SEGMENT_AXES)
      << "three axes take three-axis lines only";
  EXPECT_EQ(rm720_conti_interp_start(0, AXIS_X, AXIS_Y, 0, SPEED, line3.data(), 0),
            ERROR_INVALID_CONTINUE_INTERPOLATION_MOTION)
      << "no first record";
  EXPECT_EQ(rm720_conti_interp_start(0, AXIS_X, AXIS_Y, 0, SPEED, nullptr, 1),
            ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(card_table.cards[0].conti.axes[0], 0) << "nothing was opened";
  EXPECT_FALSE(probe_axis_busy(0));
}

TEST_F(ContiTest, StartSpeedAndRatesAreCheckedAgainstTheAxis) {
  EXPECT_EQ(rm720_set_sv_acc(16, AXIS_X, 1000, 0, 0), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_set_sv_acc(0, AXIS_X, 5000000, 0, 0), ERROR_INVALID_DRIVING_SPEED);
  EXPECT_EQ(rm720_set_sv_acc(0, AXIS_X, 1000, 1, 0), ERROR_INVALID_ACCELERATION);
  EXPECT_EQ(rm720_set_sv_acc(0, AXIS_X, 1000, 125000, 1), ERROR_INVALID_DECELERATION);
  EXPECT_EQ(rm720_set_sv_acc(0, AXIS_X, 1000, 0, 0), SUCCESS_NO_ERROR) << "rates of 0 are kept";
  EXPECT_EQ(rm720_set_sv_acc(0, AXIS_X, 1000, 125000, 250000), SUCCESS_NO_ERROR);
  uint8_t index = 9;
  EXPECT_EQ(rm720_conti_interp_running_segment(0, &index), SUCCESS_NO_ERROR);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(rm720_conti_interp_running_segment(0, nullptr), ERROR_ACCESS_VIOLATION_DATA_COPY);
}

// A table run of three-axis lines of 100 pulses each on X from where the
// axes stand; the first is kept to start the run, the other `count - 1`
// fill the table.
void load_table_of_lines(int count) {
  ASSERT_EQ(rm720_conti_interp_config(0, AXIS_X, AXIS_Y, AXIS_Z, SPEED, SPEED, 0, 0, 0),
            SUCCESS_NO_ERROR);
  const int32_t x = probe_command_counter(0), y = probe_command_counter(1);
  for (int32_t k = 1; k <= count; ++k)
    ASSERT_EQ(rm720_conti_abs_line3_move_load(0, x + 100 * k, y + 10 * k, 0), SUCCESS_NO_ERROR);
}

struct Break {
  const char *name;
  bool hold_interrupt;  // no next-segment interrupt reaches the driver: every feed is too late
  bool stop;            // a stop command to X part-way
  int16_t state[3];     // what motion_done reports for X, Y, Z
};

// A run that ends before its last segment says so, whatever ended it, and
// the driver has closed it once motion_done reports the axes done.
TEST_F(ContiTest, ATableRunThatBreaksOffIsNeverANormalEnd) {
  constexpr int16_t BROKEN = DRIVE_FINISH_CONTI_BROKEN;
  const Break cases[] = {
      {"feed too late", true, false, {BROKEN, BROKEN, BROKEN}},
      // The stop of the master stopped its partners too: each says so.
      {"stop command", false, true,
       {BROKEN | DRIVE_FINISH_WITH_STOP_COMMAND, BROKEN | DRIVE_FINISH_WITH_STOP_COMMAND,
        BROKEN | DRIVE_FINISH_WITH_STOP_COMMAND}},
  };
  for (const Break &c : cases) {
    SCOPED_TRACE(c.name);
    const int32_t start_x = probe_command_counter(0);
    ASSERT_NO_FATAL_FAILURE(load_table_of_lines(20));
    probe_hold_chip_interrupt(c.hold_interrupt);
    ASSERT_EQ(rm720_conti_interp_start_all(0), SUCCESS_NO_ERROR);
    for (int ms = 0; ms < 12; ++ms) advance_ms(1);  // 100 pulses take 5 ms at 20,000 PPS
    if (c.stop) {
      ASSERT_TRUE(probe_axis_busy(0));
      ASSERT_EQ(rm720_stop_move(0, AXIS_X, 0x27), SUCCESS_NO_ERROR);
    }
    run_until_idle();
    EXPECT_LT(probe_command_counter(0), start_x + 2000) << "the path ended short of its end";
    for (int axis = 0; axis < 3; ++axis) {
      uint8_t done = 0;
      int16_t state = 0;
      ASSERT_EQ(rm720_motion_done(0, static_cast<uint16_t>(1 << axis), &done, &state),
                SUCCESS_NO_ERROR);
      EXPECT_EQ(done, 1);
      EXPECT_EQ(state, c.state[axis]) << "axis " << axis;
    }
    probe_hold_chip_interrupt(false);
    EXPECT_EQ(probe_segment_count(), 0u) << "closed by the motion query";
    EXPECT_EQ(probe_driver_range(1), RESET_RANGE);
    EXPECT_EQ(rm720_conti_interp_end(0), ERROR_CONFIG_IS_NEEDED);
  }
}

// The driver feeds its table at every motion query that finds the slot
// free, as the DPC does: a run whose interrupts come late (here never) still
// runs to its end while the application watches it.
TEST_F(ContiTest, AMotionQueryFeedsTheTableToo) {
  const int32_t start_x = probe_command_counter(0);
  ASSERT_NO_FATAL_FAILURE(load_table_of_lines(20));
  probe_hold_chip_interrupt(true);
  ASSERT_EQ(rm720_conti_interp_start_all(0), SUCCESS_NO_ERROR);
  uint8_t done = 0;
  int16_t state = 0;
  for (int ms = 0; ms < LIMIT_MS && done == 0; ++ms) {
    advance_ms(1);
    ASSERT_EQ(rm720_motion_done(0, AXIS_X, &done, &state), SUCCESS_NO_ERROR);
  }
  probe_hold_chip_interrupt(false);
  EXPECT_EQ(state, DRIVE_FINISH_OUTPUT_FIXED_PULSE);
  EXPECT_EQ(probe_command_counter(0), start_x + 2000);
  EXPECT_EQ(probe_segment_count(), 0u) << "closed";
}

// The DPC may come late to the master's drive end: a new run may begin as
// soon as motion_done reports the last one done, and reports it normal.
TEST_F(ContiTest, ANewRunBeginsRightAfterATableRun) {
  ASSERT_NO_FATAL_FAILURE(load_table_of_lines(5));
  ASSERT_EQ(rm720_conti_interp_start_all(0), SUCCESS_NO_ERROR);
  for (int ms = 0; ms < LIMIT_MS && probe_next_segment() < 4; ++ms) advance_ms(1);
  probe_hold_chip_interrupt(true);  // the drive end reaches no DPC
  run_until_idle();
  uint8_t done = 0;
  int16_t state = 0;
  ASSERT_EQ(rm720_motion_done(0, AXIS_X, &done, &state), SUCCESS_NO_ERROR);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(state, DRIVE_FINISH_OUTPUT_FIXED_PULSE);
  EXPECT_EQ(probe_command_counter(0), 500);
  EXPECT_EQ(rm720_conti_interp_begin(0, AXIS_X, AXIS_Y, 0, SPEED), SUCCESS_NO_ERROR);
  probe_hold_chip_interrupt(false);
  advance_ms(1);
  EXPECT_EQ(rm720_conti_interp_end(0), SUCCESS_NO_ERROR);
}

// A broken run leaves its drive end latched on the master; the next waited
// line switches the drive-end interrupt on and the driver sees that old end
// (here once the line runs). It is not the line's: the wait ends with the
// line only.
TEST_F(ContiTest, AWaitEndsOnlyWithItsOwnDriveEnd) {
  ASSERT_NO_FATAL_FAILURE(load_table_of_lines(20));
  probe_hold_chip_interrupt(true);
  ASSERT_EQ(rm720_conti_interp_start_all(0), SUCCESS_NO_ERROR);
  run_until_idle();
  uint8_t done = 0;
  int16_t state = 0;
  ASSERT_EQ(rm720_motion_done(0, AXIS_X, &done, &state), SUCCESS_NO_ERROR);
  ASSERT_EQ(state, DRIVE_FINISH_CONTI_BROKEN);
  const int32_t start_x = probe_command_counter(0);

  std::atomic<bool> returned{false};
  std::atomic<int> status{1};
  std::thread waiting([&] {
    status = rm720_t_line2_move(0, AXIS_X, AXIS_Y, SPEED, SPEED, 0, 0, 1000, 0, 0, 1);
    returned = true;
  });
  // The line starts on the waiting thread: wait for it, not for the clock.
  while (!probe_axis_busy(0)) std::this_thread::yield();
  probe_hold_chip_interrupt(false);  // the old end reaches the driver once the line runs
  advance_ms(10);  // part-way: the 1,000 pulses take 50 ms
  EXPECT_FALSE(returned) << "completed by the broken run's drive end";
  EXPECT_TRUE(probe_axis_busy(0));
  run_until_idle();
  for (int ms = 0; ms < LIMIT_MS && !returned; ++ms) advance_ms(1);
  waiting.join();
  EXPECT_EQ(status, SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_command_counter(0), start_x + 1000);
}

// The end after the last segment, while the path still runs, closes the run
// at once; the partners' ranges come back to the chip once the axes stand,
// and whatever the caller starts next works.
TEST_F(ContiTest, TheEndWhileThePathRunsClosesItAndGivesTheRangesBackAtItsEnd) {
  for (uint16_t third : {uint16_t{255}, uint16_t{AXIS_Z}}) {
    SCOPED_TRACE(third);
    const bool three = third == AXIS_Z;
    ASSERT_EQ(rm720_conti_interp_begin(0, AXIS_X, AXIS_Y, third, SPEED), SUCCESS_NO_ERROR);
    ASSERT_EQ(three ? rm720_conti_line3_move(0, 3000, 1000, 500, FIRST)
                    : rm720_conti_line2_move(0, 3000, 1000, FIRST),
              SUCCESS_NO_ERROR);
    advance_ms(5);
    EXPECT_EQ(rm720_conti_interp_end(0), SUCCESS_NO_ERROR);
    EXPECT_EQ(card_table.cards[0].conti.axes[0], 0) << "the run is closed";
    EXPECT_TRUE(probe_axis_busy(0)) << "the path runs on";
    EXPECT_EQ(axis_block(1).range, RESET_RANGE);
    EXPECT_NE(probe_driver_range(1), RESET_RANGE) << "changed under the moving axis";
    EXPECT_EQ(rm720_conti_line2_move(0, 100, 100, FOLLOWING), ERROR_CONFIG_IS_NEEDED);
    run_until_idle();
    EXPECT_EQ(probe_command_counter(0), 3000);
    EXPECT_EQ(probe_command_counter(1), 1000);
    EXPECT_EQ(rm720_conti_interp_end(0), ERROR_CONFIG_IS_NEEDED) << "nothing left to end";
    for (int axis = 0; axis < (three ? 3 : 2); ++axis)
      EXPECT_EQ(probe_driver_range(axis), RESET_RANGE) << axis;
    EXPECT_EQ(axis_block(1).speed_max, axis_block(0).speed_max) << "the partner's limits are back";
    // What the caller starts next runs: a line, an arc, a begin.
    ASSERT_EQ(rm720_t_line2_move(0, AXIS_X, AXIS_Y, 1000, SPEED, 100000, 100000, -3000, -1000, 0,
                                 0),
              SUCCESS_NO_ERROR);
    run_until_idle();
    ASSERT_EQ(rm720_t_arc2_move(0, AXIS_X, AXIS_Y, 1000, SPEED, 100000, CCW, 0, 500, 0, 1000, 0, 0),
              SUCCESS_NO_ERROR);
    run_until_idle();
    EXPECT_EQ(rm720_set_cmdcounter(0, AXIS_X, 0), SUCCESS_NO_ERROR);
    EXPECT_EQ(rm720_set_cmdcounter(0, AXIS_Y, 0), SUCCESS_NO_ERROR);
    EXPECT_EQ(rm720_set_cmdcounter(0, AXIS_Z, 0), SUCCESS_NO_ERROR);
  }
}

// Segments longer than the deceleration distance: the deceleration is
// switched on with the last one at the latest, so the path still ends at
// its start speed.
TEST_F(ContiTest, APathOfLongSegmentsStillDeceleratesAtItsEnd) {
  ASSERT_EQ(rm720_conti_interp_config(0, AXIS_X, AXIS_Y, AXIS_Z, 1000, SPEED, 125000, 125000, 0),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(probe_end_threshold(), 1596u);
  for (int32_t k = 1; k <= 4; ++k)
    ASSERT_EQ(rm720_conti_abs_line3_move_load(0, 3000 * k, 0, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_conti_interp_start_all(0), SUCCESS_NO_ERROR);
  int32_t last_speed = 0;
  for (int ms = 0; ms < LIMIT_MS && probe_axis_busy(0); ++ms) {
    ASSERT_EQ(rm720_get_speed(0, AXIS_X, &last_speed), SUCCESS_NO_ERROR);
    advance_ms(1);
  }
  run_until_idle();
  EXPECT_LE(last_speed, 2000) << "ran into the end at speed";
  EXPECT_EQ(probe_command_counter(0), 12000);
}

// A three-axis line may follow two-axis segments of a three-axis run: the
// third axis starts from where it stands.
TEST_F(ContiTest, AThreeAxisLineFollowsTwoAxisSegments) {
  ASSERT_EQ(rm720_conti_interp_begin(0, AXIS_X, AXIS_Y, AXIS_Z, SPEED), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_conti_line2_move(0, 1000, 500, FIRST), SUCCESS_NO_ERROR);
  EXPECT_EQ(motion(2).last_target_valid, 1);
  wait_until_ready();
  ASSERT_EQ(rm720_conti_line3_move(0, 1000, 0, 700, FOLLOWING), SUCCESS_NO_ERROR);
  wait_until_ready();
  ASSERT_EQ(rm720_conti_arc2_move(0, CCW, 0, 500, 500, 500, FOLLOWING), SUCCESS_NO_ERROR);
  run_until_idle();
  EXPECT_EQ(probe_command_counter(0), 2500);
  EXPECT_EQ(probe_command_counter(1), 1000);
  EXPECT_EQ(probe_command_counter(2), 700);
  EXPECT_EQ(motion(2).last_abs_target, 700);
  ASSERT_EQ(rm720_conti_interp_end(0), SUCCESS_NO_ERROR);
}

TEST(ContiExports, TheModelBLibraryFeedsSegmentsButHasNoTable) {
  constexpr const char *SEGMENT_EXPORTS[] = {
      "conti_interp_begin", "conti_interp_end",     "conti_interp_next_ready",
      "conti_line2_move",   "conti_line3_move",     "conti_arc2_move",
      "conti_abs_line2_move", "conti_abs_line3_move", "conti_abs_arc2_move"};
  constexpr const char *TABLE_EXPORTS[] = {
      "conti_interp_start", "conti_interp_config",          "conti_abs_line3_move_load",
      "conti_interp_start_all", "conti_interp_running_segment", "set_sv_acc"};
  for (const auto &[path, prefix] :
       {std::pair{RM720_LIBRARY, "rm720_"}, {RM730_LIBRARY, "rm730_"}}) {
    void *library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char *name : SEGMENT_EXPORTS)
      EXPECT_NE(dlsym(library, (std::string(prefix) + name).c_str()), nullptr) << prefix << name;
    for (const char *name : TABLE_EXPORTS)
      EXPECT_EQ(dlsym(library, (std::string(prefix) + name).c_str()) != nullptr,
                std::string(prefix) == "rm720_")
          << prefix << name;
    dlclose(library);
  }
}

}  // namespace

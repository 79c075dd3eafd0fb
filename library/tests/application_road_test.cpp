// Programs as an application engineer writes them, run end to end on
// the manual clock: continuous paths fed by the application and by the
// driver's table, lines cut short, a line over a running home search, the
// compare trigger around lines, a partial configuration file and the speed
// and acceleration read back. Each call is made in the documented order and
// must give the documented code; the machine must end where the program put it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "conti_probe.h"
#include "manual_clock_card.h"
#include "move_probe.h"

namespace {

#define API(name) RM7X0_NAME(name)

constexpr uint8_t CARD = 0;
constexpr uint64_t MS = 1000000;
constexpr int16_t NORMAL_END = DRIVE_FINISH_OUTPUT_FIXED_PULSE;
#ifdef RM7X0_MODEL_B
const char *const MODEL = "B";
#else
const char *const MODEL = "A";
#endif

std::string card0(const std::string &axis_keys = "") {
  return card_section(0, MODEL, 0) + axis_keys;
}

void run_until_idle(unsigned mask, uint64_t limit_ns = 120000 * MS) {
  uint64_t end_ns[4] = {};
  probe_run_until_idle(mask, MS, limit_ns, end_ns);
  for (int axis = 0; axis < 4; ++axis) {
    const bool drives = (mask & (1u << axis)) && probe_axis_busy(axis);
    ASSERT_FALSE(drives) << "axis " << axis << " still drives";
  }
}

struct AxisEnd {
  uint8_t done = 0;
  int16_t state = 0;
  int32_t counter = 0;
};

AxisEnd axis_end(uint16_t axis) {
  AxisEnd end;
  EXPECT_EQ(API(motion_done)(CARD, axis, &end.done, &end.state), SUCCESS_NO_ERROR);
  EXPECT_EQ(API(get_cmdcounter)(CARD, axis, &end.counter), SUCCESS_NO_ERROR);
  return end;
}

void expect_normal_end_at(uint16_t axis, int32_t place) {
  AxisEnd end = axis_end(axis);
  EXPECT_EQ(end.done, 1) << "axis " << axis;
  EXPECT_EQ(end.state, NORMAL_END) << "axis " << axis;
  EXPECT_EQ(end.counter, place) << "axis " << axis;
}

// A path cut short: every axis of it names why it stopped.
void expect_stop_reason(uint16_t axis) {
  AxisEnd end = axis_end(axis);
  EXPECT_EQ(end.done, 1) << "axis " << axis;
  EXPECT_NE(end.state, NORMAL_END) << "axis " << axis << " reports a normal end of a path cut short";
  EXPECT_NE(end.state, 0) << "axis " << axis;
}

int32_t speed_max(uint16_t axis) {
  int32_t limits[6] = {};
  EXPECT_EQ(API(get_range_settings)(CARD, axis, limits), SUCCESS_NO_ERROR);
  return limits[5];
}

// Runs a call that returns only when the card has done its work (a waited
// move) while this thread steps the clock; `on_step` sees each step.
ApiStatus while_clock_runs(const std::function<ApiStatus()> &call,
                           const std::function<void()> &on_step = [] {}) {
  std::atomic<bool> returned{false};
  ApiStatus status = 0;
  std::thread caller([&] {
    status = call();
    returned = true;
  });
  constexpr uint64_t LIMIT_STEPS = 600000;  // ten simulated minutes
  for (uint64_t step = 0; !returned; ++step) {
    if (step == LIMIT_STEPS) {
      std::fprintf(stderr, "a waited call did not return within ten simulated minutes\n");
      std::abort();
    }
    probe_advance_ns(MS);
    on_step();
  }
  caller.join();
  return status;
}

// Steps the clock until the card takes the next segment of a path.
void await_next_ready() {
  for (int step = 0; step < 200000; ++step) {
    uint8_t ready = 0;
    ASSERT_EQ(API(conti_interp_next_ready)(CARD, &ready), SUCCESS_NO_ERROR);
    if (ready == 1) return;
    probe_advance_ns(MS / 10);
  }
  FAIL() << "the card never took the next segment";
}

// ---- Continuous interpolation fed by the application ----------------------

constexpr uint32_t X_RANGE = 160000;  // speeds up to 400,000 PPS
constexpr uint32_t Y_RANGE = 80000;   // speeds up to 800,000 PPS
constexpr uint32_t Z_RANGE = 240000;  // speeds up to 266,666 PPS

void configure_ranges() {
  ASSERT_EQ(API(set_range)(CARD, AXIS_X, X_RANGE), SUCCESS_NO_ERROR);
  ASSERT_EQ(API(set_range)(CARD, AXIS_Y, Y_RANGE), SUCCESS_NO_ERROR);
  ASSERT_EQ(API(set_range)(CARD, AXIS_Z, Z_RANGE), SUCCESS_NO_ERROR);
}

void expect_configured_ranges() {
  EXPECT_EQ(probe_driver_range(1), Y_RANGE);
  EXPECT_EQ(probe_driver_range(2), Z_RANGE);
  EXPECT_EQ(speed_max(AXIS_X), 400000);
  EXPECT_EQ(speed_max(AXIS_Y), 800000);
  EXPECT_EQ(speed_max(AXIS_Z), 266666);
}

// A partner axis plans a single-axis move with the range the program set:
// 700,000 PPS is legal only at Y's own range, not at a stretched one.
void expect_y_moves_with_its_range() {
  ASSERT_EQ(API(const_move)(CARD, AXIS_Y, 700000, 70000), SUCCESS_NO_ERROR);
  probe_advance_ns(MS);
  int32_t speed = 0;
  EXPECT_EQ(API(get_speed)(CARD, AXIS_Y, &speed), SUCCESS_NO_ERROR);
  EXPECT_EQ(speed, 700000);
  run_until_idle(AXIS_Y);
}

// Line, line, counter-clockwise quarter arc, line, clockwise quarter arc:
// (4000, 0) (0, 3000) (2000, 2000) (-1000, 500) (1000, 1000).
constexpr int32_t PATH_X = 6000, PATH_Y = 6500;

void feed_path() {
  ASSERT_EQ(API(conti_line2_move)(CARD, 4000, 0, 0), SUCCESS_NO_ERROR);
  await_next_ready();
  ASSERT_EQ(API(conti_line2_move)(CARD, 0, 3000, 1), SUCCESS_NO_ERROR);
  await_next_ready();
  ASSERT_EQ(API(conti_arc2_move)(CARD, 0x33, 0, 2000, 2000, 2000, 1), SUCCESS_NO_ERROR);
  await_next_ready();
  ASSERT_EQ(API(conti_line2_move)(CARD, -1000, 500, 1), SUCCESS_NO_ERROR);
  await_next_ready();
  ASSERT_EQ(API(conti_arc2_move)(CARD, 0x32, 1000, 0, 1000, 1000, 1), SUCCESS_NO_ERROR);
}

TEST(ApplicationRoad, ContiPathFedByTheApplicationEndsWhereFedAndRunsAgain) {
  OpenCard card(card0());
  configure_ranges();
  ASSERT_EQ(API(conti_interp_begin)(CARD, AXIS_X, AXIS_Y, 0, 20000), SUCCESS_NO_ERROR);
  feed_path();
  ASSERT_TRUE(probe_axis_busy(0)) << "the last segment should still run";
  EXPECT_EQ(API(conti_interp_end)(CARD), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_X | AXIS_Y);
  expect_normal_end_at(AXIS_X, PATH_X);
  expect_normal_end_at(AXIS_Y, PATH_Y);
  expect_configured_ranges();

  ASSERT_EQ(API(conti_interp_begin)(CARD, AXIS_X, AXIS_Y, 0, 20000), SUCCESS_NO_ERROR);
  ASSERT_EQ(API(conti_line2_move)(CARD, 1000, -2000, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(API(conti_interp_end)(CARD), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_X | AXIS_Y);
  expect_normal_end_at(AXIS_X, PATH_X + 1000);
  expect_normal_end_at(AXIS_Y, PATH_Y - 2000);
  expect_configured_ranges();
  expect_y_moves_with_its_range();
}

TEST(ApplicationRoad, ContiThreeAxisPathFedByTheApplication) {
  OpenCard card(card0());
  configure_ranges();
  ASSERT_EQ(API(conti_interp_begin)(CARD, AXIS_X, AXIS_Y, AXIS_Z, 20000), SUCCESS_NO_ERROR);
  ASSERT_EQ(API(conti_line3_move)(CARD, 3000, 1000, 2000, 0), SUCCESS_NO_ERROR);
  await_next_ready();
  ASSERT_EQ(API(conti_line3_move)(CARD, -1000, 2000, 500, 1), SUCCESS_NO_ERROR);
  await_next_ready();
  ASSERT_EQ(API(conti_line3_move)(CARD, 2000, 0, -1500, 1), SUCCESS_NO_ERROR);
  ASSERT_TRUE(probe_axis_busy(0));
  EXPECT_EQ(API(conti_interp_end)(CARD), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_X | AXIS_Y | AXIS_Z);
  expect_normal_end_at(AXIS_X, 4000);
  expect_normal_end_at(AXIS_Y, 3000);
  expect_normal_end_at(AXIS_Z, 1000);
  expect_configured_ranges();
  expect_y_moves_with_its_range();
}

// ---- Lines cut short ------------------------------------------------------

constexpr uint16_t XYZ = AXIS_X | AXIS_Y | AXIS_Z;

ApiStatus line3(uint16_t wait) {
  return API(t_line3_move)(CARD, AXIS_X, AXIS_Y, AXIS_Z, 1000, 20000, 200000, 200000, 10000, 8000,
                           6000, 0, wait);
}

TEST(ApplicationRoad, LineCutByAPartnersSoftwareLimitNamesAStopOnEveryAxis) {
  OpenCard card(card0());
  ASSERT_EQ(API(set_softlimit)(CARD, AXIS_Y, 3, 0, 2000, -100000), SUCCESS_NO_ERROR);
  ASSERT_EQ(line3(0), SUCCESS_NO_ERROR);
  run_until_idle(XYZ);
  AxisEnd y = axis_end(AXIS_Y);
  EXPECT_TRUE(y.state & DRIVE_FINISH_WITH_SW_LIMIT_POSITIVE) << y.state;
  expect_stop_reason(AXIS_X);
  expect_stop_reason(AXIS_Z);
  EXPECT_LT(axis_end(AXIS_X).counter, 10000);
}

TEST(ApplicationRoad, WaitedLineCutByAPartnersSoftwareLimitFails) {
  OpenCard card(card0());
  ASSERT_EQ(API(set_softlimit)(CARD, AXIS_Z, 3, 0, 1500, -100000), SUCCESS_NO_ERROR);
  ApiStatus status = while_clock_runs([] { return line3(1); });
  EXPECT_NE(status, SUCCESS_NO_ERROR);
  for (uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z}) expect_stop_reason(axis);
  EXPECT_TRUE(axis_end(AXIS_Z).state & DRIVE_FINISH_WITH_SW_LIMIT_POSITIVE);
}

// The program's emergency stop: the master stopped at once while the line runs.
TEST(ApplicationRoad, LineCutBySuddenStopOfTheMasterNamesAStopOnEveryAxis) {
  OpenCard card(card0());
  ASSERT_EQ(line3(0), SUCCESS_NO_ERROR);
  probe_advance_ns(100 * MS);
  ASSERT_TRUE(probe_axis_busy(0));
  EXPECT_EQ(while_clock_runs([] { return API(stop_move)(CARD, AXIS_X, 0x27); }), SUCCESS_NO_ERROR);
  run_until_idle(XYZ);
  EXPECT_TRUE(axis_end(AXIS_X).state & DRIVE_FINISH_WITH_STOP_COMMAND);
  for (uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z}) expect_stop_reason(axis);
}

TEST(ApplicationRoad, WaitedLineCutByAStopFails) {
  OpenCard card(card0());
  bool stopped = false;
  ApiStatus status = while_clock_runs([] { return line3(1); }, [&] {
    if (!stopped && probe_command_counter(0) > 2000) {
      stopped = true;
      EXPECT_EQ(API(stop_move_all)(CARD, XYZ, 0x27), SUCCESS_NO_ERROR);
    }
  });
  ASSERT_TRUE(stopped);
  EXPECT_NE(status, SUCCESS_NO_ERROR);
  for (uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z}) expect_stop_reason(axis);
}

TEST(ApplicationRoad, LineCutByAPartnersLimitSwitchNamesAStopOnEveryAxis) {
  OpenCard card(card0("Y.LimitPlus=3000\n"));
  ASSERT_EQ(line3(0), SUCCESS_NO_ERROR);
  run_until_idle(XYZ);
  EXPECT_TRUE(axis_end(AXIS_Y).state & DRIVE_FINISH_WITH_LIMIT_POSITIVE);
  expect_stop_reason(AXIS_X);
  expect_stop_reason(AXIS_Z);
}

// A partner whose emergency-stop input is active: the line is refused, waited
// or not, with the code naming that axis, and nothing moves.
TEST(ApplicationRoad, LineOverAPartnerInEmergencyStopIsRefused) {
  OpenCard card(card0("Y.EmergencyStop=1\n"));
  EXPECT_EQ(line3(0), ERROR_OCCURS_IN_AXIS_Y);
  EXPECT_EQ(while_clock_runs([] { return line3(1); }), ERROR_OCCURS_IN_AXIS_Y);
  for (uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z}) EXPECT_EQ(axis_end(axis).counter, 0);
}

TEST(ApplicationRoad, WaitedLineAfterAnUnwaitedLineRuns) {
  OpenCard card(card0());
  ASSERT_EQ(line3(0), SUCCESS_NO_ERROR);
  run_until_idle(XYZ);
  EXPECT_EQ(while_clock_runs([] { return line3(1); }), SUCCESS_NO_ERROR);
  expect_normal_end_at(AXIS_X, 20000);
  expect_normal_end_at(AXIS_Y, 16000);
  expect_normal_end_at(AXIS_Z, 12000);
}

// ---- A waited line over a home search that is still running ----------------

struct HomeCase {
  const char *name;
  uint16_t master, slave;
};

class WaitedLineOverHomeSearch : public testing::TestWithParam<HomeCase> {};

TEST_P(WaitedLineOverHomeSearch, IsRefusedAsAxisBusyAndTheSearchGoesOn) {
  OpenCard card(card0("X.Home=-50000\nX.NearHome=-50000\n"));
  ASSERT_EQ(API(set_home_cfg)(CARD, AXIS_X, 0, 0, 0, 3, 0), SUCCESS_NO_ERROR);
  ASSERT_EQ(API(home_start)(CARD, AXIS_X, 1000, 100000, 100000, 20000, 5000, 0), SUCCESS_NO_ERROR);
  probe_advance_ns(20 * MS);
  ASSERT_TRUE(probe_axis_busy(0));
  const HomeCase &c = GetParam();
  ApiStatus status = while_clock_runs([&] {
    return API(t_line2_move)(CARD, c.master, c.slave, 1000, 20000, 200000, 200000, 3000, 3000, 0, 1);
  });
  EXPECT_EQ(status, ERROR_MOTION_NOT_COMPLETE);
  EXPECT_TRUE(probe_axis_busy(0)) << "the home search must go on";
  int32_t y = 0;
  EXPECT_EQ(API(get_cmdcounter)(CARD, AXIS_Y, &y), SUCCESS_NO_ERROR);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(API(stop_move)(CARD, AXIS_X, 0x26), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_X);
}

INSTANTIATE_TEST_SUITE_P(Axes, WaitedLineOverHomeSearch,
                         testing::Values(HomeCase{"master", AXIS_X, AXIS_Y},
                                         HomeCase{"slave", AXIS_Y, AXIS_X}),
                         [](const testing::TestParamInfo<HomeCase> &info) {
                           return std::string(info.param.name);
                         });

// ---- A partial configuration file ----------------------------------------------

class ConfigFile {
 public:
  explicit ConfigFile(const std::string &text) {
    char name[] = "/tmp/road_config_XXXXXX";
    int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    path_ = name;
    EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
  }
  ~ConfigFile() { std::remove(path_.c_str()); }
  const char *path() const { return path_.c_str(); }

 private:
  std::string path_;
};

std::string every_key_of_card0() {
  std::string text = "[CardNo:0]\n";
  for (char axis : {'X', 'Y', 'Z', 'U'}) {
    for (const char *key : {"PULSE_MODE", "ENC_MODE", "LMT_LEVEL", "HOME_LEVEL", "NRHOME_LEVEL",
                            "INDEX_LEVEL", "SLIMIT_SRC", "SLIMIT_PLUS", "SLIMIT_MINUS", "INP_EN",
                            "INP_LEVEL", "ALM_EN", "ALM_LEVE", "FILTER_MODE", "DELAY_TIME"})
      text += std::string(1, axis) + "-" + key + "=0\n";
  }
  return text;
}

TEST(ApplicationRoad, ConfigWithEveryKeySucceeds) {
  OpenCard card(card0());
  ConfigFile file(every_key_of_card0());
  EXPECT_EQ(API(load_config)(file.path()), SUCCESS_NO_ERROR);
}

TEST(ApplicationRoad, ConfigWithSomeKeysSucceedsAndMissingKeysAreZero) {
  OpenCard card(card0());
  ASSERT_EQ(API(set_softlimit)(CARD, AXIS_X, 3, 0, 500, -500), SUCCESS_NO_ERROR);
  // The software limit of X names its source only: it is configured off.
  ConfigFile file("[CardNo:0]\nX-PULSE_MODE=2\nX-ENC_MODE=1\nX-SLIMIT_SRC=0\nY-LMT_LEVEL=1\n");
  EXPECT_EQ(API(load_config)(file.path()), SUCCESS_NO_ERROR);
  ASSERT_EQ(API(t_move)(CARD, AXIS_X, 1000, 20000, 200000, 200000, 2000, 0), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_X);
  expect_normal_end_at(AXIS_X, 2000);
  ASSERT_EQ(API(t_move)(CARD, AXIS_Z, 1000, 20000, 200000, 200000, -2000, 0), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_Z);
  expect_normal_end_at(AXIS_Z, -2000);
}

// ---- Speed and acceleration read back ---------------------------------------------

struct Readback {
  uint32_t range;
  uint32_t speed;         // a whole number of speed steps of the range
  uint32_t acceleration;  // a whole number of acceleration steps
};

void PrintTo(const Readback &r, std::ostream *out) {
  *out << "range " << r.range << ", " << r.speed << " PPS, " << r.acceleration << " PPS/s";
}

class SpeedAndAccelerationReadBack : public testing::TestWithParam<Readback> {};

// A rate read back: the chip word planned for it, times M (formed in single
// precision) and the unit's factor, truncated.
int32_t read_back(uint32_t range, uint32_t value, double factor) {
  const double m = static_cast<double>(8000000.0f / static_cast<float>(range));
  const double word = std::trunc(static_cast<double>(static_cast<float>(value)) / (factor * m));
  return static_cast<int32_t>(factor * m * word);
}

// Accelerating from the lowest speed to `speed`, the card reads back the
// acceleration; at speed, the speed.
TEST_P(SpeedAndAccelerationReadBack, AsTheWordTheChipRuns) {
  const Readback &r = GetParam();
  OpenCard card(card0());
  ASSERT_EQ(API(set_range)(CARD, AXIS_X, r.range), SUCCESS_NO_ERROR);
  int32_t limits[6] = {};
  ASSERT_EQ(API(get_range_settings)(CARD, AXIS_X, limits), SUCCESS_NO_ERROR);
  const uint32_t lowest = static_cast<uint32_t>(limits[4]);
  ASSERT_EQ(API(velocity_move)(CARD, AXIS_X, lowest, r.speed, r.acceleration, 1), SUCCESS_NO_ERROR);
  const double ramp_s = double(r.speed - lowest) / r.acceleration;
  probe_advance_ns(static_cast<uint64_t>(ramp_s * 0.5e9));
  int32_t acceleration = 0, speed = 0;
  EXPECT_EQ(API(get_acc)(CARD, AXIS_X, &acceleration), SUCCESS_NO_ERROR);
  EXPECT_EQ(acceleration, read_back(r.range, r.acceleration, 125.0)) << "range " << r.range;
  probe_advance_ns(static_cast<uint64_t>(ramp_s * 1e9) + 10 * MS);
  EXPECT_EQ(API(get_speed)(CARD, AXIS_X, &speed), SUCCESS_NO_ERROR);
  EXPECT_EQ(speed, read_back(r.range, r.speed, 1.0)) << "range " << r.range;
  EXPECT_EQ(API(stop_move)(CARD, AXIS_X, 0x26), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_X);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, SpeedAndAccelerationReadBack,
    testing::Values(Readback{30000, 266400, 33600000}, Readback{30000, 800, 100000},
                    Readback{30000, 2132800, 266600000}, Readback{120000, 400, 50000},
                    Readback{120000, 200000, 2500000}, Readback{240000, 10000, 12500},
                    Readback{240000, 266600, 33325000}, Readback{16000, 4000000, 500000000},
                    Readback{80000, 123400, 54012500}, Readback{160000, 400000, 625000},
                    Readback{800000, 770, 96250}, Readback{8000000, 8000, 1000000}),
    [](const testing::TestParamInfo<Readback> &info) {
      return "range_" + std::to_string(info.param.range) + "_speed_" +
             std::to_string(info.param.speed);
    });

#ifndef RM7X0_MODEL_B
// ---- Continuous interpolation from the driver's table (model A) --------------------

#pragma pack(push, 1)
struct Segment {
  uint8_t type;
  uint8_t pad1[3];
  int32_t x, y, z;
  uint8_t direction;
  uint8_t pad2[3];
  int32_t cx, cy;
};
#pragma pack(pop)
static_assert(sizeof(Segment) == 28, "segment record of 28 bytes");

Segment line2(int32_t x, int32_t y, uint8_t type = 0) { return Segment{type, {}, x, y, 0, 0, {}, 0, 0}; }
Segment line3seg(int32_t x, int32_t y, int32_t z) { return Segment{2, {}, x, y, z, 0, {}, 0, 0}; }
Segment arc(uint8_t direction, int32_t cx, int32_t cy, int32_t ex, int32_t ey, uint8_t type = 1) {
  return Segment{type, {}, ex, ey, 0, direction, {}, cx, cy};
}

// The path of feed_path as records.
std::vector<Segment> table_path() {
  return {line2(4000, 0), line2(0, 3000), arc(0x33, 0, 2000, 2000, 2000), line2(-1000, 500),
          arc(0x32, 1000, 0, 1000, 1000)};
}

TEST(ApplicationRoad, ContiTablePathEndsWhereGivenAndRunsAgain) {
  OpenCard card(card0());
  configure_ranges();
  std::vector<Segment> path = table_path();
  ASSERT_EQ(rm720_conti_interp_start(CARD, AXIS_X, AXIS_Y, 0, 20000, path.data(), path.size()),
            SUCCESS_NO_ERROR);
  ASSERT_TRUE(probe_axis_busy(0));
  EXPECT_EQ(rm720_conti_interp_end(CARD), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_X | AXIS_Y);
  expect_normal_end_at(AXIS_X, PATH_X);
  expect_normal_end_at(AXIS_Y, PATH_Y);
  expect_configured_ranges();

  // Again at once; this time the master's end closes the run by itself.
  ASSERT_EQ(rm720_conti_interp_start(CARD, AXIS_X, AXIS_Y, 0, 20000, path.data(), path.size()),
            SUCCESS_NO_ERROR);
  run_until_idle(AXIS_X | AXIS_Y);
  expect_normal_end_at(AXIS_X, 2 * PATH_X);
  expect_normal_end_at(AXIS_Y, 2 * PATH_Y);
  expect_configured_ranges();
  expect_y_moves_with_its_range();
}

TEST(ApplicationRoad, ContiTableOfAbsoluteLinesEndsAtTheLastPoint) {
  OpenCard card(card0());
  configure_ranges();
  ASSERT_EQ(rm720_conti_interp_config(CARD, AXIS_X, AXIS_Y, AXIS_Z, 1000, 20000, 200000, 200000, 0),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_conti_abs_line3_move_load(CARD, 1000, 1000, 1000), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_conti_abs_line3_move_load(CARD, 3000, 2000, 1000), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_conti_abs_line3_move_load(CARD, 5000, 2000, 3000), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_conti_interp_start_all(CARD), SUCCESS_NO_ERROR);
  ASSERT_TRUE(probe_axis_busy(0));
  EXPECT_EQ(rm720_conti_interp_end(CARD), SUCCESS_NO_ERROR);
  run_until_idle(XYZ);
  expect_normal_end_at(AXIS_X, 5000);
  expect_normal_end_at(AXIS_Y, 2000);
  expect_normal_end_at(AXIS_Z, 3000);
  expect_configured_ranges();
  expect_y_moves_with_its_range();
}

// ---- Table start refused while an axis drives ---------------------------------------

struct BadStart {
  const char *name;
  uint8_t card;
  uint16_t axis2, axis3;
  std::vector<Segment> records;
  ApiStatus expected;
};

void PrintTo(const BadStart &c, std::ostream *out) { *out << c.name; }

class ContiStartWhileAxisDrives : public testing::TestWithParam<BadStart> {};

TEST_P(ContiStartWhileAxisDrives, RefusesWithTheFirstFailingCheckAndChangesNothing) {
  OpenCard card(card0());
  configure_ranges();
  ASSERT_EQ(API(t_move)(CARD, AXIS_X, 1000, 20000, 200000, 200000, 5000, 0), SUCCESS_NO_ERROR);
  probe_advance_ns(10 * MS);
  const BadStart &c = GetParam();
  EXPECT_EQ(rm720_conti_interp_start(c.card, AXIS_X, c.axis2, c.axis3, 20000, c.records.data(),
                                     c.records.size()),
            c.expected);
  EXPECT_EQ(probe_driver_range(1), Y_RANGE);
  EXPECT_EQ(speed_max(AXIS_Y), 800000);
  run_until_idle(XYZ);
  expect_normal_end_at(AXIS_X, 5000);
  expect_normal_end_at(AXIS_Y, 0);
}

const Segment BAD_ARC = arc(0x34, 0, 1000, 1000, 1000);

INSTANTIATE_TEST_SUITE_P(
    Records, ContiStartWhileAxisDrives,
    testing::Values(
        BadStart{"bad_card", 5, AXIS_Y, 0, {line2(1, 1, 16), BAD_ARC}, ERROR_INVALID_CARD_ID},
        BadStart{"bad_axis", 0, 0x11, 0, {line2(1, 1, 16), BAD_ARC}, ERROR_MULTI_AXES_ASSIGNED},
        BadStart{"mixed_kinds", 0, AXIS_Y, 0, {line2(100, 100), line2(1, 1, 16)},
                 ERROR_CONTI_SEGMENT_KIND_MIXED},
        BadStart{"mixed_before_arc", 0, AXIS_Y, 0, {line2(100, 100), BAD_ARC, line2(1, 1, 16)},
                 ERROR_CONTI_SEGMENT_KIND_MIXED},
        BadStart{"bad_arc", 0, AXIS_Y, 0, {line2(100, 100), BAD_ARC},
                 ERROR_INVALID_INTERPOLATION_ARC_DIRECTION},
        BadStart{"arc_before_axes", 0, AXIS_Y, 0, {BAD_ARC, line3seg(1, 1, 1)},
                 ERROR_INVALID_INTERPOLATION_ARC_DIRECTION},
        BadStart{"line3_on_two_axes", 0, AXIS_Y, 255, {line2(100, 100), line3seg(1, 1, 1)},
                 ERROR_CONTI_SEGMENT_AXES},
        BadStart{"line2_on_three_axes", 0, AXIS_Y, AXIS_Z, {line3seg(1, 1, 1), line2(100, 100)},
                 ERROR_CONTI_SEGMENT_AXES},
        BadStart{"good_records", 0, AXIS_Y, 0, {line2(100, 100), line2(100, 0)},
                 ERROR_MOTION_NOT_COMPLETE}),
    [](const testing::TestParamInfo<BadStart> &info) { return std::string(info.param.name); });

// ---- Compare trigger from a table around lines (model A) ------------------------

TEST(ApplicationRoad, LinesRunWithTheCompareTableArmedAndAfterItIsDisarmed) {
  OpenCard card(card0());
  const int32_t table[] = {1000, 2000, 3000, 4000};
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, 0x4000, 0, 0, 0, 0x0800, 1, 0, table, 4),
            SUCCESS_NO_ERROR);
  auto line2_move = [](uint16_t wait) {
    return API(t_line2_move)(CARD, AXIS_X, AXIS_Y, 1000, 20000, 200000, 200000, 5000, 2500, 0,
                             wait);
  };
  EXPECT_EQ(line2_move(0), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_X | AXIS_Y);
  expect_normal_end_at(AXIS_X, 5000);
  expect_normal_end_at(AXIS_Y, 2500);

  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, 0, 0, 0, 0, 0x0800, 1, 0, nullptr, 0),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(while_clock_runs([&] { return line2_move(1); }), SUCCESS_NO_ERROR);
  expect_normal_end_at(AXIS_X, 10000);
  expect_normal_end_at(AXIS_Y, 5000);
  EXPECT_EQ(line2_move(0), SUCCESS_NO_ERROR);
  run_until_idle(AXIS_X | AXIS_Y);
  expect_normal_end_at(AXIS_X, 15000);
  expect_normal_end_at(AXIS_Y, 7500);
}

TEST(ApplicationRoad, WaitedLineRunsOnceTheCompareTableIsDisarmed) {
  OpenCard card(card0());
  const int32_t table[] = {1000, 2000};
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, 0x4000, 0, 0, 0, 0x0800, 1, 0, table, 2),
            SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_cmptrig_config(CARD, AXIS_X, 0, 0, 0, 0, 0x0800, 1, 0, nullptr, 0),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(while_clock_runs([] { return line3(1); }), SUCCESS_NO_ERROR);
  expect_normal_end_at(AXIS_X, 10000);
}
#endif

}  // namespace

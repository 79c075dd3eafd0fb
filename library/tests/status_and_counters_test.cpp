// Counters, motion state, status queries and options end to end: export ->
// request block -> driver -> simulated chip, on a manual clock, with faults
// injected on the bench while an axis moves.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <ostream>
#include <string>
#include <thread>

#include "bench.h"
#include "card_options.h"
#include "card_table.h"
#include "open_cards.h"
#include "request.h"

namespace {

constexpr uint8_t CARD = 0;
constexpr int32_t LIMIT = 20000;

std::string manual_card() {
  return "[Machine]\nClock=manual\n" + card_section(0, "A", CARD) +
         "X.LimitPlus=20000\nX.LimitMinus=-20000\n";
}

// Sends a request the library has no export of here (stop, hold).
bool send(DWORD code, std::initializer_list<uint32_t> slots) {
  DriverRequest block{};
  int n = 1;
  for (uint32_t value : slots) put_u32(block, n++, value);
  return send_request(card_device(CARD), code, block);
}

class OpenCard : public ::testing::Test {
 protected:
  explicit OpenCard(const std::string &description = manual_card()) : library_(description) {}
  void SetUp() override { ASSERT_EQ(rm720_open(CARD), 0); }
  void TearDown() override { card_options = CardOptions{}; }

  // Runs the clock until the axis has stopped; its stop-reason word.
  int16_t run_until_stopped(uint16_t axis) {
    uint8_t done = 0;
    int16_t state = 0;
    for (int i = 0; i < 400 && !done; ++i) {
      bench_advance_us(10000);
      EXPECT_EQ(rm720_motion_done(CARD, axis, &done, &state), 0);
    }
    EXPECT_EQ(done, 1) << "the axis never stopped";
    return state;
  }
  int32_t command_counter(uint16_t axis) {
    int32_t counter = 0;
    EXPECT_EQ(rm720_get_cmdcounter(CARD, axis, &counter), 0);
    return counter;
  }
  AxisMotionState &motion(int axis) { return card_table.cards[CARD].axes[axis].motion; }

  AttachedLibrary library_;
};

// ---- stop reasons -------------------------------------------------------------

struct StopCase {
  const char *name;
  std::function<void()> set_up;     // before the move
  std::function<void()> start;      // the move of X
  std::function<void()> fault;      // mid-move
  uint16_t reason;
};

void velocity(uint8_t dir) { ASSERT_EQ(rm720_velocity_move(CARD, AXIS_X, 1000, 50000, 500000, dir), 0); }

const StopCase kStopCases[] = {
    {"NormalEnd", [] {}, [] { ASSERT_EQ(rm720_t_move(CARD, AXIS_X, 1000, 50000, 500000, 500000, 3000, 0), 0); },
     [] {}, DRIVE_FINISH_OUTPUT_FIXED_PULSE},
    {"LimitPlus", [] {}, [] { velocity(1); }, [] {}, DRIVE_FINISH_WITH_LIMIT_POSITIVE},
    {"LimitMinus", [] {}, [] { velocity(0); }, [] {}, DRIVE_FINISH_WITH_LIMIT_NEGATIVE},
    {"Alarm", [] { ASSERT_EQ(rm720_set_alarm(CARD, AXIS_X, 0x2000, 0), 0); }, [] { velocity(1); },
     [] { bench_set_fault(0, 0, BenchFault::Alarm, true); }, DRIVE_FINISH_WITH_ALARM},
    {"EmergencyStop", [] {}, [] { velocity(0); },
     [] { bench_set_fault(0, 0, BenchFault::EmergencyStop, true); }, DRIVE_FINISH_WITH_EMG},
    {"SoftwareLimit", [] { ASSERT_EQ(rm720_set_softlimit(CARD, AXIS_X, 3, 0, 5000, -5000), 0); },
     [] { velocity(1); }, [] {}, DRIVE_FINISH_WITH_SW_LIMIT_POSITIVE},
    {"StopCommand", [] {}, [] { velocity(1); },
     [] { ASSERT_TRUE(send(REQ_STOP_MOVE, {AXIS_X, 0x26})); }, DRIVE_FINISH_WITH_STOP_COMMAND},
};

void PrintTo(const StopCase &c, std::ostream *os) { *os << c.name; }

class StopReason : public OpenCard, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopReason, MotionDoneNamesWhyTheDriveEnded) {
  const StopCase &c = GetParam();
  c.set_up();
  c.start();
  bench_advance_us(20000);
  uint8_t done = 9;
  int16_t state = 0;
  ASSERT_EQ(rm720_motion_done(CARD, AXIS_X, &done, &state), 0);
  ASSERT_EQ(done, 0) << "still moving mid-move";
  EXPECT_EQ(state, 0);
  c.fault();
  EXPECT_EQ(static_cast<uint16_t>(run_until_stopped(AXIS_X)), c.reason);
}

INSTANTIATE_TEST_SUITE_P(Faults, StopReason, ::testing::ValuesIn(kStopCases),
                         [](const auto &info) { return std::string(info.param.name); });

// A line cut short never reads as a normal end on any of its axes: each says
// why the path stopped, also the axes whose own input did not stop it.
struct CutShortCase {
  const char *name;
  std::function<void()> set_up;  // before the line
  std::function<void()> fault;   // mid-line
  uint16_t reason;
};

const CutShortCase kCutShortCases[] = {
    {"EmergencyStopOnTheMaster", [] {},
     [] { bench_set_fault(0, 0, BenchFault::EmergencyStop, true); }, DRIVE_FINISH_WITH_EMG},
    {"EmergencyStopOnAPartner", [] {},
     [] { bench_set_fault(0, 2, BenchFault::EmergencyStop, true); }, DRIVE_FINISH_WITH_EMG},
    {"SoftwareLimitOfAPartner",
     [] { ASSERT_EQ(rm720_set_softlimit(CARD, AXIS_Y, 3, 0, 1000, -1000), 0); }, [] {},
     DRIVE_FINISH_WITH_SW_LIMIT_POSITIVE},
};

void PrintTo(const CutShortCase &c, std::ostream *os) { *os << c.name; }

class CutShortLine : public OpenCard, public ::testing::WithParamInterface<CutShortCase> {};

TEST_P(CutShortLine, EveryAxisOfThePathSaysWhyItStopped) {
  const CutShortCase &c = GetParam();
  c.set_up();
  ASSERT_EQ(rm720_t_line3_move(CARD, AXIS_X, AXIS_Y, AXIS_Z, 1000, 50000, 500000, 500000, 8000,
                               4000, 2000, 0, 0),
            0);
  bench_advance_us(20000);
  c.fault();
  const int16_t master = run_until_stopped(AXIS_X);
  EXPECT_LT(command_counter(AXIS_X), 8000) << "not cut short";
  for (uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z}) {
    int16_t state = run_until_stopped(axis);
    EXPECT_NE(state, DRIVE_FINISH_OUTPUT_FIXED_PULSE) << "axis " << axis << " reads a normal end";
    EXPECT_EQ(static_cast<uint16_t>(state) & c.reason, c.reason) << "axis " << axis;
    EXPECT_EQ(static_cast<uint16_t>(state), static_cast<uint16_t>(master)) << "axis " << axis;
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, CutShortLine, ::testing::ValuesIn(kCutShortCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The same for a waited line: the call returns once the path stands (as any
// completed wait does), and its master says why it stopped short.
TEST_F(OpenCard, AWaitedLineCutShortByAPartnersLimitSaysSoOnItsMaster) {
  ASSERT_EQ(rm720_set_softlimit(CARD, AXIS_Y, 3, 0, 1000, -1000), 0);
  std::atomic<bool> returned{false};
  std::thread clock([&] {
    while (!returned) {
      bench_advance_us(1000);
      std::this_thread::yield();
    }
  });
  EXPECT_EQ(rm720_t_line2_move(CARD, AXIS_X, AXIS_Y, 1000, 50000, 500000, 500000, 8000, 4000, 0, 1),
            ERROR_T_LINE2_START)
      << "a line cut short is not done";
  returned = true;
  clock.join();
  EXPECT_LT(command_counter(AXIS_X), 8000) << "not cut short";
  EXPECT_EQ(run_until_stopped(AXIS_X), DRIVE_FINISH_WITH_SW_LIMIT_POSITIVE);
  EXPECT_EQ(run_until_stopped(AXIS_Y), DRIVE_FINISH_WITH_SW_LIMIT_POSITIVE);
}

// ---- queries ---------------------------------------------------------------------

TEST_F(OpenCard, SpeedAndAccelerationReadBackInTheirUnits) {
  velocity(1);
  bench_advance_us(300000);  // at the drive speed
  int32_t speed = 0, acc = -1;
  ASSERT_EQ(rm720_get_speed(CARD, AXIS_X, &speed), 0);
  ASSERT_EQ(rm720_get_acc(CARD, AXIS_X, &acc), 0);
  EXPECT_EQ(speed, 50000);  // word 100 x M 500
  EXPECT_EQ(acc, 0);
  int16_t di = 0;
  ASSERT_EQ(rm720_get_mdi_status(CARD, AXIS_X, &di), 0);
  EXPECT_EQ(di & 1, 1) << "driving";
}

TEST_F(OpenCard, InputStatusShowsTheLimitTheAxisStandsOn) {
  velocity(1);
  run_until_stopped(AXIS_X);
  int16_t di = 0, error = 0;
  ASSERT_EQ(rm720_get_mdi_status(CARD, AXIS_X, &di), 0);
  EXPECT_EQ(di & 0x7, 0x2) << "stopped, on limit +";
  ASSERT_EQ(rm720_get_error_status(CARD, AXIS_X, &error), 0);
  EXPECT_EQ(error, 0x04);
}

TEST_F(OpenCard, BoardInformation) {
  int16_t version = 0, register_value = 0;
  int32_t date = 0;
  uint8_t id = 99;
  ASSERT_EQ(rm720_cpld_ver_get(CARD, &version, &date), 0);
  ASSERT_EQ(rm720_reg_rw_test(CARD, 0, 0x30, &register_value, 0), 0);
  EXPECT_EQ(version, register_value);
  EXPECT_EQ(static_cast<uint32_t>(date), 0x20080826u);
  ASSERT_EQ(rm720_get_dipsw_id(CARD, &id), 0);
  EXPECT_EQ(id, CARD);
}

TEST_F(OpenCard, AFaultingStoreIsReported) {
  EXPECT_EQ(rm720_get_cmdcounter(CARD, AXIS_X, reinterpret_cast<int32_t *>(8)),
            ERROR_ACCESS_VIOLATION_DATA_COPY);
  uint8_t done = 0;
  EXPECT_EQ(rm720_motion_done(CARD, AXIS_X, &done, nullptr), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(done, 1) << "outputs stored before the fault stay";
}

// ---- counter writers ---------------------------------------------------------------

TEST_F(OpenCard, WritingTheSourceCounterKeepsTheAbsolutePosition) {
  ASSERT_EQ(rm720_t_move(CARD, AXIS_X, 1000, 50000, 500000, 500000, 300, 0), 0);
  run_until_stopped(AXIS_X);
  ASSERT_EQ(command_counter(AXIS_X), 300);
  const int32_t absolute = command_counter(AXIS_X) - motion(0).origin_offset;
  ASSERT_EQ(rm720_set_cmdcounter(CARD, AXIS_X, 1000), 0);
  EXPECT_EQ(command_counter(AXIS_X), 1000);
  EXPECT_EQ(command_counter(AXIS_X) - motion(0).origin_offset, absolute);

  motion(0).abs_position_source = 1;  // the encoder
  int32_t encoder = 0;
  ASSERT_EQ(rm720_get_position(CARD, AXIS_X, &encoder), 0);
  const int32_t encoder_absolute = encoder - motion(0).origin_offset;
  ASSERT_EQ(rm720_set_enccounter(CARD, AXIS_X, -70000), 0);
  ASSERT_EQ(rm720_get_enccounter(CARD, AXIS_X, &encoder), 0);
  EXPECT_EQ(encoder, -70000);
  EXPECT_EQ(encoder - motion(0).origin_offset, encoder_absolute);
}

TEST_F(OpenCard, TheSourceCounterOfAMovingAxisIsWrittenOnlyWithTheOption) {
  velocity(1);
  bench_advance_us(10000);
  EXPECT_EQ(rm720_set_cmdcounter(CARD, AXIS_X, 5), ERROR_MOTION_NOT_COMPLETE);
  EXPECT_EQ(rm720_set_enccounter(CARD, AXIS_X, 5), 0) << "not the source: written at once";
  ASSERT_EQ(rm720_set_customization(CARD, 8, 1), 0);
  EXPECT_EQ(rm720_set_cmdcounter(CARD, AXIS_X, 5), 0);
  motion(0).abs_position_source = 1;
  EXPECT_EQ(rm720_set_position(CARD, AXIS_X, 5), ERROR_MOTION_NOT_COMPLETE) << "never skips";
}

// After a home search that did not wait, the first report of the stopped
// axis makes its position the absolute origin; later reports change nothing.
// A search that stopped without its home end found no home: the first
// motion_done after it drops the zeroing and leaves the position alone.
TEST_F(OpenCard, TheFirstStopAfterAHomeSearchZeroesThePositionOnce) {
  ASSERT_EQ(rm720_t_move(CARD, AXIS_X, 1000, 50000, 500000, 500000, 300, 0), 0);
  run_until_stopped(AXIS_X);
  motion(0).zero_when_stopped = 1;
  motion(0).last_target_valid = 1;
  uint8_t done = 0;
  int16_t state = 0;
  ASSERT_EQ(rm720_motion_done(CARD, AXIS_X, &done, &state), 0);
  EXPECT_EQ(state, DRIVE_FINISH_OUTPUT_FIXED_PULSE);
  EXPECT_EQ(motion(0).origin_offset, 0) << "zeroed where no home was found";
  EXPECT_EQ(motion(0).zero_when_stopped, 0);
  EXPECT_EQ(motion(0).last_target_valid, 1);
  ASSERT_EQ(rm720_t_move(CARD, AXIS_X, 1000, 50000, 500000, 500000, 100, 0), 0);
  run_until_stopped(AXIS_X);
  EXPECT_EQ(motion(0).origin_offset, 0);
}

// A card whose requests fail: reads report their failure and write nothing,
// and a counter writer changes no origin.
TEST_F(OpenCard, FailedReadsAreReportedNeverTakenAsZero) {
  CardRecord &record = card_table.cards[CARD];
  const HANDLE device = record.device;
  record.device = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // not a device
  motion(0).origin_offset = 123;
  int32_t counter = 77;
  EXPECT_EQ(rm720_get_cmdcounter(CARD, AXIS_X, &counter), ERROR_CMD_COUNTER_GET);
  EXPECT_EQ(rm720_get_position(CARD, AXIS_X, &counter), ERROR_POS_COUNTER_GET);
  EXPECT_EQ(counter, 77);
  EXPECT_EQ(rm720_set_cmdcounter(CARD, AXIS_X, 5), ERROR_MOTION_DONE_GET);
  EXPECT_EQ(motion(0).origin_offset, 123);
  CloseHandle(record.device);
  record.device = device;
}

// ---- options -------------------------------------------------------------------------

TEST_F(OpenCard, OptionValuesAndTypes) {
  EXPECT_EQ(rm720_set_customization(CARD, 3, 2), ERROR_INVALID_CUSTOMIZATION_VALUE);
  EXPECT_EQ(rm720_set_customization(16, 3, 1), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_set_customization(CARD, 10, 1), ERROR_CUSTOMIZATION_SET);
  EXPECT_EQ(rm720_set_customization(5, 2, 1), 0) << "library options need no open card";
  EXPECT_EQ(card_options.clamp_to_limits[5], 1);
  EXPECT_EQ(rm720_set_customization(5, 4, 1), ERROR_CUSTOMIZATION_SET) << "sent to the driver";
  ASSERT_EQ(rm720_set_customization(CARD, 4, 1), 0);
  EXPECT_EQ(card_options.line_speed_as_given[CARD], 1);
  ASSERT_EQ(rm720_set_customization(CARD, 1, 0), 0);
  EXPECT_EQ(card_options.line_speed_as_given[CARD], 0) << "types 1 and 4 share one flag";
}

TEST_F(OpenCard, TheWatchdogIsNotServed) {
  uint8_t mode = 7;
  EXPECT_EQ(rm720_set_WDT(CARD, 3), ERROR_INVALID_WDT_MODE);
  EXPECT_EQ(rm720_set_WDT(CARD, 4), ERROR_WDT_SET);
  EXPECT_EQ(rm720_get_WDT(CARD, &mode), ERROR_WDT_GET);
  EXPECT_EQ(mode, 7);
}

}  // namespace

// A card reset or a sleep in the middle of a running feature, then the same
// feature again, end to end on the manual clock: it works as on a fresh
// card, for nothing of the feature from before is left in the driver.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "conti_probe.h"
#include "running_features.h"

namespace {

using namespace running_features;

constexpr int Y = 1;
constexpr uint64_t MS = 1000000;
constexpr uint32_t SV = 10000, DV = 100000;

void run_to_rest() {
  uint64_t end[4] = {};
  probe_run_until_idle(0xF, MS / 10, 10000 * MS, end);
  // A request after the end finds the line over.
  uint8_t done = 0;
  int16_t state = 0;
  EXPECT_EQ(rm720_motion_done(CARD, AXIS_X, &done, &state), SUCCESS_NO_ERROR);
  EXPECT_EQ(done, 1);
}

// A line at the drive speed as given stretches the partner's range while it
// runs; the long one is cut off by `interrupt`, a short one after it gives
// the partner the range the application set since.
template <typename Interrupt>
void long_line_interrupted_then_short_line(Interrupt interrupt) {
  OpenCard card(card_section(CARD, "A", 0));
  ASSERT_EQ(rm720_set_customization(CARD, 4, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_line2_move(CARD, AXIS_X, AXIS_Y, SV, DV, 10 * ACC, 10 * ACC, 2000000, 1000000, 0, 0),
            SUCCESS_NO_ERROR);
  probe_advance_ns(10 * MS);
  ASSERT_NE(probe_driver_range(Y), 16000u) << "stretched while the line runs";
  interrupt();
  ASSERT_EQ(rm720_set_customization(CARD, 4, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_range(CARD, AXIS_Y, 80000), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_line2_move(CARD, AXIS_X, AXIS_Y, SV, DV, 10 * ACC, 10 * ACC, 2000, 1000, 0, 0),
            SUCCESS_NO_ERROR);
  run_to_rest();
  EXPECT_EQ(probe_driver_range(Y), 80000u) << "the range the library plans with";
}

TEST(CardResetMidway, ALineLeavesNoStretchedRangeBehind) {
  long_line_interrupted_then_short_line([] { ASSERT_EQ(rm720_reset(CARD), SUCCESS_NO_ERROR); });
}

TEST(CardSleepMidway, ALineLeavesNoStretchedRangeBehind) {
  long_line_interrupted_then_short_line([] {
    ASSERT_TRUE(probe_sleep_and_wake(CARD));
    EXPECT_EQ(probe_driver_range(Y), 16000u) << "the range from before the line";
  });
}

// ---- each running feature, reset in the middle and run again ------------------

// The non-waited home search of the axis, towards its home sensor at 5,000:
// it ends standing on home, the absolute position 0 there.
class HomeSearch : public Feature {
 public:
  int axes_needed() const override { return 1; }
  void prepare() override {
    ASSERT_EQ(rm720_set_home_cfg(CARD, BIT[axis[0]], HOME_HIGH, 0, 0, SEEK_HOME_PLUS, 0),
              SUCCESS_NO_ERROR);
  }
  void start() override {
    ASSERT_EQ(rm720_home_start(CARD, BIT[axis[0]], SPEED, ACC, ACC, 5000, 2000, 0), SUCCESS_NO_ERROR);
  }
  void expect_result() override {
    uint8_t done = 0;
    int16_t state = 0;
    EXPECT_EQ(rm720_motion_done(CARD, BIT[axis[0]], &done, &state), SUCCESS_NO_ERROR);
    EXPECT_EQ(done, 1);
    EXPECT_NE(probe_axis(CARD, axis[0]).inputs & HOME_INPUT, 0) << "stands on home";
    int32_t position = -1;
    EXPECT_EQ(rm720_get_abs_position(CARD, BIT[axis[0]], &position), SUCCESS_NO_ERROR);
    EXPECT_EQ(position, 0);
  }

 private:
  static constexpr uint16_t HOME_HIGH = 4, SEEK_HOME_PLUS = 0x04;
  static constexpr uint8_t HOME_INPUT = 0x02;
};

// Six lines from the driver's segment table.
class TableRun : public Feature {
 public:
  int axes_needed() const override { return 2; }
  void start() override {
    std::vector<Segment> table(6, Segment{0, {}, 1000, 400, 0, 0, {}, 0, 0});
    ASSERT_EQ(rm720_conti_interp_start(CARD, BIT[axis[0]], BIT[axis[1]], 0, 2000, table.data(),
                                       static_cast<uint8_t>(table.size())),
              SUCCESS_NO_ERROR);
  }
  void expect_result() override {
    EXPECT_EQ(counter(axis[0]), 6000);
    EXPECT_EQ(counter(axis[1]), 2400);
  }

 private:
  struct Segment {  // the 28-byte record of a table segment
    uint8_t type, pad1[3];
    int32_t x, y, z;
    uint8_t direction, pad2[3];
    int32_t cx, cy;
  };
};

// A held move, started 0.4 s after it was loaded.
class HeldStart : public Feature {
 public:
  int axes_needed() const override { return 1; }
  void start() override {
    ASSERT_EQ(rm720_drv_hold(CARD, BIT[axis[0]]), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_t_move(CARD, BIT[axis[0]], SPEED, SPEED, ACC, ACC, 400, 0), SUCCESS_NO_ERROR);
  }
  void observe() override {
    if (++steps_ != RELEASE_STEP) return;
    EXPECT_EQ(counter(axis[0]), 0) << "moved while held";
    EXPECT_EQ(rm720_drv_start(CARD, BIT[axis[0]]), SUCCESS_NO_ERROR);
  }
  bool settled() override { return steps_ >= RELEASE_STEP; }
  void expect_result() override { EXPECT_EQ(counter(axis[0]), 400); }

 private:
  static constexpr int RELEASE_STEP = 2000;
  int steps_ = 0;
};

struct MidwayCase {
  const char *name;
  std::function<std::unique_ptr<Feature>()> make;
};

void PrintTo(const MidwayCase &c, std::ostream *os) { *os << c.name; }

std::vector<MidwayCase> midway_cases() {
  std::vector<MidwayCase> cases;
  for (int kind = 0; kind < KINDS; ++kind)
    cases.push_back({kKindNames[kind], [kind] { return make_feature(static_cast<Kind>(kind)); }});
  cases.push_back({"HomeSearch", [] { return std::make_unique<HomeSearch>(); }});
  cases.push_back({"TableRun", [] { return std::make_unique<TableRun>(); }});
  cases.push_back({"HeldStart", [] { return std::make_unique<HeldStart>(); }});
  cases.push_back({"WaitedLine", [] { return std::make_unique<WaitedLine>(3000, 1500, 600); }});
  return cases;
}

class ResetMidway : public FeatureBench, public testing::WithParamInterface<MidwayCase> {
 protected:
  ResetMidway() : FeatureBench(card_section(0, "A", 0) + "U.Home=5000\n") {}
  void use_fresh_feature() {
    features_.clear();
    features_.push_back(GetParam().make());
    features_.back()->name = GetParam().name;
    assign_axes();
  }
};

TEST_P(ResetMidway, TheFeatureRunsAgainAsOnAFreshCard) {
  use_fresh_feature();
  ASSERT_NO_FATAL_FAILURE(features_[0]->prepare());
  ASSERT_NO_FATAL_FAILURE(features_[0]->start());
  step(MIDWAY_STEPS);
  ASSERT_EQ(rm720_reset(CARD), SUCCESS_NO_ERROR);

  use_fresh_feature();
  ASSERT_NO_FATAL_FAILURE(features_[0]->prepare());
  ASSERT_NO_FATAL_FAILURE(features_[0]->start());
  run_to_rest();
  features_[0]->expect_result();
  features_[0]->disarm();
  expect_nothing_left_behind();
}

INSTANTIATE_TEST_SUITE_P(EachFeature, ResetMidway, testing::ValuesIn(midway_cases()),
                         [](const testing::TestParamInfo<MidwayCase> &info) {
                           return std::string(info.param.name);
                         });

}  // namespace

// The reset ends a table run with its table: the running segment reads 0
// again, as on a fresh card, and the table is empty.
class TableRunReset : public FeatureBench {};

TEST_F(TableRunReset, LeavesNoSegmentOfTheRunBehind) {
  features_.push_back(std::make_unique<TableRun>());
  assign_axes();
  ASSERT_NO_FATAL_FAILURE(features_[0]->start());
  step(MIDWAY_STEPS);
  uint8_t index = 0;
  ASSERT_EQ(rm720_conti_interp_running_segment(CARD, &index), SUCCESS_NO_ERROR);
  ASSERT_NE(index, 0) << "segments were handed over before the reset";

  ASSERT_EQ(rm720_reset(CARD), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_conti_interp_running_segment(CARD, &index), SUCCESS_NO_ERROR);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(probe_segment_count(), 0u);
}

// The card's running features for the end-to-end tests that run them
// together or cut them off: each starts on the axes it is given, is observed
// at every clock step, and checks its own exact result. With the bench that
// steps the manual clock and checks that nothing was left behind.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "batch_move.h"
#include "compare_probe.h"
#include "machine_probe.h"
#include "manual_clock_card.h"
#include "move_probe.h"

namespace running_features {

constexpr uint8_t CARD = 0;
constexpr uint64_t STEP_NS = 200000;  // 0.2 ms: a fifth of a pulse at 1,000 PPS
constexpr int STEP_LIMIT = 100000;    // 20 s of card time
constexpr int MIDWAY_STEPS = 1500;    // 0.3 s: every feature is under way
constexpr uint16_t BIT[4] = {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U};
constexpr uint16_t ALL = AXIS_X | AXIS_Y | AXIS_Z | AXIS_U;
constexpr uint16_t ARM = 0x4000, INTERVAL = 16, TABLE = 0, OUTPUT = 0x0800;
constexpr uint16_t ACTIVE = 0x4000, START_PLUS = 0x0001;
constexpr uint16_t DRIVE_END_FACTOR = 0x8000;
constexpr uint16_t SUDDEN = 0x27;
constexpr uint32_t SPEED = 1000, ACC = 100000;

inline int32_t counter(int axis) { return probe_command_counter(axis); }

// One running feature, on the axes its test gives it.
class Feature {
 public:
  virtual ~Feature() = default;
  virtual int axes_needed() const = 0;
  // A compare trigger: its first axis must be X or Y.
  virtual bool triggers() const { return false; }
  // Started after the other: while a table runs, no factor may change.
  virtual bool starts_last() const { return false; }
  // Loads and factors that come before anything of the pair starts.
  virtual void prepare() {}
  virtual void start() = 0;
  virtual void observe() {}  // at every clock step
  // Nothing of its own is still to come once its axes stand.
  virtual bool settled() { return true; }
  virtual void expect_result() = 0;
  virtual void disarm() {}

  const char *name = "";
  std::vector<int> axis;
};

class IntervalTrigger : public Feature {
 public:
  int axes_needed() const override { return 1; }
  bool triggers() const override { return true; }
  void start() override {
    EXPECT_EQ(rm720_cmptrig_config(CARD, BIT[axis[0]], ARM, 0, INTERVAL, 0, OUTPUT, 0, 100,
                                   nullptr, 0),
              SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_const_move(CARD, BIT[axis[0]], SPEED, 1050), SUCCESS_NO_ERROR);
  }
  void expect_result() override {
    EXPECT_EQ(probe_compare_pulses(CARD, axis[0]), 10u);
    // Armed, the counters run on a ring of the pitch from 99.
    EXPECT_EQ(counter(axis[0]), (99 + 1050) % 100);
  }
  void disarm() override {
    EXPECT_EQ(rm720_cmptrig_config(CARD, BIT[axis[0]], 0, 0, 0, 0, 0, 0, 0, nullptr, 0),
              SUCCESS_NO_ERROR);
  }
};

class TableTrigger : public Feature {
 public:
  explicit TableTrigger(std::vector<int32_t> table = {100, 150, 230, 300})
      : kTable(std::move(table)) {}
  int axes_needed() const override { return 1; }
  bool triggers() const override { return true; }
  bool starts_last() const override { return true; }
  void start() override {
    EXPECT_EQ(rm720_cmptrig_config(CARD, BIT[axis[0]], ARM, 0, TABLE, 0, OUTPUT, 1, 0,
                                   kTable.data(), static_cast<uint32_t>(kTable.size())),
              SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_const_move(CARD, BIT[axis[0]], SPEED, 500), SUCCESS_NO_ERROR);
  }
  void observe() override {
    const uint32_t pulses = probe_compare_pulses(CARD, axis[0]);
    if (pulses != pulses_) fired_.push_back(counter(axis[0]));
    pulses_ = pulses;
  }
  void expect_result() override {
    EXPECT_EQ(fired_, kTable);
    EXPECT_EQ(counter(axis[0]), 500);
  }
  void disarm() override {
    EXPECT_EQ(rm720_cmptrig_config(CARD, BIT[axis[0]], 0, 0, 0, 0, 0, 0, 0, nullptr, 0),
              SUCCESS_NO_ERROR);
  }

 private:
  const std::vector<int32_t> kTable;
  std::vector<int32_t> fired_;
  uint32_t pulses_ = 0;
};

// A line move whose call returns at its end, made from a thread of its own
// while the test steps the clock.
class WaitedLine : public Feature {
 public:
  WaitedLine(uint32_t drive_speed, int32_t master, int32_t partner)
      : drive_speed_(drive_speed), distance_{master, partner} {}
  ~WaitedLine() override {
    if (caller_.joinable()) caller_.join();
  }
  int axes_needed() const override { return 2; }
  void start() override {
    for (int i = 0; i < 2; ++i) from_[i] = counter(axis[i]);
    caller_ = std::thread([this] {
      status_ = rm720_t_line2_move(CARD, BIT[axis[0]], BIT[axis[1]], SPEED, drive_speed_, ACC,
                                   ACC, distance_[0], distance_[1], 0, 1);
      returned_ = true;
    });
    // The call has reached the card once its axes drive.
    while (!returned_ && !probe_axis_busy(axis[0])) std::this_thread::yield();
  }
  bool settled() override { return returned_; }
  void expect_result() override {
    EXPECT_EQ(status_, SUCCESS_NO_ERROR);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(counter(axis[i]) - from_[i], distance_[i]);
    EXPECT_EQ(probe_axis(CARD, axis[0]).mode1 & DRIVE_END_INTERRUPT, 0) << "the wait disarmed";
  }

 private:
  static constexpr uint16_t DRIVE_END_INTERRUPT = 0x8000;  // mode register 1
  const uint32_t drive_speed_;
  const int32_t distance_[2];
  std::thread caller_;
  int32_t from_[2] = {};
  std::atomic<bool> returned_{false};
  std::atomic<ApiStatus> status_{1};
};

// The source's condition starts the partner's loaded move.
class SynchAction : public Feature {
 public:
  SynchAction(uint16_t condition, int32_t fires_at) : condition_(condition), fires_at_(fires_at) {}
  int axes_needed() const override { return 2; }
  void prepare() override {
    ASSERT_EQ(rm720_synch_t_move_cfg(CARD, BIT[axis[1]], SPEED, SPEED, ACC, ACC, 300),
              SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_set_synch(CARD, BIT[axis[0]], 1, BIT[axis[1]], condition_, ACTIVE, START_PLUS,
                              0, 400, 0),
              SUCCESS_NO_ERROR);
  }
  void start() override {
    ASSERT_EQ(rm720_const_move(CARD, BIT[axis[0]], SPEED, 1000), SUCCESS_NO_ERROR);
  }
  void observe() override {
    if (started_at_ < 0 && probe_axis_busy(axis[1])) started_at_ = counter(axis[0]);
  }
  void expect_result() override {
    EXPECT_EQ(started_at_, fires_at_) << "the partner starts at the condition";
    EXPECT_EQ(counter(axis[0]), 1000);
    EXPECT_EQ(counter(axis[1]), 300);
  }
  void disarm() override {
    EXPECT_EQ(rm720_set_synch(CARD, BIT[axis[0]], 0, 0, 0, 0, 0, 0, 0, 0), SUCCESS_NO_ERROR);
  }

 private:
  uint16_t condition_;
  int32_t fires_at_;
  int32_t started_at_ = -1;
};

// Lift (first axis) up to 2,000, travel to 6,000 once the lift is within
// 500 of the top, lowering to 500 once the travel is within 1,000 of its end.
class UShapedMove : public Feature {
 public:
  int axes_needed() const override { return 2; }
  void start() override {
    const int16_t axes[3] = {static_cast<int16_t>(BIT[axis[0]]), static_cast<int16_t>(BIT[axis[1]]),
                             0};
    const int32_t targets[4] = {2000, 6000, 0, 500};
    const int32_t blends[3] = {500, 1000, 0};
    const uint32_t sv[3] = {1000, 1000, 1000}, dv[3] = {20000, 20000, 20000};
    const uint32_t jerk[3] = {100000000, 100000000, 100000000};
    ASSERT_EQ(rm720_s_abs_u_shaped_move(CARD, axes, targets, blends, sv, dv, jerk, jerk),
              SUCCESS_NO_ERROR);
  }
  void observe() override {
    highest_lift_ = std::max(highest_lift_, counter(axis[0]));
    if (travel_started_at_ < 0 && probe_axis_busy(axis[1])) travel_started_at_ = counter(axis[0]);
  }
  void expect_result() override {
    EXPECT_EQ(highest_lift_, 2000);
    EXPECT_GE(travel_started_at_, 1500) << "the travel waits for the lift's trigger point";
    EXPECT_LT(travel_started_at_, 2000);
    EXPECT_EQ(counter(axis[0]), 500);
    EXPECT_EQ(counter(axis[1]), 6000);
  }

 private:
  int32_t highest_lift_ = 0;
  int32_t travel_started_at_ = -1;
};

// 1,000 pulses at 5,000 PPS, 1,000 at 2,000, then 500 at 3,000.
class BatchMove : public Feature {
 public:
  int axes_needed() const override { return 1; }
  void start() override {
    ASSERT_EQ(rm720_t_move_batch_3steps(CARD, BIT[axis[0]], 1000, 5000, 2000, 3000, ACC, 0, ACC,
                                        1000, 1000, 500),
              SUCCESS_NO_ERROR);
    worker_ = last_batch_worker();
  }
  void observe() override {
    const int32_t at = counter(axis[0]);
    for (size_t step = 0; step < 3; ++step) {
      if (speed_[step] != 0 || at < kSampleAt[step]) continue;
      EXPECT_EQ(rm720_get_speed(CARD, BIT[axis[0]], &speed_[step]), SUCCESS_NO_ERROR);
    }
  }
  bool settled() override { return WaitForSingleObject(worker_, 0) == WAIT_OBJECT_0; }
  void expect_result() override {
    EXPECT_EQ(speed_[0], 5000);
    EXPECT_EQ(speed_[1], 2000);
    EXPECT_EQ(speed_[2], 3000);
    DWORD exit_code = 99;
    EXPECT_TRUE(GetExitCodeThread(worker_, &exit_code));
    EXPECT_EQ(exit_code, 0u) << "step 3 issued";
    EXPECT_EQ(counter(axis[0]), 2500);
  }

 private:
  static constexpr int32_t kSampleAt[3] = {900, 1600, 2300};
  HANDLE worker_ = nullptr;
  int32_t speed_[3] = {};
};

// The target's held move starts at the source's drive end.
class InterruptAction : public Feature {
 public:
  int axes_needed() const override { return 2; }
  void prepare() override {
    ASSERT_EQ(rm720_drv_hold(CARD, BIT[axis[1]]), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_t_move(CARD, BIT[axis[1]], SPEED, SPEED, ACC, ACC, 400, 0), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_set_int_action(CARD, BIT[axis[0]], DRIVE_END_FACTOR, BIT[axis[1]], 1, nullptr),
              SUCCESS_NO_ERROR);
  }
  void start() override {
    ASSERT_EQ(rm720_const_move(CARD, BIT[axis[0]], SPEED, 300), SUCCESS_NO_ERROR);
  }
  void observe() override {
    if (released_at_ < 0 && probe_axis_busy(axis[1])) released_at_ = counter(axis[0]);
  }
  void expect_result() override {
    EXPECT_EQ(released_at_, 300);
    EXPECT_EQ(counter(axis[0]), 300);
    EXPECT_EQ(counter(axis[1]), 400);
  }

 private:
  int32_t released_at_ = -1;
};

// A chain of three lines on two axes at 2,000 PPS, each piece fed as soon as
// the chip takes the next.
class ContinuousInterpolation : public Feature {
 public:
  int axes_needed() const override { return 2; }
  void start() override {
    ASSERT_EQ(rm720_conti_interp_begin(CARD, BIT[axis[0]], BIT[axis[1]], 255, 2000),
              SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_conti_line2_move(CARD, kPieces[0][0], kPieces[0][1], FIRST), SUCCESS_NO_ERROR);
    fed_ = 1;
  }
  void observe() override {
    if (fed_ == std::size(kPieces)) return;
    uint8_t ready = 0;
    ASSERT_EQ(rm720_conti_interp_next_ready(CARD, &ready), SUCCESS_NO_ERROR);
    if (!ready) return;
    ASSERT_EQ(rm720_conti_line2_move(CARD, kPieces[fed_][0], kPieces[fed_][1], FOLLOWING),
              SUCCESS_NO_ERROR);
    ++fed_;
  }
  bool settled() override { return fed_ == std::size(kPieces); }
  void expect_result() override {
    EXPECT_EQ(counter(axis[0]), 1100);
    EXPECT_EQ(counter(axis[1]), 600);
  }
  // Closed, the chain takes no further piece.
  void disarm() override {
    fed_ = std::size(kPieces);
    EXPECT_EQ(rm720_conti_interp_end(CARD), SUCCESS_NO_ERROR);
  }

 private:
  static constexpr uint16_t FIRST = 0, FOLLOWING = 1;
  static constexpr int32_t kPieces[3][2] = {{500, 0}, {0, 600}, {600, 0}};
  size_t fed_ = 0;
};

// A T-move with its drive-end factor enabled: the axis's event is signalled
// at its end.
class PlainMove : public Feature {
 public:
  int axes_needed() const override { return 1; }
  void prepare() override {
    ASSERT_EQ(rm720_int_event_config(CARD, 1, events_), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_set_int_factor(CARD, BIT[axis[0]], DRIVE_END_FACTOR), SUCCESS_NO_ERROR);
  }
  void start() override {
    ASSERT_EQ(rm720_t_move(CARD, BIT[axis[0]], SPEED, 3000, ACC, ACC, 1500, 0), SUCCESS_NO_ERROR);
  }
  void expect_result() override {
    EXPECT_EQ(counter(axis[0]), 1500);
    EXPECT_EQ(WaitForSingleObject(events_[axis[0]], 0), WAIT_OBJECT_0) << "its drive end interrupted";
  }
  void disarm() override {
    EXPECT_EQ(rm720_set_int_factor(CARD, BIT[axis[0]], 0), SUCCESS_NO_ERROR);
    EXPECT_EQ(rm720_int_event_config(CARD, 0, events_), SUCCESS_NO_ERROR);
  }

 private:
  void *events_[4] = {};
};

enum Kind {
  INTERVAL_TRIGGER,
  TABLE_TRIGGER,
  SYNCH_ON_COMPARATOR,
  SYNCH_ON_DRIVE_START,
  SYNCH_ON_DRIVE_END,
  U_SHAPED_MOVE,
  BATCH_MOVE,
  INTERRUPT_ACTION,
  CONTINUOUS_INTERPOLATION,
  PLAIN_MOVE,
  KINDS
};

const char *const kKindNames[KINDS] = {
    "IntervalTrigger", "TableTrigger", "SynchOnComparator", "SynchOnDriveStart",
    "SynchOnDriveEnd", "UShapedMove",  "BatchMove",         "InterruptAction",
    "ContinuousInterpolation",         "PlainMove"};

inline std::unique_ptr<Feature> make_feature(Kind kind) {
  switch (kind) {
    case INTERVAL_TRIGGER: return std::make_unique<IntervalTrigger>();
    case TABLE_TRIGGER: return std::make_unique<TableTrigger>();
    case SYNCH_ON_COMPARATOR: return std::make_unique<SynchAction>(0x0001, 400);
    case SYNCH_ON_DRIVE_START: return std::make_unique<SynchAction>(0x0010, 0);
    case SYNCH_ON_DRIVE_END: return std::make_unique<SynchAction>(0x0020, 1000);
    case U_SHAPED_MOVE: return std::make_unique<UShapedMove>();
    case BATCH_MOVE: return std::make_unique<BatchMove>();
    case INTERRUPT_ACTION: return std::make_unique<InterruptAction>();
    case CONTINUOUS_INTERPOLATION: return std::make_unique<ContinuousInterpolation>();
    default: return std::make_unique<PlainMove>();
  }
}

// The card and the features under test, on the manual clock.
class FeatureBench : public testing::Test {
 protected:
  explicit FeatureBench(const std::string &card_description = card_section(0, "A", 0))
      : card_(card_description) {}

  // A trigger takes X (then Y); the other axes are handed out from U down.
  void assign_axes() {
    bool taken[4] = {};
    for (auto &feature : features_) {
      if (!feature->triggers()) continue;
      const int axis = taken[0] ? 1 : 0;
      taken[axis] = true;
      feature->axis.push_back(axis);
    }
    for (auto &feature : features_) {
      for (int axis = 3; static_cast<int>(feature->axis.size()) < feature->axes_needed(); --axis) {
        ASSERT_GE(axis, 0);
        if (taken[axis]) continue;
        taken[axis] = true;
        feature->axis.push_back(axis);
      }
    }
  }

  bool all_stand() {
    for (int axis = 0; axis < 4; ++axis)
      if (probe_axis_busy(axis)) return false;
    return true;
  }
  bool all_settled() {
    for (auto &feature : features_)
      if (!feature->settled()) return false;
    return true;
  }
  void step(int steps) {
    for (int i = 0; i < steps; ++i) {
      probe_advance_ns(STEP_NS);
      for (auto &feature : features_) feature->observe();
    }
  }
  // Until every axis stands and every feature is done (a worker that is
  // still deciding on its next step is waited for without the clock).
  // The features are asked first: a worker that ended has started its last
  // move by then, and the axes show it; asked the other way round, a worker
  // could start a move between the two looks.
  void run_to_rest() {
    for (int i = 0; i < STEP_LIMIT; ++i) {
      const bool settled = all_settled();
      if (all_stand()) {
        if (settled) return;
        Sleep(1);
      }
      step(1);
    }
    ADD_FAILURE() << "the features did not come to rest";
  }

  // Afterwards every axis runs a plain T-move exactly and takes a software
  // limit.
  void expect_nothing_left_behind() {
    for (int axis = 0; axis < 4; ++axis) {
      SCOPED_TRACE(axis);
      const int32_t before = counter(axis);
      ASSERT_EQ(rm720_t_move(CARD, BIT[axis], SPEED, 4000, ACC, ACC, 500, 0), SUCCESS_NO_ERROR);
      run_to_rest();
      EXPECT_EQ(counter(axis) - before, 500);
      EXPECT_EQ(rm720_set_softlimit(CARD, BIT[axis], 3, 0, 1000000, -1000000), SUCCESS_NO_ERROR);
      EXPECT_EQ(rm720_set_softlimit(CARD, BIT[axis], 0, 0, 0, 0), SUCCESS_NO_ERROR);
      // The drive-end enable is every waited move's and stop's own.
      EXPECT_EQ(probe_axis(CARD, axis).mode1 & 0x7F00, 0) << "no comparator factor stays enabled";
    }
  }

  OpenCard card_;
  std::vector<std::unique_ptr<Feature>> features_;
};

}  // namespace running_features

// Each running feature of the card started, ended part way by each way it
// can end (its own end, a stop of its axes, a card reset), and started again:
// the second run must give what a fresh card gives, with nothing refused as
// still owned, armed, held or pending. End to end on the manual clock.

#include "running_features.h"

namespace {

using namespace running_features;

constexpr int PART_WAY_STEPS = 1000;  // 0.2 s: 200 pulses at 1,000 PPS
constexpr uint16_t HELD_RELEASE_AT = 1500;
constexpr uint16_t SPEED_CHANGE = 0x0800, DRIVE_END_ENABLE = 0x8000;
constexpr uint16_t DECELERATING = 0x26;

uint16_t mask_of(const std::vector<int> &axes) {
  uint16_t mask = 0;
  for (int axis : axes) mask |= BIT[axis];
  return mask;
}

// The source's own comparator condition at 100 changes its drive speed; the
// speed it changes to is compared with what a fresh card gave.
class SpeedChangeAction : public Feature {
 public:
  int axes_needed() const override { return 1; }
  void prepare() override {
    ASSERT_EQ(
        rm720_set_synch(CARD, BIT[axis[0]], 1, 0, 0x0001, ACTIVE | SPEED_CHANGE, 0, 0, 100, 0),
        SUCCESS_NO_ERROR);
  }
  void start() override {
    ASSERT_EQ(rm720_const_move(CARD, BIT[axis[0]], SPEED, 1000), SUCCESS_NO_ERROR);
  }
  void observe() override {
    if (!probe_axis_busy(axis[0])) return;
    const int32_t at = counter(axis[0]);
    if (at > 0 && at < 100) before_ = probe_final_speed(axis[0]);
    if (at > 120 && after_ == 0) after_ = probe_final_speed(axis[0]);
  }
  void expect_result() override {
    EXPECT_EQ(before_, SPEED);
    EXPECT_NE(after_, SPEED) << "the condition changed the speed";
    EXPECT_EQ(counter(axis[0]), 1000);
  }
  void disarm() override {
    EXPECT_EQ(rm720_set_synch(CARD, BIT[axis[0]], 0, 0, 0, 0, 0, 0, 0, 0), SUCCESS_NO_ERROR);
  }
  double speed_after_change() const { return after_; }

 private:
  double before_ = 0, after_ = 0;
};

// Runs that a stale pitch or table of the first run would spoil: a trigger
// every 70 pulses over 1,050 (the counters on a ring of 70 from 69), and a
// table of five positions over 500.
class IntervalTriggerOf70 : public IntervalTrigger {
 public:
  void start() override {
    EXPECT_EQ(
        rm720_cmptrig_config(CARD, BIT[axis[0]], ARM, 0, INTERVAL, 0, OUTPUT, 0, 70, nullptr, 0),
        SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_const_move(CARD, BIT[axis[0]], SPEED, 1050), SUCCESS_NO_ERROR);
  }
  void expect_result() override {
    EXPECT_EQ(probe_compare_pulses(CARD, axis[0]), 15u);
    EXPECT_EQ(counter(axis[0]), (69 + 1050) % 70);
  }
};

// The target's S-curve move (400 pulses at 1,000 PPS) starts at the source's
// drive end, where the release action would start its held move.
class SMoveAction : public InterruptAction {
 public:
  void prepare() override {
    const int32_t record[5] = {1000, 1000, 100000000, 100000000, 400};
    ASSERT_EQ(rm720_set_int_action(CARD, BIT[axis[0]], DRIVE_END_FACTOR, BIT[axis[1]], 2, record),
              SUCCESS_NO_ERROR);
  }
};

// Two axes' starts held, released together part way.
class HeldStart : public Feature {
 public:
  int axes_needed() const override { return 2; }
  void start() override {
    ASSERT_EQ(rm720_drv_hold(CARD, mask_of(axis)), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_t_move(CARD, BIT[axis[0]], SPEED, SPEED, ACC, ACC, 300, 0), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_t_move(CARD, BIT[axis[1]], SPEED, SPEED, ACC, ACC, 500, 0), SUCCESS_NO_ERROR);
  }
  void observe() override {
    if (++steps_ == HELD_RELEASE_AT) {
      EXPECT_EQ(rm720_drv_start(CARD, mask_of(axis)), SUCCESS_NO_ERROR);
    }
    const bool first = probe_axis_busy(axis[0]), second = probe_axis_busy(axis[1]);
    if (started_ < 0 && (first || second)) started_ = first && second ? steps_ : -2;
  }
  bool settled() override { return steps_ >= HELD_RELEASE_AT; }
  void expect_result() override {
    EXPECT_EQ(started_, HELD_RELEASE_AT) << "both start together at the release";
    EXPECT_EQ(counter(axis[0]), 300);
    EXPECT_EQ(counter(axis[1]), 500);
  }
  void disarm() override { EXPECT_EQ(rm720_drv_start(CARD, mask_of(axis)), SUCCESS_NO_ERROR); }

 private:
  int steps_ = 0;
  int started_ = -1;
};

// A speed change gives the second run the speed it gave the fresh card.
void expect_same_speed_change(const Feature &fresh_run, const Feature &again) {
  const auto *fresh_change = dynamic_cast<const SpeedChangeAction *>(&fresh_run);
  if (fresh_change == nullptr) return;
  EXPECT_EQ(dynamic_cast<const SpeedChangeAction &>(again).speed_after_change(),
            fresh_change->speed_after_change())
      << "the same speed as on the fresh card";
}

enum LifecycleKind {
  L_INTERVAL_TRIGGER,
  L_TABLE_TRIGGER,
  L_SYNCH_PARTNER_START,
  L_SYNCH_ON_DRIVE_START,
  L_SPEED_CHANGE,
  L_RELEASE_ACTION,
  L_S_MOVE_ACTION,
  L_HELD_START,
  L_WAITED_LINE,
  L_DRIVE_END_EVENT,
  L_KINDS
};
const char *const kLifecycleNames[L_KINDS] = {
    "IntervalTrigger", "TableTrigger", "SynchPartnerStart", "SynchOnDriveStart", "SpeedChange",
    "ReleaseAction",   "SMoveAction",  "HeldStart",         "WaitedLine",        "DriveEndEvent"};

// The second run of a trigger takes another pitch or table than the first.
std::unique_ptr<Feature> make(LifecycleKind kind, bool second_run = false) {
  if (second_run && kind == L_INTERVAL_TRIGGER) return std::make_unique<IntervalTriggerOf70>();
  if (second_run && kind == L_TABLE_TRIGGER)
    return std::make_unique<TableTrigger>(std::vector<int32_t>{60, 140, 260, 380, 470});
  switch (kind) {
    case L_INTERVAL_TRIGGER: return make_feature(INTERVAL_TRIGGER);
    case L_TABLE_TRIGGER: return make_feature(TABLE_TRIGGER);
    case L_SYNCH_PARTNER_START: return make_feature(SYNCH_ON_COMPARATOR);
    case L_SYNCH_ON_DRIVE_START: return make_feature(SYNCH_ON_DRIVE_START);
    case L_SPEED_CHANGE: return std::make_unique<SpeedChangeAction>();
    case L_RELEASE_ACTION: return make_feature(INTERRUPT_ACTION);
    case L_S_MOVE_ACTION: return std::make_unique<SMoveAction>();
    case L_HELD_START: return std::make_unique<HeldStart>();
    case L_WAITED_LINE: return std::make_unique<WaitedLine>(4 * SPEED, 600, 300);
    default: return make_feature(PLAIN_MOVE);
  }
}

enum Ending { OWN_END, SUDDEN_STOP, DECELERATING_STOP_ALL, CARD_RESET, ENDINGS };
const char *const kEndingNames[ENDINGS] = {"OwnEnd", "SuddenStop", "StopAll", "CardReset"};

class FeatureLifecycle : public FeatureBench,
                         public testing::WithParamInterface<std::tuple<LifecycleKind, Ending>> {
 protected:
  // A new run of the feature, on the given axes (none: as the bench hands out).
  Feature &fresh(LifecycleKind kind, const std::vector<int> &axes) {
    features_.clear();
    features_.push_back(make(kind, !axes.empty()));
    if (axes.empty()) {
      assign_axes();
    } else {
      features_[0]->axis = axes;
    }
    return *features_[0];
  }

  void end_part_way(Ending ending) {
    Feature &feature = *features_[0];
    switch (ending) {
      case OWN_END: feature.disarm(); break;
      case SUDDEN_STOP:
        for (int axis : feature.axis)
          EXPECT_EQ(rm720_stop_move(CARD, BIT[axis], SUDDEN), SUCCESS_NO_ERROR);
        break;
      case DECELERATING_STOP_ALL:
        EXPECT_EQ(rm720_stop_move_all(CARD, mask_of(feature.axis), DECELERATING), SUCCESS_NO_ERROR);
        break;
      default: EXPECT_EQ(rm720_reset(CARD), SUCCESS_NO_ERROR); break;
    }
  }

  // What the run left on the axes' counters goes, as a program that runs the
  // feature again from the start does.
  void zero_counters(const std::vector<int> &axes) {
    for (int axis : axes) EXPECT_EQ(rm720_set_cmdcounter(CARD, BIT[axis], 0), SUCCESS_NO_ERROR);
  }

  // Every axis takes a waited line as master: none is left held, pending or
  // in the compare table's interrupt mode, and no interrupt stays enabled.
  void expect_waits_accepted() {
    for (int master = 0; master < 4; ++master) {
      SCOPED_TRACE(master);
      features_.clear();
      features_.push_back(std::make_unique<WaitedLine>(4 * SPEED, 600, 300));
      features_[0]->axis = {master, master ^ 1};
      features_[0]->start();
      run_to_rest();
      features_[0]->expect_result();
    }
    for (int axis = 0; axis < 4; ++axis)
      EXPECT_EQ(probe_axis(CARD, axis).mode1 & 0xFF00, 0) << "no factor stays enabled on " << axis;
  }
};

TEST_P(FeatureLifecycle, SecondRunAsOnAFreshCard) {
  const auto [kind, ending] = GetParam();
  fresh(kind, {});
  const std::vector<int> axes = features_[0]->axis;
  features_[0]->prepare();
  features_[0]->start();
  step(PART_WAY_STEPS);
  end_part_way(ending);
  std::vector<int32_t> at_end;
  for (int axis : axes) at_end.push_back(counter(axis));
  run_to_rest();
  if (ending == SUDDEN_STOP || ending == CARD_RESET) {
    for (size_t i = 0; i < axes.size(); ++i)
      EXPECT_EQ(counter(axes[i]), at_end[i]) << "nothing moves after the end";
  }
  zero_counters(axes);
  const std::unique_ptr<Feature> first = std::move(features_[0]);

  Feature &second = fresh(kind, axes);
  second.prepare();
  second.start();
  run_to_rest();
  second.expect_result();
  expect_same_speed_change(*first, second);
  second.disarm();
  expect_nothing_left_behind();
  // The S-move action's target is left marked held: its own case below.
  if (kind != L_S_MOVE_ACTION) expect_waits_accepted();
}

INSTANTIATE_TEST_SUITE_P(AllWays, FeatureLifecycle,
                         testing::Combine(testing::Range(L_INTERVAL_TRIGGER, L_KINDS),
                                          testing::Range(OWN_END, ENDINGS)),
                         [](const testing::TestParamInfo<FeatureLifecycle::ParamType> &info) {
                           return std::string(kLifecycleNames[std::get<0>(info.param)]) +
                                  kEndingNames[std::get<1>(info.param)];
                         });

// A stop ends the wait it arms: afterwards no drive-end interrupt stays
// enabled on the stopped axis.
struct StopCase {
  const char *name;
  bool all;
  uint16_t mode;
};
const StopCase kStops[] = {
    {"Sudden", false, SUDDEN},
    {"Decelerating", false, DECELERATING},
    {"AllSudden", true, SUDDEN},
    {"AllDecelerating", true, DECELERATING},
};

void PrintTo(const StopCase &stop, std::ostream *out) { *out << stop.name; }

class StopsEndTheirWait : public FeatureBench, public testing::WithParamInterface<StopCase> {};

TEST_P(StopsEndTheirWait, NoDriveEndInterruptLeftOn) {
  const StopCase &stop = GetParam();
  void *events[4] = {};
  ASSERT_EQ(rm720_int_event_config(CARD, 1, events), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_t_move(CARD, AXIS_X, SPEED, SPEED, ACC, ACC, 1000, 0), SUCCESS_NO_ERROR);
  step(PART_WAY_STEPS);
  EXPECT_EQ(stop.all ? rm720_stop_move_all(CARD, AXIS_X, stop.mode)
                     : rm720_stop_move(CARD, AXIS_X, stop.mode),
            SUCCESS_NO_ERROR);
  run_to_rest();
  EXPECT_EQ(probe_axis(CARD, 0).mode1 & DRIVE_END_ENABLE, 0);
  WaitForSingleObject(events[0], 0);  // what the stop itself signalled
  ASSERT_EQ(rm720_t_move(CARD, AXIS_X, SPEED, SPEED, ACC, ACC, 100, 0), SUCCESS_NO_ERROR);
  run_to_rest();
  EXPECT_NE(WaitForSingleObject(events[0], 0), WAIT_OBJECT_0) << "no factor was enabled";
  EXPECT_EQ(rm720_int_event_config(CARD, 0, events), SUCCESS_NO_ERROR);
}

const auto kStopName = [](const testing::TestParamInfo<StopCase> &info) {
  return std::string(info.param.name);
};
INSTANTIATE_TEST_SUITE_P(StopMove, StopsEndTheirWait, testing::ValuesIn(kStops), kStopName);

// A compare trigger and a synchronous action on other axes, cut off by a
// card reset part way and run again together, by the same calls: a speed
// change takes the chip's data word, which the table's interrupt rewrites,
// so only the same table gives the same speed.
class TriggerAndSynchAcrossReset
    : public FeatureBench,
      public testing::WithParamInterface<std::tuple<LifecycleKind, LifecycleKind>> {
 protected:
  void start_pair(const std::vector<std::vector<int>> &axes) {
    const auto [trigger, synch] = GetParam();
    features_.clear();
    features_.push_back(make(trigger));
    features_.push_back(make(synch));
    if (axes.empty()) {
      assign_axes();
    } else {
      for (size_t i = 0; i < axes.size(); ++i) features_[i]->axis = axes[i];
    }
    for (auto &feature : features_) feature->prepare();
    for (size_t i : {1, 0}) features_[i]->start();  // a table starts last
  }
};

TEST_P(TriggerAndSynchAcrossReset, BothRunAgainAsOnAFreshCard) {
  start_pair({});
  const std::vector<std::vector<int>> axes = {features_[0]->axis, features_[1]->axis};
  step(PART_WAY_STEPS);
  EXPECT_EQ(rm720_reset(CARD), SUCCESS_NO_ERROR);
  run_to_rest();
  const std::vector<std::unique_ptr<Feature>> first = std::move(features_);

  start_pair(axes);
  run_to_rest();
  for (auto &feature : features_) feature->expect_result();
  expect_same_speed_change(*first[1], *features_[1]);
  for (auto &feature : features_) feature->disarm();
  expect_nothing_left_behind();
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, TriggerAndSynchAcrossReset,
    testing::Combine(testing::Values(L_INTERVAL_TRIGGER, L_TABLE_TRIGGER),
                     testing::Values(L_SYNCH_PARTNER_START, L_SPEED_CHANGE)),
    [](const testing::TestParamInfo<TriggerAndSynchAcrossReset::ParamType> &info) {
      return std::string(kLifecycleNames[std::get<0>(info.param)]) +
             kLifecycleNames[std::get<1>(info.param)];
    });

}  // namespace

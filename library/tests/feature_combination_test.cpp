// Every pair of the card's running features on different axes of one card,
// run together end to end on the manual clock: each asserts its own exact
// result (trigger pulses and their positions, where each axis ended, the
// speeds of each step). Each pair runs a second time, stopped half-way and
// disarmed: afterwards a plain T-move runs exactly on every axis and every
// software limit is settable, so no feature left anything behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "running_features.h"

namespace {

using namespace running_features;

struct Pair {
  Kind first, second;
  bool stopped_midway;
};

std::vector<Pair> all_pairs() {
  std::vector<Pair> pairs;
  for (bool midway : {false, true})
    for (int a = 0; a < KINDS; ++a)
      for (int b = a + 1; b < KINDS; ++b)
        pairs.push_back({static_cast<Kind>(a), static_cast<Kind>(b), midway});
  return pairs;
}

std::string pair_name(const testing::TestParamInfo<Pair> &info) {
  return std::string(kKindNames[info.param.first]) + "With" + kKindNames[info.param.second] +
         (info.param.stopped_midway ? "StoppedMidway" : "");
}

class FeaturePair : public FeatureBench, public testing::WithParamInterface<Pair> {
 protected:
  void SetUp() override {
    for (Kind kind : {GetParam().first, GetParam().second}) {
      features_.push_back(make_feature(kind));
      features_.back()->name = kKindNames[kind];
    }
    assign_axes();
    // The table is armed last: while it runs no factor may change.
    std::stable_sort(features_.begin(), features_.end(),
                     [](const auto &a, const auto &b) { return !a->starts_last() && b->starts_last(); });
  }
};

TEST_P(FeaturePair, EachKeepsToItsOwnAxesAndEndsClean) {
  for (auto &feature : features_) ASSERT_NO_FATAL_FAILURE(feature->prepare());
  for (auto &feature : features_) ASSERT_NO_FATAL_FAILURE(feature->start());
  if (!GetParam().stopped_midway) {
    run_to_rest();
    for (auto &feature : features_) {
      SCOPED_TRACE(feature->name);
      feature->expect_result();
      feature->disarm();
    }
  } else {
    step(MIDWAY_STEPS);
    ASSERT_EQ(rm720_stop_move_all(CARD, ALL, SUDDEN), SUCCESS_NO_ERROR);
    for (auto &feature : features_) feature->disarm();
    run_to_rest();
  }
  for (auto &feature : features_) {
    if (!feature->triggers()) continue;
    const uint32_t pulses = probe_compare_pulses(CARD, feature->axis[0]);
    step(10);
    EXPECT_EQ(probe_compare_pulses(CARD, feature->axis[0]), pulses) << "disarmed";
  }
  expect_nothing_left_behind();
}

INSTANTIATE_TEST_SUITE_P(AllPairs, FeaturePair, testing::ValuesIn(all_pairs()), pair_name);

}  // namespace

// End to end on a manual clock through the model-A library: the table-driven
// continuous interpolation (rm720_conti_interp_start with arrays of segment
// records; config, absolute three-axis loads and start_all), the driver's
// segment table and its feed and end in the DPC: checks and their order,
// refusals that change nothing, paths that run to exactly the sum of their
// segments without a stop, the deceleration threshold, the queue limit, the
// end of a run and runs broken off.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "conti_probe.h"
#include "manual_clock_card.h"
#include "move_probe.h"

namespace {

constexpr uint8_t CARD = 0;
constexpr uint64_t MS = 1000000;
constexpr int16_t ABNORMAL = DRIVE_FINISH_WITH_SW_LIMIT_POSITIVE |
                             DRIVE_FINISH_WITH_SW_LIMIT_NEGATIVE |
                             DRIVE_FINISH_WITH_STOP_COMMAND | DRIVE_FINISH_CONTI_BROKEN |
                             DRIVE_FINISH_WITH_LIMIT_POSITIVE | DRIVE_FINISH_WITH_LIMIT_NEGATIVE |
                             DRIVE_FINISH_WITH_ALARM | (int16_t)DRIVE_FINISH_WITH_EMG;

// The 28-byte segment record of rm720_conti_interp_start.
struct Rec {
  uint8_t type;
  uint8_t pad1[3];
  int32_t x, y, z;
  uint8_t dir;
  uint8_t pad2[3];
  int32_t cx, cy;
};
static_assert(sizeof(Rec) == 28, "segment record is 28 bytes");

Rec L(uint8_t type, int32_t x, int32_t y, int32_t z = 0) { return Rec{type, {}, x, y, z, 0, {}, 0, 0}; }
Rec A(uint8_t type, uint8_t dir, int32_t x, int32_t y, int32_t cx, int32_t cy) {
  return Rec{type, {}, x, y, 0, dir, {}, cx, cy};
}

using Quad = std::array<int64_t, 4>;
Quad counters() { return {probe_command_counter(0), probe_command_counter(1), probe_command_counter(2), probe_command_counter(3)}; }
Quad ranges() { return {probe_driver_range(0), probe_driver_range(1), probe_driver_range(2), probe_driver_range(3)}; }
std::string str(const Quad &q) {
  return "{" + std::to_string(q[0]) + ", " + std::to_string(q[1]) + ", " + std::to_string(q[2]) + ", " + std::to_string(q[3]) + "}";
}
int idx(uint16_t bit) { return bit == AXIS_X ? 0 : bit == AXIS_Y ? 1 : bit == AXIS_Z ? 2 : 3; }

// What a run looked like, sampled after each clock step until the master stood.
struct Trace {
  bool ended = false;       // the master stood within the limit
  Quad at_end{};            // command counters at the first idle sample
  double min_speed = 1e12;  // lowest master step rate seen while it drove
  bool segment_index_ok = true;  // running_segment = the driver's next index (low byte), never falling
  std::vector<std::pair<int64_t, double>> speed;  // (master counter, step rate) while driving
};
Trace follow(int master, uint64_t step_ns, uint64_t limit_ns, bool watch_segment = false) {
  Trace t;
  unsigned last = 0;
  for (uint64_t waited = 0; waited <= limit_ns; waited += step_ns) {
    probe_advance_ns(step_ns);
    if (!probe_axis_busy(master)) {
      t.ended = true;
      t.at_end = counters();
      return t;
    }
    double v = probe_final_speed(master);
    t.min_speed = std::min(t.min_speed, v);
    t.speed.emplace_back(probe_command_counter(master), v);
    if (watch_segment) {
      uint8_t index = 0xEE;
      unsigned next = probe_next_segment();
      if (rm720_conti_interp_running_segment(CARD, &index) != SUCCESS_NO_ERROR || index != (next & 0xFF) || next < last)
        t.segment_index_ok = false;
      last = next;
    }
  }
  return t;
}
// Steps the clock in 1 ms steps (a segment is fed within its predecessor's time).
void advance(uint64_t ns) {
  for (uint64_t t = 0; t < ns; t += MS) probe_advance_ns(MS);
}
// Steps the clock further and tells whether anything moved meanwhile.
bool still_after(uint64_t ns) {
  Quad before = counters();
  for (uint64_t t = 0; t < ns; t += 10 * MS) probe_advance_ns(10 * MS);
  return counters() == before && !probe_axis_busy(0) && !probe_axis_busy(1) && !probe_axis_busy(2) && !probe_axis_busy(3);
}
int16_t done_state(uint16_t axis, uint8_t *done) {
  int16_t state = 0x7FFF;
  *done = 0xEE;
  EXPECT_EQ(rm720_motion_done(CARD, axis, done, &state), SUCCESS_NO_ERROR);
  return state;
}
// Sum of the records' moves per axis (relative), or the last end point (absolute).
Quad path_end(const std::vector<Rec> &recs, uint16_t a1, uint16_t a2, uint16_t a3) {
  Quad q{};
  for (const Rec &r : recs) {
    bool abs = r.type >= 16;
    int64_t v[3] = {r.x, r.y, r.z};
    uint16_t ax[3] = {a1, a2, a3};
    for (int k = 0; k < 3; ++k) {
      if (ax[k] == 0 || ax[k] == 255 || (k == 2 && (r.type & 15) != 2)) continue;
      q[idx(ax[k])] = abs ? v[k] : q[idx(ax[k])] + v[k];
    }
  }
  return q;
}
// The deceleration point of rm720_conti_interp_config from the caller's figures:
// (single)(DV^2 - SV^2) / (single)(2 x DEC), truncated, less the percentage.
uint32_t caller_dp(uint32_t sv, uint32_t dv, uint32_t dec, unsigned pct) {
  if (sv == dv) return 0;
  float num = (float)((double)dv * dv - (double)sv * sv);
  float den = (float)(uint32_t)(2u * dec);
  uint32_t dp = (uint32_t)(num / den);
  return dp * (100 - pct) / 100;
}

const std::string CARD_A = card_section(0, "A", 0);

// ---- rm720_conti_interp_start: the order of its checks, and refusals change nothing
struct Refusal {
  const char *name;
  uint8_t card;
  uint16_t a1, a2, a3;
  uint32_t speed;
  std::vector<Rec> recs;
  int16_t expected;
};
class StartRefusal : public ::testing::TestWithParam<Refusal> {};
TEST_P(StartRefusal, RefusedInOrderAndNothingChanges) {
  const Refusal &c = GetParam();
  OpenCard card(CARD_A);
  Quad c0 = counters(), r0 = ranges();
  int16_t rc = rm720_conti_interp_start(c.card, c.a1, c.a2, c.a3, c.speed, c.recs.data(), (uint8_t)c.recs.size());
  EXPECT_EQ(rc, c.expected) << c.name << ": got " << rc << ", expected " << c.expected;
  EXPECT_TRUE(still_after(100 * MS)) << c.name << ": an axis moved after the refusal";
  EXPECT_EQ(counters(), c0) << c.name << ": counters " << str(counters()) << ", expected " << str(c0);
  EXPECT_EQ(ranges(), r0) << c.name << ": driver ranges " << str(ranges()) << ", expected " << str(r0);
  EXPECT_EQ(probe_segment_count(), 0u) << c.name << ": segments left in the table";
  // Nothing was left open: a new interpolation on the same axes opens and closes.
  int16_t b = rm720_conti_interp_begin(CARD, AXIS_X, AXIS_Y, AXIS_Z, 50000);
  EXPECT_EQ(b, SUCCESS_NO_ERROR) << c.name << ": begin after the refusal got " << b;
  EXPECT_EQ(rm720_conti_interp_end(CARD), SUCCESS_NO_ERROR);
  EXPECT_EQ(ranges(), r0) << c.name << ": driver ranges after begin/end " << str(ranges());
}
const Rec l2 = L(0, 1000, 500), l3 = L(2, 1000, 500, 200), a16 = L(16, 1000, 500), a18 = L(18, 1000, 500, 200);
const Rec arc_ok = A(1, 0x33, 2000, 2000, 0, 2000), arc_bad = A(1, 0x34, 2000, 2000, 0, 2000), arc_zero = A(17, 0, 3000, 0, 2000, 0);
INSTANTIATE_TEST_SUITE_P(
    Table, StartRefusal,
    ::testing::Values(
        Refusal{"card16_before_kinds", 16, AXIS_X, AXIS_Y, 0, 50000, {l2, a16}, ERROR_INVALID_CARD_ID},
        Refusal{"no_axis_before_kinds", CARD, 0, AXIS_Y, 0, 50000, {l2, a16}, ERROR_NO_VALID_AXIS_ASSIGNED},
        Refusal{"two_bits_before_kinds", CARD, AXIS_X | AXIS_U, AXIS_Y, 0, 50000, {l2, a16}, ERROR_MULTI_AXES_ASSIGNED},
        Refusal{"mixed_rel_then_abs", CARD, AXIS_X, AXIS_Y, 0, 50000, {l2, l2, a16}, ERROR_CONTI_SEGMENT_KIND_MIXED},
        Refusal{"mixed_abs_then_rel", CARD, AXIS_X, AXIS_Y, AXIS_Z, 50000, {a18, l3}, ERROR_CONTI_SEGMENT_KIND_MIXED},
        Refusal{"mixed_before_arc_dir", CARD, AXIS_X, AXIS_Y, 0, 50000, {arc_bad, a16}, ERROR_CONTI_SEGMENT_KIND_MIXED},
        Refusal{"mixed_before_axes", CARD, AXIS_X, AXIS_Y, 0, 50000, {l3, a16}, ERROR_CONTI_SEGMENT_KIND_MIXED},
        Refusal{"arc_dir_0x34", CARD, AXIS_X, AXIS_Y, 0, 50000, {l2, arc_ok, arc_bad}, ERROR_INVALID_INTERPOLATION_ARC_DIRECTION},
        Refusal{"abs_arc_dir_0", CARD, AXIS_X, AXIS_Y, 255, 50000, {a16, arc_zero}, ERROR_INVALID_INTERPOLATION_ARC_DIRECTION},
        Refusal{"arc_dir_before_axes", CARD, AXIS_X, AXIS_Y, 0, 50000, {l3, arc_bad}, ERROR_INVALID_INTERPOLATION_ARC_DIRECTION},
        Refusal{"line3_on_two_axes", CARD, AXIS_X, AXIS_Y, 0, 50000, {l2, l3}, ERROR_CONTI_SEGMENT_AXES},
        Refusal{"abs_line3_on_axis3_255", CARD, AXIS_X, AXIS_Y, 255, 50000, {a16, a18}, ERROR_CONTI_SEGMENT_AXES},
        Refusal{"line2_on_three_axes", CARD, AXIS_X, AXIS_Y, AXIS_Z, 50000, {l3, l2}, ERROR_CONTI_SEGMENT_AXES},
        Refusal{"arc_on_three_axes", CARD, AXIS_X, AXIS_Y, AXIS_Z, 50000, {l3, arc_ok}, ERROR_CONTI_SEGMENT_AXES},
        Refusal{"axes_before_speed", CARD, AXIS_X, AXIS_Y, AXIS_Z, 2000001, {l2}, ERROR_CONTI_SEGMENT_AXES},
        Refusal{"speed_2000001", CARD, AXIS_X, AXIS_Y, 0, 2000001, {l2, l2}, ERROR_INVALID_DRIVING_SPEED},
        Refusal{"partners_duplicated", CARD, AXIS_X, AXIS_Y, AXIS_Y, 50000, {l3, l3}, ERROR_INTERPOLATION_SLAVE_AXES_DUPLICATED},
        Refusal{"master_is_partner", CARD, AXIS_X, AXIS_X, 0, 50000, {l2, l2}, ERROR_INVALID_INTERPOLATION_SLAVE_AXES}),
    [](const auto &info) { return std::string(info.param.name); });

// The records are judged before the axes' state: a table that can never run
// says why even while an axis of the run drives; a good one then finds it busy.
TEST(ContiTable, RecordsAreJudgedBeforeTheAxesState) {
  OpenCard card(CARD_A);
  ASSERT_EQ(rm720_const_move(CARD, AXIS_Y, 1000, 100000), SUCCESS_NO_ERROR);
  advance(5 * MS);
  const struct {
    const char *name;
    std::vector<Rec> recs;
    int16_t expected;
  } cases[] = {
      {"mixed", {l2, a16}, ERROR_CONTI_SEGMENT_KIND_MIXED},
      {"arc_dir", {l2, arc_bad}, ERROR_INVALID_INTERPOLATION_ARC_DIRECTION},
      {"line3_on_two_axes", {l2, l3}, ERROR_CONTI_SEGMENT_AXES},
      {"good_table", {l2, l2}, ERROR_MOTION_NOT_COMPLETE},
  };
  for (const auto &c : cases) {
    const Quad before = counters();
    EXPECT_EQ(rm720_conti_interp_start(CARD, AXIS_X, AXIS_Y, 0, 50000, c.recs.data(),
                                       (uint8_t)c.recs.size()),
              c.expected)
        << c.name;
    EXPECT_EQ(probe_segment_count(), 0u) << c.name;
    EXPECT_FALSE(probe_axis_busy(0)) << c.name << ": the master started";
    EXPECT_EQ(counters()[0], before[0]) << c.name;
  }
  EXPECT_EQ(rm720_stop_move(CARD, AXIS_Y, 0x27), SUCCESS_NO_ERROR);
}

// ---- rm720_conti_interp_start: a path runs to the sum of its segments, without a stop
struct Path {
  const char *name;
  uint16_t a1, a2, a3;
  std::vector<Rec> recs;
};
class StartRun : public ::testing::TestWithParam<Path> {};
TEST_P(StartRun, RunsToTheSumWithoutStopAndEndsNormally) {
  const Path &c = GetParam();
  OpenCard card(CARD_A);
  const uint32_t V = 100000;
  bool three = c.a3 != 0 && c.a3 != 255;
  Quad r0 = ranges(), expected = path_end(c.recs, c.a1, c.a2, c.a3);
  ASSERT_EQ(rm720_conti_interp_start(CARD, c.a1, c.a2, c.a3, V, c.recs.data(), (uint8_t)c.recs.size()), SUCCESS_NO_ERROR) << c.name;
  EXPECT_EQ(probe_segment_count(), c.recs.size() - 1) << c.name << ": table holds all records but the first";
  probe_advance_ns(2 * MS);
  // Partner ranges compensated while the path runs.
  uint32_t rm = probe_driver_range(idx(c.a1));
  EXPECT_EQ(probe_driver_range(idx(c.a2)), (uint32_t)(rm * 1.414213)) << c.name << ": axis2 range while running";
  if (three) {
    EXPECT_EQ(probe_driver_range(idx(c.a3)), (uint32_t)(rm * 1.73205)) << c.name << ": axis3 range while running";
  }
  Trace t = follow(idx(c.a1), MS, 10000 * MS, true);
  ASSERT_TRUE(t.ended) << c.name << ": the master never stood";
  EXPECT_EQ(t.at_end, expected) << c.name << ": counters when the master first stood " << str(t.at_end) << ", expected " << str(expected);
  double floor = 0.99 * V / (three ? std::sqrt(3.0) : std::sqrt(2.0));
  EXPECT_GE(t.min_speed, floor) << c.name << ": master step rate fell to " << t.min_speed << " during the path, expected >= " << floor;
  EXPECT_TRUE(t.segment_index_ok) << c.name << ": running_segment disagreed with the driver's next index or went back";
  uint8_t done = 0;
  int16_t state = done_state(c.a1, &done);
  EXPECT_EQ(done, 1) << c.name << ": motion_done got " << (int)done << ", expected 1";
  EXPECT_EQ(state & ABNORMAL, 0) << c.name << ": stop state 0x" << std::hex << state << " is not a normal end";
  EXPECT_TRUE(still_after(200 * MS)) << c.name << ": something moved after the end";
  EXPECT_EQ(ranges(), r0) << c.name << ": driver ranges after the run " << str(ranges()) << ", expected " << str(r0);
  uint8_t index = 0xEE;
  EXPECT_EQ(rm720_conti_interp_running_segment(CARD, &index), SUCCESS_NO_ERROR);
  EXPECT_EQ(index, 0) << c.name << ": running segment after the run";
  EXPECT_EQ(probe_segment_count(), 0u) << c.name << ": table after the run";
  // A new interpolation opens right after the run (begin, then config).
  int16_t b = rm720_conti_interp_begin(CARD, c.a1, c.a2, c.a3, V);
  EXPECT_EQ(b, SUCCESS_NO_ERROR) << c.name << ": begin after the run got " << b;
  EXPECT_EQ(rm720_conti_interp_end(CARD), SUCCESS_NO_ERROR);
  int16_t g = rm720_conti_interp_config(CARD, c.a1, c.a2, c.a3, 5000, V, 500000, 500000, 0);
  EXPECT_EQ(g, SUCCESS_NO_ERROR) << c.name << ": config after the run got " << g;
  EXPECT_EQ(rm720_conti_interp_end(CARD), SUCCESS_NO_ERROR);
  EXPECT_EQ(ranges(), r0) << c.name << ": driver ranges after begin/config/end " << str(ranges());
}
INSTANTIATE_TEST_SUITE_P(
    Table, StartRun,
    ::testing::Values(
        Path{"rel_line2", AXIS_X, AXIS_Y, 0, {L(0, 4000, 1000), L(0, 3000, -2500), L(0, -2000, 4000), L(0, 5000, 0)}},
        Path{"rel_line2_arcs", AXIS_X, AXIS_Y, 255,
             {L(0, 3000, 0), A(1, 0x33, 2000, 2000, 0, 2000), A(1, 0x32, 3000, 0, 1500, 0), L(0, 0, -2500), L(0, 2500, 2500)}},
        Path{"rel_line3", AXIS_X, AXIS_Y, AXIS_Z,
             {L(2, 3000, 1000, 500), L(2, 2000, -2000, 1500), L(2, -1000, 3000, -3000), L(2, 4000, 0, 0), L(2, 1500, 1500, 1500)}},
        Path{"rel_line3_xuz", AXIS_X, AXIS_U, AXIS_Z, {L(2, 3000, 1000, 500), L(2, 2000, -2000, 1500), L(2, 4000, 1000, -3000)}},
        Path{"abs_line2", AXIS_X, AXIS_Y, 0, {L(16, 4000, 1000), L(16, 7000, -1500), L(16, 5000, 2500), L(16, 10000, 2500)}},
        Path{"abs_line2_arc", AXIS_X, AXIS_Y, 0, {L(16, 4000, 0), A(17, 0x33, 6000, 2000, 4000, 2000), L(16, 6000, 5000)}},
        Path{"abs_line3", AXIS_X, AXIS_Y, AXIS_Z, {L(18, 3000, 1000, 500), L(18, 5000, -1000, 2000), L(18, 9000, 0, 2000)}}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- rm720_conti_interp_config: the deceleration threshold, 0 when SV = DV, else
// (DV^2 - SV^2) / (2 x DEC) less the percentage, of the speeds and the deceleration the
// chip runs (docs/card-model.md).
struct Threshold { uint32_t sv, dv, acc, dec; uint8_t pct; int16_t rc; uint32_t expected; };
void check_thresholds(const std::vector<Threshold> &cases) {
  Quad r0 = ranges();
  uint32_t previous = probe_end_threshold();
  for (const Threshold &c : cases) {
    int16_t rc = rm720_conti_interp_config(CARD, AXIS_X, AXIS_Y, AXIS_Z, c.sv, c.dv, c.acc, c.dec, c.pct);
    std::string what = "SV " + std::to_string(c.sv) + " DV " + std::to_string(c.dv) + " ACC " + std::to_string(c.acc) +
                       " DEC " + std::to_string(c.dec) + " pct " + std::to_string(c.pct);
    EXPECT_EQ(rc, c.rc) << what << ": got " << rc << ", expected " << c.rc;
    uint32_t expected = c.rc == 0 ? c.expected : previous;  // a refused config sends nothing
    EXPECT_EQ(probe_end_threshold(), expected) << what << ": threshold " << probe_end_threshold() << ", expected " << expected;
    EXPECT_EQ(probe_segment_count(), 0u) << what;
    previous = probe_end_threshold();
    if (rc == 0) {
      EXPECT_EQ(rm720_conti_interp_end(CARD), SUCCESS_NO_ERROR) << what;
    }
    EXPECT_EQ(ranges(), r0) << what << ": driver ranges " << str(ranges()) << ", expected " << str(r0);
  }
}
TEST(ContiTable, ConfigThreshold) {
  OpenCard card(CARD_A);
  check_thresholds({
      {50000, 50000, 500000, 500000, 0, 0, 0},
      {5000, 100000, 500000, 500000, 0, 0, 9975},
      {5000, 100000, 500000, 500000, 50, 0, 4987},
      {5000, 100000, 500000, 500000, 33, 0, 6683},
      {5000, 100000, 500000, 500000, 100, 0, 0},
      {5000, 100000, 1000000, 500000, 0, 0, 9975},  // the deceleration, not the acceleration
      {5000, 100000, 500000, 500000, 101, ERROR_CONTI_INTERP_SET, 0},
  });
}
// Where the caller's DV and DEC (in single precision) differ from what the chip runs, the
// threshold is planned from the chip's speed and deceleration words, rounded up: a threshold
// too short would end the path at speed.
TEST(ContiTable, ConfigThresholdFormulaPrecision) {
  OpenCard card(CARD_A);
  check_thresholds({
      {5000, 100000, 300000, 300000, 0, 0, 19950},    // DEC 300,000 runs as 250,000 (16,625 from the caller's)
      {2000, 545500, 9125000, 9125000, 0, 0, 16305},  // 16,304 in single precision
      {2000, 545500, 9125000, 9125000, 50, 0, 8152},
      {1000, 1999999, 3000000, 3000000, 0, 0, 666334},  // DV 1,999,999 runs as 1,999,500
      {1000, 2000000, 3000000, 3000000, 0, 0, 666667},  // 666,666.5 rounded up
  });
}

// ---- config + absolute three-axis loads + start_all: a T-curve path ends at its start speed
constexpr uint32_t SV = 5000, DV = 100000, RATE = 500000;
struct TPath {
  const char *name;
  std::vector<int32_t> lengths;  // X length of each segment; Y and Z zigzag a little
};
std::array<int32_t, 3> load_path(const std::vector<int32_t> &lengths) {
  std::array<int32_t, 3> p{0, 0, 0};
  for (size_t k = 0; k < lengths.size(); ++k) {
    p[0] += lengths[k];
    p[1] = (k % 2) ? 0 : lengths[k] / 10;
    p[2] += lengths[k] / 20;
    int16_t rc = rm720_conti_abs_line3_move_load(CARD, p[0], p[1], p[2]);
    EXPECT_EQ(rc, SUCCESS_NO_ERROR) << "load " << k << " got " << rc;
  }
  return p;
}
class TCurveRun : public ::testing::TestWithParam<TPath> {};
TEST_P(TCurveRun, RunsToTheLastPointAndEndsAtStartSpeed) {
  const TPath &c = GetParam();
  OpenCard card(CARD_A);
  Quad r0 = ranges();
  ASSERT_EQ(rm720_conti_interp_config(CARD, AXIS_X, AXIS_Y, AXIS_Z, SV, DV, RATE, RATE, 0), SUCCESS_NO_ERROR);
  std::array<int32_t, 3> end = load_path(c.lengths);
  EXPECT_EQ(probe_segment_count(), c.lengths.size() - 1) << c.name << ": the first load is kept, the others are in the table";
  ASSERT_EQ(rm720_conti_interp_start_all(CARD), SUCCESS_NO_ERROR) << c.name;
  Trace t = follow(0, MS / 2, 20000 * MS);
  ASSERT_TRUE(t.ended) << c.name << ": the master never stood";
  Quad expected{end[0], end[1], end[2], 0};
  EXPECT_EQ(t.at_end, expected) << c.name << ": counters when the master first stood " << str(t.at_end) << ", expected " << str(expected);
  EXPECT_LE(probe_final_speed(0), SV) << c.name << ": the path ended at " << probe_final_speed(0) << " PPS, expected at most SV " << SV;
  // Deceleration is switched on at a segment hand-over once the rest of the path behind the
  // running segment is no longer than the threshold: the speed may fall to the start
  // speed only within the threshold plus one (the longest) segment of the end.
  int32_t longest = *std::max_element(c.lengths.begin(), c.lengths.end());
  double dp = caller_dp(SV, DV, RATE, 0) * 1.05 + longest * 1.01 + 50;
  for (auto [x, v] : t.speed)
    if (end[0] - x > dp && x > 0 && v <= SV) {
      ADD_FAILURE() << c.name << ": at X " << x << " (" << end[0] - x << " before the end, allowed " << dp
                    << ") the step rate is " << v << ", expected above SV " << SV;
      break;
    }
  uint8_t done = 0;
  int16_t state = done_state(AXIS_X, &done);
  EXPECT_EQ(done, 1) << c.name;
  EXPECT_EQ(state & ABNORMAL, 0) << c.name << ": stop state 0x" << std::hex << state << " is not a normal end";
  EXPECT_TRUE(still_after(200 * MS)) << c.name << ": something moved after the end";
  EXPECT_EQ(ranges(), r0) << c.name << ": driver ranges after the run " << str(ranges());
}
std::vector<int32_t> repeat(std::vector<int32_t> v, int32_t len, int n) { v.insert(v.end(), n, len); return v; }
INSTANTIATE_TEST_SUITE_P(
    Table, TCurveRun,
    ::testing::Values(TPath{"short_segments", repeat({}, 300, 150)},
                      TPath{"long_segments", {25000, 30000, 20000, 25000}},
                      TPath{"mixed_lengths", repeat(repeat(repeat({25000}, 300, 40), 20000, 1), 250, 30)},
                      TPath{"long_then_short_tail", repeat({30000, 30000}, 400, 10)}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ContiTable, QueueHolds2048AfterTheKeptFirst) {
  OpenCard card(CARD_A);
  ASSERT_EQ(rm720_conti_interp_config(CARD, AXIS_X, AXIS_Y, AXIS_Z, 400000, 400000, RATE, RATE, 0), SUCCESS_NO_ERROR);
  int32_t x = 0;
  for (int call = 1; call <= 2049; ++call) {
    x += 200;
    int16_t rc = rm720_conti_abs_line3_move_load(CARD, x, call % 2 * 20, call / 4);
    if (rc != SUCCESS_NO_ERROR) { ADD_FAILURE() << "load call " << call << " got " << rc << ", expected 0"; break; }
  }
  EXPECT_EQ(probe_segment_count(), 2048u) << "table count";
  int16_t rc = rm720_conti_abs_line3_move_load(CARD, x + 200, 0, 0);
  EXPECT_EQ(rc, ERROR_CONTI_QUEUE_FULL) << "load call 2050 got " << rc;
  EXPECT_EQ(probe_segment_count(), 2048u) << "table count after the refusal";
  ASSERT_EQ(rm720_conti_interp_start_all(CARD), SUCCESS_NO_ERROR);
  Trace t = follow(0, MS / 10, 5000 * MS, true);
  ASSERT_TRUE(t.ended);
  Quad expected{x, 2049 % 2 * 20, 2049 / 4, 0};
  EXPECT_EQ(t.at_end, expected) << "counters " << str(t.at_end) << ", expected " << str(expected);
  EXPECT_TRUE(t.segment_index_ok) << "running_segment disagreed with the driver's next index (low byte)";
  uint8_t done = 0;
  EXPECT_EQ(done_state(AXIS_X, &done) & ABNORMAL, 0);
}

TEST(ContiTable, StartAllWithNothingLoaded) {
  OpenCard card(CARD_A);
  // Nothing ever loaded: the card's ContiState is zero from load, no segment to start.
  Quad c0 = counters(), r0 = ranges();
  ASSERT_EQ(rm720_conti_interp_config(CARD, AXIS_X, AXIS_Y, AXIS_Z, SV, DV, RATE, RATE, 0), SUCCESS_NO_ERROR);
  int16_t rc = rm720_conti_interp_start_all(CARD);
  EXPECT_TRUE(still_after(500 * MS)) << "start_all (status " << rc << ") with nothing loaded moved the axes to " << str(counters());
  EXPECT_EQ(counters(), c0) << "counters " << str(counters()) << ", expected " << str(c0);
  rm720_conti_interp_end(CARD);
  EXPECT_EQ(ranges(), r0) << "driver ranges " << str(ranges());
  // After a finished table run: config resets only the loaded count, so start_all starts the
  // kept first segment (relative distances) once more, and nothing of the old table.
  ASSERT_EQ(rm720_conti_interp_config(CARD, AXIS_X, AXIS_Y, AXIS_Z, SV, DV, RATE, RATE, 0), SUCCESS_NO_ERROR);
  load_path({3000, 3000, 3000});
  ASSERT_EQ(rm720_conti_interp_start_all(CARD), SUCCESS_NO_ERROR);
  ASSERT_TRUE(follow(0, MS, 5000 * MS).ended);
  c0 = counters();
  ASSERT_EQ(rm720_conti_interp_config(CARD, AXIS_X, AXIS_Y, AXIS_Z, SV, DV, RATE, RATE, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_segment_count(), 0u) << "config empties the table";
  rc = rm720_conti_interp_start_all(CARD);
  EXPECT_EQ(rc, SUCCESS_NO_ERROR) << "start_all of the kept first segment got " << rc;
  ASSERT_TRUE(follow(0, MS, 5000 * MS).ended);
  EXPECT_TRUE(still_after(200 * MS));
  Quad expected{c0[0] + 3000, c0[1] + 300, c0[2] + 150, 0};
  EXPECT_EQ(counters(), expected) << "counters " << str(counters()) << ", expected " << str(expected);
  rm720_conti_interp_end(CARD);
}

// ---- rm720_conti_interp_end while the axes run, and after they stand
const std::vector<Rec> SIX = {L(0, 5000, 2000), L(0, 5000, 2000), L(0, 5000, 2000), L(0, 5000, 2000), L(0, 5000, 2000), L(0, 5000, 2000)};
TEST(ContiTable, EndWhileRunningAndAfterStanding) {
  OpenCard card(CARD_A);
  Quad r0 = ranges();
  // While running: the caller gave the whole table at the start, so the end takes none of
  // it back and the path runs to its last point. A partner's range cannot change while it
  // moves, so the driver gives it back once the axes stand.
  ASSERT_EQ(rm720_conti_interp_start(CARD, AXIS_X, AXIS_Y, 0, 100000, SIX.data(), 6), SUCCESS_NO_ERROR);
  advance(80 * MS);
  Quad stretched = ranges();
  ASSERT_LT(probe_next_segment(), 5u) << "the end came after the last segment was handed over";
  int16_t rc = rm720_conti_interp_end(CARD);
  EXPECT_EQ(rc, SUCCESS_NO_ERROR) << "end while running got " << rc;
  EXPECT_EQ(ranges(), stretched) << "driver ranges while the path still runs " << str(ranges());
  Trace t = follow(0, MS, 5000 * MS);
  ASSERT_TRUE(t.ended) << "the path never stood";
  Quad expected{30000, 12000, 0, 0};
  EXPECT_EQ(t.at_end, expected) << "after the end the path stood at " << str(t.at_end);
  uint8_t done = 0;
  EXPECT_EQ(done_state(AXIS_X, &done) & ABNORMAL, 0) << "the caller's end reads as a break";
  EXPECT_EQ(ranges(), r0) << "driver ranges after the run " << str(ranges()) << ", expected " << str(r0);
  // After standing: the run was closed by its end, so there is nothing left to end.
  rc = rm720_conti_interp_end(CARD);
  EXPECT_EQ(rc, ERROR_CONFIG_IS_NEEDED) << "end after the run stood got " << rc;  // 0x800F, no run open
  EXPECT_TRUE(still_after(200 * MS)) << "end after standing moved something";
  EXPECT_EQ(ranges(), r0) << "driver ranges after end after standing " << str(ranges());
  // A new table run works and ends where it should, then begin opens at once.
  Quad c0 = counters();
  ASSERT_EQ(rm720_conti_interp_start(CARD, AXIS_X, AXIS_Y, 0, 100000, SIX.data(), 6), SUCCESS_NO_ERROR);
  t = follow(0, MS, 5000 * MS);
  expected = {c0[0] + 30000, c0[1] + 12000, 0, 0};
  EXPECT_EQ(t.at_end, expected) << "second run " << str(t.at_end) << ", expected " << str(expected);
  EXPECT_EQ(rm720_conti_interp_begin(CARD, AXIS_X, AXIS_Y, 0, 100000), SUCCESS_NO_ERROR) << "begin after the run";
  EXPECT_EQ(rm720_conti_interp_end(CARD), SUCCESS_NO_ERROR);
  EXPECT_EQ(ranges(), r0) << "driver ranges after begin/end " << str(ranges());
}

// ---- A table run broken off never looks like a normal end, and nothing moves after
struct Break {
  const char *name;
  std::string machine;  // extra axis keys of the card
  uint16_t stop_axis;   // 0: none (a limit breaks the path)
  uint16_t mode;
  bool tcurve;
};
class BrokenRun : public ::testing::TestWithParam<Break> {};
TEST_P(BrokenRun, ReportsTheBreakAndStaysStill) {
  const Break &c = GetParam();
  OpenCard card(CARD_A + c.machine);
  Quad r0 = ranges();
  if (c.tcurve) {
    ASSERT_EQ(rm720_conti_interp_config(CARD, AXIS_X, AXIS_Y, AXIS_Z, SV, DV, RATE, RATE, 0), SUCCESS_NO_ERROR);
    load_path({5000, 5000, 5000, 5000, 5000, 5000});
    ASSERT_EQ(rm720_conti_interp_start_all(CARD), SUCCESS_NO_ERROR);
  } else {
    ASSERT_EQ(rm720_conti_interp_start(CARD, AXIS_X, AXIS_Y, 0, 100000, SIX.data(), 6), SUCCESS_NO_ERROR);
  }
  advance(120 * MS);
  ASSERT_TRUE(probe_axis_busy(0)) << c.name << ": the path ended before the break";
  if (c.stop_axis) {
    EXPECT_EQ(rm720_stop_move(CARD, c.stop_axis, c.mode), SUCCESS_NO_ERROR) << c.name;
  }
  Trace t = follow(0, MS, 5000 * MS);
  ASSERT_TRUE(t.ended) << c.name << ": the master never stood";
  EXPECT_LT(t.at_end[0], 30000) << c.name << ": the path was not broken off (X " << t.at_end[0] << ")";
  uint8_t done = 0;
  int16_t state = done_state(AXIS_X, &done);
  EXPECT_EQ(done, 1) << c.name;
  EXPECT_NE(state & DRIVE_FINISH_CONTI_BROKEN, 0)
      << c.name << ": master stop state 0x" << std::hex << state << " lacks DRIVE_FINISH_CONTI_BROKEN (0x200)";
  EXPECT_TRUE(still_after(1000 * MS)) << c.name << ": the axes moved after the break: " << str(counters()) << ", stood at " << str(t.at_end);
  EXPECT_EQ(ranges(), r0) << c.name << ": driver ranges after the break " << str(ranges()) << ", expected " << str(r0);
}
INSTANTIATE_TEST_SUITE_P(
    Table, BrokenRun,
    ::testing::Values(Break{"master_decelerating_stop", "", AXIS_X, 0x26, false},
                      Break{"master_sudden_stop", "", AXIS_X, 0x27, false},
                      Break{"partner_decelerating_stop", "", AXIS_Y, 0x26, false},
                      Break{"partner_sudden_stop", "", AXIS_Y, 0x27, false},
                      Break{"master_limit_plus", "X.LimitPlus=14000\n", 0, 0, false},
                      Break{"partner_limit_plus", "Y.LimitPlus=5000\n", 0, 0, false},
                      Break{"tcurve_master_sudden_stop", "", AXIS_X, 0x27, true},
                      Break{"tcurve_partner_decelerating_stop", "", AXIS_Z, 0x26, true}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- Combinations
TEST(ContiTable, RunWhileUDrivesItsOwnMove) {
  for (bool u_drive_end_factor : {false, true}) {
    OpenCard card(CARD_A);
    if (u_drive_end_factor) {
      ASSERT_EQ(rm720_set_int_factor(CARD, AXIS_U, 0x8000), SUCCESS_NO_ERROR);
    }
    ASSERT_EQ(rm720_t_move(CARD, AXIS_U, 1000, 50000, 500000, 500000, 6000, 0), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_conti_interp_start(CARD, AXIS_X, AXIS_Y, 0, 100000, SIX.data(), 6), SUCCESS_NO_ERROR);
    Trace t = follow(0, MS, 5000 * MS);
    ASSERT_TRUE(t.ended);
    Quad expected{30000, 12000, 0, 6000};
    EXPECT_EQ(t.at_end, expected) << "U drive-end factor " << u_drive_end_factor << ": counters " << str(t.at_end) << ", expected " << str(expected);
    uint8_t done = 0;
    int16_t state = done_state(AXIS_X, &done);
    EXPECT_EQ(state & ABNORMAL, 0) << "U drive-end factor " << u_drive_end_factor << ": stop state 0x" << std::hex << state;
  }
}

TEST(ContiTable, RunsOneAfterAnotherAndAfterAnApplicationFedRun) {
  OpenCard card(CARD_A);
  Quad r0 = ranges();
  // An application-fed path first: 5 segments of (3000, 1000) at 100,000 PPS.
  ASSERT_EQ(rm720_conti_interp_begin(CARD, AXIS_X, AXIS_Y, 0, 100000), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_conti_line2_move(CARD, 3000, 1000, 0), SUCCESS_NO_ERROR);
  int fed = 1;
  for (int step = 0; step < 2000 && fed < 5; ++step) {
    uint8_t ready = 0;
    if (rm720_conti_interp_next_ready(CARD, &ready) == SUCCESS_NO_ERROR && ready) {
      EXPECT_EQ(rm720_conti_line2_move(CARD, 3000, 1000, 1), SUCCESS_NO_ERROR);
      ++fed;
    }
    probe_advance_ns(MS);
  }
  EXPECT_EQ(fed, 5) << "application-fed segments";
  ASSERT_TRUE(follow(0, MS, 5000 * MS).ended);
  EXPECT_EQ(rm720_conti_interp_end(CARD), SUCCESS_NO_ERROR);
  Quad expected{15000, 5000, 0, 0};
  EXPECT_EQ(counters(), expected) << "after the application-fed run " << str(counters());
  // Then two table runs, relative and absolute, one right after the other.
  const std::vector<Rec> rel = {L(0, 4000, -1000), A(1, 0x33, 2000, 2000, 0, 2000), L(0, 1000, 3000)};
  const std::vector<Rec> abs = {L(16, 20000, 0), L(16, 25000, 4000), L(16, 30000, 0)};
  ASSERT_EQ(rm720_conti_interp_start(CARD, AXIS_X, AXIS_Y, 255, 100000, rel.data(), 3), SUCCESS_NO_ERROR);
  Trace t = follow(0, MS, 5000 * MS);
  expected = {22000, 9000, 0, 0};
  EXPECT_EQ(t.at_end, expected) << "first table run " << str(t.at_end) << ", expected " << str(expected);
  int16_t rc = rm720_conti_interp_start(CARD, AXIS_X, AXIS_Y, 0, 100000, abs.data(), 3);
  ASSERT_EQ(rc, SUCCESS_NO_ERROR) << "second table run right after the first got " << rc;
  t = follow(0, MS, 5000 * MS);
  expected = {30000, 0, 0, 0};
  EXPECT_EQ(t.at_end, expected) << "second table run " << str(t.at_end) << ", expected " << str(expected);
  uint8_t done = 0;
  int16_t state = done_state(AXIS_X, &done);
  EXPECT_EQ(state & ABNORMAL, 0) << "stop state 0x" << std::hex << state;
  EXPECT_EQ(ranges(), r0) << "driver ranges " << str(ranges());
}

}  // namespace

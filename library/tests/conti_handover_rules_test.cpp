// A continuous path fed segment by segment by the application, end to end on
// the manual clock through the model-A library: what every call answers in
// each state of the path, that a refused call leaves the path, the axes and
// the counters as they were, that the segments run on without a stop, and
// what closing the path gives back.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "conti_probe.h"
#include "manual_clock_card.h"
#include "move_probe.h"

namespace {

constexpr uint8_t CARD = 0;
constexpr uint32_t SPEED = 20000;  // PPS along the path
constexpr uint64_t MS = 1000000;
constexpr uint8_t UNTOUCHED = 0xA5;  // a query's byte before the call
const std::string CARD_A = card_section(0, "A", 0);

using Pos = std::array<int32_t, 3>;  // command counters of X, Y, Z

Pos counters() {
  Pos p{};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(rm720_get_cmdcounter(CARD, 1 << i, &p[i]), 0);
  return p;
}
Pos operator+(Pos a, const Pos &b) {
  for (int i = 0; i < 3; ++i) a[i] += b[i];
  return a;
}
void run_until_idle() {
  uint64_t end_ns[4];
  probe_run_until_idle(0xF, MS, 10000 * MS, end_ns);
  for (int axis = 0; axis < 4; ++axis) ASSERT_FALSE(probe_axis_busy(axis)) << axis;
}
int16_t stop_reason(uint16_t axis) {
  uint8_t done = 0;
  int16_t reason = 0;
  EXPECT_EQ(rm720_motion_done(CARD, axis, &done, &reason), 0);
  EXPECT_EQ(done, 1);
  return reason;
}
template <class Case>
std::string case_name(const ::testing::TestParamInfo<Case> &info) { return info.param.name; }

enum class Kind { Line2, Line3, Arc2 };
struct Segment {
  Kind kind;
  Pos d;           // end point, relative to the segment's start
  int32_t cx, cy;  // arc centre, relative to the start
};
ApiStatus feed(const Segment &s, uint16_t mode, uint16_t direction = 0x33) {
  switch (s.kind) {
    case Kind::Line2: return rm720_conti_line2_move(CARD, s.d[0], s.d[1], mode);
    case Kind::Line3: return rm720_conti_line3_move(CARD, s.d[0], s.d[1], s.d[2], mode);
    default: return rm720_conti_arc2_move(CARD, direction, s.cx, s.cy, s.d[0], s.d[1], mode);
  }
}
const Segment LINE_A{Kind::Line2, {2000, 1000, 0}, 0, 0};
const Segment LINE_B{Kind::Line2, {1000, -500, 0}, 0, 0};
const Segment LINE_C{Kind::Line2, {500, 500, 0}, 0, 0};
const Segment LINE3_D{Kind::Line3, {300, 300, 300}, 0, 0};
const Segment ARC_E{Kind::Arc2, {-600, 600, 0}, -600, 0};  // counter-clockwise quarter circle

// ---- Every call in every state of a two-axis path on X and Y ----------------

enum class State { NotBegun, BegunIdle, RunningFree, RunningFull, Ended, Stopped };
const char *const STATES[] = {"NotBegun", "BegunIdle", "RunningFree", "RunningFull", "Ended",
                              "Stopped"};

// Brings the path into the state; returns where the axes stand once nothing
// more is fed.
Pos enter(State state) {
  if (state == State::NotBegun) return counters();
  EXPECT_EQ(rm720_conti_interp_begin(CARD, AXIS_X, AXIS_Y, 0, SPEED), 0);
  if (state == State::BegunIdle) return counters();
  EXPECT_EQ(feed(LINE_A, 0), 0);
  probe_advance_ns(MS);
  if (state == State::RunningFree) return LINE_A.d;
  if (state == State::RunningFull) {
    EXPECT_EQ(feed(LINE_B, 1), 0);
    return LINE_A.d + LINE_B.d;
  }
  if (state == State::Stopped) {
    probe_advance_ns(20 * MS);
    EXPECT_EQ(rm720_stop_move(CARD, AXIS_X, 0x26), 0);
  }
  run_until_idle();
  EXPECT_EQ(stop_reason(AXIS_X), state == State::Stopped ? DRIVE_FINISH_WITH_STOP_COMMAND
                                                         : DRIVE_FINISH_OUTPUT_FIXED_PULSE);
  return counters();
}
// The calls of the table; delta: the segment a call adds to the path when taken.
struct CallDef {
  const char *name;
  ApiStatus (*call)(uint8_t *ready);
  Pos delta;
};
const CallDef CALLS[] = {
    {"NextReady", [](uint8_t *ready) { return rm720_conti_interp_next_ready(CARD, ready); }, {}},
    {"Line2Follow", [](uint8_t *) { return feed(LINE_C, 1); }, LINE_C.d},
    {"Line2First", [](uint8_t *) { return feed(LINE_C, 0); }, LINE_C.d},
    {"Line3", [](uint8_t *) { return feed(LINE3_D, 1); }, LINE3_D.d},
    {"Arc2Follow", [](uint8_t *) { return feed(ARC_E, 1); }, ARC_E.d},
    {"Arc2First", [](uint8_t *) { return feed(ARC_E, 0); }, ARC_E.d},
    {"Begin",
     [](uint8_t *) { return rm720_conti_interp_begin(CARD, AXIS_X, AXIS_Y, 0, SPEED); }, {}},
    {"End", [](uint8_t *) { return rm720_conti_interp_end(CARD); }, {}},
    // Modes 2 to 4: the driver takes each as a first segment.
    {"Line2Mode2", [](uint8_t *) { return feed(LINE_C, 2); }, LINE_C.d},
    {"Line2Mode3", [](uint8_t *) { return feed(LINE_C, 3); }, LINE_C.d},
    {"Line2Mode4", [](uint8_t *) { return feed(LINE_C, 4); }, LINE_C.d},
};

struct StateCase {
  std::string name;
  State state;
  const CallDef *call;
  ApiStatus status;
  uint8_t ready;  // what the call leaves in next_ready's byte
};
std::vector<StateCase> state_cases() {
  struct Row {
    State state;
    std::array<ApiStatus, std::size(CALLS)> status;  // in the order of CALLS
    uint8_t ready;  // next_ready's answer
  };
  const Row rows[] = {
      {State::NotBegun, {-324, -324, -324, -324, -324, -324, 0, -324, -324, -324, -324}, UNTOUCHED},
      // Before the first segment no axis has a last target to follow on from.
      {State::BegunIdle, {-334, -390, 0, -390, -390, 0, -333, 0, -390, 0, -390}, UNTOUCHED},
      // The end closes the run while it runs; the path runs out what the chip holds.
      {State::RunningFree, {0, 0, -325, -335, 0, -325, -325, 0, -325, -325, -325}, 1},
      {State::RunningFull, {0, -336, -325, -335, -336, -325, -325, 0, -325, -325, -325}, 0},
      {State::Ended, {-334, -334, 0, -335, -334, 0, -333, 0, 0, 0, 0}, UNTOUCHED},
      {State::Stopped, {-334, -334, 0, -335, -334, 0, -333, 0, 0, 0, 0}, UNTOUCHED},
  };
  std::vector<StateCase> cases;
  for (const Row &row : rows)
    for (size_t c = 0; c < std::size(CALLS); ++c)
      cases.push_back({std::string(STATES[static_cast<int>(row.state)]) + "_" + CALLS[c].name,
                       row.state, &CALLS[c], row.status[c], c == 0 ? row.ready : UNTOUCHED});
  return cases;
}

void PrintTo(const StateCase &c, std::ostream *os) { *os << c.name; }
class StateCalls : public ::testing::TestWithParam<StateCase> {};

TEST_P(StateCalls, AnswerAndLeaveThePathAsItWas) {
  const StateCase &c = GetParam();
  OpenCard card(CARD_A);
  Pos expected = enter(c.state);
  uint8_t ready = UNTOUCHED;
  ASSERT_EQ(c.call->call(&ready), c.status);
  EXPECT_EQ(ready, c.ready);
  if (c.status == 0) expected = expected + c.call->delta;
  // Well past any end: a refused segment never moves an axis afterwards.
  if (c.state == State::RunningFree || c.state == State::RunningFull) run_until_idle();
  probe_advance_ns(1000 * MS);
  for (int axis = 0; axis < 4; ++axis) EXPECT_FALSE(probe_axis_busy(axis)) << axis;
  EXPECT_EQ(counters(), expected);
  // Nothing is left held: ordinary moves of both path axes run.
  rm720_conti_interp_end(CARD);
  EXPECT_EQ(rm720_const_move(CARD, AXIS_X, 10000, 700), 0);
  EXPECT_EQ(rm720_const_move(CARD, AXIS_Y, 10000, -300), 0);
  run_until_idle();
  EXPECT_EQ(counters(), expected + Pos({700, -300, 0}));
}
INSTANTIATE_TEST_SUITE_P(ContiHandoverRules, StateCalls, ::testing::ValuesIn(state_cases()),
                         case_name<StateCase>);

// ---- Paths fed whenever the card is ready --------------------------------

enum class Before { Nothing, DriveEndEvents, TableRun };
struct PathCase {
  const char *name;
  Before before;
  uint16_t axis3;
  std::vector<Segment> segments;
};

void PrintTo(const PathCase &c, std::ostream *os) { *os << c.name; }
class FedPaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(FedPaths, RunWithoutAStopToTheSumOfTheSegments) {
  const PathCase &c = GetParam();
  OpenCard card(CARD_A);
  if (c.before == Before::DriveEndEvents) {
    ASSERT_EQ(rm720_set_int_factor(CARD, AXIS_X, 0x8000), 0);
  }
  if (c.before == Before::TableRun) {  // two lines of X and Y from the driver's table
    uint8_t records[2][28] = {};
    const int32_t ends[2][2] = {{800, 0}, {0, 800}};
    for (int k = 0; k < 2; ++k) std::memcpy(&records[k][4], ends[k], 8);
    ASSERT_EQ(rm720_conti_interp_start(CARD, AXIS_X, AXIS_Y, 0, SPEED, records, 2), 0);
    run_until_idle();
  }
  Pos expected = counters() + c.segments[0].d;
  ASSERT_EQ(rm720_conti_interp_begin(CARD, AXIS_X, AXIS_Y, c.axis3, SPEED), 0);
  ASSERT_EQ(feed(c.segments[0], 0), 0);
  size_t fed = 1;
  int idle_steps = 0;
  for (int step = 0; step < 5000 && (fed < c.segments.size() || probe_axis_busy(0)); ++step) {
    probe_advance_ns(MS);
    if (!probe_axis_busy(0)) ++idle_steps;
    uint8_t ready = UNTOUCHED;
    const ApiStatus status = rm720_conti_interp_next_ready(CARD, &ready);
    if (fed == c.segments.size()) continue;
    ASSERT_EQ(status, 0) << "segment " << fed << " not yet fed";
    if (ready != 1) continue;
    ASSERT_EQ(feed(c.segments[fed], 1), 0) << "segment " << fed;
    expected = expected + c.segments[fed++].d;
  }
  EXPECT_EQ(fed, c.segments.size());
  EXPECT_EQ(idle_steps, 1);  // the master stood only once the whole path had run
  EXPECT_EQ(counters(), expected);
  EXPECT_EQ(stop_reason(AXIS_X), DRIVE_FINISH_OUTPUT_FIXED_PULSE);
  EXPECT_EQ(rm720_conti_interp_end(CARD), 0);
}

const std::vector<Segment> LINES = {LINE_A, LINE_B, LINE_C, {Kind::Line2, {-700, 0, 0}, 0, 0}};
const std::vector<Segment> LINES_AND_ARCS = {LINE_A, ARC_E, LINE_B, ARC_E, LINE_C};
const std::vector<Segment> LINES3 = {
    {Kind::Line3, {1000, 500, 200}, 0, 0}, LINE3_D, {Kind::Line3, {-400, 0, 900}, 0, 0}};
INSTANTIATE_TEST_SUITE_P(
    ContiHandoverRules, FedPaths,
    ::testing::Values(PathCase{"Lines", Before::Nothing, 0, LINES},
                      PathCase{"LinesThirdAxis255", Before::Nothing, 255, LINES},
                      PathCase{"LinesAndArcs", Before::Nothing, 0, LINES_AND_ARCS},
                      PathCase{"ThreeAxisLines", Before::Nothing, AXIS_Z, LINES3},
                      PathCase{"LinesWithDriveEndEvents", Before::DriveEndEvents, 0, LINES},
                      PathCase{"ArcsWithDriveEndEvents", Before::DriveEndEvents, 0, LINES_AND_ARCS},
                      PathCase{"LinesAfterATableRun", Before::TableRun, 0, LINES}),
    case_name<PathCase>);

// ---- The application's hold on the master -----------------------------------

TEST(ContiHandoverRules, FeedingKeepsTheApplicationsHoldOnTheMaster) {
  for (int held : {AXIS_X | 0, AXIS_X | AXIS_Y}) {
    SCOPED_TRACE(held);
    OpenCard card(CARD_A);
    ASSERT_EQ(rm720_conti_interp_begin(CARD, AXIS_X, AXIS_Y, 0, SPEED), 0);
    ASSERT_EQ(feed(LINE_A, 0), 0);
    probe_advance_ns(MS);
    ASSERT_EQ(rm720_drv_hold(CARD, held), 0);
    uint8_t ready = 0;
    ASSERT_EQ(rm720_conti_interp_next_ready(CARD, &ready), 0);
    ASSERT_EQ(ready, 1);
    ASSERT_EQ(feed(LINE_B, 1), 0);
    ASSERT_EQ(feed(LINE_C, 1), -336);  // the slot is full
    run_until_idle();
    const Pos end = LINE_A.d + LINE_B.d;
    EXPECT_EQ(counters(), end);
    ASSERT_EQ(feed(LINE_C, 1), -334);  // the path has ended
    ASSERT_EQ(rm720_conti_interp_end(CARD), 0);
    // The held axes' drive starts still wait for the application's release.
    ASSERT_EQ(rm720_const_move(CARD, AXIS_X, 10000, 400), 0);
    ASSERT_EQ(rm720_const_move(CARD, AXIS_Y, 10000, 200), 0);
    probe_advance_ns(500 * MS);
    EXPECT_EQ(counters(), end + Pos({0, held & AXIS_Y ? 0 : 200, 0}));
    ASSERT_EQ(rm720_drv_start(CARD, held), 0);
    run_until_idle();
    EXPECT_EQ(counters(), end + Pos({400, 200, 0}));
  }
}

// ---- Ranges of the partner axes ---------------------------------------------

struct RangeCase {
  const char *name;
  int axis1, axis2, axis3;  // axis indexes; -1 none
  uint16_t none;            // what begin is given for no third axis
  bool run;                 // a first segment runs to its end before the end
  ApiStatus begin = 0;      // a refused begin changes no range
};
void PrintTo(const RangeCase &c, std::ostream *os) { *os << c.name; }
class PartnerRanges : public ::testing::TestWithParam<RangeCase> {};

TEST_P(PartnerRanges, AreScaledWhileOpenAndBackAfterTheEnd) {
  const RangeCase &c = GetParam();
  OpenCard card(CARD_A);
  std::array<uint32_t, 4> before{};
  std::array<std::array<int32_t, 6>, 4> limits{};
  for (int axis = 0; axis < 4; ++axis) {
    before[axis] = probe_driver_range(axis);
    ASSERT_EQ(rm720_get_range_settings(CARD, 1 << axis, limits[axis].data()), 0);
  }
  const bool three = c.axis3 >= 0;
  ASSERT_EQ(rm720_conti_interp_begin(CARD, 1 << c.axis1, 1 << c.axis2,
                                     three ? 1 << c.axis3 : c.none, SPEED), c.begin);
  if (c.begin != 0) {
    for (int axis = 0; axis < 4; ++axis) EXPECT_EQ(probe_driver_range(axis), before[axis]) << axis;
    EXPECT_EQ(rm720_conti_interp_end(CARD), -324);
    return;
  }
  std::array<uint32_t, 4> open = before;
  open[c.axis2] = static_cast<uint32_t>(before[c.axis1] * 1.414213);
  if (three) open[c.axis3] = static_cast<uint32_t>(before[c.axis1] * 1.73205);
  for (int axis = 0; axis < 4; ++axis) EXPECT_EQ(probe_driver_range(axis), open[axis]) << axis;
  if (c.run) {
    EXPECT_EQ(three ? rm720_conti_line3_move(CARD, 600, 300, 200, 0)
                    : rm720_conti_line2_move(CARD, 600, 300, 0), 0);
    run_until_idle();
  }
  ASSERT_EQ(rm720_conti_interp_end(CARD), 0);
  for (int axis = 0; axis < 4; ++axis) {
    EXPECT_EQ(probe_driver_range(axis), before[axis]) << axis;
    std::array<int32_t, 6> now{};
    ASSERT_EQ(rm720_get_range_settings(CARD, 1 << axis, now.data()), 0);
    EXPECT_EQ(now, limits[axis]) << axis;
  }
  uint8_t ready = UNTOUCHED;
  EXPECT_EQ(rm720_conti_interp_next_ready(CARD, &ready), -324);
  EXPECT_EQ(rm720_conti_interp_end(CARD), -324);
}
INSTANTIATE_TEST_SUITE_P(ContiHandoverRules, PartnerRanges,
                         ::testing::Values(RangeCase{"XY", 0, 1, -1, 0, false},
                                           RangeCase{"XYThird255Run", 0, 1, -1, 255, true},
                                           RangeCase{"XYZ", 0, 1, 2, 0, false},
                                           RangeCase{"XYZRun", 0, 1, 2, 0, true},
                                           // The axis word has no room for X as the third axis.
                                           RangeCase{"ZUXRefused", 2, 3, 0, 0, false, -335}),
                         case_name<RangeCase>);

// ---- Refusals of the library's own checks, while a path runs ---------------

struct Refusal {
  const char *name;
  ApiStatus (*call)();
  ApiStatus status;
};
void PrintTo(const Refusal &c, std::ostream *os) { *os << c.name; }
class LibraryRefusals : public ::testing::TestWithParam<Refusal> {};

// Each is refused before any request: the path runs on as it was fed, on
// the ranges it had.
TEST_P(LibraryRefusals, LeaveTheRunningPathAlone) {
  OpenCard card(CARD_A);
  ASSERT_EQ(rm720_conti_interp_begin(CARD, AXIS_X, AXIS_Y, 0, SPEED), 0);
  const uint32_t range_y = probe_driver_range(1);
  ASSERT_EQ(feed(LINE_A, 0), 0);
  probe_advance_ns(MS);
  EXPECT_EQ(GetParam().call(), GetParam().status);
  EXPECT_EQ(probe_driver_range(1), range_y);
  EXPECT_EQ(probe_driver_range(2), probe_driver_range(3));
  uint8_t ready = 0;
  ASSERT_EQ(rm720_conti_interp_next_ready(CARD, &ready), 0);
  EXPECT_EQ(ready, 1);
  ASSERT_EQ(feed(LINE_B, 1), 0);
  run_until_idle();
  EXPECT_EQ(counters(), LINE_A.d + LINE_B.d);
}
INSTANTIATE_TEST_SUITE_P(
    ContiHandoverRules, LibraryRefusals,
    ::testing::Values(
        Refusal{"Line2Mode5", [] { return feed(LINE_C, 5); }, -254},
        Refusal{"Line3Mode5", [] { return feed(LINE3_D, 5); }, -254},
        Refusal{"Arc2Mode2", [] { return feed(ARC_E, 2); }, -254},
        Refusal{"Line2Mode5ClosedCard", [] { return rm720_conti_line2_move(7, 1, 1, 5); }, -254},
        Refusal{"Arc2Direction0x31", [] { return feed(ARC_E, 1, 0x31); }, -253},
        Refusal{"Arc2Direction0x34", [] { return feed(ARC_E, 1, 0x34); }, -253},
        Refusal{"BeginPartnersEqual",
                [] { return rm720_conti_interp_begin(CARD, AXIS_Z, AXIS_U, AXIS_U, SPEED); }, -251},
        Refusal{"BeginMasterAPartner",
                [] { return rm720_conti_interp_begin(CARD, AXIS_Z, AXIS_U, AXIS_Z, SPEED); }, -250},
        Refusal{"BeginSpeed2000001",
                [] { return rm720_conti_interp_begin(CARD, AXIS_Z, AXIS_U, 0, 2000001); }, -245}),
    case_name<Refusal>);

}  // namespace

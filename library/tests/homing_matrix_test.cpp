// Every way of homing, end to end on the manual clock: the six extended modes
// (and the chip's own search with a home offset), both search directions,
// five start positions, waited, not waited and polled without pause, with
// the home timer's clock tick at 0.1 ms and 15.625 ms. Each run asserts where
// the axis ends, that the absolute position is 0 exactly there (or left alone
// when no home was found), the stop reason and the start's status. A second
// table stops or resets the card at every phase of each search and asserts
// that nothing moves after it. Each case runs several times: the DPCs and
// the poller race.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "axis_position.h"
#include "homing_probe.h"
#include "move_probe.h"
#include "open_cards.h"

namespace {

#ifdef RM7X0_MODEL_B
constexpr const char *MODEL = "B";
#else
constexpr const char *MODEL = "A";
#endif

constexpr int32_t LIMIT = 6000, HOME_HALF_WIDTH = 25, INDEX_PERIOD = 1000;
constexpr uint32_t SV = 1000, ACC = 2000000, DV = 200000, LOW = 20000;
constexpr uint64_t SETTLED_STEP_NS = 1000 * 1000;  // the clock between two settled looks
constexpr uint16_t HOME_HIGH = 4, INDEX_HIGH = 16;
constexpr uint16_t STEP_HOME_PLUS_THEN_OFFSET = 0x04 | 0x40;  // the chip's own steps 2 and 4
constexpr int32_t OFFSET = 500;
constexpr int16_t HOME_END = 0x0100, STOP_COMMAND = 0x0004;
constexpr int16_t LIMIT_PLUS = 0x1000, LIMIT_MINUS = 0x2000;
constexpr int CHIP_OWN_SEARCH = -1;  // set_home_cfg with a home offset, no extended mode
constexpr uint64_t SEARCH_LIMIT_NS = 20ull * 1000 * 1000 * 1000;

// Four runs a case keep the suite short; RM7X0_HOMING_REPEAT=20 gives the
// races more chances.
int repetitions() {
  const char *text = std::getenv("RM7X0_HOMING_REPEAT");
  return text ? std::max(1, std::atoi(text)) : 4;
}

// Where the sensors stand, the axis starting at machine position 0.
struct Start {
  const char *name;
  std::optional<int32_t> home;
  int32_t limit_plus = LIMIT;
  const char *extra = "";
};
const Start kStarts[] = {
    {"home ahead on the plus side", 2000},
    {"home on the minus side", -2000},
    {"on the home input", 0},
    {"on the near-home input", -700, LIMIT, "X.NearHome=0\n"},
    {"on limit +", -2000, 0},
    {"without a home", std::nullopt},
};

enum class Form { WAITED, NOT_WAITED, POLLED };
const char *name_of(Form form) {
  return form == Form::WAITED ? "waited" : form == Form::NOT_WAITED ? "not waited" : "polled";
}

std::string description(const Start &start, uint64_t tick_us) {
  std::string text = "[Machine]\nClock=manual\nTimerResolutionUs=" + std::to_string(tick_us) +
                     "\n" + card_section(0, MODEL, 0) +
                     "X.LimitPlus=" + std::to_string(start.limit_plus) +
                     "\nX.LimitMinus=" + std::to_string(-LIMIT) +
                     "\nX.IndexPeriod=" + std::to_string(INDEX_PERIOD) + "\n" + start.extra;
  if (start.home) text += "X.Home=" + std::to_string(*start.home) + "\n";
  return text;
}

// The first index pulse strictly beyond `from`, moving plus or minus.
int32_t next_index(int32_t from, bool plus) {
  const int32_t below =
      from >= 0 ? from / INDEX_PERIOD : -((-from + INDEX_PERIOD - 1) / INDEX_PERIOD);
  const int32_t at = below * INDEX_PERIOD;
  if (plus) return at + INDEX_PERIOD;
  return at == from ? at - INDEX_PERIOD : at;
}

// What the search must end with.
struct Expected {
  bool refused = false;  // the start is refused: nothing moves
  bool found = false;
  int32_t position = 0;  // command counter at the end
  int16_t reason = 0;
};

// Modes 0-3 end on the edge of the home input that their last step meets,
// moving plus (modes 0 and 1 searching plus, 2 and 3 searching minus) or
// minus, and modes 1 and 3 on the next index pulse beyond it. Modes 4 and 5
// end stopped on the limit the search met (the one they start on, when they
// start on one), mode 5 then on the first index pulse back from it. A search
// of modes 0-3 without a home turns back once at a limit and gives up at
// the other.
Expected expected_end(int mode, int direction, const Start &start) {
  Expected e;
  const bool on_limit_plus = start.limit_plus <= 0;
  if (mode >= 4) {
    const bool plus = on_limit_plus || direction == 1;
    e.found = true;
    const int32_t limit = plus ? start.limit_plus : -LIMIT;
    e.position = mode == 4 ? limit : next_index(limit, !plus);
    e.reason =
        static_cast<int16_t>(mode == 4 ? (plus ? LIMIT_PLUS : LIMIT_MINUS) | HOME_END : HOME_END);
    return e;
  }
  if (mode == CHIP_OWN_SEARCH) {  // one run of the chip, plus, limits not checked at the start
    if (!start.home || *start.home < 0) {
      e.position = start.limit_plus;
      e.reason = LIMIT_PLUS;
    } else {
      e.found = true;
      e.position = *start.home - HOME_HALF_WIDTH + OFFSET;
      e.reason = HOME_END;
    }
    return e;
  }
  const bool seeks_plus = direction == 1;
  if (on_limit_plus && seeks_plus) {
    e.refused = true;
    return e;
  }
  if (!start.home) {
    e.position = seeks_plus ? -LIMIT : LIMIT;
    e.reason = seeks_plus ? LIMIT_MINUS : LIMIT_PLUS;
    return e;
  }
  const int32_t home = *start.home;
  e.found = true;
  e.reason = HOME_END;
  const bool last_plus = (mode <= 1) == (direction == 1);
  const int32_t edge = last_plus ? home - HOME_HALF_WIDTH : home + HOME_HALF_WIDTH;
  e.position = (mode == 1 || mode == 3) ? next_index(edge, last_plus) : edge;
  return e;
}

struct Outcome {
  ApiStatus status = SUCCESS_NO_ERROR;
  bool ended = false;
};

class HomingCase : public testing::TestWithParam<std::tuple<int, uint64_t>> {
 protected:
  int mode() const { return std::get<0>(GetParam()); }
  uint64_t tick_ns() const { return std::get<1>(GetParam()) * 1000; }

  static ApiStatus configure(int mode, int direction) {
    if (mode == CHIP_OWN_SEARCH)
      return RM7X0_NAME(set_home_cfg)(0, AXIS_X, HOME_HIGH, 0, 0, STEP_HOME_PLUS_THEN_OFFSET,
                                      OFFSET);
    return RM7X0_NAME(set_home_cfg_ex)(0, AXIS_X, HOME_HIGH, 0, INDEX_HIGH,
                                       static_cast<uint16_t>(mode),
                                       static_cast<uint8_t>(direction));
  }
  static ApiStatus start(uint16_t wait) {
    return RM7X0_NAME(home_start)(0, AXIS_X, SV, ACC, ACC, DV, LOW, wait);
  }

  static bool motion_done(int16_t *reason = nullptr) {
    uint8_t done = 0;
    int16_t state = 0;
    EXPECT_EQ(RM7X0_NAME(motion_done)(0, AXIS_X, &done, &state), SUCCESS_NO_ERROR);
    if (reason) *reason = state;
    return done == 1;
  }

  // A waited start in its own thread while this one steps the clock.
  Outcome run_waited() {
    Outcome outcome;
    std::atomic<bool> returned{false};
    std::thread caller([&] {
      outcome.status = start(1);
      returned = true;
    });
    for (uint64_t t = 0; !returned && t < SEARCH_LIMIT_NS; t += SETTLED_STEP_NS)
      probe_advance_ns(SETTLED_STEP_NS);
    if (!returned) RM7X0_NAME(reset)(0);  // frees the caller of a search that never ends
    caller.join();
    outcome.ended = motion_done();
    return outcome;
  }

  // A start that returns at once, then motion_done once per tick (settled)
  // or over and over while the clock runs ahead of the driver (polled).
  Outcome run_not_waited(bool polled) {
    Outcome outcome;
    outcome.status = start(0);
    if (outcome.status != SUCCESS_NO_ERROR) return outcome;
    // The polled clock may run far ahead of a loaded machine's DPCs: the
    // second half of the time waits for them at each step.
    for (uint64_t t = 0; t < SEARCH_LIMIT_NS && !outcome.ended;) {
      if (polled && t < SEARCH_LIMIT_NS / 2) {
        probe_step_clock_ns(tick_ns());
        for (int poll = 0; poll < 3 && !outcome.ended; ++poll) outcome.ended = motion_done();
        t += tick_ns();
      } else {
        probe_advance_ns(SETTLED_STEP_NS);
        outcome.ended = motion_done();
        t += SETTLED_STEP_NS;
      }
    }
    probe_advance_ns(0);
    return outcome;
  }

  static int32_t command_counter() {
    int32_t counter = 0;
    EXPECT_EQ(RM7X0_NAME(get_cmdcounter)(0, AXIS_X, &counter), SUCCESS_NO_ERROR);
    return counter;
  }

  // The axis stands and stays where it is while the clock runs on.
  void expect_standing_for_good(const std::string &where) {
    const int32_t counter = command_counter();
    for (int step = 0; step < 50; ++step) probe_advance_ns(SETTLED_STEP_NS);
    EXPECT_FALSE(probe_axis_busy(0)) << where << ": still driving";
    EXPECT_EQ(command_counter(), counter) << where << ": moved after it ended";
  }
};

class HomingMatrix : public HomingCase {
 protected:
  void run_case(int direction, const Start &start_at, Form form) {
    const Expected want = expected_end(mode(), direction, start_at);
    OpenCardZero card(description(start_at, tick_ns() / 1000));
    ASSERT_EQ(configure(mode(), direction), SUCCESS_NO_ERROR);
    const Outcome got = form == Form::WAITED ? run_waited() : run_not_waited(form == Form::POLLED);
    const std::string where = std::string(name_of(form)) + ", " + start_at.name + ", direction " +
                              std::to_string(direction);
    int32_t counter = 0, absolute = 0;
    ASSERT_EQ(RM7X0_NAME(get_cmdcounter)(0, AXIS_X, &counter), SUCCESS_NO_ERROR);
    ASSERT_EQ(absolute_position_now(0, AXIS_X, &absolute), SUCCESS_NO_ERROR);
    if (want.refused) {
      EXPECT_NE(got.status, SUCCESS_NO_ERROR) << where;
      EXPECT_EQ(counter, 0) << where << ": a refused start moved the axis";
      EXPECT_EQ(absolute, 0) << where;
      return;
    }
    ASSERT_TRUE(got.ended) << where << ": the search never ended";
    int16_t reason = 0;
    EXPECT_TRUE(motion_done(&reason)) << where;
    EXPECT_EQ(reason, want.reason) << where;
    EXPECT_EQ(counter, want.position) << where;
    if (want.found) {
      EXPECT_EQ(got.status, SUCCESS_NO_ERROR) << where;
      EXPECT_EQ(absolute, 0) << where << ": the zero is not where the search ended";
    } else {
      EXPECT_EQ(got.status, form == Form::WAITED ? ERROR_START_HOME : SUCCESS_NO_ERROR) << where;
      EXPECT_EQ(absolute, counter) << where << ": zeroed without a home";
    }
    expect_standing_for_good(where);
    // The next move's stop reason is its own, not a late one of the search.
    ASSERT_EQ(RM7X0_NAME(const_move)(0, AXIS_X, 5000, want.position < 0 ? 10 : -10),
              SUCCESS_NO_ERROR)
        << where;
    for (int step = 0; step < 1000 && !motion_done(&reason); ++step)
      probe_advance_ns(SETTLED_STEP_NS);
    EXPECT_EQ(reason & (HOME_END | DRIVE_FINISH_OUTPUT_FIXED_PULSE),
              DRIVE_FINISH_OUTPUT_FIXED_PULSE)
        << where << ": the move after the search";
  }
};

TEST_P(HomingMatrix, EndsWhereAndHowItSays) {
  const int runs = repetitions();
  for (Form form : {Form::WAITED, Form::NOT_WAITED, Form::POLLED})
    for (const Start &start_at : kStarts)
      for (int direction : {0, 1})
        for (int run = 0; run < runs; ++run) {
          if (mode() == CHIP_OWN_SEARCH && direction == 0)
            continue;  // its steps name their direction
          run_case(direction, start_at, form);
          if (HasFailure()) return;
        }
}

// ---- stops and resets at every phase of a search -------------------------------

enum class Stop { DECELERATING, SUDDEN, ALL_AXES, RESET };
const char *name_of(Stop stop) {
  switch (stop) {
    case Stop::DECELERATING:
      return "decelerating stop";
    case Stop::SUDDEN:
      return "sudden stop";
    case Stop::ALL_AXES:
      return "stop of all axes";
    case Stop::RESET:
      return "reset";
  }
  return "";
}

ApiStatus inject(Stop stop) {
  switch (stop) {
    case Stop::DECELERATING:
      return RM7X0_NAME(stop_move)(0, AXIS_X, 0x26);
    case Stop::SUDDEN:
      return RM7X0_NAME(stop_move)(0, AXIS_X, 0x27);
    case Stop::ALL_AXES:
      return RM7X0_NAME(stop_move_all)(0, AXIS_X | AXIS_Y, 0x26);
    case Stop::RESET:
      return RM7X0_NAME(reset)(0);
  }
  return SUCCESS_NO_ERROR;
}

// Milliseconds of the search before the stop: from its first move to after
// the end of the longest.
const uint64_t kPhasesMs[] = {0, 1, 3, 7, 15, 30, 45, 60, 90, 150};
// Home on the minus side, the search starting plus: modes 0-3 meet limit +,
// turn back and take their last steps on home; modes 4 and 5 back off limit +.
const Start &kStopLayout = kStarts[1];

class HomingStops : public HomingCase {
 protected:
  // Settled: the DPCs have caught up with the clock when the stop arrives,
  // and a search that runs must end stopped. Racing: the clock has just run
  // on without waiting for them, so a step of the search may be under way
  // on the DPC thread, or the search may just be ending, as the stop
  // arrives; either way the outcome is one of the two, never a mix.
  void run_case(Stop stop, uint64_t phase_ms, bool waited, bool racing) {
    const std::string where = std::string(name_of(stop)) + " after " + std::to_string(phase_ms) +
                              " ms, " + (waited ? "waited" : "not waited") +
                              (racing ? ", racing the DPCs" : "");
    OpenCardZero card(description(kStopLayout, tick_ns() / 1000));
    ASSERT_EQ(configure(mode(), 1), SUCCESS_NO_ERROR);
    std::atomic<bool> returned{false};
    ApiStatus status = SUCCESS_NO_ERROR;
    std::thread caller;
    if (waited) {
      caller = std::thread([&] {
        status = start(1);
        returned = true;
      });
      while (!returned && probe_held_requests() == 0) std::this_thread::yield();
    } else {
      ASSERT_EQ(start(0), SUCCESS_NO_ERROR) << where;
    }
    for (uint64_t ms = 0; ms < phase_ms; ++ms) probe_advance_ns(SETTLED_STEP_NS);
    if (racing)
      probe_step_clock_ns(tick_ns());
    else
      probe_advance_ns(tick_ns());
    const bool running = probe_home_search_active(0);
    // The library keeps no lock: a reset must not meet another export of the
    // card, such as the waited start zeroing the position of its found home.
    if (stop == Stop::RESET && waited && !running) {
      while (!returned) std::this_thread::yield();
    }
    EXPECT_EQ(inject(stop), SUCCESS_NO_ERROR) << where;
    EXPECT_FALSE(probe_home_search_active(0)) << where << ": the search outlived the stop";
    for (int step = 0; step < 1000 && (probe_axis_busy(0) || (waited && !returned)); ++step)
      probe_advance_ns(SETTLED_STEP_NS);
    if (waited) caller.join();
    expect_standing_for_good(where);
    if (stop == Stop::RESET) {
      if (waited && running && !racing) {
        EXPECT_EQ(status, ERROR_START_HOME) << where;
      }
      return;
    }
    int16_t reason = 0;
    EXPECT_TRUE(motion_done(&reason)) << where;
    int32_t absolute = 0;
    ASSERT_EQ(absolute_position_now(0, AXIS_X, &absolute), SUCCESS_NO_ERROR);
    const bool stopped = running && !racing;
    const bool found = waited ? status == SUCCESS_NO_ERROR : (reason & HOME_END) != 0;
    if (stopped || !found) {
      EXPECT_FALSE(found) << where << ": a stopped search found home";
      EXPECT_EQ(reason & (STOP_COMMAND | HOME_END), STOP_COMMAND) << where;
      EXPECT_EQ(absolute, command_counter()) << where << ": zeroed by a stopped search";
      if (waited) {
        EXPECT_EQ(status, ERROR_START_HOME) << where;
      }
    } else {
      EXPECT_EQ(absolute, 0) << where << ": the search that ended first is not at 0";
    }
  }
};

TEST_P(HomingStops, NothingMovesAfterAStopAtAnyPhase) {
  const int runs = std::max(1, repetitions() / 10);
  for (Stop stop : {Stop::DECELERATING, Stop::SUDDEN, Stop::ALL_AXES, Stop::RESET})
    for (uint64_t phase_ms : kPhasesMs)
      for (bool waited : {false, true})
        for (bool racing : {false, true})
          for (int run = 0; run < runs; ++run) {
            if (racing && stop == Stop::RESET) continue;  // see the reset above
            run_case(stop, phase_ms, waited, racing);
            if (HasFailure()) return;
          }
}

std::string case_name(const testing::TestParamInfo<std::tuple<int, uint64_t>> &info) {
  const int mode = std::get<0>(info.param);
  return (mode == CHIP_OWN_SEARCH ? std::string("ChipOwnSearch") : "Mode" + std::to_string(mode)) +
         "Tick" + std::to_string(std::get<1>(info.param)) + "us";
}

#ifdef RM7X0_MODEL_B
// The model-B library shares the code: a chip mode with its index step and
// the two timer modes, at the coarse tick.
const auto kCases = testing::Combine(testing::Values(1, 4, 5), testing::Values(uint64_t{15625}));
#define MODEL_CASES ModelB
#else
const auto kCases = testing::Combine(testing::Values(CHIP_OWN_SEARCH, 0, 1, 2, 3, 4, 5),
                                     testing::Values(uint64_t{100}, uint64_t{15625}));
#define MODEL_CASES AllModes
#endif
INSTANTIATE_TEST_SUITE_P(MODEL_CASES, HomingMatrix, kCases, case_name);
INSTANTIATE_TEST_SUITE_P(MODEL_CASES, HomingStops, kCases, case_name);

}  // namespace

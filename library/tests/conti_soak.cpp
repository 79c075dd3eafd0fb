#include "conti_soak.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "card_table.h"
#include "conti_probe.h"
#include "model.h"
#include "move_probe.h"
#include "request.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr uint16_t FIRST = 0, FOLLOWING = 1;
constexpr uint16_t CW = 0x32, CCW = 0x33;
constexpr uint16_t DRIVE_END_FACTOR = 0x8000;
// The master's drive phase in its status register 1.
constexpr uint16_t STATUS1_AT_DRIVE_SPEED = 0x0004, STATUS1_DECELERATING = 0x0010;
constexpr uint32_t SOAK_RATE = 10000000;  // PPS/s: (100,000^2 - 10,000^2) / 2e7 = 495 pulses
constexpr uint64_t NS_PER_MS = 1000000;
constexpr double SPEED_TOLERANCE = 1e-3;  // PPS: the model's arithmetic
constexpr uint64_t LIMIT_NS = 600000 * NS_PER_MS;  // simulated time a run may take at most

enum Kind : uint8_t { LINE2 = 0, ARC2 = 1, LINE3 = 2 };

// One segment relative to where it begins, as the driver's table holds it.
struct Segment {
  Kind kind;
  int32_t end[3];
  uint16_t direction;
  int32_t center[2];
  double ms;  // its time at the path's speed
};

// A small deterministic generator: the same seed gives the same path.
class Draw {
 public:
  explicit Draw(unsigned seed) : state_(seed * 2654435761u + 1) {}
  double unit() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state_ >> 11) / 9007199254740992.0;
  }
  int below(int n) { return static_cast<int>(unit() * n) % n; }

 private:
  uint64_t state_;
};

int32_t round_pulses(double v) { return static_cast<int32_t>(std::lround(v)); }

// A line of `length` pulses in a random direction of `axes` axes.
Segment line(Draw &draw, int axes, double length) {
  double v[3] = {};
  double norm = 0;
  for (int k = 0; k < axes; ++k) {
    v[k] = draw.unit() * 2 - 1;
    norm += v[k] * v[k];
  }
  norm = std::sqrt(norm);
  Segment s{axes == 3 ? LINE3 : LINE2, {}, 0, {}, 0};
  for (int k = 0; k < axes; ++k) s.end[k] = round_pulses(v[k] / norm * length);
  if (s.end[0] == 0 && s.end[1] == 0 && s.end[2] == 0) s.end[0] = round_pulses(length);
  return s;
}

// A quarter arc of about `length` pulses, turning either way, in one of the
// four quadrants.
Segment quarter_arc(Draw &draw, double length) {
  const int32_t r = std::max(2, round_pulses(2 * length / PI));
  const bool clockwise = draw.below(2) == 1;
  int32_t c[2] = {0, clockwise ? -r : r}, e[2] = {r, clockwise ? -r : r};
  for (int turn = draw.below(4); turn > 0; --turn) {
    c[0] = -std::exchange(c[1], c[0]);
    e[0] = -std::exchange(e[1], e[0]);
  }
  return {ARC2, {e[0], e[1], 0}, clockwise ? CW : CCW, {c[0], c[1]}, 0};
}

std::vector<Segment> make_path(const SoakRun &run) {
  Draw draw(run.seed);
  std::vector<Segment> path;
  for (int k = 0; k < run.segments; ++k) {
    const double ms = run.shortest_ms + (run.longest_ms - run.shortest_ms) * draw.unit();
    const double length = std::max(2.0, SOAK_SPEED * ms / 1000.0);
    Segment s;
    switch (run.shape) {
      case SoakShape::Lines3: s = line(draw, 3, length); break;
      case SoakShape::Mixed2: s = draw.below(2) ? quarter_arc(draw, length) : line(draw, 2, length); break;
      case SoakShape::Mixed3: {
        const int pick = draw.below(3);
        s = pick == 0 ? quarter_arc(draw, length) : line(draw, pick == 1 ? 2 : 3, length);
        break;
      }
    }
    s.ms = ms;
    path.push_back(s);
  }
  return path;
}

int axis_count(SoakShape shape) { return shape == SoakShape::Mixed2 ? 2 : 3; }

ApiStatus feed(const Segment &s, uint16_t mode) {
  switch (s.kind) {
    case LINE2: return rm720_conti_line2_move(0, s.end[0], s.end[1], mode);
    case ARC2:
      return rm720_conti_arc2_move(0, s.direction, s.center[0], s.center[1], s.end[0], s.end[1],
                                   mode);
    default: return rm720_conti_line3_move(0, s.end[0], s.end[1], s.end[2], mode);
  }
}

// A segment into the driver's table, as the library's table export sends it.
bool store(const Segment &s) {
  DriverRequest block{};
  preset_status(block);
  const int32_t values[8] = {s.kind,    s.end[0],       s.end[1],       s.end[2],
                             s.direction, s.center[0], s.center[1], 0};
  for (int slot = 1; slot <= 8; ++slot) put_i32(block, slot, values[slot - 1]);
  return send_request(card_device(0), REQ_CONTI_LOAD_SEGMENT, block) &&
         status_word(block) == DRV_SUCCESS;
}

// Opens the run and fills the table (Table) or opens it (Application).
std::string open_run(const SoakRun &run, const std::vector<Segment> &path, const int32_t start[3]) {
  const uint16_t third = axis_count(run.shape) == 3 ? AXIS_Z : 0;
  if (run.shape == SoakShape::Lines3 && run.feed == SoakFeed::Table) {
    if (rm720_conti_interp_config(0, AXIS_X, AXIS_Y, AXIS_Z, SOAK_START_SPEED, SOAK_SPEED,
                                  SOAK_RATE, SOAK_RATE, 0) != SUCCESS_NO_ERROR)
      return "config refused";
    int32_t point[3] = {start[0], start[1], start[2]};
    for (const Segment &s : path) {
      for (int k = 0; k < 3; ++k) point[k] += s.end[k];
      if (rm720_conti_abs_line3_move_load(0, point[0], point[1], point[2]) != SUCCESS_NO_ERROR)
        return "a load was refused";
    }
    return rm720_conti_interp_start_all(0) == SUCCESS_NO_ERROR ? "" : "start refused";
  }
  if (run.feed == SoakFeed::Table &&
      rm720_set_int_factor(0, AXIS_X, DRIVE_END_FACTOR) != SUCCESS_NO_ERROR)
    return "drive-end factor refused";
  if (rm720_conti_interp_begin(0, AXIS_X, AXIS_Y, third, SOAK_SPEED) != SUCCESS_NO_ERROR)
    return "begin refused";
  if (run.feed == SoakFeed::Table) {
    for (size_t k = 1; k < path.size(); ++k) {
      if (!store(path[k])) return "a load was refused";
    }
  }
  return feed(path[0], FIRST) == SUCCESS_NO_ERROR ? "" : "the first segment was refused";
}

// Segments of a table run handed to the chip so far (the first one with
// them); 0 once the driver closed the run.
int handed_over() {
  const unsigned next = probe_next_segment();
  return next == 0 && probe_segment_count() == 0 ? 0 : static_cast<int>(next) + 1;
}

// What the run's speed samples say. The master reads its step rate, which
// is the path's speed times the segment's step scale (a line's longest axis
// against its length: 1/sqrt(3) at the least), so a sample below that share
// of the path's speed is a stop or a crawl between segments. A T-curve path
// is judged from its first cruise at the drive speed until its final
// deceleration begins.
class SpeedWatch {
 public:
  explicit SpeedWatch(bool ramps) : ramps_(ramps) {}
  void sample(int32_t speed, uint16_t status1) {
    const bool at_speed = speed >= static_cast<int32_t>(SOAK_SPEED * LOWEST_STEP_SCALE);
    if (ramps_) {
      final_deceleration_ = final_deceleration_ || (cruised_ && (status1 & STATUS1_DECELERATING));
      cruised_ = cruised_ || (status1 & STATUS1_AT_DRIVE_SPEED);
      if (!cruised_ || final_deceleration_) return;
    }
    if (at_speed && below_) gap_ = true;  // up again after a dip
    below_ = below_ || !at_speed;
    reached_speed_ = reached_speed_ || at_speed;
  }
  bool gap_free() const { return !gap_ && !below_ && reached_speed_; }

 private:
  static constexpr double LOWEST_STEP_SCALE = 0.55;
  bool ramps_;
  bool cruised_ = false, final_deceleration_ = false;
  bool gap_ = false, reached_speed_ = false, below_ = false;
};

// A speed sample taken while the master drives (one read as it stopped is no sample).
void sample_speed(SpeedWatch &watch) {
  int32_t speed = 0;
  const uint16_t status1 = probe_status1(0);
  if (rm720_get_speed(0, AXIS_X, &speed) == SUCCESS_NO_ERROR && probe_axis_busy(0))
    watch.sample(speed, status1);
}

// The longest the clock may step now: a step never reaches the end of the
// segment the chip holds queued, so every slot that frees is filled in time.
uint64_t step_ns(const std::vector<Segment> &path, int handed) {
  const int queued = std::clamp(handed - 1, 0, static_cast<int>(path.size()) - 1);
  return std::max<uint64_t>(20000, static_cast<uint64_t>(path[queued].ms * 0.45 * NS_PER_MS));
}

// The application's feed: each segment as soon as next-ready says the chip
// has room. A segment the chip can no longer take (the path stopped) is
// refused by the export: the break is reported to the application.
void feed_all(const SoakRun &run, const std::vector<Segment> &path, SpeedWatch &watch,
              SoakResult &result) {
  const uint64_t start = run.manual_clock ? probe_now_ns() : 0;
  for (int polls = 0; result.fed < static_cast<int>(path.size()); ++polls) {
    uint8_t ready = 0;
    if (rm720_conti_interp_next_ready(0, &ready) != SUCCESS_NO_ERROR ||
        (ready == 1 && feed(path[result.fed], FOLLOWING) != SUCCESS_NO_ERROR)) {
      result.break_reported = true;
      return;
    }
    if (ready == 1) {
      ++result.fed;
    } else if (run.manual_clock) {
      sample_speed(watch);
      if (probe_now_ns() - start > LIMIT_NS) return;
      probe_advance_ns(step_ns(path, result.fed));
    } else if (polls % 64 == 0) {
      sample_speed(watch);
    }
  }
}

// Follows the run to its end: the table's, or the application's last
// segments. On the manual clock only the interrupt feeds the table; on a
// scaled one the application waits for the end as applications do, polling
// motion_done, and the driver also feeds the table when such a request
// finds the slot free.
void follow_run(const SoakRun &run, const std::vector<Segment> &path, SpeedWatch &watch,
                SoakResult &result) {
  result.fed = 1;
  if (run.feed == SoakFeed::Application) feed_all(run, path, watch, result);
  const uint64_t start = run.manual_clock ? probe_now_ns() : 0;
  while (probe_axis_busy(0)) {
    const int handed = run.feed == SoakFeed::Table ? handed_over() : result.fed;
    if (run.feed == SoakFeed::Table) result.fed = std::max(result.fed, handed);
    if (run.manual_clock) {
      sample_speed(watch);
      if (probe_now_ns() - start > LIMIT_NS) break;
      probe_advance_ns(step_ns(path, handed));
      continue;
    }
    uint8_t done = 0;
    int16_t state = 0;
    rm720_motion_done(0, AXIS_X, &done, &state);
    sample_speed(watch);  // every poll: a dip between segments is short
  }
  while (probe_axis_busy(0) || probe_axis_busy(1) || probe_axis_busy(2)) {
    if (run.manual_clock)
      probe_advance_ns(NS_PER_MS);
    else
      usleep(1000);
  }
}

}  // namespace

SoakResult run_soak(const SoakRun &run) {
  SoakResult result;
  const std::vector<Segment> path = make_path(run);
  int32_t start[3], expected[3];
  for (int k = 0; k < 3; ++k) expected[k] = start[k] = probe_command_counter(k);
  for (const Segment &s : path) {
    for (int k = 0; k < 3; ++k) expected[k] += s.end[k];
  }
  result.failure = open_run(run, path, start);
  if (!result.failure.empty()) return result;
  const bool ramps = run.shape == SoakShape::Lines3 && run.feed == SoakFeed::Table;
  SpeedWatch watch(ramps);
  follow_run(run, path, watch, result);

  uint8_t done = 0;
  int16_t state = 0;
  if (rm720_motion_done(0, AXIS_X, &done, &state) != SUCCESS_NO_ERROR) result.failure = "no motion state";
  if (state & DRIVE_FINISH_CONTI_BROKEN) result.break_reported = true;
  if (run.feed == SoakFeed::Application) rm720_conti_interp_end(0);
  result.exact_end = true;
  for (int k = 0; k < axis_count(run.shape); ++k) {
    const int32_t at = probe_command_counter(k);
    if (at != expected[k]) {
      result.exact_end = false;
      result.failure += " axis " + std::to_string(k) + " at " + std::to_string(at - start[k]) +
                        " of " + std::to_string(expected[k] - start[k]) + ";";
    }
  }
  result.gap_free = watch.gap_free();
  // A T-curve path ends at its start speed (the master's step rate, at most
  // the path's start speed); a constant-speed one runs at speed to its end.
  const double final_speed = probe_final_speed(0);
  result.decelerated = !ramps || final_speed <= SOAK_START_SPEED + SPEED_TOLERANCE;
  if (!result.decelerated)
    result.failure += " no final deceleration (ended at " + std::to_string(final_speed) + " PPS);";
  if (!result.gap_free) result.failure += " the speed fell below the path's;";
  if (result.break_reported) result.failure += " break reported;";
  result.failure += " state " + std::to_string(state) + ", " + std::to_string(result.fed) +
                    " of " + std::to_string(run.segments) + " segments handed over";
  return result;
}

std::string describe(const SoakRun &run) {
  static const char *const SHAPES[] = {"lines3", "mixed2", "mixed3"};
  char text[160];
  std::snprintf(text, sizeof text, "%s %s %.1f-%.1f ms seed %u %s clock",
                run.feed == SoakFeed::Table ? "table" : "application",
                SHAPES[static_cast<int>(run.shape)], run.shortest_ms, run.longest_ms, run.seed,
                run.manual_clock ? "manual" : "scaled");
  return text;
}

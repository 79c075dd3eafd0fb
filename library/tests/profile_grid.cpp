#include "profile_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "bench.h"
#include "rm720.h"
#include "unit_conversion.h"

namespace {

constexpr uint8_t CARD = 0;
constexpr int X = 0, Y = 1;
constexpr uint16_t OPTION_RATES_AS_TIMES = 3, OPTION_DECEL_POINT = 5;
constexpr uint16_t ARC_CCW = 0x33;
constexpr uint32_t RANGES[] = {16000, 160000, 800000, 8000000};
constexpr uint16_t JERK_WORDS[] = {1, 31, 1000, 31250, 65535};
constexpr uint16_t SV_WORD = 100, DV_WORD = 2000;
// Accelerations and decelerations of no whole chip unit (x 125 M PPS/s).
constexpr double ACC_UNITS[] = {2.5, 37.5, 1000.5};
constexpr double DEC_UNITS[] = {7.25, 61.25, 3000.75};

// ---- The ideal profile of the chip's words ------------------------------------

// How fast a ramp may change the speed: acceleration limit (PPS/s) and
// 1 / jerk (0: a T-curve).
struct Rate {
  double acceleration = 0, inverse_jerk = 0;
};

double ramp_seconds(double change, const Rate &r) {
  if (change <= 0) return 0;
  if (r.inverse_jerk == 0) return change / r.acceleration;
  if (change <= r.acceleration * r.acceleration * r.inverse_jerk)
    return 2 * std::sqrt(change * r.inverse_jerk);
  return change / r.acceleration + r.acceleration * r.inverse_jerk;
}

struct Profile {
  double m = 1, sv = 0, dv = 0;
  Rate up, down;
  bool whole_word_peak = false;  // the plan lowers the drive speed to a word
};

double ramps_pulses(const Profile &p, double v) {
  return (v + p.sv) / 2 * (ramp_seconds(v - p.sv, p.up) + ramp_seconds(v - p.sv, p.down));
}

// Seconds of a move of n pulses (steps): up to the highest speed whose ramps
// fit, cruise, down to the start speed.
double ideal_seconds(const Profile &p, double n) {
  if (p.dv <= p.sv) return n / p.sv;
  double v = p.dv;
  if (ramps_pulses(p, v) > n) {
    double low = p.sv, high = p.dv;
    for (int i = 0; i < 100; ++i) {
      const double mid = (low + high) / 2;
      (ramps_pulses(p, mid) <= n ? low : high) = mid;
    }
    v = p.whole_word_peak ? std::max(p.sv, std::floor(low / p.m + 1e-9) * p.m) : low;
  }
  if (v <= p.sv) return n / p.sv;
  return ramp_seconds(v - p.sv, p.up) + ramp_seconds(v - p.sv, p.down) + (n - ramps_pulses(p, v)) / v;
}

// Seconds of a move that cruises at its drive speed until `at`, is slowed to
// `lower` there and ends at its start speed.
double ideal_changed_seconds(const Profile &p, double n, double at, double lower) {
  const double up = ramp_seconds(p.dv - p.sv, p.up);
  const double slow = ramp_seconds(p.dv - lower, p.down);
  const double down = ramp_seconds(lower - p.sv, p.down);
  const double run = (p.dv + p.sv) / 2 * up + p.dv * (at - up) + (p.dv + lower) / 2 * slow +
                     (lower + p.sv) / 2 * down;
  return at + slow + down + (n - run) / lower;
}

// ---- Words as the library converts the caller's values ---------------------------

double multiplier(uint32_t range) { return 8000000.0 / range; }
uint32_t speed(uint16_t word, double m) { return static_cast<uint32_t>(word * m); }
uint32_t acc_of_units(double units, double m) { return static_cast<uint32_t>(units * 125 * m); }
uint16_t acc_word(uint32_t acc, double m) { return static_cast<uint16_t>(acc / (125 * m)); }
// The jerk whose word is `word` (the lowest legal jerk for the highest word).
uint32_t jerk_of_word(uint16_t word, double m) {
  const double top = 62500000.0 * m;
  if (word == 65535) return static_cast<uint32_t>(top / 65535);
  return static_cast<uint32_t>(std::min(top / (word + 0.5), 4294967295.0));
}
uint16_t jerk_word(uint32_t jerk, double m) {
  return static_cast<uint16_t>(std::min(65535.0, std::floor(62500000.0 * m / jerk)));
}
Rate t_rate(uint32_t acc, double m) { return {acc_word(acc, m) * 125 * m, 0}; }
// The chip runs S-curves at the highest acceleration word, limited by the jerk.
Rate s_rate(uint32_t jerk, double m) { return {8000 * 125 * m, jerk_word(jerk, m) / (62500000.0 * m)}; }

Profile profile_of(double m, uint32_t sv, uint32_t dv, Rate up, Rate down, bool whole_word) {
  Profile p;
  p.m = m;
  p.sv = std::floor(sv / m) * m;
  p.dv = std::floor(dv / m) * m;
  p.up = up;
  p.down = down;
  p.whole_word_peak = whole_word;
  return p;
}

// ---- Running one move -------------------------------------------------------------

int32_t counter(int axis) {
  int32_t value = 0;
  rm720_get_cmdcounter(CARD, static_cast<uint16_t>(1u << axis), &value);
  return value;
}

struct Move {
  std::string name;
  std::function<int()> start;  // the export's status
  int master = X;
  int32_t expect[2] = {0, 0};  // counter changes of X and Y
  double m = 1;
  double end_speed = 0, drive_speed = 0;
  double ideal = 0;            // seconds; 0: none
  double allowance = 0;
  // A run fed by interrupts (the segment table) needs the clock stepped
  // finer than its segments, so that each interrupt is served in time.
  uint64_t step_ns = 0;
  double budget = 0;  // seconds the clock runs for a move without an ideal
};

GridOutcome run(const Move &move) {
  GridOutcome out;
  out.name = move.name;
  out.speed_step = move.m;
  out.end_speed = move.end_speed;
  out.drive_speed = move.drive_speed;
  out.ideal_seconds = move.ideal;
  out.allowance_seconds = move.allowance;
  const int32_t before[2] = {counter(X), counter(Y)};
  out.status = move.start();
  if (out.status != 0) return out;
  const double expected = move.ideal > 0 ? move.ideal : move.budget > 0 ? move.budget : 1.0;
  const auto whole = static_cast<uint64_t>((expected * 1.02 + move.allowance + 1e-3) * 1e9);
  const uint64_t chunk = move.step_ns ? move.step_ns : whole;
  BenchDrive drive;
  uint64_t waited = 0;
  do {
    bench_advance_ns(chunk);
    waited += chunk;
    drive = bench_last_drive(0, move.master);
  } while (drive.running && waited < 20 * whole);
  out.ended = !drive.running;
  out.seconds = static_cast<double>(drive.ended_ns - drive.started_ns) * 1e-9;
  out.final_speed = drive.final_speed;
  out.peak_speed = drive.peak_speed;
  int64_t expected_pulses = 0, pulses = 0;
  for (int axis : {X, Y}) {
    expected_pulses += std::llabs(move.expect[axis]);
    pulses += std::llabs(static_cast<int64_t>(counter(axis)) - before[axis] - move.expect[axis]);
  }
  out.pulses_expected = expected_pulses;
  out.pulses = expected_pulses - pulses;  // equal when every axis ended on its target
  if (!out.ended) rm720_stop_move(CARD, static_cast<uint16_t>(1u << move.master), 0x27);
  return out;
}

std::string label(const char *kind, uint32_t range, const std::string &rates, int64_t n) {
  char text[160];
  std::snprintf(text, sizeof text, "%s range %u %s n %lld", kind, range, rates.c_str(),
                static_cast<long long>(n));
  return text;
}

int32_t pulses_for(double ramps, bool long_move) {
  return static_cast<int32_t>(long_move ? std::ceil(3 * ramps) + 1000 : std::max(0.4 * ramps, 50.0));
}

// ---- The kinds -----------------------------------------------------------------

void t_moves(uint32_t range, std::vector<Move> &moves, bool quick) {
  const double m = multiplier(range);
  const uint32_t sv = speed(SV_WORD, m), dv = speed(DV_WORD, m);
  for (size_t i = 0; i < (quick ? 1 : std::size(ACC_UNITS)); ++i) {
    const uint32_t acc = acc_of_units(ACC_UNITS[i], m), dec = acc_of_units(DEC_UNITS[i], m);
    for (bool own_dec : {false, true}) {
      const uint32_t down = own_dec ? dec : acc;
      const Profile p = profile_of(m, sv, dv, t_rate(acc, m), t_rate(down, m), false);
      for (bool long_move : {false, true}) {
        const int32_t n = pulses_for(ramps_pulses(p, p.dv), long_move);
        Move mv{label(own_dec ? "t asym" : "t sym", range, "acc " + std::to_string(acc), n),
                [=] { return rm720_t_move(CARD, 1, sv, dv, acc, down, n, 0); }};
        mv.expect[X] = n;
        mv.m = m, mv.end_speed = p.sv, mv.drive_speed = dv, mv.ideal = ideal_seconds(p, n);
        moves.push_back(mv);
        // The same two ramps along a line whose longest axis is X.
        Move line{label(own_dec ? "t line asym" : "t line sym", range, "acc " + std::to_string(acc), n),
                  [=] { return rm720_t_line2_move(CARD, 1, 2, sv, dv, acc, down, n, -n / 3, 0, 0); }};
        line.expect[X] = n, line.expect[Y] = -n / 3;
        line.m = m, line.end_speed = p.sv, line.drive_speed = dv, line.ideal = mv.ideal;
        moves.push_back(line);
      }
    }
    // Rates as times: the acceleration is the speed change over that many ms.
    const uint32_t ms = 40 + 300 * static_cast<uint32_t>(i);
    const uint32_t from_time = acceleration_from_time(sv, dv, ms);
    const Profile p = profile_of(m, sv, dv, t_rate(from_time, m), t_rate(from_time, m), false);
    const int32_t n = pulses_for(ramps_pulses(p, p.dv), true);
    Move timed{label("t option 3", range, std::to_string(ms) + " ms", n), [=] {
                 rm720_set_customization(CARD, OPTION_RATES_AS_TIMES, 1);
                 const int status = rm720_t_move(CARD, 1, sv, dv, ms, ms, n, 0);
                 rm720_set_customization(CARD, OPTION_RATES_AS_TIMES, 0);
                 return status;
               }};
    timed.expect[X] = n;
    timed.m = m, timed.end_speed = p.sv, timed.drive_speed = dv, timed.ideal = ideal_seconds(p, n);
    moves.push_back(timed);
  }
}

void const_moves(uint32_t range, std::vector<Move> &moves) {
  const double m = multiplier(range);
  const uint32_t dv = speed(DV_WORD, m);
  const int32_t n = static_cast<int32_t>(dv / 4);  // a quarter of a second
  Move mv{label("const", range, "", n), [=] { return rm720_const_move(CARD, 1, dv, n); }};
  mv.expect[X] = n;
  mv.m = m, mv.end_speed = dv, mv.drive_speed = dv, mv.ideal = n / (std::floor(dv / m) * m);
  moves.push_back(mv);
}

struct SKind {
  const char *name;
  bool asymmetric, option5, times;
};

void s_moves(uint32_t range, std::vector<Move> &moves, bool quick) {
  const double m = multiplier(range);
  const uint32_t sv = speed(SV_WORD, m), dv = speed(DV_WORD, m);
  const SKind kinds[] = {{"s sym", false, false, false},
                         {"s asym", true, false, false},
                         {"s option 5", false, true, false},
                         {"s option 3", true, false, true}};
  const size_t words = quick ? 1 : std::size(JERK_WORDS);
  for (size_t i = 0; i < words; ++i) {
    const size_t w = quick ? 3 : i;
    for (const SKind &kind : kinds) {
      uint32_t jerk = jerk_of_word(JERK_WORDS[w], m);
      uint32_t decel_jerk =
          kind.asymmetric ? jerk_of_word(JERK_WORDS[(w + 2) % std::size(JERK_WORDS)], m) : jerk;
      uint32_t jerk_arg = jerk, decel_arg = decel_jerk;
      if (kind.times) {  // the time of each whole ramp, in ms
        jerk_arg = std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(
                                              2000 * std::sqrt((dv - sv) / static_cast<double>(jerk)))));
        decel_arg = std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(
                                               2000 * std::sqrt((dv - sv) / static_cast<double>(decel_jerk)))));
        jerk = jerk_from_time(sv, dv, jerk_arg);
        decel_jerk = jerk_from_time(sv, dv, decel_arg);
        const auto lowest = static_cast<uint32_t>(62500000.0 * m / 65535);
        if (std::min(jerk, decel_jerk) < lowest) continue;  // beyond the axis's jerk limits
      }
      const bool mode7 = kind.option5 || jerk != decel_jerk;
      const Profile p = profile_of(m, sv, dv, s_rate(jerk, m), s_rate(decel_jerk, m), mode7);
      const std::string rates = "words " + std::to_string(jerk_word(jerk, m)) + "/" +
                                std::to_string(jerk_word(decel_jerk, m));
      for (bool long_move : {false, true}) {
        const int32_t n = pulses_for(ramps_pulses(p, p.dv), long_move);
        Move mv{label(kind.name, range, rates, n), [=] {
                  rm720_set_customization(CARD, OPTION_DECEL_POINT, kind.option5);
                  rm720_set_customization(CARD, OPTION_RATES_AS_TIMES, kind.times);
                  const int status = rm720_s_move(CARD, 2, sv, dv, jerk_arg, decel_arg, -n, 0);
                  rm720_set_customization(CARD, OPTION_DECEL_POINT, 0);
                  rm720_set_customization(CARD, OPTION_RATES_AS_TIMES, 0);
                  return status;
                }};
        mv.master = Y;
        mv.expect[Y] = -n;
        mv.m = m, mv.end_speed = p.sv, mv.drive_speed = dv, mv.ideal = ideal_seconds(p, n);
        mv.allowance = mode7 ? 1 / p.sv : 0;
        moves.push_back(mv);
        if (!kind.asymmetric || kind.times) continue;
        Move line{label("s line asym", range, rates, n),
                  [=] { return rm720_s_line2_move(CARD, 2, 1, sv, dv, jerk, decel_jerk, n, n / 2, 0, 0); }};
        line.master = Y;
        line.expect[Y] = n, line.expect[X] = n / 2;
        line.m = m, line.end_speed = p.sv, line.drive_speed = dv, line.ideal = mv.ideal;
        line.allowance = mv.allowance;
        moves.push_back(line);
      }
    }
  }
}

// Speed changes: a long move slowed to half its speed at cruise, which must
// still end at its start speed on its last pulse.
void speed_changes(uint32_t range, std::vector<Move> &moves) {
  const double m = multiplier(range);
  const uint32_t sv = speed(SV_WORD, m), dv = speed(DV_WORD, m);
  const uint32_t acc = acc_of_units(ACC_UNITS[1], m);
  const uint32_t jerk = jerk_of_word(1000, m), decel_jerk = jerk_of_word(31, m);
  const Profile t = profile_of(m, sv, dv, t_rate(acc, m), t_rate(acc, m), false);
  const Profile s = profile_of(m, sv, dv, s_rate(jerk, m), s_rate(decel_jerk, m), true);
  struct Change {
    const char *name;
    double ramps;
    std::function<int()> start, change;
  };
  const int32_t tn = pulses_for(ramps_pulses(t, t.dv), true);
  const int32_t sn = pulses_for(ramps_pulses(s, s.dv), true);
  const Change changes[] = {
      {"t_change_v", ramps_pulses(t, t.dv), [=] { return rm720_t_move(CARD, 1, sv, dv, acc, acc, tn, 0); },
       [=] { return rm720_t_change_v(CARD, 1, dv / 2, 0, 0); }},
      {"s_change_v", ramps_pulses(s, s.dv), [=] { return rm720_s_move(CARD, 1, sv, dv, jerk, decel_jerk, sn, 0); },
       [=] { return rm720_s_change_v(CARD, 1, dv / 2, 0, 0); }},
  };
  for (const Change &c : changes) {
    const bool s_curve = c.name[0] == 's';
    const int32_t n = s_curve ? sn : tn;
    const Profile &p = s_curve ? s : t;
    // At cruise: after the ramp up and a third of the cruise.
    const double cruise_at = ramp_seconds(p.dv - p.sv, p.up) + (n - c.ramps) / p.dv / 3;
    const auto start = c.start, change = c.change;
    Move mv{label(c.name, range, "to dv/2", n), [=] {
              const int status = start();
              if (status != 0) return status;
              bench_advance_ns(static_cast<uint64_t>(cruise_at * 1e9));
              return change();
            }};
    mv.expect[X] = n;
    mv.m = m, mv.end_speed = p.sv, mv.drive_speed = dv;
    const double at = static_cast<double>(static_cast<uint64_t>(cruise_at * 1e9)) * 1e-9;
    mv.ideal = ideal_changed_seconds(p, n, at, std::floor(dv / 2 / m) * m);
    mv.allowance = s_curve ? 1 / p.sv : 0;
    moves.push_back(mv);
  }
}

// Arcs: a full circle and a quarter, counter-clockwise, with the T-curve's
// deceleration point of the library.
void arcs(uint32_t range, std::vector<Move> &moves) {
  const double m = multiplier(range);
  const uint32_t sv = speed(SV_WORD, m), dv = speed(DV_WORD, m);
  for (double units : {ACC_UNITS[1], ACC_UNITS[2]}) {
    const uint32_t acc = acc_of_units(units, m);
    const Profile p = profile_of(m, sv, dv, t_rate(acc, m), t_rate(acc, m), false);
    const auto r = static_cast<int32_t>(std::max(ramps_pulses(p, p.dv), 400.0));
    struct Arc {
      const char *name;
      int32_t cx, cy, ex, ey;
      double octants;
    };
    // The chip runs r / sqrt(2) steps an octant; the library counts whole
    // steps an octant, and the steps it leaves out run at the start speed.
    const double octant = r / std::sqrt(2.0);
    for (const Arc a : {Arc{"arc circle", r, 0, 0, 0, 8}, Arc{"arc quarter", -r, 0, -r, r, 2}}) {
      Move mv{label(a.name, range, "acc " + std::to_string(acc), r),
              [=] { return rm720_t_arc2_move(CARD, 1, 2, sv, dv, acc, ARC_CCW, a.cx, a.cy, a.ex, a.ey, 0, 0); }};
      mv.expect[X] = a.ex, mv.expect[Y] = a.ey;
      mv.m = m, mv.end_speed = p.sv, mv.drive_speed = dv;
      const double steps = std::round(a.octants * octant);
      mv.ideal = ideal_seconds(p, steps);
      mv.allowance = (steps - a.octants * std::floor(octant) + 1) / p.sv;
      moves.push_back(mv);
    }
  }
}

// A table run of absolute lines on X, Y and Z: the driver switches the
// deceleration on at the library's threshold, and the run must still end
// on its last point at its start speed. No ideal duration: the threshold
// counts the lines' lengths, the chip their longest axes.
void table_runs(uint32_t range, std::vector<Move> &moves) {
  // The run widens its partners' ranges, which the top range leaves no room for.
  if (range >= 8000000) return;
  const double m = multiplier(range);
  const uint32_t sv = speed(SV_WORD, m), dv = speed(DV_WORD, m);
  const uint32_t acc = acc_of_units(ACC_UNITS[1], m), dec = acc_of_units(DEC_UNITS[1], m);
  const Profile p = profile_of(m, sv, dv, t_rate(acc, m), t_rate(dec, m), false);
  for (double fraction : {0.3, 1.5}) {  // lines shorter and longer than the ramps
    const auto step = static_cast<int32_t>(std::max(fraction * ramps_pulses(p, p.dv), 20.0));
    constexpr int32_t LINES = 8;
    Move mv{label("table run", range, "lines of " + std::to_string(step), LINES * step), [=] {
              int32_t origin[3] = {};
              for (int k = 0; k < 3; ++k) rm720_get_cmdcounter(CARD, static_cast<uint16_t>(1u << k), &origin[k]);
              int status = rm720_conti_interp_config(CARD, 1, 2, 4, sv, dv, acc, dec, 0);
              for (int32_t k = 1; status == 0 && k <= LINES; ++k)
                status = rm720_conti_abs_line3_move_load(CARD, origin[0] + k * step,
                                                         origin[1] + k * step / 2, origin[2] + (k % 2) * step / 4);
              return status != 0 ? status : rm720_conti_interp_start_all(CARD);
            }};
    mv.expect[X] = LINES * step, mv.expect[Y] = LINES * step / 2;
    // Each line runs its vector at the speeds: X, its longest axis, slower.
    const double last_scale = 1 / std::sqrt(1 + 0.25 + 0.0625);
    mv.m = m, mv.end_speed = p.sv * last_scale, mv.drive_speed = dv;
    mv.budget = 2 * LINES * step / p.dv + 2 * ramp_seconds(p.dv - p.sv, p.down);
    mv.step_ns = static_cast<uint64_t>(step / p.dv / 8 * 1e9);
    moves.push_back(mv);
  }
}

}  // namespace

std::vector<GridOutcome> run_profile_grid(bool quick) {
  std::vector<GridOutcome> outcomes;
  for (uint32_t range : RANGES) {
    for (uint16_t axis : {1, 2}) rm720_set_range(CARD, axis, range);
    std::vector<Move> moves;
    const_moves(range, moves);
    t_moves(range, moves, quick);
    s_moves(range, moves, quick);
    speed_changes(range, moves);
    arcs(range, moves);
    table_runs(range, moves);
    for (const Move &move : moves) outcomes.push_back(run(move));
  }
  return outcomes;
}

double final_speed_error_steps(const GridOutcome &o) {
  return std::fabs(o.final_speed - o.end_speed) / o.speed_step;
}

double duration_error(const GridOutcome &o) {
  if (o.ideal_seconds <= 0) return 0;
  const double over = o.seconds - o.ideal_seconds;
  const double beyond = over > 0 ? std::max(0.0, over - o.allowance_seconds) : over;
  return std::fabs(beyond) / o.ideal_seconds;
}

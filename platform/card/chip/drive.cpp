// The drive state machine of one axis: starts, ramps, cruise, deceleration,
// creep to the last pulse, stops, and the events that move it along.
//
// A fixed drive decelerates at its deceleration point: the manual one of
// kCmdDecPoint, or the automatic one, placed so that the speed reaches the
// end speed kCmdAccOffset pulses before the target; those pulses are then
// output at the end speed. When the distance is too short for the drive
// speed, the cruise speed is lowered so that the ramps fit (with avoid
// triangle, so that they fill only half of the distance).
//
// The drive of an interpolation's master carries its path (interpolation.h):
// its progress is then path steps, which move every axis of the path, and
// the path's axes are watched for limits, sensors and comparators.
#include <algorithm>
#include <cmath>

#include "axis.h"
#include "chip_units.h"
#include "interpolation.h"

namespace card::chip {
namespace {

constexpr double kPulseTolerance = 1e-7;
constexpr double kSpeedTolerance = 1e-6;
constexpr int kBisectionSteps = 60;
constexpr int kMaxEventsPerInstant = 32;
constexpr std::uint16_t kStatus1PhaseBits = 0x00FF;

bool reached(double p, double threshold) { return p + kPulseTolerance >= threshold; }

// A drive's speeds and ramps in PPS units, from its speed source.
struct DriveParams {
  double start_speed = 0;
  double drive_speed = 0;
  RampLimits up, down;
  double offset = 0;  // pulses output at the end speed after deceleration
  bool manual_dec_point = false;
  double dec_point = 0;
  bool avoid_triangle = false;
};

// A path's steps run at the registers' speeds times the segment's scale.
void scale_speeds(DriveParams& p, double scale) {
  p.start_speed *= scale;
  p.drive_speed *= scale;
  for (RampLimits* limits : {&p.up, &p.down}) {
    limits->acceleration *= scale;
    limits->inverse_jerk /= scale;
  }
}

DriveParams drive_params(const AxisState& axis) {
  const AxisRegisters& r = axis.reg;
  const double m = multiplier(r.range);
  const bool s_curve = (r.mode3 & kMode3SCurve) != 0;
  DriveParams p;
  p.up = {acceleration_pps2(r.acc, m), s_curve ? inverse_jerk(r.jerk, m) : 0};
  p.down = (r.mode3 & kMode3SeparateDec)
               ? RampLimits{acceleration_pps2(r.dec, m), s_curve ? inverse_jerk(r.dec_jerk, m) : 0}
               : p.up;
  switch (axis.drive.source) {
    case SpeedSource::kRegisters:
    case SpeedSource::kPath:
      p.start_speed = speed_pps(r.start_speed, m);
      p.drive_speed = speed_pps(r.drive_speed, m);
      p.offset = static_cast<std::int16_t>(r.acc_offset);
      p.manual_dec_point = (r.mode3 & kMode3ManualDecPoint) != 0;
      p.dec_point = r.dec_point;
      p.avoid_triangle = (r.ext1 & kExt1AvoidTriangle) != 0;
      break;
    case SpeedSource::kHomeLowSpeed:
      p.start_speed = p.drive_speed = speed_pps(r.home_speed, m);
      break;
    case SpeedSource::kHandWheel:
      p.start_speed = p.drive_speed = speed_pps(r.drive_speed, m);
      break;
  }
  if (axis.drive.path) scale_speeds(p, axis.drive.path->current.speed_scale);
  // A drive speed below the start speed is driven at constant speed.
  p.start_speed = std::min(p.start_speed, p.drive_speed);
  return p;
}

void update_travel(AxisState& axis) {
  if (axis.drive.path) {
    place_on_path(*axis.drive.path, axis.drive.now.p);
    return;
  }
  axis.travel = axis.drive.origin + axis.drive.direction * pulses_done(axis.drive.now.p);
}

// A path with interpolation deceleration off runs at speed to its end.
bool decelerates_to_target(const Drive& d) { return d.fixed && !(d.path && !d.path->decelerate); }

bool drive_stop_condition(AxisState& axis, std::uint16_t& reason, bool& sudden) {
  if (axis.drive.path) return path_stop_condition(*axis.drive.path, axis.drive.now.p, reason, sudden);
  return stop_condition(axis, axis.drive.direction, reason, sudden);
}

// The highest speed of the present segment up to `now` joins the log.
void log_peak_speed(AxisState& axis, SimTime now) {
  const Segment& s = axis.drive.segment;
  if (!moving(axis.drive) || now < s.start) return;
  const double seconds = to_seconds(std::min(now, s.end) - s.start);
  double peak = std::max(s.at_start.v, evolve(s.at_start, s.jerk, seconds).v);
  if (s.jerk != 0) {
    const double turn = -s.at_start.a / s.jerk;  // where the acceleration passes 0
    if (turn > 0 && turn < seconds) peak = std::max(peak, evolve(s.at_start, s.jerk, turn).v);
  }
  axis.log.peak_speed = std::max(axis.log.peak_speed, peak);
}

void begin_segment(AxisState& axis, SimTime now, const Kinematics& k, double jerk, double seconds) {
  log_peak_speed(axis, now);
  Segment& s = axis.drive.segment;
  s.start = now;
  s.at_start = k;
  s.jerk = jerk;
  s.end = std::isinf(seconds) ? kNever : now + static_cast<SimTime>(std::llround(seconds * 1e9));
  axis.drive.now = k;
  axis.events_dirty = true;
}

void hold_speed(AxisState& axis, SimTime now, double speed) {
  begin_segment(axis, now, Kinematics{axis.drive.now.p, speed, 0}, 0, INFINITY);
}

void end_drive(AxisState& axis, SimTime now) {
  axis.drive.phase = DrivePhase::kIdle;
  axis.drive.now.v = axis.drive.now.a = 0;
  axis.events_dirty = true;
  axis.last_drive_end = now;
  if (axis.drive.path) {
    end_path(*axis.drive.path);
    axis.drive.path = nullptr;
  }
  if (axis.home.active) {
    home_drive_ended(axis, now);
  } else {
    raise_factor(axis, kFactorDriveEnd);
  }
  sync_condition(axis, kSync1DriveEnd, now);
}

// Pulse output is over; with the in-position check on, the axis stays busy
// until the servo reports in position.
void end_output(AxisState& axis, SimTime now) {
  Drive& d = axis.drive;
  log_peak_speed(axis, now);
  axis.log.ended = now;
  axis.log.final_speed = d.now.v;
  d.now = Kinematics{static_cast<double>(pulses_done(d.now.p)), 0, 0};
  update_travel(axis);
  const bool check = (axis.reg.mode2 & kMode2InpEnable) != 0;
  if (check && !axis.mech.in_position) {
    d.phase = DrivePhase::kWaitInPosition;
    d.segment.end = kNever;
    axis.events_dirty = true;
    return;
  }
  end_drive(axis, now);
}

void enter_cruise(AxisState& axis, SimTime now) {
  axis.drive.phase = DrivePhase::kCruise;
  hold_speed(axis, now, axis.drive.cruise_speed);
}

void deceleration_done(AxisState& axis, SimTime now) {
  Drive& d = axis.drive;
  if (d.stopping || !d.fixed) {
    end_output(axis, now);
    return;
  }
  d.phase = DrivePhase::kCreep;
  hold_speed(axis, now, d.end_speed);
}

// Starts the next piece of the ramp, or the phase after it.
void follow_ramp(AxisState& axis, SimTime now) {
  Drive& d = axis.drive;
  if (d.next_piece < d.ramp.count) {
    const Piece& piece = d.ramp.pieces[d.next_piece++];
    Kinematics k = d.now;
    k.a = piece.a;
    begin_segment(axis, now, k, piece.jerk, piece.seconds);
    return;
  }
  if (d.phase == DrivePhase::kRamp) {
    enter_cruise(axis, now);
  } else {
    deceleration_done(axis, now);
  }
}

void start_ramp(AxisState& axis, SimTime now, DrivePhase phase, double to_speed, const RampLimits& limits) {
  Drive& d = axis.drive;
  d.phase = phase;
  d.ramp = plan_ramp(d.now.v, d.now.a, to_speed, limits);
  d.next_piece = 0;
  follow_ramp(axis, now);
}

void begin_deceleration(AxisState& axis, SimTime now) {
  const DriveParams p = drive_params(axis);
  if (axis.drive.now.v <= axis.drive.end_speed + kSpeedTolerance && axis.drive.now.a <= 0) {
    axis.drive.now.v = axis.drive.end_speed;
    axis.drive.now.a = 0;
    deceleration_done(axis, now);
    return;
  }
  start_ramp(axis, now, DrivePhase::kDecelerate, axis.drive.end_speed, p.down);
}

// Distance of the ramp from the present motion to `speed` plus that of the
// deceleration from `speed` to the end speed.
double ramps_distance(const Drive& d, const DriveParams& p, double speed) {
  const Ramp up = plan_ramp(d.now.v, d.now.a, speed, speed >= d.now.v ? p.up : p.down);
  const Ramp down = plan_ramp(speed, 0, d.end_speed, p.down);
  return ramp_distance(d.now.v, up) + ramp_distance(speed, down);
}

// The highest speed up to the drive speed whose ramps fit in `budget`.
double fitting_speed(const Drive& d, const DriveParams& p, double low, double budget) {
  double high = p.drive_speed;
  for (int i = 0; i < kBisectionSteps; ++i) {
    const double mid = (low + high) / 2;
    (ramps_distance(d, p, mid) <= budget ? low : high) = mid;
  }
  return low;
}

// Plans the rest of a drive in phase kRamp or kCruise from its present motion.
void plan_from_now(AxisState& axis, SimTime now) {
  Drive& d = axis.drive;
  const DriveParams p = drive_params(axis);
  d.end_speed = p.start_speed;
  double cruise = p.drive_speed;
  d.dec_point = INFINITY;
  if (decelerates_to_target(d)) {
    const double room = d.target - p.offset - d.now.p;
    if (p.manual_dec_point) {
      d.dec_point = p.dec_point;
    } else {
      if (ramps_distance(d, p, cruise) > room) {
        const double low = std::max(d.now.v, d.end_speed);
        const double budget = p.avoid_triangle ? room / 2 : room;
        if (low >= p.drive_speed || ramps_distance(d, p, low) > budget) {
          begin_deceleration(axis, now);
          return;
        }
        cruise = fitting_speed(d, p, low, budget);
      }
      d.dec_point = d.target - p.offset - ramp_distance(cruise, plan_ramp(cruise, 0, d.end_speed, p.down));
    }
    if (reached(d.now.p, d.dec_point)) {
      begin_deceleration(axis, now);
      return;
    }
  }
  d.cruise_speed = cruise;
  d.ramp_rising = cruise >= d.now.v;
  start_ramp(axis, now, DrivePhase::kRamp, cruise, d.ramp_rising ? p.up : p.down);
}

// A path keeps its vector speed, acceleration and jerk from one segment into
// the next; only their measure in steps changes with the segment's scale.
// So the motion under way goes on from the same vector motion: a ramp or
// cruise is planned anew, a deceleration goes on to the new segment's start
// speed, a creep runs at it. Ramping the step rate from one scale to the
// other instead would let a deceleration planned in one segment's steps end
// above the start speed, or early, in another's.
void continue_at_segment_scale(AxisState& axis, SimTime now, double ratio) {
  Drive& d = axis.drive;
  axis.events_dirty = true;
  const bool rescaled = ratio != 1;
  if (rescaled) {
    Kinematics k = d.now;
    k.v *= ratio;
    k.a *= ratio;
    begin_segment(axis, now, k, 0, 0);
    d.end_speed = drive_params(axis).start_speed;
  }
  switch (d.phase) {
    case DrivePhase::kRamp:
    case DrivePhase::kCruise:
      if (!d.stopping) plan_from_now(axis, now);
      break;
    case DrivePhase::kDecelerate:
      if (rescaled) begin_deceleration(axis, now);
      break;
    case DrivePhase::kCreep:
      if (rescaled) hold_speed(axis, now, d.end_speed);
      break;
    default:
      break;
  }
}

// Earliest time in the present segment at which progress reaches `threshold`.
SimTime time_to_reach(const Drive& d, double threshold) {
  const Segment& s = d.segment;
  const Kinematics& k0 = s.at_start;
  // Judged exactly as advance() will compute the position at that time.
  auto reached_after = [&](SimTime dt) { return reached(evolve(k0, s.jerk, to_seconds(dt)).p, threshold); };
  if (s.end == kNever) {  // constant speed
    if (k0.v <= 0) return kNever;
    SimTime dt = to_sim_time_ceil(std::max(0.0, threshold - k0.p) / k0.v);
    if (dt >= kNever - s.start) return kNever;
    while (!reached_after(dt)) ++dt;  // rounding: at most a few nanoseconds
    return s.start + dt;
  }
  SimTime high = s.end - s.start;
  if (!reached_after(high)) return kNever;
  SimTime low = 0;
  while (high - low > 1) {
    const SimTime mid = low + (high - low) / 2;
    (reached_after(mid) ? high : low) = mid;
  }
  return s.start + high;
}

// Stops the drive when a limit, alarm or emergency stop forbids its direction.
void check_stop_condition(AxisState& axis, SimTime now) {
  std::uint16_t reason = 0;
  bool sudden = false;
  if (!drive_stop_condition(axis, reason, sudden)) return;
  if (!sudden && axis.drive.stopping && axis.drive.stopped_by_condition) return;
  axis.stop_reasons |= reason;
  axis.drive.stopped_by_condition = true;
  stop_output(axis, now, sudden);
}

// Handles one thing that is due; false when nothing is.
bool handle_one_event(AxisState& axis, SimTime now) {
  Drive& d = axis.drive;
  if (!moving(d)) return false;
  if (d.fixed && pulses_done(d.now.p) >= d.target) {
    end_output(axis, now);
    return true;
  }
  if (d.path) {
    const double scale_before = d.path->current.speed_scale;
    if (next_path_segment(*d.path, d.now.p)) {
      continue_at_segment_scale(axis, now, d.path->current.speed_scale / scale_before);
      return true;
    }
  }
  const DrivePhase before = d.phase;
  const bool stopping_before = d.stopping;
  check_stop_condition(axis, now);
  if (d.phase != before || d.stopping != stopping_before) return true;
  check_home_input(axis, now);
  if (d.phase != before || d.stopping != stopping_before) return true;
  if (d.fixed && (d.phase == DrivePhase::kRamp || d.phase == DrivePhase::kCruise) &&
      reached(d.now.p, d.dec_point)) {
    begin_deceleration(axis, now);
    return true;
  }
  if (d.segment.end != kNever && now >= d.segment.end) {
    follow_ramp(axis, now);
    return true;
  }
  return false;
}

}  // namespace

std::int64_t pulses_done(double p) { return static_cast<std::int64_t>(std::floor(p + kPulseTolerance)); }

void start_drive(AxisState& axis, SimTime now, bool fixed, int direction, SpeedSource source,
                 std::uint32_t target, Path* path) {
  Drive& d = axis.drive;
  d = Drive{};
  d.path = path;
  d.source = source;
  d.fixed = fixed;
  d.direction = direction;
  d.origin = axis.travel;
  d.target = target;
  axis.stop_reasons = 0;
  const DriveParams p = drive_params(axis);
  d.end_speed = p.start_speed;
  d.phase = DrivePhase::kRamp;
  d.now = Kinematics{0, p.start_speed, 0};
  d.segment = Segment{now, now, d.now, 0};
  axis.log = DriveLog{now, now, p.start_speed, p.start_speed};
  axis.events_dirty = true;

  std::uint16_t reason = 0;
  bool sudden = false;
  if (drive_stop_condition(axis, reason, sudden)) {  // refused: ends at once
    axis.stop_reasons |= reason;
    d.stopped_by_condition = true;
    end_drive(axis, now);
    return;
  }
  if (fixed && target == 0) {
    end_output(axis, now);
    return;
  }
  begin_segment(axis, now, d.now, 0, 0);
  sync_condition(axis, kSync1DriveStart, now);
  if (d.phase == DrivePhase::kRamp) plan_from_now(axis, now);
}

void drive_command(AxisState& axis, SimTime now, std::uint8_t code) {
  if (axis.held) {
    axis.held_command = code;
    return;
  }
  if (busy(axis)) return;  // a drive command while driving is ignored
  switch (code) {
    case kCmdDrivePlus:
    case kCmdDriveMinus:
      start_drive(axis, now, true, code == kCmdDrivePlus ? 1 : -1, SpeedSource::kRegisters, axis.reg.pulses);
      break;
    case kCmdContPlus:
    case kCmdContMinus:
      start_drive(axis, now, false, code == kCmdContPlus ? 1 : -1, SpeedSource::kRegisters, 0);
      break;
    case kCmdHomeStart:
      start_home_search(axis, now);
      break;
    default:
      break;
  }
}

void release_hold(AxisState& axis, SimTime now) {
  axis.held = false;
  const std::uint8_t code = axis.held_command;
  axis.held_command = 0;
  if (code != 0) drive_command(axis, now, code);
}

void stop_output(AxisState& axis, SimTime now, bool sudden) {
  Drive& d = axis.drive;
  if (!moving(d)) return;
  if (sudden) {
    end_output(axis, now);
    return;
  }
  d.stopping = true;
  if (d.phase != DrivePhase::kDecelerate) begin_deceleration(axis, now);
}

void decelerating_stop(AxisState& axis, SimTime now) {
  axis.held_command = 0;
  if (axis.home.active && moving(axis.drive)) axis.home.aborted = true;
  stop_output(axis, now, false);
}

void sudden_stop(AxisState& axis, SimTime now) {
  axis.held_command = 0;
  if (axis.home.active && moving(axis.drive)) axis.home.aborted = true;
  stop_output(axis, now, true);
}

void replan(AxisState& axis, SimTime now) {
  Drive& d = axis.drive;
  if (d.source == SpeedSource::kRegisters && d.fixed && !axis.home.active) d.target = axis.reg.pulses;
  axis.events_dirty = true;
  if (d.phase == DrivePhase::kRamp || d.phase == DrivePhase::kCruise) {
    if (d.stopping) return;
    plan_from_now(axis, now);
  }
  handle_events(axis, now);
}

void advance(AxisState& axis, SimTime now) {
  Drive& d = axis.drive;
  if (!moving(d) || now <= d.segment.start) return;
  const SimTime until = std::min(now, d.segment.end);
  d.now = evolve(d.segment.at_start, d.segment.jerk, to_seconds(until - d.segment.start));
  update_travel(axis);
}

void handle_events(AxisState& axis, SimTime now) {
  for (AxisState* moved : drive_axes(axis)) {
    if (moved) check_comparators(*moved, now);
  }
  for (int i = 0; i < kMaxEventsPerInstant && handle_one_event(axis, now); ++i) {
  }
  axis.events_dirty = true;
}

void recheck(AxisState& axis, SimTime now) {
  if (axis.drive.phase == DrivePhase::kWaitInPosition &&
      (!(axis.reg.mode2 & kMode2InpEnable) || axis.mech.in_position)) {
    end_drive(axis, now);
  }
  handle_events(axis, now);
  AxisState& master = driving_axis(axis);
  if (&master != &axis) handle_events(master, now);  // the path watches this axis too
}

SimTime compute_next_event(AxisState& axis) {
  axis.events_dirty = false;
  const Drive& d = axis.drive;
  SimTime next = kNever;
  if (moving(d)) {
    next = d.segment.end;
    auto consider = [&](double threshold) {
      if (std::isfinite(threshold) && !reached(d.now.p, threshold)) {
        next = std::min(next, time_to_reach(d, threshold));
      }
    };
    if (d.fixed) consider(d.target);
    if (d.fixed && (d.phase == DrivePhase::kRamp || d.phase == DrivePhase::kCruise)) consider(d.dec_point);
    std::int64_t travel = 0;
    double progress = 0;
    if (d.path) {
      if (path_event_progress(*d.path, d.now.p, progress)) consider(progress);
    } else if (next_sensor_travel(axis, d.direction, travel)) {
      consider(static_cast<double>(d.direction * (travel - d.origin)));
    }
  }
  next = std::min(next, axis.wheel_due);
  axis.next_event = next;
  return next;
}

std::uint16_t status1(const AxisState& axis) {
  const AxisState& driver = driving_axis(axis);
  if (&driver != &axis) return (status1(driver) & kStatus1PhaseBits) | axis.stop_reasons;  // a path axis
  const Drive& d = axis.drive;
  std::uint16_t bits = axis.stop_reasons;
  if (d.phase == DrivePhase::kIdle) return bits;
  bits |= kStatus1Driving;
  switch (d.phase) {
    case DrivePhase::kRamp:
      bits |= d.ramp_rising ? kStatus1Accelerating : kStatus1Decelerating;
      break;
    case DrivePhase::kCruise:
      bits |= d.cruise_speed + kSpeedTolerance >= drive_params(axis).drive_speed ? kStatus1AtDriveSpeed
                                                                                  : kStatus1ConstantSpeed;
      break;
    case DrivePhase::kCreep:
      bits |= kStatus1ConstantSpeed;
      break;
    case DrivePhase::kDecelerate:
      bits |= kStatus1Decelerating;
      break;
    default:
      break;
  }
  const bool ramping = d.phase == DrivePhase::kRamp || d.phase == DrivePhase::kDecelerate;
  if (ramping && (axis.reg.mode3 & kMode3SCurve)) {
    const double jerk = d.segment.jerk;
    const double a = d.now.a;
    if (jerk == 0) {
      if (a != 0) bits |= kStatus1SAccConstant;
    } else {
      bits |= (a == 0 || (jerk > 0) == (a > 0)) ? kStatus1SJerkRising : kStatus1SJerkFalling;
    }
  }
  return bits;
}

bool busy(const AxisState& axis) { return axis.drive.phase != DrivePhase::kIdle || axis.on_path; }

void halt(AxisState& axis) {
  axis.drive = Drive{};
  axis.on_path = nullptr;
  axis.home = HomeSearch{};
  axis.held = false;
  axis.held_command = 0;
  axis.events_dirty = true;
}

}  // namespace card::chip

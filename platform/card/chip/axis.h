// The state record of one chip axis and the routines that run it. The chip
// (motion_chip.cpp) owns four of these, calls them under its lock and brings
// every axis up to the same instant before handling an event.
//
// Positions: `travel` is where the machine is, in pulses from power-on; the
// sensors of AxisMechanics sit at travel positions. A drive counts its own
// progress `p` (pulses output, >= 0) from the travel where it began; the
// counters are derived from travel, so setting a counter moves nothing.
#pragma once

#include <cstdint>
#include <limits>

#include "card/chip_registers.h"
#include "card/clock.h"
#include "card/mechanics.h"
#include "profile.h"

namespace card::chip {

constexpr SimTime kNever = std::numeric_limits<SimTime>::max();

struct Path;  // interpolation.h

// Registers written through commands and mode writes (none can be read back).
struct AxisRegisters {
  std::uint32_t range = kDefaultRange;
  std::uint16_t jerk = 0, acc = 0, dec = 0, start_speed = 0, drive_speed = 0;
  std::uint16_t acc_offset = 0, dec_jerk = 0, home_speed = 0;
  std::uint32_t pulses = 0, dec_point = 0;
  std::int32_t arc_center = 0, comp_plus = 0, comp_minus = 0;
  std::uint16_t mode1 = 0, mode2 = 0, mode3 = 0;
  std::uint16_t ext1 = 0, ext2 = 0, sync1 = 0, sync2 = 0;
};

// Phases of a drive.
enum class DrivePhase {
  // No pulse output. Entered at power-on and when a drive ends; left by a
  // drive, home-search or hand-wheel start.
  kIdle,
  // Speed changes along `ramp` toward the cruise speed. Ends when the ramp's
  // pieces are spent (-> kCruise) or at the deceleration point (-> kDecelerate).
  kRamp,
  // Constant cruise speed. Ends at the deceleration point of a fixed drive,
  // or by a stop, a speed change (-> kRamp) or a stop condition.
  kCruise,
  // Speed falls along `ramp` to the end speed. Ends when the ramp is spent:
  // a stopping drive ends there, a fixed drive creeps (-> kCreep).
  kDecelerate,
  // Constant end speed until the last pulse of a fixed drive.
  kCreep,
  // Pulse output over, in-position check enabled and its input not active;
  // ends when the input becomes active or the check is switched off.
  kWaitInPosition,
};

// Where a drive takes its speeds from.
enum class SpeedSource {
  kRegisters,    // start speed, drive speed, acceleration... as written
  kHomeLowSpeed, // constant kCmdHomeSpeed (home steps 2 and 3)
  kHandWheel,    // constant drive speed, target set by the hand wheel
  kPath,         // as kRegisters, in the steps of an interpolated path
};

// The piece of motion under way: kinematics at `start`, constant jerk, until `end`.
struct Segment {
  SimTime start = 0;
  SimTime end = kNever;
  Kinematics at_start;
  double jerk = 0;
};

struct Drive {
  DrivePhase phase = DrivePhase::kIdle;
  SpeedSource source = SpeedSource::kRegisters;
  bool fixed = false;        // fixed pulse count (else continuous)
  int direction = 1;         // +1 plus, -1 minus
  std::int64_t origin = 0;   // travel at the start
  std::uint32_t target = 0;  // pulses of a fixed drive
  bool stopping = false;     // a decelerating stop: ends at the end speed
  bool stopped_by_condition = false;  // a limit, alarm or emergency stop ended it
  bool ramp_rising = false;  // the ramp of kRamp accelerates
  double cruise_speed = 0;   // PPS
  double end_speed = 0;      // PPS at the end of deceleration
  double dec_point = 0;      // progress at which deceleration begins (fixed drives)
  Ramp ramp;
  std::size_t next_piece = 0;
  Segment segment;
  Kinematics now;            // at the time the axis was last brought up to
  Path* path = nullptr;      // the interpolation this (master) axis drives: progress in path steps
};

// Steps of the automatic home search, in the order the chip runs them.
enum class HomeStep {
  kNone,
  // High-speed search for the near-home input (decelerating stop on it);
  // skipped when the input is already active.
  kNearHome,
  // Low-speed search for the home input (stop at once on it); when the input
  // is active at the start it first backs off until the input is inactive.
  kHome,
  // Low-speed search for the next index pulse (stop at once on it).
  kIndex,
  // Fixed drive of kCmdPulses (the home offset) at the drive speed.
  kOffset,
};

struct HomeSearch {
  bool active = false;
  HomeStep step = HomeStep::kNone;
  int direction = 1;
  bool backing_off = false;  // step kHome: leaving an active home input first
  bool found = false;        // the step's input was reached; its stop is under way
  bool aborted = false;      // a stop command ends the search at the next drive end
};

// The bench's view of the last drive (MotionChip::DriveRecord).
struct DriveLog {
  SimTime started = 0;
  SimTime ended = 0;
  double final_speed = 0;
  double peak_speed = 0;
};

struct AxisState {
  int index = 0;
  AxisRegisters reg;
  AxisMechanics mech;

  std::int64_t travel = 0;
  std::int64_t cmd_base = 0, cmd_travel_base = 0;  // command counter at a travel
  std::int64_t enc_base = 0, enc_travel_base = 0;  // encoder counter at a travel
  std::int32_t latch = 0;

  std::uint16_t factors = 0;       // status register 3
  bool factor_raised = false;      // a factor was raised since the chip last looked
  std::uint16_t stop_reasons = 0;  // status register 1 bits 8-15, cleared at a start
  SimTime last_drive_end = 0;      // when the last drive ended (for benchmarks)

  bool held = false;               // drive starts wait for a release
  std::uint8_t held_command = 0;   // the drive command that waits (0 = none)

  Drive drive;
  DriveLog log;
  HomeSearch home;
  Path* on_path = nullptr;         // a running interpolation moves this axis
  AxisState* chip_axes = nullptr;  // the chip's four axes, for partners of a synchronous action
  const std::uint16_t* chip_data_low = nullptr;  // the chip's data register, for a speed-change action

  std::int64_t compare_seen = 0;   // unwrapped watched counter when the comparators last looked
  std::uint32_t triggers = 0;      // compare-output pulses since the action was switched active
  std::int32_t trigger_position = 0; // where the next pulse is due; moves one pitch per pulse
  bool trigger_masked = false;     // the board masks this axis's compare output
  bool sync_firing = false;        // the synchronous action is acting: its own conditions wait

  SimTime wheel_start = 0;         // a wheel turning at its rate: since when,
  std::int64_t wheel_turned = 0;   // detents turned since then,
  SimTime wheel_due = kNever;      // and when the next one turns
  SimTime next_event = kNever;     // cached; recomputed when events_dirty
  bool events_dirty = true;
};

// ---- counters.cpp ---------------------------------------------------------
std::int64_t command_counter(const AxisState& axis);
std::int64_t encoder_counter(const AxisState& axis);
void set_command_counter(AxisState& axis, std::int32_t value);
void set_encoder_counter(AxisState& axis, std::int32_t value);
// Travel at which a counter reaches a value, moving in `direction`; nothing
// when the counter cannot get there that way.
bool travel_for_counter(const AxisState& axis, bool encoder, std::int64_t value, int direction,
                        std::int64_t& travel);
// The counter without the ring wrap, and the travel at which it reaches a
// value moving in `direction`.
std::int64_t unwrapped_counter(const AxisState& axis, bool encoder);
std::int64_t travel_for_unwrapped(const AxisState& axis, bool encoder, std::int64_t value, int direction);
std::int64_t ring_size(const AxisState& axis);  // 0 with the ring counter off

// ---- sensors.cpp ----------------------------------------------------------
bool near_home_active(const AxisState& axis);
bool home_active(const AxisState& axis);
bool index_active(const AxisState& axis);
bool limit_active(const AxisState& axis, int direction);
bool soft_limit_active(const AxisState& axis, int direction);
bool alarm_active(const AxisState& axis);
std::uint16_t status2(const AxisState& axis);
std::uint8_t input_byte(const AxisState& axis);
// Whether a condition forbids motion in `direction`: its stop reason
// (status-1 bits; 0 for a software limit, which status 2 tells) and whether
// it stops at once or decelerating.
bool stop_condition(const AxisState& axis, int direction, std::uint16_t& reason, bool& sudden);
// Nearest travel ahead in `direction` where a limit or a searched input
// changes or a watched comparator is reached; false when there is none.
bool next_sensor_travel(const AxisState& axis, int direction, std::int64_t& travel);

// ---- drive.cpp ------------------------------------------------------------
// Whole pulses in a drive's progress (a hair of rounding counts as reached).
std::int64_t pulses_done(double progress);
// Pulses are being output (ramp, cruise, deceleration or creep).
inline bool moving(const Drive& d) {
  return d.phase == DrivePhase::kRamp || d.phase == DrivePhase::kCruise ||
         d.phase == DrivePhase::kDecelerate || d.phase == DrivePhase::kCreep;
}
// Starts a drive at `now`; it may end at once (a stop condition, zero pulses).
void start_drive(AxisState& axis, SimTime now, bool fixed, int direction, SpeedSource source,
                 std::uint32_t target, Path* path = nullptr);
// A drive, home or hold command of the register interface.
void drive_command(AxisState& axis, SimTime now, std::uint8_t code);
void release_hold(AxisState& axis, SimTime now);
// The stop commands; a running home search ends with them.
void decelerating_stop(AxisState& axis, SimTime now);
void sudden_stop(AxisState& axis, SimTime now);
// Ends pulse output, at once or decelerating to the end speed.
void stop_output(AxisState& axis, SimTime now, bool sudden);
// Speeds, ramps or target changed: the running drive follows at once.
void replan(AxisState& axis, SimTime now);
// Kinematics up to `now` (no event lies before it).
void advance(AxisState& axis, SimTime now);
// Handles whatever has come due at `now` (after advance()).
void handle_events(AxisState& axis, SimTime now);
// Inputs or settings changed (mechanics, mode registers): re-check at `now`.
void recheck(AxisState& axis, SimTime now);
// The axis's next event, recomputed only when something changed since.
SimTime compute_next_event(AxisState& axis);
inline SimTime next_event(AxisState& axis) {
  return axis.events_dirty ? compute_next_event(axis) : axis.next_event;
}
std::uint16_t status1(const AxisState& axis);
bool busy(const AxisState& axis);
// Immediately, without factors: the chip is reset.
void halt(AxisState& axis);

// ---- hand_wheel.cpp -------------------------------------------------------
void turn_hand_wheel(AxisState& axis, SimTime now, std::int64_t detents);
// The wheel's rate (mechanics) takes effect from `now`.
void start_wheel(AxisState& axis, SimTime now);
// Turns the detents of a wheel turning at its rate that are due at `now`.
void turn_wheel_at_rate(AxisState& axis, SimTime now);

// ---- home_search.cpp ------------------------------------------------------
void start_home_search(AxisState& axis, SimTime now);
// Whether the running home step's input has been reached (stops the drive).
void check_home_input(AxisState& axis, SimTime now);
// A drive ended while the search ran: next step or the end of the search
// (home end and drive end raised).
void home_drive_ended(AxisState& axis, SimTime now);
// The input a running home step looks for, nearest ahead; false if none.
bool home_search_target(const AxisState& axis, std::int64_t& travel);

// ---- comparators.cpp ------------------------------------------------------
// The counter the comparators watch, as it reads (wrapped by a ring counter).
std::int64_t compare_counter(const AxisState& axis);
// Looks whether the watched counter reached COMP+ or COMP- since it last
// looked: raises the comparator factors and fires the synchronous action.
void check_comparators(AxisState& axis, SimTime now);
// Forgets where the counter was (after a counter, comparator or mode write),
// so that a write alone never fires a comparator.
void resync_comparators(AxisState& axis);
// Nearest travel ahead in `direction` where a watched comparator is reached.
bool comparator_travel(const AxisState& axis, int direction, std::int64_t& travel);

// ---- sync_action.cpp ------------------------------------------------------
// A condition of sync word 1 happened on the axis: when it is watched, the
// axis and its partners act.
void sync_condition(AxisState& axis, std::uint16_t condition, SimTime now);
// Whether the axis watches its own conditions: action active, or a speed
// change from the data register waiting for its condition.
bool sync_armed(const AxisState& axis);

// ---- interrupt_factors.cpp ------------------------------------------------
void raise_factor(AxisState& axis, std::uint16_t factor);
std::uint16_t enabled_factors(const AxisState& axis);

}  // namespace card::chip

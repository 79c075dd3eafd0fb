// The motion chip: register decoding, the command protocol, the chip's lock,
// its clock timer and its interrupt output.
//
// Time: every register access and every mechanics change first brings the
// axes up to clock.now(), handling in time order whatever came due (drive
// ends, sensors reached, home steps). One clock timer is kept at the next such
// event, so that factors (and the interrupt output) appear when they happen
// even if nobody touches the chip. Timers are never cancelled while the lock
// is held: a stale timer finds nothing to do. A timer's function counts as
// firing until its notification returned: that notification reaches into the
// board, which must outlive it.
#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>

#include "axis.h"
#include "card/brief_lock.h"
#include "card/motion_chip.h"
#include "chip_units.h"
#include "interpolation.h"

namespace card {

using namespace chip;

namespace {

std::uint32_t clamp_range(std::uint32_t range) { return std::clamp(range, kMinRange, kMaxRange); }

// A counter, comparator or mode write: the comparators start looking from
// where the counter now stands before anything is checked, so that the write
// itself (a counter set, a change of the watched counter) never fires one.
void rewatch(AxisState& axis, SimTime now) {
  resync_comparators(axis);
  recheck(axis, now);
}

int lowest_axis(unsigned mask) {
  for (int i = 0; i < kAxisCount; ++i) {
    if (mask & (1u << i)) return i;
  }
  return -1;
}

}  // namespace


struct MotionChip::State {
  State(Clock& c, const std::array<AxisMechanics, 4>& mechanics) : clock(c) {
    for (int i = 0; i < kAxisCount; ++i) {
      axes[i].index = i;
      validate_mechanics(mechanics[i]);
      axes[i].mech = mechanics[i];
      axes[i].chip_axes = axes.data();
      axes[i].chip_data_low = &data_low;
      start_wheel(axes[i], 0);
    }
  }

  Clock& clock;
  mutable BriefLock mutex;  // a register access never sleeps for it
  std::array<AxisState, kAxisCount> axes;
  unsigned selected = 0;            // axes of the last kCmdSelect
  std::uint16_t data_low = 0, data_high = 0;  // data of the next command
  std::uint32_t read_data = 0;      // result of the last read command
  std::uint16_t outputs = 0;
  std::uint16_t interp_mode = 0;
  Path path;

  std::function<void()> on_interrupt;
  bool interrupt_level = false;
  bool segment_slot_free = false;       // as last settled
  std::uint64_t interrupt_events = 0;   // newly latched factors and freed segment slots

  std::map<std::uint64_t, std::pair<SimTime, TimerId>> timers;  // by sequence
  std::set<TimerId> firing;  // timers whose function runs, no longer in `timers`
  std::uint64_t timer_sequence = 0;
  bool shutting_down = false;

  // ---- time ------------------------------------------------------------------
  // Brings every axis to time t; true when events came due on the way.
  bool run_until(SimTime t);
  // Nothing moves and nothing is due: the chip reads alike at any time.
  bool still();
  // Brings the chip up to the clock for an access and answers the access's
  // time. Only a write that changes what the chip does needs the time itself:
  // any other access finds a still chip up to date without reading the clock.
  SimTime catch_up(bool changes, bool& events);
  SimTime caught_up = 0;
  void schedule_next_event();
  void on_timer(std::uint64_t sequence);
  // Ends an operation under the lock: sets the timer for the next event and
  // the interrupt output; returns the callback to run once the lock is released.
  std::function<void()> settle();

  // ---- registers -------------------------------------------------------------
  void execute(std::uint16_t word, SimTime now);
  void set_register(AxisState& axis, std::uint8_t code, std::uint32_t data, SimTime now);
  std::uint32_t read_register(const AxisState& axis, std::uint8_t code) const;
  void write_mode(std::uint32_t offset, std::uint16_t value, SimTime now);
  void write_outputs(std::uint16_t value, SimTime now);
  std::uint16_t main_status() const;
  std::uint16_t read_status(std::uint32_t offset);
  std::uint16_t input_pair(int low_axis) const;
  void reset();

  template <typename Fn>
  void for_axes(unsigned mask, Fn fn) {
    for (int i = 0; i < kAxisCount; ++i) {
      if (mask & (1u << i)) fn(axes[i]);
    }
  }
};

namespace {

// Whether a register write can change what the chip does: data for the next
// command, the axis select and the read commands only latch values.
bool changes_state(std::uint32_t offset, std::uint16_t value) {
  if (offset == kRegDataLow || offset == kRegDataHigh) return false;
  if (offset != kRegCommand || value == kCommandReset) return true;
  switch (static_cast<std::uint8_t>(value & kCommandCodeMask)) {
    case kCmdSelect:
    case kCmdReadCmdCounter:
    case kCmdReadEncCounter:
    case kCmdReadSpeed:
    case kCmdReadAcc:
    case kCmdReadLatch:
      return false;
    default:
      return true;
  }
}

}  // namespace

bool MotionChip::State::run_until(SimTime t) {
  bool events = false;
  for (;;) {
    SimTime due = kNever;
    for (auto& axis : axes) due = std::min(due, next_event(axis));
    if (due > t) break;
    events = true;
    for (auto& axis : axes) advance(axis, due);
    for (auto& axis : axes) {
      turn_wheel_at_rate(axis, due);
      if (next_event(axis) <= due) handle_events(axis, due);
    }
  }
  for (auto& axis : axes) advance(axis, t);
  return events;
}

bool MotionChip::State::still() {
  for (auto& axis : axes) {
    if (moving(axis.drive) || next_event(axis) != kNever) return false;
  }
  return true;
}

SimTime MotionChip::State::catch_up(bool changes, bool& events) {
  events = false;
  if (!changes && still()) return caught_up;
  caught_up = clock.now();
  events = run_until(caught_up);
  return caught_up;
}

void MotionChip::State::schedule_next_event() {
  SimTime due = kNever;
  for (auto& axis : axes) due = std::min(due, next_event(axis));
  if (due == kNever || shutting_down) return;
  for (const auto& [sequence, timer] : timers) {
    if (timer.first <= due) return;  // an earlier or equal timer will look again
  }
  const std::uint64_t sequence = ++timer_sequence;
  const TimerId id = clock.schedule(due, [this, sequence] { on_timer(sequence); });
  timers[sequence] = {due, id};
}

void MotionChip::State::on_timer(std::uint64_t sequence) {
  std::function<void()> notify;
  TimerId id = 0;
  {
    std::lock_guard<BriefLock> lock(mutex);
    id = timers[sequence].second;
    timers.erase(sequence);
    if (shutting_down) return;
    firing.insert(id);
    run_until(clock.now());
    notify = settle();
  }
  if (notify) notify();
  std::lock_guard<BriefLock> lock(mutex);
  firing.erase(id);
}

std::function<void()> MotionChip::State::settle() {
  schedule_next_event();
  const bool slot_free = accepts_next_segment(path, interp_mode);
  bool level = slot_free;
  bool raised = slot_free && !segment_slot_free;
  segment_slot_free = slot_free;
  for (auto& axis : axes) {
    if (axis.factors & enabled_factors(axis)) level = true;
    raised = raised || axis.factor_raised;
    axis.factor_raised = false;
  }
  if (raised) ++interrupt_events;
  // A new event while the output is already up counts as a fresh one.
  const bool notify = level != interrupt_level || (level && raised);
  interrupt_level = level;
  return notify ? on_interrupt : nullptr;
}

// ---- command decoding ---------------------------------------------------------

void MotionChip::State::execute(std::uint16_t word, SimTime now) {
  if (word == kCommandReset) {
    reset();
    return;
  }
  const unsigned mask = (word & kCommandAxisMask) >> kCommandAxisShift;
  const auto code = static_cast<std::uint8_t>(word & kCommandCodeMask);
  const std::uint32_t data = (static_cast<std::uint32_t>(data_high) << 16) | data_low;
  switch (code) {
    case kCmdSelect:
      selected = mask;
      return;
    case kCmdReadCmdCounter:
    case kCmdReadEncCounter:
    case kCmdReadSpeed:
    case kCmdReadAcc:
    case kCmdReadLatch: {
      const int axis = lowest_axis(mask);
      read_data = axis < 0 ? 0 : read_register(axes[axis], code);
      return;
    }
    case kCmdDrivePlus:
    case kCmdDriveMinus:
    case kCmdContPlus:
    case kCmdContMinus:
    case kCmdHomeStart:
      for_axes(mask, [&](AxisState& a) { drive_command(a, now, code); });
      return;
    case kCmdDriveHold:
      for_axes(mask, [](AxisState& a) { a.held = true; });
      return;
    case kCmdDriveRelease:
      // Every released axis starts at this same instant.
      for_axes(mask, [&](AxisState& a) { release_hold(a, now); });
      release_held_path(path, now);
      return;
    case kCmdDecStop:  // a stop to any axis of a path stops the path
      for_axes(mask, [&](AxisState& a) {
        drop_held_path(path, a);
        decelerating_stop(driving_axis(a), now);
      });
      return;
    case kCmdSuddenStop:
      for_axes(mask, [&](AxisState& a) {
        drop_held_path(path, a);
        sudden_stop(driving_axis(a), now);
      });
      return;
    case kCmdLine2:
    case kCmdLine3:
    case kCmdArcCw:
    case kCmdArcCcw:
    case kCmdInterpDecOn:
    case kCmdInterpDecOff:
      interpolation_command(path, axes, interp_mode, code, now);
      return;
    default:
      for_axes(mask, [&](AxisState& a) {
        set_register(a, code, data, now);
        resync_comparators(a);
        driving_axis(a).events_dirty = true;
      });
      return;
  }
}

void MotionChip::State::set_register(AxisState& axis, std::uint8_t code, std::uint32_t data, SimTime now) {
  AxisRegisters& r = axis.reg;
  const auto word = static_cast<std::uint16_t>(data);
  const auto value = static_cast<std::int32_t>(data);
  switch (code) {
    case kCmdRange: r.range = clamp_range(data); break;
    case kCmdJerk: r.jerk = word; break;
    case kCmdAcc: r.acc = word; break;
    case kCmdDec: r.dec = word; break;
    case kCmdStartSpeed: r.start_speed = word; break;
    case kCmdDriveSpeed: r.drive_speed = word; break;
    case kCmdPulses: r.pulses = data; break;
    case kCmdDecPoint: r.dec_point = data; break;
    case kCmdAccOffset: r.acc_offset = word; break;
    case kCmdDecJerk: r.dec_jerk = word; break;
    case kCmdHomeSpeed: r.home_speed = word; break;
    case kCmdArcCenter: r.arc_center = value; return;
    case kCmdSetCmdCounter: set_command_counter(axis, value); rewatch(axis, now); return;
    case kCmdSetEncCounter: set_encoder_counter(axis, value); rewatch(axis, now); return;
    case kCmdCompPlus: r.comp_plus = value; rewatch(axis, now); return;
    case kCmdCompMinus: r.comp_minus = value; rewatch(axis, now); return;
    case kCmdExtMode:
      r.ext1 = static_cast<std::uint16_t>(data);
      r.ext2 = static_cast<std::uint16_t>(data >> 16);
      rewatch(axis, now);
      return;
    case kCmdSyncMode: {
      const bool was_active = (r.sync2 & kSync2Active) != 0;
      r.sync1 = static_cast<std::uint16_t>(data);
      r.sync2 = static_cast<std::uint16_t>(data >> 16);
      if (!was_active && (r.sync2 & kSync2Active)) {  // counted from arming
        axis.triggers = 0;
        axis.trigger_position = 0;
      }
      axis.events_dirty = true;
      return;
    }
    default:
      return;  // codes of no meaning to this chip are ignored
  }
  replan(axis, now);  // a speed, ramp or target written while driving applies at once
}

std::uint32_t MotionChip::State::read_register(const AxisState& axis, std::uint8_t code) const {
  const double m = multiplier(axis.reg.range);
  switch (code) {
    case kCmdReadCmdCounter: return static_cast<std::uint32_t>(command_counter(axis));
    case kCmdReadEncCounter: return static_cast<std::uint32_t>(encoder_counter(axis));
    case kCmdReadSpeed: return speed_word(axis.drive.now.v, m);
    case kCmdReadAcc: return acceleration_word(axis.drive.now.a, m);
    case kCmdReadLatch: return static_cast<std::uint32_t>(axis.latch);
    default: return 0;
  }
}

void MotionChip::State::write_mode(std::uint32_t offset, std::uint16_t value, SimTime now) {
  for_axes(selected, [&](AxisState& a) {
    if (offset == kRegMode1) a.reg.mode1 = value;
    if (offset == kRegMode2) a.reg.mode2 = value;
    if (offset == kRegMode3) a.reg.mode3 = value;
    a.events_dirty = true;
    rewatch(a, now);
  });
}

// The alarm-reset output clears a servo alarm on its rising edge.
void MotionChip::State::write_outputs(std::uint16_t value, SimTime now) {
  const std::uint16_t rising = value & ~outputs;
  outputs = value;
  for (auto& axis : axes) {
    if (rising & (kOutputAlarmReset << (kOutputBitsPerAxis * axis.index))) {
      axis.mech.alarm = false;
      recheck(axis, now);
    }
  }
}

std::uint16_t MotionChip::State::main_status() const {
  std::uint16_t status = 0;
  for (const auto& axis : axes) {
    if (busy(axis)) status |= 1u << (kMainBusyShift + axis.index);
    if (status2(axis) & kStatus2ErrorBits) status |= 1u << (kMainErrorShift + axis.index);
  }
  if (accepts_next_segment(path, interp_mode)) status |= kMainContiReady;
  return status;
}

std::uint16_t MotionChip::State::read_status(std::uint32_t offset) {
  const int index = lowest_axis(selected);
  if (index < 0) return 0;
  AxisState& axis = axes[index];
  if (offset == kRegMode1) return status1(axis);
  if (offset == kRegMode2) return status2(axis);
  const std::uint16_t factors = axis.factors;  // reading acknowledges them
  axis.factors = 0;
  return factors;
}

std::uint16_t MotionChip::State::input_pair(int low_axis) const {
  return static_cast<std::uint16_t>(input_byte(axes[low_axis]) | (input_byte(axes[low_axis + 1]) << 8));
}

void MotionChip::State::reset() {
  for (auto& axis : axes) {
    halt(axis);
    axis.reg = AxisRegisters{};
    set_command_counter(axis, 0);
    set_encoder_counter(axis, 0);
    axis.latch = 0;
    axis.factors = 0;
    axis.stop_reasons = 0;
    axis.triggers = 0;
    axis.trigger_position = 0;
    resync_comparators(axis);
  }
  path = Path{};
  selected = 0;
  data_low = data_high = 0;
  read_data = 0;
  outputs = 0;
  interp_mode = 0;
}

// ---- the seam -------------------------------------------------------------------

MotionChip::MotionChip(Clock& clock, const std::array<AxisMechanics, 4>& axes)
    : state_(std::make_unique<State>(clock, axes)) {}

MotionChip::~MotionChip() {
  std::vector<TimerId> pending;
  {
    std::lock_guard<BriefLock> lock(state_->mutex);
    state_->shutting_down = true;
    for (const auto& [sequence, timer] : state_->timers) pending.push_back(timer.second);
    // A timer still notifying: the clock's cancel waits for its function to return.
    pending.insert(pending.end(), state_->firing.begin(), state_->firing.end());
  }
  for (TimerId id : pending) state_->clock.cancel(id);
}

std::uint16_t MotionChip::read(std::uint32_t offset) {
  if (offset == kRegDataLow || offset == kRegDataHigh) {
    // The data of the last read command, latched when it ran: reading it
    // changes nothing, so time need not catch up first.
    std::lock_guard<BriefLock> lock(state_->mutex);
    return static_cast<std::uint16_t>(offset == kRegDataLow ? state_->read_data
                                                             : state_->read_data >> 16);
  }
  std::function<void()> notify;
  std::uint16_t value = 0;
  {
    std::lock_guard<BriefLock> lock(state_->mutex);
    State& s = *state_;
    bool events = false;
    s.catch_up(false, events);
    switch (offset) {
      case kRegCommand: value = s.main_status(); break;
      case kRegMode1:
      case kRegMode2:
      case kRegMode3: value = s.read_status(offset); break;
      case kRegOutput: value = s.input_pair(0); break;
      case kRegInterpMode: value = s.input_pair(2); break;
      default: break;
    }
    // Reading status 3 acknowledges factors; any other status read changes
    // nothing unless time brought events on the way.
    if (events || offset == kRegMode3) notify = s.settle();
  }
  if (notify) notify();
  return value;
}

void MotionChip::write(std::uint32_t offset, std::uint16_t value) {
  std::function<void()> notify;
  {
    std::lock_guard<BriefLock> lock(state_->mutex);
    State& s = *state_;
    const bool changes = changes_state(offset, value);
    bool events = false;
    const SimTime now = s.catch_up(changes, events);
    switch (offset) {
      case kRegCommand: s.execute(value, now); break;
      case kRegMode1:
      case kRegMode2:
      case kRegMode3: s.write_mode(offset, value, now); break;
      case kRegOutput: s.write_outputs(value, now); break;
      case kRegInterpMode: s.interp_mode = value; break;
      case kRegDataLow: s.data_low = value; break;
      case kRegDataHigh: s.data_high = value; break;
      default: break;
    }
    if (events || changes) notify = s.settle();
  }
  if (notify) notify();
}

bool MotionChip::interrupt_pending() const {
  std::lock_guard<BriefLock> lock(state_->mutex);
  return state_->interrupt_level;
}

std::uint64_t MotionChip::interrupt_events() const {
  std::lock_guard<BriefLock> lock(state_->mutex);
  return state_->interrupt_events;
}

MotionChip::CompareOutput MotionChip::compare_output(int axis) {
  if (axis < 0 || axis >= kAxisCount) throw std::out_of_range("axis index");
  std::function<void()> notify;
  CompareOutput out;
  {
    std::lock_guard<BriefLock> lock(state_->mutex);
    State& s = *state_;
    s.run_until(s.clock.now());
    const AxisState& a = s.axes[axis];
    out.counter = static_cast<std::int32_t>(compare_counter(a));
    out.triggers = a.triggers;
    out.trigger_position = a.trigger_position;
    out.pitch = static_cast<std::uint32_t>(ring_size(a));
    out.erc = (a.reg.ext2 & kExt2OutputLevel) != 0;
    notify = s.settle();
  }
  if (notify) notify();
  return out;
}

void MotionChip::preset_trigger_position(int axis, bool high_half, std::uint16_t word) {
  if (axis < 0 || axis >= kAxisCount) throw std::out_of_range("axis index");
  std::function<void()> notify;
  {
    std::lock_guard<BriefLock> lock(state_->mutex);
    State& s = *state_;
    s.run_until(s.clock.now());  // pulses up to now move the old position
    auto position = static_cast<std::uint32_t>(s.axes[axis].trigger_position);
    position = high_half ? (position & 0xFFFFu) | (std::uint32_t{word} << 16)
                         : (position & 0xFFFF0000u) | word;
    s.axes[axis].trigger_position = static_cast<std::int32_t>(position);
    notify = s.settle();
  }
  if (notify) notify();
}

void MotionChip::set_trigger_mask(unsigned axes) {
  std::function<void()> notify;
  {
    std::lock_guard<BriefLock> lock(state_->mutex);
    State& s = *state_;
    s.run_until(s.clock.now());  // pulses up to now count with the old mask
    for (auto& a : s.axes) a.trigger_masked = (axes & (1u << a.index)) != 0;
    notify = s.settle();
  }
  if (notify) notify();
}

void MotionChip::on_interrupt_change(std::function<void()> fn) {
  std::lock_guard<BriefLock> lock(state_->mutex);
  state_->on_interrupt = std::move(fn);
}

void MotionChip::reset() {
  std::function<void()> notify;
  {
    std::lock_guard<BriefLock> lock(state_->mutex);
    state_->reset();
    notify = state_->settle();
  }
  if (notify) notify();
}

MotionChip::DriveRecord MotionChip::last_drive(int axis) {
  if (axis < 0 || axis >= kAxisCount) throw std::out_of_range("axis index");
  std::function<void()> notify;
  DriveRecord record;
  {
    std::lock_guard<BriefLock> lock(state_->mutex);
    State& s = *state_;
    const SimTime now = s.clock.now();
    s.run_until(now);
    const AxisState& a = s.axes[axis];
    const DriveLog& log = a.log;
    record.running = moving(a.drive);
    record.started_ns = log.started;
    record.ended_ns = record.running ? now : log.ended;
    record.pulses = pulses_done(a.drive.now.p);
    record.final_speed = record.running ? a.drive.now.v : log.final_speed;
    record.peak_speed = std::max(log.peak_speed, record.running ? a.drive.now.v : 0.0);
    notify = s.settle();
  }
  if (notify) notify();
  return record;
}

AxisMechanics MotionChip::mechanics(int axis) const {
  if (axis < 0 || axis >= kAxisCount) throw std::out_of_range("axis index");
  std::lock_guard<BriefLock> lock(state_->mutex);
  return state_->axes[axis].mech;
}

SimTime MotionChip::last_drive_end(int axis) const {
  if (axis < 0 || axis >= kAxisCount) throw std::out_of_range("axis index");
  std::lock_guard<BriefLock> lock(state_->mutex);
  return state_->axes[axis].last_drive_end;
}

void MotionChip::set_mechanics(int axis, const AxisMechanics& m) {
  if (axis < 0 || axis >= kAxisCount) throw std::out_of_range("axis index");
  validate_mechanics(m);
  std::function<void()> notify;
  {
    std::lock_guard<BriefLock> lock(state_->mutex);
    State& s = *state_;
    const SimTime now = s.clock.now();
    s.run_until(now);
    AxisState& a = s.axes[axis];
    const bool in3_logic = (a.reg.mode1 & kMode1In3Logic) != 0;
    const bool in3_was_active = a.mech.in3 == in3_logic;
    const bool in3_active = m.in3 == in3_logic;
    const std::int64_t detents = m.hand_wheel - a.mech.hand_wheel;
    const bool new_rate = m.hand_wheel_rate != a.mech.hand_wheel_rate;
    a.mech = m;
    if (new_rate) start_wheel(a, now);
    // IN3, when enabled, latches the command counter as it becomes active.
    if ((a.reg.mode1 & kMode1In3Enable) && !in3_was_active && in3_active) {
      a.latch = static_cast<std::int32_t>(command_counter(a));
    }
    if (in3_active != in3_was_active) sync_condition(a, in3_active ? kSync1In3Active : kSync1In3Inactive, now);
    a.events_dirty = true;
    recheck(a, now);
    turn_hand_wheel(a, now, detents);
    notify = s.settle();
  }
  if (notify) notify();
}

}  // namespace card

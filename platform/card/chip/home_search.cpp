// The chip's automatic home search. Extension word 2 holds one 2-bit field
// per step (bit 0 run the step, bit 1 in the minus direction); kCmdHomeStart
// runs the enabled steps in order and raises the home-end factor (and drive
// end) when the search is over, whether it found home or stopped on a limit,
// an alarm or a stop command. The step kinds are those of HomeStep.
#include "axis.h"

namespace card::chip {
namespace {

constexpr HomeStep kSteps[] = {HomeStep::kNearHome, HomeStep::kHome, HomeStep::kIndex, HomeStep::kOffset};

unsigned step_field(const AxisState& axis, HomeStep step) {
  const unsigned k = static_cast<unsigned>(step) - 1;
  return (axis.reg.ext2 >> (k * kHomeStepFieldBits)) & 0x3;
}

// Search end: the search is over, whatever the reason.
void finish_search(AxisState& axis) {
  axis.home = HomeSearch{};
  raise_factor(axis, kFactorHomeEnd);
  raise_factor(axis, kFactorDriveEnd);
}

void seek(AxisState& axis, SimTime now, int direction, SpeedSource source) {
  start_drive(axis, now, false, direction, source, 0);
}

// Starts `step`; false when it has nothing to do.
bool start_step(AxisState& axis, SimTime now, HomeStep step) {
  HomeSearch& h = axis.home;
  switch (step) {
    case HomeStep::kNearHome:
      if (near_home_active(axis)) return false;
      seek(axis, now, h.direction, SpeedSource::kRegisters);
      return true;
    case HomeStep::kHome:
      h.backing_off = home_active(axis);
      seek(axis, now, h.backing_off ? -h.direction : h.direction, SpeedSource::kHomeLowSpeed);
      return true;
    case HomeStep::kIndex:
      seek(axis, now, h.direction, SpeedSource::kHomeLowSpeed);
      return true;
    case HomeStep::kOffset:
      if (axis.reg.pulses == 0) return false;
      start_drive(axis, now, true, h.direction, SpeedSource::kRegisters, axis.reg.pulses);
      return true;
    case HomeStep::kNone:
      break;
  }
  return false;
}

// Runs the next enabled step after the present one, or ends the search.
void next_step(AxisState& axis, SimTime now) {
  HomeSearch& h = axis.home;
  for (HomeStep step : kSteps) {
    if (static_cast<int>(step) <= static_cast<int>(h.step)) continue;
    const unsigned field = step_field(axis, step);
    if (!(field & kHomeStepEnable)) continue;
    h.step = step;
    h.direction = (field & kHomeStepMinus) ? -1 : 1;
    h.found = false;
    h.backing_off = false;
    if (start_step(axis, now, step)) return;
  }
  finish_search(axis);
}

// Edge of the sensor band [position - width/2, position + width/2] met first
// when moving in `direction`: entering it or, from inside, leaving it.
bool band_edge(const std::optional<std::int64_t>& position, std::int64_t width, std::int64_t travel,
               int direction, bool leaving, std::int64_t& edge) {
  if (!position) return false;
  const std::int64_t low = *position - width / 2;
  const std::int64_t high = *position + width / 2;
  if (leaving) {
    edge = direction > 0 ? high + 1 : low - 1;
  } else {
    edge = direction > 0 ? low : high;
  }
  return direction * (edge - travel) > 0;
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

void start_home_search(AxisState& axis, SimTime now) {
  axis.home = HomeSearch{};
  axis.home.active = true;
  axis.stop_reasons = 0;
  next_step(axis, now);
}

void check_home_input(AxisState& axis, SimTime now) {
  HomeSearch& h = axis.home;
  if (!h.active || h.found) return;
  switch (h.step) {
    case HomeStep::kNearHome:
      if (!near_home_active(axis)) return;
      h.found = true;
      stop_output(axis, now, false);
      return;
    case HomeStep::kHome:
      if (home_active(axis) == h.backing_off) return;
      h.found = true;
      stop_output(axis, now, true);
      return;
    case HomeStep::kIndex:
      if (!index_active(axis)) return;
      h.found = true;
      stop_output(axis, now, true);
      return;
    default:
      return;
  }
}

void home_drive_ended(AxisState& axis, SimTime now) {
  HomeSearch& h = axis.home;
  const bool failed = h.aborted || axis.drive.stopped_by_condition;
  if (failed) {
    finish_search(axis);
  } else if (h.found && h.backing_off) {
    h.found = false;
    h.backing_off = false;
    seek(axis, now, h.direction, SpeedSource::kHomeLowSpeed);
  } else if (h.found || h.step == HomeStep::kOffset) {
    next_step(axis, now);
  } else {
    finish_search(axis);
  }
}

bool home_search_target(const AxisState& axis, std::int64_t& travel) {
  const HomeSearch& h = axis.home;
  if (!h.active || h.found) return false;
  const int direction = axis.drive.direction;
  const AxisMechanics& m = axis.mech;
  switch (h.step) {
    case HomeStep::kNearHome:
      return band_edge(m.near_home, m.near_home_width, axis.travel, direction, false, travel);
    case HomeStep::kHome:
      return band_edge(m.home, m.home_width, axis.travel, direction, h.backing_off, travel);
    case HomeStep::kIndex: {
      if (m.index_period <= 0) return false;
      const std::int64_t turn = floor_div(axis.travel, m.index_period);
      travel = direction > 0 ? (turn + 1) * m.index_period
                             : (axis.travel % m.index_period == 0 ? turn - 1 : turn) * m.index_period;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace card::chip

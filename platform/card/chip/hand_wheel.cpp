// The hand-wheel (MPG) input: with a hand-wheel mode in mode register 3,
// turning the wheel drives the axis at the drive speed, at constant speed.
// Mode 8 outputs kCmdPulses pulses per detent; modes 16 and 24 count both
// edges of a detent, twice that. The bench turns the wheel by hand
// (MotionChip::set_mechanics) or lets it turn at a steady rate.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "axis.h"
#include "chip_units.h"

namespace card::chip {

void turn_hand_wheel(AxisState& axis, SimTime now, std::int64_t detents) {
  const std::uint16_t mode = axis.reg.mode3 & kMode3HandWheel;
  if (mode == 0 || detents == 0) return;
  const std::int64_t edges = mode == kMode3HandWheelSingle ? 1 : 2;
  const std::int64_t per_detent = static_cast<std::int64_t>(axis.reg.pulses) * edges;
  const std::int64_t amount = std::min<std::int64_t>(std::llabs(detents) * per_detent, UINT32_MAX);
  const int direction = detents > 0 ? 1 : -1;
  Drive& d = axis.drive;
  if (!busy(axis)) {  // idle, and not moved by a path
    start_drive(axis, now, true, direction, SpeedSource::kHandWheel, static_cast<std::uint32_t>(amount));
    return;
  }
  if (d.source != SpeedSource::kHandWheel || !moving(d)) return;
  // Turning back while pulses are still due cancels them; no more than that.
  const std::int64_t target = d.direction == direction
                                  ? d.target + amount
                                  : std::max<std::int64_t>(pulses_done(d.now.p), d.target - amount);
  d.target = static_cast<std::uint32_t>(std::min<std::int64_t>(target, UINT32_MAX));
  handle_events(axis, now);
}

namespace {

// When the n-th detent since the start of a steady turn is due.
SimTime wheel_detent_time(const AxisState& axis, std::int64_t n) {
  return axis.wheel_start + to_sim_time_ceil(static_cast<double>(n) / std::abs(axis.mech.hand_wheel_rate));
}

}  // namespace

void start_wheel(AxisState& axis, SimTime now) {
  axis.wheel_start = now;
  axis.wheel_turned = 0;
  axis.wheel_due = axis.mech.hand_wheel_rate != 0 ? wheel_detent_time(axis, 1) : kNever;
  axis.events_dirty = true;
}

void turn_wheel_at_rate(AxisState& axis, SimTime now) {
  if (axis.wheel_due > now) return;
  const int step = axis.mech.hand_wheel_rate > 0 ? 1 : -1;
  axis.wheel_due = wheel_detent_time(axis, ++axis.wheel_turned + 1);
  axis.mech.hand_wheel += step;
  axis.events_dirty = true;
  turn_hand_wheel(axis, now, step);
}

}  // namespace card::chip

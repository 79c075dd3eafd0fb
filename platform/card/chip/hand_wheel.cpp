// The hand-wheel (MPG) input: with a hand-wheel mode in mode register 3,
// turning the wheel drives the axis at the drive speed, at constant speed.
// Mode 8 outputs CHIP_PULSES pulses per detent; modes 16 and 24 count both
// edges of a detent, twice that.
#include <algorithm>
#include <cstdlib>

#include "axis.h"

namespace card::chip {

void turn_hand_wheel(AxisState& axis, SimTime now, std::int64_t detents) {
  const std::uint16_t mode = axis.reg.mode3 & MODE3_HAND_WHEEL;
  if (mode == 0 || detents == 0) return;
  const std::int64_t edges = mode == MODE3_HAND_WHEEL_SINGLE ? 1 : 2;
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

}  // namespace card::chip

// The COMP+ and COMP- comparators: the watched counter (command counter, or
// the encoder counter with mode register 2 bit 5) reaching either value,
// counting up or down, raises its factor and fires the synchronous-action
// conditions of sync word 1 bits 0-3.
//
// "Reached counting up" means the counter went from below the value to it or
// past it; "down" from above. With the ring counter on, every value of the
// ring that stands for the comparator counts, so a ring passes COMP+ once
// per turn. The chip keeps the unwrapped counter it last looked at and
// schedules an event at the next travel where a watched value is reached,
// so each crossing is seen on its exact pulse.
#include "axis.h"

namespace card::chip {
namespace {

struct Crossing {
  bool plus;          // COMP+ (else COMP-)
  int direction;      // counting up (+1) or down (-1)
  std::uint16_t factor;
  std::uint16_t sync;
};

constexpr Crossing kCrossings[] = {
    {true, +1, kFactorCompPlusUp, kSync1CompPlusUp},
    {true, -1, kFactorCompPlusDown, kSync1CompPlusDown},
    {false, -1, kFactorCompMinusDown, kSync1CompMinusDown},
    {false, +1, kFactorCompMinusUp, kSync1CompMinusUp},
};

bool watches_encoder(const AxisState& axis) { return (axis.reg.mode2 & kMode2CompareEncoder) != 0; }

std::int64_t value_of(const AxisState& axis, const Crossing& c) {
  return c.plus ? axis.reg.comp_plus : axis.reg.comp_minus;
}

bool watched(const AxisState& axis, const Crossing& c) {
  if (enabled_factors(axis) & c.factor) return true;
  return sync_armed(axis) && (axis.reg.sync1 & c.sync);
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Whether the counter, going from `from` to `to`, reached `value` (or, on a
// ring of `size`, any value that stands for it) in the crossing's direction.
bool crossed(std::int64_t from, std::int64_t to, std::int64_t value, std::int64_t size, int direction) {
  if (direction > 0) {
    if (size == 0) return from < value && value <= to;
    return floor_div(to - value, size) > floor_div(from - value, size);
  }
  if (size == 0) return from > value && value >= to;
  return floor_div(from - 1 - value, size) > floor_div(to - 1 - value, size);
}

// The unwrapped counter value ahead of `now` in `direction` at which the
// counter next reads `value`.
bool next_value(std::int64_t now, std::int64_t value, std::int64_t size, int direction, std::int64_t& ahead) {
  if (size == 0) {
    ahead = value;
    return direction * (value - now) > 0;
  }
  const std::int64_t step = direction > 0 ? value - now - 1 : now - 1 - value;
  const std::int64_t distance = 1 + (step % size + size) % size;
  ahead = now + direction * distance;
  return true;
}

}  // namespace

std::int64_t compare_counter(const AxisState& axis) {
  return watches_encoder(axis) ? encoder_counter(axis) : command_counter(axis);
}

void resync_comparators(AxisState& axis) {
  axis.compare_seen = unwrapped_counter(axis, watches_encoder(axis));
  axis.events_dirty = true;
}

void check_comparators(AxisState& axis, SimTime now) {
  const std::int64_t from = axis.compare_seen;
  const std::int64_t to = unwrapped_counter(axis, watches_encoder(axis));
  if (from == to) return;
  axis.compare_seen = to;
  const std::int64_t size = ring_size(axis);
  std::uint16_t conditions = 0;
  for (const Crossing& c : kCrossings) {
    if (!crossed(from, to, value_of(axis, c), size, c.direction)) continue;
    raise_factor(axis, c.factor);
    conditions |= c.sync;
  }
  if (conditions) sync_condition(axis, conditions, now);
}

bool comparator_travel(const AxisState& axis, int direction, std::int64_t& travel) {
  const bool encoder = watches_encoder(axis);
  const std::int64_t now = unwrapped_counter(axis, encoder);
  const std::int64_t size = ring_size(axis);
  bool found = false;
  for (const Crossing& c : kCrossings) {
    std::int64_t value = 0;
    if (!watched(axis, c) || !next_value(now, value_of(axis, c), size, direction, value)) continue;
    const std::int64_t t = travel_for_unwrapped(axis, encoder, value, direction);
    if (direction * (t - axis.travel) <= 0) continue;
    if (!found || direction * (t - travel) < 0) travel = t;
    found = true;
  }
  return found;
}

}  // namespace card::chip

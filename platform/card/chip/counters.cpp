// The command (logical) and encoder (real) counters, derived from the
// machine's travel. With the ring counter on, both count from 0 to COMP+ and
// wrap (COMP+ holds the ring size - 1).
#include <cmath>

#include "axis.h"

namespace card::chip {
namespace {

bool ring_on(const AxisState& axis) { return (axis.reg.ext1 & kExt1RingCounter) != 0; }

std::int64_t wrap(const AxisState& axis, std::int64_t value) {
  const std::int64_t size = ring_size(axis);
  if (size == 0) return value;
  value %= size;
  return value < 0 ? value + size : value;
}

std::int64_t encoder_counts(const AxisState& axis, std::int64_t travel) {
  return static_cast<std::int64_t>(
      std::floor(static_cast<double>(travel - axis.enc_travel_base) * axis.mech.encoder_ratio));
}

}  // namespace

std::int64_t ring_size(const AxisState& axis) {
  return ring_on(axis) ? static_cast<std::int64_t>(static_cast<std::uint32_t>(axis.reg.comp_plus)) + 1 : 0;
}

std::int64_t unwrapped_counter(const AxisState& axis, bool encoder) {
  return encoder ? axis.enc_base + encoder_counts(axis, axis.travel)
                 : axis.cmd_base + (axis.travel - axis.cmd_travel_base);
}

std::int64_t command_counter(const AxisState& axis) { return wrap(axis, unwrapped_counter(axis, false)); }

std::int64_t encoder_counter(const AxisState& axis) { return wrap(axis, unwrapped_counter(axis, true)); }

void set_command_counter(AxisState& axis, std::int32_t value) {
  axis.cmd_base = value;
  axis.cmd_travel_base = axis.travel;
  axis.events_dirty = true;
}

void set_encoder_counter(AxisState& axis, std::int32_t value) {
  axis.enc_base = value;
  axis.enc_travel_base = axis.travel;
  axis.events_dirty = true;
}

bool travel_for_counter(const AxisState& axis, bool encoder, std::int64_t value, int direction,
                        std::int64_t& travel) {
  if (ring_on(axis)) return false;  // a wrapping counter has no single position
  travel = travel_for_unwrapped(axis, encoder, value, direction);
  return true;
}

std::int64_t travel_for_unwrapped(const AxisState& axis, bool encoder, std::int64_t value, int direction) {
  if (!encoder) return value - axis.cmd_base + axis.cmd_travel_base;
  // Plus: the first travel whose count reaches the value; minus: the last
  // travel whose count is still at or below it. Estimated, then settled on
  // the counts as encoder_counts() gives them.
  const std::int64_t counts = value - axis.enc_base;
  std::int64_t t = axis.enc_travel_base +
                   static_cast<std::int64_t>(std::floor(static_cast<double>(counts) / axis.mech.encoder_ratio));
  auto at_or_past = [&](std::int64_t x) { return encoder_counts(axis, x) >= counts; };
  if (direction > 0) {
    while (!at_or_past(t)) ++t;
    while (at_or_past(t - 1)) --t;
  } else {
    while (encoder_counts(axis, t) > counts) --t;
    while (encoder_counts(axis, t + 1) <= counts) ++t;
  }
  return t;
}

}  // namespace card::chip

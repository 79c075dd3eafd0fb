// What the machine behind an axis shows the chip: limit, home, near-home and
// index sensors at travel positions, alarm, emergency stop, in-position and
// the bench inputs; the status-2 error bits and the raw input byte.
//
// The sensors are modelled as active or not; the level bits of the mode
// registers say how they are wired, so the raw input byte carries the level
// that the configured logic calls active. The limit, alarm and filter
// settings thus change no behaviour (a real machine wired the other way
// would see its switches inverted).
#include <cstdlib>

#include "axis.h"

namespace card::chip {
namespace {

bool within(const std::optional<std::int64_t>& position, std::int64_t width, std::int64_t travel) {
  return position && std::llabs(travel - *position) <= width / 2;
}

// The raw level of an input whose active level is high when `level_high`.
std::uint8_t raw(bool active, bool level_high, std::uint8_t bit) {
  return active == level_high ? bit : 0;
}

bool compare_encoder(const AxisState& axis) { return (axis.reg.mode2 & kMode2CompareEncoder) != 0; }

bool ahead(std::int64_t from, std::int64_t to, int direction) { return direction * (to - from) > 0; }

void keep_nearest(std::int64_t candidate, const AxisState& axis, int direction, bool& found,
                  std::int64_t& nearest) {
  if (!ahead(axis.travel, candidate, direction)) return;
  if (!found || direction * (candidate - nearest) < 0) nearest = candidate;
  found = true;
}

}  // namespace

bool near_home_active(const AxisState& axis) {
  return within(axis.mech.near_home, axis.mech.near_home_width, axis.travel);
}

bool home_active(const AxisState& axis) { return within(axis.mech.home, axis.mech.home_width, axis.travel); }

bool index_active(const AxisState& axis) {
  return axis.mech.index_period > 0 && axis.travel % axis.mech.index_period == 0;
}

bool limit_active(const AxisState& axis, int direction) {
  if (direction > 0) return axis.mech.limit_plus && axis.travel >= *axis.mech.limit_plus;
  return axis.mech.limit_minus && axis.travel <= *axis.mech.limit_minus;
}

bool soft_limit_active(const AxisState& axis, int direction) {
  const std::uint16_t enable = direction > 0 ? kMode2SoftLimitPlus : kMode2SoftLimitMinus;
  if ((axis.reg.mode2 & enable) == 0 || (axis.reg.ext1 & kExt1RingCounter) != 0) return false;
  const std::int64_t counter = compare_encoder(axis) ? encoder_counter(axis) : command_counter(axis);
  return direction > 0 ? counter >= axis.reg.comp_plus : counter <= axis.reg.comp_minus;
}

bool alarm_active(const AxisState& axis) {
  return (axis.reg.mode2 & kMode2AlarmEnable) != 0 && axis.mech.alarm;
}

std::uint16_t status2(const AxisState& axis) {
  std::uint16_t bits = 0;
  if (soft_limit_active(axis, +1)) bits |= kStatus2SoftLimitPlus;
  if (soft_limit_active(axis, -1)) bits |= kStatus2SoftLimitMinus;
  if (limit_active(axis, +1)) bits |= kStatus2LimitPlus;
  if (limit_active(axis, -1)) bits |= kStatus2LimitMinus;
  if (alarm_active(axis)) bits |= kStatus2Alarm;
  if (axis.mech.emergency_stop) bits |= kStatus2Emergency;
  return bits;
}

std::uint8_t input_byte(const AxisState& axis) {
  const std::uint16_t m1 = axis.reg.mode1;
  std::uint8_t byte = 0;
  byte |= raw(near_home_active(axis), m1 & kMode1NearHomeLevel, kInputNearHome);
  byte |= raw(home_active(axis), m1 & kMode1HomeLevel, kInputHome);
  byte |= raw(index_active(axis), m1 & kMode1IndexLevel, kInputIndex);
  byte |= raw(axis.mech.in_position, axis.reg.mode2 & kMode2InpLogic, kInputInPosition);
  // The bench inputs are levels as set.
  if (axis.mech.in3) byte |= kInputIn3;
  if (axis.mech.exp_plus) byte |= kInputExpPlus;
  if (axis.mech.exp_minus) byte |= kInputExpMinus;
  return byte;
}

bool stop_condition(const AxisState& axis, int direction, std::uint16_t& reason, bool& sudden) {
  const bool limit_sudden = (axis.reg.mode2 & kMode2LimitDecStop) == 0;
  if (axis.mech.emergency_stop) {
    reason = kStopEmergency;
    sudden = true;
  } else if (alarm_active(axis)) {
    reason = kStopAlarm;
    sudden = true;
  } else if (limit_active(axis, direction)) {
    reason = direction > 0 ? kStopLimitPlus : kStopLimitMinus;
    sudden = limit_sudden;
  } else if (soft_limit_active(axis, direction)) {
    reason = 0;  // status register 2 tells a software limit
    sudden = limit_sudden;
  } else {
    return false;
  }
  return true;
}

bool next_sensor_travel(const AxisState& axis, int direction, std::int64_t& nearest) {
  bool found = false;
  const auto& limit = direction > 0 ? axis.mech.limit_plus : axis.mech.limit_minus;
  if (limit) keep_nearest(*limit, axis, direction, found, nearest);
  const std::uint16_t soft_enable = direction > 0 ? kMode2SoftLimitPlus : kMode2SoftLimitMinus;
  std::int64_t travel = 0;
  if ((axis.reg.mode2 & soft_enable) &&
      travel_for_counter(axis, compare_encoder(axis), direction > 0 ? axis.reg.comp_plus : axis.reg.comp_minus,
                         direction, travel)) {
    keep_nearest(travel, axis, direction, found, nearest);
  }
  if (home_search_target(axis, travel)) keep_nearest(travel, axis, direction, found, nearest);
  if (comparator_travel(axis, direction, travel)) keep_nearest(travel, axis, direction, found, nearest);
  return found;
}

}  // namespace card::chip

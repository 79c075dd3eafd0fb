#include "unit_conversion.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "card_options.h"
#include "card_table.h"

namespace {

enum class Quantity { Speed, Acceleration, Jerk };

struct Limits {
  uint32_t min;
  uint32_t max;
};

Limits limits_of(const AxisBlock &axis, Quantity quantity) {
  switch (quantity) {
    case Quantity::Speed: return {axis.speed_min, axis.speed_max};
    case Quantity::Acceleration: return {axis.acc_min, axis.acc_max};
    case Quantity::Jerk: return {axis.jerk_min, axis.jerk_max};
  }
  return {1, 0};
}

// The chip's formula for a value within the limits, with the value rounded to
// single precision first: programs written for the card rely on exactly the
// words this gives.
double chip_quotient(Quantity quantity, double multiplier, uint32_t value) {
  const double v = static_cast<float>(value);
  switch (quantity) {
    case Quantity::Speed: return v / multiplier;
    case Quantity::Acceleration: return v / (125.0 * multiplier);
    case Quantity::Jerk: return 62500000.0 * multiplier / v;
  }
  return NAN;
}

// Truncates a quotient into a chip word. A word must lie in 1..0xFFFF: the
// lowest legal jerk of a small multiplier gives a quotient just above 0xFFFF
// (M = 1: 953 PPS/s^2 gives 65,582), and the single-precision rounding of the
// highest legal jerk can give one just below 1; both take the nearest word
// instead of a cut-off one. A quotient without a value (a multiplier or jerk
// of 0) gives no word.
bool quotient_to_word(double quotient, uint16_t *word) {
  if (!std::isfinite(quotient)) return false;
  *word = static_cast<uint16_t>(std::clamp(std::trunc(quotient), 1.0, 65535.0));
  return true;
}

int to_register(Quantity quantity, uint8_t card, uint16_t axis_bits, uint32_t value,
                uint16_t *word) {
  const uint16_t axes = axis_bits & 0xF;
  if (card >= CARD_SLOTS || axes == 0) return 0;
  const AxisBlock &axis = card_table.cards[card].axes[std::countr_zero(axes)];
  const Limits limits = limits_of(axis, quantity);
  if (value < limits.min || value > limits.max) {
    if (!card_options.clamp_to_limits[card]) return 0;
    value = value > limits.max ? limits.max : limits.min;
  }
  return quotient_to_word(chip_quotient(quantity, axis.multiplier, value), word) ? 1 : 0;
}

// A deceleration below the acceleration must exceed V x acceleration /
// 4,000,000 (the product in 64 bits, the quotient in single precision).
bool deceleration_keeps_up(uint32_t drive_speed, uint32_t acceleration, uint32_t deceleration) {
  if (deceleration >= acceleration) return true;
  const uint64_t product = static_cast<uint64_t>(drive_speed) * acceleration;
  const float needed = static_cast<float>(product) / 4000000.0f;
  return static_cast<double>(needed) < deceleration;
}

ApiStatus convert_drive_speed(uint8_t card, uint16_t axis, const SpeedProfile &p,
                              SpeedProfile &out) {
  if (!speed_to_register(card, axis, p.drive_speed, &out.drive_speed_word))
    return ERROR_INVALID_DRIVING_SPEED;
  return SUCCESS_NO_ERROR;
}

// Start and drive speed, as kinds 1, 3 and 4 take them.
ApiStatus convert_speeds(uint8_t card, uint16_t axis, const SpeedProfile &p, SpeedProfile &out) {
  if (!speed_to_register(card, axis, static_cast<uint32_t>(p.start_speed), &out.start_speed_word))
    return ERROR_INVALID_START_SPEED;
  return convert_drive_speed(card, axis, p, out);
}

bool start_exceeds_drive(const SpeedProfile &p) {
  return p.drive_speed < static_cast<uint32_t>(p.start_speed);
}

ApiStatus convert_t_curve(uint8_t card, uint16_t axis, const SpeedProfile &p, SpeedProfile &out) {
  if (ApiStatus status = convert_speeds(card, axis, p, out)) return status;
  if (!acc_to_register(card, axis, static_cast<uint32_t>(p.acceleration), &out.acceleration_word))
    return ERROR_INVALID_ACCELERATION;
  return SUCCESS_NO_ERROR;
}

ApiStatus convert_t_curve_own_decel(uint8_t card, uint16_t axis, const SpeedProfile &p,
                                    SpeedProfile &out) {
  if (start_exceeds_drive(p)) return ERROR_START_SPEED_EXCEED_DRIVING_SPEED;
  if (ApiStatus status = convert_t_curve(card, axis, p, out)) return status;
  if (!acc_to_register(card, axis, p.deceleration, &out.deceleration_word))
    return ERROR_INVALID_DECELERATION;
  if (!deceleration_keeps_up(p.drive_speed, static_cast<uint32_t>(p.acceleration), p.deceleration))
    return ERROR_INVALID_DECELERATION;
  return SUCCESS_NO_ERROR;
}

ApiStatus convert_s_curve(uint8_t card, uint16_t axis, const SpeedProfile &p, SpeedProfile &out) {
  if (start_exceeds_drive(p)) return ERROR_START_SPEED_EXCEED_DRIVING_SPEED;
  if (ApiStatus status = convert_speeds(card, axis, p, out)) return status;
  // A jerk of 0 is refused even where the clamp option would raise it.
  if (p.jerk == 0 || !jerk_to_register(card, axis, static_cast<uint32_t>(p.jerk), &out.jerk_word))
    return ERROR_INVALID_JERK;
  if (p.deceleration_jerk != 0 &&
      !jerk_to_register(card, axis, static_cast<uint32_t>(p.deceleration_jerk),
                        &out.deceleration_jerk_word))
    return ERROR_INVALID_DECELERATION_RATE;
  return SUCCESS_NO_ERROR;
}

// Rate = change x scale / time, saturated to 32 bits; the change and the time
// are taken in single precision.
uint32_t rate_from_time(uint32_t sv, uint32_t dv, uint64_t time_term, double scale) {
  if (time_term == 0) return 0;
  const uint32_t change = dv >= sv ? dv - sv : sv - dv;
  const double rate = static_cast<double>(static_cast<float>(change)) * scale /
                      static_cast<double>(static_cast<float>(time_term));
  return rate >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(rate);
}

}  // namespace

int speed_to_register(uint8_t card, uint16_t axis, uint32_t pps, uint16_t *word) {
  return to_register(Quantity::Speed, card, axis, pps, word);
}

int acc_to_register(uint8_t card, uint16_t axis, uint32_t pps_per_s, uint16_t *word) {
  return to_register(Quantity::Acceleration, card, axis, pps_per_s, word);
}

int jerk_to_register(uint8_t card, uint16_t axis, uint32_t pps_per_s2, uint16_t *word) {
  return to_register(Quantity::Jerk, card, axis, pps_per_s2, word);
}

ApiStatus profile_to_registers(uint8_t card, uint16_t axis, SpeedProfile *profile) {
  SpeedProfile converted = *profile;
  converted.start_speed_word = converted.drive_speed_word = converted.acceleration_word =
      converted.deceleration_word = converted.jerk_word = converted.deceleration_jerk_word = 0;
  ApiStatus status = SUCCESS_NO_ERROR;
  switch (profile->kind) {
    case PROFILE_T_CURVE: status = convert_t_curve(card, axis, *profile, converted); break;
    case PROFILE_CONSTANT_SPEED:
      status = convert_drive_speed(card, axis, *profile, converted);
      break;
    case PROFILE_T_CURVE_OWN_DECEL:
      status = convert_t_curve_own_decel(card, axis, *profile, converted);
      break;
    case PROFILE_S_CURVE: status = convert_s_curve(card, axis, *profile, converted); break;
    default: break;
  }
  if (status == SUCCESS_NO_ERROR) *profile = converted;
  return status;
}

uint32_t acceleration_from_time(uint32_t sv, uint32_t dv, uint32_t time_ms) {
  return rate_from_time(sv, dv, time_ms, 1000.0);
}

uint32_t jerk_from_time(uint32_t sv, uint32_t dv, uint32_t time_ms) {
  return rate_from_time(sv, dv, static_cast<uint64_t>(time_ms) * time_ms, 4000000.0);
}

uint32_t acceleration_argument(uint8_t card, uint32_t sv, uint32_t dv, uint32_t value) {
  return card_options.rates_as_times[card] ? acceleration_from_time(sv, dv, value) : value;
}

uint32_t jerk_argument(uint8_t card, uint32_t sv, uint32_t dv, uint32_t value) {
  return card_options.rates_as_times[card] ? jerk_from_time(sv, dv, value) : value;
}

#include "s_curve_plan.h"

#include <algorithm>
#include <cmath>

#include "axis_position.h"
#include "card_options.h"
#include "card_table.h"
#include "chip_rates.h"
#include "checks.h"
#include "move_all.h"
#include "s_curve_profile.h"

namespace {

// Rates from times where the card takes times; a deceleration jerk of 0
// means "as the jerk", so a symmetric move is not planned to crawl at its
// start speed.
void take_rates(uint8_t card, SMove *move) {
  if (move->decel_jerk == 0) move->decel_jerk = move->jerk;
  move->jerk = jerk_argument(card, move->sv, move->dv, move->jerk);
  move->decel_jerk = jerk_argument(card, move->sv, move->dv, move->decel_jerk);
}

ApiStatus s_curve_words(uint8_t card, uint16_t axis, SMove *move) {
  move->profile = SpeedProfile{};
  move->profile.kind = PROFILE_S_CURVE;
  move->profile.start_speed = static_cast<int32_t>(move->sv);
  move->profile.drive_speed = move->dv;
  move->profile.jerk = static_cast<int32_t>(move->jerk);
  move->profile.deceleration_jerk = static_cast<int32_t>(move->decel_jerk);
  return profile_to_registers(card, axis, &move->profile);
}

uint32_t planned_point(const SMove *move, double m) {
  const SpeedProfile &words = move->profile;
  return decel_point(distance_of(move->pulses), move->offset, words.start_speed_word,
                     words.drive_speed_word, words.deceleration_jerk_word, m);
}

double ramp_up_pulses(const SpeedProfile &words, double m) {
  const double start = chip_speed(words.start_speed_word, m);
  const double drive = chip_speed(words.drive_speed_word, m);
  return ramp_pulses(start, drive, chip_s_ramp_seconds(start, drive, words.jerk_word, m));
}

}  // namespace

ApiStatus plan_s_decel_point(uint8_t card, uint16_t axis, SMove *move) {
  const uint32_t distance = distance_of(move->pulses);
  const int avoid_triangle = motion_of(card, axis).avoid_triangle ? 1 : 0;
  const double m = chip_multiplier_of(card, axis);
  const SpeedProfile &words = move->profile;
  const double room = std::max<double>(static_cast<double>(distance) - move->offset, 0.0);
  const double peak = s_curve_peak_speed(
      chip_speed(words.start_speed_word, m), chip_speed(words.drive_speed_word, m),
      chip_jerk(words.jerk_word, m), chip_jerk(words.deceleration_jerk_word, m), room,
      avoid_triangle);
  if (peak < chip_speed(words.drive_speed_word, m)) {
    const uint16_t peak_word =
        std::max(static_cast<uint16_t>(peak / m), words.start_speed_word);
    move->dv = std::max(move->sv, static_cast<uint32_t>(peak));
    if (ApiStatus status = s_curve_words(card, axis, move)) return status;
    // The library's multiplier is single precision: never above the peak's word.
    move->profile.drive_speed_word = std::min(words.drive_speed_word, peak_word);
  }
  // The point is a whole pulse, rounded early; should that fall before the
  // ramp up has ended, the chip would turn the acceleration round at the
  // deceleration jerk and overshoot: a word lower leaves the room.
  SpeedProfile &planned = move->profile;
  while (planned.drive_speed_word > planned.start_speed_word &&
         planned_point(move, m) < ramp_up_pulses(planned, m)) {
    --planned.drive_speed_word;
    move->dv = static_cast<uint32_t>(chip_speed(planned.drive_speed_word, m));
  }
  move->tail = planned_point(move, m);
  return SUCCESS_NO_ERROR;
}

ApiStatus plan_s_move(uint8_t card, uint16_t axis, SMove *move) {
  take_rates(card, move);
  if (ApiStatus status = s_curve_words(card, axis, move)) return status;
  move->mode = (card_options.s_curve_decel_point[card] || move->jerk != move->decel_jerk)
                   ? S_MODE_DECEL_POINT
                   : S_MODE_CHIP_PROFILE;
  if (move->mode == S_MODE_DECEL_POINT) return plan_s_decel_point(card, axis, move);
  move->tail = static_cast<uint32_t>(static_cast<int32_t>(move->offset));
  return SUCCESS_NO_ERROR;
}

ApiStatus plan_loaded_s_move(uint8_t card, uint16_t axis, SMove *move) {
  take_rates(card, move);
  if (ApiStatus status = s_curve_words(card, axis, move)) return status;
  move->mode = move->jerk == move->decel_jerk ? S_MODE_CHIP_PROFILE : S_MODE_DECEL_POINT;
  move->offset = 0;
  move->tail = 0;
  if (move->mode == S_MODE_DECEL_POINT) return plan_s_decel_point(card, axis, move);
  return SUCCESS_NO_ERROR;
}

void put_s_move_slots(DriverRequest &block, int first_slot, const SMove &move, uint8_t direction) {
  put_u32(block, first_slot + MOVE_PROFILE_START_SPEED, move.profile.start_speed_word);
  put_u32(block, first_slot + MOVE_PROFILE_DRIVE_SPEED, move.profile.drive_speed_word);
  put_u32(block, first_slot + MOVE_PROFILE_RATE, move.profile.jerk_word);
  put_u32(block, first_slot + MOVE_PROFILE_DECEL_RATE, move.profile.deceleration_jerk_word);
  put_u32(block, first_slot + MOVE_PROFILE_MODE, move.mode);
  put_u32(block, first_slot + MOVE_PROFILE_PULSES, distance_of(move.pulses));
  put_u32(block, first_slot + MOVE_PROFILE_DIRECTION, direction);
  put_u32(block, first_slot + MOVE_PROFILE_TAIL, move.tail);
}

void remember_s_move(uint8_t card, uint16_t axis, const SMove &move) {
  if (move.mode != S_MODE_DECEL_POINT) return;
  AxisMotionState &motion = motion_of(card, axis);
  motion.last_start_speed_word = move.profile.start_speed_word;
  motion.last_drive_speed_word = move.profile.drive_speed_word;
  motion.last_decel_jerk_word = move.profile.deceleration_jerk_word;
  motion.pulse_count = static_cast<int32_t>(distance_of(move.pulses));
  motion.offset_pulse_count = static_cast<uint16_t>(move.offset);
}

uint32_t decel_point(uint32_t distance, int16_t offset, uint16_t start_word, uint16_t drive_word,
                     uint16_t decel_jerk_word, double multiplier) {
  const int64_t point = static_cast<int64_t>(distance) - offset -
                        s_curve_accel_distance(start_word, drive_word, decel_jerk_word, multiplier);
  return point > 0 ? static_cast<uint32_t>(point) : 0;
}

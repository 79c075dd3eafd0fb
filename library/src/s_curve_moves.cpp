// The S-curve moves of one axis and of several axes at once, their
// avoid-triangle setting and the change of a running S-curve move's drive
// speed. Speeds in PPS, jerks in PPS/s^2 (or milliseconds with the card's
// rates-as-times option), distances in pulses.
//
// A move whose deceleration jerk differs from its jerk (or any S-curve move
// with the card's deceleration-point option) runs in mode 7: the library
// lowers the drive speed to the peak the distance allows and tells the chip
// where to begin the deceleration; the axis remembers that move's words for
// a later speed change.
#include "card_options.h"
#include "card_table.h"
#include "checks.h"
#include "model.h"
#include "move_all.h"
#include "request.h"
#include "s_curve_profile.h"
#include "unit_conversion.h"

namespace {

constexpr uint32_t S_MODE_CHIP_PROFILE = 4;   // the chip's own symmetric S-curve
constexpr uint32_t S_MODE_DECEL_POINT = 7;    // deceleration point given by the library

// One S-curve move of an axis, from the caller's arguments to its request.
struct SMove {
  uint32_t sv = 0, dv = 0, jerk = 0, decel_jerk = 0;
  int32_t pulses = 0;
  int16_t offset = 0;
  SpeedProfile profile{};
  uint32_t mode = S_MODE_CHIP_PROFILE;
  uint32_t tail = 0;  // mode 4: the offset sign-extended; mode 7: the deceleration point
};

AxisMotionState &motion_of(uint8_t card, uint16_t axis) {
  return card_table.cards[card].axes[axis_index(axis)].motion;
}

// Rates from times where the card takes times; a deceleration jerk of 0
// means "as the jerk", so a symmetric move is not planned to crawl at its
// start speed.
void take_rates(uint8_t card, SMove *move) {
  if (move->decel_jerk == 0) move->decel_jerk = move->jerk;
  if (!card_options.rates_as_times[card]) return;
  move->jerk = jerk_from_time(move->sv, move->dv, move->jerk);
  move->decel_jerk = jerk_from_time(move->sv, move->dv, move->decel_jerk);
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

// Where the deceleration must begin: the distance less the offset and the
// ramp down from the drive speed, never before the start.
uint32_t decel_point(uint32_t distance, int16_t offset, uint16_t start_word, uint16_t drive_word,
                     uint16_t decel_jerk_word, double multiplier) {
  const int64_t point = static_cast<int64_t>(distance) - offset -
                        s_curve_accel_distance(start_word, drive_word, decel_jerk_word,
                                               static_cast<float>(multiplier));
  return point > 0 ? static_cast<uint32_t>(point) : 0;
}

// Mode and last slot of a converted move; in mode 7 the drive speed may be
// lowered to the peak speed.
ApiStatus plan_s_move(uint8_t card, uint16_t axis, SMove *move) {
  move->mode = (card_options.s_curve_decel_point[card] || move->jerk != move->decel_jerk)
                   ? S_MODE_DECEL_POINT
                   : S_MODE_CHIP_PROFILE;
  if (move->mode == S_MODE_CHIP_PROFILE) {
    move->tail = static_cast<uint32_t>(static_cast<int32_t>(move->offset));
    return SUCCESS_NO_ERROR;
  }
  const uint32_t distance = distance_of(move->pulses);
  const int avoid_triangle = motion_of(card, axis).avoid_triangle ? 1 : 0;
  uint32_t peak = static_cast<uint32_t>(
      s_curve_peak_speed(move->sv, move->dv, move->jerk, move->decel_jerk, distance, avoid_triangle));
  if (peak != move->dv) {
    if (peak < move->sv) peak = move->sv;
    move->dv = peak;
    if (ApiStatus status = s_curve_words(card, axis, move)) return status;
  }
  const SpeedProfile &words = move->profile;
  const double multiplier = card_table.cards[card].axes[axis_index(axis)].multiplier;
  move->tail = decel_point(distance, move->offset, words.start_speed_word, words.drive_speed_word,
                           words.deceleration_jerk_word, multiplier);
  return SUCCESS_NO_ERROR;
}

// The axis remembers a mode-7 move for a later speed change.
void remember_s_move(uint8_t card, uint16_t axis, const SMove &move) {
  if (move.mode != S_MODE_DECEL_POINT) return;
  AxisMotionState &motion = motion_of(card, axis);
  motion.last_start_speed_word = move.profile.start_speed_word;
  motion.last_drive_speed_word = move.profile.drive_speed_word;
  motion.last_decel_jerk_word = move.profile.deceleration_jerk_word;
  motion.pulse_count = static_cast<int32_t>(distance_of(move.pulses));
  motion.offset_pulse_count = static_cast<uint16_t>(move.offset);
}

void fill_s_move(DriverRequest &block, uint16_t axis, const SMove &move, bool checked) {
  put_u32(block, 1, axis);
  put_u32(block, 2, move.profile.start_speed_word);
  put_u32(block, 3, move.profile.drive_speed_word);
  put_u32(block, 4, move.profile.jerk_word);
  put_u32(block, 5, move.profile.deceleration_jerk_word);
  put_u32(block, 6, move.mode);
  put_u32(block, 7, distance_of(move.pulses));
  put_u32(block, 8, checked ? DIRECTION_CHECKED : direction_of_distance(move.pulses));
  put_u32(block, 9, move.tail);
  if (checked) put_u32(block, 10, direction_of_distance(move.pulses));
}

// The caller's jerks are converted into local values; the DV entries receive
// the speeds that the moves were planned with.
class SMoveAll final : public AxisMoveLoader {
 public:
  SMoveAll(uint8_t card, const uint32_t *sv, uint32_t *dv, const uint32_t *jerk,
           const uint32_t *decel_jerk, const int32_t *pulses, const int16_t *offset)
      : card_(card), sv_(sv), dv_(dv), jerk_(jerk), decel_jerk_(decel_jerk), pulses_(pulses),
        offset_(offset) {}

  ApiStatus prepare(int axis, DriverRequest & /*block*/, uint8_t *direction) override {
    SMove &move = moves_[axis];
    if (!load_entry(sv_, axis, &move.sv) || !load_entry(dv_, axis, &move.dv) ||
        !load_entry(jerk_, axis, &move.jerk) || !load_entry(decel_jerk_, axis, &move.decel_jerk) ||
        !load_entry(pulses_, axis, &move.pulses) ||
        (offset_ != nullptr && !load_entry(offset_, axis, &move.offset)))
      return ERROR_ACCESS_VIOLATION_DATA_COPY;
    take_rates(card_, &move);
    if (ApiStatus status = s_curve_words(card_, bit(axis), &move)) return status;
    // Planned before any axis is held, so that a refusal holds nothing.
    if (ApiStatus status = plan_s_move(card_, bit(axis), &move)) return status;
    *direction = direction_of_distance(move.pulses);
    return SUCCESS_NO_ERROR;
  }

  ApiStatus before_send(int axis, DriverRequest &block) override {
    const SMove &move = moves_[axis];
    if (move.mode == S_MODE_DECEL_POINT && !seh::try_store(dv_ + axis, move.dv))
      return ERROR_ACCESS_VIOLATION_DATA_COPY;
    remember_s_move(card_, bit(axis), move);
    fill_s_move(block, bit(axis), move, true);
    return SUCCESS_NO_ERROR;
  }

 private:
  static uint16_t bit(int axis) { return static_cast<uint16_t>(1u << axis); }

  uint8_t card_;
  const uint32_t *sv_;
  uint32_t *dv_;
  const uint32_t *jerk_, *decel_jerk_;
  const int32_t *pulses_;
  const int16_t *offset_;
  SMove moves_[AXES_PER_CARD];
};

}  // namespace

RM7X0_EXPORT ApiStatus RM7X0_NAME(s_move)(uint8_t card, uint16_t axis, uint32_t sv, uint32_t dv,
                                          uint32_t jerk, uint32_t decel_jerk, int32_t pulses,
                                          int16_t offset) {
  if (ApiStatus status = check_card_axis(card, axis, AXIS_NOT_USED, AXIS_NOT_USED)) return status;
  SMove move;
  move.sv = sv;
  move.dv = dv;
  move.jerk = jerk;
  move.decel_jerk = decel_jerk;
  move.pulses = pulses;
  move.offset = offset;
  take_rates(card, &move);
  if (ApiStatus status = s_curve_words(card, axis, &move)) return status;
  if (ApiStatus status = plan_s_move(card, axis, &move)) return status;
  remember_s_move(card, axis, move);
  DriverRequest block{};
  preset_status(block);
  fill_s_move(block, axis, move, false);
  return judged_request(card_device(card), REQ_S_MOVE, block, ERROR_S_MOVE_START);
}

RM7X0_EXPORT ApiStatus RM7X0_NAME(s_moveall)(uint8_t card, uint16_t axes, const uint32_t *sv,
                                             uint32_t *dv, const uint32_t *jerk,
                                             const uint32_t *decel_jerk, const int32_t *pulses,
                                             const int16_t *offset) {
  SMoveAll loader(card, sv, dv, jerk, decel_jerk, pulses, offset);
  return move_all_axes(card, axes, REQ_S_MOVE, ERROR_S_MOVE_START, loader);
}

RM7X0_EXPORT ApiStatus RM7X0_NAME(s_set_avtri)(uint8_t card, uint16_t axis, uint16_t setting) {
  if (ApiStatus status = check_card_axis(card, axis, AXIS_NOT_USED, AXIS_NOT_USED)) return status;
  if (setting != 0 && setting != 8) return ERROR_INVALID_AVOID_TRIANGLE_CONFIG;
  motion_of(card, axis).avoid_triangle = setting;
  return SUCCESS_NO_ERROR;
}

RM7X0_EXPORT ApiStatus RM7X0_NAME(s_change_v)(uint8_t card, uint16_t axis, uint32_t dv,
                                              uint32_t jerk, uint32_t decel_jerk) {
  if (ApiStatus status = check_card_axis(card, axis, AXIS_NOT_USED, AXIS_NOT_USED)) return status;
  uint16_t speed_word = 0, jerk_word = 0, decel_jerk_word = 0;
  if (!speed_to_register(card, axis, dv, &speed_word)) return ERROR_INVALID_DRIVING_SPEED;
  if (jerk != 0 && !jerk_to_register(card, axis, jerk, &jerk_word)) return ERROR_INVALID_JERK;
  if (decel_jerk != 0 && !jerk_to_register(card, axis, decel_jerk, &decel_jerk_word))
    return ERROR_INVALID_DECELERATION_RATE;
  AxisMotionState &motion = motion_of(card, axis);
  // Without an earlier planned S-curve move there is nothing to change.
  if (motion.last_start_speed_word == 0) return ERROR_INVALID_START_SPEED;
  // A running S-curve move can only be slowed down.
  if (speed_word > motion.last_drive_speed_word) return ERROR_INVALID_DRIVING_SPEED;
  if (speed_word < motion.last_start_speed_word) speed_word = motion.last_start_speed_word;
  // Word 0 tells the driver to keep the deceleration jerk in force.
  if (decel_jerk_word == motion.last_decel_jerk_word) decel_jerk_word = 0;
  const uint16_t jerk_in_force = decel_jerk_word ? decel_jerk_word : motion.last_decel_jerk_word;
  const double multiplier = card_table.cards[card].axes[axis_index(axis)].multiplier;
  DriverRequest block{};
  preset_status(block);
  put_u32(block, 1, axis);
  put_u32(block, 2, speed_word);
  put_u32(block, 3, jerk_word);
  put_u32(block, 4, decel_jerk_word);
  put_u32(block, 5, decel_point(static_cast<uint32_t>(motion.pulse_count),
                                static_cast<int16_t>(motion.offset_pulse_count),
                                motion.last_start_speed_word, speed_word, jerk_in_force,
                                multiplier));
  const ApiStatus status =
      judged_request(card_device(card), REQ_S_CHANGE_V, block, ERROR_S_DRIVING_SPEED_CHANGE);
  if (status == SUCCESS_NO_ERROR) {
    motion.last_drive_speed_word = speed_word;
    motion.last_decel_jerk_word = jerk_in_force;
  }
  return status;
}

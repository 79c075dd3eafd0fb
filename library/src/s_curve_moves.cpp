// The S-curve moves of one axis and of several axes at once, their
// avoid-triangle setting and the change of a running S-curve move's drive
// speed. Speeds in PPS, jerks in PPS/s^2 (or milliseconds with the card's
// rates-as-times option), distances in pulses; each move is planned as
// s_curve_plan.h says.
#include "axis_position.h"
#include "card_table.h"
#include "checks.h"
#include "chip_rates.h"
#include "model.h"
#include "move_all.h"
#include "request.h"
#include "s_curve_plan.h"
#include "unit_conversion.h"

namespace {

// An S-curve request; `checked` puts 0xFD in the direction slot and the
// direction in the checked-direction slot.
void fill_s_move(DriverRequest &block, uint16_t axis, const SMove &move, bool checked) {
  put_u32(block, SLOT_AXES, axis);
  put_s_move_slots(block, FIXED_MOVE_PROFILE, move,
                   checked ? DIRECTION_CHECKED : direction_of_distance(move.pulses));
  if (checked) put_u32(block, FIXED_MOVE_CHECKED_DIRECTION, direction_of_distance(move.pulses));
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
    // Planned before any axis is held, so that a refusal holds nothing.
    const uint32_t given_dv = move.dv;
    if (ApiStatus status = plan_s_move(card_, bit(axis), &move)) return status;
    // A planned speed goes back into the entry once the axes are held: the
    // entry must take it, or the frame ends here, before the hold.
    if (move.mode == S_MODE_DECEL_POINT && !seh::try_store(dv_ + axis, given_dv))
      return ERROR_ACCESS_VIOLATION_DATA_COPY;
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

// Exported as rm720_s_move and rm730_s_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_move)(uint8_t card, uint16_t axis, uint32_t sv, uint32_t dv,
                                          uint32_t jerk, uint32_t decel_jerk, int32_t pulses,
                                          int16_t offset) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
  SMove move;
  move.sv = sv;
  move.dv = dv;
  move.jerk = jerk;
  move.decel_jerk = decel_jerk;
  move.pulses = pulses;
  move.offset = offset;
  if (ApiStatus status = plan_s_move(card, axis, &move)) return status;
  remember_s_move(card, axis, move);
  DriverRequest block{};
  preset_status(block);
  fill_s_move(block, axis, move, false);
  return judged_request(card_device(card), REQ_S_MOVE, block, ERROR_S_MOVE_START);
}

// Exported as rm720_s_moveall and rm730_s_moveall.
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_moveall)(uint8_t card, uint16_t axes, const uint32_t *sv,
                                             uint32_t *dv, const uint32_t *jerk,
                                             const uint32_t *decel_jerk, const int32_t *pulses,
                                             const int16_t *offset) {
  SMoveAll loader(card, sv, dv, jerk, decel_jerk, pulses, offset);
  return move_all_axes(card, axes, REQ_S_MOVE, ERROR_S_MOVE_START, loader);
}

// Exported as rm720_s_set_avtri and rm730_s_set_avtri.
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_set_avtri)(uint8_t card, uint16_t axis, uint16_t setting) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
  if (setting != 0 && setting != 8) return ERROR_INVALID_AVOID_TRIANGLE_CONFIG;
  motion_of(card, axis).avoid_triangle = setting;
  return SUCCESS_NO_ERROR;
}

// Exported as rm720_s_change_v and rm730_s_change_v.
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_change_v)(uint8_t card, uint16_t axis, uint32_t dv,
                                              uint32_t jerk, uint32_t decel_jerk) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
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
  const double multiplier = chip_multiplier_of(card, axis);
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, S_CHANGE_V_SPEED, speed_word);
  put_u32(block, S_CHANGE_V_JERK, jerk_word);
  put_u32(block, S_CHANGE_V_DEC_JERK, decel_jerk_word);
  put_u32(block, S_CHANGE_V_DECEL_POINT,
          decel_point(static_cast<uint32_t>(motion.pulse_count),
                      static_cast<int16_t>(motion.offset_pulse_count), motion.last_start_speed_word,
                      speed_word, jerk_in_force, multiplier));
  const ApiStatus status =
      judged_request(card_device(card), REQ_S_CHANGE_V, block, ERROR_S_DRIVING_SPEED_CHANGE);
  if (status == SUCCESS_NO_ERROR) {
    motion.last_drive_speed_word = speed_word;
    motion.last_decel_jerk_word = jerk_in_force;
  }
  return status;
}

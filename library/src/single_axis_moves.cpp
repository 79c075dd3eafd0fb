// The velocity, constant-speed and T-curve moves of one axis and of several
// axes at once, the T-curve avoid-triangle setting and the change of a
// running T-curve move's drive speed. Speeds in PPS, rates in PPS/s (or
// milliseconds with the card's rates-as-times option), distances in pulses.
#include "card_table.h"
#include "checks.h"
#include "model.h"
#include "move_all.h"
#include "request.h"
#include "speed_and_rates.h"
#include "t_curve_request.h"
#include "unit_conversion.h"

namespace {

constexpr uint32_t T_MODE_SYMMETRIC = 0;

// The T-curve words of a move with its own deceleration.
ApiStatus t_curve_words(uint8_t card, uint16_t axis, uint32_t sv, uint32_t dv, uint32_t acc,
                        uint32_t dec, SpeedProfile *profile) {
  *profile = SpeedProfile{};
  profile->kind = PROFILE_T_CURVE_OWN_DECEL;
  profile->start_speed = static_cast<int32_t>(sv);
  profile->drive_speed = dv;
  profile->acceleration = static_cast<int32_t>(acc);
  profile->deceleration = dec;
  return profile_to_registers(card, axis, profile);
}

// A T-curve request; `checked` puts 0xFD in the direction slot and the
// direction in the checked-direction slot.
void fill_t_move(DriverRequest &block, uint16_t axis, const SpeedProfile &profile, bool symmetric,
                 int32_t pulses, int16_t offset, bool checked) {
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, FIXED_MOVE_PROFILE + MOVE_PROFILE_START_SPEED, profile.start_speed_word);
  put_u32(block, FIXED_MOVE_PROFILE + MOVE_PROFILE_DRIVE_SPEED, profile.drive_speed_word);
  put_u32(block, FIXED_MOVE_PROFILE + MOVE_PROFILE_RATE, profile.acceleration_word);
  put_u32(block, FIXED_MOVE_PROFILE + MOVE_PROFILE_DECEL_RATE, profile.deceleration_word);
  put_u32(block, FIXED_MOVE_PROFILE + MOVE_PROFILE_MODE,
          symmetric ? T_MODE_SYMMETRIC : MODE_OWN_DECELERATION);
  put_u32(block, FIXED_MOVE_PROFILE + MOVE_PROFILE_PULSES, distance_of(pulses));
  put_u32(block, FIXED_MOVE_DIRECTION, checked ? DIRECTION_CHECKED : direction_of_distance(pulses));
  put_i16(block, FIXED_MOVE_PROFILE + MOVE_PROFILE_TAIL, offset);
  if (checked) put_u32(block, FIXED_MOVE_CHECKED_DIRECTION, direction_of_distance(pulses));
}

void fill_const_move(DriverRequest &block, uint16_t axis, uint16_t drive_speed_word,
                     int32_t pulses, bool checked) {
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, CONST_MOVE_DRIVE_SPEED, drive_speed_word);
  put_u32(block, CONST_MOVE_MODE, MODE_CONSTANT_SPEED);
  put_u32(block, CONST_MOVE_PULSES, distance_of(pulses));
  put_u32(block, CONST_MOVE_DIRECTION, checked ? DIRECTION_CHECKED : direction_of_distance(pulses));
  if (checked) put_u32(block, CONST_MOVE_CHECKED_DIRECTION, direction_of_distance(pulses));
}

class ConstMoveAll final : public AxisMoveLoader {
 public:
  ConstMoveAll(uint8_t card, const uint32_t *dv, const int32_t *pulses)
      : card_(card), dv_(dv), pulses_(pulses) {}

  ApiStatus prepare(int axis, DriverRequest &block, uint8_t *direction) override {
    uint32_t dv = 0;
    int32_t pulses = 0;
    if (!load_entry(dv_, axis, &dv) || !load_entry(pulses_, axis, &pulses))
      return ERROR_ACCESS_VIOLATION_DATA_COPY;
    const uint16_t axis_bit = static_cast<uint16_t>(1u << axis);
    uint16_t word = 0;
    if (!speed_to_register(card_, axis_bit, dv, &word)) return ERROR_INVALID_DRIVING_SPEED;
    fill_const_move(block, axis_bit, word, pulses, true);
    *direction = direction_of_distance(pulses);
    return SUCCESS_NO_ERROR;
  }

 private:
  uint8_t card_;
  const uint32_t *dv_;
  const int32_t *pulses_;
};

// The rates are converted into local values: the caller's arrays keep what
// the caller wrote, so they can be sent again as they are.
class TMoveAll final : public AxisMoveLoader {
 public:
  TMoveAll(uint8_t card, const uint32_t *sv, const uint32_t *dv, const uint32_t *acc,
           const uint32_t *dec, const int32_t *pulses, const int16_t *offset)
      : card_(card), sv_(sv), dv_(dv), acc_(acc), dec_(dec), pulses_(pulses), offset_(offset) {}

  ApiStatus prepare(int axis, DriverRequest &block, uint8_t *direction) override {
    uint32_t sv = 0, dv = 0, acc = 0, dec = 0;
    int32_t pulses = 0;
    int16_t offset = 0;
    if (!load_entry(sv_, axis, &sv) || !load_entry(dv_, axis, &dv) ||
        !load_entry(acc_, axis, &acc) || !load_entry(dec_, axis, &dec) ||
        !load_entry(pulses_, axis, &pulses) ||
        (offset_ != nullptr && !load_entry(offset_, axis, &offset)))
      return ERROR_ACCESS_VIOLATION_DATA_COPY;
    acc = acceleration_argument(card_, sv, dv, acc);
    dec = acceleration_argument(card_, sv, dv, dec);
    const uint16_t axis_bit = static_cast<uint16_t>(1u << axis);
    SpeedProfile profile;
    if (ApiStatus status = t_curve_words(card_, axis_bit, sv, dv, acc, dec, &profile))
      return status;
    fill_t_move(block, axis_bit, profile, acc == dec, pulses, offset, true);
    *direction = direction_of_distance(pulses);
    return SUCCESS_NO_ERROR;
  }

 private:
  uint8_t card_;
  const uint32_t *sv_, *dv_, *acc_, *dec_;
  const int32_t *pulses_;
  const int16_t *offset_;
};

}  // namespace

// Exported as rm720_velocity_move and rm730_velocity_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(velocity_move)(uint8_t card, uint16_t axis, uint32_t sv,
                                                 uint32_t dv, uint32_t acc, uint8_t dir) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
  if (dir > 1) return ERROR_INVALID_MOVE_DIRECTION;
  SpeedProfile profile{};
  profile.kind = PROFILE_T_CURVE;
  profile.start_speed = static_cast<int32_t>(sv);
  profile.drive_speed = dv;
  profile.acceleration = static_cast<int32_t>(acceleration_argument(card, sv, dv, acc));
  if (ApiStatus status = profile_to_registers(card, axis, &profile)) return status;
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, VELOCITY_MOVE_START_SPEED, profile.start_speed_word);
  put_u32(block, VELOCITY_MOVE_DRIVE_SPEED, profile.drive_speed_word);
  put_u32(block, VELOCITY_MOVE_ACC, profile.acceleration_word);
  put_u32(block, VELOCITY_MOVE_DIRECTION, dir);
  return judged_request(card_device(card), REQ_VELOCITY_MOVE, block, ERROR_CONTI_MOVE_START);
}

// Exported as rm720_const_move and rm730_const_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(const_move)(uint8_t card, uint16_t axis, uint32_t dv,
                                              int32_t pulses) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
  uint16_t word = 0;
  if (!speed_to_register(card, axis, dv, &word)) return ERROR_INVALID_DRIVING_SPEED;
  DriverRequest block{};
  preset_status(block);
  fill_const_move(block, axis, word, pulses, false);
  return judged_request(card_device(card), REQ_CONST_MOVE, block, ERROR_CONST_MOVE_START);
}

// Exported as rm720_const_moveall and rm730_const_moveall.
RM7X0_EXPORT ApiStatus RM7X0_NAME(const_moveall)(uint8_t card, uint16_t axes, const uint32_t *dv,
                                                 const int32_t *pulses) {
  ConstMoveAll loader(card, dv, pulses);
  return move_all_axes(card, axes, REQ_CONST_MOVE, ERROR_CONST_MOVE_START, loader);
}

ApiStatus prepare_t_move(uint8_t card, uint16_t axis, uint32_t sv, uint32_t dv, uint32_t acc,
                         uint32_t dec, int32_t pulses, int16_t offset, DriverRequest &block) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
  acc = acceleration_argument(card, sv, dv, acc);
  dec = acceleration_argument(card, sv, dv, dec);
  SpeedProfile profile;
  if (ApiStatus status = t_curve_words(card, axis, sv, dv, acc, dec, &profile)) return status;
  block = DriverRequest{};
  preset_status(block);
  fill_t_move(block, axis, profile, acc == dec, pulses, offset, false);
  return SUCCESS_NO_ERROR;
}

// Exported as rm720_t_move and rm730_t_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_move)(uint8_t card, uint16_t axis, uint32_t sv, uint32_t dv,
                                          uint32_t acc, uint32_t dec, int32_t pulses,
                                          int16_t offset) {
  DriverRequest block;
  if (ApiStatus status = prepare_t_move(card, axis, sv, dv, acc, dec, pulses, offset, block))
    return status;
  return judged_request(card_device(card), REQ_T_MOVE, block, ERROR_T_MOVE_START);
}

// Exported as rm720_t_moveall and rm730_t_moveall.
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_moveall)(uint8_t card, uint16_t axes, const uint32_t *sv,
                                             const uint32_t *dv, const uint32_t *acc,
                                             const uint32_t *dec, const int32_t *pulses,
                                             const int16_t *offset) {
  TMoveAll loader(card, sv, dv, acc, dec, pulses, offset);
  return move_all_axes(card, axes, REQ_T_MOVE, ERROR_T_MOVE_START, loader);
}

// Exported as rm720_t_set_avtri and rm730_t_set_avtri.
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_set_avtri)(uint8_t card, uint16_t axis, uint16_t setting) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
  if (setting != 0 && setting != 8) return ERROR_INVALID_AVOID_TRIANGLE_CONFIG;
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, T_SET_AVTRI_SETTING, setting);
  return request_only(card_device(card), REQ_T_SET_AVTRI, block, ERROR_T_AVOID_TRIANGLE_SET);
}

ApiStatus send_speed_and_rates(uint8_t card, uint16_t axis, uint32_t speed, uint32_t acc,
                               uint32_t dec, DWORD code, ApiStatus failure) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
  // A zero rate travels as word 0: the driver keeps the rate in force.
  uint16_t speed_word = 0, acc_word = 0, dec_word = 0;
  if (!speed_to_register(card, axis, speed, &speed_word)) return ERROR_INVALID_DRIVING_SPEED;
  if (acc != 0 && !acc_to_register(card, axis, acc, &acc_word)) return ERROR_INVALID_ACCELERATION;
  if (dec != 0 && !acc_to_register(card, axis, dec, &dec_word)) return ERROR_INVALID_DECELERATION;
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, SPEED_AND_RATES_SPEED, speed_word);
  put_u32(block, SPEED_AND_RATES_ACC, acc_word);
  put_u32(block, SPEED_AND_RATES_DEC, dec_word);
  return judged_request(card_device(card), code, block, failure);
}

// Exported as rm720_t_change_v and rm730_t_change_v.
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_change_v)(uint8_t card, uint16_t axis, uint32_t dv,
                                              uint32_t acc, uint32_t dec) {
  return send_speed_and_rates(card, axis, dv, acc, dec, REQ_T_CHANGE_V,
                              ERROR_T_DRIVING_SPEED_CHANGE);
}

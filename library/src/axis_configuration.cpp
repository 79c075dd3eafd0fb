// Axis configuration exports: speed range, pulse output, encoder input, limit
// switches, in-position and alarm inputs, servo-on output, input filter and
// software limits. Each checks card and axis, then its option values, then
// sends one request; only the range is kept in the library (AxisBlock).
#include "argument_checks.h"
#include "card_table.h"
#include "checks.h"
#include "model.h"
#include "request.h"

namespace {

constexpr uint32_t RANGE_MIN = 16000;      // PPS
constexpr uint32_t RANGE_MAX = 8000000;    // PPS
constexpr uint32_t MAX_SPEED_MIN = 8000;   // PPS
constexpr uint32_t MAX_SPEED_MAX = 4000000;
constexpr double RANGE_TIMES_MAX_SPEED = 64000000000.0;  // range x its highest speed

constexpr uint16_t PULSE_MODE_ONE_PULSE = 0x40;  // pulse and direction outputs
constexpr uint16_t INP_ENABLED = 0x8000;
constexpr uint16_t ALARM_ENABLED = 0x2000;
constexpr uint16_t SOFT_LIMIT_ENABLED = 3;

// An axis setting: the axis and one value (style A).
ApiStatus send_axis_value(uint8_t card, DWORD code, uint16_t axis, uint32_t value,
                          ApiStatus failure) {
  DriverRequest block{};
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, AXIS_SETTING_VALUE, value);
  return request_only(card_device(card), code, block, failure);
}

// Card, axis and option values, in this order.
ApiStatus check_call(uint8_t card, uint16_t axis, uint16_t api, uint16_t v1, uint16_t v2 = 0,
                     uint16_t v3 = 0) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  return validate_api_args(api, v1, v2, v3, 0, 0, 0);
}

// Sends the range to the driver; on its success the axis takes the range, its
// multiplier and the card's limits follow. A refusal keeps the old range.
ApiStatus change_range(uint8_t card, uint16_t axis, uint32_t range) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, SET_RANGE_RANGE, range);
  if (const ApiStatus status =
          judged_request(card_device(card), REQ_SET_RANGE, block, ERROR_RANGE_CHANGE))
    return status;
  AxisBlock &axis_block = card_table.cards[card].axes[axis_index(axis)];
  axis_block.range = range;
  axis_block.multiplier = multiplier_for_range(range);
  update_axis_limits(card);
  return SUCCESS_NO_ERROR;
}

}  // namespace

// Exported as rm720_set_range and rm730_set_range.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_range)(uint8_t card, uint16_t axis, uint32_t range) {
  if (const ApiStatus status = check_library()) return status;
  if (range < RANGE_MIN || range > RANGE_MAX) return ERROR_INVALID_RANGE;
  return change_range(card, axis, range);
}

#ifndef RM7X0_MODEL_B
// Exported as rm720_set_max_v.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_max_v)(uint8_t card, uint16_t axis, uint32_t max_speed) {
  if (const ApiStatus status = check_library()) return status;
  if (max_speed < MAX_SPEED_MIN || max_speed > MAX_SPEED_MAX) return ERROR_INVALID_RANGE;
  return change_range(card, axis, static_cast<uint32_t>(RANGE_TIMES_MAX_SPEED / max_speed));
}
#endif

// Exported as rm720_get_range_settings and rm730_get_range_settings.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_range_settings)(uint8_t card, uint16_t axis,
                                                      int32_t *limits) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  const AxisBlock &block = card_table.cards[card].axes[axis_index(axis)];
  const uint32_t values[6] = {block.jerk_max, block.jerk_min, block.acc_min,
                              block.acc_max,  block.speed_min, block.speed_max};
  for (int i = 0; i < 6; ++i) {
    if (!seh::try_store(&limits[i], static_cast<int32_t>(values[i])))
      return ERROR_ACCESS_VIOLATION_DATA_COPY;
  }
  return SUCCESS_NO_ERROR;
}

// Exported as rm720_set_pls_cfg and rm730_set_pls_cfg.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_pls_cfg)(uint8_t card, uint16_t axis, uint16_t mode,
                                               uint16_t level, uint16_t direction) {
  if (const ApiStatus status = check_call(card, axis, API_SET_PLS_CFG, mode, level, direction))
    return status;
  // The direction output exists only in the pulse-and-direction mode.
  const uint16_t word = mode | level | (mode == PULSE_MODE_ONE_PULSE ? direction : 0);
  return send_axis_value(card, REQ_SET_PLS_CFG, axis, word, ERROR_PULSE_MODE_SET);
}

// Exported as rm720_set_enc_cfg and rm730_set_enc_cfg.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_enc_cfg)(uint8_t card, uint16_t axis, uint16_t mode) {
  if (const ApiStatus status = check_call(card, axis, API_SET_ENC_CFG, mode)) return status;
  return send_axis_value(card, REQ_SET_ENC_CFG, axis, mode, ERROR_ENCODER_MODE_SET);
}

// Exported as rm720_set_limit and rm730_set_limit.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_limit)(uint8_t card, uint16_t axis, uint16_t logic,
                                             uint16_t stop_mode) {
  if (const ApiStatus status = check_call(card, axis, API_SET_LIMIT, logic, stop_mode))
    return status;
  return send_axis_value(card, REQ_SET_LIMIT, axis, logic | stop_mode, ERROR_LIMIT_SENSOR_SET);
}

// Slot 3 = 0: the driver keeps the word as the configured one.
// Exported as rm720_set_inp and rm730_set_inp.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_inp)(uint8_t card, uint16_t axis, uint16_t enable,
                                           uint16_t logic) {
  if (const ApiStatus status = check_call(card, axis, API_SET_INP, enable, logic)) return status;
  DriverRequest block{};
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, SET_INP_VALUE, enable == INP_ENABLED ? enable | logic : 0);
  put_u32(block, SET_INP_WRITE_MODE, 0);
  return request_only(card_device(card), REQ_SET_INP, block, ERROR_INP_SIGNAL_SET);
}

// Exported as rm720_set_alarm and rm730_set_alarm.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_alarm)(uint8_t card, uint16_t axis, uint16_t enable,
                                             uint16_t logic) {
  if (const ApiStatus status = check_call(card, axis, API_SET_ALARM, enable, logic))
    return status;
  const uint16_t word = enable == ALARM_ENABLED ? enable | logic : 0;
  return send_axis_value(card, REQ_SET_ALARM, axis, word, ERROR_ALARM_SIGNAL_SET);
}

// value travels to the driver, which keeps it with the servo state.
// Exported as rm720_servo_on and rm730_servo_on.
RM7X0_EXPORT ApiStatus RM7X0_NAME(servo_on)(uint8_t card, uint16_t axis, uint8_t on,
                                            uint8_t value) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  if (on > 1) return ERROR_INVALID_SERVO_SETTING;
  const uint16_t servo_bit = static_cast<uint16_t>(1u << (4 * axis_index(axis) + 1));
  DriverRequest block{};
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, SERVO_ON_WORD, on ? servo_bit : 0);
  put_u32(block, SERVO_ON_VALUE, value);
  return request_only(card_device(card), REQ_SERVO_ON, block, ERROR_SERVO_ON_SET);
}

// Exported as rm720_set_filter and rm730_set_filter.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_filter)(uint8_t card, uint16_t axis, uint16_t enable,
                                              uint16_t configuration, uint16_t delay) {
  if (const ApiStatus status =
          check_call(card, axis, API_SET_FILTER, enable, configuration, delay))
    return status;
  const uint16_t word = enable ? configuration | delay : 0;
  return send_axis_value(card, REQ_SET_FILTER, axis, word, ERROR_FILTER_SET);
}

// Limits in pulses, on the counter the source names (0 command, 32 encoder).
// The driver refuses an axis whose comparators another function holds.
// Exported as rm720_set_softlimit and rm730_set_softlimit.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_softlimit)(uint8_t card, uint16_t axis, uint16_t enable,
                                                 uint16_t source, int32_t plus_limit,
                                                 int32_t minus_limit) {
  if (const ApiStatus status = check_call(card, axis, API_SET_SOFTLIMIT, enable, source))
    return status;
  DriverRequest block{};
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, SET_SOFTLIMIT_ENABLE, enable == SOFT_LIMIT_ENABLED ? SOFT_LIMIT_ENABLED : 0);
  put_u32(block, SET_SOFTLIMIT_SOURCE, source);
  put_i32(block, SET_SOFTLIMIT_PLUS, plus_limit);
  put_i32(block, SET_SOFTLIMIT_MINUS, minus_limit);
  return judged_request(card_device(card), REQ_SET_SOFTLIMIT, block, ERROR_SW_LIMIT_SET);
}

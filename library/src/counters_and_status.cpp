// Counters, status queries and board information: one request each, whose
// reply values are stored into the caller's variables (a store that faults
// gives ERROR_ACCESS_VIOLATION_DATA_COPY). The counter writers keep the
// axis's absolute position where it was.
#include "absolute_position.h"
#include "axis_position.h"
#include "card_options.h"
#include "card_table.h"
#include "checks.h"
#include "model.h"
#include "request.h"

namespace {

// Sends one query of the card and leaves its reply in the block.
ApiStatus card_query(uint8_t card, DWORD code, ApiStatus failure, DriverRequest &block) {
  if (const ApiStatus status = check_card(card)) return status;
  preset_status(block);
  return request_only(card_device(card), code, block, failure);
}

// The same for one axis.
ApiStatus query(uint8_t card, uint16_t axis, DWORD code, ApiStatus failure, DriverRequest &block) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  return request_only(card_device(card), code, block, failure);
}

template <typename T>
ApiStatus store(T *out, T value) {
  return seh::try_store(out, value) ? SUCCESS_NO_ERROR : ERROR_ACCESS_VIOLATION_DATA_COPY;
}

// An axis query whose answer goes to *out as T.
template <typename T>
ApiStatus query_value(uint8_t card, uint16_t axis, DWORD code, ApiStatus failure, T *out) {
  DriverRequest block{};
  if (const ApiStatus status = query(card, axis, code, failure, block)) return status;
  return store(out, static_cast<T>(slot_u32(block, AXIS_QUERY_REPLY_VALUE)));
}

double multiplier_of(uint8_t card, uint16_t axis) {
  return card_table.cards[card].axes[axis_index(axis)].multiplier;
}

// A 16-bit rate register read back in its unit: factor x M x word, truncated.
ApiStatus query_rate(uint8_t card, uint16_t axis, DWORD code, ApiStatus failure, double factor,
                     int32_t *out) {
  DriverRequest block{};
  if (const ApiStatus status = query(card, axis, code, failure, block)) return status;
  // 125 x M x a large acceleration word exceeds the i32 reply: it is clamped.
  const double value = factor * multiplier_of(card, axis) * slot_u16(block, AXIS_QUERY_REPLY_VALUE);
  return store(out, value < INT32_MAX ? static_cast<int32_t>(value) : INT32_MAX);
}

struct CounterKind {
  uint8_t abs_source;
  DWORD read_code, write_code;
  ApiStatus write_failure;
};
constexpr CounterKind COMMAND_COUNTER = {ABS_SOURCE_COMMAND, REQ_GET_CMDCOUNTER,
                                         REQ_SET_CMDCOUNTER, ERROR_CMD_COUNTER_SET};
constexpr CounterKind ENCODER_COUNTER = {ABS_SOURCE_ENCODER, REQ_GET_ENCCOUNTER,
                                         REQ_SET_ENCCOUNTER, ERROR_POS_COUNTER_SET};

// Writes a counter. When it is the absolute-position source the axis must
// be stopped (unless may_move) and the origin offset moves with the counter,
// so that counter - origin offset stays the same.
ApiStatus write_counter(uint8_t card, uint16_t axis, int32_t value, const CounterKind &kind,
                        bool may_move) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  const bool is_source = motion_of(card, axis).abs_position_source == kind.abs_source;
  int32_t old_value = 0;
  if (is_source) {
    uint8_t done = 0;
    int16_t state = 0;
    if (const ApiStatus status = RM7X0_NAME(motion_done)(card, axis, &done, &state)) return status;
    if (done != 1 && !may_move) return ERROR_MOTION_NOT_COMPLETE;
    DriverRequest read{};
    put_u32(read, SLOT_AXES, axis);
    if (!send_request(card_device(card), kind.read_code, read)) return ERROR_POS_COUNTER_GET;
    old_value = slot_i32(read, AXIS_QUERY_REPLY_VALUE);
  }
  DriverRequest block{};
  put_u32(block, SLOT_AXES, axis);
  put_i32(block, SET_COUNTER_VALUE, value);
  if (!send_request(card_device(card), kind.write_code, block)) return kind.write_failure;
  if (is_source) {
    AxisMotionState &motion = motion_of(card, axis);
    motion.origin_offset = wrapping_add(motion.origin_offset, wrapping_sub(value, old_value));
  }
  return SUCCESS_NO_ERROR;
}

}  // namespace

// ---- counters -----------------------------------------------------------------

// Exported as rm720_get_cmdcounter and rm730_get_cmdcounter.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_cmdcounter)(uint8_t card, uint16_t axis, int32_t *counter) {
  return query_value(card, axis, REQ_GET_CMDCOUNTER, ERROR_CMD_COUNTER_GET, counter);
}

// Exported as rm720_get_enccounter and rm730_get_enccounter.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_enccounter)(uint8_t card, uint16_t axis, int32_t *counter) {
  return query_value(card, axis, REQ_GET_ENCCOUNTER, ERROR_POS_COUNTER_GET, counter);
}

// Exported as rm720_get_position and rm730_get_position.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_position)(uint8_t card, uint16_t axis, int32_t *position) {
  return query_value(card, axis, REQ_GET_ENCCOUNTER, ERROR_POS_COUNTER_GET, position);
}

// Exported as rm720_set_cmdcounter and rm730_set_cmdcounter.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_cmdcounter)(uint8_t card, uint16_t axis, int32_t value) {
  const bool may_move = card < CARD_SLOTS && card_options.counters_while_moving[card];
  return write_counter(card, axis, value, COMMAND_COUNTER, may_move);
}

// Exported as rm720_set_enccounter and rm730_set_enccounter.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_enccounter)(uint8_t card, uint16_t axis, int32_t value) {
  const bool may_move = card < CARD_SLOTS && card_options.counters_while_moving[card];
  return write_counter(card, axis, value, ENCODER_COUNTER, may_move);
}

// Exported as rm720_set_position and rm730_set_position.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_position)(uint8_t card, uint16_t axis, int32_t value) {
  return write_counter(card, axis, value, ENCODER_COUNTER, false);
}

// Exported as rm720_get_latch and rm730_get_latch.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_latch)(uint8_t card, uint16_t axis, int32_t *latch) {
  return query_value(card, axis, REQ_GET_LATCH, ERROR_LATCH_GET, latch);
}

// ---- motion state ----------------------------------------------------------------

// Exported as rm720_motion_done and rm730_motion_done.
RM7X0_EXPORT ApiStatus RM7X0_NAME(motion_done)(uint8_t card, uint16_t axis, uint8_t *done,
                                               int16_t *state) {
  DriverRequest block{};
  if (const ApiStatus status = query(card, axis, REQ_MOTION_DONE, ERROR_MOTION_DONE_GET, block))
    return status;
  const uint8_t stopped = static_cast<uint8_t>(slot_u32(block, MOTION_DONE_REPLY_DONE));
  if (const ApiStatus status = store(done, stopped)) return status;
  if (const ApiStatus status =
          store(state, static_cast<int16_t>(slot_u16(block, MOTION_DONE_REPLY_STATE))))
    return status;
  if (stopped == 1 && motion_of(card, axis).zero_when_stopped)
    take_search_end(card, axis, static_cast<int16_t>(slot_u16(block, MOTION_DONE_REPLY_STATE)));
  return SUCCESS_NO_ERROR;
}

// Exported as rm720_get_speed and rm730_get_speed.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_speed)(uint8_t card, uint16_t axis, int32_t *speed) {
  return query_rate(card, axis, REQ_GET_SPEED, ERROR_SPEED_GET, 1.0, speed);
}

// Exported as rm720_get_acc and rm730_get_acc.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_acc)(uint8_t card, uint16_t axis, int32_t *acceleration) {
  return query_rate(card, axis, REQ_GET_ACC, ERROR_ACCELERATION_GET, 125.0, acceleration);
}

// Exported as rm720_get_error_status and rm730_get_error_status.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_error_status)(uint8_t card, uint16_t axis, int16_t *status) {
  return query_value(card, axis, REQ_GET_ERROR_STATUS, ERROR_ERROR_STATUS_GET, status);
}

// Exported as rm720_get_int_status and rm730_get_int_status.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_int_status)(uint8_t card, uint16_t axis, int16_t *status) {
  return query_value(card, axis, REQ_GET_INT_STATUS, ERROR_INT_STATUS_GET, status);
}

// ---- inputs and outputs ------------------------------------------------------------

// Exported as rm720_get_mdi_status and rm730_get_mdi_status.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_mdi_status)(uint8_t card, uint16_t axis, int16_t *status) {
  return query_value(card, axis, REQ_GET_DI_STATUS, ERROR_DI_STATUS_GET, status);
}

// Exported as rm720_get_di_status and rm730_get_di_status.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_di_status)(uint8_t card, uint16_t axis, int16_t *status) {
  DriverRequest block{};
  if (const ApiStatus result = query(card, axis, REQ_GET_DI_STATUS, ERROR_DI_STATUS_GET, block))
    return result;
  return store(status, static_cast<int16_t>(slot_u16(block, GET_DI_STATUS_REPLY_RAW)));
}

// Exported as rm720_get_in3 and rm730_get_in3.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_in3)(uint8_t card, uint16_t axis, uint8_t *in3) {
  return query_value(card, axis, REQ_GET_IN3, ERROR_IN3_GET, in3);
}

// Exported as rm720_get_exp and rm730_get_exp.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_exp)(uint8_t card, uint16_t axis, uint8_t *exp_plus,
                                           uint8_t *exp_minus) {
  DriverRequest block{};
  if (const ApiStatus status = query(card, axis, REQ_GET_IN3, ERROR_IN3_GET, block)) return status;
  if (const ApiStatus status =
          store(exp_plus, static_cast<uint8_t>(slot_u32(block, GET_IN3_REPLY_EXP_PLUS))))
    return status;
  return store(exp_minus, static_cast<uint8_t>(slot_u32(block, GET_IN3_REPLY_EXP_MINUS)));
}

// Exported as rm720_get_out1_status and rm730_get_out1_status.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_out1_status)(uint8_t card, uint16_t axis, uint8_t *status) {
  return query_value(card, axis, REQ_GET_OUT1_STATUS, ERROR_OUT1_GET, status);
}

// ---- board information -----------------------------------------------------------------

// Exported as rm720_cpld_ver_get and rm730_cpld_ver_get.
RM7X0_EXPORT ApiStatus RM7X0_NAME(cpld_ver_get)(uint8_t card, int16_t *version,
                                                int32_t *date_code) {
  DriverRequest block{};
  if (const ApiStatus status = card_query(card, REQ_CPLD_VER_GET, ERROR_CPLD_VERSION_GET, block))
    return status;
  if (const ApiStatus status =
          store(version, static_cast<int16_t>(slot_u16(block, CPLD_VER_GET_REPLY_VERSION))))
    return status;
  return store(date_code, slot_i32(block, CPLD_VER_GET_REPLY_DATE_CODE));
}

// Exported as rm720_get_dipsw_id and rm730_get_dipsw_id.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_dipsw_id)(uint8_t card, uint8_t *id) {
  DriverRequest block{};
  if (const ApiStatus status =
          card_query(card, REQ_GET_DIPSW_ID, ERROR_BOARD_REGISTER_ACCESS, block))
    return status;
  return store(id, static_cast<uint8_t>(slot_u32(block, GET_DIPSW_ID_REPLY_ID)));
}

#ifdef RM7X0_MODEL_B

// ---- compare registers of X and Y (the model-B card's) ---------------------------------

RM7X0_EXPORT ApiStatus rm730_get_cmpcounter(uint8_t card, uint16_t axis, int32_t *counter) {
  return query_value(card, axis, REQ_GET_CMPCOUNTER, ERROR_POS_COUNTER_GET, counter);
}

RM7X0_EXPORT ApiStatus rm730_get_cmptrigcounter(uint8_t card, uint16_t axis, int32_t *counter) {
  return query_value(card, axis, REQ_GET_CMPTRIGCOUNTER, ERROR_POS_COUNTER_GET, counter);
}

RM7X0_EXPORT ApiStatus rm730_get_cmp_pitch(uint8_t card, uint16_t axis, int32_t *pitch) {
  return query_value(card, axis, REQ_GET_CMP_PITCH, ERROR_POS_COUNTER_GET, pitch);
}

#endif

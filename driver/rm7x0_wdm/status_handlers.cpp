/* Status queries, counters, stop, hold and release, ring counter, hand wheel,
 * end of wait and interrupt factors.
 *
 * A query names its axis by the first axis bit of its mask; a mask without an
 * axis bit names none, and the request then fails rather than answering for
 * an axis that does not exist (the caller reports its own failure code). */
#include "rm7x0_driver.h"

namespace {

/* Bit 7 of status 2 as the motion state carries it. */
constexpr USHORT STATE_STATUS2_BIT7 = 0x0040;

constexpr USHORT VRING_ON = 16;

/* The axis of a query, or -1 after failing the request. */
int query_axis(RequestContext *request) {
  const int axis = axis_mask_to_index(slot_u16(request->block, SLOT_AXES));
  if (axis < 0) request->status = STATUS_INVALID_PARAMETER;
  return axis;
}

BOOLEAN bit_equals(USHORT word, USHORT bit, USHORT other, USHORT other_bit) {
  return ((word & bit) != 0) == ((other & other_bit) != 0);
}

/* The axis's input byte: X and Y share one register, Z and U the next. */
ULONG input_register(int axis) { return axis < 2 ? REG_OUTPUT : REG_INTERP_MODE; }
USHORT input_byte_of(USHORT word, int axis) {
  return (USHORT)((axis & 1) ? word >> INPUT_BYTE_BITS : word) & 0xFF;
}

USHORT axis_input_byte(CardExtension *ext, int axis) {
  return input_byte_of(card_read16_sync(ext, input_register(axis)), axis);
}

USHORT read_counter_request(RequestContext *request, UCHAR code) {
  if (query_axis(request) < 0) return DRV_SUCCESS;
  ULONG value = 0;
  chip_read32(request->ext, command_word(slot_u16(request->block, SLOT_AXES), code), &value);
  set_slot(request->block, AXIS_QUERY_REPLY_VALUE, value);
  return DRV_SUCCESS;
}

USHORT read_word_request(RequestContext *request, UCHAR code) {
  if (query_axis(request) < 0) return DRV_SUCCESS;
  USHORT value = 0;
  chip_read16(request->ext, command_word(slot_u16(request->block, SLOT_AXES), code), &value);
  set_slot(request->block, AXIS_QUERY_REPLY_VALUE, value);
  return DRV_SUCCESS;
}

}  // namespace

/* ---- motion state, errors, inputs ---------------------------------------- */

/* The stop reasons the chip latched for an axis in error. */
static USHORT latched_stop_reasons(CardExtension *ext, int axis, USHORT main_status) {
  if (!(main_status & (1u << (MAIN_STATUS_ERROR_SHIFT + axis)))) return 0;
  USHORT status1 = 0, status2 = 0;
  chip_read_status1(ext, 1u << axis, &status1);
  chip_read_status2(ext, 1u << axis, &status2);
  return (USHORT)((status1 & STATUS1_STOP_REASONS) | (status2 & STATUS2_SOFT_LIMITS) |
                  ((status2 & STATUS2_BIT7) ? STATE_STATUS2_BIT7 : 0));
}

VOID motion_done(CardExtension *ext, ULONG axis_mask, PUCHAR done, PUSHORT state) {
  *done = 0;
  *state = 0;
  const int axis = axis_mask_to_index(axis_mask);
  if (axis < 0) return;
  /* Between two steps of a home search the axis stands, but the search
   * goes on: it is done only when its end has been taken. */
  if (home_search_running(ext, axis)) return;
  USHORT main_status = 0;
  BOOLEAN held_drive_waits = FALSE;
  run_synchronized(ext, [&] {
    main_status = card_read16(ext, REG_COMMAND);
    held_drive_waits = held_starts_drive_waits_locked(ext, axis);
  });
  if (main_status & (1u << axis)) return;
  if (held_drive_waits) return;  /* a held drive still to run */
  *done = 1;
  /* A path cut short never reads as a normal end on any of its axes: each
   * says why the path stopped. */
  const ULONG path = axes_of_its_path(ext, axis);
  USHORT latched = 0;
  for_each_axis(path, [&](int member) { latched |= latched_stop_reasons(ext, member, main_status); });
  *state = stop_reasons(ext, axis, path, latched);
}

USHORT motion_done_request(RequestContext *request) {
  if (query_axis(request) < 0) return DRV_SUCCESS;
  UCHAR done = 0;
  USHORT state = 0;
  /* A table run is served first: done means the run is over and closed. */
  conti_serve_table_run(request->ext);
  motion_done(request->ext, slot_u16(request->block, SLOT_AXES), &done, &state);
  set_slot(request->block, MOTION_DONE_REPLY_DONE, done);
  set_slot(request->block, MOTION_DONE_REPLY_STATE, state);
  return DRV_SUCCESS;
}

USHORT get_error_status(CardExtension *ext, ULONG axis_mask, BOOLEAN include_bit7) {
  const USHORT main_status = chip_main_status(ext);
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    if (!(axis_mask & (1u << axis))) continue;
    if (!(main_status & (1u << (MAIN_STATUS_ERROR_SHIFT + axis)))) continue;
    USHORT status2 = 0;
    chip_read_status2(ext, 1u << axis, &status2);
    USHORT word = status2 & STATUS2_ERROR_BITS;
    if (include_bit7) word |= status2 & STATUS2_BIT7;
    return word;
  }
  return 0;
}

USHORT get_error_status_request(RequestContext *request) {
  set_slot(request->block, AXIS_QUERY_REPLY_VALUE,
           get_error_status(request->ext, slot_u16(request->block, SLOT_AXES), TRUE));
  return DRV_SUCCESS;
}

USHORT get_di_status(CardExtension *ext, ULONG axis_mask, PUSHORT raw_input) {
  const int axis = axis_mask_to_index(axis_mask);
  if (raw_input != NULL) *raw_input = 0;
  if (axis < 0) return 0;
  /* One snapshot; the home timer's DPC asks while a handler may rewrite the
   * shadows. */
  USHORT main_status = 0, status2 = 0, input = 0, mode1 = 0, mode2 = 0;
  run_synchronized(ext, [&] {
    main_status = card_read16(ext, REG_COMMAND);
    card_write16(ext, REG_COMMAND, command_word(1u << axis, CHIP_SELECT));
    status2 = card_read16(ext, REG_MODE2);
    input = input_byte_of(card_read16(ext, input_register(axis)), axis);
    mode1 = ext->axis[axis].shadow[SHADOW_MODE1];
    mode2 = ext->axis[axis].shadow[SHADOW_MODE2];
  });

  USHORT status = 0;
  if (main_status & (1u << axis)) status |= DI_DRIVING;
  if (status2 & STATUS2_LIMIT_PLUS) status |= DI_LIMIT_PLUS;
  if (status2 & STATUS2_LIMIT_MINUS) status |= DI_LIMIT_MINUS;
  if (status2 & STATUS2_EMERGENCY) status |= DI_EMERGENCY_STOP;
  if (status2 & STATUS2_ALARM) status |= DI_ALARM;
  if (bit_equals(input, INPUT_HOME, mode1, MODE1_HOME_LEVEL)) status |= DI_HOME;
  if (bit_equals(input, INPUT_NEAR_HOME, mode1, MODE1_NEAR_HOME_LEVEL)) status |= DI_NEAR_HOME;
  if ((mode2 & MODE2_IN_POSITION_ON) &&
      bit_equals(input, INPUT_IN_POSITION, mode2, MODE2_IN_POSITION_LEVEL))
    status |= DI_IN_POSITION;
  if (bit_equals(input, INPUT_INDEX, mode1, MODE1_INDEX_LEVEL)) status |= DI_INDEX;

  if (raw_input != NULL) {
    USHORT raw = 0;
    if (input & INPUT_SPARE) raw |= 0x0010;
    if (input & INPUT_HOME) raw |= 0x0020;
    if (input & INPUT_NEAR_HOME) raw |= 0x0040;
    if (input & INPUT_IN_POSITION) raw |= 0x0100;
    if (input & INPUT_INDEX) raw |= 0x0200;
    *raw_input = raw;
  }
  return status;
}

USHORT get_di_status_request(RequestContext *request) {
  if (query_axis(request) < 0) return DRV_SUCCESS;
  USHORT raw = 0;
  set_slot(request->block, AXIS_QUERY_REPLY_VALUE,
           get_di_status(request->ext, slot_u16(request->block, SLOT_AXES), &raw));
  set_slot(request->block, GET_DI_STATUS_REPLY_RAW, raw);
  return DRV_SUCCESS;
}

/* The three IN3-group inputs of exactly one axis bit; any other value reads 0. */
USHORT get_in3(RequestContext *request) {
  const USHORT axis_bit = slot_u16(request->block, SLOT_AXES);
  const int axis = axis_mask_to_index(axis_bit);
  USHORT bits = 0;
  if (axis >= 0 && axis_bit == (1u << axis)) {
    bits = (USHORT)(axis_input_byte(request->ext, axis) >> INPUT_IN3_GROUP_SHIFT) & 7;
  }
  for (int n = 0; n < 3; ++n) set_slot(request->block, GET_IN3_REPLY_IN3 + n, (bits >> n) & 1);
  return DRV_SUCCESS;
}

/* ---- counters, speed, acceleration, latch ---------------------------------- */

USHORT set_cmd_counter(RequestContext *request) {
  return chip_set_cmd_counter(request->ext, slot_u16(request->block, SLOT_AXES),
                              slot_u32(request->block, SET_COUNTER_VALUE));
}

USHORT set_enc_counter(RequestContext *request) {
  return chip_set_enc_counter(request->ext, slot_u16(request->block, SLOT_AXES),
                              slot_u32(request->block, SET_COUNTER_VALUE));
}

USHORT get_cmd_counter(RequestContext *request) {
  return read_counter_request(request, CHIP_READ_CMD_COUNTER);
}

USHORT get_enc_counter(RequestContext *request) {
  return read_counter_request(request, CHIP_READ_ENC_COUNTER);
}

USHORT get_latch(RequestContext *request) { return read_counter_request(request, CHIP_READ_LATCH); }

USHORT get_speed(RequestContext *request) { return read_word_request(request, CHIP_READ_SPEED); }

USHORT get_acc(RequestContext *request) { return read_word_request(request, CHIP_READ_ACC); }

/* ---- stop, hold, release ------------------------------------------------------ */

/* Only the two stop codes reach the chip: any other word (0x8000 would reset
 * the whole chip) stops at once. */
VOID stop_axes(CardExtension *ext, ULONG axis_mask, USHORT stop_code) {
  const UCHAR code = stop_code == CHIP_DEC_STOP ? CHIP_DEC_STOP : CHIP_SUDDEN_STOP;
  /* The chip drops a held drive with the stop. */
  run_synchronized(ext, [&] {
    card_write16(ext, REG_COMMAND, command_word(axis_mask, code));
    held_starts_drop_drives_locked(ext, axis_mask);
  });
  for_each_axis(axis_mask, [&](int axis) { set_end_flag(ext, axis, END_STOPPED_BY_COMMAND); });
}

/* A stop also ends the home searches of its axes, before it reaches the
 * chip, so that no step a DPC takes can move them again; the searches of
 * other axes go on. The interrupt actions chained to the axes end too. A
 * waited search that was running is answered: it has not found home. */
USHORT stop_move(RequestContext *request) {
  CardExtension *ext = request->ext;
  const ULONG axis_mask = slot_u16(request->block, SLOT_AXES) & ALL_AXES;
  const ULONG ended_searches = end_home_searches(ext, axis_mask);
  disarm_int_actions(ext, axis_mask);
  stop_axes(ext, axis_mask, slot_u16(request->block, STOP_MOVE_MODE));
  home_search_apply_held(ext, ended_searches);
  held_starts_stop(ext, axis_mask);
  for_each_axis(ended_searches,
                [&](int axis) { complete_waiting_request(ext, axis, STATUS_SUCCESS); });
  return DRV_SUCCESS;
}

USHORT stop_move_all(RequestContext *request) {
  const ULONG axis_mask = slot_u16(request->block, SLOT_AXES) & ALL_AXES;
  for_each_axis(axis_mask, [&](int axis) { arm_wait(request->ext, 1u << axis, FACTOR_DRIVE_END); });
  return stop_move(request);
}

USHORT drive_hold(RequestContext *request) {
  const ULONG axis_mask = slot_u16(request->block, SLOT_AXES) & ALL_AXES;
  held_starts_hold(request->ext, axis_mask);
  return DRV_SUCCESS;
}

USHORT drive_start(RequestContext *request) {
  held_starts_release(request->ext, slot_u16(request->block, SLOT_AXES));
  return DRV_SUCCESS;
}

/* ---- ring counter and hand wheel --------------------------------------------- */

USHORT set_vring(RequestContext *request) {
  CardExtension *ext = request->ext;
  const int axis = axis_mask_to_index(slot_u16(request->block, SLOT_AXES));
  if (axis < 0) return DRV_SUCCESS;
  const USHORT refusal = check_axis_motion(ext, axis, OWNER_RING_COUNTER);
  if (refusal != DRV_SUCCESS) return refusal;
  const USHORT value = slot_u16(request->block, SET_VRING_ENABLE);
  set_ext_field(ext, axis, SHADOW_EXT_WORD1, EXT1_RING_COUNTER, value);
  if (value != VRING_ON) {
    release_comparators(ext, axis, OWNER_RING_COUNTER);
    return DRV_SUCCESS;
  }
  const ULONG last = slot_u32(request->block, SET_VRING_SIZE) - 1;
  chip_set_comp_plus(ext, 1u << axis, last);
  chip_set_comp_minus(ext, 1u << axis, last);
  hold_comparators(ext, axis, OWNER_RING_COUNTER);
  chip_set_cmd_counter(ext, 1u << axis, 0);
  chip_set_enc_counter(ext, 1u << axis, 0);
  return DRV_SUCCESS;
}

USHORT set_mpg(RequestContext *request) {
  CardExtension *ext = request->ext;
  const int axis = axis_mask_to_index(slot_u16(request->block, SLOT_AXES));
  if (axis < 0) return DRV_SUCCESS;
  const USHORT mode = slot_u16(request->block, SET_MPG_MODE) & MODE3_HAND_WHEEL_FIELD;
  if (mode != 0) {
    const USHORT speed = slot_u16(request->block, SET_MPG_SPEED);
    chip_set_start_speed(ext, 1u << axis, speed);
    chip_set_drive_speed(ext, 1u << axis, speed);
    /* The ratio whole: the library sends it as 32 bits, the register takes them. */
    chip_set_pulses(ext, 1u << axis, slot_u32(request->block, SET_MPG_RATIO));
  }
  set_mode_field(ext, axis, SHADOW_MODE3, MODE3_HAND_WHEEL_FIELD, mode);
  clear_end_flags(ext, 1u << axis);
  return DRV_SUCCESS;
}

/* ---- waits and interrupt factors ------------------------------------------------ */

USHORT end_wait(RequestContext *request) {
  const USHORT value = slot_u16(request->block, END_WAIT_FACTOR);
  const ULONG factor = value == END_WAIT_DRIVE_END ? FACTOR_DRIVE_END
                       : value == END_WAIT_HOME_END ? FACTOR_HOME_END
                                                : 0;
  if (factor == 0) return DRV_SUCCESS;
  for_each_axis(slot_u16(request->block, SLOT_AXES) & ALL_AXES, [&](int axis) {
    if (!end_axis_wait(request->ext, axis, factor)) return;
    if (factor == FACTOR_DRIVE_END) arm_drive_end(request->ext, 1u << axis, FALSE);
    if (factor == FACTOR_HOME_END) arm_home_end(request->ext, 1u << axis, FALSE);
  });
  return DRV_SUCCESS;
}

USHORT set_int_factor_request(RequestContext *request) {
  return set_app_factor(request->ext, slot_u16(request->block, SLOT_AXES),
                        slot_u16(request->block, SET_INT_FACTOR_FACTOR));
}

/* Selecting the axis and reading status 3 acknowledges its factors. */
USHORT get_int_factor(RequestContext *request) {
  if (query_axis(request) < 0) return DRV_SUCCESS;
  USHORT factor = 0;
  chip_read_status3(request->ext, slot_u16(request->block, SLOT_AXES), &factor);
  set_slot(request->block, AXIS_QUERY_REPLY_VALUE, factor);
  return DRV_SUCCESS;
}

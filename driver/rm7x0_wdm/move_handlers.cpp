/* The single-axis moves: the checks a move passes before it starts, the
 * velocity, constant-speed, T-curve and S-curve starts, the check of several
 * axes before a move of them all, and the changes of a running move (drive
 * speed, target, profile settings).
 *
 * A move start writes the axis's mode and speed registers through the
 * register primitives and then its drive command; every start clears the
 * axis's three end flags so that the status queries report this move. */
#include "rm7x0_driver.h"

namespace {

/* The error bits (status register 2) that block a move in one direction. */
constexpr USHORT ERROR_PLUS_LIMITS = STATUS2_SOFT_LIMIT_PLUS | STATUS2_LIMIT_PLUS;
constexpr USHORT ERROR_MINUS_LIMITS = STATUS2_SOFT_LIMIT_MINUS | STATUS2_LIMIT_MINUS;

/* The error bits of an axis that block a move in this direction. */
USHORT blocking_errors(USHORT errors, UCHAR direction) {
  switch (direction) {
    case MOVE_DIR_MINUS: return errors & ~ERROR_PLUS_LIMITS;
    case MOVE_DIR_PLUS: return errors & ~ERROR_MINUS_LIMITS;
    case MOVE_DIR_LOADED:
    case MOVE_DIR_NONE: return errors & ~(ERROR_PLUS_LIMITS | ERROR_MINUS_LIMITS);
    default: return errors;
  }
}

/* A drive command to a held axis waits in the chip for the release: the
 * axis has a pending motion from now on. */
VOID start_drive(CardExtension *ext, ULONG axis_mask, UCHAR code) {
  run_synchronized(ext, [&] {
    card_write16(ext, REG_COMMAND, command_word(axis_mask, code));
    held_starts_note_drive_locked(ext, axis_mask);
  });
}

/* Starts a loaded fixed drive in direction 1 (plus) or 0 (minus); any other
 * direction leaves it loaded (a move prepared for a synchronous action). */
VOID start_fixed_drive(CardExtension *ext, ULONG axis_mask, UCHAR direction) {
  if (direction != MOVE_DIR_PLUS && direction != MOVE_DIR_MINUS) return;
  clear_end_flags(ext, axis_mask);
  start_drive(ext, axis_mask, direction == MOVE_DIR_PLUS ? CHIP_DRIVE_PLUS : CHIP_DRIVE_MINUS);
}

/* The checks of a move that are common to every start, in their order; the
 * first refusal is the answer (0x800C with the failing axes in its reply). */
USHORT run_move_checks(RequestContext *request, ULONG axis_mask, USHORT failing,
                       UCHAR ready_direction) {
  if (failing) {
    set_slot(request->block, REPLY_FAILING_AXES, failing);
    return DRV_MOVE_CHECK_FAILED;
  }
  if (check_axis_idle(request->ext, axis_mask) != DRV_SUCCESS) return DRV_AXIS_BUSY;
  if (check_axis_ready(request->ext, axis_mask, ready_direction) != DRV_SUCCESS)
    return DRV_AXIS_NOT_READY;
  return DRV_SUCCESS;
}

/* The checks of a constant, T-curve or S-curve move of one axis whose
 * direction byte is in `direction_slot` (the real direction in `checked_slot`
 * when that byte is 0xFD); *direction receives the direction to drive. */
USHORT check_fixed_move(RequestContext *request, int direction_slot, int checked_slot,
                        UCHAR *direction) {
  const ULONG axis = slot_u16(request->block, SLOT_AXES) & ALL_AXES;
  const UCHAR byte = slot_u8(request->block, direction_slot);
  USHORT failing = 0;
  check_move_params(request->ext, axis, byte, &failing);
  const USHORT word = run_move_checks(request, axis, failing, byte);
  *direction = byte == MOVE_DIR_CHECKED ? slot_u8(request->block, checked_slot) : byte;
  return word;
}

typedef USHORT FixedDriveStart(CardExtension *ext, ULONG axis_mask, const MoveProfile *move,
                               UCHAR direction);

/* A T-curve or S-curve request: the checks, then its profile started by
 * `start`. */
USHORT profile_move(RequestContext *request, FixedDriveStart *start) {
  UCHAR direction = 0;
  const USHORT word =
      check_fixed_move(request, FIXED_MOVE_DIRECTION, FIXED_MOVE_CHECKED_DIRECTION, &direction);
  if (word != DRV_SUCCESS) return word;
  const MoveProfile move = profile_of_slots(request->block, FIXED_MOVE_PROFILE);
  return start(request->ext, slot_u16(request->block, SLOT_AXES) & ALL_AXES, &move, direction);
}

/* Status register 1 of the axis's running move; FALSE when it no longer drives. */
BOOLEAN read_running_status1(CardExtension *ext, ULONG axis_mask, PUSHORT status1) {
  if (!(chip_main_status(ext) & axis_mask)) return FALSE;
  chip_read_status1(ext, axis_mask, status1);
  return TRUE;
}

/* The acceleration and deceleration words of a speed with rates; a zero
 * word keeps the rate in force. */
VOID load_given_rates(CardExtension *ext, ULONG axis_mask, const DriverRequest *block) {
  const USHORT acc = slot_u16(block, SPEED_AND_RATES_ACC);
  const USHORT dec = slot_u16(block, SPEED_AND_RATES_DEC);
  if (acc) chip_set_acc(ext, axis_mask, acc);
  if (dec) chip_set_dec(ext, axis_mask, dec);
}

}  // namespace

MoveProfile profile_of_slots(const DriverRequest *block, int first_slot) {
  MoveProfile move = {};
  move.start_speed = slot_u16(block, first_slot + MOVE_PROFILE_START_SPEED);
  move.drive_speed = slot_u16(block, first_slot + MOVE_PROFILE_DRIVE_SPEED);
  move.rate = slot_u16(block, first_slot + MOVE_PROFILE_RATE);
  move.decel_rate = slot_u16(block, first_slot + MOVE_PROFILE_DECEL_RATE);
  move.mode = slot_u16(block, first_slot + MOVE_PROFILE_MODE);
  move.pulses = slot_u32(block, first_slot + MOVE_PROFILE_PULSES);
  move.tail = slot_u32(block, first_slot + MOVE_PROFILE_TAIL);
  return move;
}

VOID set_profile_mode(CardExtension *ext, int axis, USHORT mode) {
  set_mode_field(ext, axis, SHADOW_MODE3, MODE3_PROFILE_FIELD, mode);
}

/* ---- Checks ------------------------------------------------------------- */

USHORT check_move_params(CardExtension *ext, ULONG axis_mask, UCHAR direction, PUSHORT failing) {
  *failing = 0;
  if (direction == MOVE_DIR_CHECKED) return DRV_SUCCESS;
  const int axis = axis_mask_to_index(axis_mask);
  if (axis < 0) return DRV_SUCCESS;
  if (blocking_errors(get_error_status(ext, 1u << axis, FALSE), direction))
    *failing = (USHORT)(1u << axis);
  return *failing ? DRV_MOVE_CHECK_FAILED : DRV_SUCCESS;
}

USHORT check_velocity_params(CardExtension *ext, ULONG axis_mask,
                             const UCHAR direction[AXIS_COUNT]) {
  USHORT failing = 0;
  for_each_axis(axis_mask, [&](int axis) {
    USHORT axis_failing = 0;
    check_move_params(ext, 1u << axis, direction[axis], &axis_failing);
    failing |= axis_failing;
  });
  return failing;
}

/* An axis whose home search runs is busy also while it stands between two
 * steps. */
USHORT check_axis_idle(CardExtension *ext, ULONG axis_mask) {
  if (chip_main_status(ext) & axis_mask & MAIN_STATUS_BUSY_MASK) return DRV_AXIS_BUSY;
  return home_searches_running(ext, axis_mask) ? DRV_AXIS_BUSY : DRV_SUCCESS;
}

USHORT check_axis_ready(CardExtension *ext, ULONG axis_mask, UCHAR direction) {
  if (direction == MOVE_DIR_CHECKED || direction == MOVE_DIR_LOADED) return DRV_SUCCESS;
  USHORT word = DRV_SUCCESS;
  for_each_axis(axis_mask, [&](int axis) {
    if (ext->axis[axis].shadow[SHADOW_MODE3] & MODE3_HAND_WHEEL_FIELD) word = DRV_AXIS_NOT_READY;
  });
  return word;
}

/* ---- Starts -------------------------------------------------------------- */

USHORT drv_t_move(CardExtension *ext, ULONG axis_mask, const MoveProfile *move, UCHAR direction) {
  const int axis = axis_mask_to_index(axis_mask);
  if (axis < 0) return DRV_SUCCESS;
  set_profile_mode(ext, axis, move->mode);
  chip_set_start_speed(ext, axis_mask,
                       constant_speed_mode(move->mode) ? move->drive_speed : move->start_speed);
  if (move->mode & MODE_OWN_DECELERATION) chip_set_dec(ext, axis_mask, move->decel_rate);
  chip_set_drive_speed(ext, axis_mask, move->drive_speed);
  chip_set_acc(ext, axis_mask, move->rate);
  chip_set_pulses(ext, axis_mask, move->pulses);
  chip_set_acc_offset(ext, axis_mask, (USHORT)move->tail);
  start_fixed_drive(ext, axis_mask, direction);
  return DRV_SUCCESS;
}

/* The acceleration limit stays at the fixed S-curve rate: the jerks shape
 * the ramps. */
VOID load_s_curve_speeds(CardExtension *ext, ULONG axis_mask, const MoveProfile *move) {
  chip_set_start_speed(ext, axis_mask, move->start_speed);
  chip_set_drive_speed(ext, axis_mask, move->drive_speed);
  chip_set_acc(ext, axis_mask, FIXED_S_CURVE_RATE);
  chip_set_jerk(ext, axis_mask, move->rate);
  if (move->mode & MODE_OWN_DECELERATION) {
    chip_set_dec_jerk(ext, axis_mask, move->decel_rate);
    chip_set_dec(ext, axis_mask, FIXED_S_CURVE_RATE);
    chip_set_dec_point(ext, axis_mask, move->tail);
  } else {
    chip_set_acc_offset(ext, axis_mask, (USHORT)move->tail);
  }
}

USHORT drv_s_move(CardExtension *ext, ULONG axis_mask, const MoveProfile *move, UCHAR direction) {
  const int axis = axis_mask_to_index(axis_mask);
  if (axis < 0) return DRV_SUCCESS;
  set_profile_mode(ext, axis, move->mode);
  load_s_curve_speeds(ext, axis_mask, move);
  chip_set_pulses(ext, axis_mask, move->pulses);
  start_fixed_drive(ext, axis_mask, direction);
  return DRV_SUCCESS;
}

USHORT drv_velocity_move(CardExtension *ext, ULONG axis_mask, USHORT start_speed,
                         USHORT drive_speed, USHORT acceleration, UCHAR direction) {
  axis_mask &= ALL_AXES;
  for_each_axis(axis_mask, [&](int axis) { set_profile_mode(ext, axis, MODE_OWN_DECELERATION); });
  clear_end_flags(ext, axis_mask);
  chip_set_start_speed(ext, axis_mask, start_speed);
  chip_set_drive_speed(ext, axis_mask, drive_speed);
  chip_set_acc(ext, axis_mask, acceleration);
  chip_set_dec(ext, axis_mask, acceleration);
  start_drive(ext, axis_mask, direction == MOVE_DIR_PLUS ? CHIP_CONT_PLUS : CHIP_CONT_MINUS);
  return DRV_SUCCESS;
}

/* ---- Request handlers ---------------------------------------------------- */

USHORT velocity_move(RequestContext *request) {
  const DriverRequest *block = request->block;
  const ULONG axes = slot_u16(block, SLOT_AXES) & ALL_AXES;
  const UCHAR direction = slot_u8(block, VELOCITY_MOVE_DIRECTION);
  const UCHAR directions[AXIS_COUNT] = {direction, direction, direction, direction};
  const USHORT failing = check_velocity_params(request->ext, axes, directions);
  const USHORT word = run_move_checks(request, axes, failing, direction);
  if (word != DRV_SUCCESS) return word;
  return drv_velocity_move(request->ext, axes, slot_u16(block, VELOCITY_MOVE_START_SPEED),
                           slot_u16(block, VELOCITY_MOVE_DRIVE_SPEED),
                           slot_u16(block, VELOCITY_MOVE_ACC), direction);
}

USHORT const_move(RequestContext *request) {
  UCHAR direction = 0;
  const USHORT word =
      check_fixed_move(request, CONST_MOVE_DIRECTION, CONST_MOVE_CHECKED_DIRECTION, &direction);
  if (word != DRV_SUCCESS) return word;
  const DriverRequest *block = request->block;
  MoveProfile move = {};
  move.drive_speed = slot_u16(block, CONST_MOVE_DRIVE_SPEED);
  move.mode = slot_u16(block, CONST_MOVE_MODE);
  move.pulses = slot_u32(block, CONST_MOVE_PULSES);
  return drv_t_move(request->ext, slot_u16(block, SLOT_AXES) & ALL_AXES, &move, direction);
}

USHORT t_move(RequestContext *request) { return profile_move(request, drv_t_move); }

USHORT s_move(RequestContext *request) { return profile_move(request, drv_s_move); }

/* The checks of a move of several axes, which then start with 0xFD. */
USHORT check_axes_move_request(RequestContext *request) {
  const DriverRequest *block = request->block;
  const ULONG axes = slot_u16(block, SLOT_AXES) & ALL_AXES;
  UCHAR directions[AXIS_COUNT];
  for (int axis = 0; axis < AXIS_COUNT; ++axis)
    directions[axis] = slot_u8(block, CHECK_AXES_MOVE_DIRECTIONS + axis);
  return run_move_checks(request, axes, check_velocity_params(request->ext, axes, directions),
                         MOVE_DIR_PLUS);
}

/* A new drive speed for a running T-curve move: only at constant speed. */
USHORT t_change_speed(RequestContext *request) {
  CardExtension *ext = request->ext;
  const DriverRequest *block = request->block;
  const ULONG axis = slot_u16(block, SLOT_AXES) & ALL_AXES;
  USHORT status1 = 0;
  if (!read_running_status1(ext, axis, &status1)) return DRV_MOTION_COMPLETED;
  if (status1 & STATUS1_S_CURVE_PHASES) return DRV_S_CURVE_IN_PROGRESS;
  if (!(status1 & (STATUS1_AT_DRIVE_SPEED | STATUS1_BELOW_DRIVE_SPEED)))
    return (status1 & STATUS1_DECELERATING) ? DRV_IN_ACC_DEC : DRV_NOT_CONSTANT_SPEED;
  load_given_rates(ext, axis, block);
  return chip_set_drive_speed(ext, axis, slot_u16(block, SPEED_AND_RATES_SPEED));
}

/* A new drive speed and deceleration point for a running S-curve move. */
USHORT s_change_speed(RequestContext *request) {
  CardExtension *ext = request->ext;
  const DriverRequest *block = request->block;
  const ULONG axis = slot_u16(block, SLOT_AXES) & ALL_AXES;
  USHORT status1 = 0;
  if (!read_running_status1(ext, axis, &status1)) return DRV_MOTION_COMPLETED;
  if (!(status1 & (STATUS1_AT_DRIVE_SPEED | STATUS1_BELOW_DRIVE_SPEED))) return DRV_IN_ACC_DEC;
  /* Plain jerk codes: the fixed acceleration limit of the move stays. */
  const USHORT jerk = slot_u16(block, S_CHANGE_V_JERK);
  const USHORT dec_jerk = slot_u16(block, S_CHANGE_V_DEC_JERK);
  if (jerk) chip_cmd16(ext, command_word(axis, CHIP_JERK), jerk);
  if (dec_jerk) chip_cmd16(ext, command_word(axis, CHIP_DEC_JERK), dec_jerk);
  chip_set_dec_point(ext, axis, slot_u32(block, S_CHANGE_V_DECEL_POINT));
  return chip_set_drive_speed(ext, axis, slot_u16(block, S_CHANGE_V_SPEED));
}

/* Avoid triangle (extension word 1 bit 3) of the first axis of the mask;
 * only that bit of the value is taken. */
USHORT t_set_avoid_triangle(RequestContext *request) {
  CardExtension *ext = request->ext;
  const int axis = axis_mask_to_index(slot_u16(request->block, SLOT_AXES) & ALL_AXES);
  if (axis < 0) return DRV_SUCCESS;
  set_ext_field(ext, axis, SHADOW_EXT_WORD1, EXT1_AVOID_TRIANGLE,
                slot_u16(request->block, T_SET_AVTRI_SETTING));
  return DRV_SUCCESS;
}

/* Start speed and rates for the interpolations. */
USHORT set_start_speed_and_rates(RequestContext *request) {
  CardExtension *ext = request->ext;
  const DriverRequest *block = request->block;
  const ULONG axis = slot_u16(block, SLOT_AXES) & ALL_AXES;
  load_given_rates(ext, axis, block);
  return chip_set_start_speed(ext, axis, slot_u16(block, SPEED_AND_RATES_SPEED));
}

/* A new target (pulse count) of a running move; not during interpolation. */
USHORT change_target(RequestContext *request) {
  if (interpolation_running(request->ext)) return DRV_TARGET_CHANGE_INTERP;
  return chip_set_pulses(request->ext, slot_u16(request->block, SLOT_AXES) & ALL_AXES,
                         slot_u32(request->block, CHANGE_P_PULSES));
}

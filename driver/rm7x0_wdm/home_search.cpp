/* The home search: the extended home configuration, the home start, the chip
 * search steps that follow a home end (modes 0-3, from the DPC) and the
 * timer-driven search of modes 4 and 5 (from the home timer's DPC).
 *
 * home_search_active is the card's "home configured" flag: set by the
 * extended configuration, cleared when a search ends, by a stop and by a
 * reset; the DPCs take no step while it is clear. */
#include "rm7x0_driver.h"

namespace {

constexpr USHORT HOME_STEP_DIRECTION_BITS = 0x0015;  /* bits 0, 2, 4: a step runs */
/* Step flags that mode 1 adds when it starts on an active home input. */
constexpr USHORT ACTIVE_HOME_INDEX_PLUS = 0x10, ACTIVE_HOME_INDEX_MINUS = 0x30;

/* Step flags the search steps rewrite the configuration with: step 2 seeks
 * the home input, step 3 the index, each plus or minus. */
constexpr USHORT CODE_HOME_PLUS = 4, CODE_HOME_MINUS = 12;
constexpr USHORT CODE_INDEX_PLUS = 16, CODE_INDEX_MINUS = 48;
constexpr USHORT CODE_HOME_INDEX_PLUS = 20, CODE_HOME_INDEX_MINUS = 60;

/* States of the timer search (DriverAxisState.home_step). */
enum TimerSearchStep {
  SEARCH_MOVE,        /* entered at the start: search move; ends when the axis stops */
  BACK_OFF,           /* moving back at the low speed; ends on a limit input */
  ON_LIMIT,           /* a limit input is active; ends when it is left */
  STOPPING,           /* decelerating stop off the limit; ends when stopped */
  APPROACH,           /* moving back at the low speed; ends stopped on the limit */
};

VOID end_search(CardExtension *ext, DriverAxisState *state) {
  state->home_step = SEARCH_MOVE;
  InterlockedExchange(&ext->home_search_active, 0);
}

UCHAR flipped(UCHAR direction) { return direction == MOVE_DIR_PLUS ? MOVE_DIR_MINUS : MOVE_DIR_PLUS; }

BOOLEAN on_limit(USHORT di) { return (di & (DI_LIMIT_PLUS | DI_LIMIT_MINUS)) != 0; }

/* A full step takes all five speeds; a search-speed step runs at the search
 * speed throughout. */
USHORT full_step(CardExtension *ext, int axis) {
  const USHORT *speed = ext->axis[axis].home_speed;
  return home_move_step(ext, axis, speed[HOME_START_SPEED], speed[HOME_ACC], speed[HOME_DEC],
                        speed[HOME_SEARCH_SPEED], speed[HOME_LOW_SPEED]);
}

USHORT search_speed_step(CardExtension *ext, int axis) {
  const USHORT *speed = ext->axis[axis].home_speed;
  return home_move_step(ext, axis, speed[HOME_START_SPEED], speed[HOME_ACC], speed[HOME_DEC],
                        speed[HOME_SEARCH_SPEED], speed[HOME_SEARCH_SPEED]);
}

/* The home configuration rewritten with the configuration's level word. */
VOID rewrite_home_steps(CardExtension *ext, int axis, USHORT code) {
  apply_home_config(ext, 1u << axis, ext->axis[axis].home_config[1], code, 0);
}

/* The direction byte of a chip search from its first step field; 0x8001
 * when no step runs. A field of 2 names no direction: the checks then treat
 * the axis as ignoring its limits. */
USHORT chip_search_direction(const DriverAxisState *state, UCHAR *direction) {
  const USHORT steps = state->home_config[0];
  if (!(steps & HOME_STEP_DIRECTION_BITS)) return DRV_NO_HOME_CONFIG;
  *direction = MOVE_DIR_LOADED;
  for (int field = 0; field < 4; ++field) {
    const USHORT value = (steps >> (2 * field)) & 3;
    if (value == 0) continue;
    if (value == 3) *direction = MOVE_DIR_MINUS;
    if (value == 1) *direction = MOVE_DIR_PLUS;
    break;
  }
  return DRV_SUCCESS;
}

/* Modes 4 and 5 start away from a limit the axis stands on. */
UCHAR timer_search_direction(CardExtension *ext, int axis) {
  DriverAxisState *state = &ext->axis[axis];
  const USHORT di = get_di_status(ext, 1u << axis, NULL);
  if ((di & DI_LIMIT_PLUS) && state->home_direction == MOVE_DIR_PLUS)
    state->home_direction = MOVE_DIR_MINUS;
  else if ((di & DI_LIMIT_MINUS) && state->home_direction == MOVE_DIR_MINUS)
    state->home_direction = MOVE_DIR_PLUS;
  return state->home_direction;
}

BOOLEAN is_timer_mode(const DriverAxisState *state) { return state->home_mode >= 4; }

USHORT run_start_checks(RequestContext *request, ULONG axis_bit, UCHAR direction) {
  USHORT failing = 0;
  check_move_params(request->ext, axis_bit, direction, &failing);
  if (failing) {
    set_slot(request->block, 1, failing);
    return DRV_MOVE_CHECK_FAILED;
  }
  if (check_axis_idle(request->ext, axis_bit) != DRV_SUCCESS) return DRV_AXIS_BUSY;
  if (check_axis_ready(request->ext, axis_bit, direction) != DRV_SUCCESS) return DRV_AXIS_NOT_READY;
  return DRV_SUCCESS;
}

VOID start_timer_search(CardExtension *ext, int axis) {
  DriverAxisState *state = &ext->axis[axis];
  const USHORT *speed = state->home_speed;
  drv_velocity_move(ext, 1u << axis, speed[HOME_START_SPEED], speed[HOME_SEARCH_SPEED],
                    speed[HOME_ACC], state->home_direction);
  state->home_step = on_limit(get_di_status(ext, 1u << axis, NULL)) ? ON_LIMIT : SEARCH_MOVE;
  ext->homing_axis = (USHORT)(1u << axis);
  InterlockedExchange(&ext->timer_search_axis, (LONG)(1u << axis));
  KeSetTimer(&ext->home_timer, ext->home_timer_due, &ext->home_timer_dpc);
}

/* The chip search that a home start runs (after its wait was armed). */
USHORT start_chip_search(RequestContext *request) {
  CardExtension *ext = request->ext;
  const DriverRequest *block = request->block;
  const int axis = axis_mask_to_index(slot_u16(block, 1));
  const USHORT start = slot_u16(block, 2), acc = slot_u16(block, 3), dec = slot_u16(block, 4);
  const USHORT search = slot_u16(block, 5), low = slot_u16(block, 6);
  if (!read_interlocked(&ext->home_search_active)) return home_move_step(ext, axis, start, acc, dec, search, low);
  if (get_di_status(ext, 1u << axis, NULL) & DI_HOME) {
    if (ext->axis[axis].home_mode <= 1) InterlockedExchange(&ext->home_search_active, 0);
    return home_move_step(ext, axis, start, acc, dec, low, low);
  }
  return home_move_step(ext, axis, start, acc, dec, search, search);
}

}  // namespace

USHORT home_move_step(CardExtension *ext, int axis, USHORT start_speed, USHORT acceleration,
                      USHORT deceleration, USHORT drive_speed, USHORT low_speed) {
  const ULONG axis_bit = 1u << axis;
  clear_end_flags(ext, axis_bit);
  chip_set_acc(ext, axis_bit, acceleration);
  chip_set_start_speed(ext, axis_bit, start_speed);
  chip_set_drive_speed(ext, axis_bit, drive_speed);
  chip_set_home_speed(ext, axis_bit, low_speed);
  set_profile_mode(ext, axis, acceleration != deceleration ? MODE_OWN_DECELERATION : 0);
  chip_set_dec(ext, axis_bit, deceleration);
  chip_command(ext, command_word(axis_bit, CHIP_HOME_START));
  return DRV_SUCCESS;
}

USHORT set_home_config_ex(RequestContext *request) {
  CardExtension *ext = request->ext;
  const DriverRequest *block = request->block;
  const int axis = axis_mask_to_index(slot_u16(block, 1));
  if (axis < 0) return DRV_SUCCESS;
  DriverAxisState *state = &ext->axis[axis];
  state->home_config[0] = slot_u16(block, 3);
  state->home_config[1] = slot_u16(block, 2);
  state->home_mode = slot_u16(block, 4);
  state->home_option = slot_u8(block, 5);
  state->home_direction = slot_u8(block, 6);
  InterlockedExchange(&ext->home_search_active, 1);
  /* A stop of any axis now ends the search (the homing axis is set again
   * by the start of a timer search); a timer search of another axis under
   * way keeps its own axis and runs on. */
  ext->homing_axis = 0;
  if (is_timer_mode(state)) return DRV_SUCCESS;
  USHORT steps = state->home_config[0];
  if (state->home_mode == 1 && (get_di_status(ext, 1u << axis, NULL) & DI_HOME))
    steps |= state->home_option == 1 ? ACTIVE_HOME_INDEX_PLUS : ACTIVE_HOME_INDEX_MINUS;
  return apply_home_config(ext, 1u << axis, state->home_config[1], steps, 0);
}

/* A mode 0-3 search, or one without extended configuration, runs on the chip
 * and may wait for its home end; a mode 4 or 5 search runs on the home timer
 * and is answered at once. */
USHORT home_start(RequestContext *request) {
  CardExtension *ext = request->ext;
  const DriverRequest *block = request->block;
  const ULONG axis_bit = slot_u16(block, 1) & ALL_AXES;
  const int axis = axis_mask_to_index(axis_bit);
  if (axis < 0) return DRV_NO_HOME_CONFIG;
  DriverAxisState *state = &ext->axis[axis];
  const BOOLEAN configured = read_interlocked(&ext->home_search_active) != 0;

  UCHAR direction = MOVE_DIR_LOADED;
  if (configured && is_timer_mode(state)) {
    direction = timer_search_direction(ext, axis);
  } else if (configured) {
    const USHORT refusal = chip_search_direction(state, &direction);
    if (refusal != DRV_SUCCESS) return refusal;
  }
  const USHORT refusal = run_start_checks(request, 1u << axis, direction);
  if (refusal != DRV_SUCCESS) return refusal;
  if (configured) {
    for (int n = 0; n < HOME_SPEED_COUNT; ++n) state->home_speed[n] = slot_u16(block, 2 + n);
  }
  if (configured && is_timer_mode(state)) {
    start_timer_search(ext, axis);
    return DRV_SUCCESS;
  }
  return run_waited_start(request, 1u << axis, FACTOR_HOME_END, slot_u16(block, 7) == 1,
                          start_chip_search);
}

/* After a home end of an active mode 0-3 search: the next step by the home
 * input, the option (0: home is sought minus) and the mode (1, 3: the index
 * step too). A search that has found home runs its last
 * step and is no longer active, so the home end of that step ends it. */
BOOLEAN take_homing_step(CardExtension *ext, int axis) {
  DriverAxisState *state = &ext->axis[axis];
  const USHORT di = get_di_status(ext, 1u << axis, NULL);
  const BOOLEAN index_modes = state->home_mode == 1 || state->home_mode == 3;
  const BOOLEAN seeks_minus = state->home_option == 0;
  USHORT word;
  if (di & DI_HOME) {
    state->home_phase = 2;
    if (index_modes)
      rewrite_home_steps(ext, axis, seeks_minus ? CODE_HOME_INDEX_MINUS : CODE_HOME_INDEX_PLUS);
    else
      rewrite_home_steps(ext, axis, seeks_minus ? CODE_HOME_MINUS : CODE_HOME_PLUS);
    word = full_step(ext, axis);
    end_search(ext, state);
  } else {
    state->home_phase = 1;
    /* Back the other way from where the configuration searched home. */
    const USHORT steps = index_modes ? (state->home_config[0] & CODE_HOME_MINUS) : state->home_config[0];
    rewrite_home_steps(ext, axis, steps == CODE_HOME_MINUS ? CODE_HOME_PLUS : CODE_HOME_MINUS);
    const BOOLEAN at_far_limit = (di & (seeks_minus ? DI_LIMIT_MINUS : DI_LIMIT_PLUS)) != 0;
    word = at_far_limit ? search_speed_step(ext, axis) : full_step(ext, axis);
  }
  if (word == DRV_SUCCESS) return TRUE;
  end_search(ext, state);
  return FALSE;
}

/* One tick of the timer search of the homing axis. A stop that no step asked
 * for (an alarm, the emergency stop, the other limit) ends the search rather
 * than leaving the timer to poll for ever. */
VOID take_timer_search_step(CardExtension *ext) {
  const int axis = axis_mask_to_index((ULONG)read_interlocked(&ext->timer_search_axis));
  if (axis < 0) {
    InterlockedExchange(&ext->home_search_active, 0);
    return;
  }
  DriverAxisState *state = &ext->axis[axis];
  UCHAR done = 0;
  USHORT stop_reason = 0;
  motion_done(ext, 1u << axis, &done, &stop_reason);
  const USHORT di = get_di_status(ext, 1u << axis, NULL);
  const USHORT *speed = state->home_speed;

  if (!done) {
    if (state->home_step == BACK_OFF && on_limit(di)) {
      state->home_step = ON_LIMIT;
    } else if (state->home_step == ON_LIMIT && !on_limit(di)) {
      state->home_step = STOPPING;
      stop_axes(ext, 1u << axis, CHIP_DEC_STOP);
    }
    return;
  }
  switch (state->home_step) {
    case SEARCH_MOVE:
    case STOPPING:
      state->home_direction = flipped(state->home_direction);
      drv_velocity_move(ext, 1u << axis, speed[HOME_START_SPEED], speed[HOME_LOW_SPEED],
                        speed[HOME_ACC], state->home_direction);
      state->home_step = state->home_step == SEARCH_MOVE ? BACK_OFF : APPROACH;
      return;
    case APPROACH:
      if (state->home_mode == 5) {
        const BOOLEAN plus = state->home_direction == MOVE_DIR_PLUS;
        rewrite_home_steps(ext, axis, plus ? CODE_INDEX_MINUS : CODE_INDEX_PLUS);
        full_step(ext, axis);
        state->home_direction = plus ? MOVE_DIR_MINUS : MOVE_DIR_PLUS;
      }
      end_search(ext, state);
      return;
    default:
      end_search(ext, state);
      return;
  }
}

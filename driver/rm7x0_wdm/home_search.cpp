/* The home search: the extended home configuration, the home start, the chip
 * search steps that follow a home end (modes 0-3, from the DPC) and the
 * timer-driven search of modes 4 and 5 (from the home timer's DPC).
 *
 * Each axis has its own search (DriverAxisState.home_search). A search is
 * over only when its last step has ended: the axis reads busy until then,
 * also while it stands between two steps, and the home-end flag is set only
 * for a search that found its home. Every step runs under the home lock and
 * first looks whether the search still runs, and a stop ends the search
 * under the same lock before it reaches the chip: a step that a DPC on
 * another processor has begun either ends before the stop (which then stops
 * its move) or finds the search over. Steps decide on what the chip latched
 * when the axis stopped (its stop reasons), never on a level sampled at the
 * right moment, so a coarse timer only makes them later. */
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
  SEARCH_MOVE = 0,    /* entered at the start: search move; ends stopped on the limit ahead */
  OFF_LIMIT = 2,      /* leaving the limit (at the low speed after the search move, at the
                         search speed when the search starts on a limit); ends when the limit
                         is no longer active. The stop on the limit says the axis stood there:
                         no state waits to see it active first. */
  STOPPING = 3,       /* decelerating stop off the limit; ends when stopped */
  APPROACH = 4,       /* moving back at the low speed; ends stopped on the limit */
};

/* Stop reasons that status register 1 latches at the end of a drive. */
constexpr USHORT STOPPED_ON_LIMIT_PLUS = 0x1000, STOPPED_ON_LIMIT_MINUS = 0x2000;
constexpr USHORT STOPPED_BY_ALARM_OR_EMERGENCY = 0xC000;
constexpr USHORT ERROR_ALARM_OR_EMERGENCY = 0x0030;  /* status register 2 */

/* The home lock around one step or end of a search. */
template <typename Fn>
void with_home_lock(CardExtension *ext, Fn fn) {
  KIRQL irql;
  KeAcquireSpinLock(&ext->home_lock, &irql);
  fn();
  KeReleaseSpinLock(&ext->home_lock, irql);
}

LONG search_of(CardExtension *ext, int axis) {
  return read_interlocked(&ext->axis[axis].home_search);
}

VOID set_search(CardExtension *ext, int axis, LONG search) {
  InterlockedExchange(&ext->axis[axis].home_search, search);
}

/* Under the home lock: the search is over; found says whether it ended at its
 * home (the home-end flag, and the counters cleared when the card asks). */
VOID finish_search(CardExtension *ext, int axis, BOOLEAN found) {
  DriverAxisState *state = &ext->axis[axis];
  if (found) {
    set_end_flag(ext, axis, END_HOME);
    if (ext->home_end_counter_clear) {
      chip_set_cmd_counter(ext, 1u << axis, 0);
      chip_set_enc_counter(ext, 1u << axis, 0);
    }
  }
  state->home_step = SEARCH_MOVE;
  state->home_phase = 0;
  set_search(ext, axis, HOME_IDLE);
}

BOOLEAN axis_busy(CardExtension *ext, int axis) { return (chip_main_status(ext) >> axis) & 1; }

USHORT latched_stop_reasons(CardExtension *ext, int axis) {
  USHORT status1 = 0;
  chip_read_status1(ext, 1u << axis, &status1);
  return status1;
}

/* The drive that just ended stopped on the limit in its direction. */
BOOLEAN stopped_on_limit_ahead(CardExtension *ext, int axis, UCHAR direction) {
  const USHORT reasons = latched_stop_reasons(ext, axis);
  if (reasons & STOPPED_BY_ALARM_OR_EMERGENCY) return FALSE;
  const USHORT ahead = direction == MOVE_DIR_PLUS ? STOPPED_ON_LIMIT_PLUS : STOPPED_ON_LIMIT_MINUS;
  return (reasons & ahead) != 0;
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

/* The search move of a timer search, after its wait was armed. */
USHORT start_timer_search(RequestContext *request) {
  CardExtension *ext = request->ext;
  const int axis = axis_mask_to_index(slot_u16(request->block, 1));
  DriverAxisState *state = &ext->axis[axis];
  const USHORT *speed = state->home_speed;
  with_home_lock(ext, [&] {
    state->home_phase = 0;
    state->home_step = on_limit(get_di_status(ext, 1u << axis, NULL)) ? OFF_LIMIT : SEARCH_MOVE;
    drv_velocity_move(ext, 1u << axis, speed[HOME_START_SPEED], speed[HOME_SEARCH_SPEED],
                      speed[HOME_ACC], state->home_direction);
    set_search(ext, axis, HOME_TIMER);
  });
  InterlockedExchange(&ext->home_search_active, 1);
  KeSetTimer(&ext->home_timer, ext->home_timer_due, &ext->home_timer_dpc);
  return DRV_SUCCESS;
}

/* The chip search that a home start runs (after its wait was armed). A
 * configured search of modes 0-3 takes further steps at its home ends; a
 * search without configuration, or one of modes 0 and 1 that starts on the
 * home input, is a single run of the chip. */
USHORT start_chip_search(RequestContext *request) {
  CardExtension *ext = request->ext;
  const DriverRequest *block = request->block;
  const int axis = axis_mask_to_index(slot_u16(block, 1));
  const USHORT start = slot_u16(block, 2), acc = slot_u16(block, 3), dec = slot_u16(block, 4);
  const USHORT search = slot_u16(block, 5), low = slot_u16(block, 6);
  DriverAxisState *state = &ext->axis[axis];
  USHORT word = DRV_SUCCESS;
  with_home_lock(ext, [&] {
    state->home_phase = 0;
    if (search_of(ext, axis) != HOME_CONFIGURED) {
      set_search(ext, axis, HOME_CHIP_LAST);
      word = home_move_step(ext, axis, start, acc, dec, search, low);
    } else if (get_di_status(ext, 1u << axis, NULL) & DI_HOME) {
      set_search(ext, axis, state->home_mode <= 1 ? HOME_CHIP_LAST : HOME_CHIP_STEPS);
      word = home_move_step(ext, axis, start, acc, dec, low, low);
    } else {
      set_search(ext, axis, HOME_CHIP_STEPS);
      word = home_move_step(ext, axis, start, acc, dec, search, search);
    }
    if (word != DRV_SUCCESS) finish_search(ext, axis, FALSE);
  });
  return word;
}

/* Under the home lock, after a home end of a search of modes 0-3 that takes
 * steps: the next step by the home input, the option (0: home is sought
 * minus) and the mode (1, 3: the index step too). The step that starts on
 * the home input is the last. A search that already turned back once at a
 * limit and again ends without its home, or one that an alarm or the
 * emergency stop ended, has failed. TRUE while a further step runs. */
BOOLEAN take_homing_step(CardExtension *ext, int axis) {
  DriverAxisState *state = &ext->axis[axis];
  const USHORT di = get_di_status(ext, 1u << axis, NULL);
  const BOOLEAN index_modes = state->home_mode == 1 || state->home_mode == 3;
  const BOOLEAN seeks_minus = state->home_option == 0;
  const USHORT errors = get_error_status(ext, 1u << axis, FALSE);
  const BOOLEAN broken_off =
      (errors & ERROR_ALARM_OR_EMERGENCY) || stopped_by_command(ext, axis);
  if (broken_off || (!(di & DI_HOME) && state->home_phase == 1)) {
    finish_search(ext, axis, FALSE);
    return FALSE;
  }
  USHORT word;
  if (di & DI_HOME) {
    state->home_phase = 2;
    if (index_modes)
      rewrite_home_steps(ext, axis, seeks_minus ? CODE_HOME_INDEX_MINUS : CODE_HOME_INDEX_PLUS);
    else
      rewrite_home_steps(ext, axis, seeks_minus ? CODE_HOME_MINUS : CODE_HOME_PLUS);
    set_search(ext, axis, HOME_CHIP_LAST);
    word = full_step(ext, axis);
  } else {
    state->home_phase = 1;
    /* Back the other way from where the configuration searched home. */
    const USHORT steps = index_modes ? (state->home_config[0] & CODE_HOME_MINUS) : state->home_config[0];
    rewrite_home_steps(ext, axis, steps == CODE_HOME_MINUS ? CODE_HOME_PLUS : CODE_HOME_MINUS);
    const BOOLEAN at_far_limit = (di & (seeks_minus ? DI_LIMIT_MINUS : DI_LIMIT_PLUS)) != 0;
    word = at_far_limit ? search_speed_step(ext, axis) : full_step(ext, axis);
  }
  if (word == DRV_SUCCESS) return TRUE;
  finish_search(ext, axis, FALSE);
  return FALSE;
}

/* The chip's last run ended at its home unless an error or a stop ended it. */
BOOLEAN last_run_found_home(CardExtension *ext, int axis) {
  return !axis_in_error(ext, axis) && !stopped_by_command(ext, axis);
}

/* Under the home lock: the axis of a timer search stopped at the end of a
 * step. TRUE when the search is over. */
BOOLEAN timer_step_after_stop(CardExtension *ext, int axis) {
  DriverAxisState *state = &ext->axis[axis];
  const USHORT *speed = state->home_speed;
  switch (state->home_step) {
    case SEARCH_MOVE:
    case OFF_LIMIT:
    case STOPPING: {
      /* Off the limit the axis may also have stopped on the other limit
       * before a tick saw it leave the first: it approaches all the same. */
      const BOOLEAN ok = state->home_step == SEARCH_MOVE
                             ? stopped_on_limit_ahead(ext, axis, state->home_direction)
                             : !(latched_stop_reasons(ext, axis) & STOPPED_BY_ALARM_OR_EMERGENCY);
      if (!ok) break;
      state->home_direction = flipped(state->home_direction);
      drv_velocity_move(ext, 1u << axis, speed[HOME_START_SPEED], speed[HOME_LOW_SPEED],
                        speed[HOME_ACC], state->home_direction);
      state->home_step = state->home_step == SEARCH_MOVE ? OFF_LIMIT : APPROACH;
      return FALSE;
    }
    case APPROACH: {
      if (!stopped_on_limit_ahead(ext, axis, state->home_direction)) break;
      if (state->home_mode != 5) {
        finish_search(ext, axis, TRUE);
        return TRUE;
      }
      /* Mode 5: the chip seeks the index away from the limit; its home end
       * ends the search. */
      const BOOLEAN plus = state->home_direction == MOVE_DIR_PLUS;
      rewrite_home_steps(ext, axis, plus ? CODE_INDEX_MINUS : CODE_INDEX_PLUS);
      state->home_direction = plus ? MOVE_DIR_MINUS : MOVE_DIR_PLUS;
      state->home_step = SEARCH_MOVE;
      set_search(ext, axis, HOME_CHIP_LAST);
      full_step(ext, axis);
      return FALSE;
    }
    default:
      break;
  }
  finish_search(ext, axis, FALSE);
  return TRUE;
}

/* Under the home lock: one tick of the axis's timer search; TRUE when it is
 * over. While the axis leaves the limit it is stopped once the limit is seen
 * inactive: a late tick leaves it a little further off, which the approach
 * at the low speed makes up. */
BOOLEAN take_timer_search_step(CardExtension *ext, int axis) {
  DriverAxisState *state = &ext->axis[axis];
  if (!axis_busy(ext, axis)) return timer_step_after_stop(ext, axis);
  if (state->home_step == OFF_LIMIT && !on_limit(get_di_status(ext, 1u << axis, NULL))) {
    state->home_step = STOPPING;
    stop_axes(ext, 1u << axis, CHIP_DEC_STOP);
  }
  return FALSE;
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
  /* A search that runs keeps the configuration it started with. */
  if (home_search_running(ext, axis)) return DRV_AXIS_BUSY;
  DriverAxisState *state = &ext->axis[axis];
  state->home_config[0] = slot_u16(block, 3);
  state->home_config[1] = slot_u16(block, 2);
  state->home_mode = slot_u16(block, 4);
  state->home_option = slot_u8(block, 5);
  state->home_direction = slot_u8(block, 6);
  with_home_lock(ext, [&] { set_search(ext, axis, HOME_CONFIGURED); });
  if (is_timer_mode(state)) return DRV_SUCCESS;
  USHORT steps = state->home_config[0];
  if (state->home_mode == 1 && (get_di_status(ext, 1u << axis, NULL) & DI_HOME))
    steps |= state->home_option == 1 ? ACTIVE_HOME_INDEX_PLUS : ACTIVE_HOME_INDEX_MINUS;
  return apply_home_config(ext, 1u << axis, state->home_config[1], steps, 0);
}

/* A mode 0-3 search, or one without extended configuration, runs on the chip
 * and ends at a home end; a mode 4 or 5 search runs on the home timer. Either
 * waits for its end when asked to; without waiting the start is answered at
 * once, and motion_done reads the axis busy until the search is over. */
USHORT home_start(RequestContext *request) {
  CardExtension *ext = request->ext;
  const DriverRequest *block = request->block;
  const ULONG axis_bit = slot_u16(block, 1) & ALL_AXES;
  const int axis = axis_mask_to_index(axis_bit);
  if (axis < 0) return DRV_NO_HOME_CONFIG;
  DriverAxisState *state = &ext->axis[axis];
  const BOOLEAN configured = search_of(ext, axis) == HOME_CONFIGURED;

  UCHAR direction = MOVE_DIR_LOADED;
  if (configured && is_timer_mode(state)) {
    direction = timer_search_direction(ext, axis);
  } else if (configured) {
    const USHORT refusal = chip_search_direction(state, &direction);
    if (refusal != DRV_SUCCESS) return refusal;
  }
  const USHORT refusal = run_start_checks(request, 1u << axis, direction);
  if (refusal != DRV_SUCCESS) return refusal;
  /* Every search ends at a home end or a step that the DPCs take: without
   * the interrupt (the compare table holds it) it could never end. */
  if (read_interlocked(&ext->compare_mode)) return DRV_WAIT_IN_CMP_MODE;
  if (configured) {
    for (int n = 0; n < HOME_SPEED_COUNT; ++n) state->home_speed[n] = slot_u16(block, 2 + n);
  }
  RequestHandler *start =
      configured && is_timer_mode(state) ? start_timer_search : start_chip_search;
  return run_waited_start(request, 1u << axis, FACTOR_HOME_END, slot_u16(block, 7) == 1, start);
}

BOOLEAN home_search_running(CardExtension *ext, int axis) {
  return search_of(ext, axis) >= HOME_CHIP_STEPS;
}

BOOLEAN home_searches_running(CardExtension *ext, ULONG axis_mask) {
  BOOLEAN running = FALSE;
  for_each_axis(axis_mask & ALL_AXES, [&](int axis) { running |= home_search_running(ext, axis); });
  return running;
}

BOOLEAN home_end_arrived(CardExtension *ext, int axis) {
  BOOLEAN over = TRUE;
  with_home_lock(ext, [&] {
    switch (search_of(ext, axis)) {
      case HOME_CHIP_STEPS:
        over = !take_homing_step(ext, axis);
        break;
      case HOME_CHIP_LAST:
        finish_search(ext, axis, last_run_found_home(ext, axis));
        break;
      case HOME_TIMER:
        over = FALSE;  /* no step of the timer ends on a home end */
        break;
      default:
        break;  /* the end of a search that a stop or a reset ended */
    }
  });
  return over;
}

BOOLEAN take_timer_search_steps(CardExtension *ext) {
  BOOLEAN running = FALSE;
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    BOOLEAN over = FALSE;
    with_home_lock(ext, [&] {
      if (search_of(ext, axis) != HOME_TIMER) return;
      over = take_timer_search_step(ext, axis);
      running |= search_of(ext, axis) == HOME_TIMER;
    });
    if (over) complete_waiting_request(ext, axis, STATUS_SUCCESS);
  }
  return running;
}

ULONG end_home_searches(CardExtension *ext, ULONG axis_mask) {
  ULONG ended = 0;
  with_home_lock(ext, [&] {
    for_each_axis(axis_mask & ALL_AXES, [&](int axis) {
      if (home_search_running(ext, axis)) ended |= 1u << axis;
      DriverAxisState *state = &ext->axis[axis];
      state->home_step = SEARCH_MOVE;
      state->home_phase = 0;
      set_search(ext, axis, HOME_IDLE);
    });
  });
  return ended;
}

/* The home search: the extended home configuration, the home start, and
 * the search's state machine (HomeSearchState): the chip's steps that follow
 * a home end (modes 0-3, from the DPC), the timer search of modes 4 and 5
 * (from the home timer's DPC), and the stop and reset that end it.
 *
 * Each axis has its own search (DriverAxisState.home). A search is over
 * only when its last step has ended: the axis reads busy until then, also
 * while it stands between two steps, and the home-end flag is set only for
 * a search that found its home. Every step runs under the home lock and
 * first looks whether the search still runs, and a stop ends the search
 * under the same lock before it reaches the chip: a step that a DPC on
 * another processor has begun either ends before the stop (which then stops
 * its move) or finds the search over. Steps decide on what the chip latched
 * when the axis stopped (its stop reasons), never on a level sampled at the
 * right moment, so a coarse timer only makes them later. Each start_*
 * routine starts a step's move and enters the state that waits for its end. */
#include "rm7x0_driver.h"

namespace {

/* The first three step fields: a step runs. */
constexpr USHORT HOME_STEP_DIRECTION_BITS = EXT2_HOME_STEP(1, EXT2_HOME_STEP_PLUS) |
                                           EXT2_HOME_STEP(2, EXT2_HOME_STEP_PLUS) |
                                           EXT2_HOME_STEP(3, EXT2_HOME_STEP_PLUS);
/* Step flags that mode 1 adds when it starts on an active home input. */
constexpr USHORT ACTIVE_HOME_INDEX_PLUS = EXT2_HOME_STEP(3, EXT2_HOME_STEP_PLUS);
constexpr USHORT ACTIVE_HOME_INDEX_MINUS = EXT2_HOME_STEP(3, EXT2_HOME_STEP_MINUS);

/* Step flags the search steps rewrite the configuration with: step 2 seeks
 * the home input, step 3 the index, each plus or minus. */
constexpr USHORT CODE_HOME_PLUS = EXT2_HOME_STEP(2, EXT2_HOME_STEP_PLUS);
constexpr USHORT CODE_HOME_MINUS = EXT2_HOME_STEP(2, EXT2_HOME_STEP_MINUS);
constexpr USHORT CODE_INDEX_PLUS = EXT2_HOME_STEP(3, EXT2_HOME_STEP_PLUS);
constexpr USHORT CODE_INDEX_MINUS = EXT2_HOME_STEP(3, EXT2_HOME_STEP_MINUS);
constexpr USHORT CODE_HOME_INDEX_PLUS = CODE_HOME_PLUS | CODE_INDEX_PLUS;
constexpr USHORT CODE_HOME_INDEX_MINUS = CODE_HOME_MINUS | CODE_INDEX_MINUS;

/* Stop reasons that status register 1 latches at the end of a drive. */
constexpr USHORT STOPPED_BY_ALARM_OR_EMERGENCY = STATUS1_STOP_ALARM | STATUS1_STOP_EMERGENCY;
constexpr USHORT ERROR_ALARM_OR_EMERGENCY = STATUS2_ALARM | STATUS2_EMERGENCY;

/* The home lock around one step or end of a search. */
template <typename Fn>
void with_home_lock(CardExtension *ext, Fn fn) {
  KIRQL irql;
  KeAcquireSpinLock(&ext->home.lock, &irql);
  fn();
  KeReleaseSpinLock(&ext->home.lock, irql);
}

LONG state_of(CardExtension *ext, int axis) {
  return read_interlocked(&ext->axis[axis].home.state);
}

/* Under the home lock. */
VOID enter(CardExtension *ext, int axis, HomeSearchState state) {
  InterlockedExchange(&ext->axis[axis].home.state, state);
}

BOOLEAN is_running(LONG state) { return state >= HOME_WAIT_FIRST_STEP; }

/* Under the home lock: the one writer of the card's home-search-active flag. */
VOID set_timer_active(CardExtension *ext, BOOLEAN active) {
  InterlockedExchange(&ext->home.active, active ? 1 : 0);
}

const char *state_name(LONG state) {
  static const char *const NAME[] = {"HOME_IDLE",
                                     "HOME_CONFIGURED",
                                     "HOME_WAIT_FIRST_STEP",
                                     "HOME_WAIT_TURNED_BACK",
                                     "HOME_WAIT_LAST_STEP",
                                     "HOME_WAIT_SEARCH_MOVE",
                                     "HOME_WAIT_OFF_LIMIT",
                                     "HOME_WAIT_STOPPING",
                                     "HOME_WAIT_APPROACH"};
  return state >= 0 && state <= HOME_WAIT_APPROACH ? NAME[state] : "?";
}

/* A search that ends without its home says so on the debug channel. */
VOID trace_search_end(int axis, LONG state, const char *how) {
  static const char AXIS_NAME[AXIS_COUNT] = {'X', 'Y', 'Z', 'U'};
  DbgPrint(RM7X0_DEBUG_PREFIX "home search of axis %c %s in %s\n", AXIS_NAME[axis], how,
           state_name(state));
}

BOOLEAN is_timer_mode(const HomeSearch *home) { return home->mode >= 4; }

/* Under the home lock: the extended configuration takes effect; modes 0-3
 * also set the chip's home inputs and steps. */
USHORT configure_extended(CardExtension *ext, int axis, const HomeConfigEx &config) {
  HomeSearch *home = &ext->axis[axis].home;
  home->config[0] = config.config[0];
  home->config[1] = config.config[1];
  home->mode = config.mode;
  home->option = config.option;
  home->direction = config.direction;
  enter(ext, axis, HOME_CONFIGURED);
  if (is_timer_mode(home)) return DRV_SUCCESS;
  USHORT steps = home->config[0];
  if (home->mode == 1 && (get_di_status(ext, 1u << axis, NULL) & DI_HOME))
    steps |= home->option == 1 ? ACTIVE_HOME_INDEX_PLUS : ACTIVE_HOME_INDEX_MINUS;
  return apply_home_config(ext, 1u << axis, home->config[1], steps, 0);
}

VOID configure_inputs(CardExtension *ext, int axis, const HomeInputs &inputs) {
  apply_home_config(ext, 1u << axis, inputs.levels, inputs.step_flags, inputs.offset);
}

/* Under the home lock, once the axis's search is over: what arrived while
 * it ran takes effect, in the order it came. */
VOID apply_held_config(CardExtension *ext, int axis) {
  const HeldHomeConfig held = ext->axis[axis].home.held;
  RtlZeroMemory(&ext->axis[axis].home.held, sizeof held);
  if (held.has_inputs && !held.inputs_last) configure_inputs(ext, axis, held.inputs);
  if (held.has_ex) configure_extended(ext, axis, held.ex);
  if (held.has_inputs && held.inputs_last) configure_inputs(ext, axis, held.inputs);
}

/* Under the home lock: the search is over; found says whether it ended at its
 * home (the home-end flag, and the counters cleared when the card asks). */
VOID finish_search(CardExtension *ext, int axis, BOOLEAN found) {
  DriverAxisState *state = &ext->axis[axis];
  if (found) {
    set_end_flag(ext, axis, END_HOME);
    if (ext->home.end_counter_clear) {
      chip_set_cmd_counter(ext, 1u << axis, 0);
      chip_set_enc_counter(ext, 1u << axis, 0);
    }
  } else {
    trace_search_end(axis, state_of(ext, axis), "failed");
  }
  state->home.move_direction = 0;
  enter(ext, axis, HOME_IDLE);
  apply_held_config(ext, axis);
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
  const USHORT ahead = direction == MOVE_DIR_PLUS ? STATUS1_STOP_LIMIT_PLUS : STATUS1_STOP_LIMIT_MINUS;
  return (reasons & ahead) != 0;
}

UCHAR flipped(UCHAR direction) { return direction == MOVE_DIR_PLUS ? MOVE_DIR_MINUS : MOVE_DIR_PLUS; }

BOOLEAN on_limit(USHORT di) { return (di & (DI_LIMIT_PLUS | DI_LIMIT_MINUS)) != 0; }

/* A full step takes all five speeds; a search-speed step runs at the search
 * speed throughout. */
USHORT full_step(CardExtension *ext, int axis) {
  const USHORT *speed = ext->axis[axis].home.speed;
  return home_move_step(ext, axis, speed[HOME_START_SPEED], speed[HOME_ACC], speed[HOME_DEC],
                        speed[HOME_SEARCH_SPEED], speed[HOME_LOW_SPEED]);
}

USHORT search_speed_step(CardExtension *ext, int axis) {
  const USHORT *speed = ext->axis[axis].home.speed;
  return home_move_step(ext, axis, speed[HOME_START_SPEED], speed[HOME_ACC], speed[HOME_DEC],
                        speed[HOME_SEARCH_SPEED], speed[HOME_SEARCH_SPEED]);
}

/* The home configuration rewritten with the configuration's level word. */
VOID rewrite_home_steps(CardExtension *ext, int axis, USHORT code) {
  apply_home_config(ext, 1u << axis, ext->axis[axis].home.config[1], code, 0);
}

/* The direction byte of a chip search from its first step field; 0x8001
 * when no step runs. A field of 2 names no direction: the checks then treat
 * the axis as ignoring its limits. */
USHORT chip_search_direction(const HomeSearch *home, UCHAR *direction) {
  const USHORT steps = home->config[0];
  if (!(steps & HOME_STEP_DIRECTION_BITS)) return DRV_NO_HOME_CONFIG;
  *direction = MOVE_DIR_LOADED;
  for (int field = 0; field < 4; ++field) {
    const USHORT value = (steps >> (EXT2_HOME_STEP_FIELD_BITS * field)) & EXT2_HOME_STEP_MASK;
    if (value == 0) continue;
    if (value == EXT2_HOME_STEP_MINUS) *direction = MOVE_DIR_MINUS;
    if (value == EXT2_HOME_STEP_PLUS) *direction = MOVE_DIR_PLUS;
    break;
  }
  return DRV_SUCCESS;
}

/* Modes 4 and 5 start away from a limit the axis stands on. */
UCHAR timer_search_direction(CardExtension *ext, int axis) {
  HomeSearch *home = &ext->axis[axis].home;
  const USHORT di = get_di_status(ext, 1u << axis, NULL);
  if ((di & DI_LIMIT_PLUS) && home->direction == MOVE_DIR_PLUS)
    home->direction = MOVE_DIR_MINUS;
  else if ((di & DI_LIMIT_MINUS) && home->direction == MOVE_DIR_MINUS)
    home->direction = MOVE_DIR_PLUS;
  return home->direction;
}

USHORT run_start_checks(RequestContext *request, ULONG axis_bit, UCHAR direction) {
  USHORT failing = 0;
  check_move_params(request->ext, axis_bit, direction, &failing);
  if (failing) {
    set_slot(request->block, REPLY_FAILING_AXES, failing);
    return DRV_MOVE_CHECK_FAILED;
  }
  if (check_axis_idle(request->ext, axis_bit) != DRV_SUCCESS) return DRV_AXIS_BUSY;
  if (check_axis_ready(request->ext, axis_bit, direction) != DRV_SUCCESS) return DRV_AXIS_NOT_READY;
  return DRV_SUCCESS;
}

/* ---- the timer search (modes 4 and 5) ------------------------------------ */

/* The search move of a timer search, after its wait was armed: away from
 * the limit the axis stands on, or towards the limit ahead. */
USHORT start_timer_search(RequestContext *request) {
  CardExtension *ext = request->ext;
  const int axis = axis_mask_to_index(slot_u16(request->block, SLOT_AXES));
  HomeSearch *home = &ext->axis[axis].home;
  const USHORT *speed = home->speed;
  with_home_lock(ext, [&] {
    const BOOLEAN starts_on_limit = on_limit(get_di_status(ext, 1u << axis, NULL));
    home->move_direction = home->direction;
    drv_velocity_move(ext, 1u << axis, speed[HOME_START_SPEED], speed[HOME_SEARCH_SPEED],
                      speed[HOME_ACC], home->move_direction);
    enter(ext, axis, starts_on_limit ? HOME_WAIT_OFF_LIMIT : HOME_WAIT_SEARCH_MOVE);
    set_timer_active(ext, TRUE);
  });
  KeSetTimer(&ext->home.timer, ext->home.timer_due, &ext->home.timer_dpc);
  return DRV_SUCCESS;
}

/* Under the home lock: the axis turns and moves at the low speed. */
VOID start_low_speed_turn(CardExtension *ext, int axis, HomeSearchState next) {
  HomeSearch *home = &ext->axis[axis].home;
  home->move_direction = flipped(home->move_direction);
  drv_velocity_move(ext, 1u << axis, home->speed[HOME_START_SPEED], home->speed[HOME_LOW_SPEED],
                    home->speed[HOME_ACC], home->move_direction);
  enter(ext, axis, next);
}

/* Under the home lock: mode 5 ends with the chip seeking the index away
 * from the limit; its home end ends the search. */
VOID start_index_step(CardExtension *ext, int axis) {
  HomeSearch *home = &ext->axis[axis].home;
  const BOOLEAN plus = home->move_direction == MOVE_DIR_PLUS;
  rewrite_home_steps(ext, axis, plus ? CODE_INDEX_MINUS : CODE_INDEX_PLUS);
  home->move_direction = flipped(home->move_direction);
  enter(ext, axis, HOME_WAIT_LAST_STEP);
  full_step(ext, axis);
}

/* Under the home lock: the axis of a timer search stopped at the end of a
 * step. TRUE when the search is over. */
BOOLEAN timer_step_after_stop(CardExtension *ext, int axis) {
  HomeSearch *home = &ext->axis[axis].home;
  switch (state_of(ext, axis)) {
    case HOME_WAIT_SEARCH_MOVE:
      if (!stopped_on_limit_ahead(ext, axis, home->move_direction)) break;
      start_low_speed_turn(ext, axis, HOME_WAIT_OFF_LIMIT);
      return FALSE;
    case HOME_WAIT_OFF_LIMIT:
    case HOME_WAIT_STOPPING:
      /* Off the limit the axis may also have stopped on the other limit
       * before a tick saw it leave the first: it approaches all the same. */
      if (latched_stop_reasons(ext, axis) & STOPPED_BY_ALARM_OR_EMERGENCY) break;
      start_low_speed_turn(ext, axis, HOME_WAIT_APPROACH);
      return FALSE;
    case HOME_WAIT_APPROACH:
      if (!stopped_on_limit_ahead(ext, axis, home->move_direction)) break;
      if (home->mode != 5) {
        finish_search(ext, axis, TRUE);
        return TRUE;
      }
      start_index_step(ext, axis);
      return FALSE;
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
  if (!axis_busy(ext, axis)) return timer_step_after_stop(ext, axis);
  if (state_of(ext, axis) == HOME_WAIT_OFF_LIMIT && !on_limit(get_di_status(ext, 1u << axis, NULL))) {
    enter(ext, axis, HOME_WAIT_STOPPING);
    stop_axes(ext, 1u << axis, CHIP_DEC_STOP);
  }
  return FALSE;
}

BOOLEAN is_timer_state(LONG state) { return state >= HOME_WAIT_SEARCH_MOVE; }

/* One tick of every timer search; a search that ended completes its waiting
 * request. */
VOID take_timer_search_steps(CardExtension *ext) {
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    BOOLEAN over = FALSE;
    with_home_lock(ext, [&] {
      if (is_timer_state(state_of(ext, axis))) over = take_timer_search_step(ext, axis);
    });
    if (over) complete_waiting_request(ext, axis, STATUS_SUCCESS);
  }
}

/* After a tick: the timer runs on while a timer search does and the card
 * was not stopped or reset meanwhile; once none runs, it is no longer
 * active. */
BOOLEAN timer_runs_on(CardExtension *ext) {
  BOOLEAN runs_on = FALSE;
  with_home_lock(ext, [&] {
    BOOLEAN running = FALSE;
    for (int axis = 0; axis < AXIS_COUNT; ++axis) running |= is_timer_state(state_of(ext, axis));
    if (!running) set_timer_active(ext, FALSE);
    runs_on = read_interlocked(&ext->home.active);
  });
  return runs_on;
}

/* ---- the chip's search (modes 0-3) ---------------------------------------- */

/* The chip search that a home start runs (after its wait was armed). A
 * configured search of modes 0-3 takes further steps at its home ends; a
 * search without configuration, or one of modes 0 and 1 that starts on the
 * home input, is a single run of the chip. */
USHORT start_chip_search(RequestContext *request) {
  CardExtension *ext = request->ext;
  const DriverRequest *block = request->block;
  const int axis = axis_mask_to_index(slot_u16(block, SLOT_AXES));
  const USHORT start = slot_u16(block, HOME_START_START_SPEED);
  const USHORT acc = slot_u16(block, HOME_START_ACC), dec = slot_u16(block, HOME_START_DEC);
  const USHORT search = slot_u16(block, HOME_START_SEARCH_SPEED);
  const USHORT low = slot_u16(block, HOME_START_LOW_SPEED);
  const HomeSearch *home = &ext->axis[axis].home;
  USHORT word = DRV_SUCCESS;
  with_home_lock(ext, [&] {
    if (state_of(ext, axis) != HOME_CONFIGURED) {
      enter(ext, axis, HOME_WAIT_LAST_STEP);
      word = home_move_step(ext, axis, start, acc, dec, search, low);
    } else if (get_di_status(ext, 1u << axis, NULL) & DI_HOME) {
      enter(ext, axis, home->mode <= 1 ? HOME_WAIT_LAST_STEP : HOME_WAIT_FIRST_STEP);
      word = home_move_step(ext, axis, start, acc, dec, low, low);
    } else {
      enter(ext, axis, HOME_WAIT_FIRST_STEP);
      word = home_move_step(ext, axis, start, acc, dec, search, search);
    }
    if (word != DRV_SUCCESS) finish_search(ext, axis, FALSE);
  });
  return word;
}

/* Under the home lock: the run ended on the home input; the last step seeks
 * it (and in modes 1 and 3 the index) in the direction of the option (0:
 * minus). */
USHORT start_last_step(CardExtension *ext, int axis) {
  const HomeSearch *home = &ext->axis[axis].home;
  const BOOLEAN index_modes = home->mode == 1 || home->mode == 3;
  const BOOLEAN seeks_minus = home->option == 0;
  if (index_modes)
    rewrite_home_steps(ext, axis, seeks_minus ? CODE_HOME_INDEX_MINUS : CODE_HOME_INDEX_PLUS);
  else
    rewrite_home_steps(ext, axis, seeks_minus ? CODE_HOME_MINUS : CODE_HOME_PLUS);
  enter(ext, axis, HOME_WAIT_LAST_STEP);
  return full_step(ext, axis);
}

/* Under the home lock: the run turned at a limit without its home; the next
 * seeks it the other way from where the configuration searched home, at the
 * search speed from the far limit. */
USHORT start_turn_back(CardExtension *ext, int axis, USHORT di) {
  const HomeSearch *home = &ext->axis[axis].home;
  const BOOLEAN index_modes = home->mode == 1 || home->mode == 3;
  const USHORT steps = index_modes ? (home->config[0] & CODE_HOME_MINUS) : home->config[0];
  rewrite_home_steps(ext, axis, steps == CODE_HOME_MINUS ? CODE_HOME_PLUS : CODE_HOME_MINUS);
  enter(ext, axis, HOME_WAIT_TURNED_BACK);
  const BOOLEAN at_far_limit = (di & (home->option == 0 ? DI_LIMIT_MINUS : DI_LIMIT_PLUS)) != 0;
  return at_far_limit ? search_speed_step(ext, axis) : full_step(ext, axis);
}

/* Under the home lock, at a home end that ends HOME_WAIT_FIRST_STEP or
 * HOME_WAIT_TURNED_BACK: the next step by the home input. The step that
 * starts on the home input is the last. A search that already turned back
 * once and again ends without its home, or one that an alarm or the
 * emergency stop ended, has failed. TRUE while a further step runs. */
BOOLEAN take_homing_step(CardExtension *ext, int axis) {
  const USHORT di = get_di_status(ext, 1u << axis, NULL);
  const USHORT errors = get_error_status(ext, 1u << axis, FALSE);
  const BOOLEAN broken_off =
      (errors & ERROR_ALARM_OR_EMERGENCY) || stopped_by_command(ext, axis);
  const BOOLEAN on_home = (di & DI_HOME) != 0;
  if (broken_off || (!on_home && state_of(ext, axis) == HOME_WAIT_TURNED_BACK)) {
    finish_search(ext, axis, FALSE);
    return FALSE;
  }
  const USHORT word = on_home ? start_last_step(ext, axis) : start_turn_back(ext, axis, di);
  if (word == DRV_SUCCESS) return TRUE;
  finish_search(ext, axis, FALSE);
  return FALSE;
}

/* The chip's last run ended at its home unless an error or a stop ended it. */
BOOLEAN last_run_found_home(CardExtension *ext, int axis) {
  return !axis_in_error(ext, axis) && !stopped_by_command(ext, axis);
}

/* Under the home lock: the searches of the mask end, and their
 * configurations go; answers the axes whose search was running. */
ULONG end_searches(CardExtension *ext, ULONG axis_mask) {
  ULONG ended = 0;
  for_each_axis(axis_mask & ALL_AXES, [&](int axis) {
    const LONG state = state_of(ext, axis);
    if (is_running(state)) {
      ended |= 1u << axis;
      trace_search_end(axis, state, "stopped");
    }
    ext->axis[axis].home.move_direction = 0;
    enter(ext, axis, HOME_IDLE);
  });
  return ended;
}

/* Under the home lock, after the axis's search ended: nothing of its
 * configuration is left. */
VOID forget_configuration(HomeSearch *home) {
  RtlZeroMemory(home->config, sizeof home->config);
  home->mode = 0;
  home->option = 0;
  home->direction = 0;
  RtlZeroMemory(home->speed, sizeof home->speed);
  RtlZeroMemory(&home->held, sizeof home->held);
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
  const int axis = axis_mask_to_index(slot_u16(block, SLOT_AXES));
  if (axis < 0) return DRV_SUCCESS;
  const HomeConfigEx config = {
      {slot_u16(block, SET_HOME_CFG_EX_STEPS), slot_u16(block, SET_HOME_CFG_EX_LEVELS)},
      slot_u16(block, SET_HOME_CFG_EX_MODE),
      slot_u8(block, SET_HOME_CFG_EX_OPTION),
      slot_u8(block, SET_HOME_CFG_EX_DIRECTION)};
  USHORT word = DRV_SUCCESS;
  with_home_lock(ext, [&] {
    HeldHomeConfig *held = &ext->axis[axis].home.held;
    if (!is_running(state_of(ext, axis))) {
      word = configure_extended(ext, axis, config);
      return;
    }
    held->has_ex = TRUE;
    held->ex = config;
    held->inputs_last = FALSE;
  });
  return word;
}

VOID home_search_set_inputs(CardExtension *ext, ULONG axis_mask, const HomeInputs *inputs) {
  with_home_lock(ext, [&] {
    for_each_axis(axis_mask, [&](int axis) {
      HeldHomeConfig *held = &ext->axis[axis].home.held;
      if (!is_running(state_of(ext, axis))) {
        configure_inputs(ext, axis, *inputs);
        return;
      }
      held->has_inputs = TRUE;
      held->inputs = *inputs;
      held->inputs_last = TRUE;
    });
  });
}

VOID home_search_apply_held(CardExtension *ext, ULONG axis_mask) {
  with_home_lock(ext, [&] {
    for_each_axis(axis_mask, [&](int axis) { apply_held_config(ext, axis); });
  });
}

/* A mode 0-3 search, or one without extended configuration, runs on the chip
 * and ends at a home end; a mode 4 or 5 search runs on the home timer. Either
 * waits for its end when asked to; without waiting the start is answered at
 * once, and motion_done reads the axis busy until the search is over. */
USHORT home_start(RequestContext *request) {
  CardExtension *ext = request->ext;
  const DriverRequest *block = request->block;
  const ULONG axis_bit = slot_u16(block, SLOT_AXES) & ALL_AXES;
  const int axis = axis_mask_to_index(axis_bit);
  if (axis < 0) return DRV_NO_HOME_CONFIG;
  HomeSearch *home = &ext->axis[axis].home;
  const BOOLEAN configured = state_of(ext, axis) == HOME_CONFIGURED;

  UCHAR direction = MOVE_DIR_LOADED;
  if (configured && is_timer_mode(home)) {
    direction = timer_search_direction(ext, axis);
  } else if (configured) {
    const USHORT refusal = chip_search_direction(home, &direction);
    if (refusal != DRV_SUCCESS) return refusal;
  }
  const USHORT refusal = run_start_checks(request, 1u << axis, direction);
  if (refusal != DRV_SUCCESS) return refusal;
  /* Every search ends at a home end or a step that the DPCs take: without
   * the interrupt (the compare table holds it) it could never end. */
  if (compare_table_reloading(ext)) return DRV_WAIT_IN_CMP_MODE;
  if (configured) {
    for (int n = 0; n < HOME_SPEED_COUNT; ++n)
      home->speed[n] = slot_u16(block, HOME_START_START_SPEED + n);
  }
  RequestHandler *start =
      configured && is_timer_mode(home) ? start_timer_search : start_chip_search;
  return run_waited_start(request, 1u << axis, FACTOR_HOME_END,
                          slot_u16(block, HOME_START_WAIT) == 1, start);
}

BOOLEAN home_search_running(CardExtension *ext, int axis) {
  return is_running(state_of(ext, axis));
}

BOOLEAN home_searches_running(CardExtension *ext, ULONG axis_mask) {
  BOOLEAN running = FALSE;
  for_each_axis(axis_mask & ALL_AXES, [&](int axis) { running |= home_search_running(ext, axis); });
  return running;
}

BOOLEAN home_end_arrived(CardExtension *ext, int axis) {
  BOOLEAN over = TRUE;
  with_home_lock(ext, [&] {
    switch (state_of(ext, axis)) {
      case HOME_WAIT_FIRST_STEP:
      case HOME_WAIT_TURNED_BACK:
        over = !take_homing_step(ext, axis);
        break;
      case HOME_WAIT_LAST_STEP:
        finish_search(ext, axis, last_run_found_home(ext, axis));
        break;
      case HOME_WAIT_SEARCH_MOVE:
      case HOME_WAIT_OFF_LIMIT:
      case HOME_WAIT_STOPPING:
      case HOME_WAIT_APPROACH:
        over = FALSE;  /* no step of the timer ends on a home end */
        break;
      default:
        break;  /* the end of a search that a stop or a reset ended */
    }
  });
  return over;
}

VOID home_timer_dpc(PKDPC dpc, PVOID context, PVOID arg1, PVOID arg2) {
  UNREFERENCED_PARAMETER(dpc);
  UNREFERENCED_PARAMETER(arg1);
  UNREFERENCED_PARAMETER(arg2);
  CardExtension *ext = card_extension((PDEVICE_OBJECT)context);
  /* Once no timer search runs, or the card is being stopped or was reset,
   * the timer is not set again. */
  if (!read_interlocked(&ext->home.active) || read_interlocked(&ext->stopping)) return;
  take_timer_search_steps(ext);
  if (timer_runs_on(ext)) KeSetTimer(&ext->home.timer, ext->home.timer_due, &ext->home.timer_dpc);
}

ULONG end_home_searches(CardExtension *ext, ULONG axis_mask) {
  ULONG ended = 0;
  with_home_lock(ext, [&] { ended = end_searches(ext, axis_mask); });
  return ended;
}

VOID home_search_set_end_counter_clear(CardExtension *ext, USHORT value) {
  ext->home.end_counter_clear = value;
}

VOID home_search_init(CardExtension *ext, PDEVICE_OBJECT device) {
  KeInitializeSpinLock(&ext->home.lock);
  ext->home.timer_due.QuadPart = HOME_TIMER_DUE_TIME;
  KeInitializeTimer(&ext->home.timer);
  KeInitializeDpc(&ext->home.timer_dpc, home_timer_dpc, device);
}

/* The home timer DPC re-arms itself while the timer is active: once the
 * flag is down (and the stopping flag up), a DPC that runs no longer
 * re-arms, so cancelling and flushing twice leaves neither a set timer nor
 * a queued DPC behind. */
VOID home_search_stop(CardExtension *ext) {
  with_home_lock(ext, [&] {
    end_searches(ext, ALL_AXES);
    for (DriverAxisState &state : ext->axis)
      RtlZeroMemory(&state.home.held, sizeof state.home.held);
    set_timer_active(ext, FALSE);
  });
  for (int pass = 0; pass < 2; ++pass) {
    KeCancelTimer(&ext->home.timer);
    KeFlushQueuedDpcs();
  }
}

VOID home_search_reset(CardExtension *ext) {
  with_home_lock(ext, [&] {
    end_searches(ext, ALL_AXES);
    for (DriverAxisState &state : ext->axis) forget_configuration(&state.home);
    set_timer_active(ext, FALSE);
    ext->home.end_counter_clear = 0;
  });
}

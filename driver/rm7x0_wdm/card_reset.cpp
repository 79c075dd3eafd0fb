/* Card reset: the chip and the driver's state back to their defaults. */
#include "rm7x0_driver.h"

static VOID reset_axis_state(CardExtension *ext, int axis) {
  DriverAxisState *state = &ext->axis[axis];
  state->range = DEFAULT_RANGE;
  RtlZeroMemory(state->shadow, sizeof state->shadow);
  state->app_factor = 0;
  state->shadow[SHADOW_EXT_WORD1] = DEFAULT_FILTER_WORD;
  state->shadow[SHADOW_EXT_WORD2] = DEFAULT_EXT_WORD2;
  /* The chip reset clears the whole output word, so every output state goes. */
  RtlZeroMemory(state->output, sizeof state->output);
  InterlockedExchange(&state->interrupt_factor, 0);
}

/* Chip and driver back to their defaults. A request still waiting on an axis
 * can no longer see its factor (the reset disarms it), so it is cancelled
 * rather than left pending for ever. */
VOID card_reset(CardExtension *ext) {
  home_search_reset(ext);
  chip_command(ext, COMMAND_CHIP_RESET);
  interpolation_reset(ext);  /* first: no DPC feeds a segment to the reset chip */
  /* The chip reset cleared this register; the shadow follows it. */
  run_synchronized(ext, [&] { ext->output_shadow = 0; });
  /* The slots first: a slot that fires after the holds were dropped would
   * hold its target again. */
  int_actions_reset(ext);
  held_starts_reset(ext);
  /* The chip's reset disarmed every trigger and action with the sync words. */
  compare_trigger_reset(ext);
  sync_action_reset(ext);
  axis_owners_reset(ext);
  torix_reset(ext);
  waits_reset(ext);
  /* A DPC on another processor reads the shadows under the interrupt lock. */
  run_synchronized(ext, [&] {
    for (int axis = 0; axis < AXIS_COUNT; ++axis) reset_axis_state(ext, axis);
  });
  drive_end_flags_reset(ext);

  chip_set_range(ext, ALL_AXES, DEFAULT_RANGE);
  chip_set_jerk(ext, ALL_AXES, DEFAULT_JERK);
  chip_set_dec_jerk(ext, ALL_AXES, DEFAULT_JERK);
  chip_set_start_speed(ext, ALL_AXES, DEFAULT_SPEED);
  chip_set_drive_speed(ext, ALL_AXES, DEFAULT_SPEED);
  chip_set_cmd_counter(ext, ALL_AXES, 0);
  chip_set_enc_counter(ext, ALL_AXES, 0);
  chip_set_ext_mode(ext, ALL_AXES, DEFAULT_FILTER_WORD, DEFAULT_EXT_WORD2);
  chip_command(ext, COMMAND_CLEAR);

  IntSourceSet card_sources = {{SOURCE_FLAG_CHIP, SOURCE_FLAG_TORIX}};
  int_sources_disable(ext, &card_sources);
  run_synchronized(ext, [&] {  /* the DPC switches sources off under the same lock */
    ext->int_sources.word[0] = SOURCE_FLAG_PCI;
    ext->int_sources.word[1] = 0;
  });
}

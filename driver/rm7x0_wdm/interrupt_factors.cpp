/* The interrupt factors of the axes: which chip events interrupt (mode
 * register 1 bits 8-15, the home-end enable of extension word 1) and the
 * chip interrupt input of the bridge that carries them. */
#include "rm7x0_driver.h"

namespace {

constexpr USHORT FACTOR_SYNC_INTERRUPT = 0x0080;   /* factor word bit 7 */

BOOLEAN axis_has_factor(const DriverAxisState *state) {
  return (state->shadow[SHADOW_MODE1] & MODE1_FACTOR_ENABLES) != 0 ||
         (state->shadow[SHADOW_EXT_WORD1] & EXT1_HOME_END_ENABLE) != 0;
}

/* The synchronous-action interrupt (factor bit 7) lives in sync word 2. While
 * the compare trigger owns the sync words it may not change. */
USHORT set_sync_interrupt(CardExtension *ext, int axis, USHORT factor) {
  DriverAxisState *state = &ext->axis[axis];
  const USHORT wanted = (factor & FACTOR_SYNC_INTERRUPT) ? SYNC2_INTERRUPT : 0;
  if (sync_words_held_by(ext, axis, SYNC_OWNER_COMPARE))
    return (state->shadow[SHADOW_SYNC_WORD2] & SYNC2_INTERRUPT) == wanted ? DRV_SUCCESS
                                                                         : DRV_SYNCH_REFUSED_CMPTRIG;
  state->shadow[SHADOW_SYNC_WORD2] =
      (USHORT)((state->shadow[SHADOW_SYNC_WORD2] & ~SYNC2_INTERRUPT) | wanted);
  chip_set_sync_mode(ext, 1u << axis, state->shadow[SHADOW_SYNC_WORD1],
                     state->shadow[SHADOW_SYNC_WORD2]);
  return DRV_SUCCESS;
}

}  // namespace

/* The chip's interrupt takes the place of the Torix input interrupt in the
 * card's source flags (the bridge's Torix input stays as it is), so the
 * cached Torix reads are refused until the Torix interrupt is set again. */
VOID switch_chip_interrupt_on(CardExtension *ext) {
  const IntSourceSet sources = {{SOURCE_FLAG_PCI | SOURCE_FLAG_CHIP, 0}};
  InterlockedOr((volatile LONG *)&ext->int_sources.word[0], SOURCE_FLAG_PCI | SOURCE_FLAG_CHIP);
  InterlockedAnd((volatile LONG *)&ext->int_sources.word[1], ~(LONG)SOURCE_FLAG_TORIX);
  int_sources_enable(ext, &sources);
}

/* The chip input is shared by every axis: it goes off only when no axis has
 * a factor enabled and no segment table is fed by it. The look at the
 * shadows and the switch-off are one step under the interrupt lock: the DPC
 * comes here at the end of a segment run while a handler may be arming a
 * wait (factor, then input on), and a switch-off between the two would leave
 * that wait without its interrupt. A running compare table needs it too. */
VOID switch_chip_interrupt_off_when_unused(CardExtension *ext) {
  run_synchronized(ext, [&] {
    if (compare_table_reloading(ext)) return;
    for (const DriverAxisState &state : ext->axis) {
      if (axis_has_factor(&state)) return;
    }
    if (conti_table_fed(ext)) return;
    InterlockedAnd((volatile LONG *)&ext->int_sources.word[0], ~(LONG)SOURCE_FLAG_CHIP);
    intcsr_modify(ext, 0, INTCSR_LOCAL1_ENABLE);
  });
}

/* Factor 0 on an axis whose compare trigger owns the sync words is refused
 * before anything changes: the comparator needs the chip interrupt. */
USHORT set_int_factor(CardExtension *ext, ULONG axis_mask, USHORT factor) {
  if (compare_table_reloading(ext)) return DRV_CONFLICT_CMP_MODE;
  const int first = axis_mask_to_index(axis_mask);
  if (first < 0) return DRV_SUCCESS;
  if (factor == 0 && sync_words_held_by(ext, first, SYNC_OWNER_COMPARE))
    return DRV_SYNCH_REFUSED_CMPTRIG;
  const USHORT refusal = set_sync_interrupt(ext, first, factor);
  if (refusal != DRV_SUCCESS) return refusal;

  /* A running interpolation keeps its drive-end enable: the factor may add
   * it, never take it away. */
  const BOOLEAN interpolating = interpolation_running(ext);
  const USHORT field = interpolating ? (USHORT)(MODE1_FACTOR_ENABLES & ~MODE1_DRIVE_END_ENABLE)
                                     : MODE1_FACTOR_ENABLES;
  const BOOLEAN add_drive_end = interpolating && (factor & MODE1_DRIVE_END_ENABLE);
  for_each_axis(axis_mask, [&](int axis) {
    set_mode_field(ext, axis, SHADOW_MODE1, field, factor);
    if (add_drive_end)
      set_mode_field(ext, axis, SHADOW_MODE1, MODE1_DRIVE_END_ENABLE, MODE1_DRIVE_END_ENABLE);
  });
  if (factor != 0)
    switch_chip_interrupt_on(ext);
  else
    switch_chip_interrupt_off_when_unused(ext);
  return DRV_SUCCESS;
}

USHORT set_app_factor(CardExtension *ext, ULONG axis_mask, USHORT factor) {
  const USHORT word = set_int_factor(ext, axis_mask, factor);
  if (word != DRV_SUCCESS) return word;
  run_synchronized(ext, [&] {
    for_each_axis(axis_mask & ALL_AXES, [&](int axis) { ext->axis[axis].app_factor = factor; });
  });
  return word;
}

VOID arm_drive_end(CardExtension *ext, ULONG axis_mask, BOOLEAN on) {
  for_each_axis(axis_mask, [&](int axis) {
    set_mode_field(ext, axis, SHADOW_MODE1, MODE1_DRIVE_END_ENABLE, on ? MODE1_DRIVE_END_ENABLE : 0);
  });
  if (on) switch_chip_interrupt_on(ext);
}

VOID arm_home_end(CardExtension *ext, ULONG axis_mask, BOOLEAN on) {
  for_each_axis(axis_mask, [&](int axis) {
    set_ext_field(ext, axis, SHADOW_EXT_WORD1, EXT1_HOME_END_ENABLE, on ? EXT1_HOME_END_ENABLE : 0);
  });
  if (on) switch_chip_interrupt_on(ext);
}

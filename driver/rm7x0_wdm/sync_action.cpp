/* The synchronous action of each axis: a condition on the axis (a
 * comparator, a drive's end...) that makes the chip act on its own: start a
 * loaded move of its partners, change its speed.
 *
 * It shares the axis's comparators and its two synchronous-action words with
 * the compare trigger, so it takes them (axis_owners.cpp) and refuses an axis
 * the trigger holds. Its states and the speed an armed speed-change action
 * keeps in the chip's data register are its record, SyncActions; the routines
 * here are its only writers. */
#include "rm7x0_driver.h"

namespace {

/* The speed kept for a speed-change action goes with the last such action. */
VOID forget_kept_speed_when_unused(CardExtension *ext) {
  if (speed_change_armed(ext)) return;
  run_synchronized(ext, [&] { ext->sync.data_low_kept = FALSE; });
}

/* Chip sync words: the axis's own, then all partners in one command. */
VOID clear_sync_action(CardExtension *ext, int axis) {
  DriverAxisState *state = &ext->axis[axis];
  const ULONG partners =
      rotate_axis_mask(axis, state->shadow[SHADOW_SYNC_WORD1] >> SYNC1_PARTNER_SHIFT);
  chip_set_sync_mode(ext, 1u << axis, 0, 0);
  if (partners != 0) chip_set_sync_mode(ext, partners, 0, 0);
  state->shadow[SHADOW_SYNC_WORD1] = 0;
  state->shadow[SHADOW_SYNC_WORD2] = 0;
  release_sync_words(ext, axis, SYNC_OWNER_SYNC_ACTION);
  forget_kept_speed_when_unused(ext);
}

/* A partner's word 2 is replaced by the partner action: an axis whose sync
 * words the compare trigger holds cannot be one. */
USHORT check_partners(CardExtension *ext, ULONG partners) {
  USHORT refusal = DRV_SUCCESS;
  for_each_axis(partners, [&](int partner) {
    if (refusal == DRV_SUCCESS) refusal = check_axis_sync(ext, partner, SYNC_OWNER_SYNC_ACTION);
  });
  return refusal;
}

/* The comparators and their source are loaded before anything can fire, the
 * partners' actions before the axis's own word makes the action active. An
 * action that can never act (not active, no speed change, nothing for the
 * partners) only loads the comparators, whose factors interrupt actions
 * count: it holds nothing, so nothing stays held when its chain has run. */
VOID enable_sync_action(CardExtension *ext, int axis, const DriverRequest *block) {
  DriverAxisState *state = &ext->axis[axis];
  const USHORT relative_partners = slot_u16(block, SET_SYNCH_PARTNERS);
  const USHORT condition = slot_u16(block, SET_SYNCH_CONDITION);
  const USHORT partner_action = slot_u16(block, SET_SYNCH_PARTNER_ACTION);
  const USHORT word1 = (USHORT)(condition | (relative_partners << SYNC1_PARTNER_SHIFT));
  const USHORT word2 =
      (USHORT)(slot_u16(block, SET_SYNCH_ACTION) |
               (state->shadow[SHADOW_SYNC_WORD2] & SYNC2_KEPT_BY_ACTION));
  const BOOLEAN acts = (word2 & (SYNC2_ACTIVE | SYNC2_SPEED_FROM_DATA)) != 0 || partner_action != 0;
  release_comparators(ext, axis, OWNER_SYNC_ACTION);
  if (condition & SYNC1_COMPARATOR_CONDITIONS) {
    if (acts) hold_comparators(ext, axis, OWNER_SYNC_ACTION);
    set_comp_registers(ext, axis, slot_u16(block, SET_SYNCH_SOURCE), TRUE,
                       slot_u32(block, SET_SYNCH_COMPARE_PLUS), TRUE,
                       slot_u32(block, SET_SYNCH_COMPARE_MINUS));
  }
  const ULONG partners = rotate_axis_mask(axis, relative_partners);
  for_each_axis(partners, [&](int partner) {
    chip_set_sync_mode(ext, 1u << partner, ext->axis[partner].shadow[SHADOW_SYNC_WORD1],
                       partner_action);
  });
  /* A partner that the action starts has not ended its new drive yet. */
  if (partner_action & SYNC2_START_ACTIONS) clear_end_flags(ext, partners);
  store_sync_words(ext, axis, word1, word2);
  if (acts)
    hold_sync_words(ext, axis, SYNC_OWNER_SYNC_ACTION);
  else
    release_sync_words(ext, axis, SYNC_OWNER_SYNC_ACTION);
  ext->sync.state[axis] = acts ? SYNC_ACTION_ARMED : SYNC_ACTION_LOADED;
}

/* REQ_SET_SYNCH enable 0: an armed action's words and its partners' are
 * cleared; an action that held nothing leaves its words to whoever takes
 * them next. */
VOID disable_sync_action(CardExtension *ext, int axis) {
  if (ext->sync.state[axis] == SYNC_ACTION_ARMED) clear_sync_action(ext, axis);
  release_comparators(ext, axis, OWNER_SYNC_ACTION);
  ext->sync.state[axis] = SYNC_ACTION_OFF;
}

}  // namespace

/* Writes an axis's two sync words and keeps them as its shadows. */
VOID store_sync_words(CardExtension *ext, int axis, USHORT word1, USHORT word2) {
  DriverAxisState *state = &ext->axis[axis];
  state->shadow[SHADOW_SYNC_WORD1] = word1;
  state->shadow[SHADOW_SYNC_WORD2] = word2;
  chip_set_sync_mode(ext, 1u << axis, word1, word2);
  forget_kept_speed_when_unused(ext);
}

BOOLEAN speed_change_armed(const CardExtension *ext) {
  for (const DriverAxisState &state : ext->axis) {
    if (state.shadow[SHADOW_SYNC_WORD2] & SYNC2_SPEED_FROM_DATA) return TRUE;
  }
  return FALSE;
}

VOID keep_action_speed(CardExtension *ext, USHORT value) {
  ext->sync.kept_data_low = value;
  ext->sync.data_low_kept = TRUE;
}

VOID restore_kept_data(CardExtension *ext) {
  if (ext->sync.data_low_kept) card_write16(ext, REG_DATA_LOW, ext->sync.kept_data_low);
}

VOID sync_action_reset(CardExtension *ext) {
  run_synchronized(ext, [&] { RtlZeroMemory(&ext->sync, sizeof ext->sync); });
}

USHORT set_synch(RequestContext *request) {
  CardExtension *ext = request->ext;
  const int axis = axis_mask_to_index(slot_u16(request->block, SLOT_AXES));
  if (axis < 0) return DRV_SUCCESS;
  USHORT refusal = check_axis_motion(ext, axis, OWNER_SYNC_ACTION);
  if (refusal == DRV_SUCCESS) refusal = check_axis_sync(ext, axis, SYNC_OWNER_SYNC_ACTION);
  if (refusal != DRV_SUCCESS) return refusal;
  switch (slot_u8(request->block, SET_SYNCH_ENABLE)) {
    case 1:
      refusal = check_partners(
          ext, rotate_axis_mask(axis, slot_u16(request->block, SET_SYNCH_PARTNERS)));
      if (refusal != DRV_SUCCESS) return refusal;
      enable_sync_action(ext, axis, request->block);
      break;
    case 0:
      disable_sync_action(ext, axis);
      break;
    default:
      break;
  }
  return DRV_SUCCESS;
}

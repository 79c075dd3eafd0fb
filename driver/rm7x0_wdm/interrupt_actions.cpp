/* Interrupt actions: a slot counts the interrupts of chosen factors on its
 * axes and, at the last one, releases held drive starts (action 1) or starts
 * its S-curve move (action 2) on its target, from the DPC. A slot fires once;
 * the DPC empties it then. Slots change under the interrupt lock, so the
 * request that fills one and the DPC that counts it never interleave. */
#include "rm7x0_driver.h"

namespace {


/* The factors of every other slot that counts the axis join its own: the
 * axis must raise all of them. */
USHORT combined_factor(const IntActionSlot *slots, int replaced, int axis, USHORT factor) {
  for (int index = 0; index < INT_ACTION_SLOTS; ++index) {
    if (index != replaced && (slots[index].axis_mask & (1u << axis))) factor |= slots[index].factor;
  }
  return factor;
}

/* Counts one interrupt of the axis on every matching slot; the first slot
 * that reaches 0 with an action is taken out and, for a release, the held
 * starts are released in the same step. */
BOOLEAN count_interrupt(CardExtension *ext, int axis, USHORT factor, IntActionSlot *fired) {
  BOOLEAN any = FALSE;
  run_synchronized(ext, [&] {
    for (IntActionSlot &slot : ext->actions.int_action) {
      if (slot.state != INT_ACTION_COUNTING || !(slot.axis_mask & (1u << axis)) ||
          !(factor & (slot.factor >> MODE1_FACTOR_ENABLE_SHIFT)))
        continue;
      if (--slot.countdown != 0) continue;
      *fired = slot;
      slot = IntActionSlot{};
      any = TRUE;
      if (fired->action == ACTION_RELEASE) {
        held_starts_release_locked(ext, fired->target);
      } else {
        held_starts_mark_held_locked(ext, fired->target);
      }
      return;
    }
  });
  return any;
}

BOOLEAN wait_needs_drive_end(CardExtension *ext, int axis) {
  return (armed_wait_factor(ext, axis, NULL) & FACTOR_DRIVE_END) != 0;
}

VOID drop_slot_factors(CardExtension *ext, const IntActionSlot *gone) {
  drop_factors_unless_needed(ext, gone->axis_mask & ALL_AXES, gone->factor);
}

}  // namespace

VOID run_interrupt_actions(CardExtension *ext, int axis, USHORT factor) {
  IntActionSlot fired = {};
  if (!count_interrupt(ext, axis, factor, &fired)) return;
  drop_slot_factors(ext, &fired);
  if (fired.action == ACTION_S_MOVE)
    drv_s_move(ext, fired.target & ALL_AXES, &fired.s_move, fired.s_move_direction);
}

/* A stop ends what the stopped axes were chained into: no action counts
 * their interrupts any more (the stop's own drive end included) or starts
 * or releases them later, and the factors the actions enabled go off. Called
 * before the stop reaches the chip. */
VOID disarm_int_actions(CardExtension *ext, ULONG axis_mask) {
  IntActionSlot gone[INT_ACTION_SLOTS] = {};
  run_synchronized(ext, [&] {
    for (int index = 0; index < INT_ACTION_SLOTS; ++index) {
      IntActionSlot &slot = ext->actions.int_action[index];
      if (!((slot.axis_mask | slot.target) & axis_mask)) continue;
      gone[index] = slot;
      slot = IntActionSlot{};
    }
  });
  for (const IntActionSlot &slot : gone) {
    if (slot.axis_mask != 0) drop_slot_factors(ext, &slot);
  }
}

VOID int_actions_reset(CardExtension *ext) {
  run_synchronized(ext, [&] { RtlZeroMemory(ext->actions.int_action, sizeof ext->actions.int_action); });
  ext->actions.int_action_next = 0;
}

/* REQ_SET_INT_ACTION. The slot is filled even when a factor was refused (the
 * answer says so); an S-curve move that fails its check is refused with its
 * failing axes and the slot keeps no action, so nothing unchecked can start. */
USHORT set_int_action(RequestContext *request) {
  CardExtension *ext = request->ext;
  DriverRequest *block = request->block;
  if (ext->actions.int_action_next >= INT_ACTION_SLOTS) ext->actions.int_action_next = 0;
  const int index = ext->actions.int_action_next;

  IntActionSlot slot = {};
  slot.factor = slot_u16(block, SET_INT_ACTION_FACTOR);
  slot.axis_mask = slot_u8(block, SLOT_AXES);
  slot.target = slot_u8(block, SET_INT_ACTION_TARGET);
  slot.action = slot_u8(block, SET_INT_ACTION_ACTION);
  const ULONG axes = slot_u16(block, SLOT_AXES) & ALL_AXES;
  IntActionSlot slots[INT_ACTION_SLOTS];  /* the DPC empties fired slots meanwhile */
  run_synchronized(ext, [&] { RtlCopyMemory(slots, ext->actions.int_action, sizeof slots); });
  USHORT word = DRV_SUCCESS;
  USHORT factor = slot.factor;
  for (int axis = 0; axis < AXIS_COUNT && word == DRV_SUCCESS; ++axis) {
    if (!(axes & (1u << axis))) continue;
    factor = combined_factor(slots, index, axis, factor);
    word = set_int_factor(ext, 1u << axis, factor);
    ++slot.countdown;
  }

  if (slot.action == ACTION_S_MOVE) {
    USHORT failing = 0;
    const UCHAR direction = slot_u8(block, SET_INT_ACTION_S_MOVE_DIRECTION);
    check_move_params(ext, slot_u16(block, SET_INT_ACTION_TARGET) & ALL_AXES, direction, &failing);
    if (failing != 0) {
      slot.action = 0;
      set_slot(block, REPLY_FAILING_AXES, failing);
      word = DRV_MOVE_CHECK_FAILED;
    } else {
      slot.s_move = profile_of_slots(block, SET_INT_ACTION_S_MOVE);
      slot.s_move_direction = direction;
    }
  }
  const bool runs = slot.action == ACTION_RELEASE || slot.action == ACTION_S_MOVE;
  slot.state = runs && slot.countdown != 0 ? INT_ACTION_COUNTING : INT_ACTION_INERT;
  run_synchronized(ext, [&] { ext->actions.int_action[index] = slot; });
  ext->actions.int_action_next = (UCHAR)(index + 1);
  return word;
}

/* A request that armed a wait while the drive end went off finds it on:
 * either it armed before the second look, or it switches it on after. */
VOID drop_factors_unless_needed(CardExtension *ext, ULONG axis_mask, USHORT factor) {
  IntActionSlot slots[INT_ACTION_SLOTS];
  USHORT app_factor[AXIS_COUNT];
  run_synchronized(ext, [&] {
    RtlCopyMemory(slots, ext->actions.int_action, sizeof slots);
    for (int axis = 0; axis < AXIS_COUNT; ++axis) app_factor[axis] = ext->axis[axis].app_factor;
  });
  for_each_axis(axis_mask, [&](int axis) {
    USHORT drop = (USHORT)(factor & ~combined_factor(slots, -1, axis, 0) & ~app_factor[axis] &
                           MODE1_FACTOR_ENABLES);
    if (wait_needs_drive_end(ext, axis)) drop &= (USHORT)~MODE1_DRIVE_END_ENABLE;
    if (drop != 0) set_mode_field(ext, axis, SHADOW_MODE1, drop, 0);
    if ((drop & MODE1_DRIVE_END_ENABLE) && wait_needs_drive_end(ext, axis))
      arm_drive_end(ext, 1u << axis, TRUE);
  });
  switch_chip_interrupt_off_when_unused(ext);
}

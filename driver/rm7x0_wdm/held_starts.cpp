/* Held drive starts: the chip holds the drive starts of an axis from the
 * hold command to the release, and a drive command written meanwhile waits
 * in the chip for it. Each state change goes with the command it follows,
 * as one step under the interrupt lock, so the DPC's interrupt actions and
 * the requests never see one without the other. */
#include "rm7x0_driver.h"

namespace {

VOID enter_hold_state(CardExtension *ext, ULONG axis_mask, HoldState state) {
  for_each_axis(axis_mask, [&](int axis) { ext->held.state[axis] = (UCHAR)state; });
}

/* The release command, and the axes' holds gone; the held-axis mask keeps
 * the axes in keep_held. */
VOID release_locked(CardExtension *ext, ULONG axis_mask, USHORT keep_held) {
  card_write16(ext, REG_COMMAND, command_word(axis_mask, CHIP_DRIVE_RELEASE));
  enter_hold_state(ext, axis_mask, HOLD_NONE);
  ext->held.held_axes &= keep_held;
}

}  // namespace

/* A second hold leaves a drive that already waits as it is. */
VOID held_starts_hold(CardExtension *ext, ULONG axis_mask) {
  axis_mask &= ALL_AXES;
  run_synchronized(ext, [&] {
    card_write16(ext, REG_COMMAND, command_word(axis_mask, CHIP_DRIVE_HOLD));
    for_each_axis(axis_mask, [&](int axis) {
      if (ext->held.state[axis] == HOLD_NONE) ext->held.state[axis] = HOLD_WRITTEN;
    });
    ext->held.held_axes = (USHORT)axis_mask;
  });
}

VOID held_starts_release(CardExtension *ext, ULONG axis_mask) {
  run_synchronized(ext, [&] { release_locked(ext, axis_mask & ALL_AXES, 0); });
}

VOID held_starts_stop(CardExtension *ext, ULONG axis_mask) {
  run_synchronized(ext, [&] { release_locked(ext, axis_mask, (USHORT)~axis_mask); });
}

VOID held_starts_reset(CardExtension *ext) {
  run_synchronized(ext, [&] { RtlZeroMemory(&ext->held, sizeof ext->held); });
}

VOID held_starts_note_drive_locked(CardExtension *ext, ULONG axis_mask) {
  for_each_axis(axis_mask, [&](int axis) {
    if (ext->held.state[axis] == HOLD_WRITTEN) ext->held.state[axis] = HOLD_WITH_PENDING_DRIVE;
  });
}

VOID held_starts_drop_drives_locked(CardExtension *ext, ULONG axis_mask) {
  for_each_axis(axis_mask, [&](int axis) {
    if (ext->held.state[axis] == HOLD_WITH_PENDING_DRIVE) ext->held.state[axis] = HOLD_WRITTEN;
  });
}

VOID held_starts_release_locked(CardExtension *ext, ULONG axis_mask) {
  release_locked(ext, axis_mask, (USHORT)~axis_mask);
}

VOID held_starts_mark_held_locked(CardExtension *ext, ULONG axis_mask) {
  ext->held.held_axes |= (USHORT)axis_mask;
}

ULONG held_starts_in_chip_locked(const CardExtension *ext, ULONG axis_mask) {
  ULONG held = 0;
  for_each_axis(axis_mask, [&](int axis) {
    if (ext->held.state[axis] != HOLD_NONE) held |= 1u << axis;
  });
  return held;
}

BOOLEAN held_starts_drive_waits_locked(const CardExtension *ext, int axis) {
  return ext->held.state[axis] == HOLD_WITH_PENDING_DRIVE;
}

BOOLEAN held_starts_any_drive_waits(CardExtension *ext) {
  BOOLEAN waits = FALSE;
  run_synchronized(ext, [&] {
    for (int axis = 0; axis < AXIS_COUNT; ++axis)
      waits = waits || held_starts_drive_waits_locked(ext, axis);
  });
  return waits;
}

BOOLEAN held_starts_refuse_wait(CardExtension *ext, ULONG axis_mask) {
  BOOLEAN refused = FALSE;
  run_synchronized(ext, [&] { refused = (ext->held.held_axes & axis_mask) != 0; });
  return refused;
}

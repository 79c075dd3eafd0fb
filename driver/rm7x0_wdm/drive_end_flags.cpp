/* Why the axes' drives ended, as the driver saw it: a stop command, the
 * drive end or home end a wait was armed for, a table run that broke off.
 * A move start clears the flags of its axes and records the path they drive
 * on together; the motion state reads them once the axis stands. Every
 * change is interlocked: the handlers and the DPC set them concurrently. */
#include "rm7x0_driver.h"

namespace {

VOID clear_end_flags_of_path(CardExtension *ext, ULONG axis_mask, ULONG path_mask) {
  for_each_axis(axis_mask, [&](int axis) {
    DriveEndFlags *ends = &ext->axis[axis].ends;
    for (LONG &flag : ends->end_flag) InterlockedExchange(&flag, 0);
    InterlockedExchange(&ends->path_axes, (LONG)path_mask);
  });
}

BOOLEAN end_flag_set(CardExtension *ext, int axis, AxisEndFlag flag) {
  return read_interlocked(&ext->axis[axis].ends.end_flag[flag]) != 0;
}

}  // namespace

VOID clear_end_flags(CardExtension *ext, ULONG axis_mask) {
  clear_end_flags_of_path(ext, axis_mask, 0);
}

VOID start_path_end_flags(CardExtension *ext, ULONG path_mask) {
  clear_end_flags_of_path(ext, path_mask, path_mask);
}

VOID set_end_flag(CardExtension *ext, int axis, AxisEndFlag flag) {
  InterlockedExchange(&ext->axis[axis].ends.end_flag[flag], 1);
}

BOOLEAN stopped_by_command(CardExtension *ext, int axis) {
  return end_flag_set(ext, axis, END_STOPPED_BY_COMMAND);
}

ULONG axes_of_its_path(CardExtension *ext, int axis) {
  const LONG path = read_interlocked(&ext->axis[axis].ends.path_axes);
  ULONG axes = 1u << axis;
  for_each_axis((ULONG)path & ~axes, [&](int other) {
    if (read_interlocked(&ext->axis[other].ends.path_axes) == path) axes |= 1u << other;
  });
  return axes;
}

/* A stop command anywhere on the path outranks the axis's own home end;
 * an axis that stopped for no recorded reason reached its end. */
USHORT stop_reasons(CardExtension *ext, int axis, ULONG path, USHORT latched) {
  USHORT reason = latched;
  bool by_command = false;
  for_each_axis(path, [&](int member) { by_command = by_command || stopped_by_command(ext, member); });
  if (end_flag_set(ext, axis, END_CONTI_BROKEN)) reason |= STATE_CONTI_BROKEN;
  if (by_command)
    reason |= STATE_STOP_COMMAND;
  else if (end_flag_set(ext, axis, END_HOME))
    reason |= STATE_HOME_END;
  else if (reason == 0)
    reason = STATE_DRIVE_END;  /* with or without its drive-end flag */
  return reason;
}

VOID drive_end_flags_reset(CardExtension *ext) {
  clear_end_flags_of_path(ext, ALL_AXES, 0);
}

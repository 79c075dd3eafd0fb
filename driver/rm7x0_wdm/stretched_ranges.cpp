/* The partner ranges of a single line or arc. A line at a constant vector
 * speed runs each partner axis at a range stretched from the master's (the
 * chip scales a partner's steps by its range); the ranges the application
 * set come back when the line is over. A card reset forgets them: the chip's
 * reset gave every axis its default range, and a range kept from before the
 * reset would come back over one the application set since. */
#include "rm7x0_driver.h"

namespace {

/* The master's range stretched, in 64 bits and within the chip's range. */
ULONG stretched_range(ULONG master_range, ULONGLONG thousandths) {
  const ULONGLONG range = (ULONGLONG)master_range * thousandths / 1000;
  return range > CHIP_RANGE_MAX ? CHIP_RANGE_MAX : (ULONG)range;
}

}  // namespace

VOID stretch_partner_range(CardExtension *ext, ULONG axis_bit, ULONG master_range,
                           ULONGLONG thousandths) {
  StretchedRanges *record = &ext->interp.line.stretched;
  const int axis = axis_mask_to_index(axis_bit);
  if (!(record->axes & axis_bit)) record->before[axis] = ext->axis[axis].range;
  if (chip_set_range(ext, axis_bit, stretched_range(master_range, thousandths)) == DRV_SUCCESS)
    record->axes |= (USHORT)axis_bit;
}

VOID give_back_stretched_ranges(CardExtension *ext) {
  StretchedRanges *record = &ext->interp.line.stretched;
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    const ULONG axis_bit = 1u << axis;
    if (!(record->axes & axis_bit)) continue;
    if (chip_set_range(ext, axis_bit, record->before[axis]) == DRV_SUCCESS)
      record->axes &= (USHORT)~axis_bit;
  }
}

VOID forget_stretched_ranges(CardExtension *ext) {
  RtlZeroMemory(&ext->interp.line.stretched, sizeof ext->interp.line.stretched);
}

ULONG range_before_line(const CardExtension *ext, int axis) {
  const StretchedRanges *record = &ext->interp.line.stretched;
  return (record->axes & (1u << axis)) ? record->before[axis] : ext->axis[axis].range;
}

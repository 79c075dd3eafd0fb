// What the line and arc moves share: their checks in order, the axis
// assignment word and the sending of their request, immediate or waited.
//
// Axes: master first, then the second and (three-axis lines) third axis,
// each one axis bit; distances and arc points in pulses, relative to where
// the move starts.
#pragma once

#include <cstdint>

#include "request.h"

// The axes of an interpolation: master, second, third (0 for two axes).
struct InterpAxes {
  uint16_t bit[3];
  int count;  // 2 or 3
};

// The checks before any conversion, in order: the master among its partners
// (ERROR_INVALID_INTERPOLATION_SLAVE_AXES), the wait flag 0 or 1, card and
// axes, two equal partners (ERROR_INTERPOLATION_SLAVE_AXES_DUPLICATED), then
// the driver's check that the axes may move as the distances say.
ApiStatus check_interpolation(uint8_t card, uint16_t api_id, const InterpAxes &axes,
                              const int32_t distance[3], uint16_t wait);
// Axis indices of master, second and third axis in bits 0-1, 2-3 and 4-5.
uint32_t assignment_word(const InterpAxes &axes);
// Sends the filled block (status preset): judged at once with wait 0; with
// wait 1 the call returns once the master's drive has ended.
ApiStatus send_interpolation(uint8_t card, DWORD code, DriverRequest &block, ApiStatus own_failure,
                             uint16_t master, uint16_t wait);

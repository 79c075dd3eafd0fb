// Conversion between an axis's absolute positions and relative distances
// (pulses). The absolute position is the axis's source counter (command or
// encoder, AxisBlock) minus its origin offset.
#pragma once

#include <cstdint>

#include "rm7x0_status.h"

// What a conversion counts from.
enum PositionBase : uint8_t {
  FROM_COUNTER = 0,      // the axis's absolute position now
  FROM_LAST_TARGET = 1,  // the axis's last absolute target
};

// distance = target - base. Checks card and axis; ERROR_NO_LAST_ABS_TARGET
// (-390) when counting from a last target the axis does not have, or the
// status of a failed counter read.
ApiStatus abs_to_relative(uint8_t card, uint16_t axis, int32_t target, int32_t *distance,
                          uint8_t base);
// target = distance + base. As above; counting from the counter also needs
// the axis stopped, else ERROR_MOTION_NOT_COMPLETE (-325).
ApiStatus relative_to_abs(uint8_t card, uint16_t axis, int32_t distance, int32_t *target,
                          uint8_t base);
// Makes where the axis stands absolute position 0 after a home search
// (without the stopped-axis check; the caller knows the search has ended).
// A failed counter read leaves the zero-when-stopped flag set, so that the
// next motion_done that finds the axis stopped tries again, rather than
// taking the counter as 0.
void zero_position_at_home(uint8_t card, uint16_t axis);
// The stop reason `state` of a search that has ended says it found its home.
bool search_found_home(int16_t state);
// motion_done after a search that did not wait has ended: the position is 0
// at the home it found, and left alone when it found none.
void take_search_end(uint8_t card, uint16_t axis, int16_t state);

// An axis's absolute position: the counter it follows (command or encoder)
// less its origin offset, both in the axis's motion record (AxisMotionState).
// Pulse counts wrap at 32 bits like the chip's counters, and so do the
// differences between them.
#pragma once

#include <cstdint>

#include "card_table.h"
#include "rm7x0_status.h"

// AxisMotionState::abs_position_source.
constexpr uint8_t ABS_SOURCE_COMMAND = 0;
constexpr uint8_t ABS_SOURCE_ENCODER = 1;

inline int32_t wrapping_add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrapping_sub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// The axis's motion record; the caller has checked card and axis.
AxisMotionState &motion_of(uint8_t card, uint16_t axis);
// The counter that the axis's absolute position follows, read now. A failed
// read is reported, never taken as 0.
ApiStatus read_source_counter(uint8_t card, uint16_t axis, int32_t *counter);
// The axis's absolute position now: its source counter less the origin offset.
ApiStatus absolute_position_now(uint8_t card, uint16_t axis, int32_t *position);

// The T-curve move request of one axis, shared by the single-axis move and
// the move that a synchronous action starts later.
#pragma once

#include <cstdint>

#include "request.h"

// Checks card and axis, converts the speeds (PPS) and rates (PPS/s, or
// milliseconds with the card's rates-as-times option) and fills a preset
// REQ_T_MOVE block for |pulses| in the direction of their sign. Returns 0,
// or the status of the first check or conversion refused.
ApiStatus prepare_t_move(uint8_t card, uint16_t axis, uint32_t sv, uint32_t dv, uint32_t acc,
                         uint32_t dec, int32_t pulses, int16_t offset, DriverRequest &block);

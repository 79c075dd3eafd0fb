// The argument checks that every export makes before it sends a request, and
// the limits of each axis that its speeds are checked against.
#pragma once

#include <cstdint>

#include "model.h"

// An axis argument of this value is not used by the export.
constexpr uint16_t AXIS_NOT_USED = 128;

// Every export's first gate: ERROR_NO_CARD_FOUND after a refused load, when
// the library sees no card and must reach none.
ApiStatus check_library();
// The library usable, then card 0..15 and open, else ERROR_INVALID_CARD_ID.
// Card-wide exports check this alone.
ApiStatus check_card(uint8_t card);
// The card, then each used axis argument (not AXIS_NOT_USED) must hold
// exactly one of the axis bits (ERROR_MULTI_AXES_ASSIGNED,
// ERROR_NO_VALID_AXIS_ASSIGNED).
ApiStatus check_card_axis(uint8_t card, uint16_t axis1, uint16_t axis2, uint16_t axis3);
// The card and the one axis that an export acts on: it is always used, so
// AXIS_NOT_USED is refused as a bit of no axis.
ApiStatus check_card_axis(uint8_t card, uint16_t axis);
// An axis argument that the export needs: exactly one of the axis bits.
ApiStatus check_axis(uint16_t axis);
// 0 for X .. 3 for U, or the status of an axis argument that is not one axis.
int axis_index(uint16_t axis_bits);

// M = 8,000,000 / range (range in PPS), formed in single precision.
double multiplier_for_range(uint32_t range);
// Derives the six limits of every axis of the card from its multiplier.
void update_axis_limits(uint8_t card);

// The argument checks that every export makes before it sends a request, and
// the limits of each axis that its speeds are checked against.
#pragma once

#include <cstdint>

#include "model.h"

// An axis argument of this value is not used by the export.
constexpr uint16_t AXIS_NOT_USED = 128;

// Card 0..15 and open, else ERROR_INVALID_CARD_ID; then each used axis
// argument must hold exactly one of the axis bits (ERROR_MULTI_AXES_ASSIGNED,
// ERROR_NO_VALID_AXIS_ASSIGNED).
ApiStatus check_card_axis(uint8_t card, uint16_t axis1, uint16_t axis2, uint16_t axis3);
// 0 for X .. 3 for U, or the status of an axis argument that is not one axis.
int axis_index(uint16_t axis_bits);

// M = 8,000,000 / range (range in PPS), formed in single precision.
double multiplier_for_range(uint32_t range);
// Derives the six limits of every axis of the card from its multiplier.
void update_axis_limits(uint8_t card);

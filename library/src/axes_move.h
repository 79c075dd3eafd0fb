// Shared steps of the moves of several axes: the per-axis direction bytes and
// the driver's check that the axes may move.
#pragma once

#include <cstdint>

#include "model.h"

// Direction bytes of a request, one per axis X, Y, Z, U.
constexpr uint8_t DIRECTION_MINUS = 0;
constexpr uint8_t DIRECTION_PLUS = 1;
constexpr uint8_t DIRECTION_NONE = 0xFF;          // the axis does not move
constexpr uint8_t DIRECTION_INTERPOLATED = 0xFE;  // the axis follows an interpolation

// Asks the driver whether the axes of the mask may move in the directions
// given (the caller has checked the card): ERROR_AXES_MOVE_CHECK when the
// request fails, else the judged reply.
ApiStatus check_axes_move(uint8_t card, uint16_t axes, const uint8_t direction[4]);
// Writes the direction bytes of the interpolated axes for the move of the
// given ApiId (distances d1..d3 in pulses); other bytes stay as they are.
void fill_move_directions(uint16_t api_id, uint16_t axis1, uint16_t axis2, uint16_t axis3,
                          int32_t d1, int32_t d2, int32_t d3, uint8_t direction[4]);

// Holding drive starts and releasing them together: the frame of the moves
// that start several axes on the same chip tick.
#pragma once

#include <cstdint>

#include "model.h"

// Drive commands to the axes of the mask wait until released
// (ERROR_DRIVE_HOLD when the request fails, else the judged reply).
ApiStatus hold_drives(uint8_t card, uint16_t axes);
// The waiting drives of the axes of the mask start at one instant
// (ERROR_DRIVE_START when the request fails, else the judged reply).
ApiStatus release_drives(uint8_t card, uint16_t axes);

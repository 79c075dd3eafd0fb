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
// A frame that fails after holding: the drives already loaded on `loaded`
// are dropped (a sudden stop clears a held drive) and the axes of `axes`
// are released, so the failure leaves no axis held and nothing to run.
// Returns `failure`.
ApiStatus abandon_held_drives(uint8_t card, uint16_t axes, uint16_t loaded, ApiStatus failure);

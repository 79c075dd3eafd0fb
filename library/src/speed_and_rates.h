// A request that sets an axis's speed and its two rates on the chip: the
// drive speed of a running T-curve move, or the start speed of the next
// interpolation.
#pragma once

#include <cstdint>

#include "win32.h"

// Card and axis checked, speed (PPS) refused with -245, a rate (PPS/s) with
// -233 or -234; a rate of 0 travels as word 0 (the driver keeps the rate in
// force). The reply is judged; a failed delivery gives `failure`.
ApiStatus send_speed_and_rates(uint8_t card, uint16_t axis, uint32_t speed, uint32_t acc,
                               uint32_t dec, DWORD code, ApiStatus failure);

// The driver's result words as the exports report them.
#pragma once

#include <cstdint>

#include "model.h"

// Maps a reply word other than DRV_SUCCESS; slot1 is the low 16 bits of reply
// slot 1 (the failing axes after DRV_MOVE_CHECK_FAILED). A word without a
// status of its own comes back unchanged, read as a signed 16-bit value.
ApiStatus map_driver_status(uint16_t word, int16_t slot1);

// The four per-axis interrupt events of a card, which the driver signals.
#pragma once

#include <cstdint>

#include "model.h"

// Releases the card's events from the driver and closes them. When the driver
// refuses (ERROR_INT_EVENT_DETTACH) the events are kept.
ApiStatus detach_int_events(uint8_t card);

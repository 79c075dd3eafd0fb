// The four per-axis interrupt events of a card, which the driver signals.
#pragma once

#include <cstdint>

#include "card_table.h"
#include "model.h"

// Creates the card's missing events (auto-reset, not signalled), registers
// all four with the driver and copies their handles to the caller's array.
// A failed registration keeps the events for a later enable or close.
ApiStatus attach_int_events(uint8_t card, HANDLE events[AXES_PER_CARD]);
// Releases the card's events from the driver and closes them. When the driver
// refuses (ERROR_INT_EVENT_DETTACH) the events are kept.
ApiStatus detach_int_events(uint8_t card);

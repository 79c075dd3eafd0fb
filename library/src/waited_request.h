// Requests that the driver may hold until an axis event: the line and arc
// moves sent with their wait flag. The card's handle is opened for
// overlapped I/O, so such a request carries an OVERLAPPED with an event of
// its own, and the caller's thread blocks on it until the driver completes
// the request; a REQ_END_WAIT then switches the axis's event off again.
#pragma once

#include <cstdint>

#include "request.h"

// The REQ_END_WAIT word that ends a wait for the end of a drive.
constexpr uint32_t END_WAIT_DRIVE_END = 0x8000;

// Sends the block (status preset) and waits for its completion. A request
// answered at once is judged (style C); one that waited returns 0 once the
// event came, or the mapped word when the driver refused it after all. A
// failed call, or a wait that ended without the event (the request was
// cancelled, as a card reset does), gives own_failure. Event creation
// failing gives ERROR_OVERLAP_EVENT_CREATE.
ApiStatus waited_request(uint8_t card, DWORD code, DriverRequest &block, ApiStatus own_failure,
                         uint16_t axis, uint32_t end_wait_word);

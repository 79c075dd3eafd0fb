#include "int_events.h"

#include "card_table.h"
#include "request.h"

ApiStatus detach_int_events(uint8_t card) {
  DriverRequest block{};
  if (!send_request(card_device(card), REQ_DETACH_INT_EVENTS, block))
    return ERROR_INT_EVENT_DETTACH;
  for (HANDLE &event : card_table.cards[card].int_events) {
    if (event == INVALID_HANDLE_VALUE) continue;
    CloseHandle(event);
    event = INVALID_HANDLE_VALUE;
  }
  return SUCCESS_NO_ERROR;
}

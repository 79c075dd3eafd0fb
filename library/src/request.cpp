#include "request.h"

#include "card_table.h"
#include "driver_status.h"

bool send_request(HANDLE device, DWORD code, DriverRequest &block) {
  DWORD returned = 0;
  return DeviceIoControl(device, code, &block, sizeof block, &block, sizeof block, &returned,
                         nullptr) != FALSE;
}

ApiStatus request_only(HANDLE device, DWORD code, DriverRequest &block, ApiStatus failure) {
  return send_request(device, code, block) ? ApiStatus{SUCCESS_NO_ERROR} : failure;
}

ApiStatus judged_request(HANDLE device, DWORD code, DriverRequest &block, ApiStatus failure) {
  if (!send_request(device, code, block)) return failure;
  return judge_reply(block);
}

ApiStatus judge_reply(const DriverRequest &block) {
  const uint16_t word = status_word(block);
  if (word == DRV_SUCCESS) return SUCCESS_NO_ERROR;
  return map_driver_status(word, static_cast<int16_t>(slot_u16(block, REPLY_FAILING_AXES)));
}

HANDLE card_device(uint8_t card) { return card_table.cards[card].device; }

#include "held_drives.h"

#include "request.h"

namespace {


ApiStatus send_mask(uint8_t card, DWORD code, uint16_t axes, ApiStatus failure) {
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axes);
  return judged_request(card_device(card), code, block, failure);
}

}  // namespace

ApiStatus hold_drives(uint8_t card, uint16_t axes) {
  return send_mask(card, REQ_DRV_HOLD, axes, ERROR_DRIVE_HOLD);
}

ApiStatus release_drives(uint8_t card, uint16_t axes) {
  return send_mask(card, REQ_DRV_START, axes, ERROR_DRIVE_START);
}

ApiStatus abandon_held_drives(uint8_t card, uint16_t axes, uint16_t loaded, ApiStatus failure) {
  if (loaded != 0) {
    DriverRequest block{};
    preset_status(block);
    put_u32(block, SLOT_AXES, loaded);
    put_u32(block, STOP_MOVE_MODE, STOP_SUDDEN);
    send_request(card_device(card), REQ_STOP_MOVE, block);
  }
  release_drives(card, axes);
  return failure;
}

// Stopping running moves, decelerating or at once, and holding drive starts
// to release them together.
#include "card_options.h"
#include "checks.h"
#include "held_drives.h"
#include "model.h"
#include "request.h"
#include "waited_request.h"

namespace {

constexpr uint16_t ALL_AXES = AXIS_X | AXIS_Y | AXIS_Z | AXIS_U;

// The in-position word of a sudden stop: the check off while it waits, then on.
constexpr uint32_t INP_CHECK_OFF = 0;
constexpr uint32_t INP_ENABLE = 0x8000;

bool is_stop_mode(uint16_t mode) { return mode == STOP_DECELERATING || mode == STOP_SUDDEN; }

// Several axes: a mask of axis bits, 0 allowed; then the card.
ApiStatus check_card_axes(uint8_t card, uint16_t axes) {
  if (axes > ALL_AXES) return ERROR_MULTI_AXES_ASSIGNED;
  return check_card(card);
}

// A stop that returns at once; the driver's answer is not judged.
ApiStatus send_stop(uint8_t card, DWORD code, uint16_t axes, uint16_t mode, ApiStatus failure) {
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axes);
  put_u32(block, STOP_MOVE_MODE, mode);
  put_u32(block, STOP_MOVE_WAITED, 0);
  return request_only(card_device(card), code, block, failure);
}

bool send_in_position(HANDLE device, uint16_t axis, uint32_t value, uint32_t write_mode) {
  DriverRequest block{};
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, SET_INP_VALUE, value);
  put_u32(block, SET_INP_WRITE_MODE, write_mode);
  return send_request(device, REQ_SET_INP, block);
}

// The axis's own in-position configuration back in the register: the
// status that the stop reached, or ERROR_INP_SIGNAL_SET when that fails.
ApiStatus restore_in_position(HANDLE device, uint16_t axis, ApiStatus status) {
  if (!send_in_position(device, axis, INP_ENABLE, INP_RESTORE)) return ERROR_INP_SIGNAL_SET;
  return status;
}

// The sudden stop that returns once the axis stands: the in-position check
// is off meanwhile (an axis waiting for its in-position input would not
// stop), and comes back on every path once it was switched off.
ApiStatus stop_and_wait(uint8_t card, uint16_t axis) {
  const HANDLE device = card_device(card);
  if (!send_in_position(device, axis, INP_CHECK_OFF, INP_WRITE_ONLY)) return ERROR_INP_SIGNAL_SET;
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, STOP_MOVE_MODE, STOP_SUDDEN);
  put_u32(block, STOP_MOVE_WAITED, 1);
  switch (send_waited_request(device, REQ_STOP_MOVE, block)) {
    case WaitedOutcome::NO_EVENT:
      return restore_in_position(device, axis, ERROR_OVERLAP_EVENT_CREATE);
    case WaitedOutcome::FAILED:
      return restore_in_position(device, axis, ERROR_MOTION_STOP_SET);
    case WaitedOutcome::COMPLETED:
    case WaitedOutcome::CANCELLED:
      end_wait(device, axis, END_WAIT_DRIVE_END);
      break;
    case WaitedOutcome::ANSWERED:
      break;
  }
  return restore_in_position(device, axis, SUCCESS_NO_ERROR);
}

}  // namespace

// mode 0x26 decelerates, 0x27 stops at once and, unless the card's option 7
// is set, returns only when the axis stands. An axis that stands already is
// left alone.
// Exported as rm720_stop_move and rm730_stop_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(stop_move)(uint8_t card, uint16_t axis, uint16_t mode) {
  if (const ApiStatus status = check_library()) return status;
  if (!is_stop_mode(mode)) return ERROR_INVALID_STOP_MODE;
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  const bool waited = mode == STOP_SUDDEN && card_options.stop_without_wait[card] != 1;

  DriverRequest probe{};
  preset_status(probe);
  put_u32(probe, SLOT_AXES, axis);
  if (!send_request(card_device(card), REQ_MOTION_DONE, probe)) return ERROR_MOTION_DONE_GET;
  if (static_cast<uint8_t>(slot_u32(probe, MOTION_DONE_REPLY_DONE)) == 1) return SUCCESS_NO_ERROR;

  if (waited) return stop_and_wait(card, axis);
  return send_stop(card, REQ_STOP_MOVE, axis, mode, ERROR_MOTION_STOP_SET);
}

// Exported as rm720_stop_move_all and rm730_stop_move_all.
RM7X0_EXPORT ApiStatus RM7X0_NAME(stop_move_all)(uint8_t card, uint16_t axes, uint16_t mode) {
  if (const ApiStatus status = check_library()) return status;
  if (!is_stop_mode(mode)) return ERROR_INVALID_STOP_MODE;
  if (const ApiStatus status = check_card_axes(card, axes)) return status;
  return send_stop(card, REQ_STOP_MOVE_ALL, axes, mode, ERROR_MOTION_STOP_ALL_SET);
}

// Exported as rm720_drv_hold and rm730_drv_hold.
RM7X0_EXPORT ApiStatus RM7X0_NAME(drv_hold)(uint8_t card, uint16_t axes) {
  if (const ApiStatus status = check_card_axes(card, axes)) return status;
  return hold_drives(card, axes);
}

// Exported as rm720_drv_start and rm730_drv_start.
RM7X0_EXPORT ApiStatus RM7X0_NAME(drv_start)(uint8_t card, uint16_t axes) {
  if (const ApiStatus status = check_card_axes(card, axes)) return status;
  return release_drives(card, axes);
}

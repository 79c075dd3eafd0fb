#include "interpolation.h"

#include "argument_checks.h"
#include "axes_move.h"
#include "checks.h"
#include "waited_request.h"

ApiStatus check_interpolation(uint8_t card, uint16_t api_id, const InterpAxes &axes,
                              const int32_t distance[3], uint16_t wait) {
  const bool three = axes.count == 3;
  if (axes.bit[0] & (axes.bit[1] | (three ? axes.bit[2] : 0)))
    return ERROR_INVALID_INTERPOLATION_SLAVE_AXES;
  if (ApiStatus status = validate_api_args(api_id, wait, 0, 0, 0, 0, 0)) return status;
  if (ApiStatus status = check_card_axis(card, axes.bit[0])) return status;
  for (int slave = 1; slave < axes.count; ++slave)
    if (ApiStatus status = check_axis(axes.bit[slave])) return status;
  if (three && axes.bit[1] == axes.bit[2]) return ERROR_INTERPOLATION_SLAVE_AXES_DUPLICATED;
  uint8_t direction[4] = {DIRECTION_NONE, DIRECTION_NONE, DIRECTION_NONE, DIRECTION_NONE};
  const uint16_t third = three ? axes.bit[2] : 0;
  fill_move_directions(api_id, axes.bit[0], axes.bit[1], third, distance[0], distance[1],
                       distance[2], direction);
  return check_axes_move(card, axes.bit[0] | axes.bit[1] | third, direction);
}

uint32_t assignment_word(const InterpAxes &axes) {
  uint32_t word = 0;
  for (int position = 0; position < axes.count; ++position)
    word |= static_cast<uint32_t>(axis_index(axes.bit[position])) << (2 * position);
  return word;
}

namespace {

// A waited line or arc returns when the master's drive has ended. A wait
// that ended without the event (a reset cancelled it) is the move's failure.
ApiStatus send_waited_interpolation(HANDLE device, DWORD code, DriverRequest &block,
                                    ApiStatus own_failure, uint16_t master) {
  switch (send_waited_request(device, code, block)) {
    case WaitedOutcome::NO_EVENT:
      return ERROR_OVERLAP_EVENT_CREATE;
    case WaitedOutcome::FAILED:
      return own_failure;
    case WaitedOutcome::ANSWERED:
      return judge_reply(block);
    case WaitedOutcome::COMPLETED:
      end_wait(device, master, END_WAIT_DRIVE_END);
      return SUCCESS_NO_ERROR;
    case WaitedOutcome::CANCELLED:
      end_wait(device, master, END_WAIT_DRIVE_END);
      break;
  }
  return own_failure;
}

}  // namespace

ApiStatus send_interpolation(uint8_t card, DWORD code, DriverRequest &block, ApiStatus own_failure,
                             uint16_t master, uint16_t wait) {
  if (wait == 0) return judged_request(card_device(card), code, block, own_failure);
  return send_waited_interpolation(card_device(card), code, block, own_failure, master);
}

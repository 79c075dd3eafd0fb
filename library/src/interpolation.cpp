#include "interpolation.h"

#include "argument_checks.h"
#include "axes_move.h"
#include "checks.h"
#include "model.h"
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

// The path whose master's drive has ended ran to its end point: every axis of
// it stopped with the fixed pulses output, none for a reason of its own.
bool ran_to_its_end(uint8_t card, uint16_t master) {
  uint8_t done = 0;
  int16_t state = 0;
  if (RM7X0_NAME(motion_done)(card, master, &done, &state) != SUCCESS_NO_ERROR) return false;
  return done == 1 && state == DRIVE_FINISH_OUTPUT_FIXED_PULSE;
}

// A waited line or arc returns when the master's drive has ended. A path cut
// short on the way (a stop, a limit, an alarm) or a wait that ended without
// the event (a reset cancelled it) is the move's failure.
ApiStatus send_waited_interpolation(uint8_t card, DWORD code, DriverRequest &block,
                                    ApiStatus own_failure, uint16_t master) {
  const HANDLE device = card_device(card);
  switch (send_waited_request(device, code, block)) {
    case WaitedOutcome::NO_EVENT:
      return ERROR_OVERLAP_EVENT_CREATE;
    case WaitedOutcome::FAILED:
      return own_failure;
    case WaitedOutcome::ANSWERED:
      return judge_reply(block);
    case WaitedOutcome::COMPLETED: {
      end_wait(device, master, END_WAIT_DRIVE_END);
      if (!ran_to_its_end(card, master)) return own_failure;
      return SUCCESS_NO_ERROR;
    }
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
  return send_waited_interpolation(card, code, block, own_failure, master);
}

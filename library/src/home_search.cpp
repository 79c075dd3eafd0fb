// The start of a home search. The driver runs the search; the library makes
// the home the axis's absolute position 0: at once after a waited search,
// or at the first motion_done that finds the axis stopped otherwise.
#include "absolute_position.h"
#include "argument_checks.h"
#include "axis_position.h"
#include "card_options.h"
#include "checks.h"
#include "model.h"
#include "request.h"
#include "unit_conversion.h"
#include "waited_request.h"

namespace {

// The search's profile: SV, DV, ACC, DEC (a T-curve with its own
// deceleration) and the low speed at which the home input is sought.
ApiStatus fill_home_start(uint8_t card, uint16_t axis, uint32_t sv, uint32_t acc, uint32_t dec,
                          uint32_t dv, uint32_t search_speed, uint16_t wait,
                          DriverRequest &block) {
  SpeedProfile profile{};
  profile.kind = PROFILE_T_CURVE_OWN_DECEL;
  profile.start_speed = static_cast<int32_t>(sv);
  profile.drive_speed = dv;
  profile.acceleration = static_cast<int32_t>(acc);
  profile.deceleration = dec;
  if (const ApiStatus status = profile_to_registers(card, axis, &profile)) return status;
  uint16_t search_word = 0;
  if (!speed_to_register(card, axis, search_speed, &search_word))
    return ERROR_INVALID_HOME_SEARCH_SPEED;
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, HOME_START_START_SPEED, profile.start_speed_word);
  put_u32(block, HOME_START_ACC, profile.acceleration_word);
  put_u32(block, HOME_START_DEC, profile.deceleration_word);
  put_u32(block, HOME_START_SEARCH_SPEED, profile.drive_speed_word);
  put_u32(block, HOME_START_LOW_SPEED, search_word);
  put_u32(block, HOME_START_WAIT, wait);
  put_u32(block, HOME_START_OPTION, card_options.home_option[card]);
  return SUCCESS_NO_ERROR;
}

// The search that the driver has ended found its home: it reads stopped,
// with the home end as its stop reason.
bool ended_at_home(uint8_t card, uint16_t axis) {
  uint8_t done = 0;
  int16_t state = 0;
  if (RM7X0_NAME(motion_done)(card, axis, &done, &state) != SUCCESS_NO_ERROR) return false;
  return done == 1 && search_found_home(state);
}

// Blocks until the driver ends the search. A search that did not find its
// home (it ended on a limit, by an alarm or a stop, or its request was
// cancelled by a reset or the card's removal) leaves the position alone and
// the start reports the failure.
ApiStatus run_waited_search(uint8_t card, uint16_t axis, DriverRequest &block) {
  const HANDLE device = card_device(card);
  switch (send_waited_request(device, REQ_HOME_START, block)) {
    case WaitedOutcome::NO_EVENT:
      return ERROR_OVERLAP_EVENT_CREATE;
    case WaitedOutcome::ANSWERED:
      return judge_reply(block);
    case WaitedOutcome::COMPLETED: {
      const bool found = ended_at_home(card, axis);
      if (found) zero_position_at_home(card, axis);
      end_wait(device, axis, END_WAIT_HOME_END);
      return found ? SUCCESS_NO_ERROR : ERROR_START_HOME;
    }
    case WaitedOutcome::FAILED:
    case WaitedOutcome::CANCELLED:
      break;
  }
  return ERROR_START_HOME;
}

}  // namespace

// Speeds in PPS, ACC and DEC in PPS/s; DV drives the search moves, the
// search speed seeks the home input. wait 1: returns when the search has
// ended; 0: returns at once.
// Exported as rm720_home_start and rm730_home_start.
RM7X0_EXPORT ApiStatus RM7X0_NAME(home_start)(uint8_t card, uint16_t axis, uint32_t sv,
                                              uint32_t acc, uint32_t dec, uint32_t dv,
                                              uint32_t search_speed, uint16_t wait) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  if (const ApiStatus status = validate_api_args(API_HOME_START, wait, 0, 0, 0, 0, 0))
    return status;
  DriverRequest block{};
  if (const ApiStatus status =
          fill_home_start(card, axis, sv, acc, dec, dv, search_speed, wait, block))
    return status;
  if (wait == 1) return run_waited_search(card, axis, block);
  if (!send_request(card_device(card), REQ_HOME_START, block)) return ERROR_START_HOME;
  const ApiStatus status = judge_reply(block);
  if (status == SUCCESS_NO_ERROR) motion_of(card, axis).zero_when_stopped = 1;
  return status;
}

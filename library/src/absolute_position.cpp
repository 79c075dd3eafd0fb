#include "absolute_position.h"

#include "axis_position.h"
#include "checks.h"
#include "model.h"
#include "win32.h"

namespace {

ApiStatus last_target(uint8_t card, uint16_t axis, int32_t &target) {
  const AxisMotionState &motion = motion_of(card, axis);
  if (!motion.last_target_valid) return ERROR_NO_LAST_ABS_TARGET;
  target = motion.last_abs_target;
  return SUCCESS_NO_ERROR;
}

ApiStatus axis_stopped(uint8_t card, uint16_t axis) {
  uint8_t done = 0;
  int16_t stop_reason = 0;
  if (const ApiStatus status = RM7X0_NAME(motion_done)(card, axis, &done, &stop_reason))
    return status;
  return done == 1 ? SUCCESS_NO_ERROR : ERROR_MOTION_NOT_COMPLETE;
}

}  // namespace

ApiStatus abs_to_relative(uint8_t card, uint16_t axis, int32_t target, int32_t *distance,
                          uint8_t base) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  int32_t from = 0;
  const ApiStatus status = base == FROM_LAST_TARGET ? last_target(card, axis, from)
                                                    : absolute_position_now(card, axis, &from);
  if (status != SUCCESS_NO_ERROR) return status;
  *distance = wrapping_sub(target, from);
  return SUCCESS_NO_ERROR;
}

// The card is checked here too, although the callers have checked it: the
// axis's record is indexed by card and axis.
ApiStatus relative_to_abs(uint8_t card, uint16_t axis, int32_t distance, int32_t *target,
                          uint8_t base) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  int32_t from = 0;
  if (base == FROM_LAST_TARGET) {
    if (const ApiStatus status = last_target(card, axis, from)) return status;
  } else {
    if (const ApiStatus status = axis_stopped(card, axis)) return status;
    if (const ApiStatus status = absolute_position_now(card, axis, &from)) return status;
  }
  *target = wrapping_add(distance, from);
  return SUCCESS_NO_ERROR;
}

// ---- exports ------------------------------------------------------------------

// Exported as rm720_set_abs_feedback_src and rm730_set_abs_feedback_src.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_abs_feedback_src)(uint8_t card, uint16_t axis,
                                                        uint8_t source) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  if (source != ABS_SOURCE_COMMAND && source != ABS_SOURCE_ENCODER)
    return ERROR_INVALID_ABS_FEEDBACK_SOURCE;
  if (const ApiStatus status = axis_stopped(card, axis)) return status;
  // The origin stays: the position jumps by the difference of the counters.
  motion_of(card, axis).abs_position_source = source;
  return SUCCESS_NO_ERROR;
}

// A counter that cannot be read changes nothing: taking it as 0 would move
// the origin to a place the axis is not at.
// Exported as rm720_set_abs_position and rm730_set_abs_position.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_abs_position)(uint8_t card, uint16_t axis,
                                                    int32_t position) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  if (!motion_of(card, axis).internal_position_set)
    if (const ApiStatus status = axis_stopped(card, axis)) return status;
  int32_t counter = 0;
  if (const ApiStatus status = read_source_counter(card, axis, &counter)) return status;
  AxisMotionState &motion = motion_of(card, axis);
  const int32_t origin = wrapping_sub(counter, position);
  if (origin != motion.origin_offset) {
    motion.last_abs_target = 0;
    motion.last_target_valid = 0;
  }
  motion.origin_offset = origin;
  return SUCCESS_NO_ERROR;
}

// Exported as rm720_get_abs_position and rm730_get_abs_position.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_abs_position)(uint8_t card, uint16_t axis,
                                                    int32_t *position) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  int32_t now = 0;
  if (const ApiStatus status = absolute_position_now(card, axis, &now)) return status;
  return seh::try_store(position, now) ? SUCCESS_NO_ERROR : ERROR_ACCESS_VIOLATION_DATA_COPY;
}

namespace {

// The stop reason of a search that ended at its home (the driver's home end).

}  // namespace

bool search_found_home(int16_t state) { return (state & STATE_HOME_END) != 0; }

// The waited home search and motion_done after a search that did not wait:
// absolute position 0 where the axis stopped. A position that could not be
// set leaves the request standing for the next motion_done.
void zero_position_at_home(uint8_t card, uint16_t axis) {
  AxisMotionState &motion = motion_of(card, axis);
  motion.internal_position_set = 1;
  const ApiStatus status = RM7X0_NAME(set_abs_position)(card, axis, 0);
  motion.internal_position_set = 0;
  motion.zero_when_stopped = status == SUCCESS_NO_ERROR ? 0 : 1;
}

void take_search_end(uint8_t card, uint16_t axis, int16_t state) {
  if (search_found_home(state))
    zero_position_at_home(card, axis);
  else
    motion_of(card, axis).zero_when_stopped = 0;
}

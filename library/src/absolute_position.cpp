#include "absolute_position.h"

#include "axis_position.h"
#include "checks.h"
#include "model.h"

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
  if (const ApiStatus status = check_card_axis(card, axis, AXIS_NOT_USED, AXIS_NOT_USED))
    return status;
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
  if (const ApiStatus status = check_card_axis(card, axis, AXIS_NOT_USED, AXIS_NOT_USED))
    return status;
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

void zero_position_at_home(uint8_t card, uint16_t axis) {
  AxisMotionState &motion = motion_of(card, axis);
  motion.internal_position_set = 1;
  int32_t counter = 0;
  if (read_source_counter(card, axis, &counter) == SUCCESS_NO_ERROR) {
    if (counter != motion.origin_offset) {
      motion.last_abs_target = 0;
      motion.last_target_valid = 0;
    }
    motion.origin_offset = counter;
    motion.zero_when_stopped = 0;
  } else {
    motion.zero_when_stopped = 1;
  }
  motion.internal_position_set = 0;
}

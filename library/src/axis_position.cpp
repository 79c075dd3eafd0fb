#include "axis_position.h"

#include "checks.h"
#include "model.h"

AxisMotionState &motion_of(uint8_t card, uint16_t axis) {
  return card_table.cards[card].axes[axis_index(axis)].motion;
}

ApiStatus read_source_counter(uint8_t card, uint16_t axis, int32_t *counter) {
  return motion_of(card, axis).abs_position_source == ABS_SOURCE_ENCODER
             ? RM7X0_NAME(get_position)(card, axis, counter)
             : RM7X0_NAME(get_cmdcounter)(card, axis, counter);
}

ApiStatus absolute_position_now(uint8_t card, uint16_t axis, int32_t *position) {
  int32_t counter = 0;
  if (const ApiStatus status = read_source_counter(card, axis, &counter)) return status;
  *position = wrapping_sub(counter, motion_of(card, axis).origin_offset);
  return SUCCESS_NO_ERROR;
}

#include "axes_move.h"

#include "checks.h"
#include "request.h"

namespace {

uint8_t direction_of(int32_t distance) {
  if (distance > 0) return DIRECTION_PLUS;
  return distance < 0 ? DIRECTION_MINUS : DIRECTION_NONE;
}

void set_direction(uint8_t direction[4], uint16_t axis, uint8_t value) {
  const int index = axis_index(axis);
  if (index >= 0) direction[index] = value;  // the caller has checked the axis
}

}  // namespace

ApiStatus check_axes_move(uint8_t card, uint16_t axes, const uint8_t direction[4]) {
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axes);
  for (int axis = 0; axis < 4; ++axis)
    put_u32(block, CHECK_AXES_MOVE_DIRECTIONS + axis, direction[axis]);
  return judged_request(card_device(card), REQ_CHECK_AXES_MOVE, block, ERROR_AXES_MOVE_CHECK);
}

void fill_move_directions(uint16_t api_id, uint16_t axis1, uint16_t axis2, uint16_t axis3,
                          int32_t d1, int32_t d2, int32_t d3, uint8_t direction[4]) {
  switch (api_id) {
    case ::api_id(REQ_T_LINE3_MOVE):
    case ::api_id(REQ_S_LINE3_MOVE):
      set_direction(direction, axis3, direction_of(d3));
      [[fallthrough]];
    case ::api_id(REQ_T_LINE2_MOVE):
    case ::api_id(REQ_S_LINE2_MOVE):
      set_direction(direction, axis1, direction_of(d1));
      set_direction(direction, axis2, direction_of(d2));
      break;
    case ::api_id(REQ_CONTI_INTERP_BEGIN):
      if (axis3 != 0) set_direction(direction, axis3, DIRECTION_INTERPOLATED);
      [[fallthrough]];
    case ::api_id(REQ_T_ARC2_MOVE):
      set_direction(direction, axis1, DIRECTION_INTERPOLATED);
      set_direction(direction, axis2, DIRECTION_INTERPOLATED);
      break;
    default:
      break;
  }
}

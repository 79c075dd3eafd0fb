#include "checks.h"

#include <initializer_list>

#include "card_table.h"
#include "dll_main.h"

namespace {

constexpr uint16_t AXIS_BITS = AXIS_X | AXIS_Y | AXIS_Z | AXIS_U;

}  // namespace

// One bit of X..U and nothing else.
ApiStatus check_axis(uint16_t axis_bits) {
  const uint16_t axes = axis_bits & AXIS_BITS;
  if (axes == 0) return ERROR_NO_VALID_AXIS_ASSIGNED;
  const uint16_t lowest = axes & -axes;
  return axis_bits == lowest ? SUCCESS_NO_ERROR : ERROR_MULTI_AXES_ASSIGNED;
}

ApiStatus check_library() {
  return load_was_refused() ? ERROR_NO_CARD_FOUND : SUCCESS_NO_ERROR;
}

ApiStatus check_card(uint8_t card) {
  if (const ApiStatus status = check_library()) return status;
  if (card >= CARD_SLOTS || !card_is_open(card_table.cards[card])) return ERROR_INVALID_CARD_ID;
  return SUCCESS_NO_ERROR;
}

ApiStatus check_card_axis(uint8_t card, uint16_t axis1, uint16_t axis2, uint16_t axis3) {
  if (const ApiStatus status = check_card(card)) return status;
  for (uint16_t axis : {axis1, axis2, axis3}) {
    if (axis == AXIS_NOT_USED) continue;
    if (const ApiStatus status = check_axis(axis)) return status;
  }
  return SUCCESS_NO_ERROR;
}

ApiStatus check_card_axis(uint8_t card, uint16_t axis) {
  if (const ApiStatus status = check_card(card)) return status;
  return check_axis(axis);
}

int axis_index(uint16_t axis_bits) {
  if (const ApiStatus status = check_axis(axis_bits)) return status;
  return __builtin_ctz(axis_bits);
}

#include "move_all.h"

#include "axes_move.h"
#include "card_table.h"
#include "checks.h"
#include "driver_status.h"
#include "held_drives.h"

namespace {

bool in_mask(uint16_t axes, int axis) { return (axes >> axis) & 1; }

// The word of a delivered load: 0, or its mapped refusal.
ApiStatus load_refusal(const DriverRequest &block) {
  const uint16_t word = status_word(block);
  if (word == DRV_SUCCESS) return SUCCESS_NO_ERROR;
  return map_driver_status(word, static_cast<int16_t>(slot_u16(block, REPLY_FAILING_AXES)));
}

}  // namespace

ApiStatus move_all_axes(uint8_t card, uint16_t axes, DWORD code, ApiStatus own_failure,
                        AxisMoveLoader &loader) {
  if (!valid_move_mask(axes)) return ERROR_NO_VALID_AXIS_ASSIGNED;
  if (ApiStatus status = check_card(card)) return status;

  DriverRequest blocks[AXES_PER_CARD] = {};
  uint8_t direction[AXES_PER_CARD] = {DIRECTION_NONE, DIRECTION_NONE, DIRECTION_NONE,
                                      DIRECTION_NONE};
  for (int axis = 0; axis < AXES_PER_CARD; ++axis) {
    if (!in_mask(axes, axis)) continue;
    preset_status(blocks[axis]);
    if (ApiStatus status = loader.prepare(axis, blocks[axis], &direction[axis])) return status;
  }
  if (ApiStatus status = check_axes_move(card, axes, direction)) return status;
  if (ApiStatus status = hold_drives(card, axes)) return status;

  ApiStatus refusal = SUCCESS_NO_ERROR;
  uint16_t loaded = 0;
  for (int axis = 0; axis < AXES_PER_CARD; ++axis) {
    if (!in_mask(axes, axis)) continue;
    ApiStatus status = loader.before_send(axis, blocks[axis]);
    if (status == SUCCESS_NO_ERROR && !send_request(card_device(card), code, blocks[axis]))
      status = own_failure;
    if (status != SUCCESS_NO_ERROR) return abandon_held_drives(card, axes, loaded, status);
    loaded |= static_cast<uint16_t>(1u << axis);
    if (refusal == SUCCESS_NO_ERROR) refusal = load_refusal(blocks[axis]);
  }
  if (ApiStatus status = release_drives(card, axes)) return status;
  return refusal;
}

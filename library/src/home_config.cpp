// The home inputs and search steps of an axis (the search itself is started
// by the homing exports).
#include "argument_checks.h"
#include "checks.h"
#include "model.h"
#include "request.h"

// Levels: home 0 or 4, near home 0 or 1, index 0 or 16 (set = active high).
// step: the search steps, one 2-bit field each; pulses: the home offset.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_home_cfg)(uint8_t card, uint16_t axis, uint16_t home_level,
                                                uint16_t near_home_level, uint16_t index_level,
                                                uint16_t step, uint32_t pulses) {
  if (const ApiStatus status = check_card_axis(card, axis, AXIS_NOT_USED, AXIS_NOT_USED))
    return status;
  if (const ApiStatus status = validate_api_args(API_SET_HOME_CFG, home_level, near_home_level,
                                                 index_level, step, 0, 0))
    return status;
  DriverRequest block{};
  put_u32(block, 1, axis);
  put_u32(block, 2, home_level | near_home_level | index_level);
  put_u32(block, 3, step);
  put_u32(block, 4, pulses);
  return request_only(card_device(card), REQ_SET_HOME_CFG, block, ERROR_HOME_CFG_SET);
}

// The home inputs and search steps of an axis (the search itself is started
// by the homing exports).
#include "argument_checks.h"
#include "checks.h"
#include "model.h"
#include "request.h"

// Levels: home 0 or 4, near home 0 or 1, index 0 or 16 (set = active high).
// step: the search steps, one 2-bit field each; pulses: the home offset.
// While the axis's own search runs the driver holds either configuration
// until the search ends: the search keeps the steps it started with.
// Exported as rm720_set_home_cfg and rm730_set_home_cfg.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_home_cfg)(uint8_t card, uint16_t axis, uint16_t home_level,
                                                uint16_t near_home_level, uint16_t index_level,
                                                uint16_t step, uint32_t pulses) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  if (const ApiStatus status = validate_api_args(API_SET_HOME_CFG, home_level, near_home_level,
                                                 index_level, step, 0, 0))
    return status;
  DriverRequest block{};
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, SET_HOME_CFG_LEVELS, home_level | near_home_level | index_level);
  put_u32(block, SET_HOME_CFG_STEPS, step);
  put_u32(block, SET_HOME_CFG_OFFSET, pulses);
  return request_only(card_device(card), REQ_SET_HOME_CFG, block, ERROR_HOME_CFG_SET);
}

namespace {

// The first search step and the driver's home option of an extended mode:
// modes 0-3 first seek home in the search direction (step field 1 plus,
// 3 minus), and modes 2 and 3 take the option the other way round from
// modes 0 and 1. The timer modes 4 and 5 take no chip step.
struct HomeSteps {
  uint16_t step_word;
  uint32_t option;
};
constexpr uint16_t STEP_HOME_PLUS = 4, STEP_HOME_MINUS = 12;

HomeSteps steps_of_mode(uint16_t mode, bool plus) {
  if (mode >= 4) return {0, 0};
  const bool option = mode <= 1 ? plus : !plus;
  return {plus ? STEP_HOME_PLUS : STEP_HOME_MINUS, option ? 1u : 0u};
}

}  // namespace

// mode 0..5; direction 1 searches plus, any other value minus.
// Exported as rm720_set_home_cfg_ex and rm730_set_home_cfg_ex.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_home_cfg_ex)(uint8_t card, uint16_t axis,
                                                   uint16_t home_level, uint16_t near_home_level,
                                                   uint16_t index_level, uint16_t mode,
                                                   uint8_t direction) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  if (const ApiStatus status = validate_api_args(API_SET_HOME_CFG_EX, home_level, near_home_level,
                                                 index_level, mode, 0, 0))
    return status;
  const HomeSteps steps = steps_of_mode(mode, direction == 1);
  DriverRequest block{};
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, SET_HOME_CFG_EX_LEVELS, home_level | near_home_level | index_level);
  put_u32(block, SET_HOME_CFG_EX_STEPS, steps.step_word);
  put_u32(block, SET_HOME_CFG_EX_MODE, mode);
  put_u32(block, SET_HOME_CFG_EX_OPTION, steps.option);
  put_u32(block, SET_HOME_CFG_EX_DIRECTION, direction);
  return request_only(card_device(card), REQ_SET_HOME_CFG_EX, block, ERROR_HOME_CFG_EX_SET);
}

// The synchronous action of an axis: a condition on the axis (a comparator
// reached, a drive started or ended, IN3) acts on the axis and its partners
// inside the card, and the moves it starts are loaded beforehand. Speeds in
// PPS, rates in PPS/s and jerks in PPS/s^2 (or milliseconds with the card's
// rates-as-times option), distances and compare values in pulses.
#include "synchronous_action.h"

#include "argument_checks.h"
#include "checks.h"
#include "model.h"
#include "move_all.h"
#include "request.h"
#include "s_curve_plan.h"
#include "t_curve_request.h"

namespace {

constexpr uint16_t SYNCH_ENABLE = 1;
constexpr uint16_t COMPARATOR_CONDITIONS = 0x0F;  // the condition watches the comparators
constexpr uint16_t PARTNERS_LIMIT = 0x0F;

}  // namespace

void fill_synch_request(DriverRequest &block, uint16_t axis, const SynchAction &action) {
  block = DriverRequest{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, SET_SYNCH_ENABLE, action.enable);
  if (action.enable != SYNCH_ENABLE) return;
  put_u32(block, SET_SYNCH_PARTNERS,
          action.partners == 0 ? 0 : other_axes_mask(axis_index(axis), action.partners));
  put_u32(block, SET_SYNCH_CONDITION, action.condition);
  put_u32(block, SET_SYNCH_ACTION, action.action);
  put_u32(block, SET_SYNCH_PARTNER_ACTION, action.partner_action);
  if (!(action.condition & COMPARATOR_CONDITIONS)) return;
  put_u32(block, SET_SYNCH_SOURCE, action.source);
  put_u32(block, SET_SYNCH_COMPARE_PLUS, action.compare_plus);
  put_u32(block, SET_SYNCH_COMPARE_MINUS, action.compare_minus);
}

// Exported as rm720_set_synch and rm730_set_synch.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_synch)(uint8_t card, uint16_t axis, uint16_t enable,
                                             uint16_t partners, uint16_t condition, uint16_t action,
                                             uint16_t partner_action, uint16_t source,
                                             uint32_t compare_plus, uint32_t compare_minus) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
  if (ApiStatus status =
          validate_api_args(API_SET_SYNCH, enable, condition, action, partner_action, source, 0))
    return status;
  if ((partners & axis) != 0 || partners > PARTNERS_LIMIT) return ERROR_INVALID_SYNCHRONOUS_AXES;
  DriverRequest block;
  fill_synch_request(block, axis,
                     SynchAction{enable, partners, condition, action, partner_action, source,
                                 compare_plus, compare_minus});
  return judged_request(card_device(card), REQ_SET_SYNCH, block, ERROR_SYNCH_SET);
}

// Exported as rm720_synch_t_move_cfg and rm730_synch_t_move_cfg.
RM7X0_EXPORT ApiStatus RM7X0_NAME(synch_t_move_cfg)(uint8_t card, uint16_t axis, uint32_t sv,
                                                    uint32_t dv, uint32_t acc, uint32_t dec,
                                                    int32_t pulses) {
  DriverRequest block;
  if (ApiStatus status = prepare_t_move(card, axis, sv, dv, acc, dec, pulses, 0, block))
    return status;
  put_u32(block, FIXED_MOVE_DIRECTION, DIRECTION_LOADED);
  return judged_request(card_device(card), REQ_T_MOVE, block, ERROR_T_MOVE_START);
}

// Exported as rm720_synch_s_move_cfg and rm730_synch_s_move_cfg.
RM7X0_EXPORT ApiStatus RM7X0_NAME(synch_s_move_cfg)(uint8_t card, uint16_t axis, uint32_t sv,
                                                    uint32_t dv, uint32_t jerk, uint32_t decel_jerk,
                                                    int32_t pulses) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
  SMove move{.sv = sv, .dv = dv, .jerk = jerk, .decel_jerk = decel_jerk, .pulses = pulses};
  if (ApiStatus status = plan_loaded_s_move(card, axis, &move)) return status;
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  put_s_move_slots(block, FIXED_MOVE_PROFILE, move, DIRECTION_LOADED);
  return judged_request(card_device(card), REQ_S_MOVE, block, ERROR_S_MOVE_START);
}

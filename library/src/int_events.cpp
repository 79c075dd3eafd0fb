// Interrupt factors, the four per-axis events the driver signals, and the
// interrupt actions the driver runs by itself.
#include "int_events.h"

#include "argument_checks.h"
#include "card_table.h"
#include "checks.h"
#include "move_all.h"
#include "request.h"
#include "s_curve_plan.h"

namespace {

constexpr uint16_t EVENTS_DISABLE = 0, EVENTS_ENABLE = 1;

void close_card_events(CardRecord &record) {
  for (HANDLE &event : record.int_events) {
    if (event == INVALID_HANDLE_VALUE) continue;
    CloseHandle(event);
    event = INVALID_HANDLE_VALUE;
  }
}

// The caller's record of an S-curve interrupt action.
struct ActionMove {
  int32_t sv, dv, jerk, decel_jerk, distance;
};

bool load_action_move(const int32_t *record, ActionMove *move) {
  return seh::try_load(move->sv, record) && seh::try_load(move->dv, record + 1) &&
         seh::try_load(move->jerk, record + 2) && seh::try_load(move->decel_jerk, record + 3) &&
         seh::try_load(move->distance, record + 4);
}

// Slots 5-12 of a kind-2 action: the target's S-curve move by the distance,
// planned as a single S-curve move without offset pulses.
ApiStatus fill_action_move(uint8_t card, uint16_t target, const ActionMove &action,
                           DriverRequest &block) {
  SMove move;
  move.sv = static_cast<uint32_t>(action.sv);
  move.dv = static_cast<uint32_t>(action.dv);
  move.jerk = static_cast<uint32_t>(action.jerk);
  move.decel_jerk = static_cast<uint32_t>(action.decel_jerk);
  move.pulses = action.distance;
  if (const ApiStatus status = plan_s_move(card, target, &move)) return status;
  remember_s_move(card, target, move);
  put_s_move_slots(block, SET_INT_ACTION_S_MOVE, move, direction_of_distance(move.pulses));
  return SUCCESS_NO_ERROR;
}

}  // namespace

// Creates the missing events, registers all four with the driver and hands
// the caller copies of their handles.
ApiStatus attach_int_events(uint8_t card, HANDLE events[AXES_PER_CARD]) {
  // The caller's array must take the handles before any is made.
  HANDLE kept[AXES_PER_CARD];
  if (!seh::try_copy_from(kept, events, sizeof kept) || !seh::try_copy_to(events, kept, sizeof kept))
    return ERROR_ACCESS_VIOLATION_DATA_COPY;
  CardRecord &record = card_table.cards[card];
  for (HANDLE &event : record.int_events) {
    if (event != INVALID_HANDLE_VALUE) continue;
    event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) {
      event = INVALID_HANDLE_VALUE;
      close_card_events(record);
      return ERROR_INT_EVENT_CREATE;
    }
  }
  DriverRequest block{};
  for (int axis = 0; axis < AXES_PER_CARD; ++axis)
    put_pointer(block, ATTACH_INT_EVENTS_FIRST + axis, record.int_events[axis]);
  if (!send_request(record.device, REQ_ATTACH_INT_EVENTS, block)) return ERROR_INT_EVENT_ATTACH;
  for (int axis = 0; axis < AXES_PER_CARD; ++axis) {
    if (!seh::try_store(events + axis, record.int_events[axis]))
      return ERROR_ACCESS_VIOLATION_DATA_COPY;
  }
  return SUCCESS_NO_ERROR;
}

ApiStatus detach_int_events(uint8_t card) {
  DriverRequest block{};
  if (!send_request(card_device(card), REQ_DETACH_INT_EVENTS, block))
    return ERROR_INT_EVENT_DETTACH;
  close_card_events(card_table.cards[card]);
  return SUCCESS_NO_ERROR;
}

// Exported as rm720_set_int_factor and rm730_set_int_factor.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_int_factor)(uint8_t card, uint16_t axis, uint16_t factor) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  if (const ApiStatus status = validate_api_args(API_SET_INT_FACTOR, factor, 0, 0, 0, 0, 0))
    return status;
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, SET_INT_FACTOR_FACTOR, factor);
  return judged_request(card_device(card), REQ_SET_INT_FACTOR, block, ERROR_INT_FACTOR_SET);
}

// Exported as rm720_int_event_config and rm730_int_event_config.
RM7X0_EXPORT ApiStatus RM7X0_NAME(int_event_config)(uint8_t card, uint16_t mode,
                                                    HANDLE events[AXES_PER_CARD]) {
  if (const ApiStatus status = check_card(card)) return status;
  switch (mode) {
    case EVENTS_ENABLE: return attach_int_events(card, events);
    case EVENTS_DISABLE: return detach_int_events(card);
    default: return ERROR_INVALID_INT_EVENT_MODE;
  }
}

// Exported as rm720_set_int_action and rm730_set_int_action.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_int_action)(uint8_t card, uint16_t source_axes,
                                                  uint16_t factor, uint16_t target, uint16_t kind,
                                                  const int32_t *record) {
  if (const ApiStatus status = check_library()) return status;
  if (source_axes > (AXIS_X | AXIS_Y | AXIS_Z | AXIS_U)) return ERROR_MULTI_AXES_ASSIGNED;
  if (const ApiStatus status = check_card(card)) return status;
  if (const ApiStatus status = validate_api_args(API_SET_INT_FACTOR, factor, 0, 0, 0, 0, 0))
    return status;
  DriverRequest block{};
  if (kind == ACTION_S_MOVE) {
    ActionMove move{};
    if (!load_action_move(record, &move)) return ERROR_ACCESS_VIOLATION_DATA_COPY;
    if (const ApiStatus status = check_card_axis(card, target)) return status;
    if (const ApiStatus status = fill_action_move(card, target, move, block)) return status;
  }
  preset_status(block);
  put_u32(block, SLOT_AXES, source_axes);
  put_u32(block, SET_INT_ACTION_FACTOR, factor);
  put_u32(block, SET_INT_ACTION_TARGET, target);
  put_u32(block, SET_INT_ACTION_ACTION, kind);
  return judged_request(card_device(card), REQ_SET_INT_ACTION, block, ERROR_INT_FACTOR_SET);
}

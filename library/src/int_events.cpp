// Interrupt factors, the four per-axis events the driver signals, and the
// interrupt actions the driver runs by itself.
#include "int_events.h"

#include "argument_checks.h"
#include "card_options.h"
#include "card_table.h"
#include "checks.h"
#include "request.h"
#include "s_curve_profile.h"
#include "unit_conversion.h"

namespace {

constexpr uint16_t EVENTS_DISABLE = 0, EVENTS_ENABLE = 1;
constexpr uint16_t ACTION_S_MOVE = 2;
constexpr uint32_t S_MODE_CHIP_PROFILE = 4;
constexpr uint32_t S_MODE_DECEL_POINT = 7;

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

ApiStatus s_curve_words(uint8_t card, uint16_t axis, uint32_t sv, uint32_t dv, uint32_t jerk,
                        uint32_t decel_jerk, SpeedProfile *profile) {
  *profile = SpeedProfile{};
  profile->kind = PROFILE_S_CURVE;
  profile->start_speed = static_cast<int32_t>(sv);
  profile->drive_speed = dv;
  profile->jerk = static_cast<int32_t>(jerk);
  profile->deceleration_jerk = static_cast<int32_t>(decel_jerk);
  return profile_to_registers(card, axis, profile);
}

// Slots 5-12 of a kind-2 action: the target's S-curve move by the distance,
// with the deceleration point the library plans when the two jerks differ
// (or the card's option asks for it).
ApiStatus fill_action_move(uint8_t card, uint16_t target, const ActionMove &move,
                           DriverRequest &block) {
  const uint32_t distance = move.distance < 0 ? 0u - static_cast<uint32_t>(move.distance)
                                              : static_cast<uint32_t>(move.distance);
  const uint32_t sv = static_cast<uint32_t>(move.sv);
  uint32_t dv = static_cast<uint32_t>(move.dv);
  uint32_t jerk = static_cast<uint32_t>(move.jerk);
  uint32_t decel_jerk = static_cast<uint32_t>(move.decel_jerk);
  if (card_options.rates_as_times[card]) {
    jerk = jerk_from_time(sv, dv, jerk);
    decel_jerk = jerk_from_time(sv, dv, decel_jerk);
  }
  SpeedProfile words{};
  if (const ApiStatus status = s_curve_words(card, target, sv, dv, jerk, decel_jerk, &words))
    return status;

  uint32_t mode = S_MODE_CHIP_PROFILE, decel_point = 0;
  if (card_options.s_curve_decel_point[card] || decel_jerk != jerk) {
    mode = S_MODE_DECEL_POINT;
    AxisBlock &axis = card_table.cards[card].axes[axis_index(target)];
    uint32_t peak = static_cast<uint32_t>(s_curve_peak_speed(
        sv, dv, jerk, decel_jerk, distance, axis.motion.avoid_triangle ? 1 : 0));
    if (peak != dv) {
      dv = peak < sv ? sv : peak;
      if (const ApiStatus status = s_curve_words(card, target, sv, dv, jerk, decel_jerk, &words))
        return status;
    }
    const int64_t point =
        static_cast<int64_t>(distance) -
        s_curve_accel_distance(words.start_speed_word, words.drive_speed_word,
                               words.deceleration_jerk_word, static_cast<float>(axis.multiplier));
    decel_point = point > 0 ? static_cast<uint32_t>(point) : 0;
    axis.motion.last_start_speed_word = words.start_speed_word;
    axis.motion.last_drive_speed_word = words.drive_speed_word;
    axis.motion.last_decel_jerk_word = words.deceleration_jerk_word;
    axis.motion.pulse_count = static_cast<int32_t>(distance);
  }
  put_u32(block, 5, words.start_speed_word);
  put_u32(block, 6, words.drive_speed_word);
  put_u32(block, 7, words.jerk_word);
  put_u32(block, 8, words.deceleration_jerk_word);
  put_u32(block, 9, mode);
  put_u32(block, 10, distance);
  put_u32(block, 11, move.distance >= 0 ? 1 : 0);
  put_u32(block, 12, decel_point);
  return SUCCESS_NO_ERROR;
}

}  // namespace

// Creates the missing events, registers all four with the driver and hands
// the caller copies of their handles.
ApiStatus attach_int_events(uint8_t card, HANDLE events[AXES_PER_CARD]) {
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
    put_pointer(block, 1 + axis, record.int_events[axis]);
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

RM7X0_EXPORT ApiStatus RM7X0_NAME(set_int_factor)(uint8_t card, uint16_t axis, uint16_t factor) {
  if (const ApiStatus status = check_card_axis(card, axis, AXIS_NOT_USED, AXIS_NOT_USED))
    return status;
  if (const ApiStatus status = validate_api_args(API_SET_INT_FACTOR, factor, 0, 0, 0, 0, 0))
    return status;
  DriverRequest block{};
  preset_status(block);
  put_u32(block, 1, axis);
  put_u32(block, 2, factor);
  return judged_request(card_device(card), REQ_SET_INT_FACTOR, block, ERROR_INT_FACTOR_SET);
}

RM7X0_EXPORT ApiStatus RM7X0_NAME(int_event_config)(uint8_t card, uint16_t mode,
                                                    HANDLE events[AXES_PER_CARD]) {
  if (const ApiStatus status = check_card_axis(card, AXIS_NOT_USED, AXIS_NOT_USED, AXIS_NOT_USED))
    return status;
  switch (mode) {
    case EVENTS_ENABLE: return attach_int_events(card, events);
    case EVENTS_DISABLE: return detach_int_events(card);
    default: return ERROR_INVALID_INT_EVENT_MODE;
  }
}

RM7X0_EXPORT ApiStatus RM7X0_NAME(set_int_action)(uint8_t card, uint16_t source_axes,
                                                  uint16_t factor, uint16_t target, uint16_t kind,
                                                  const int32_t *record) {
  if (source_axes > (AXIS_X | AXIS_Y | AXIS_Z | AXIS_U)) return ERROR_MULTI_AXES_ASSIGNED;
  if (const ApiStatus status = check_card_axis(card, AXIS_NOT_USED, AXIS_NOT_USED, AXIS_NOT_USED))
    return status;
  if (const ApiStatus status = validate_api_args(API_SET_INT_FACTOR, factor, 0, 0, 0, 0, 0))
    return status;
  DriverRequest block{};
  if (kind == ACTION_S_MOVE) {
    ActionMove move{};
    if (!load_action_move(record, &move)) return ERROR_ACCESS_VIOLATION_DATA_COPY;
    if (const ApiStatus status = check_card_axis(card, target, AXIS_NOT_USED, AXIS_NOT_USED))
      return status;
    if (const ApiStatus status = fill_action_move(card, target, move, block)) return status;
  }
  preset_status(block);
  put_u32(block, 1, source_axes);
  put_u32(block, 2, factor);
  put_u32(block, 3, target);
  put_u32(block, 4, kind);
  return judged_request(card_device(card), REQ_SET_INT_ACTION, block, ERROR_INT_FACTOR_SET);
}

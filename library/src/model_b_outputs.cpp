// The model-B card's own outputs per axis: alarm reset and general-purpose
// output (bits of the card's output word) and the ERC signal (the axis's
// ERC field, one word for every axis). Built into the model-B library only.
#include "argument_checks.h"
#include "checks.h"
#include "model.h"
#include "request.h"

namespace {

// The word each axis X, Y, Z, U sends when its output is switched on: its
// bit of the card's output word, or the ERC word, which the driver places
// into the addressed axis's own ERC field.
using AxisWords = uint16_t[4];
constexpr AxisWords ALARM_RESET_WORDS = {0x0004, 0x0040, 0x0400, 0x4000};
constexpr AxisWords GDO_WORDS = {0x0008, 0x0080, 0x0800, 0x8000};
constexpr AxisWords ERC_WORDS = {0x1000, 0x1000, 0x1000, 0x1000};

// Style A: card and axis, the on value (0 or 1), then one axis setting: the
// axis's word when on is 1, else 0.
ApiStatus switch_output(uint8_t card, uint16_t axis, uint8_t on, ApiId api,
                        const AxisWords &words, DWORD code, ApiStatus failure) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  if (const ApiStatus status = validate_api_args(api, on, 0, 0, 0, 0, 0)) return status;
  DriverRequest block{};
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, AXIS_SETTING_VALUE, on == 1 ? words[axis_index(axis)] : 0);
  return request_only(card_device(card), code, block, failure);
}

}  // namespace

// Slot 3 (further bits of the ERC field) stays 0.
RM7X0_EXPORT ApiStatus rm730_set_erc(uint8_t card, uint16_t axis, uint8_t on) {
  return switch_output(card, axis, on, API_SET_ERC, ERC_WORDS, REQ_SET_ERC, ERROR_ERC_SET);
}

RM7X0_EXPORT ApiStatus rm730_set_alarm_reset(uint8_t card, uint16_t axis, uint8_t on) {
  return switch_output(card, axis, on, API_SET_ALARM_RESET, ALARM_RESET_WORDS,
                       REQ_SET_ALARM_RESET, ERROR_ALARM_RESET_SET);
}

RM7X0_EXPORT ApiStatus rm730_set_gdo(uint8_t card, uint16_t axis, uint8_t on) {
  return switch_output(card, axis, on, API_SET_GDO, GDO_WORDS, REQ_SET_GDO, ERROR_GDO_SET);
}

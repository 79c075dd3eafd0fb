// The model-B card's per-axis outputs: alarm reset, general-purpose output
// and ERC. Each checks card and axis, then its on value, then sends one
// request; the reply word is not read.
#include "argument_checks.h"
#include "card_table.h"
#include "checks.h"
#include "model.h"
#include "request.h"

#ifdef RM7X0_MODEL_B
namespace {

struct OutputRequest {
  uint16_t api;
  DWORD code;
  uint16_t word_x;      // the word that switches the output of X on
  bool per_axis_nibble; // Y, Z and U use the bit four places up each
  ApiStatus failure;
};

// Alarm reset and GDO are bits of the card's output word, one nibble per
// axis; the ERC word goes into the addressed axis's own mode register.
constexpr OutputRequest ALARM_RESET{API_SET_ALARM_RESET, REQ_SET_ALARM_RESET, 0x0004, true,
                                    ERROR_ALARM_RESET_SET};
constexpr OutputRequest GDO{API_SET_GDO, REQ_SET_GDO, 0x0008, true, ERROR_GDO_SET};
constexpr OutputRequest ERC{API_SET_ERC, REQ_SET_ERC, 0x1000, false, ERROR_ERC_SET};

ApiStatus switch_output(const OutputRequest &output, uint8_t card, uint16_t axis, uint8_t on) {
  if (const ApiStatus status = check_card_axis(card, axis, AXIS_NOT_USED, AXIS_NOT_USED))
    return status;
  if (const ApiStatus status = validate_api_args(output.api, on, 0, 0, 0, 0, 0)) return status;
  const int shift = output.per_axis_nibble ? 4 * axis_index(axis) : 0;
  DriverRequest block{};
  put_u32(block, 1, axis);
  put_u32(block, 2, on ? static_cast<uint16_t>(output.word_x << shift) : 0);
  return request_only(card_device(card), output.code, block, output.failure);
}

}  // namespace

RM7X0_EXPORT ApiStatus RM7X0_NAME(set_alarm_reset)(uint8_t card, uint16_t axis, uint8_t on) {
  return switch_output(ALARM_RESET, card, axis, on);
}

RM7X0_EXPORT ApiStatus RM7X0_NAME(set_gdo)(uint8_t card, uint16_t axis, uint8_t on) {
  return switch_output(GDO, card, axis, on);
}

RM7X0_EXPORT ApiStatus RM7X0_NAME(set_erc)(uint8_t card, uint16_t axis, uint8_t on) {
  return switch_output(ERC, card, axis, on);
}
#endif

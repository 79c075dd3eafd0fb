// What changes how an axis counts and drives: the ring counter, the hand
// wheel (manual pulse generator) and the target of a running move.
#include "argument_checks.h"
#include "checks.h"
#include "model.h"
#include "request.h"
#include "unit_conversion.h"

namespace {

// Hand-wheel modes: off, one output burst per detent, and two modes with
// one burst per edge of a detent.
constexpr uint16_t MPG_OFF = 0, MPG_PER_DETENT = 8;
constexpr uint16_t MPG_BOTH_EDGES_A = 16, MPG_BOTH_EDGES_B = 24;

bool is_mpg_mode(uint16_t mode) {
  return mode == MPG_OFF || mode == MPG_PER_DETENT || mode == MPG_BOTH_EDGES_A ||
         mode == MPG_BOTH_EDGES_B;
}

// In the modes that count both edges of a detent the drive speed must keep
// up with twice ratio pulses per edge at the wheel's highest frequency
// (formed in 64 bits: the product of two 32-bit values).
bool keeps_up_with_wheel(uint16_t mode, uint32_t ratio, uint32_t dv, int32_t max_frequency) {
  if (mode != MPG_BOTH_EDGES_A && mode != MPG_BOTH_EDGES_B) return true;
  return int64_t{dv} >= 2 * int64_t{ratio} * max_frequency;
}

// A judged request of one axis, its values already in the block.
ApiStatus judged_axis_request(uint8_t card, DWORD code, uint16_t axis, DriverRequest &block,
                              ApiStatus failure) {
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  return judged_request(card_device(card), code, block, failure);
}

}  // namespace

// enable 16 on, 0 off; value: pulses per turn (the counters run 0 .. value - 1).
// Exported as rm720_set_vring and rm730_set_vring.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_vring)(uint8_t card, uint16_t axis, uint16_t enable,
                                             uint32_t value) {
  if (value < 2) return ERROR_INVALID_RING_COUNTER;
  if (const ApiStatus status = validate_api_args(API_SET_VRING, enable, 0, 0, 0, 0, 0))
    return status;
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  DriverRequest block{};
  put_u32(block, SET_VRING_ENABLE, enable);
  put_u32(block, SET_VRING_SIZE, value);
  return judged_axis_request(card, REQ_SET_VRING, axis, block, ERROR_VRING_SET);
}

// mode 0 off, 8, 16 or 24; ratio: output pulses per detent; DV (PPS): the
// speed of the output; max_frequency (detents per second) is only checked.
// Exported as rm720_set_mpg and rm730_set_mpg.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_mpg)(uint8_t card, uint16_t axis, uint16_t mode,
                                           uint32_t ratio, uint32_t dv, int32_t max_frequency) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  if (!is_mpg_mode(mode)) return ERROR_INVALID_MPG_EXP_CONFIG;
  if (!keeps_up_with_wheel(mode, ratio, dv, max_frequency)) return ERROR_INVALID_MPG_SPEED;
  uint16_t speed_word = 0;
  if (mode != MPG_OFF && !speed_to_register(card, axis, dv, &speed_word))
    return ERROR_INVALID_MPG_SPEED;
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, SET_MPG_MODE, mode);
  put_u32(block, SET_MPG_RATIO, ratio);
  put_u32(block, SET_MPG_SPEED, speed_word);
  return request_only(card_device(card), REQ_SET_MPG, block, ERROR_MPG_SET);
}

// The running move of the axis ends after `pulses` pulses from its start.
// Exported as rm720_change_p and rm730_change_p.
RM7X0_EXPORT ApiStatus RM7X0_NAME(change_p)(uint8_t card, uint16_t axis, uint32_t pulses) {
  if (const ApiStatus status = check_card_axis(card, axis)) return status;
  DriverRequest block{};
  put_u32(block, CHANGE_P_PULSES, pulses);
  return judged_axis_request(card, REQ_CHANGE_P, axis, block, ERROR_OUTPUT_PULSE_CHANGE);
}

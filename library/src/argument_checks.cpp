#include "argument_checks.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace {

// The option values of one call, each as the 16-bit value that is compared.
using Values = std::array<uint16_t, 6>;
using Rule = ApiStatus (*)(const Values &);

bool one_of(uint16_t value, std::initializer_list<uint16_t> allowed) {
  return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

// 0, or a value with at least one bit of the mask.
bool zero_or_any_of(uint16_t value, uint16_t mask) { return value == 0 || (value & mask) != 0; }

ApiStatus pulse_output(const Values &v) {
  if (!one_of(v[0], {0, 0x40})) return ERROR_INVALID_PULSE_MODE;
  if (!one_of(v[1], {0, 0x80})) return ERROR_INVALID_PULSE_LEVEL;
  if (v[0] == 0x40 && !one_of(v[2], {0, 0x100})) return ERROR_INVALID_PULSE_DIRECTION;
  return SUCCESS_NO_ERROR;
}

ApiStatus encoder_input(const Values &v) {
  return one_of(v[0], {0, 512, 1024, 2048}) ? SUCCESS_NO_ERROR : ERROR_INVALID_ENCODER_MODE;
}

ApiStatus limit_switches(const Values &v) {
  if (!one_of(v[0], {0, 24})) return ERROR_INVALID_LIMIT_LOGIC;
  if (!one_of(v[1], {0, 4})) return ERROR_INVALID_STOP_MODE;
  return SUCCESS_NO_ERROR;
}

// The logic level of a disabled input is not looked at.
ApiStatus in_position_input(const Values &v) {
  if (!one_of(v[0], {0, 0x8000})) return ERROR_INVALID_INP_ENABLE;
  if (v[0] != 0 && !one_of(v[1], {0, 0x4000})) return ERROR_INVALID_INP_LOGIC_LEVEL;
  return SUCCESS_NO_ERROR;
}

ApiStatus alarm_input(const Values &v) {
  if (!one_of(v[0], {0, 0x2000})) return ERROR_INVALID_ALARM_ENABLE;
  if (v[0] != 0 && !one_of(v[1], {0, 0x1000})) return ERROR_INVALID_ALARM_LOGIC_LEVEL;
  return SUCCESS_NO_ERROR;
}

ApiStatus alarm_reset_output(const Values &v) {
  return one_of(v[0], {0, 1}) ? SUCCESS_NO_ERROR : ERROR_INVALID_ALARM_RESET;
}

ApiStatus erc_output(const Values &v) {
  return one_of(v[0], {0, 1}) ? SUCCESS_NO_ERROR : ERROR_INVALID_ERC;
}

ApiStatus general_output(const Values &v) {
  return one_of(v[0], {0, 1}) ? SUCCESS_NO_ERROR : ERROR_INVALID_GDO;
}

ApiStatus in3_input(const Values &v) {
  if (!one_of(v[0], {0, 0x80})) return ERROR_INVALID_IN3_ENABLE;
  if (!one_of(v[1], {0, 0x40})) return ERROR_INVALID_IN3_LOGIC_LEVEL;
  return SUCCESS_NO_ERROR;
}

// Enabled: configuration within bits 8..12, delay n x 0x2000 (n = 0..7).
ApiStatus input_filter(const Values &v) {
  if (!one_of(v[0], {0, 1})) return ERROR_INVALID_FILTER_ENABLE;
  if (v[0] == 0) return SUCCESS_NO_ERROR;
  if ((v[1] & ~0x1F00) != 0) return ERROR_INVALID_FILTER_CONFIGURATION;
  if ((v[2] & 0x1FFF) != 0) return ERROR_INVALID_FILTER_DELAY_TIME;
  return SUCCESS_NO_ERROR;
}

ApiStatus software_limit(const Values &v) {
  if (!one_of(v[0], {0, 3})) return ERROR_INVALID_SOFTWARE_LIMIT_ENABLE;
  if (v[0] != 0 && !one_of(v[1], {0, 32})) return ERROR_INVALID_SOFTWARE_LIMIT_COMPARATOR_SOURCE;
  return SUCCESS_NO_ERROR;
}

ApiStatus home_levels(const Values &v) {
  if (!one_of(v[0], {0, 4})) return ERROR_INVALID_HOME_LOGIC_LEVEL;
  if (!one_of(v[1], {0, 1})) return ERROR_INVALID_NEAR_HOME_LOGIC_LEVEL;
  if (!one_of(v[2], {0, 16})) return ERROR_INVALID_INDEX_LOGIC_LEVEL;
  return SUCCESS_NO_ERROR;
}

ApiStatus home_config(const Values &v) {
  if (ApiStatus status = home_levels(v)) return status;
  return v[3] < 256 ? SUCCESS_NO_ERROR : ERROR_INVALID_AUTO_HOME_STEP;
}

ApiStatus home_config_ex(const Values &v) {
  if (ApiStatus status = home_levels(v)) return status;
  return v[3] <= 5 ? SUCCESS_NO_ERROR : ERROR_HOME_CFG_EX_SET;
}

ApiStatus wait_flag(const Values &v) {
  return one_of(v[0], {0, 1}) ? SUCCESS_NO_ERROR : ERROR_INVALID_BLOCK_OPEARTION_MODE;
}

// The ring counter's enable shares the filter's code.
ApiStatus ring_counter(const Values &v) {
  return one_of(v[0], {0, 16}) ? SUCCESS_NO_ERROR : ERROR_INVALID_FILTER_ENABLE;
}

// Enable, source, mode (0 table, 16 constant pitch) and direction; nothing
// further is looked at when the trigger is off.
ApiStatus compare_trigger_common(const Values &v) {
  if (!one_of(v[1], {0, 32})) return ERROR_INVALID_COMPARATOR_SOURCE;
  if (!one_of(v[2], {0, 16})) return ERROR_INVALID_CMPTRIG_SOURCE;
  if (!one_of(v[3], {0, 4096})) return ERROR_INVALID_CMPTRIG_DIRECTION;
  return SUCCESS_NO_ERROR;
}

// Model A: output 0x0800 + n x 0x2000 (n = 0..7); the table direction counts
// in table mode only.
ApiStatus compare_trigger_a(const Values &v) {
  if (!one_of(v[0], {0, 0x4000})) return ERROR_INVALID_CMPTRIG_ENABLE;
  if (v[0] == 0) return SUCCESS_NO_ERROR;
  if (ApiStatus status = compare_trigger_common(v)) return status;
  if ((v[4] & 0x1FFF) != 0x0800) return ERROR_INVALID_CMPTRIG_OUTPUT;
  if (v[2] == 0 && !one_of(v[5], {0, 1})) return ERROR_INVALID_MOVE_DIRECTION;
  return SUCCESS_NO_ERROR;
}

// Model B: output 1..15; the direction flag counts in every mode.
ApiStatus compare_trigger_b(const Values &v) {
  if (!one_of(v[0], {0, 0x4000})) return ERROR_INVALID_CMPTRIG_ENABLE;
  if (v[0] == 0) return SUCCESS_NO_ERROR;
  if (ApiStatus status = compare_trigger_common(v)) return status;
  if (v[4] < 1 || v[4] > 15) return ERROR_INVALID_CMPTRIG_OUTPUT;
  if (!one_of(v[5], {0, 1})) return ERROR_INVALID_MOVE_DIRECTION;
  return SUCCESS_NO_ERROR;
}

// Model A, by the condition (value 2): an axis condition 1, 2, 4 or 8 takes
// values 3 to 5; conditions 64 and 128 take value 3 only; others pass.
ApiStatus synchronous_action_a(const Values &v) {
  if (!one_of(v[0], {0, 1})) return ERROR_INVALID_SYNCH_ENABLE;
  if (v[0] == 0) return SUCCESS_NO_ERROR;
  if (one_of(v[1], {1, 2, 4, 8})) {
    if (!zero_or_any_of(v[2], 0x40FF) || !one_of(v[3], {0, 1, 2, 4, 8, 16, 32, 64, 128}))
      return ERROR_INVALID_SYNCH_CONDITION;
    if (!one_of(v[4], {0, 32})) return ERROR_INVALID_COMPARATOR_SOURCE;
    return SUCCESS_NO_ERROR;
  }
  if (one_of(v[1], {64, 128}) && !one_of(v[2], {0, 1, 2, 4, 8, 64, 128}))
    return ERROR_INVALID_SYNCH_CONDITION;
  return SUCCESS_NO_ERROR;
}

// Model B: the condition is 16, 32 or a mask of bits 0..3 without both bits
// 0 and 1 and without both bits 2 and 3. A bad condition answers -267 (named
// for the watchdog mode): callers test for that number.
ApiStatus synchronous_action_b(const Values &v) {
  if (!one_of(v[0], {0, 1})) return ERROR_INVALID_SYNCH_ENABLE;
  if (v[0] == 0) return SUCCESS_NO_ERROR;
  const uint16_t condition = v[1];
  const bool axis_mask = (condition & ~0xF) == 0 && (condition & 0x3) != 0x3 &&
                         (condition & 0xC) != 0xC;
  if (!one_of(condition, {16, 32}) && !axis_mask) return ERROR_INVALID_WDT_MODE;
  if (!zero_or_any_of(v[2], 0x40FF) || !zero_or_any_of(v[3], 0x40FF))
    return ERROR_INVALID_SYNCH_CONDITION;
  if (!one_of(v[4], {0, 32})) return ERROR_INVALID_COMPARATOR_SOURCE;
  return SUCCESS_NO_ERROR;
}

ApiStatus interrupt_factor(const Values &v) {
  return (v[0] & 0xFF) == 0 ? SUCCESS_NO_ERROR : ERROR_INVALID_INT_FACTOR;
}

ApiStatus compare_mask_flags(const Values &v) {
  for (int i = 0; i < 5; ++i)
    if (!one_of(v[i], {0, 1})) return ERROR_INVALID_CMP_MASK;
  return SUCCESS_NO_ERROR;
}

ApiStatus comparator_source(const Values &v) {
  return one_of(v[0], {0, 32}) ? SUCCESS_NO_ERROR : ERROR_INVALID_COMPARATOR_SOURCE;
}

struct RuleEntry {
  uint16_t api_id;
  Rule rule;
};

// The rules both models share.
constexpr RuleEntry kCommonRules[] = {
    {API_SET_PLS_CFG, pulse_output},
    {API_SET_ENC_CFG, encoder_input},
    {API_SET_LIMIT, limit_switches},
    {API_SET_INP, in_position_input},
    {API_SET_ALARM, alarm_input},
    {API_SET_ALARM_RESET, alarm_reset_output},
    {API_SET_ERC, erc_output},
    {API_SET_GDO, general_output},
    {API_SET_IN3, in3_input},
    {API_SET_FILTER, input_filter},
    {API_SET_SOFTLIMIT, software_limit},
    {API_SET_HOME_CFG, home_config},
    {API_HOME_START, wait_flag},
    {API_SET_HOME_CFG_EX, home_config_ex},
    {API_SET_VRING, ring_counter},
    {API_SET_INT_FACTOR, interrupt_factor},
    {API_T_LINE2_MOVE, wait_flag},
    {API_T_LINE3_MOVE, wait_flag},
    {API_S_LINE2_MOVE, wait_flag},
    {API_S_LINE3_MOVE, wait_flag},
    {API_T_ARC2_MOVE, wait_flag},
    {API_SET_CMP_MASK_IN3, compare_mask_flags},
    {API_SET_CMP, comparator_source},
};

Rule model_rule(CardModel model, uint16_t api_id) {
  const bool b = model == CardModel::B;
  if (api_id == API_CMPTRIG_CONFIG) return b ? compare_trigger_b : compare_trigger_a;
  if (api_id == API_SET_SYNCH) return b ? synchronous_action_b : synchronous_action_a;
  for (const RuleEntry &entry : kCommonRules)
    if (entry.api_id == api_id) return entry.rule;
  return nullptr;
}

#ifdef RM7X0_MODEL_B
constexpr CardModel kLibraryModel = CardModel::B;
#else
constexpr CardModel kLibraryModel = CardModel::A;
#endif

}  // namespace

ApiStatus validate_api_args_of_model(CardModel model, uint16_t api_id, uint16_t v1, uint16_t v2,
                                     uint16_t v3, uint16_t v4, int32_t v5, int32_t v6) {
  const Rule rule = model_rule(model, api_id);
  if (rule == nullptr) return SUCCESS_NO_ERROR;
  return rule(Values{v1, v2, v3, v4, static_cast<uint16_t>(v5), static_cast<uint16_t>(v6)});
}

ApiStatus validate_api_args(uint16_t api_id, uint16_t v1, uint16_t v2, uint16_t v3, uint16_t v4,
                            int32_t v5, int32_t v6) {
  return validate_api_args_of_model(kLibraryModel, api_id, v1, v2, v3, v4, v5, v6);
}

// Rotating the 4-bit mask right by the index brings the axis itself to bit 0
// and the others after it in cyclic order; the shift drops the axis.
uint16_t other_axes_mask(int axis, uint16_t mask) {
  if (axis < 0 || axis > 3) return 0;
  const unsigned nibble = mask & 0xF;
  const unsigned rotated = ((nibble >> axis) | (nibble << (4 - axis))) & 0xF;
  return static_cast<uint16_t>(rotated >> 1);
}

uint32_t max_abs3(int32_t a, int32_t b, int32_t c) {
  auto magnitude = [](int32_t v) {
    return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
  };
  return std::max({magnitude(a), magnitude(b), magnitude(c)});
}

/* The axis configuration handlers: pulse output, encoder input, limit,
 * in-position, alarm and IN3 inputs, input filter, ERC, alarm-reset and
 * general outputs, software limits, comparators and the home inputs.
 *
 * The chip's mode registers and extension words cannot be read back, so each
 * handler changes its field on the axis's shadow and writes the whole word;
 * the change of the shadow and the write are one step under the interrupt
 * lock, which the DPC also takes to change the same words. A value is kept
 * to its own field: stray bits in a request never reach the neighbouring
 * configuration. */
#include "rm7x0_driver.h"

namespace {

ULONG mode_register_of(AxisShadow shadow) {
  switch (shadow) {
    case SHADOW_MODE1: return REG_MODE1;
    case SHADOW_MODE2: return REG_MODE2;
    default: return REG_MODE3;
  }
}

/* Raw writes, for code already under the interrupt lock. */
VOID write_mode_register_raw(CardExtension *ext, int axis, AxisShadow shadow, USHORT value) {
  card_write16(ext, REG_COMMAND, command_word(1u << axis, CHIP_SELECT));
  card_write16(ext, mode_register_of(shadow), value);
}

VOID write_ext_mode_raw(CardExtension *ext, int axis) {
  const USHORT *shadow = ext->axis[axis].shadow;
  card_write16(ext, REG_DATA_HIGH, shadow[SHADOW_EXT_WORD2]);
  card_write16(ext, REG_DATA_LOW, shadow[SHADOW_EXT_WORD1]);
  card_write16(ext, REG_COMMAND, command_word(1u << axis, CHIP_EXT_MODE));
  restore_kept_data(ext);
}

}  // namespace

/* Replaces a field of a mode-register shadow of one axis and writes it. */
VOID set_mode_field(CardExtension *ext, int axis, AxisShadow shadow, USHORT field, USHORT value) {
  run_synchronized(ext, [&] {
    USHORT *word = &ext->axis[axis].shadow[shadow];
    *word = (USHORT)((*word & ~field) | (value & field));
    write_mode_register_raw(ext, axis, shadow, *word);
  });
}

/* Replaces a field of an extension-word shadow of one axis and writes both words. */
VOID set_ext_field(CardExtension *ext, int axis, AxisShadow word_index, USHORT field, USHORT value) {
  run_synchronized(ext, [&] {
    USHORT *word = &ext->axis[axis].shadow[word_index];
    *word = (USHORT)((*word & ~field) | (value & field));
    write_ext_mode_raw(ext, axis);
  });
}

namespace {

/* A mode-register field from an axis setting on every axis of the mask. */
USHORT set_mode_field_request(RequestContext *request, AxisShadow shadow, USHORT field) {
  const USHORT value = slot_u16(request->block, AXIS_SETTING_VALUE);
  for_each_axis(slot_u16(request->block, SLOT_AXES),
                [&](int axis) { set_mode_field(request->ext, axis, shadow, field, value); });
  return DRV_SUCCESS;
}

/* Output bit (4i + bit) of the first axis i of the mask := set when the word
 * holds it. Returns the axis, or -1 for a mask without one. */
int switch_axis_output(CardExtension *ext, ULONG axis_mask, int bit, USHORT word) {
  const int axis = axis_mask_to_index(axis_mask);
  if (axis < 0) return axis;
  const USHORT axis_bit = (USHORT)(1u << (OUTPUT_BITS_PER_AXIS * axis + bit));
  card_register_modify_sync(ext, REG_OUTPUT, &ext->output_shadow, axis_bit,
                            (USHORT)(word & axis_bit));
  return axis;
}

USHORT set_output_state(RequestContext *request, int bit, AxisOutput state) {
  const USHORT word = slot_u16(request->block, AXIS_SETTING_VALUE);
  const int axis = switch_axis_output(request->ext, slot_u16(request->block, SLOT_AXES), bit, word);
  if (axis >= 0) request->ext->axis[axis].output[state] = word != 0;
  return DRV_SUCCESS;
}

}  // namespace

USHORT set_pulse_config(RequestContext *request) {
  return set_mode_field_request(request, SHADOW_MODE2, MODE2_PULSE_FIELD);
}

USHORT set_encoder_config(RequestContext *request) {
  return set_mode_field_request(request, SHADOW_MODE2, MODE2_ENCODER_FIELD);
}

USHORT set_limit_config(RequestContext *request) {
  return set_mode_field_request(request, SHADOW_MODE2, MODE2_LIMIT_FIELD);
}

USHORT set_alarm_config(RequestContext *request) {
  return set_mode_field_request(request, SHADOW_MODE2, MODE2_ALARM_FIELD);
}

USHORT set_in3_config(RequestContext *request) {
  return set_mode_field_request(request, SHADOW_MODE1, MODE1_IN3_FIELD);
}

/* The in-position check can be switched for a while (write mode 0x2000, the
 * configured word kept) and restored (0x1000); any other mode configures. */
USHORT set_in_position(RequestContext *request) {
  CardExtension *ext = request->ext;
  const USHORT value = slot_u16(request->block, SET_INP_VALUE) & MODE2_IN_POSITION_FIELD;
  const ULONG mode = slot_u32(request->block, SET_INP_WRITE_MODE);
  for_each_axis(slot_u16(request->block, SLOT_AXES), [&](int axis) {
    run_synchronized(ext, [&] {
      USHORT *shadow = &ext->axis[axis].shadow[SHADOW_MODE2];
      const USHORT configured = (USHORT)((*shadow & ~MODE2_IN_POSITION_FIELD) | value);
      if (mode == INP_WRITE_ONLY) {
        write_mode_register_raw(ext, axis, SHADOW_MODE2, configured);
        return;
      }
      if (mode != INP_RESTORE) *shadow = configured;
      write_mode_register_raw(ext, axis, SHADOW_MODE2, *shadow);
    });
  });
  return DRV_SUCCESS;
}

USHORT set_input_filter(RequestContext *request) {
  const USHORT value = slot_u16(request->block, AXIS_SETTING_VALUE);
  for_each_axis(slot_u16(request->block, SLOT_AXES), [&](int axis) {
    set_ext_field(request->ext, axis, SHADOW_EXT_WORD1, EXT1_FILTER_FIELD, value);
  });
  return DRV_SUCCESS;
}

/* The ERC output of the first axis of the mask (the setting its word, the
 * extra slot further bits of the same field). */
USHORT set_erc_output(RequestContext *request) {
  const int axis = axis_mask_to_index(slot_u16(request->block, SLOT_AXES));
  if (axis < 0) return DRV_SUCCESS;
  const USHORT value =
      slot_u16(request->block, AXIS_SETTING_VALUE) | slot_u16(request->block, SET_ERC_EXTRA);
  set_ext_field(request->ext, axis, SHADOW_EXT_WORD2, EXT2_ERC_FIELD, value);
  return DRV_SUCCESS;
}

USHORT set_servo_on(CardExtension *ext, ULONG axis_mask, USHORT servo_bit, UCHAR value) {
  const int axis = switch_axis_output(ext, axis_mask, OUTPUT_BIT_SERVO, servo_bit);
  if (axis < 0) return DRV_SUCCESS;
  DriverAxisState *state = &ext->axis[axis];
  state->output[OUTPUT_SERVO_STATE] = servo_bit != 0;
  state->output[OUTPUT_SERVO_VALUE] = servo_bit != 0 ? value : 0;
  return DRV_SUCCESS;
}

USHORT switch_servo(RequestContext *request) {
  return set_servo_on(request->ext, slot_u16(request->block, SLOT_AXES),
                      slot_u16(request->block, SERVO_ON_WORD),
                      slot_u8(request->block, SERVO_ON_VALUE));
}

USHORT set_alarm_reset_output(RequestContext *request) {
  return set_output_state(request, OUTPUT_BIT_ALARM_RESET, OUTPUT_ALARM_RESET);
}

USHORT set_general_output(RequestContext *request) {
  return set_output_state(request, OUTPUT_BIT_GDO, OUTPUT_GDO);
}

USHORT get_out1_status(RequestContext *request) {
  const int axis = axis_mask_to_index(slot_u16(request->block, SLOT_AXES));
  set_slot(request->block, AXIS_QUERY_REPLY_VALUE,
           axis < 0 ? 0 : request->ext->axis[axis].output[OUTPUT_SERVO_STATE]);
  return DRV_SUCCESS;
}

/* Source 0 or 32 chooses the counter that the comparators watch (32: the
 * encoder); any other source leaves it. */
USHORT set_comp_registers(CardExtension *ext, int axis, USHORT source, BOOLEAN write_plus,
                          ULONG plus, BOOLEAN write_minus, ULONG minus) {
  if (source == 0 || source == MODE2_COMPARE_ENCODER)
    set_mode_field(ext, axis, SHADOW_MODE2, MODE2_COMPARE_ENCODER, source);
  if (write_plus) chip_set_comp_plus(ext, 1u << axis, plus);
  if (write_minus) chip_set_comp_minus(ext, 1u << axis, minus);
  return DRV_SUCCESS;
}

USHORT set_comparators(RequestContext *request) {
  const int axis = axis_mask_to_index(slot_u16(request->block, SLOT_AXES));
  if (axis < 0) return DRV_SUCCESS;
  return set_comp_registers(request->ext, axis, slot_u16(request->block, SET_CMP_SOURCE), TRUE,
                            slot_u32(request->block, SET_CMP_PLUS), TRUE,
                            slot_u32(request->block, SET_CMP_MINUS));
}

/* Software limits of the first axis: the comparators hold the limits, so the
 * axis must not be held by another function that uses them. */
USHORT set_software_limit(RequestContext *request) {
  CardExtension *ext = request->ext;
  const int axis = axis_mask_to_index(slot_u16(request->block, SLOT_AXES));
  if (axis < 0) return DRV_SUCCESS;
  const USHORT refusal = check_axis_motion(ext, axis, OWNER_SOFT_LIMIT);
  if (refusal != DRV_SUCCESS) return refusal;
  const USHORT enable = slot_u16(request->block, SET_SOFTLIMIT_ENABLE) & MODE2_SOFT_LIMIT_ENABLE;
  set_mode_field(ext, axis, SHADOW_MODE2, MODE2_SOFT_LIMIT_ENABLE | MODE2_COMPARE_ENCODER, enable);
  if (enable == 0) {
    release_comparators(ext, axis, OWNER_SOFT_LIMIT);
    return DRV_SUCCESS;
  }
  set_comp_registers(ext, axis, slot_u16(request->block, SET_SOFTLIMIT_SOURCE), TRUE,
                     slot_u32(request->block, SET_SOFTLIMIT_PLUS), TRUE,
                     slot_u32(request->block, SET_SOFTLIMIT_MINUS));
  hold_comparators(ext, axis, OWNER_SOFT_LIMIT);
  return DRV_SUCCESS;
}

USHORT apply_home_config(CardExtension *ext, ULONG axis_mask, USHORT levels, USHORT step_flags,
                         ULONG offset) {
  for_each_axis(axis_mask, [&](int axis) {
    set_ext_field(ext, axis, SHADOW_EXT_WORD2, EXT2_HOME_STEP_FIELD, step_flags);
    set_mode_field(ext, axis, SHADOW_MODE1, MODE1_HOME_LEVEL_FIELD, levels);
    if (step_flags & EXT2_HOME_OFFSET_STEP) chip_set_pulses(ext, 1u << axis, offset);
  });
  return DRV_SUCCESS;
}

/* The steps of a search that runs belong to it: a new configuration of its
 * axis waits for its end. */
USHORT set_home_config(RequestContext *request) {
  const HomeInputs inputs = {slot_u16(request->block, SET_HOME_CFG_LEVELS),
                             slot_u16(request->block, SET_HOME_CFG_STEPS),
                             slot_u32(request->block, SET_HOME_CFG_OFFSET)};
  home_search_set_inputs(request->ext, slot_u16(request->block, SLOT_AXES) & ALL_AXES, &inputs);
  return DRV_SUCCESS;
}

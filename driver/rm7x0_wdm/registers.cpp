/* Register primitives: the only way the driver reaches the card. Every
 * sequence of more than one access runs as one synchronisation routine on the
 * card's interrupt, so that the interrupt service routine (which selects axes,
 * writes data registers and issues compare commands itself) never falls
 * between its steps. */
#include "rm7x0_driver.h"

USHORT card_read16(CardExtension *ext, ULONG offset) {
  return READ_REGISTER_USHORT((PUSHORT)(ext->bar[CARD_BAR].kernel_address + offset));
}

VOID card_write16(CardExtension *ext, ULONG offset, USHORT value) {
  WRITE_REGISTER_USHORT((PUSHORT)(ext->bar[CARD_BAR].kernel_address + offset), value);
}

ULONG bridge_read32(CardExtension *ext, ULONG offset) {
  return READ_REGISTER_ULONG((PULONG)(ext->bar[BRIDGE_BAR].kernel_address + offset));
}

VOID bridge_write32(CardExtension *ext, ULONG offset, ULONG value) {
  WRITE_REGISTER_ULONG((PULONG)(ext->bar[BRIDGE_BAR].kernel_address + offset), value);
}

VOID intcsr_modify(CardExtension *ext, ULONG set, ULONG clear) {
  bridge_write32(ext, INTCSR, (bridge_read32(ext, INTCSR) | set) & ~clear);
}

/* Only the four axis bits reach the command word: a stray bit 7 in a caller's
 * mask would otherwise turn any command into the chip reset (0x8000). */
USHORT command_word(ULONG axis_mask, UCHAR code) {
  return (USHORT)(((axis_mask & ALL_AXES) << COMMAND_AXIS_SHIFT) | code);
}

VOID intcsr_modify_sync(CardExtension *ext, ULONG offset, ULONG set, ULONG clear) {
  run_synchronized(ext, [&] {
    bridge_write32(ext, offset, (bridge_read32(ext, offset) | set) & ~clear);
  });
}

USHORT card_read16_sync(CardExtension *ext, ULONG offset) {
  USHORT value = 0;
  run_synchronized(ext, [&] { value = card_read16(ext, offset); });
  return value;
}

VOID card_write16_sync(CardExtension *ext, ULONG offset, USHORT value) {
  run_synchronized(ext, [&] { card_write16(ext, offset, value); });
}

/* A card-wide register kept in a shadow (REG_OUTPUT, REG_INTERP_MODE): the
 * handlers and the DPC both change them, so the read-modify-write of the
 * shadow and the register write are one step under the interrupt lock. */
VOID card_register_modify_sync(CardExtension *ext, ULONG offset, USHORT *shadow, USHORT clear,
                               USHORT set) {
  run_synchronized(ext, [&] {
    *shadow = (USHORT)((*shadow & ~clear) | set);
    card_write16(ext, offset, *shadow);
  });
}

USHORT chip_command(CardExtension *ext, USHORT command) {
  card_write16_sync(ext, REG_COMMAND, command);
  return DRV_SUCCESS;
}

USHORT chip_main_status(CardExtension *ext) { return card_read16_sync(ext, REG_COMMAND); }

static USHORT chip_write_mode(CardExtension *ext, ULONG axis_mask, ULONG mode_register,
                              USHORT value) {
  run_synchronized(ext, [&] {
    card_write16(ext, REG_COMMAND, command_word(axis_mask, CHIP_SELECT));
    card_write16(ext, mode_register, value);
  });
  return DRV_SUCCESS;
}

USHORT chip_write_mode1(CardExtension *ext, ULONG axis_mask, USHORT value) {
  return chip_write_mode(ext, axis_mask, REG_MODE1, value);
}

USHORT chip_write_mode2(CardExtension *ext, ULONG axis_mask, USHORT value) {
  return chip_write_mode(ext, axis_mask, REG_MODE2, value);
}

USHORT chip_write_mode3(CardExtension *ext, ULONG axis_mask, USHORT value) {
  return chip_write_mode(ext, axis_mask, REG_MODE3, value);
}

static USHORT chip_read_status(CardExtension *ext, ULONG axis_mask, ULONG status_register,
                               PUSHORT value) {
  run_synchronized(ext, [&] {
    card_write16(ext, REG_COMMAND, command_word(axis_mask, CHIP_SELECT));
    *value = card_read16(ext, status_register);
  });
  return DRV_SUCCESS;
}

USHORT chip_read_status1(CardExtension *ext, ULONG axis_mask, PUSHORT value) {
  return chip_read_status(ext, axis_mask, REG_MODE1, value);
}

USHORT chip_read_status2(CardExtension *ext, ULONG axis_mask, PUSHORT value) {
  return chip_read_status(ext, axis_mask, REG_MODE2, value);
}

USHORT chip_read_status3(CardExtension *ext, ULONG axis_mask, PUSHORT value) {
  return chip_read_status(ext, axis_mask, REG_MODE3, value);
}

USHORT chip_cmd16(CardExtension *ext, USHORT command, USHORT value) {
  run_synchronized(ext, [&] {
    card_write16(ext, REG_DATA_LOW, value);
    card_write16(ext, REG_COMMAND, command);
    restore_kept_data(ext);
  });
  return DRV_SUCCESS;
}

VOID card_cmd32(CardExtension *ext, USHORT command, ULONG value) {
  card_write16(ext, REG_DATA_HIGH, (USHORT)(value >> 16));
  card_write16(ext, REG_DATA_LOW, (USHORT)value);
  card_write16(ext, REG_COMMAND, command);
  restore_kept_data(ext);
}

USHORT chip_cmd32(CardExtension *ext, USHORT command, ULONG value) {
  run_synchronized(ext, [&] { card_cmd32(ext, command, value); });
  return DRV_SUCCESS;
}

USHORT chip_read16(CardExtension *ext, USHORT command, PUSHORT value) {
  run_synchronized(ext, [&] {
    card_write16(ext, REG_COMMAND, command);
    *value = card_read16(ext, REG_DATA_LOW);
  });
  return DRV_SUCCESS;
}

USHORT chip_read32(CardExtension *ext, USHORT command, PULONG value) {
  run_synchronized(ext, [&] {
    card_write16(ext, REG_COMMAND, command);
    ULONG low = card_read16(ext, REG_DATA_LOW);
    *value = low | ((ULONG)card_read16(ext, REG_DATA_HIGH) << 16);
  });
  return DRV_SUCCESS;
}

/* The busy check and the range write are one step, so no drive can start
 * between them. */
USHORT chip_set_range(CardExtension *ext, ULONG axis_mask, ULONG range) {
  USHORT result = DRV_SUCCESS;
  run_synchronized(ext, [&] {
    if (card_read16(ext, REG_COMMAND) & axis_mask & MAIN_STATUS_BUSY_MASK) {
      result = DRV_AXIS_BUSY;
      return;
    }
    card_cmd32(ext, command_word(axis_mask, CHIP_RANGE), range);
  });
  if (result != DRV_SUCCESS) return result;
  for_each_axis(axis_mask, [&](int axis) { ext->axis[axis].range = range; });
  return DRV_SUCCESS;
}

USHORT chip_set_jerk(CardExtension *ext, ULONG axis_mask, USHORT value) {
  chip_cmd16(ext, command_word(axis_mask, CHIP_JERK), value);
  return chip_set_acc(ext, axis_mask, FIXED_S_CURVE_RATE);
}

USHORT chip_set_dec_jerk(CardExtension *ext, ULONG axis_mask, USHORT value) {
  chip_cmd16(ext, command_word(axis_mask, CHIP_DEC_JERK), value);
  return chip_set_dec(ext, axis_mask, FIXED_S_CURVE_RATE);
}

USHORT chip_set_acc(CardExtension *ext, ULONG axis_mask, USHORT value) {
  return chip_cmd16(ext, command_word(axis_mask, CHIP_ACC), value);
}

USHORT chip_set_dec(CardExtension *ext, ULONG axis_mask, USHORT value) {
  return chip_cmd16(ext, command_word(axis_mask, CHIP_DEC), value);
}

USHORT chip_set_start_speed(CardExtension *ext, ULONG axis_mask, USHORT value) {
  return chip_cmd16(ext, command_word(axis_mask, CHIP_START_SPEED), value);
}

USHORT chip_set_drive_speed(CardExtension *ext, ULONG axis_mask, USHORT value) {
  return chip_cmd16(ext, command_word(axis_mask, CHIP_DRIVE_SPEED), value);
}

USHORT chip_set_acc_offset(CardExtension *ext, ULONG axis_mask, USHORT value) {
  return chip_cmd16(ext, command_word(axis_mask, CHIP_ACC_OFFSET), value);
}

USHORT chip_set_home_speed(CardExtension *ext, ULONG axis_mask, USHORT value) {
  return chip_cmd16(ext, command_word(axis_mask, CHIP_HOME_SPEED), value);
}

USHORT chip_set_pulses(CardExtension *ext, ULONG axis_mask, ULONG value) {
  return chip_cmd32(ext, command_word(axis_mask, CHIP_PULSES), value);
}

USHORT chip_set_dec_point(CardExtension *ext, ULONG axis_mask, ULONG value) {
  return chip_cmd32(ext, command_word(axis_mask, CHIP_DEC_POINT), value);
}

USHORT chip_set_arc_center(CardExtension *ext, ULONG axis_mask, ULONG value) {
  return chip_cmd32(ext, command_word(axis_mask, CHIP_ARC_CENTER), value);
}

USHORT chip_set_comp_plus(CardExtension *ext, ULONG axis_mask, ULONG value) {
  return chip_cmd32(ext, command_word(axis_mask, CHIP_COMP_PLUS), value);
}

USHORT chip_set_comp_minus(CardExtension *ext, ULONG axis_mask, ULONG value) {
  return chip_cmd32(ext, command_word(axis_mask, CHIP_COMP_MINUS), value);
}

USHORT chip_set_cmd_counter(CardExtension *ext, ULONG axis_mask, ULONG value) {
  return chip_cmd32(ext, command_word(axis_mask, CHIP_SET_CMD_COUNTER), value);
}

USHORT chip_set_enc_counter(CardExtension *ext, ULONG axis_mask, ULONG value) {
  return chip_cmd32(ext, command_word(axis_mask, CHIP_SET_ENC_COUNTER), value);
}

/* The two-word commands carry word 1 in REG_DATA_LOW and word 2 in
 * REG_DATA_HIGH. */
USHORT chip_set_ext_mode(CardExtension *ext, ULONG axis_mask, USHORT word1, USHORT word2) {
  return chip_cmd32(ext, command_word(axis_mask, CHIP_EXT_MODE), ((ULONG)word2 << 16) | word1);
}

USHORT chip_set_sync_mode(CardExtension *ext, ULONG axis_mask, USHORT word1, USHORT word2) {
  return chip_cmd32(ext, command_word(axis_mask, CHIP_SYNC_MODE), ((ULONG)word2 << 16) | word1);
}

static ULONG intcsr_bits_of(const IntSourceSet *sources, ULONG torix_bits) {
  ULONG bits = 0;
  if (sources->word[0] & SOURCE_FLAG_PCI) bits |= INTCSR_PCI_ENABLE;
  if (sources->word[0] & SOURCE_FLAG_CHIP) bits |= INTCSR_LOCAL1_ENABLE;
  if (sources->word[1] & SOURCE_FLAG_TORIX) bits |= torix_bits;
  return bits;
}

VOID int_sources_enable(CardExtension *ext, const IntSourceSet *sources) {
  ULONG set = intcsr_bits_of(sources, INTCSR_LOCAL2_ENABLE | INTCSR_LOCAL2_EDGE);
  if (set) intcsr_modify_sync(ext, INTCSR, set, 0);
}

/* The Torix edge-select bit stays as it is when the source goes off. */
VOID int_sources_disable(CardExtension *ext, const IntSourceSet *sources) {
  ULONG clear = intcsr_bits_of(sources, INTCSR_LOCAL2_ENABLE);
  if (clear) intcsr_modify_sync(ext, INTCSR, 0, clear);
}

int axis_mask_to_index(ULONG axis_mask) {
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    if (axis_mask & (1u << axis)) return axis;
  }
  return -1;
}

/* A partner mask relative to an axis (bit 0 = the next axis in the cycle X, Y,
 * Z, U) turned into an absolute mask. */
ULONG rotate_axis_mask(int axis_index, ULONG relative_mask) {
  if (axis_index < 0 || axis_index >= AXIS_COUNT - 1) return relative_mask;
  ULONG mask = (relative_mask << 1) & ALL_AXES;
  for (int turn = 0; turn < axis_index; ++turn) {
    mask = ((mask << 1) | (mask >> 3)) & ALL_AXES;
  }
  return mask;
}

/* A 16-bit access at offset must lie wholly inside the mapped window, on a
 * register boundary. */
static BOOLEAN register_in_window(const BarSlot *slot, ULONG offset) {
  return slot->kernel_address != NULL && (offset & 1) == 0 &&
         offset + sizeof(USHORT) <= slot->length;
}

BOOLEAN register_test(CardExtension *ext, ULONG operation, ULONG offset, USHORT value,
                      PUSHORT read_value) {
  if (operation > REG_TEST_WRITE_BRIDGE) return TRUE;  /* touches nothing */
  const int bar = operation >= REG_TEST_READ_BRIDGE ? BRIDGE_BAR : CARD_BAR;
  if (!register_in_window(&ext->bar[bar], offset)) return FALSE;
  PUSHORT address = (PUSHORT)(ext->bar[bar].kernel_address + offset);
  const BOOLEAN write = (operation & 1) != 0;
  /* A program that writes the chip's data register while a speed-change
   * action is armed gives that action its speed: the driver keeps it. */
  const BOOLEAN speed_for_action =
      write && bar == CARD_BAR && offset == REG_DATA_LOW && speed_change_armed(ext);
  run_synchronized(ext, [&] {
    if (write) {
      WRITE_REGISTER_USHORT(address, value);
      if (speed_for_action) keep_action_speed(ext, value);
    } else {
      *read_value = READ_REGISTER_USHORT(address);
    }
  });
  return TRUE;
}

/* The board revision shows in the lengths of its BAR2 and BAR3 windows. */
ULONG board_date_code(const CardExtension *ext) {
  const ULONG bar2 = ext->bar[2].length;
  const ULONG bar3 = ext->bar[3].length;
  if (bar2 > 0x80) return 0x20060428;
  if (bar2 == 0x80 && bar3 == 0) return 0x20060927;
  if (bar2 == 0x80 && bar3 == 0x80) return 0x20080826;
  return 0xFFFFFFFF;
}

/* The compare trigger (interval and table modes) with its table upload, the
 * compare-output mask and the model-B compare counters.
 *
 * The compare trigger and the synchronous action share an axis's comparators
 * and its two synchronous-action words, so each takes them (axis_owners.cpp)
 * and refuses an axis that the other holds. The trigger's states and table
 * are its record, CompareTrigger; the routines here are its only writers. In
 * table mode the interrupt service routine moves the comparator that matched
 * to the next table entry (load_next_compare_entry); the table fields it
 * reads change under the interrupt lock. */
#include "rm7x0_driver.h"

namespace {

/* REQ_CMPTRIG_CONFIG values. */
constexpr USHORT COMPARE_SOURCE_ENCODER = 32;

/* Sync word 1: the conditions an armed trigger watches. */
constexpr USHORT SYNC1_INTERVAL_COMMAND = SYNC1_COMP_PLUS_UP;
constexpr USHORT SYNC1_INTERVAL_ENCODER = SYNC1_COMP_MINUS_UP;
constexpr USHORT SYNC1_TABLE_INCREASING = SYNC1_COMP_PLUS_UP | SYNC1_COMP_MINUS_UP;
constexpr USHORT SYNC1_TABLE_DECREASING = SYNC1_COMP_PLUS_DOWN | SYNC1_COMP_MINUS_DOWN;
#ifdef RM7X0_MODEL_B
/* Model B: the configuration names the direction of travel; counting down
 * has its own conditions. */
constexpr USHORT SYNC1_INTERVAL_COMMAND_DOWN = SYNC1_COMP_PLUS_DOWN;
constexpr USHORT SYNC1_INTERVAL_ENCODER_DOWN = SYNC1_COMP_MINUS_DOWN;
#endif

/* An armed table needs its first two entries for the comparators. */
constexpr LONG TABLE_MIN_ENTRIES = 2;
/* A table the driver cannot take (none, too long, too short to arm). */
constexpr USHORT DRV_TABLE_REFUSED = DRV_TABLE_CHECKSUM;
constexpr USHORT DRV_TABLE_NOT_LOADED = DRV_CMPTRIG_DISARM;

/* Model-B compare registers of X (index 0) and Y (index 1). */
constexpr ULONG CMP_COUNTER_REGISTER[2] = {REG_CMP_COUNTER_X, REG_CMP_COUNTER_Y};
constexpr ULONG TRIG_COUNTER_LOW_REGISTER[2] = {REG_TRIG_COUNTER_X_LOW, REG_TRIG_COUNTER_Y_LOW};
constexpr ULONG TRIG_COUNTER_HIGH_REGISTER[2] = {REG_TRIG_COUNTER_X_HIGH, REG_TRIG_COUNTER_Y_HIGH};
constexpr ULONG CMP_PITCH_REGISTER[2] = {REG_CMP_PITCH_X, REG_CMP_PITCH_Y};

/* Index 0 (X) or 1 (Y) of an axis mask that names exactly one of them, else -1. */
int compare_register_index(ULONG axis_mask) {
  if (axis_mask == 1) return 0;
  if (axis_mask == 2) return 1;
  return -1;
}

/* Ring counter on or off, and the compare-output bits of extension word 2
 * (above the home steps); each change is made with its word's write. */
VOID set_trigger_ext_words(CardExtension *ext, int axis, BOOLEAN ring_counter, USHORT output) {
  set_ext_field(ext, axis, SHADOW_EXT_WORD1, EXT1_RING_COUNTER,
                ring_counter ? EXT1_RING_COUNTER : 0);
  set_ext_field(ext, axis, SHADOW_EXT_WORD2, (USHORT)~EXT2_BELOW_OUTPUT, output);
}

/* The compare-output bits of a configuration request: its direction word
 * and output word. The model-B library sends an output line 1..15 in the
 * output word instead of output bits; its card has one compare output per
 * axis, switched on by the same bit. */
USHORT trigger_output_word(const DriverRequest *block) {
#ifdef RM7X0_MODEL_B
  return (USHORT)(slot_u16(block, CMPTRIG_CONFIG_DIRECTION) | EXT2_COMPARE_OUTPUT);
#else
  return (USHORT)(slot_u16(block, CMPTRIG_CONFIG_DIRECTION) |
                  slot_u16(block, CMPTRIG_CONFIG_OUTPUT));
#endif
}

/* The conditions of the interval trigger. The model-B library names the
 * direction of travel (1 plus); the model-A trigger counts up. */
USHORT interval_conditions(const DriverRequest *block, USHORT source) {
  const BOOLEAN encoder = source == COMPARE_SOURCE_ENCODER;
#ifdef RM7X0_MODEL_B
  if (slot_u8(block, CMPTRIG_CONFIG_TRAVEL) != TRAVEL_PLUS)
    return encoder ? SYNC1_INTERVAL_ENCODER_DOWN : SYNC1_INTERVAL_COMMAND_DOWN;
#else
  UNREFERENCED_PARAMETER(block);
#endif
  return encoder ? SYNC1_INTERVAL_ENCODER : SYNC1_INTERVAL_COMMAND;
}

/* The model-B card's trigger counter starts at the position of the first
 * trigger, which that library sends with the configuration. */
VOID preset_trigger_counter(CardExtension *ext, int axis, const DriverRequest *block) {
#ifdef RM7X0_MODEL_B
  const int index = compare_register_index(1u << axis);
  const ULONG start = slot_u32(block, CMPTRIG_CONFIG_START);
  run_synchronized(ext, [&] {
    card_write16(ext, TRIG_COUNTER_LOW_REGISTER[index], (USHORT)start);
    card_write16(ext, TRIG_COUNTER_HIGH_REGISTER[index], (USHORT)(start >> 16));
  });
#else
  UNREFERENCED_PARAMETER(ext);
  UNREFERENCED_PARAMETER(axis);
  UNREFERENCED_PARAMETER(block);
#endif
}

/* The trigger state of X or Y (index 0-1). */
LONG trigger_state(const CardExtension *ext, int axis) { return ext->compare.state[axis]; }

/* Under the interrupt lock: the table's state changes. */
VOID set_table_state(CardExtension *ext, CompareTableState state) {
  InterlockedExchange(&ext->compare.compare_mode, state);
}

/* The table's run ends, its table kept (COMPARE_TABLE_TAKEN) or gone
 * (COMPARE_TABLE_NONE): the reload stops, no axis is the table's any more,
 * the chip interrupt goes off unless another axis still needs it, the Torix
 * interrupt comes back. */
VOID end_table_run(CardExtension *ext, CompareTableState next) {
  CompareTrigger *trigger = &ext->compare;
  run_synchronized(ext, [&] {
    set_table_state(ext, next);
    trigger->compare_axis = 0;
    if (next == COMPARE_TABLE_NONE) {
      InterlockedExchange(&trigger->compare_index, 0);
      InterlockedExchange(&trigger->compare_count, 0);
    }
  });
  switch_chip_interrupt_off_when_unused(ext);
  if (ext->torix_interrupt) {
    const IntSourceSet torix = {{0, SOURCE_FLAG_TORIX}};
    int_sources_enable(ext, &torix);
  }
}

/* The counters go to the ring's last value; where they stood goes back in
 * the reply, so that the library keeps its absolute position. */
VOID set_counters_for_ring(CardExtension *ext, int axis, ULONG last, DriverRequest *block) {
  ULONG command = 0, encoder = 0;
  chip_read32(ext, command_word(1u << axis, CHIP_READ_CMD_COUNTER), &command);
  chip_read32(ext, command_word(1u << axis, CHIP_READ_ENC_COUNTER), &encoder);
  chip_set_cmd_counter(ext, 1u << axis, last);
  chip_set_enc_counter(ext, 1u << axis, last);
  set_slot(block, CMPTRIG_CONFIG_REPLY_COMMAND_BEFORE, command);
  set_slot(block, CMPTRIG_CONFIG_REPLY_ENCODER_BEFORE, encoder);
}

/* Interval mode: a ring counter of the pitch with both comparators and both
 * counters at its last value fires once per pitch. */
VOID arm_interval_mode(CardExtension *ext, int axis, DriverRequest *block) {
  const USHORT source = slot_u16(block, CMPTRIG_CONFIG_SOURCE);
  const LONG pitch = (LONG)slot_u32(block, CMPTRIG_CONFIG_PITCH);
  /* The ring is as long as the pitch; its sign is the model-B library's. */
  const ULONG last = (pitch < 0 ? 0u - (ULONG)pitch : (ULONG)pitch) - 1;
  ext->compare.compare_pitch[axis] = pitch;
  if (trigger_state(ext, axis) == COMPARE_TABLE)  /* re-armed in interval mode */
    end_table_run(ext, COMPARE_TABLE_TAKEN);
  set_comp_registers(ext, axis, source, TRUE, last, TRUE, last);
  store_sync_words(ext, axis, interval_conditions(block, source), 0);
  set_counters_for_ring(ext, axis, last, block);
  set_trigger_ext_words(ext, axis, TRUE, trigger_output_word(block));
  store_sync_words(ext, axis, ext->axis[axis].shadow[SHADOW_SYNC_WORD1], SYNC2_ACTIVE);
  preset_trigger_counter(ext, axis, block);
}

/* Table mode: the comparators take entries 0 and 1; each match raises the
 * sync-action factor, on which the interrupt service routine loads the next
 * entry. The table index starts over at every arming. */
USHORT arm_table_mode(CardExtension *ext, int axis, const DriverRequest *block) {
  CompareTrigger *trigger = &ext->compare;
  if (read_interlocked(&trigger->compare_mode) == COMPARE_TABLE_NONE ||
      read_interlocked(&trigger->compare_count) < TABLE_MIN_ENTRIES)
    return DRV_TABLE_NOT_LOADED;
  /* The interrupt service reloads this axis, and tells its matches, from the
   * moment the table mode is on. */
  run_synchronized(ext, [&] { trigger->compare_axis = (USHORT)(1u << axis); });
  const USHORT conditions =
      slot_u8(block, CMPTRIG_CONFIG_TRAVEL) == TABLE_INCREASING ? SYNC1_TABLE_INCREASING
                                                                : SYNC1_TABLE_DECREASING;
  store_sync_words(ext, axis, conditions, SYNC2_INTERRUPT);
  set_comp_registers(ext, axis, slot_u16(block, CMPTRIG_CONFIG_SOURCE), TRUE,
                     trigger->compare_table[0], TRUE, trigger->compare_table[1]);
  set_trigger_ext_words(ext, axis, FALSE, trigger_output_word(block));
  /* The reload is ready before the first match can come. */
  run_synchronized(ext, [&] {
    InterlockedExchange(&trigger->compare_index, TABLE_MIN_ENTRIES);
    set_table_state(ext, COMPARE_TABLE_RELOADING);
  });
  switch_chip_interrupt_on(ext);
  const IntSourceSet torix = {{0, SOURCE_FLAG_TORIX}};
  int_sources_disable(ext, &torix);
  clear_stale_chip_interrupt(ext);
  store_sync_words(ext, axis, conditions, SYNC2_INTERRUPT | SYNC2_ACTIVE);
  return DRV_SUCCESS;
}

/* Another axis than this one runs the card's one table, which the interrupt
 * service reloads for that axis alone. */
BOOLEAN table_held_by_other_axis(const CardExtension *ext, int axis) {
  const USHORT table_axis = ext->compare.compare_axis;
  return table_axis != 0 && table_axis != (USHORT)(1u << axis);
}

/* Only X and Y have a compare output; the axis is the first of the mask.
 * Each of them keeps its own interval trigger in its own words; the table
 * trigger is one per card, so a table for the other axis is refused while
 * one axis holds it. */
USHORT cmptrig_arm(CardExtension *ext, DriverRequest *block) {
  const int axis = axis_mask_to_index(slot_u16(block, SLOT_AXES));
  if (axis < 0 || compare_register_index(1u << axis) < 0) return DRV_CMPTRIG_DISARM;
  const BOOLEAN interval = slot_u16(block, CMPTRIG_CONFIG_MODE) == CMPTRIG_INTERVAL_MODE;
  if (!interval && table_held_by_other_axis(ext, axis)) return DRV_CONFLICT_CMPTRIG;
  USHORT refusal = check_axis_motion(ext, axis, OWNER_COMPARE);
  if (refusal == DRV_SUCCESS) refusal = check_axis_sync(ext, axis, SYNC_OWNER_COMPARE);
  if (refusal != DRV_SUCCESS) return refusal;

  if (interval) {
    arm_interval_mode(ext, axis, block);
  } else {
    refusal = arm_table_mode(ext, axis, block);
    if (refusal != DRV_SUCCESS) return refusal;
  }
  ext->compare.state[axis] = interval ? COMPARE_INTERVAL : COMPARE_TABLE;
  hold_comparators(ext, axis, OWNER_COMPARE);
  hold_sync_words(ext, axis, SYNC_OWNER_COMPARE);
  return DRV_SUCCESS;
}

/* Table mode ends: the table is gone (a new arming needs a new upload). */
VOID end_table_mode(CardExtension *ext) {
  end_table_run(ext, COMPARE_TABLE_NONE);
  if (ext->buffer.kernel_address != NULL)
    RtlZeroMemory(ext->buffer.kernel_address, ext->buffer.length);
}

/* An armed trigger whose sync word 2 is no longer active was released: its
 * disarm changes nothing. */
USHORT cmptrig_disarm(CardExtension *ext, int axis) {
  DriverAxisState *state = &ext->axis[axis];
  const LONG armed = trigger_state(ext, axis);
  if (armed == COMPARE_IDLE) return DRV_CMPTRIG_DISARM;
  if (!(state->shadow[SHADOW_SYNC_WORD2] & SYNC2_ACTIVE)) return DRV_SUCCESS;
  store_sync_words(ext, axis, 0, 0);
  set_trigger_ext_words(
      ext, axis, FALSE,
      (USHORT)((state->shadow[SHADOW_EXT_WORD2] & ~EXT2_BELOW_OUTPUT) | EXT2_COMPARE_OUTPUT));
  if (armed == COMPARE_TABLE) end_table_mode(ext);
  ext->compare.state[axis] = COMPARE_IDLE;
  release_comparators(ext, axis, OWNER_COMPARE);
  release_sync_words(ext, axis, SYNC_OWNER_COMPARE);
  return DRV_SUCCESS;
}

/* Byte sum of the first `length` bytes of the shared buffer. */
ULONG shared_buffer_checksum(const CardExtension *ext, ULONG length) {
  const UCHAR *bytes = (const UCHAR *)ext->buffer.kernel_address;
  ULONG sum = 0;
  for (ULONG i = 0; i < length; ++i) sum += bytes[i];
  return sum;
}

/* 32-bit read of a model-B compare counter (not 4-byte aligned). */
ULONG read_card_register32(CardExtension *ext, ULONG offset) {
  ULONG value = 0;
  run_synchronized(ext, [&] {
    value = READ_REGISTER_ULONG((PULONG)(ext->bar[CARD_BAR].kernel_address + offset));
  });
  return value;
}

}  // namespace

/* ---- the record ------------------------------------------------------------ */

BOOLEAN compare_table_reloading(CardExtension *ext) {
  return read_interlocked(&ext->compare.compare_mode) == COMPARE_TABLE_RELOADING;
}

int compare_table_axis(const CardExtension *ext) {
  return axis_mask_to_index(ext->compare.compare_axis);
}

/* The index is checked against the count before the entry is read, so a
 * short table is never read past its end. */
VOID load_next_compare_entry(CardExtension *ext) {
  CompareTrigger *trigger = &ext->compare;
  const LONG index = trigger->compare_index;
  if (index < trigger->compare_count) {
    const ULONG entry = trigger->compare_table[index];
    const UCHAR comparator = (index & 1) ? CHIP_COMP_MINUS : CHIP_COMP_PLUS;
    card_cmd32(ext, command_word(trigger->compare_axis, comparator), entry);
  }
  if (index + 1 >= trigger->compare_count) {
    set_table_state(ext, COMPARE_TABLE_RUN_OUT);
    InterlockedExchange(&trigger->compare_index, 0);
  } else {
    InterlockedIncrement(&trigger->compare_index);
  }
}

VOID keep_factor_for_dpc(CardExtension *ext, int axis, USHORT factor) {
  InterlockedOr(&ext->compare.factor_for_dpc[axis], factor);
}

USHORT take_factor_for_dpc(CardExtension *ext, int axis) {
  return (USHORT)InterlockedExchange(&ext->compare.factor_for_dpc[axis], 0);
}

/* Factors kept for the DPC may wait in a DPC queued for another source. */
BOOLEAN factors_left_for_dpc(CardExtension *ext) {
  for (volatile LONG &factor : ext->compare.factor_for_dpc) {
    if (read_interlocked(&factor)) return TRUE;
  }
  return FALSE;
}

/* The table is the driver's copy: it goes with the rest, under the lock the
 * interrupt service routine reads it under. */
VOID compare_trigger_reset(CardExtension *ext) {
  CompareTrigger *trigger = &ext->compare;
  run_synchronized(ext, [&] {
    set_table_state(ext, COMPARE_TABLE_NONE);
    trigger->compare_axis = 0;
    InterlockedExchange(&trigger->compare_index, 0);
    InterlockedExchange(&trigger->compare_count, 0);
    RtlZeroMemory(trigger->compare_table, sizeof trigger->compare_table);
    for (volatile LONG &factor : trigger->factor_for_dpc) InterlockedExchange(&factor, 0);
  });
  RtlZeroMemory(trigger->state, sizeof trigger->state);
  RtlZeroMemory(trigger->compare_pitch, sizeof trigger->compare_pitch);
}

/* ---- requests ------------------------------------------------------------ */

/* The library has copied the table into the shared buffer; its byte sum must
 * match before the table is taken into the driver's own copy. A length
 * beyond the buffer is refused before any byte is read. A table for another
 * axis than the one whose table trigger runs is refused: the running one
 * stays as it is. */
USHORT upload_compare_table(RequestContext *request) {
  CardExtension *ext = request->ext;
  const ULONG length = slot_u32(request->block, UPLOAD_COMPARE_TABLE_LENGTH);
  const int axis = axis_mask_to_index(slot_u16(request->block, SLOT_AXES));
  if (axis >= 0 && table_held_by_other_axis(ext, axis)) return DRV_CONFLICT_CMPTRIG;
  if (ext->buffer.kernel_address == NULL || length > ext->buffer.length) return DRV_TABLE_REFUSED;
  if (shared_buffer_checksum(ext, length) != slot_u32(request->block, UPLOAD_COMPARE_TABLE_SUM))
    return DRV_TABLE_CHECKSUM;
  CompareTrigger *trigger = &ext->compare;
  run_synchronized(ext, [&] {
    RtlCopyMemory(trigger->compare_table, ext->buffer.kernel_address, length);
    InterlockedExchange(&trigger->compare_count, (LONG)(length / sizeof(ULONG)));
    InterlockedExchange(&trigger->compare_index, TABLE_MIN_ENTRIES);
    InterlockedCompareExchange(&trigger->compare_mode, COMPARE_TABLE_TAKEN, COMPARE_TABLE_NONE);
  });
  return DRV_SUCCESS;
}

USHORT cmptrig_config(RequestContext *request) {
  CardExtension *ext = request->ext;
  DriverRequest *block = request->block;
  const USHORT axis_mask = slot_u16(block, SLOT_AXES);
  switch (slot_u16(block, CMPTRIG_CONFIG_ENABLE)) {
    case CMPTRIG_ARM:
      return cmptrig_arm(ext, block);
    case 0: {
      /* Each armed axis is disarmed on its own. */
      const int index = compare_register_index(axis_mask);
      if (index >= 0 && trigger_state(ext, index) != COMPARE_IDLE)
        return cmptrig_disarm(ext, index);
      /* Not armed: only the output bits change. */
      const int axis = axis_mask_to_index(axis_mask);
      if (axis >= 0)
        set_trigger_ext_words(ext, axis,
                              (ext->axis[axis].shadow[SHADOW_EXT_WORD1] & EXT1_RING_COUNTER) != 0,
                              trigger_output_word(block));
      return DRV_SUCCESS;
    }
    default:
      return DRV_SUCCESS;
  }
}

/* Bit 7 of mode register 3 of X and Y routes the compare-mask input; then
 * each flag 1 sets, 0 clears and any other value leaves its bit. */
USHORT set_cmp_mask_in3(RequestContext *request) {
  CardExtension *ext = request->ext;
  for (int axis = 0; axis < 2; ++axis)
    set_mode_field(ext, axis, SHADOW_MODE3, MODE3_COMPARE_MASK_INPUT, MODE3_COMPARE_MASK_INPUT);
  USHORT set = 0, clear = 0;
  for (int flag = 0; flag < CMP_MASK_FLAGS; ++flag) {
    const USHORT bit = (USHORT)(1u << (CMP_MASK_FIRST_BIT + flag));
    const UCHAR value = slot_u8(request->block, SET_CMP_MASK_IN3_FLAGS + flag);
    if (value == 1) set |= bit;
    if (value == 0) clear |= bit;
  }
  run_synchronized(ext, [&] {
    const USHORT mask = card_read16(ext, REG_CMP_MASK);
    card_write16(ext, REG_CMP_MASK, (USHORT)((mask & ~clear) | set));
  });
  return DRV_SUCCESS;
}

/* The model-B counters of X and Y; any other axis answers 0. */
template <typename Read>
static USHORT answer_compare_register(RequestContext *request, Read read) {
  const int index = compare_register_index(slot_u16(request->block, SLOT_AXES));
  set_slot(request->block, AXIS_QUERY_REPLY_VALUE, index < 0 ? 0 : read(request->ext, index));
  return DRV_SUCCESS;
}

USHORT get_cmp_counter(RequestContext *request) {
  return answer_compare_register(request, [](CardExtension *ext, int index) {
    return read_card_register32(ext, CMP_COUNTER_REGISTER[index]);
  });
}

USHORT get_cmp_trig_counter(RequestContext *request) {
  return answer_compare_register(request, [](CardExtension *ext, int index) {
    ULONG value = 0;
    run_synchronized(ext, [&] {
      value = card_read16(ext, TRIG_COUNTER_LOW_REGISTER[index]) |
              ((ULONG)card_read16(ext, TRIG_COUNTER_HIGH_REGISTER[index]) << 16);
    });
    return value;
  });
}

/* The register holds the ring's low 16 bits; the pitch of an armed interval
 * trigger, wider or negative, comes from the driver's record when the
 * register agrees with it. */
USHORT get_cmp_pitch(RequestContext *request) {
  return answer_compare_register(request, [](CardExtension *ext, int index) {
    const ULONG low = card_read16_sync(ext, CMP_PITCH_REGISTER[index]);
    const BOOLEAN interval_armed = trigger_state(ext, index) == COMPARE_INTERVAL;
    const LONG pitch = ext->compare.compare_pitch[index];
    const ULONG size = pitch < 0 ? 0u - (ULONG)pitch : (ULONG)pitch;
    return interval_armed && (size & 0xFFFFu) == low ? (ULONG)pitch : low;
  });
}

/* Line and arc interpolation, continuous interpolation and its segment
 * table.
 *
 * A line or arc drives two or three axes along one path from the master's
 * registers. A continuous interpolation keeps the chip's one queued segment
 * filled: the library either writes each next segment itself
 * (REQ_CONTI_*_MOVE) or stores a table that the DPC hands over one segment
 * per next-segment interrupt (conti_feed_segment).
 *
 * The card's Interpolation record holds both, with one state (InterpState).
 * An end that finds a table run still handing its segments over leaves it to
 * run them all; an end that finds any other path still running closes the
 * run at once (nothing more is fed, the final deceleration is on) and leaves
 * it closing until its axes stand: only then are the partner ranges given
 * back. The run and its segment table belong to the conti lock: each
 * continuous request runs whole under it, and so does each feed and run end
 * of the DPC. */
#include "rm7x0_driver.h"

namespace {

/* Partner ranges of a constant vector speed, in thousandths of the master's. */
constexpr ULONGLONG SECOND_AXIS_STRETCH = 1414;
constexpr ULONGLONG THIRD_AXIS_STRETCH = 1732;

enum InterpKind { T_LINE, S_LINE, T_ARC };

/* Where the values of a line or arc request lie. */
struct InterpShape {
  InterpKind kind;
  int axis_count;
  int finish_slot;       /* the finish points (an arc's centre has slots of its own) */
  int tail_slot;         /* offset pulses or deceleration point */
  int wait_slot;
};

constexpr InterpShape T_LINE2 = {T_LINE, 2, INTERP_FINISH, LINE2_MOVE_TAIL, LINE2_MOVE_WAIT};
constexpr InterpShape T_LINE3 = {T_LINE, 3, INTERP_FINISH, LINE3_MOVE_TAIL, LINE3_MOVE_WAIT};
constexpr InterpShape S_LINE2 = {S_LINE, 2, INTERP_FINISH, LINE2_MOVE_TAIL, LINE2_MOVE_WAIT};
constexpr InterpShape S_LINE3 = {S_LINE, 3, INTERP_FINISH, LINE3_MOVE_TAIL, LINE3_MOVE_WAIT};
constexpr InterpShape T_ARC2 = {T_ARC, 2, T_ARC2_MOVE_FINISH, T_ARC2_MOVE_DECEL_POINT,
                                T_ARC2_MOVE_WAIT};

/* Axis bits of an assignment word: master bits 0-1, second 2-3, third 4-5. */
ULONG assigned_axis(USHORT assignment, int position) {
  return 1u << ((assignment >> (INTERP_AXIS_FIELD_BITS * position)) & INTERP_AXIS_INDEX_MASK);
}

LONG interp_state(CardExtension *ext) { return read_interlocked(&ext->interp.state); }

VOID enter_state(CardExtension *ext, InterpState state) {
  InterlockedExchange(&ext->interp.state, state);
}

/* A continuous run is open: from its begin or configuration until its end. */
bool is_open_run(LONG state) {
  switch (state) {
    case INTERP_CONTI2:
    case INTERP_CONTI3:
    case INTERP_CONTI_FED:
    case INTERP_TABLE_LOADED:
    case INTERP_TABLE_RUNNING: return true;
    default: return false;
  }
}

bool is_closing(LONG state) { return state == INTERP_CLOSING || state == INTERP_TABLE_CLOSING; }

/* Interpolation mode := (shadow AND keep) OR set, written and kept. */
VOID write_interp_mode(CardExtension *ext, USHORT keep, USHORT set) {
  run_synchronized(ext, [&] {
    ext->interp.shadow = (USHORT)((ext->interp.shadow & keep) | set);
    card_write16(ext, REG_INTERP_MODE, ext->interp.shadow);
  });
}

VOID write_profile_mode(CardExtension *ext, ULONG axis_bit, USHORT mode) {
  const int axis = axis_mask_to_index(axis_bit);
  if (axis >= 0) set_profile_mode(ext, axis, mode);
}

/* Step 2 of a line or arc: the constant vector speed and the axes. */
VOID set_interp_mode_for_move(CardExtension *ext, USHORT assignment, const ULONG axes[3],
                              int axis_count) {
  USHORT vector = 0;
  if (ext->interp.line_arc_option) {
    vector = axis_count == 3 ? INTERP_CONSTANT_VECTOR_3 : INTERP_CONSTANT_VECTOR_2;
    const ULONG master_range = ext->axis[axis_mask_to_index(axes[0])].range;
    stretch_partner_range(ext, axes[1], master_range, SECOND_AXIS_STRETCH);
    if (axis_count == 3) stretch_partner_range(ext, axes[2], master_range, THIRD_AXIS_STRETCH);
  }
  write_interp_mode(ext, (USHORT) ~(INTERP_CONSTANT_VECTOR_FIELD | INTERP_ASSIGNMENT_FIELD),
                    (USHORT)(vector | (assignment & INTERP_ASSIGNMENT_FIELD)));
}

/* The speeds of a line or arc lie in the slots of a single-axis move; its
 * tail has a slot of its own (the pulses are the finish points, not used). */
MoveProfile interp_speeds(const DriverRequest *block, const InterpShape &shape) {
  MoveProfile speeds = profile_of_slots(block, INTERP_PROFILE);
  speeds.tail = slot_u32(block, shape.tail_slot);
  return speeds;
}

/* Step 4: the speed registers of the master. An S-curve line loads them as
 * a single-axis S-curve move does; a T-curve differs in its order, and a
 * constant speed never loads a deceleration. */
VOID load_interp_speeds(CardExtension *ext, ULONG master, InterpKind kind,
                        const MoveProfile &speeds) {
  if (kind == S_LINE) {
    load_s_curve_speeds(ext, master, &speeds);
    return;
  }
  chip_set_drive_speed(ext, master, speeds.drive_speed);
  chip_set_acc(ext, master, speeds.rate);
  if (constant_speed_mode(speeds.mode)) {
    chip_set_start_speed(ext, master, speeds.drive_speed);
  } else {
    chip_set_start_speed(ext, master, speeds.start_speed);
    if (kind == T_LINE && (speeds.mode & MODE_OWN_DECELERATION))
      chip_set_dec(ext, master, speeds.decel_rate);
    if (kind == T_ARC) {
      chip_set_dec_point(ext, master, speeds.tail);
      chip_command(ext, command_word(master, CHIP_INTERP_DEC_ON));
    }
  }
  if (kind == T_LINE) chip_set_acc_offset(ext, master, (USHORT)speeds.tail);
}

/* Only the two arc codes reach the chip; anything else runs clockwise. */
UCHAR arc_command(ULONG value) { return value == CHIP_ARC_CCW ? CHIP_ARC_CCW : CHIP_ARC_CW; }

USHORT start_interpolation(RequestContext *request, const InterpShape &shape) {
  CardExtension *ext = request->ext;
  const DriverRequest *block = request->block;
  const USHORT assignment = slot_u16(block, INTERP_ASSIGNMENT);
  const ULONG axes[3] = {assigned_axis(assignment, 0), assigned_axis(assignment, 1),
                         shape.axis_count == 3 ? assigned_axis(assignment, 2) : 0};
  if (!interp_axes_free(ext, axes[0], axes[1], axes[2])) {
    set_slot(request->block, REPLY_FAILING_AXES, 0);
    return DRV_INTERP_BUSY;
  }
  set_interp_mode_for_move(ext, assignment, axes, shape.axis_count);
  write_profile_mode(ext, axes[0], slot_u16(block, INTERP_MODE));
  load_interp_speeds(ext, axes[0], shape.kind, interp_speeds(block, shape));

  for (int position = 0; position < shape.axis_count; ++position)
    chip_set_pulses(ext, axes[position], slot_u32(block, shape.finish_slot + position));
  if (shape.kind == T_ARC) {
    chip_set_arc_center(ext, axes[0], slot_u32(block, T_ARC2_MOVE_CENTER));
    chip_set_arc_center(ext, axes[1], slot_u32(block, T_ARC2_MOVE_CENTER + 1));
  }

  start_path_end_flags(ext, axes[0] | axes[1] | axes[2]);
  InterlockedExchange(&ext->interp.line.axes, (LONG)(axes[0] | axes[1] | axes[2]));
  enter_state(ext, INTERP_SINGLE);
  chip_command(ext, command_word(axes[0], CHIP_INTERP_DEC_ON));
  const UCHAR code = shape.kind == T_ARC     ? arc_command(slot_u32(block, T_ARC2_MOVE_DIRECTION))
                     : shape.axis_count == 3 ? CHIP_LINE3
                                             : CHIP_LINE2;
  chip_command(ext, command_word(axes[0], code));
  return DRV_SUCCESS;
}

USHORT start_t_line2(RequestContext *request) { return start_interpolation(request, T_LINE2); }
USHORT start_t_line3(RequestContext *request) { return start_interpolation(request, T_LINE3); }
USHORT start_s_line2(RequestContext *request) { return start_interpolation(request, S_LINE2); }
USHORT start_s_line3(RequestContext *request) { return start_interpolation(request, S_LINE3); }
USHORT start_t_arc2(RequestContext *request) { return start_interpolation(request, T_ARC2); }

/* A line or arc waits on its master's drive end: with wait flag 1 the
 * request itself waits (refused while another interpolation runs), with any
 * other flag only the factor is armed. */
USHORT waited_interpolation(RequestContext *request, const InterpShape &shape,
                            RequestHandler *start) {
  CardExtension *ext = request->ext;
  const USHORT assignment = slot_u16(request->block, INTERP_ASSIGNMENT);
  const ULONG master = assigned_axis(assignment, 0);
  const BOOLEAN wait = slot_u16(request->block, shape.wait_slot) == 1;
  settle_single_interpolation(ext);
  if (wait && interpolation_running(ext)) return DRV_INTERP_BUSY;
  if (wait) {
    const USHORT refusal = wait_refusal(ext, master);
    if (refusal != DRV_SUCCESS) return refusal;
  }
  /* An axis of the path that already drives: refused before anything is
   * armed, as the path would never start and its drive end never come. */
  const ULONG axes = master | assigned_axis(assignment, 1) |
                     (shape.axis_count == 3 ? assigned_axis(assignment, 2) : 0);
  /* So is a line while a closed run's path still runs out: the chip runs
   * one path at a time. */
  if (check_axis_idle(ext, axes) != DRV_SUCCESS || is_closing(interp_state(ext))) {
    set_slot(request->block, REPLY_FAILING_AXES, 0);
    return DRV_INTERP_BUSY;
  }
  return run_waited_start(request, master, FACTOR_DRIVE_END, wait, start);
}

/* ---- Continuous interpolation ------------------------------------------- */

/* A continuous interpolation is running on recorded axes. */
bool conti_active(CardExtension *ext) { return is_open_run(interp_state(ext)); }

/* Failing conti axes: the error bits of the main status. */
USHORT conti_errors(const CardExtension *ext, USHORT status) {
  return (USHORT)((status >> MAIN_STATUS_ERROR_SHIFT) & ext->interp.run.conti_mask);
}

/* What begin and configuration share: the checks, the state and the axes. */
USHORT start_conti_run(CardExtension *ext, USHORT assignment) {
  const bool three_axes = (assignment & INTERP_THIRD_AXIS_FIELD) != 0;
  const ULONG master = assigned_axis(assignment, 0), second = assigned_axis(assignment, 1);
  const ULONG third = three_axes ? assigned_axis(assignment, 2) : 0;
  if (!interp_axes_free(ext, master, second, 0)) return DRV_INTERP_BUSY;
  enter_state(ext, three_axes ? INTERP_CONTI3 : INTERP_CONTI2);
  ContiRun *run = &ext->interp.run;
  run->conti_axis[0] = (USHORT)master;
  run->conti_axis[1] = (USHORT)second;
  run->conti_axis[2] = (USHORT)third;
  run->conti_saved_range[0] = ext->axis[axis_mask_to_index(second)].range;
  run->conti_saved_range[1] = third ? ext->axis[axis_mask_to_index(third)].range : 0;
  run->conti_mask = (USHORT)(master | second | third);
  write_interp_mode(ext, (USHORT)~(INTERP_CONSTANT_VECTOR_FIELD | INTERP_ASSIGNMENT_FIELD),
                    (USHORT)((assignment & INTERP_ASSIGNMENT_FIELD) |
                             (three_axes ? INTERP_CONSTANT_VECTOR_3 : INTERP_CONSTANT_VECTOR_2) |
                             INTERP_MODE_CONTINUOUS));
  chip_command(ext, command_word(master, CHIP_INTERP_DEC_OFF));
  start_path_end_flags(ext, run->conti_mask);
  return DRV_SUCCESS;
}

VOID restore_conti_ranges(CardExtension *ext) {
  const ContiRun *run = &ext->interp.run;
  for (int partner = 0; partner < 2; ++partner) {
    const ULONG axis = run->conti_axis[partner + 1];
    if (axis) chip_set_range(ext, axis, run->conti_saved_range[partner]);
  }
}

/* The end of a run: idle, no axes, the interpolation mode cleared and the
 * master's deceleration back on. */
VOID leave_conti_run(CardExtension *ext) {
  ContiRun *run = &ext->interp.run;
  const ULONG master = run->conti_axis[0];
  enter_state(ext, INTERP_IDLE);
  RtlZeroMemory(run->conti_axis, sizeof run->conti_axis);
  run->conti_mask = 0;
  write_interp_mode(ext, (USHORT)~(INTERP_CONSTANT_VECTOR_FIELD | INTERP_ASSIGNMENT_FIELD), 0);
  chip_command(ext, command_word(master, CHIP_INTERP_DEC_ON));
}

/* A new run starts on an empty table; a running table is never emptied. */
VOID empty_segment_table(CardExtension *ext) {
  ContiTable *table = &ext->interp.table;
  table->segment_count = 0;
  table->next_segment = 0;
  RtlZeroMemory(table->segment, sizeof table->segment);
}

enum SegmentShape { SEGMENT_LINE2, SEGMENT_LINE3, SEGMENT_ARC2 };

struct SegmentWords {
  SegmentShape shape;
  const LONG *finish;  /* one point per axis of the shape */
  const LONG *center;  /* arcs only */
  UCHAR arc_code;
};

/* Under the interrupt lock: the segment's points and its command. */
VOID write_segment(CardExtension *ext, const SegmentWords &segment) {
  const USHORT *conti_axis = ext->interp.run.conti_axis;
  const int axis_count = segment.shape == SEGMENT_LINE3 ? 3 : 2;
  for (int position = 0; position < axis_count; ++position)
    card_cmd32(ext, command_word(conti_axis[position], CHIP_PULSES),
               (ULONG)segment.finish[position]);
  if (segment.shape == SEGMENT_ARC2) {
    card_cmd32(ext, command_word(conti_axis[0], CHIP_ARC_CENTER), (ULONG)segment.center[0]);
    card_cmd32(ext, command_word(conti_axis[1], CHIP_ARC_CENTER), (ULONG)segment.center[1]);
  }
  start_path_end_flags(ext, ext->interp.run.conti_mask);
  const UCHAR code = segment.shape == SEGMENT_ARC2    ? arc_command(segment.arc_code)
                     : segment.shape == SEGMENT_LINE3 ? CHIP_LINE3
                                                      : CHIP_LINE2;
  card_write16(ext, REG_COMMAND, command_word(conti_axis[0], code));
}

/* Under the interrupt lock: the checks of the main status read once, then
 * the segment. A following segment is handed over with the master's drive
 * starts held: a chain that ran out after its status was read would
 * otherwise restart from standstill on this segment, as a path of its own
 * that ends as if nothing broke. A start the hold caught is dropped, and the
 * answer says the chain broke. */
USHORT hand_over_segment(CardExtension *ext, const SegmentWords &segment, BOOLEAN following,
                         PUSHORT failing) {
  const ULONG master = ext->interp.run.conti_axis[0];
  const bool hold = following && !held_starts_in_chip_locked(ext, master);
  if (hold) card_write16(ext, REG_COMMAND, command_word(master, CHIP_DRIVE_HOLD));
  const USHORT status = card_read16(ext, REG_COMMAND);
  const bool master_driving = (status & master) != 0;
  *failing = conti_errors(ext, status);
  USHORT word = DRV_SUCCESS;
  if (following && !master_driving) word = DRV_CONTI_INTERRUPTED;
  else if (!following && master_driving) word = DRV_AXIS_BUSY;
  else if (*failing) word = DRV_MOVE_CHECK_FAILED;
  else if (following && !(status & MAIN_STATUS_NEXT_SEGMENT)) word = DRV_CONTI_NEXT_NOT_READY;
  if (word == DRV_SUCCESS) {
    write_segment(ext, segment);
    if (following && !(card_read16(ext, REG_COMMAND) & master)) {
      card_write16(ext, REG_COMMAND, command_word(master, CHIP_SUDDEN_STOP));
      word = DRV_CONTI_INTERRUPTED_2;
    }
  }
  if (hold) card_write16(ext, REG_COMMAND, command_word(master, CHIP_DRIVE_RELEASE));
  return word;
}

/* The run's first segment started: the application feeds the next ones,
 * or the table it stored before. */
VOID first_segment_started(CardExtension *ext) {
  const LONG state = interp_state(ext);
  if (state == INTERP_CONTI2 || state == INTERP_CONTI3) enter_state(ext, INTERP_CONTI_FED);
  if (state == INTERP_TABLE_LOADED) enter_state(ext, INTERP_TABLE_RUNNING);
}

/* A segment stored in the table of an open run: a run that started runs the
 * table now, one that did not runs it from its start. A segment stored
 * outside an open run waits for nothing: the next run empties the table. */
VOID segment_stored(CardExtension *ext) {
  const LONG state = interp_state(ext);
  if (state == INTERP_CONTI2 || state == INTERP_CONTI3) enter_state(ext, INTERP_TABLE_LOADED);
  if (state == INTERP_CONTI_FED) enter_state(ext, INTERP_TABLE_RUNNING);
}

/* One segment to the chip. *failing receives the failing axes of 0x800C. */
USHORT load_conti_segment(CardExtension *ext, const SegmentWords &segment, BOOLEAN following,
                          PUSHORT failing) {
  *failing = 0;
  if (!conti_active(ext)) return DRV_CONTI_CONFIG_NEEDED;
  if (segment.shape == SEGMENT_LINE3 && ext->interp.run.conti_axis[2] == 0)
    return DRV_CONTI_INCORRECT_CONFIG;
  USHORT word = DRV_SUCCESS;
  run_synchronized(ext, [&] { word = hand_over_segment(ext, segment, following, failing); });
  if (word == DRV_SUCCESS && !following) first_segment_started(ext);
  return word;
}

BOOLEAN feed_next_segment(CardExtension *ext);

/* A segment request of the library: its points, the flag after them. */
USHORT conti_segment_request(RequestContext *request, SegmentShape shape) {
  const DriverRequest *block = request->block;
  LONG finish[3] = {}, center[2] = {};
  UCHAR arc_code = 0;
  int flag_slot = 0;
  if (shape == SEGMENT_ARC2) {
    arc_code = slot_u8(block, CONTI_ARC2_MOVE_DIRECTION);
    center[0] = (LONG)slot_u32(block, CONTI_ARC2_MOVE_CENTER);
    center[1] = (LONG)slot_u32(block, CONTI_ARC2_MOVE_CENTER + 1);
    finish[0] = (LONG)slot_u32(block, CONTI_ARC2_MOVE_FINISH);
    finish[1] = (LONG)slot_u32(block, CONTI_ARC2_MOVE_FINISH + 1);
    flag_slot = CONTI_ARC2_MOVE_MODE;
  } else {
    const int axis_count = shape == SEGMENT_LINE3 ? 3 : 2;
    for (int position = 0; position < axis_count; ++position)
      finish[position] = (LONG)slot_u32(block, CONTI_LINE_FINISH + position);
    flag_slot = shape == SEGMENT_LINE3 ? CONTI_LINE3_MOVE_MODE : CONTI_LINE2_MOVE_MODE;
  }
  USHORT failing = 0;
  const BOOLEAN following = slot_u16(block, flag_slot) == 1;
  const USHORT word =
      load_conti_segment(request->ext, {shape, finish, center, arc_code}, following, &failing);
  if (word == DRV_MOVE_CHECK_FAILED) set_slot(request->block, REPLY_FAILING_AXES, failing);
  /* A table run's slot is free as soon as its first segment starts: the
   * table's first segment goes with the start, not an interrupt later. */
  if (word == DRV_SUCCESS && !following) feed_next_segment(request->ext);
  return word;
}

SegmentShape shape_of_type(UCHAR type) {
  switch (type) {
    case 0:
    case 16: return SEGMENT_LINE2;
    case 1:
    case 17: return SEGMENT_ARC2;
    default: return SEGMENT_LINE3;
  }
}

/* Deceleration tracking: switched on once, at the first segment with which
 * the rest of the path is no longer than the threshold, and at the last
 * segment at the latest: a path whose last segment is longer than the
 * threshold would otherwise run into its end at speed. */
VOID track_deceleration(CardExtension *ext, const ContiSegment *segment, bool last) {
  ContiTable *table = &ext->interp.table;
  if (table->remaining_length == 0) return;
  if (table->remaining_length <= table->end_threshold || (last && table->end_threshold != 0)) {
    chip_command(ext, command_word(ext->interp.run.conti_axis[0], CHIP_INTERP_DEC_ON));
    table->remaining_length = 0;
  } else {
    const ULONG length = (ULONG)segment->length;
    table->remaining_length -= length < table->remaining_length ? length : table->remaining_length;
  }
}

/* Runs one step of the continuous interpolation under the conti lock, from a
 * handler or the DPC alike. */
template <typename Step>
auto under_conti_lock(CardExtension *ext, Step step) {
  KIRQL irql;
  KeAcquireSpinLock(&ext->interp.conti_lock, &irql);
  const auto result = step();
  KeReleaseSpinLock(&ext->interp.conti_lock, irql);
  return result;
}

USHORT run_locked(RequestContext *request, RequestHandler *handler) {
  return under_conti_lock(request->ext, [&] { return handler(request); });
}

/* The DPC's feed: the next stored segment into the chip's free slot. Only a
 * table run is fed: an application that feeds its own segments keeps the
 * chip's slot, which the DPC also sees free whenever the chip's interrupt
 * is on for another axis. */
BOOLEAN feed_next_segment(CardExtension *ext) {
  ContiTable *table = &ext->interp.table;
  if (table->segment_count == 0) return FALSE;
  BOOLEAN fed = FALSE;  /* handlers change the shadow under the interrupt lock */
  run_synchronized(ext, [&] { fed = conti_table_fed(ext); });
  if (!fed) return FALSE;
  if (!(chip_main_status(ext) & MAIN_STATUS_NEXT_SEGMENT)) return FALSE;
  if (table->next_segment < table->segment_count) {
    const ContiSegment *segment = &table->segment[table->next_segment];
    USHORT failing = 0;
    const SegmentWords words{shape_of_type(segment->type), segment->finish, segment->center,
                             segment->arc_command};
    const USHORT word = load_conti_segment(ext, words, TRUE, &failing);
    if (word == DRV_CONTI_NEXT_NOT_READY) return FALSE;  /* handed over at the next interrupt */
    if (word == DRV_SUCCESS) {
      table->next_segment++;
      track_deceleration(ext, segment, table->next_segment == table->segment_count);
      return TRUE;
    }
  }
  /* The table is exhausted, or the run broke off: nothing more to feed. */
  write_interp_mode(ext, (USHORT)~INTERP_MODE_CONTINUOUS, 0);
  return FALSE;
}

/* A table run is over once it was started and its master stands. A drive
 * end seen while the master drives again is an earlier run's. A run the
 * caller ended is over once all its axes stand (settle_closed_run). */
bool table_run_over(CardExtension *ext) {
  return interp_state(ext) == INTERP_TABLE_RUNNING &&
         !(chip_main_status(ext) & ext->interp.run.conti_axis[0]);
}

/* A run whose axes stand is over: its table emptied, the partners' ranges
 * given back, the run left; a started table run's drive-end enable goes
 * too, with the state idle again. */
VOID finish_run(CardExtension *ext) {
  const ULONG master = ext->interp.run.conti_axis[0];
  const LONG state = interp_state(ext);
  const bool table_run = state == INTERP_TABLE_RUNNING || state == INTERP_TABLE_CLOSING;
  ext->interp.table.next_segment = 0;
  ext->interp.table.segment_count = 0;
  restore_conti_ranges(ext);
  leave_conti_run(ext);
  if (table_run) set_int_factor(ext, master, 0);
}

/* Ends a table run that is over. Segments it never handed to the chip mean
 * the path broke off (a feed too late, a refused segment, a stop): its axes
 * say so in their motion state, never as a normal end. */
VOID close_table_run(CardExtension *ext) {
  const USHORT axes = ext->interp.run.conti_mask;
  const bool broken = ext->interp.table.next_segment < ext->interp.table.segment_count;
  finish_run(ext);
  if (broken) {
    for_each_axis(axes, [&](int axis) { set_end_flag(ext, axis, END_CONTI_BROKEN); });
  }
}

VOID end_stopped_table_run(CardExtension *ext) {
  if (table_run_over(ext)) close_table_run(ext);
}

/* An axis of the run's path still drives. */
bool conti_path_drives(CardExtension *ext) {
  return (chip_main_status(ext) & ext->interp.run.conti_mask & MAIN_STATUS_BUSY_MASK) != 0;
}

/* A table run with segments still to hand over: the caller gave them all at
 * its start, so its end takes none of them back. The run goes on and closes
 * at the master's drive end, as it would have without the end. */
bool table_still_feeding(CardExtension *ext) {
  return interp_state(ext) == INTERP_TABLE_RUNNING &&
         ext->interp.table.next_segment < ext->interp.table.segment_count &&
         conti_path_drives(ext);
}

/* The end of a run whose path still runs: closed now (nothing more is fed),
 * the chip decelerates to the end of the segments it holds; the partners'
 * ranges cannot change under their moving axes and wait for them to stand. */
VOID close_running_run(CardExtension *ext) {
  enter_state(ext, interp_state(ext) == INTERP_TABLE_RUNNING ? INTERP_TABLE_CLOSING
                                                              : INTERP_CLOSING);
  write_interp_mode(ext, (USHORT)~(INTERP_CONSTANT_VECTOR_FIELD | INTERP_ASSIGNMENT_FIELD), 0);
  chip_command(ext, command_word(ext->interp.run.conti_axis[0], CHIP_INTERP_DEC_ON));
}

/* A run the caller ended is over once all its axes stand. */
BOOLEAN settle_closed_run(CardExtension *ext) {
  if (!is_closing(interp_state(ext)) || conti_path_drives(ext)) return FALSE;
  finish_run(ext);
  return TRUE;
}

/* The caller gives a partner of a closing run its range back (as the end
 * told it to) while the path still runs: the range waits for the axes to
 * stand, with the run's own. */
BOOLEAN defer_partner_range(CardExtension *ext, ULONG axis_mask, ULONG range) {
  if (!is_closing(interp_state(ext)) || !conti_path_drives(ext)) return FALSE;
  ContiRun *run = &ext->interp.run;
  for (int partner = 0; partner < 2; ++partner) {
    if (run->conti_axis[partner + 1] == 0 || axis_mask != run->conti_axis[partner + 1]) continue;
    run->conti_saved_range[partner] = range;
    return TRUE;
  }
  return FALSE;
}

/* What the DPC does for a table run, done by a request that watches it: a
 * free slot gets its segment (the interrupt may come late on a busy host),
 * and a run that is over is ended. */
VOID serve_table_run(CardExtension *ext) {
  feed_next_segment(ext);
  end_stopped_table_run(ext);
}

BOOLEAN end_table_run(CardExtension *ext, int axis, USHORT factor) {
  if (!(factor & FACTOR_DRIVE_END) || ext->interp.run.conti_axis[0] != (1u << axis)) return FALSE;
  if (is_closing(interp_state(ext))) return settle_closed_run(ext);
  if (!table_run_over(ext)) return FALSE;
  close_table_run(ext);
  return TRUE;
}

/* A run open, or closed by its end while its path still runs. */
bool conti_run_busy(CardExtension *ext) {
  return conti_active(ext) || is_closing(interp_state(ext));
}

USHORT begin_run(RequestContext *request) {
  CardExtension *ext = request->ext;
  end_stopped_table_run(ext);
  if (conti_run_busy(ext)) return DRV_INTERP_BUSY;
  empty_segment_table(ext);
  const USHORT assignment = slot_u16(request->block, INTERP_ASSIGNMENT);
  const USHORT word = start_conti_run(ext, assignment);
  if (word != DRV_SUCCESS) return word;
  const ULONG master = ext->interp.run.conti_axis[0];
  chip_set_drive_speed(ext, master, slot_u16(request->block, CONTI_INTERP_BEGIN_SPEED));
  chip_set_start_speed(ext, master, slot_u16(request->block, CONTI_INTERP_BEGIN_SPEED));
  return DRV_SUCCESS;
}

USHORT configure_run(RequestContext *request) {
  CardExtension *ext = request->ext;
  const DriverRequest *block = request->block;
  end_stopped_table_run(ext);
  if (conti_run_busy(ext)) return DRV_INTERP_BUSY;
  empty_segment_table(ext);
  ext->interp.table.remaining_length = 0;
  ext->interp.table.end_threshold = slot_u32(block, CONTI_INTERP_CONFIG_DECEL_POINT);
  const USHORT word = start_conti_run(ext, slot_u16(block, INTERP_ASSIGNMENT));
  if (word != DRV_SUCCESS) return word;
  const ULONG master = ext->interp.run.conti_axis[0];
  const USHORT mode = slot_u16(block, CONTI_INTERP_CONFIG_MODE);
  write_profile_mode(ext, master, mode);
  chip_set_drive_speed(ext, master, slot_u16(block, CONTI_INTERP_CONFIG_DRIVE_SPEED));
  chip_set_acc(ext, master, slot_u16(block, CONTI_INTERP_CONFIG_ACC));
  if (constant_speed_mode(mode)) {
    chip_set_start_speed(ext, master, slot_u16(block, CONTI_INTERP_CONFIG_DRIVE_SPEED));
    return DRV_SUCCESS;
  }
  chip_set_start_speed(ext, master, slot_u16(block, CONTI_INTERP_CONFIG_START_SPEED));
  if (mode & MODE_OWN_DECELERATION)
    chip_set_dec(ext, master, slot_u16(block, CONTI_INTERP_CONFIG_DEC));
  chip_set_dec_point(ext, master, 0);
  return DRV_SUCCESS;
}

USHORT end_run(RequestContext *request) {
  CardExtension *ext = request->ext;
  end_stopped_table_run(ext);
  if (!conti_active(ext)) return DRV_CONTI_CONFIG_NEEDED;
  DriverRequest *block = request->block;
  const ContiRun *run = &ext->interp.run;
  set_slot(block, CONTI_INTERP_END_REPLY_SECOND_AXIS, run->conti_axis[1]);
  set_slot(block, CONTI_INTERP_END_REPLY_THIRD_AXIS, run->conti_axis[2]);
  set_slot(block, CONTI_INTERP_END_REPLY_SECOND_RANGE, run->conti_saved_range[0]);
  set_slot(block, CONTI_INTERP_END_REPLY_THIRD_RANGE, run->conti_saved_range[1]);
  if (table_still_feeding(ext)) return DRV_SUCCESS;
  if (conti_path_drives(ext)) {
    close_running_run(ext);
    return DRV_SUCCESS;
  }
  if (ext->interp.line_arc_option) restore_conti_ranges(ext);
  leave_conti_run(ext);
  return DRV_SUCCESS;
}

USHORT answer_next_ready(RequestContext *request) {
  CardExtension *ext = request->ext;
  if (!conti_active(ext)) return DRV_CONTI_CONFIG_NEEDED;
  const USHORT status = chip_main_status(ext);
  if (!(status & ext->interp.run.conti_axis[0])) return DRV_CONTI_INTERRUPTED;
  if (const USHORT failing = conti_errors(ext, status)) {
    set_slot(request->block, REPLY_FAILING_AXES, failing);
    return DRV_MOVE_CHECK_FAILED;
  }
  set_slot(request->block, CONTI_INTERP_NEXT_READY_REPLY_READY,
           (status & MAIN_STATUS_NEXT_SEGMENT) ? 1 : 0);
  return DRV_SUCCESS;
}

USHORT line2_segment(RequestContext *request) {
  return conti_segment_request(request, SEGMENT_LINE2);
}
USHORT line3_segment(RequestContext *request) {
  return conti_segment_request(request, SEGMENT_LINE3);
}
USHORT arc2_segment(RequestContext *request) {
  return conti_segment_request(request, SEGMENT_ARC2);
}

/* A full table stores nothing more and says so. */
USHORT store_segment(RequestContext *request) {
  CardExtension *ext = request->ext;
  const DriverRequest *block = request->block;
  ContiTable *table = &ext->interp.table;
  if (table->segment_count >= SEGMENT_TABLE_SIZE) return DRV_CONTI_INCORRECT_CONFIG;
  /* The table is fed by the chip's interrupt. */
  if (table->segment_count == 0) switch_chip_interrupt_on(ext);
  ContiSegment *segment = &table->segment[table->segment_count];
  segment->type = slot_u8(block, CONTI_LOAD_SEGMENT_TYPE);
  for (int position = 0; position < 3; ++position)
    segment->finish[position] = (LONG)slot_u32(block, CONTI_LOAD_SEGMENT_FINISH + position);
  segment->arc_command = slot_u8(block, CONTI_LOAD_SEGMENT_ARC_DIRECTION);
  segment->center[0] = (LONG)slot_u32(block, CONTI_LOAD_SEGMENT_CENTER);
  segment->center[1] = (LONG)slot_u32(block, CONTI_LOAD_SEGMENT_CENTER + 1);
  segment->length = (LONG)slot_u32(block, CONTI_LOAD_SEGMENT_LENGTH);
  table->remaining_length += (ULONG)segment->length;
  table->segment_count++;
  segment_stored(ext);
  return DRV_SUCCESS;
}

USHORT answer_running_segment(RequestContext *request) {
  serve_table_run(request->ext);
  set_slot(request->block, CONTI_INTERP_RUNNING_SEGMENT_REPLY_INDEX,
           request->ext->interp.table.next_segment);
  return DRV_SUCCESS;
}

}  // namespace

/* ---- Shared with the DPC -------------------------------------------------- */

/* A line or arc of other axes still drives while its axes do: starting
 * another would reach a chip that ignores it. So does an axis of the new one
 * that already drives on its own: the chip would never start the path, and a
 * request waiting for its end would wait for ever. */
BOOLEAN interp_axes_free(CardExtension *ext, ULONG master, ULONG second, ULONG third) {
  const LONG state = interp_state(ext);
  if (is_open_run(state) || is_closing(state)) return FALSE;
  const ULONG watched = (ULONG)read_interlocked(&ext->interp.line.axes) | master | second | third;
  if (chip_main_status(ext) & watched & MAIN_STATUS_BUSY_MASK) return FALSE;
  end_single_interpolation(ext);
  return TRUE;
}

VOID end_single_interpolation(CardExtension *ext) {
  InterlockedExchange(&ext->interp.line.axes, 0);
  if (InterlockedCompareExchange(&ext->interp.state, INTERP_IDLE, INTERP_SINGLE) == INTERP_SINGLE)
    give_back_stretched_ranges(ext);
}

VOID line_drive_end_arrived(CardExtension *ext, int axis) {
  if (read_interlocked(&ext->interp.line.axes) & (1 << axis)) end_single_interpolation(ext);
}

/* Without its drive end (a line whose arming was refused, as in compare-table
 * mode) nothing else would end it, and every waited line would be refused. */
VOID settle_single_interpolation(CardExtension *ext) {
  if (interp_state(ext) != INTERP_SINGLE) return;
  const ULONG axes = (ULONG)read_interlocked(&ext->interp.line.axes);
  if (!(chip_main_status(ext) & axes & MAIN_STATUS_BUSY_MASK)) end_single_interpolation(ext);
}

VOID conti_feed_segment(CardExtension *ext) {
  under_conti_lock(ext, [&] { return feed_next_segment(ext); });
}

BOOLEAN conti_run_ended(CardExtension *ext, int axis, USHORT factor) {
  return under_conti_lock(ext, [&] { return end_table_run(ext, axis, factor); });
}

VOID conti_settle_closed_run(CardExtension *ext) {
  if (!is_closing(interp_state(ext))) return;
  under_conti_lock(ext, [&] { return settle_closed_run(ext); });
}

BOOLEAN conti_defer_range(CardExtension *ext, ULONG axis_mask, ULONG range) {
  if (!is_closing(interp_state(ext))) return FALSE;
  return under_conti_lock(ext, [&] { return defer_partner_range(ext, axis_mask, range); });
}

VOID conti_serve_table_run(CardExtension *ext) {
  under_conti_lock(ext, [&] {
    serve_table_run(ext);
    return 0;
  });
}

BOOLEAN interpolation_running(CardExtension *ext) {
  const LONG state = interp_state(ext);
  return state == INTERP_SINGLE || is_open_run(state);
}

BOOLEAN conti_table_fed(const CardExtension *ext) {
  return (ext->interp.shadow & INTERP_MODE_CONTINUOUS) != 0;
}

/* The state goes first, so that no line end gives ranges back after. */
VOID interpolation_init(CardExtension *ext) { KeInitializeSpinLock(&ext->interp.conti_lock); }

VOID interpolation_stop(CardExtension *ext) {
  Interpolation *interp = &ext->interp;
  under_conti_lock(ext, [&] {
    enter_state(ext, INTERP_IDLE);
    InterlockedExchange(&interp->line.axes, 0);
    RtlZeroMemory(&interp->run, sizeof interp->run);
    RtlZeroMemory(&interp->table, sizeof interp->table);
    return 0;
  });
}

/* The chip's reset ended every path, and a range kept from before it would
 * come back over one the application set since: nothing of a line or run is
 * left. */
VOID interpolation_reset(CardExtension *ext) {
  Interpolation *interp = &ext->interp;
  interpolation_stop(ext);
  forget_stretched_ranges(ext);
  interp->line_arc_option = 0;
  run_synchronized(ext, [&] { interp->shadow = 0; });  /* the DPC reads it under the same lock */
}

/* ---- Request handlers ------------------------------------------------------ */

USHORT t_line2_move(RequestContext *request) {
  return waited_interpolation(request, T_LINE2, start_t_line2);
}
USHORT t_line3_move(RequestContext *request) {
  return waited_interpolation(request, T_LINE3, start_t_line3);
}
USHORT s_line2_move(RequestContext *request) {
  return waited_interpolation(request, S_LINE2, start_s_line2);
}
USHORT s_line3_move(RequestContext *request) {
  return waited_interpolation(request, S_LINE3, start_s_line3);
}
USHORT t_arc2_move(RequestContext *request) {
  return waited_interpolation(request, T_ARC2, start_t_arc2);
}

/* The continuous-interpolation requests run whole under the conti lock. */
USHORT conti_begin(RequestContext *request) { return run_locked(request, begin_run); }
USHORT conti_config(RequestContext *request) { return run_locked(request, configure_run); }
USHORT conti_end(RequestContext *request) { return run_locked(request, end_run); }
USHORT conti_next_ready(RequestContext *request) {
  return run_locked(request, answer_next_ready);
}
USHORT conti_line2_move(RequestContext *request) { return run_locked(request, line2_segment); }
USHORT conti_line3_move(RequestContext *request) { return run_locked(request, line3_segment); }
USHORT conti_arc2_move(RequestContext *request) { return run_locked(request, arc2_segment); }
USHORT conti_load_segment(RequestContext *request) { return run_locked(request, store_segment); }
USHORT conti_running_segment(RequestContext *request) {
  return run_locked(request, answer_running_segment);
}

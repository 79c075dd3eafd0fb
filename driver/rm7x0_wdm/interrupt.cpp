/* The interrupt service routine, its DPC and the PCI interrupt enable of the
 * bridge (the home timer's DPC is the home search's, home_search.cpp). */
#include "rm7x0_driver.h"

BOOLEAN interrupt_enable(PVOID context) {
  CardExtension *ext = (CardExtension *)context;
  if (ext->bar[BRIDGE_BAR].kernel_address == NULL) return FALSE;
  intcsr_modify(ext, INTCSR_PCI_ENABLE, 0);
  return TRUE;
}

BOOLEAN interrupt_disable(PVOID context) {
  CardExtension *ext = (CardExtension *)context;
  if (ext->bar[BRIDGE_BAR].kernel_address == NULL) return FALSE;
  const ULONG intcsr = bridge_read32(ext, INTCSR);
  bridge_write32(ext, INTCSR, intcsr & ~INTCSR_PCI_ENABLE);
  bridge_write32(ext, INTCSR,
                 intcsr & ~(INTCSR_PCI_ENABLE | INTCSR_LOCAL1_ENABLE | INTCSR_LOCAL2_ENABLE));
  return TRUE;
}

static ULONG active_sources(ULONG intcsr) {
  ULONG sources = 0;
  if ((intcsr & (INTCSR_LOCAL1_STATUS | INTCSR_LOCAL1_ENABLE)) ==
      (INTCSR_LOCAL1_STATUS | INTCSR_LOCAL1_ENABLE))
    sources |= SOURCE_LOCAL1;
  if ((intcsr & (INTCSR_LOCAL2_STATUS | INTCSR_LOCAL2_ENABLE)) ==
      (INTCSR_LOCAL2_STATUS | INTCSR_LOCAL2_ENABLE))
    sources |= SOURCE_LOCAL2;
  if (intcsr & INTCSR_SOFTWARE) sources |= SOURCE_SOFTWARE;
  return sources;
}

static BOOLEAN edge_triggered(ULONG intcsr, ULONG polarity, ULONG edge) {
  return (intcsr & (polarity | edge)) == (polarity | edge);
}

/* Compare-table mode, under the interrupt lock: every axis's factors are
 * read, which acknowledges them and lets the chip's line fall, so that the
 * next event makes a new edge. The compare axis's sync-action factor is the
 * table trigger's own match; every other factor is kept for the DPC, which
 * serves it as usual. Answers whether the DPC has factors to serve. */
static BOOLEAN take_chip_factors(CardExtension *ext, BOOLEAN *matched) {
  const int compare = compare_table_axis(ext);
  BOOLEAN for_dpc = FALSE;
  *matched = FALSE;
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    card_write16(ext, REG_COMMAND, command_word(1u << axis, CHIP_SELECT));
    USHORT factor = card_read16(ext, REG_MODE3);
    if (axis == compare) {
      InterlockedExchange(&ext->axis[axis].interrupt_factor, factor);
      *matched = (factor & FACTOR_SYNC_ACTION) != 0;
      factor &= (USHORT)~FACTOR_SYNC_ACTION;
    }
    if (factor == 0) continue;
    keep_factor_for_dpc(ext, axis, factor);
    for_dpc = TRUE;
  }
  return for_dpc;
}

static VOID clear_local1_edge(CardExtension *ext) {
  if (edge_triggered(bridge_read32(ext, INTCSR), INTCSR_LOCAL1_POLARITY, INTCSR_LOCAL1_EDGE))
    intcsr_modify(ext, INTCSR_LOCAL1_EDGE_CLEAR, 0);
}

/* Compare-table mode, local interrupt 1: answers whether the DPC is needed,
 * for factors or for a segment table that the chip's free slot asks to feed. */
static BOOLEAN serve_compare_interrupt(CardExtension *ext) {
  clear_local1_edge(ext);
  BOOLEAN matched = FALSE;
  const BOOLEAN for_dpc = take_chip_factors(ext, &matched);
  if (matched) load_next_compare_entry(ext);
  return for_dpc || conti_table_fed(ext);
}

VOID clear_stale_chip_interrupt(CardExtension *ext) {
  BOOLEAN for_dpc = FALSE;
  run_synchronized(ext, [&] {
    clear_local1_edge(ext);
    BOOLEAN stale_match = FALSE;
    for_dpc = take_chip_factors(ext, &stale_match);
  });
  /* A request handler, not the service routine: IoRequestDpc is for device
   * IRQL only, KeInsertQueueDpc queues the same DPC (initialised by
   * IoInitializeDpcRequest) from any level. */
  if (for_dpc) KeInsertQueueDpc(&ext->self->Dpc, NULL, (PVOID)(ULONG_PTR)SOURCE_LOCAL1);
}

BOOLEAN interrupt_service(PKINTERRUPT interrupt, PVOID context) {
  UNREFERENCED_PARAMETER(interrupt);
  CardExtension *ext = (CardExtension *)context;
  /* On a shared line the routine also runs for the other cards' interrupts:
   * a card powered down, or pulled, reads all ones and raised nothing. */
  if (read_interlocked(&ext->powered_down)) return FALSE;
  const ULONG intcsr = bridge_read32(ext, INTCSR);
  if (intcsr == 0xFFFFFFFFu || !(intcsr & INTCSR_PCI_ENABLE)) return FALSE;
  ULONG sources = active_sources(intcsr);
  if (sources == 0) return FALSE;

  /* The card stays masked until the DPC (or the compare reload) is done. */
  bridge_write32(ext, INTCSR, intcsr & ~INTCSR_PCI_ENABLE);

  if (compare_table_reloading(ext) && (sources & SOURCE_LOCAL1)) {
    if (!serve_compare_interrupt(ext)) sources &= ~SOURCE_LOCAL1;
    if (sources == 0) {
      intcsr_modify(ext, INTCSR_PCI_ENABLE, 0);
      return TRUE;
    }
  }
  /* Any other source goes to the DPC, which unmasks the card when done. */
  IoRequestDpc(ext->self, NULL, (PVOID)(ULONG_PTR)sources);
  return TRUE;
}

/* Step 1 of the DPC: acknowledge each source in the bridge. An edge-triggered
 * input has its latch cleared; a level-triggered one stays disabled until
 * int_sources_enable turns it on again. Done under the interrupt lock, as a
 * request handler may change INTCSR at the same time. */
static VOID acknowledge_sources(CardExtension *ext, ULONG sources) {
  run_synchronized(ext, [&] {
    const ULONG intcsr = bridge_read32(ext, INTCSR);
    ULONG set = 0, clear = 0;
    if (sources & SOURCE_LOCAL1) {
      if (edge_triggered(intcsr, INTCSR_LOCAL1_POLARITY, INTCSR_LOCAL1_EDGE))
        set |= INTCSR_LOCAL1_EDGE_CLEAR;
      else
        clear |= INTCSR_LOCAL1_ENABLE;
    }
    if (sources & SOURCE_LOCAL2) {
      if (edge_triggered(intcsr, INTCSR_LOCAL2_POLARITY, INTCSR_LOCAL2_EDGE))
        set |= INTCSR_LOCAL2_EDGE_CLEAR;
      else
        clear |= INTCSR_LOCAL2_ENABLE;
    }
    if (sources & SOURCE_SOFTWARE) clear |= INTCSR_SOFTWARE;
    bridge_write32(ext, INTCSR, (intcsr | set) & ~clear);
  });
}

/* The factors armed on the axis that this factor word can end. A drive end
 * ends a wait only when the move it waits for has started and the axis
 * stands: one latched before (a table run that broke off, a move the DPC
 * has not served yet) is an earlier move's, and the new move still runs. */
static ULONG armed_factor(CardExtension *ext, int axis, USHORT factor) {
  BOOLEAN move_started = FALSE;
  ULONG armed = armed_wait_factor(ext, axis, &move_started);
  if ((armed & factor & FACTOR_DRIVE_END) &&
      (!move_started || (chip_main_status(ext) & (1u << axis))))
    armed &= ~FACTOR_DRIVE_END;
  return armed;
}

BOOLEAN axis_in_error(CardExtension *ext, int axis) {
  return (chip_main_status(ext) >> (MAIN_STATUS_ERROR_SHIFT + axis)) & 1;
}

/* The drive-end factor that a wait armed has arrived. Only an axis of the
 * line or arc ends it: another axis's drive end says nothing of the path. */
static VOID drive_end_arrived(CardExtension *ext, int axis) {
  if (!axis_in_error(ext, axis)) set_end_flag(ext, axis, END_DRIVE);
  line_drive_end_arrived(ext, axis);
}

static VOID serve_axis_factor(CardExtension *ext, int axis, USHORT factor) {
  InterlockedExchange(&ext->axis[axis].interrupt_factor, factor);
  if (factor == 0) return;
  conti_run_ended(ext, axis, factor);
  signal_axis_event(ext, axis);
  run_interrupt_actions(ext, axis, factor);
  const ULONG armed = armed_factor(ext, axis, factor);
  /* A search takes its steps at its home ends also after the request that
   * waited for it was cancelled (the cancel disarms the wait, not the search). */
  const BOOLEAN search_step = (factor & FACTOR_HOME_END) && home_search_running(ext, axis);
  if (!(factor & armed) && !search_step) return;
  BOOLEAN search_over = TRUE;
  if (search_step || (armed & FACTOR_HOME_END)) search_over = home_end_arrived(ext, axis);
  if (armed & FACTOR_DRIVE_END) {
    drive_end_arrived(ext, axis);
    end_requestless_drive_wait(ext, axis);
  }
  if (search_over) complete_waiting_request(ext, axis, STATUS_SUCCESS);
}

/* Local interrupt 1: the motion chip. Reading an axis's status 3
 * acknowledges its factors. */
static VOID serve_chip_interrupt(CardExtension *ext) {
  USHORT factor[AXIS_COUNT];
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    chip_read_status3(ext, 1u << axis, &factor[axis]);
    factor[axis] |= take_factor_for_dpc(ext, axis);
  }
  conti_feed_segment(ext);
  for (int axis = 0; axis < AXIS_COUNT; ++axis) serve_axis_factor(ext, axis, factor[axis]);
}

VOID dpc_for_isr(PKDPC dpc, PDEVICE_OBJECT device, PIRP irp, PVOID context) {
  UNREFERENCED_PARAMETER(dpc);
  UNREFERENCED_PARAMETER(irp);
  CardExtension *ext = card_extension(device);
  /* A card being stopped stays masked: its registers are about to go. */
  if (read_interlocked(&ext->stopping)) return;
  const ULONG sources = (ULONG)(ULONG_PTR)context;
  acknowledge_sources(ext, sources);
  if ((sources & SOURCE_LOCAL1) || factors_left_for_dpc(ext)) serve_chip_interrupt(ext);
  /* Local interrupt 2: an input of the Torix bus changed. */
  if (sources & SOURCE_LOCAL2) refresh_torix_inputs(ext);
  KeSynchronizeExecution(ext->interrupt, interrupt_enable, ext);
}

/* The waits of the axes for an interrupt factor (waited moves and home
 * searches, and the stops that wait for their drive end), and the events
 * their interrupts signal. Each axis's wait is guarded by its axis lock.
 *
 * A request that waits is pended on its axis. Whoever clears the request's
 * cancel routine owns the request: the cancel routine finds it in the axis
 * slot; the DPC, a reset or the stop take it from the slot only after
 * clearing the cancel routine, and leave it to a cancel routine already
 * under way otherwise. Requests are completed after the axis lock is
 * released. */
#include "rm7x0_driver.h"

/* Under the axis lock: the wait's state and the factor it is armed for. */
static VOID enter_wait_state(AxisWait *wait, WaitState state, ULONG factor) {
  wait->state = factor != 0 ? state : WAIT_NONE;
  wait->armed_factor = wait->state != WAIT_NONE ? factor : 0;
}

/* Runs fn on the axis's wait under its axis lock. */
template <typename Fn>
static void with_axis_wait(CardExtension *ext, int axis, Fn fn) {
  AxisWait *wait = &ext->axis[axis].wait;
  KIRQL irql;
  KeAcquireSpinLock(&wait->lock, &irql);
  fn(wait);
  KeReleaseSpinLock(&wait->lock, irql);
}

/* Under the axis lock: the request leaves the axis's slot. */
static VOID clear_pending_request(AxisWait *wait) {
  wait->pending_request = NULL;
  wait->pending_file_object = NULL;
}

/* Cancel routine of a waiting request: runs with the cancel lock held. */
VOID cancel_waiting_request(PDEVICE_OBJECT device, PIRP irp) {
  IoReleaseCancelSpinLock(irp->CancelIrql);
  CardExtension *ext = card_extension(device);
  BOOLEAN found = FALSE;
  for (int axis = 0; axis < AXIS_COUNT && !found; ++axis) {
    with_axis_wait(ext, axis, [&](AxisWait *wait) {
      if (wait->pending_request != irp) return;
      clear_pending_request(wait);
      enter_wait_state(wait, WAIT_NONE, 0);
      found = TRUE;
    });
  }
  if (found) complete_request(irp, STATUS_CANCELLED, 0);
}

/* Takes the axis's waiting request (of one file, or of any when file is
 * NULL) out of its slot when the cancel routine has not claimed it. */
static PIRP take_waiting_request(CardExtension *ext, int axis, PFILE_OBJECT file = NULL) {
  PIRP irp = NULL;  /* none, another file's, or the cancel routine completes it */
  with_axis_wait(ext, axis, [&](AxisWait *wait) {
    PIRP waiting = wait->pending_request;
    if (waiting != NULL && (file == NULL || wait->pending_file_object == file) &&
        IoSetCancelRoutine(waiting, NULL) != NULL) {
      clear_pending_request(wait);
      irp = waiting;
    }
  });
  return irp;
}

/* Completes the request waiting on an axis, if any, without data. */
VOID complete_waiting_request(CardExtension *ext, int axis, NTSTATUS status) {
  PIRP irp = take_waiting_request(ext, axis);
  if (irp != NULL) complete_request(irp, status, 0);
}

static VOID set_wait_state(CardExtension *ext, int axis, WaitState state, ULONG factor) {
  with_axis_wait(ext, axis, [&](AxisWait *wait) { enter_wait_state(wait, state, factor); });
}

VOID waits_init(CardExtension *ext) {
  for (int axis = 0; axis < AXIS_COUNT; ++axis) KeInitializeSpinLock(&ext->axis[axis].wait.lock);
}

VOID waits_reset(CardExtension *ext) {
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    complete_waiting_request(ext, axis, STATUS_CANCELLED);
    set_wait_state(ext, axis, WAIT_NONE, 0);
  }
}

BOOLEAN request_waits_on_axis(CardExtension *ext, int axis) {
  BOOLEAN waiting = FALSE;
  with_axis_wait(ext, axis, [&](AxisWait *wait) { waiting = wait->pending_request != NULL; });
  return waiting;
}

ULONG armed_wait_factor(CardExtension *ext, int axis, PBOOLEAN move_started) {
  ULONG factor = 0;
  with_axis_wait(ext, axis, [&](AxisWait *wait) {
    factor = wait->armed_factor;
    if (move_started != NULL) *move_started = wait->state == WAIT_ARMED_MOVE_STARTED;
  });
  return factor;
}

/* ---- events ---------------------------------------------------------------- */

PKEVENT exchange_axis_event(CardExtension *ext, int axis, PKEVENT event) {
  PKEVENT old = NULL;
  with_axis_wait(ext, axis, [&](AxisWait *wait) {
    old = wait->event;
    wait->event = event;
  });
  return old;
}

VOID release_axis_events(CardExtension *ext) {
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    PKEVENT old = exchange_axis_event(ext, axis, NULL);
    if (old != NULL) ObDereferenceObject(old);
  }
}

VOID signal_axis_event(CardExtension *ext, int axis) {
  with_axis_wait(ext, axis, [](AxisWait *wait) {
    if (wait->event != NULL) KeSetEvent(wait->event, IO_NO_INCREMENT, FALSE);
  });
}

/* ---- arming ---------------------------------------------------------------- */

static VOID arm_factor(CardExtension *ext, ULONG axis_mask, ULONG factor) {
  if (factor & FACTOR_DRIVE_END) arm_drive_end(ext, axis_mask, TRUE);
  if (factor & FACTOR_HOME_END) arm_home_end(ext, axis_mask, TRUE);
}

/* The cleanup of a file: its waits end with its last handle, as the close
 * (and so the next open) waits for every request of the file. The waited
 * moves themselves go on. */
VOID cancel_file_waiting_requests(CardExtension *ext, PFILE_OBJECT file) {
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    PIRP irp = take_waiting_request(ext, axis, file);
    if (irp == NULL) continue;
    set_wait_state(ext, axis, WAIT_NONE, 0);
    complete_request(irp, STATUS_CANCELLED, 0);
  }
}

/* Without a request the factor is armed for whatever the axis runs now or
 * is about to start; that start clears the end flags an older end set. */
USHORT arm_wait(CardExtension *ext, ULONG axis_mask, ULONG factor) {
  if (compare_table_reloading(ext)) return DRV_WAIT_IN_CMP_MODE;
  for_each_axis(axis_mask, [&](int axis) {
    set_wait_state(ext, axis, WAIT_ARMED_MOVE_STARTED, factor);
  });
  arm_factor(ext, axis_mask, factor);
  return DRV_SUCCESS;
}

/* The caller's end of a wait: the factor is no longer armed on the axis.
 * A request still pending on the axis keeps it, or it would never complete. */
BOOLEAN end_axis_wait(CardExtension *ext, int axis, ULONG factor) {
  BOOLEAN ended = FALSE;
  with_axis_wait(ext, axis, [&](AxisWait *wait) {
    if (wait->pending_request != NULL && (wait->armed_factor & factor)) return;
    enter_wait_state(wait, (WaitState)wait->state, wait->armed_factor & ~factor);
    ended = TRUE;
  });
  return ended;
}

VOID end_requestless_drive_wait(CardExtension *ext, int axis) {
  BOOLEAN ended = FALSE;
  with_axis_wait(ext, axis, [&](AxisWait *wait) {
    if (wait->pending_request != NULL || !(wait->armed_factor & FACTOR_DRIVE_END)) return;
    enter_wait_state(wait, (WaitState)wait->state, wait->armed_factor & ~FACTOR_DRIVE_END);
    ended = TRUE;
  });
  if (ended) drop_factors_unless_needed(ext, 1u << axis, MODE1_DRIVE_END_ENABLE);
}

USHORT wait_refusal(CardExtension *ext, ULONG axis_mask) {
  if (compare_table_reloading(ext)) return DRV_WAIT_IN_CMP_MODE;
  if (held_starts_refuse_wait(ext, axis_mask)) return DRV_WAIT_ON_HELD_AXIS;
  const int axis = axis_mask_to_index(axis_mask);
  if (axis < 0) return DRV_AXIS_NOT_READY;  /* no axis to wait on */
  return request_waits_on_axis(ext, axis) ? DRV_WAIT_ALREADY_ARMED : DRV_SUCCESS;
}

/* Marks the request pending before its cancel routine is set; a request
 * cancelled before that routine was in place is taken back out of the slot
 * and completed here. */
USHORT arm_wait_irp(RequestContext *request, ULONG axis_mask, ULONG factor) {
  CardExtension *ext = request->ext;
  const USHORT refusal = wait_refusal(ext, axis_mask);
  if (refusal != DRV_SUCCESS) return refusal;
  const int axis = axis_mask_to_index(axis_mask);

  AxisWait *wait = &ext->axis[axis].wait;
  PIRP irp = request->irp;
  BOOLEAN cancelled = FALSE;
  KIRQL irql;
  KeAcquireSpinLock(&wait->lock, &irql);
  if (wait->pending_request != NULL) {
    KeReleaseSpinLock(&wait->lock, irql);
    return DRV_WAIT_ALREADY_ARMED;
  }
  wait->pending_request = irp;
  wait->pending_file_object = IoGetCurrentIrpStackLocation(irp)->FileObject;
  enter_wait_state(wait, WAIT_ARMED, factor);
  IoMarkIrpPending(irp);
  IoSetCancelRoutine(irp, cancel_waiting_request);
  if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
    clear_pending_request(wait);
    enter_wait_state(wait, WAIT_NONE, 0);
    cancelled = TRUE;
  }
  KeReleaseSpinLock(&wait->lock, irql);
  request->status = STATUS_PENDING;
  if (cancelled) {
    complete_request(irp, STATUS_CANCELLED, 0);
    return DRV_WAIT_ALREADY_ARMED;  /* nothing starts; the caller saw the cancellation */
  }
  arm_factor(ext, 1u << axis, factor);
  return DRV_SUCCESS;
}

/* A start refused after its request was made pending: the wait is disarmed
 * and the request completed with the refusal word, unless the DPC or the
 * cancel routine completed it already. */
static VOID complete_refused_wait(CardExtension *ext, int axis, USHORT word) {
  PIRP irp = take_waiting_request(ext, axis);
  set_wait_state(ext, axis, WAIT_NONE, 0);
  if (irp == NULL) return;
  DriverRequest *block = (DriverRequest *)irp->AssociatedIrp.SystemBuffer;
  block->slot[SLOT_STATUS] = word;
  block->slot[REPLY_FAILING_AXES] = 0;
  complete_request(irp, STATUS_SUCCESS, sizeof(DriverRequest));
}

/* From here on a drive end of the axis can be the end of the waited move. A
 * move that is over already may have ended before its drive end counted:
 * its wait ends here. */
static VOID count_drive_ends_from_now(CardExtension *ext, int axis, ULONG factor) {
  with_axis_wait(ext, axis, [](AxisWait *wait) {
    if (wait->state == WAIT_ARMED) wait->state = WAIT_ARMED_MOVE_STARTED;
  });
  if (factor == FACTOR_DRIVE_END && !(chip_main_status(ext) & (1u << axis)))
    complete_waiting_request(ext, axis, STATUS_SUCCESS);
}

USHORT run_waited_start(RequestContext *request, ULONG wait_mask, ULONG factor, BOOLEAN pend,
                        RequestHandler *start) {
  if (pend) {
    const USHORT refusal = arm_wait_irp(request, wait_mask, factor);
    if (refusal != DRV_SUCCESS) return refusal;
  } else {
    arm_wait(request->ext, wait_mask, factor);
  }
  const USHORT word = start(request);
  const int axis = axis_mask_to_index(wait_mask);
  if (pend && word != DRV_SUCCESS) complete_refused_wait(request->ext, axis, word);
  if (pend && word == DRV_SUCCESS) count_drive_ends_from_now(request->ext, axis, factor);
  return word;
}

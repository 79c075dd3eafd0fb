/* Requests that wait on an axis for an interrupt factor (waited moves and home
 * searches). Whoever clears the request's cancel routine owns the request:
 * the cancel routine finds it in the axis slot; the DPC, a reset or the stop
 * take it from the slot only after clearing the cancel routine, and leave it
 * to a cancel routine already under way otherwise. Requests are completed
 * after the axis lock is released. */
#include "rm7x0_driver.h"

/* Cancel routine of a waiting request: runs with the cancel lock held. */
VOID cancel_waiting_request(PDEVICE_OBJECT device, PIRP irp) {
  IoReleaseCancelSpinLock(irp->CancelIrql);
  CardExtension *ext = card_extension(device);
  BOOLEAN found = FALSE;
  for (int axis = 0; axis < AXIS_COUNT && !found; ++axis) {
    DriverAxisState *state = &ext->axis[axis];
    KIRQL irql;
    KeAcquireSpinLock(&state->lock, &irql);
    if (state->pending_request == irp) {
      state->pending_request = NULL;
      state->pending_file_object = NULL;
      state->armed_factor = 0;
      found = TRUE;
    }
    KeReleaseSpinLock(&state->lock, irql);
  }
  if (found) complete_request(irp, STATUS_CANCELLED, 0);
}

/* Takes the axis's waiting request (of one file, or of any when file is
 * NULL) out of its slot when the cancel routine has not claimed it. */
static PIRP take_waiting_request(CardExtension *ext, int axis, PFILE_OBJECT file = NULL) {
  DriverAxisState *state = &ext->axis[axis];
  KIRQL irql;
  KeAcquireSpinLock(&state->lock, &irql);
  PIRP irp = state->pending_request;
  if (irp != NULL && (file == NULL || state->pending_file_object == file) &&
      IoSetCancelRoutine(irp, NULL) != NULL) {
    state->pending_request = NULL;
    state->pending_file_object = NULL;
  } else {
    irp = NULL;  /* none, another file's, or the cancel routine completes it */
  }
  KeReleaseSpinLock(&state->lock, irql);
  return irp;
}

/* Completes the request waiting on an axis, if any, without data. */
VOID complete_waiting_request(CardExtension *ext, int axis, NTSTATUS status) {
  PIRP irp = take_waiting_request(ext, axis);
  if (irp != NULL) complete_request(irp, status, 0);
}

/* A reset or a stop ends every wait: the factors they wait for can no longer
 * arrive. */
VOID complete_all_waiting_requests(CardExtension *ext, NTSTATUS status) {
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    complete_waiting_request(ext, axis, status);
    DriverAxisState *state = &ext->axis[axis];
    KIRQL irql;
    KeAcquireSpinLock(&state->lock, &irql);
    state->armed_factor = 0;
    KeReleaseSpinLock(&state->lock, irql);
  }
}

/* ---- arming ---------------------------------------------------------------- */

static VOID arm_factor(CardExtension *ext, ULONG axis_mask, ULONG factor) {
  if (factor & FACTOR_DRIVE_END) arm_drive_end(ext, axis_mask, TRUE);
  if (factor & FACTOR_HOME_END) arm_home_end(ext, axis_mask, TRUE);
}

/* move_started: whether the move the factor is armed for already runs (a
 * drive end latched before it started belongs to an earlier move). */
static VOID set_armed_factor(DriverAxisState *state, ULONG factor, BOOLEAN move_started) {
  KIRQL irql;
  KeAcquireSpinLock(&state->lock, &irql);
  state->armed_factor = factor;
  state->armed_move_started = move_started;
  KeReleaseSpinLock(&state->lock, irql);
}

/* The cleanup of a file: its waits end with its last handle, as the close
 * (and so the next open) waits for every request of the file. The waited
 * moves themselves go on. */
VOID cancel_file_waiting_requests(CardExtension *ext, PFILE_OBJECT file) {
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    PIRP irp = take_waiting_request(ext, axis, file);
    if (irp == NULL) continue;
    set_armed_factor(&ext->axis[axis], 0, FALSE);
    complete_request(irp, STATUS_CANCELLED, 0);
  }
}

/* Without a request the factor is armed for whatever the axis runs now or
 * is about to start; that start clears the end flags an older end set. */
USHORT arm_wait(CardExtension *ext, ULONG axis_mask, ULONG factor) {
  if (read_interlocked(&ext->compare_mode)) return DRV_WAIT_IN_CMP_MODE;
  for_each_axis(axis_mask, [&](int axis) { set_armed_factor(&ext->axis[axis], factor, TRUE); });
  arm_factor(ext, axis_mask, factor);
  return DRV_SUCCESS;
}

/* Marks the request pending before its cancel routine is set; a request
 * cancelled before that routine was in place is taken back out of the slot
 * and completed here. */
static BOOLEAN request_waits_on(DriverAxisState *state) {
  KIRQL irql;
  KeAcquireSpinLock(&state->lock, &irql);
  const BOOLEAN waiting = state->pending_request != NULL;
  KeReleaseSpinLock(&state->lock, irql);
  return waiting;
}

USHORT wait_refusal(CardExtension *ext, ULONG axis_mask) {
  if (read_interlocked(&ext->compare_mode)) return DRV_WAIT_IN_CMP_MODE;
  USHORT held = 0;  /* the DPC's interrupt actions change it under the interrupt lock */
  run_synchronized(ext, [&] { held = ext->held_axes; });
  if (held & axis_mask) return DRV_WAIT_ON_HELD_AXIS;
  const int axis = axis_mask_to_index(axis_mask);
  if (axis < 0) return DRV_AXIS_NOT_READY;  /* no axis to wait on */
  return request_waits_on(&ext->axis[axis]) ? DRV_WAIT_ALREADY_ARMED : DRV_SUCCESS;
}

USHORT arm_wait_irp(RequestContext *request, ULONG axis_mask, ULONG factor) {
  CardExtension *ext = request->ext;
  const USHORT refusal = wait_refusal(ext, axis_mask);
  if (refusal != DRV_SUCCESS) return refusal;
  const int axis = axis_mask_to_index(axis_mask);

  DriverAxisState *state = &ext->axis[axis];
  PIRP irp = request->irp;
  BOOLEAN cancelled = FALSE;
  KIRQL irql;
  KeAcquireSpinLock(&state->lock, &irql);
  if (state->pending_request != NULL) {
    KeReleaseSpinLock(&state->lock, irql);
    return DRV_WAIT_ALREADY_ARMED;
  }
  state->pending_request = irp;
  state->pending_file_object = IoGetCurrentIrpStackLocation(irp)->FileObject;
  state->armed_factor = factor;
  state->armed_move_started = FALSE;
  IoMarkIrpPending(irp);
  IoSetCancelRoutine(irp, cancel_waiting_request);
  if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
    state->pending_request = NULL;
    state->pending_file_object = NULL;
    state->armed_factor = 0;
    cancelled = TRUE;
  }
  KeReleaseSpinLock(&state->lock, irql);
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
  set_armed_factor(&ext->axis[axis], 0, FALSE);
  if (irp == NULL) return;
  DriverRequest *block = (DriverRequest *)irp->AssociatedIrp.SystemBuffer;
  block->slot[0] = word;
  block->slot[1] = 0;
  complete_request(irp, STATUS_SUCCESS, sizeof(DriverRequest));
}

/* From here on a drive end of the axis can be the end of the waited move. A
 * move that is over already may have ended before its drive end counted:
 * its wait ends here. */
static VOID count_drive_ends_from_now(CardExtension *ext, int axis, ULONG factor) {
  DriverAxisState *state = &ext->axis[axis];
  KIRQL irql;
  KeAcquireSpinLock(&state->lock, &irql);
  state->armed_move_started = TRUE;
  KeReleaseSpinLock(&state->lock, irql);
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

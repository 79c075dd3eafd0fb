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

/* Takes the axis's waiting request out of its slot when the cancel routine
 * has not claimed it. */
static PIRP take_waiting_request(CardExtension *ext, int axis) {
  DriverAxisState *state = &ext->axis[axis];
  KIRQL irql;
  KeAcquireSpinLock(&state->lock, &irql);
  PIRP irp = state->pending_request;
  if (irp != NULL && IoSetCancelRoutine(irp, NULL) != NULL) {
    state->pending_request = NULL;
    state->pending_file_object = NULL;
  } else {
    irp = NULL;  /* none, or the cancel routine completes it */
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

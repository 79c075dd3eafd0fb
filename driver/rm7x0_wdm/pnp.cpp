/* Plug and Play and system-control dispatch, the in-flight reference count
 * that keeps removal from racing with requests, and the helpers that send
 * requests down the stack. */
#include "rm7x0_driver.h"

NTSTATUS complete_request(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

BOOLEAN io_ref_acquire(CardExtension *ext) {
  InterlockedIncrement(&ext->io_references);
  if (read_interlocked(&ext->removed)) {
    io_ref_release(ext);
    return FALSE;
  }
  return TRUE;
}

VOID io_ref_release(CardExtension *ext) {
  if (InterlockedDecrement(&ext->io_references) == 0)
    KeSetEvent(&ext->remove_event, IO_NO_INCREMENT, FALSE);
}

static NTSTATUS signal_on_completion(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
  UNREFERENCED_PARAMETER(device);
  UNREFERENCED_PARAMETER(irp);
  KeSetEvent((PKEVENT)context, IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;  /* the sender takes the request back */
}

NTSTATUS forward_irp_and_wait(PDEVICE_OBJECT device, PIRP irp) {
  CardExtension *ext = card_extension(device);
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IoCopyCurrentIrpStackLocationToNext(irp);
  IoSetCompletionRoutine(irp, signal_on_completion, &done, TRUE, TRUE, TRUE);
  NTSTATUS status = IoCallDriver(ext->lower, irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    status = irp->IoStatus.Status;
  }
  return status;
}

NTSTATUS pass_down_irp(PDEVICE_OBJECT device, PIRP irp) {
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(card_extension(device)->lower, irp);
}

NTSTATUS dispatch_system_control(PDEVICE_OBJECT device, PIRP irp) {
  return pass_down_irp(device, irp);
}

static NTSTATUS handle_start(PDEVICE_OBJECT device, PIRP irp) {
  NTSTATUS status = forward_irp_and_wait(device, irp);
  if (NT_SUCCESS(status)) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    PCM_RESOURCE_LIST raw = stack->Parameters.StartDevice.AllocatedResources;
    PCM_RESOURCE_LIST translated = stack->Parameters.StartDevice.AllocatedResourcesTranslated;
    status = start_device(device,
                          raw != NULL && raw->Count > 0 ? &raw->List[0].PartialResourceList : NULL,
                          translated != NULL && translated->Count > 0
                              ? &translated->List[0].PartialResourceList
                              : NULL);
  }
  request_gate_open(card_extension(device));  /* held requests: served, or refused by a card that failed */
  return complete_request(irp, status, 0);
}

/* Whether a resource rebalance would cut into the card's work: an axis
 * drives, a held drive waits for its release, a home search runs or a
 * request waits for the end of a move. */
static BOOLEAN card_at_work(CardExtension *ext) {
  if (!read_interlocked(&ext->started) || read_interlocked(&ext->powered_down)) return FALSE;
  if (chip_main_status(ext) & MAIN_STATUS_BUSY_MASK) return TRUE;
  if (home_searches_running(ext, ALL_AXES)) return TRUE;
  if (held_starts_any_drive_waits(ext)) return TRUE;
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    if (request_waits_on_axis(ext, axis)) return TRUE;
  }
  return FALSE;
}

/* A stop would halt every axis: it is agreed to only while the card is idle,
 * and from then on requests wait at the gate until the restart (or a
 * cancelled stop), so none starts a move the stop would cut short. */
static NTSTATUS handle_query_stop(PDEVICE_OBJECT device, PIRP irp) {
  CardExtension *ext = card_extension(device);
  request_gate_close(ext);
  ExAcquireFastMutex(&ext->request_mutex);
  const BOOLEAN at_work = card_at_work(ext);
  ExReleaseFastMutex(&ext->request_mutex);
  if (at_work) {
    request_gate_open(ext);
    return complete_request(irp, STATUS_DEVICE_BUSY, 0);
  }
  irp->IoStatus.Status = STATUS_SUCCESS;
  return pass_down_irp(device, irp);
}

/* Removal waits until every request in flight has left the driver (the
 * dispatch's own reference and the initial one are dropped here), so none of
 * them meets unmapped registers or a deleted device. */
static NTSTATUS handle_remove(PDEVICE_OBJECT device, PIRP irp) {
  CardExtension *ext = card_extension(device);
  InterlockedExchange(&ext->removed, 1);
  request_gate_open(ext);  /* requests held at the gate leave, refused */
  io_ref_release(ext);
  io_ref_release(ext);
  KeWaitForSingleObject(&ext->remove_event, Executive, KernelMode, FALSE, NULL);
  stop_device(device);
  irp->IoStatus.Status = STATUS_SUCCESS;
  NTSTATUS status = pass_down_irp(device, irp);
  remove_device(device);
  return status;
}

NTSTATUS dispatch_pnp(PDEVICE_OBJECT device, PIRP irp) {
  CardExtension *ext = card_extension(device);
  if (!io_ref_acquire(ext)) return complete_request(irp, STATUS_DELETE_PENDING, 0);

  NTSTATUS status;
  switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
    case IRP_MN_START_DEVICE:
      status = handle_start(device, irp);
      break;
    case IRP_MN_REMOVE_DEVICE:
      return handle_remove(device, irp);  /* its references are already gone */
    case IRP_MN_QUERY_STOP_DEVICE:
      status = handle_query_stop(device, irp);
      break;
    case IRP_MN_CANCEL_STOP_DEVICE:
      request_gate_open(ext);
      [[fallthrough]];
    case IRP_MN_CANCEL_REMOVE_DEVICE:
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = pass_down_irp(device, irp);
      break;
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_STOP_DEVICE:
      /* The card lets go of its registers and interrupt before the bus
       * driver sees the request, and is not touched again until a start. */
      stop_device(device);
      if (IoGetCurrentIrpStackLocation(irp)->MinorFunction == IRP_MN_SURPRISE_REMOVAL) {
        /* A pulled card: no application may find it again, and the requests
         * waiting for a restart leave, to find it stopped. */
        set_interface_state(ext, FALSE);
        request_gate_open(ext);
      }
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = pass_down_irp(device, irp);
      break;
    default:  /* query remove, device relations, ... */
      status = pass_down_irp(device, irp);
      break;
  }
  io_ref_release(ext);
  return status;
}

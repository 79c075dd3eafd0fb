/* Power dispatch. The card has no power management of its own: in D3 it
 * loses its power and with it every register, counter and interrupt enable.
 * Before D3 the driver quiesces the card and keeps its axes' counters,
 * ranges, signal wiring and the interrupt factors the application set;
 * back in D0 it brings the card up as the start does (chip reset, the
 * driver's state with it, the PCI interrupt on) and gives them back. What
 * the application holds survives: its handle, the attached events and the
 * shared buffer. Everything else is at its reset value, on the chip and in
 * the driver alike. Every path starts the next power request exactly once. */
#include "rm7x0_driver.h"

/* The counters (the axes' positions), the ranges (the unit of every speed
 * word the library plans with), the wiring of the axes' signals (a limit's
 * logic, the pulse output) and the application's interrupt factors (its
 * attached events wait on them) outlive the power loss. A range that a
 * line stretched is kept as it was before the line. */
static VOID keep_axis_setup(CardExtension *ext) {
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    ext->saved_signals[axis] = ext->axis[axis].shadow[SHADOW_MODE2] & MODE2_SIGNAL_FIELDS;
    ext->saved_factor[axis] = ext->axis[axis].app_factor;
    ext->saved_range[axis] = range_before_line(ext, axis);
    chip_read32(ext, command_word(1u << axis, CHIP_READ_CMD_COUNTER),
                (PULONG)&ext->saved_counter[0][axis]);
    chip_read32(ext, command_word(1u << axis, CHIP_READ_ENC_COUNTER),
                (PULONG)&ext->saved_counter[1][axis]);
  }
}

static VOID restore_axis_setup(CardExtension *ext) {
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    set_mode_field(ext, axis, SHADOW_MODE2, MODE2_SIGNAL_FIELDS, ext->saved_signals[axis]);
    chip_set_range(ext, 1u << axis, ext->saved_range[axis]);
    chip_set_cmd_counter(ext, 1u << axis, (ULONG)ext->saved_counter[0][axis]);
    chip_set_enc_counter(ext, 1u << axis, (ULONG)ext->saved_counter[1][axis]);
    if (ext->saved_factor[axis] != 0) set_app_factor(ext, 1u << axis, ext->saved_factor[axis]);
  }
}

/* Before the card's power goes: requests are kept out, the card quiesced
 * while its registers still answer, its axes' setup kept. */
static VOID power_down_card(CardExtension *ext) {
  ExAcquireFastMutex(&ext->request_mutex);
  const LONG was_down = InterlockedExchange(&ext->powered_down, 1);
  ExReleaseFastMutex(&ext->request_mutex);
  if (was_down || !read_interlocked(&ext->started) || ext->interrupt == NULL) return;
  quiesce_card(ext);
  keep_axis_setup(ext);
}

/* The card came back from a power-on reset. */
static VOID power_up_card(CardExtension *ext) {
  ExAcquireFastMutex(&ext->request_mutex);
  if (read_interlocked(&ext->powered_down) && read_interlocked(&ext->started) &&
      ext->interrupt != NULL) {
    card_reset(ext);
    restore_axis_setup(ext);
    InterlockedExchange(&ext->stopping, 0);
    KeSynchronizeExecution(ext->interrupt, interrupt_enable, ext);
  }
  InterlockedExchange(&ext->powered_down, 0);
  ExReleaseFastMutex(&ext->request_mutex);
}

static NTSTATUS pass_down_power(CardExtension *ext, PIRP irp) {
  PoStartNextPowerIrp(irp);
  IoSkipCurrentIrpStackLocation(irp);
  return PoCallDriver(ext->lower, irp);
}

static VOID record_device_state(CardExtension *ext, DEVICE_POWER_STATE state) {
  if (ext->device_power_state == state) return;
  ext->device_power_state = state;
  POWER_STATE power;
  power.DeviceState = state;
  PoSetPowerState(ext->self, DevicePowerState, power);
}

static DEVICE_POWER_STATE device_state_for(SYSTEM_POWER_STATE system) {
  return system == PowerSystemWorking ? PowerDeviceD0 : PowerDeviceD3;
}

/* A device power request this driver asked for, and how it ended. */
typedef struct DevicePowerRequest {
  KEVENT done;
  NTSTATUS status;
} DevicePowerRequest;

static VOID device_power_done(PDEVICE_OBJECT device, UCHAR minor, POWER_STATE state, PVOID context,
                              PIO_STATUS_BLOCK io_status) {
  UNREFERENCED_PARAMETER(device);
  UNREFERENCED_PARAMETER(minor);
  UNREFERENCED_PARAMETER(state);
  DevicePowerRequest *request = (DevicePowerRequest *)context;
  request->status = io_status->Status;
  KeSetEvent(&request->done, IO_NO_INCREMENT, FALSE);
}

/* The card's own power-up after a wake has ended, well or not: the requests
 * held meanwhile are served (or refused by a card still down). The device
 * is the bus driver's, to which the request was addressed: the card comes
 * as the context. */
static VOID wake_power_up_done(PDEVICE_OBJECT device, UCHAR minor, POWER_STATE state, PVOID context,
                               PIO_STATUS_BLOCK io_status) {
  UNREFERENCED_PARAMETER(device);
  UNREFERENCED_PARAMETER(minor);
  UNREFERENCED_PARAMETER(state);
  UNREFERENCED_PARAMETER(io_status);
  request_gate_open((CardExtension *)context);
}

/* Sends a device set-power request for the state to the card's own stack and
 * waits for it. */
static NTSTATUS request_device_state_and_wait(CardExtension *ext, DEVICE_POWER_STATE state) {
  DevicePowerRequest request;
  KeInitializeEvent(&request.done, NotificationEvent, FALSE);
  request.status = STATUS_SUCCESS;
  POWER_STATE power;
  power.DeviceState = state;
  NTSTATUS status =
      PoRequestPowerIrp(ext->physical, IRP_MN_SET_POWER, power, device_power_done, &request, NULL);
  if (status != STATUS_PENDING) return STATUS_INSUFFICIENT_RESOURCES;  /* not sent */
  KeWaitForSingleObject(&request.done, Executive, KernelMode, FALSE, NULL);
  return request.status;
}

/* A system power-up: once the lower drivers have it, the card is asked
 * back to D0. Applications run again from here on: their requests wait
 * for the card (the gate closed when the request came). */
static NTSTATUS system_power_up_done(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
  UNREFERENCED_PARAMETER(context);
  CardExtension *ext = card_extension(device);
  if (irp->PendingReturned) IoMarkIrpPending(irp);
  NTSTATUS requested = STATUS_UNSUCCESSFUL;
  if (NT_SUCCESS(irp->IoStatus.Status)) {
    POWER_STATE power;
    power.DeviceState =
        device_state_for(IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.SystemState);
    requested = PoRequestPowerIrp(ext->physical, IRP_MN_SET_POWER, power, wake_power_up_done, ext, NULL);
  }
  if (requested != STATUS_PENDING) request_gate_open(ext);  /* no power-up to wait for */
  PoStartNextPowerIrp(irp);
  return STATUS_SUCCESS;
}

static NTSTATUS signal_power_done(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
  UNREFERENCED_PARAMETER(device);
  UNREFERENCED_PARAMETER(irp);
  KeSetEvent((PKEVENT)context, IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;  /* completed again below */
}

/* A device power-up: the bus driver powers the slot first, then the card is
 * brought up at PASSIVE_LEVEL (the request mutex) before the request ends. */
static NTSTATUS device_power_up(CardExtension *ext, PIRP irp) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IoCopyCurrentIrpStackLocationToNext(irp);
  IoSetCompletionRoutine(irp, signal_power_done, &done, TRUE, TRUE, TRUE);
  if (PoCallDriver(ext->lower, irp) == STATUS_PENDING)
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
  const NTSTATUS status = irp->IoStatus.Status;
  if (NT_SUCCESS(status)) {
    const DEVICE_POWER_STATE state = IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.DeviceState;
    if (state == PowerDeviceD0) power_up_card(ext);
    record_device_state(ext, state);
  }
  PoStartNextPowerIrp(irp);
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static NTSTATUS set_power(CardExtension *ext, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const BOOLEAN device_request = stack->Parameters.Power.Type == DevicePowerState;
  const DEVICE_POWER_STATE target = device_request
                                        ? stack->Parameters.Power.State.DeviceState
                                        : device_state_for(stack->Parameters.Power.State.SystemState);
  if (target < ext->device_power_state) {
    if (device_request) return device_power_up(ext, irp);
    request_gate_close(ext);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, system_power_up_done, NULL, TRUE, TRUE, TRUE);
    return PoCallDriver(ext->lower, irp);
  }
  if (target > ext->device_power_state) {
    if (device_request) {
      if (ext->device_power_state == PowerDeviceD0) power_down_card(ext);
      record_device_state(ext, target);
    } else {
      NTSTATUS status = request_device_state_and_wait(ext, target);
      if (!NT_SUCCESS(status)) {
        PoStartNextPowerIrp(irp);
        return complete_request(irp, status, 0);
      }
    }
  }
  return pass_down_power(ext, irp);
}

static NTSTATUS query_power(CardExtension *ext, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->Parameters.Power.Type == DevicePowerState) {
    const DEVICE_POWER_STATE state = stack->Parameters.Power.State.DeviceState;
    if (state != PowerDeviceD0 && state != PowerDeviceD3) {
      PoStartNextPowerIrp(irp);
      return complete_request(irp, STATUS_POWER_STATE_INVALID, 0);
    }
  }
  return pass_down_power(ext, irp);
}

NTSTATUS dispatch_power(PDEVICE_OBJECT device, PIRP irp) {
  CardExtension *ext = card_extension(device);
  const BOOLEAN referenced = io_ref_acquire(ext);
  NTSTATUS status;
  switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
    case IRP_MN_SET_POWER:
      status = set_power(ext, irp);
      break;
    case IRP_MN_QUERY_POWER:
      status = query_power(ext, irp);
      break;
    default:
      status = pass_down_power(ext, irp);
      break;
  }
  if (referenced) io_ref_release(ext);
  return status;
}

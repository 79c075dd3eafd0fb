/* Power dispatch: the driver only records the card's device power state;
 * the card itself is neither powered up nor down. Every path starts the next
 * power request exactly once. */
#include "rm7x0_driver.h"

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

static VOID ignore_power_done(PDEVICE_OBJECT device, UCHAR minor, POWER_STATE state, PVOID context,
                              PIO_STATUS_BLOCK io_status) {
  UNREFERENCED_PARAMETER(device);
  UNREFERENCED_PARAMETER(minor);
  UNREFERENCED_PARAMETER(state);
  UNREFERENCED_PARAMETER(context);
  UNREFERENCED_PARAMETER(io_status);
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

/* Powering up: the lower drivers go first; the state is recorded once they
 * have succeeded. */
static NTSTATUS power_up_done(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
  UNREFERENCED_PARAMETER(context);
  CardExtension *ext = card_extension(device);
  if (irp->PendingReturned) IoMarkIrpPending(irp);
  if (NT_SUCCESS(irp->IoStatus.Status)) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->Parameters.Power.Type == DevicePowerState) {
      record_device_state(ext, stack->Parameters.Power.State.DeviceState);
    } else {
      POWER_STATE power;
      power.DeviceState = device_state_for(stack->Parameters.Power.State.SystemState);
      PoRequestPowerIrp(ext->physical, IRP_MN_SET_POWER, power, ignore_power_done, NULL, NULL);
    }
  }
  PoStartNextPowerIrp(irp);
  return STATUS_SUCCESS;
}

static NTSTATUS set_power(CardExtension *ext, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const BOOLEAN device_request = stack->Parameters.Power.Type == DevicePowerState;
  const DEVICE_POWER_STATE target = device_request
                                        ? stack->Parameters.Power.State.DeviceState
                                        : device_state_for(stack->Parameters.Power.State.SystemState);
  if (target < ext->device_power_state) {
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, power_up_done, NULL, TRUE, TRUE, TRUE);
    return PoCallDriver(ext->lower, irp);
  }
  if (target > ext->device_power_state) {
    if (device_request) {
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

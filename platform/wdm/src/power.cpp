// The power manager: recorded power states, the serialisation calls of power
// IRPs, and power requests it sends for a driver from its worker thread.
#include "kernel.h"

/* ntoskrnl */
POWER_STATE PoSetPowerState(PDEVICE_OBJECT DeviceObject, POWER_STATE_TYPE Type, POWER_STATE State) {
  // Only a device entering D0 may be reported at DISPATCH_LEVEL.
  const bool entering_d0 = Type == DevicePowerState && State.DeviceState == PowerDeviceD0;
  kernel::require_irql_at_most(entering_d0 ? DISPATCH_LEVEL : APC_LEVEL, "PoSetPowerState");
  _DEVOBJ_EXTENSION* record = DeviceObject->DeviceObjectExtension;
  POWER_STATE& kept = Type == DevicePowerState ? record->device_power : record->system_power;
  const POWER_STATE old = kept;
  kept = State;
  return old;
}

/* ntoskrnl */
VOID PoStartNextPowerIrp(PIRP Irp) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "PoStartNextPowerIrp");
  if (IoGetCurrentIrpStackLocation(Irp)->MajorFunction != IRP_MJ_POWER)
    kernel::verifier_fail("PoStartNextPowerIrp of an IRP that is no power request", "IRP %p",
                          static_cast<void*>(Irp));
  kernel::mark_power_irp_started(Irp);
}

/* ntoskrnl */
NTSTATUS PoCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "PoCallDriver");
  if (IoGetNextIrpStackLocation(Irp)->MajorFunction != IRP_MJ_POWER)
    kernel::verifier_fail("PoCallDriver with an IRP that is no power request", "IRP %p",
                          static_cast<void*>(Irp));
  return IofCallDriver(DeviceObject, Irp);
}

/* ntoskrnl */
NTSTATUS PoRequestPowerIrp(PDEVICE_OBJECT DeviceObject, UCHAR MinorFunction, POWER_STATE PowerState,
                           PREQUEST_POWER_COMPLETE CompletionFunction, PVOID Context, PIRP* Irp) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "PoRequestPowerIrp");
  if (MinorFunction != IRP_MN_SET_POWER && MinorFunction != IRP_MN_QUERY_POWER)
    return STATUS_INVALID_PARAMETER;
  PDEVICE_OBJECT top = kernel::top_of_stack(DeviceObject);
  PIRP irp = kernel::allocate_irp(top->StackSize, [=](PIRP done) {
    if (CompletionFunction) CompletionFunction(DeviceObject, MinorFunction, PowerState, Context, &done->IoStatus);
    kernel::release_irp_reference(done);
  });
  if (!irp) return STATUS_INSUFFICIENT_RESOURCES;
  irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = IRP_MJ_POWER;
  next->MinorFunction = MinorFunction;
  next->Parameters.Power.Type = DevicePowerState;
  next->Parameters.Power.State = PowerState;
  if (Irp) *Irp = irp;
  ObfReferenceObject(top);
  kernel::worker_queue([top, irp] {
    IofCallDriver(top, irp);
    ObfDereferenceObject(top);
  });
  return STATUS_PENDING;
}

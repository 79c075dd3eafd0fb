#include "fake_driver.h"

#include <algorithm>

#include "fake_card.h"

namespace fake_driver {

Observed observed;

namespace {

struct Extension {
  PDEVICE_OBJECT self;
  PDEVICE_OBJECT lower;
  PDEVICE_OBJECT pdo;
  LONG io_count;
  KEVENT remove_event;
  LONG removed;
  UNICODE_STRING link;
  PUCHAR registers;
  PKINTERRUPT interrupt;
  Connection connection;
  KSPIN_LOCK lock;
  PIRP pending;
  KEVENT unblock;
};

Extension* ext_of(PDEVICE_OBJECT device) { return static_cast<Extension*>(device->DeviceExtension); }

bool acquire(Extension* ext) {
  InterlockedIncrement(&ext->io_count);
  if (!ext->removed) return true;
  if (InterlockedDecrement(&ext->io_count) == 0) KeSetEvent(&ext->remove_event, IO_NO_INCREMENT, FALSE);
  return false;
}

void release(Extension* ext) {
  if (InterlockedDecrement(&ext->io_count) == 0) KeSetEvent(&ext->remove_event, IO_NO_INCREMENT, FALSE);
}

NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS pass_down(Extension* ext, PIRP irp) {
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(ext->lower, irp);
}

NTSTATUS signal_and_claim(PDEVICE_OBJECT, PIRP, PVOID context) {
  KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS forward_and_wait(Extension* ext, PIRP irp) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IoCopyCurrentIrpStackLocationToNext(irp);
  IoSetCompletionRoutine(irp, signal_and_claim, &done, TRUE, TRUE, TRUE);
  if (IoCallDriver(ext->lower, irp) == STATUS_PENDING)
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  return irp->IoStatus.Status;
}

BOOLEAN isr(PKINTERRUPT, PVOID context) {
  auto* ext = static_cast<Extension*>(context);
  observed.isr_irql = KeGetCurrentIrql();
  observed.isr_thread = std::this_thread::get_id();
  ++observed.isr_calls;
  if (!observed.isr_claims) return FALSE;
  if (observed.isr_acknowledges) WRITE_REGISTER_ULONG(reinterpret_cast<PULONG>(ext->registers + fake::kRegAck), 1);
  IoRequestDpc(ext->self, nullptr, nullptr);
  return TRUE;
}

void dpc_for_isr(PKDPC, PDEVICE_OBJECT device, PIRP, PVOID) {
  Extension* ext = ext_of(device);
  observed.dpc_thread = std::this_thread::get_id();
  ++observed.dpc_calls;
  KeAcquireSpinLockAtDpcLevel(&ext->lock);
  PIRP irp = ext->pending;
  ext->pending = nullptr;
  KeReleaseSpinLockFromDpcLevel(&ext->lock);
  if (irp && IoSetCancelRoutine(irp, nullptr)) complete(irp, STATUS_SUCCESS, 0);
}

void cancel_pending(PDEVICE_OBJECT device, PIRP irp) {
  IoReleaseCancelSpinLock(irp->CancelIrql);
  Extension* ext = ext_of(device);
  KIRQL irql;
  KeAcquireSpinLock(&ext->lock, &irql);
  if (ext->pending == irp) ext->pending = nullptr;
  KeReleaseSpinLock(&ext->lock, irql);
  complete(irp, STATUS_CANCELLED, 0);
}

NTSTATUS pend_until_interrupt(Extension* ext, PIRP irp) {
  KIRQL irql;
  KeAcquireSpinLock(&ext->lock, &irql);
  if (ext->pending) {
    KeReleaseSpinLock(&ext->lock, irql);
    return complete(irp, STATUS_DEVICE_BUSY, 0);
  }
  IoMarkIrpPending(irp);
  IoSetCancelRoutine(irp, cancel_pending);
  if (irp->Cancel && IoSetCancelRoutine(irp, nullptr)) {
    KeReleaseSpinLock(&ext->lock, irql);
    complete(irp, STATUS_CANCELLED, 0);
    return STATUS_PENDING;
  }
  ext->pending = irp;
  KeReleaseSpinLock(&ext->lock, irql);
  return STATUS_PENDING;
}

BOOLEAN read_data(PVOID context) {
  auto* out = static_cast<ULONG*>(context);
  Extension* ext = reinterpret_cast<Extension*>(out[1] | (static_cast<ULONG_PTR>(out[2]) << 32));
  out[0] = READ_REGISTER_ULONG(reinterpret_cast<PULONG>(ext->registers + fake::kRegData));
  return TRUE;
}

NTSTATUS dispatch_control(PDEVICE_OBJECT device, PIRP irp) {
  Extension* ext = ext_of(device);
  if (!acquire(ext)) return complete(irp, STATUS_DELETE_PENDING, 0);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const auto& params = stack->Parameters.DeviceIoControl;
  NTSTATUS status = STATUS_SUCCESS;
  ULONG_PTR information = 0;
  switch (params.IoControlCode) {
    case kEcho:  // as many input bytes as the output buffer holds
      information = std::min(params.InputBufferLength, params.OutputBufferLength);
      break;
    case kOversized:  // breaks the rule: claims more than any buffer holds
      information = 64;
      break;
    case kRaise:
      ExRaiseStatus(STATUS_INSUFFICIENT_RESOURCES);
      break;
    case kWaitInterrupt:
      status = pend_until_interrupt(ext, irp);
      release(ext);
      return status;
    case kBlock:
      ++observed.blocked;
      KeWaitForSingleObject(&ext->unblock, Executive, KernelMode, FALSE, nullptr);
      --observed.blocked;
      break;
    case kReadData: {
      ULONG words[3] = {0, static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(ext)),
                        static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(ext) >> 32)};
      KeSynchronizeExecution(ext->interrupt, read_data, words);
      memcpy(irp->AssociatedIrp.SystemBuffer, words, sizeof(ULONG));
      information = sizeof(ULONG);
      break;
    }
    default:
      status = STATUS_INVALID_DEVICE_REQUEST;
  }
  release(ext);
  return complete(irp, status, information);
}

NTSTATUS dispatch_simple(PDEVICE_OBJECT, PIRP irp) { return complete(irp, STATUS_SUCCESS, 0); }

void write_card_id(Extension* ext) {
  HANDLE key;
  if (!NT_SUCCESS(IoOpenDeviceRegistryKey(ext->pdo, PLUGPLAY_REGKEY_DEVICE, KEY_WRITE, &key))) return;
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"CardID");
  ULONG value = kCardIdValue;
  ZwSetValueKey(key, &name, 0, REG_DWORD, &value, sizeof value);
  ZwClose(key);
}

NTSTATUS start_hardware(Extension* ext, PIRP irp) {
  PCM_RESOURCE_LIST translated = IoGetCurrentIrpStackLocation(irp)->Parameters.StartDevice.AllocatedResourcesTranslated;
  const auto& list = translated->List[0].PartialResourceList;
  for (ULONG i = 0; i < list.Count; ++i) {
    const CM_PARTIAL_RESOURCE_DESCRIPTOR& d = list.PartialDescriptors[i];
    if (d.Type == CmResourceTypeMemory) {
      ext->registers = static_cast<PUCHAR>(MmMapIoSpace(d.u.Memory.Start, d.u.Memory.Length, MmNonCached));
    } else if (d.Type == CmResourceTypeInterrupt) {
      const auto level = static_cast<KIRQL>(d.u.Interrupt.Level);
      ext->connection = Connection{d.u.Interrupt.Vector, level};
      const NTSTATUS status = IoConnectInterrupt(&ext->interrupt, isr, ext, nullptr, d.u.Interrupt.Vector, level,
                                                 level, LevelSensitive, TRUE, d.u.Interrupt.Affinity, FALSE);
      if (!NT_SUCCESS(status)) return status;
    }
  }
  if (!ext->registers) return STATUS_INSUFFICIENT_RESOURCES;
  observed.starting = true;
  while (observed.start_waits) std::this_thread::yield();  // the test looks at the device meanwhile
  write_card_id(ext);
  IoInvalidateDeviceRelations(ext->pdo, RemovalRelations);
  ++observed.starts;
  return STATUS_SUCCESS;
}

void stop_hardware(Extension* ext) {
  if (ext->interrupt) IoDisconnectInterrupt(ext->interrupt);
  ext->interrupt = nullptr;
  if (ext->registers) MmUnmapIoSpace(ext->registers, fake::kBar0Length);
  ext->registers = nullptr;
}

NTSTATUS remove_device(Extension* ext, PIRP irp) {
  ++observed.removes;
  ext->removed = 1;
  release(ext);
  release(ext);
  KeWaitForSingleObject(&ext->remove_event, Executive, KernelMode, FALSE, nullptr);
  stop_hardware(ext);
  irp->IoStatus.Status = STATUS_SUCCESS;
  const NTSTATUS status = pass_down(ext, irp);
  IoSetDeviceInterfaceState(&ext->link, FALSE);
  RtlFreeUnicodeString(&ext->link);
  IoDetachDevice(ext->lower);
  IoDeleteDevice(ext->self);
  return status;
}

NTSTATUS dispatch_pnp(PDEVICE_OBJECT device, PIRP irp) {
  Extension* ext = ext_of(device);
  if (!acquire(ext)) return complete(irp, STATUS_DELETE_PENDING, 0);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS status;
  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
      status = forward_and_wait(ext, irp);
      if (NT_SUCCESS(status)) status = start_hardware(ext, irp);
      complete(irp, status, 0);
      break;
    case IRP_MN_REMOVE_DEVICE:
      return remove_device(ext, irp);
    case IRP_MN_STOP_DEVICE:
      stop_hardware(ext);
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = pass_down(ext, irp);
      break;
    case IRP_MN_QUERY_DEVICE_RELATIONS:
      if (stack->Parameters.QueryDeviceRelations.Type == RemovalRelations) ++observed.relation_queries;
      status = pass_down(ext, irp);
      break;
    case IRP_MN_SURPRISE_REMOVAL:
      if (observed.disables_interface_at_surprise_removal) IoSetDeviceInterfaceState(&ext->link, FALSE);
      [[fallthrough]];
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = pass_down(ext, irp);
      break;
    default:
      status = pass_down(ext, irp);
  }
  release(ext);
  return status;
}

void power_done(PDEVICE_OBJECT, UCHAR, POWER_STATE, PVOID context, PIO_STATUS_BLOCK) {
  KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
}

void request_device_power(Extension* ext, DEVICE_POWER_STATE d) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  POWER_STATE state;
  state.DeviceState = d;
  if (PoRequestPowerIrp(ext->pdo, IRP_MN_SET_POWER, state, power_done, &done, nullptr) == STATUS_PENDING)
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
}

NTSTATUS dispatch_power(PDEVICE_OBJECT device, PIRP irp) {
  Extension* ext = ext_of(device);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  observed.power_irql = KeGetCurrentIrql();
  if (stack->MinorFunction == IRP_MN_SET_POWER) {
    const auto& power = stack->Parameters.Power;
    if (power.Type == DevicePowerState)
      PoSetPowerState(device, DevicePowerState, power.State);
    else
      request_device_power(ext, power.State.SystemState == PowerSystemWorking ? PowerDeviceD0 : PowerDeviceD3);
  }
  PoStartNextPowerIrp(irp);
  IoSkipCurrentIrpStackLocation(irp);
  return PoCallDriver(ext->lower, irp);
}

NTSTATUS add_device(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
  PDEVICE_OBJECT device;
  NTSTATUS status = IoCreateDevice(driver, sizeof(Extension), nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  Extension* ext = ext_of(device);
  ext->self = device;
  ext->pdo = pdo;
  ext->io_count = 1;
  KeInitializeEvent(&ext->remove_event, NotificationEvent, FALSE);
  KeInitializeEvent(&ext->unblock, NotificationEvent, FALSE);
  KeInitializeSpinLock(&ext->lock);
  status = IoRegisterDeviceInterface(pdo, &kInterface, nullptr, &ext->link);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  IoSetDeviceInterfaceState(&ext->link, TRUE);
  IoInitializeDpcRequest(device, dpc_for_isr);
  ext->lower = IoAttachDeviceToDeviceStack(device, pdo);
  device->Flags |= ext->lower->Flags & DO_POWER_PAGABLE;  // as the bus driver below
  POWER_STATE d0;
  d0.DeviceState = PowerDeviceD0;
  PoSetPowerState(device, DevicePowerState, d0);
  device->Flags |= DO_BUFFERED_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

void unload(PDRIVER_OBJECT) {}

}  // namespace

void reset_observed() {
  observed.isr_calls = 0;
  observed.dpc_calls = 0;
  observed.starts = 0;
  observed.removes = 0;
  observed.relation_queries = 0;
  observed.isr_irql = -1;
  observed.isr_thread = std::thread::id{};
  observed.dpc_thread = std::thread::id{};
  observed.isr_claims = true;
  observed.isr_acknowledges = true;
  observed.blocked = 0;
  observed.power_irql = -1;
  observed.disables_interface_at_surprise_removal = false;
  observed.start_waits = false;
  observed.starting = false;
}

void unblock(PDEVICE_OBJECT fdo) { KeSetEvent(&ext_of(fdo)->unblock, IO_NO_INCREMENT, FALSE); }
PKINTERRUPT interrupt_of(PDEVICE_OBJECT fdo) { return ext_of(fdo)->interrupt; }
Connection connection_of(PDEVICE_OBJECT fdo) { return ext_of(fdo)->connection; }

NTSTATUS entry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  driver->MajorFunction[IRP_MJ_CREATE] = dispatch_simple;
  driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_simple;
  driver->MajorFunction[IRP_MJ_CLEANUP] = dispatch_simple;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_control;
  driver->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
  driver->MajorFunction[IRP_MJ_POWER] = dispatch_power;
  driver->DriverUnload = unload;
  driver->DriverExtension->AddDevice = add_device;
  return STATUS_SUCCESS;
}

}  // namespace fake_driver

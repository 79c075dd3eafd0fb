#include "fake_driver.h"

#include <wdm.h>

#include <cstring>
#include <memory>

#include "card/machine.h"
#include "sim_kernel.h"

namespace fake_driver {

const std::uint8_t interface_class[16] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                                          0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x01};

namespace {

struct Extension {
  PDEVICE_OBJECT lower;
  UNICODE_STRING link;
};

std::unique_ptr<card::Machine> machine;
KSPIN_LOCK pending_lock;
PIRP pending_irp;  // under pending_lock
Request pending_request;

NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS answer(PIRP irp, const Request &request) {
  const ULONG out_length = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength;
  std::memset(irp->AssociatedIrp.SystemBuffer, request.fill, out_length);
  return complete(irp, request.status, request.information);
}

void cancel_pending(PDEVICE_OBJECT, PIRP irp) {
  IoReleaseCancelSpinLock(irp->CancelIrql);
  KIRQL irql;
  KeAcquireSpinLock(&pending_lock, &irql);
  if (pending_irp == irp) pending_irp = nullptr;
  KeReleaseSpinLock(&pending_lock, irql);
  complete(irp, STATUS_CANCELLED, 0);
}

NTSTATUS dispatch_control(PDEVICE_OBJECT, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->Parameters.DeviceIoControl.IoControlCode != request_code ||
      stack->Parameters.DeviceIoControl.InputBufferLength < sizeof(Request))
    return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  Request request;
  std::memcpy(&request, irp->AssociatedIrp.SystemBuffer, sizeof request);
  if (!request.pend) return answer(irp, request);
  IoMarkIrpPending(irp);
  KIRQL irql;
  KeAcquireSpinLock(&pending_lock, &irql);
  pending_irp = irp;
  pending_request = request;
  IoSetCancelRoutine(irp, cancel_pending);
  if (irp->Cancel && IoSetCancelRoutine(irp, nullptr)) {
    pending_irp = nullptr;
    KeReleaseSpinLock(&pending_lock, irql);
    complete(irp, STATUS_CANCELLED, 0);
    return STATUS_PENDING;
  }
  KeReleaseSpinLock(&pending_lock, irql);
  return STATUS_PENDING;
}

NTSTATUS dispatch_succeed(PDEVICE_OBJECT, PIRP irp) { return complete(irp, STATUS_SUCCESS, 0); }

NTSTATUS dispatch_pnp(PDEVICE_OBJECT device, PIRP irp) {
  auto *extension = static_cast<Extension *>(device->DeviceExtension);
  const UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
  if (minor == IRP_MN_REMOVE_DEVICE) IoSetDeviceInterfaceState(&extension->link, FALSE);
  IoSkipCurrentIrpStackLocation(irp);
  const NTSTATUS status = IoCallDriver(extension->lower, irp);
  if (minor == IRP_MN_REMOVE_DEVICE) {
    RtlFreeUnicodeString(&extension->link);
    IoDetachDevice(extension->lower);
    IoDeleteDevice(device);
  }
  return status;
}

NTSTATUS dispatch_power(PDEVICE_OBJECT device, PIRP irp) {
  PoStartNextPowerIrp(irp);
  IoSkipCurrentIrpStackLocation(irp);
  return PoCallDriver(static_cast<Extension *>(device->DeviceExtension)->lower, irp);
}

void write_card_id(PDEVICE_OBJECT pdo) {
  HANDLE key;
  if (!NT_SUCCESS(IoOpenDeviceRegistryKey(pdo, PLUGPLAY_REGKEY_DEVICE, KEY_WRITE, &key))) return;
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"CardID");
  ULONG value = card_id_value;
  ZwSetValueKey(key, &name, 0, REG_DWORD, &value, sizeof value);
  ZwClose(key);
}

NTSTATUS add_device(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
  PDEVICE_OBJECT device;
  NTSTATUS status = IoCreateDevice(driver, sizeof(Extension), nullptr, FILE_DEVICE_UNKNOWN, 0,
                                   FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  auto *extension = static_cast<Extension *>(device->DeviceExtension);
  extension->lower = IoAttachDeviceToDeviceStack(device, pdo);
  GUID guid;
  std::memcpy(&guid, interface_class, sizeof guid);
  IoRegisterDeviceInterface(pdo, &guid, nullptr, &extension->link);
  IoSetDeviceInterfaceState(&extension->link, TRUE);
  write_card_id(pdo);
  device->Flags |= DO_BUFFERED_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

NTSTATUS driver_entry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  driver->MajorFunction[IRP_MJ_CREATE] = dispatch_succeed;
  driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_succeed;
  driver->MajorFunction[IRP_MJ_CLEANUP] = dispatch_succeed;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_control;
  driver->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
  driver->MajorFunction[IRP_MJ_POWER] = dispatch_power;
  driver->DriverExtension->AddDevice = add_device;
  KeInitializeSpinLock(&pending_lock);
  return STATUS_SUCCESS;
}

}  // namespace

void boot() {
  machine = card::Machine::from_description("");
  sim::Parts parts;
  parts.functions = machine->functions();
  parts.clock = &machine->clock();
  parts.traits = machine->traits();
  parts.drivers = {{"PCI\\VEN_7A72&DEV_0720", "fake", driver_entry}};
  sim::boot(parts);
}

void shutdown() {
  sim::shutdown();
  machine.reset();
}

bool complete_pending() {
  KIRQL irql;
  KeAcquireSpinLock(&pending_lock, &irql);
  PIRP irp = pending_irp;
  pending_irp = nullptr;
  const bool owned = irp && IoSetCancelRoutine(irp, nullptr) != nullptr;
  KeReleaseSpinLock(&pending_lock, irql);
  if (owned) answer(irp, pending_request);
  return owned;
}

bool has_pending() {
  KIRQL irql;
  KeAcquireSpinLock(&pending_lock, &irql);
  const bool pending = pending_irp != nullptr;
  KeReleaseSpinLock(&pending_lock, irql);
  return pending;
}

}  // namespace fake_driver

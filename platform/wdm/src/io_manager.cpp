// Driver and device objects and device stacks.
#include <new>

#include "kernel.h"

namespace {

void free_when_unreferenced(void* body) { kernel::free_object(body); }
void no_handle_action(void*) {}

_OBJECT_TYPE device_object_type{{"Device", free_when_unreferenced, no_handle_action}};
_OBJECT_TYPE driver_object_type{{"Driver", free_when_unreferenced, no_handle_action}};

constexpr std::size_t align16(std::size_t n) { return (n + 15) & ~std::size_t{15}; }

void device_dpc(PKDPC dpc, PVOID context, PVOID argument1, PVOID argument2) {
  auto* device = static_cast<PDEVICE_OBJECT>(context);
  device->DeviceObjectExtension->dpc_routine(dpc, device, static_cast<PIRP>(argument1), argument2);
}

void unlink_from_driver(PDEVICE_OBJECT device) {
  for (PDEVICE_OBJECT* link = &device->DriverObject->DeviceObject; *link; link = &(*link)->NextDevice)
    if (*link == device) {
      *link = device->NextDevice;
      return;
    }
}

void check_deletable(PDEVICE_OBJECT device) {
  _DEVOBJ_EXTENSION* record = device->DeviceObjectExtension;
  if (record->deleted)
    kernel::verifier_fail("device deleted twice", "device %p", static_cast<void*>(device));
  if (const std::size_t pending = kernel::irps_pending_at(device))
    kernel::verifier_fail("request still pending when its device is deleted",
                          "device %p holds %zu requests", static_cast<void*>(device), pending);
  if (device->AttachedDevice)
    kernel::verifier_fail("device deleted while a device is attached above it", "device %p",
                          static_cast<void*>(device));
  if (record->attached_to)
    kernel::verifier_fail("device deleted while still attached to a lower device",
                          "device %p (IoDetachDevice first)", static_cast<void*>(device));
  const std::size_t span = sizeof(DEVICE_OBJECT) + record->extension_size;
  kernel::timer_check_none_set_in(device, span, "a deleted device");
  kernel::dpc_check_none_queued_in(device, span, "a deleted device");
  kernel::interrupts_check_none_connected_for(device, span, "a deleted device");
}

}  // namespace

namespace kernel {

POBJECT_TYPE device_type = &device_object_type;
POBJECT_TYPE driver_type = &driver_object_type;

PDEVICE_OBJECT top_of_stack(PDEVICE_OBJECT device) {
  while (device->AttachedDevice) device = device->AttachedDevice;
  return device;
}

PDRIVER_OBJECT create_driver_object(const std::string& name) {
  const std::size_t size = align16(sizeof(DRIVER_OBJECT)) + sizeof(DRIVER_EXTENSION);
  auto* driver = static_cast<PDRIVER_OBJECT>(create_object(driver_type, size));
  driver->Type = 4;  // IO_TYPE_DRIVER
  driver->Size = static_cast<CSHORT>(sizeof(DRIVER_OBJECT));
  driver->DriverExtension = reinterpret_cast<PDRIVER_EXTENSION>(
      reinterpret_cast<char*>(driver) + align16(sizeof(DRIVER_OBJECT)));
  driver->DriverExtension->DriverObject = driver;
  make_unicode_string("\\Driver\\" + name, &driver->DriverName);
  for (PDRIVER_DISPATCH& dispatch : driver->MajorFunction) dispatch = default_dispatch();
  return driver;
}

void delete_driver_object(PDRIVER_OBJECT driver) {
  if (driver->DeviceObject)
    verifier_fail("driver unloaded while its devices exist", "driver %p, device %p",
                  static_cast<void*>(driver), static_cast<void*>(driver->DeviceObject));
  RtlFreeUnicodeString(&driver->DriverName);
  ObfDereferenceObject(driver);
}

}  // namespace kernel

/* ntoskrnl */
NTSTATUS IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize, PUNICODE_STRING DeviceName,
                        ULONG DeviceType, ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                        PDEVICE_OBJECT* DeviceObject) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "IoCreateDevice");
  *DeviceObject = nullptr;
  if (DeviceName && DeviceName->Length) return STATUS_NOT_SUPPORTED;  // named devices: not offered
  const std::size_t extension = align16(DeviceExtensionSize);
  const std::size_t size = align16(sizeof(DEVICE_OBJECT)) + extension + sizeof(_DEVOBJ_EXTENSION);
  auto* device = static_cast<PDEVICE_OBJECT>(kernel::create_object(kernel::device_type, size));
  if (!device) return STATUS_INSUFFICIENT_RESOURCES;
  char* after = reinterpret_cast<char*>(device) + align16(sizeof(DEVICE_OBJECT));
  device->Type = 3;  // IO_TYPE_DEVICE
  device->Size = static_cast<USHORT>(sizeof(DEVICE_OBJECT) + DeviceExtensionSize);
  device->DriverObject = DriverObject;
  device->NextDevice = DriverObject->DeviceObject;
  DriverObject->DeviceObject = device;
  device->Flags = DO_DEVICE_INITIALIZING | (Exclusive ? DO_EXCLUSIVE : 0);
  device->Characteristics = DeviceCharacteristics;
  device->DeviceExtension = DeviceExtensionSize ? after : nullptr;
  device->DeviceType = DeviceType;
  device->StackSize = 1;
  device->DeviceObjectExtension = new (after + extension) _DEVOBJ_EXTENSION{};
  device->DeviceObjectExtension->device = device;
  device->DeviceObjectExtension->extension_size = align16(sizeof(DEVICE_OBJECT)) + extension;
  *DeviceObject = device;
  return STATUS_SUCCESS;
}

/* ntoskrnl */
VOID IoDeleteDevice(PDEVICE_OBJECT DeviceObject) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "IoDeleteDevice");
  check_deletable(DeviceObject);
  DeviceObject->DeviceObjectExtension->deleted = true;
  unlink_from_driver(DeviceObject);
  ObfDereferenceObject(DeviceObject);
}

/* ntoskrnl */
PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT SourceDevice, PDEVICE_OBJECT TargetDevice) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "IoAttachDeviceToDeviceStack");
  PDEVICE_OBJECT top = kernel::top_of_stack(TargetDevice);
  if (top->DeviceObjectExtension->deleted) return nullptr;
  top->AttachedDevice = SourceDevice;
  SourceDevice->DeviceObjectExtension->attached_to = top;
  SourceDevice->StackSize = static_cast<CCHAR>(top->StackSize + 1);
  SourceDevice->AlignmentRequirement = top->AlignmentRequirement;
  return top;
}

/* ntoskrnl */
VOID IoDetachDevice(PDEVICE_OBJECT TargetDevice) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "IoDetachDevice");
  PDEVICE_OBJECT source = TargetDevice->AttachedDevice;
  if (!source)
    kernel::verifier_fail("IoDetachDevice of a device nothing is attached to", "device %p",
                          static_cast<void*>(TargetDevice));
  source->DeviceObjectExtension->attached_to = nullptr;
  TargetDevice->AttachedDevice = nullptr;
}

/* ntoskrnl */
PDEVICE_OBJECT IoGetAttachedDeviceReference(PDEVICE_OBJECT DeviceObject) {
  PDEVICE_OBJECT top = kernel::top_of_stack(DeviceObject);
  ObfReferenceObject(top);
  return top;
}

/* ntoskrnl */
VOID IoInitializeDpcRequest(PDEVICE_OBJECT DeviceObject, PIO_DPC_ROUTINE DpcRoutine) {
  DeviceObject->DeviceObjectExtension->dpc_routine = DpcRoutine;
  KeInitializeDpc(&DeviceObject->Dpc, device_dpc, DeviceObject);
}

/* ntoskrnl */
VOID IoRequestDpc(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
  // For the service routine only: elsewhere KeInsertQueueDpc queues the same DPC.
  kernel::require_irql_at_least(DISPATCH_LEVEL + 1, "IoRequestDpc");
  KeInsertQueueDpc(&DeviceObject->Dpc, Irp, Context);
}

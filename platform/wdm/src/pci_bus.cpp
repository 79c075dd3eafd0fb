// The PCI bus driver: one physical device object (PDO) per card at the bottom
// of its stack. It serves the card's configuration space, accepts the Plug
// and Play state changes, records power states, and describes the card's
// resources as the Plug and Play manager hands them to the function driver.
#include <cstddef>

#include "kernel.h"

namespace {

card::PciFunction& function_of(PDEVICE_OBJECT pdo) { return *kernel::node_of(pdo)->function; }

NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IofCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS read_config(PDEVICE_OBJECT pdo, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  auto& request = stack->Parameters.ReadWriteConfig;
  if (request.WhichSpace != PCI_WHICHSPACE_CONFIG || !request.Buffer)
    return complete(irp, STATUS_NOT_SUPPORTED, 0);
  function_of(pdo).read_config(request.Offset, request.Buffer, request.Length);
  return complete(irp, STATUS_SUCCESS, request.Length);
}

NTSTATUS target_relation(PDEVICE_OBJECT pdo, PIRP irp) {
  auto* relations = static_cast<PDEVICE_RELATIONS>(ExAllocatePoolWithTag(PagedPool, sizeof(DEVICE_RELATIONS), 0x20696350));
  if (!relations) return complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
  relations->Count = 1;
  relations->Objects[0] = pdo;
  ObfReferenceObject(pdo);
  return complete(irp, STATUS_SUCCESS, reinterpret_cast<ULONG_PTR>(relations));
}

NTSTATUS dispatch_pnp(PDEVICE_OBJECT pdo, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_REMOVE_DEVICE:
      return complete(irp, STATUS_SUCCESS, 0);
    case IRP_MN_READ_CONFIG:
      return read_config(pdo, irp);
    case IRP_MN_QUERY_DEVICE_RELATIONS:
      if (stack->Parameters.QueryDeviceRelations.Type == TargetDeviceRelation) return target_relation(pdo, irp);
      break;
    default:
      break;
  }
  // Not the bus driver's to answer: leave what the function driver set.
  const NTSTATUS status = irp->IoStatus.Status;
  IofCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS dispatch_power(PDEVICE_OBJECT pdo, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  PoStartNextPowerIrp(irp);
  switch (stack->MinorFunction) {
    case IRP_MN_SET_POWER:
      if (stack->Parameters.Power.Type == DevicePowerState) {
        // D0 powers the slot; any lower state cuts it, and the card loses its state.
        function_of(pdo).set_powered(stack->Parameters.Power.State.DeviceState == PowerDeviceD0);
        PoSetPowerState(pdo, DevicePowerState, stack->Parameters.Power.State);
      }
      return complete(irp, STATUS_SUCCESS, 0);
    case IRP_MN_QUERY_POWER:
      return complete(irp, STATUS_SUCCESS, 0);
    default: {
      const NTSTATUS status = irp->IoStatus.Status;
      IofCompleteRequest(irp, IO_NO_INCREMENT);
      return status;
    }
  }
}

NTSTATUS dispatch_system_control(PDEVICE_OBJECT, PIRP irp) {
  const NTSTATUS status = irp->IoStatus.Status;
  IofCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

PCM_RESOURCE_LIST new_list(ULONG count) {
  const std::size_t size = offsetof(CM_RESOURCE_LIST, List[0].PartialResourceList.PartialDescriptors) +
                           (count ? count : 1) * sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR);
  auto* list = static_cast<PCM_RESOURCE_LIST>(kernel::pool_allocate(size, 0x20736552));  // "Res "
  memset(list, 0, size);
  list->Count = 1;
  list->List[0].InterfaceType = PCIBus;
  list->List[0].PartialResourceList.Version = 1;
  list->List[0].PartialResourceList.Revision = 1;
  return list;
}

void add_bar(PCM_RESOURCE_LIST list, const card::BarInfo& bar) {
  auto& partial = list->List[0].PartialResourceList;
  CM_PARTIAL_RESOURCE_DESCRIPTOR& d = partial.PartialDescriptors[partial.Count++];
  const bool memory = bar.kind == card::BarKind::Memory;
  d.Type = memory ? CmResourceTypeMemory : CmResourceTypePort;
  d.ShareDisposition = CmResourceShareDeviceExclusive;
  d.Flags = memory ? CM_RESOURCE_MEMORY_READ_WRITE : CM_RESOURCE_PORT_IO;
  d.u.Generic.Start.QuadPart = static_cast<LONGLONG>(bar.base);
  d.u.Generic.Length = bar.length;
}

void add_interrupt(PCM_RESOURCE_LIST list, ULONG level, ULONG vector, KAFFINITY affinity) {
  auto& partial = list->List[0].PartialResourceList;
  CM_PARTIAL_RESOURCE_DESCRIPTOR& d = partial.PartialDescriptors[partial.Count++];
  d.Type = CmResourceTypeInterrupt;
  d.ShareDisposition = CmResourceShareShared;
  d.Flags = CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE;  // PCI lines are level-triggered
  d.u.Interrupt.Level = level;
  d.u.Interrupt.Vector = vector;
  d.u.Interrupt.Affinity = affinity;
}

}  // namespace

namespace kernel {

PDRIVER_OBJECT pci_bus_create_driver() {
  PDRIVER_OBJECT bus = create_driver_object("pci");
  bus->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
  bus->MajorFunction[IRP_MJ_POWER] = dispatch_power;
  bus->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = dispatch_system_control;
  return bus;
}

PDEVICE_OBJECT pci_bus_create_pdo(PDRIVER_OBJECT bus, DeviceNode* node) {
  PDEVICE_OBJECT pdo = nullptr;
  IoCreateDevice(bus, 0, nullptr, FILE_DEVICE_BUS_EXTENDER, FILE_DEVICE_SECURE_OPEN, FALSE, &pdo);
  pdo->Flags |= DO_BUS_ENUMERATED_DEVICE | DO_POWER_PAGABLE;
  pdo->Flags &= ~DO_DEVICE_INITIALIZING;
  pdo->DeviceObjectExtension->node = node;
  return pdo;
}

void pci_bus_build_resources(card::PciFunction& function, PCM_RESOURCE_LIST* raw, PCM_RESOURCE_LIST* translated) {
  *raw = new_list(card::kBarCount + 1);
  *translated = new_list(card::kBarCount + 1);
  for (int index = 0; index < card::kBarCount; ++index) {
    const card::BarInfo bar = function.bar(index);
    if (bar.kind == card::BarKind::None || bar.length == 0) continue;
    add_bar(*raw, bar);
    add_bar(*translated, bar);
  }
  if (function.has_interrupt()) {
    const ULONG line = function.interrupt_vector();
    add_interrupt(*raw, line, line, ~KAFFINITY{0});
    add_interrupt(*translated, translated_level(function), translated_vector(function), 1);
  }
}

DeviceNode* node_of(PDEVICE_OBJECT device) {
  return device && object_type(device) == device_type ? device->DeviceObjectExtension->node : nullptr;
}

}  // namespace kernel

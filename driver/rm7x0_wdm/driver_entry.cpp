/* Driver entry, device creation, start, stop and removal of a card. */
#include <initguid.h>

#include "rm7x0_driver.h"

/* Cards of this driver that are started; PnP, interlocked. */
static volatile LONG g_started_cards = 0;

static VOID driver_unload(PDRIVER_OBJECT driver) { UNREFERENCED_PARAMETER(driver); }

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
  UNREFERENCED_PARAMETER(registry_path);
  driver->DriverUnload = driver_unload;
  driver->MajorFunction[IRP_MJ_CREATE] = dispatch_create;
  driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_close;
  driver->MajorFunction[IRP_MJ_CLEANUP] = dispatch_cleanup;
  driver->MajorFunction[IRP_MJ_READ] = dispatch_read_write;
  driver->MajorFunction[IRP_MJ_WRITE] = dispatch_read_write;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_device_control;
  driver->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
  driver->MajorFunction[IRP_MJ_POWER] = dispatch_power;
  driver->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = dispatch_system_control;
  driver->DriverExtension->AddDevice = add_device;
  InterlockedExchange(&g_started_cards, 0);
  return STATUS_SUCCESS;
}

/* ---- add_device ---------------------------------------------------------- */

static VOID init_card_state(CardExtension *ext, PDEVICE_OBJECT device) {
  waits_init(ext);
  interpolation_init(ext);
  home_search_init(ext, device);
}

/* The largest of 16, 12, 8 and 4 KB that the system can give below 128 MB,
 * cleared: the system hands contiguous memory out with whatever it held, and
 * user processes will see the buffer. */
static PVOID allocate_shared_buffer(ULONG *length) {
  PHYSICAL_ADDRESS highest;
  highest.QuadPart = SHARED_BUFFER_HIGHEST_ADDRESS;
  for (ULONG pages = SHARED_BUFFER_PAGES_MAX; pages > 0; --pages) {
    PVOID buffer = MmAllocateContiguousMemory(pages * PAGE_SIZE, highest);
    if (buffer != NULL) {
      RtlZeroMemory(buffer, pages * PAGE_SIZE);
      *length = pages * PAGE_SIZE;
      return buffer;
    }
  }
  return NULL;
}

/* Without a descriptor the buffer cannot be mapped anywhere: the card then
 * works without a shared buffer. */
static VOID describe_shared_buffer(CardExtension *ext, PVOID buffer, ULONG length) {
  PMDL mdl = IoAllocateMdl(buffer, length, FALSE, FALSE, NULL);
  if (mdl == NULL) {
    MmFreeContiguousMemory(buffer);
    return;
  }
  MmBuildMdlForNonPagedPool(mdl);
  ext->buffer.mdl = mdl;
  ext->buffer.kernel_address = buffer;
  ext->buffer.length = length;
}

NTSTATUS add_device(PDRIVER_OBJECT driver, PDEVICE_OBJECT physical) {
  PDEVICE_OBJECT device = NULL;
  NTSTATUS status = IoCreateDevice(driver, sizeof(CardExtension), NULL, FILE_DEVICE_UNKNOWN, 0,
                                   FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  CardExtension *ext = card_extension(device);
  RtlZeroMemory(ext, sizeof *ext);
  init_card_state(ext, device);

  ULONG buffer_length = 0;
  PVOID buffer = allocate_shared_buffer(&buffer_length);
  if (buffer == NULL) {
    IoDeleteDevice(device);
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  status = IoRegisterDeviceInterface(physical, &RM7X0_INTERFACE_GUID, NULL, &ext->interface_link);
  if (!NT_SUCCESS(status)) {
    MmFreeContiguousMemory(buffer);
    IoDeleteDevice(device);
    return status;
  }
  set_interface_state(ext, TRUE);

  ext->self = device;
  ext->physical = physical;
  ext->io_references = 1;
  ExInitializeFastMutex(&ext->request_mutex);
  request_gate_init(ext);
  describe_shared_buffer(ext, buffer, buffer_length);
  IoInitializeDpcRequest(device, dpc_for_isr);
  KeInitializeEvent(&ext->remove_event, NotificationEvent, FALSE);

  ext->lower = IoAttachDeviceToDeviceStack(device, physical);
  if (ext->lower == NULL) {
    remove_device(device);
    return STATUS_NO_SUCH_DEVICE;
  }
  /* The power manager calls a stack at PASSIVE_LEVEL only if every device
   * object in it is pageable: take the flag over from the bus driver below,
   * as the power path waits and takes the request mutex. */
  device->Flags |= ext->lower->Flags & DO_POWER_PAGABLE;

  POWER_STATE d0;
  d0.DeviceState = PowerDeviceD0;
  ext->device_power_state = PowerDeviceD0;
  PoSetPowerState(device, DevicePowerState, d0);

  device->Flags |= DO_BUFFERED_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

/* A link is disabled only while it is enabled: a remove after a surprise
 * removal (which disabled it) must not disable it again. */
VOID set_interface_state(CardExtension *ext, BOOLEAN enable) {
  if (!enable && !ext->interface_enabled) return;
  IoSetDeviceInterfaceState(&ext->interface_link, enable);
  ext->interface_enabled = enable;
}

/* ---- configuration space and BARs ---------------------------------------- */

/* Reads the card's configuration space through the bus driver below. */
NTSTATUS read_pci_config(PDEVICE_OBJECT device, ULONG offset, PVOID buffer, ULONG length) {
  CardExtension *ext = card_extension(device);
  KEVENT done;
  IO_STATUS_BLOCK iosb;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  PIRP irp = IoBuildSynchronousFsdRequest(IRP_MJ_PNP, ext->lower, NULL, 0, NULL, &done, &iosb);
  if (irp == NULL) return STATUS_INSUFFICIENT_RESOURCES;
  irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
  PIO_STACK_LOCATION stack = IoGetNextIrpStackLocation(irp);
  stack->MinorFunction = IRP_MN_READ_CONFIG;
  stack->Parameters.ReadWriteConfig.WhichSpace = PCI_WHICHSPACE_CONFIG;
  stack->Parameters.ReadWriteConfig.Buffer = buffer;
  stack->Parameters.ReadWriteConfig.Offset = offset;
  stack->Parameters.ReadWriteConfig.Length = length;
  NTSTATUS status = IoCallDriver(ext->lower, irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    status = iosb.Status;
  }
  return status;
}

UCHAR resource_to_bar_index(ULONGLONG start, const PCI_COMMON_CONFIG *config) {
  for (UCHAR index = 0; index < PCI_TYPE0_ADDRESSES; ++index) {
    const ULONG bar = config->u.type0.BaseAddresses[index];
    const ULONG base = (bar & PCI_ADDRESS_IO_SPACE) ? (bar & PCI_ADDRESS_IO_ADDRESS_MASK)
                                                     : (bar & PCI_ADDRESS_MEMORY_ADDRESS_MASK);
    if (base != 0 && base == start) return index;
  }
  const ULONG rom = config->u.type0.ROMBaseAddress & ~(ULONG)PCI_ROMADDRESS_ENABLED;
  if (rom != 0 && rom == start) return ROM_BAR_INDEX;
  return NO_BAR_INDEX;
}

NTSTATUS map_memory_bar(CardExtension *ext, ULONG index) {
  BarSlot *slot = &ext->bar[index];
  PHYSICAL_ADDRESS address;
  address.QuadPart = (LONGLONG)slot->physical_address;
  slot->kernel_address = (PUCHAR)MmMapIoSpace(address, slot->length, MmNonCached);
  if (slot->kernel_address == NULL && index == BRIDGE_BAR) {
    slot->kernel_address = (PUCHAR)MmMapIoSpace(address, BAR0_FALLBACK_LENGTH, MmNonCached);
    if (slot->kernel_address != NULL) slot->length = BAR0_FALLBACK_LENGTH;
  }
  if (slot->kernel_address == NULL) return STATUS_INSUFFICIENT_RESOURCES;
  slot->mdl = IoAllocateMdl(slot->kernel_address, slot->length, FALSE, FALSE, NULL);
  if (slot->mdl != NULL) MmBuildMdlForNonPagedPool(slot->mdl);
  return STATUS_SUCCESS;
}

VOID unmap_all_bars(CardExtension *ext) {
  for (int index = 0; index < BAR_SLOT_COUNT; ++index) {
    BarSlot *slot = &ext->bar[index];
    if (slot->is_io_port || slot->physical_address == 0) continue;
    if (slot->mdl != NULL) IoFreeMdl(slot->mdl);
    if (slot->kernel_address != NULL) MmUnmapIoSpace(slot->kernel_address, slot->length);
    slot->mdl = NULL;
    slot->kernel_address = NULL;
  }
}

VOID write_error_log(NTSTATUS code, PDEVICE_OBJECT device) {
  PIO_ERROR_LOG_PACKET entry =
      (PIO_ERROR_LOG_PACKET)IoAllocateErrorLogEntry(device, ERROR_LOG_ENTRY_SIZE);
  if (entry == NULL) return;
  RtlZeroMemory(entry, ERROR_LOG_ENTRY_SIZE);
  entry->ErrorCode = code;
  IoWriteErrorLogEntry(entry);
}

/* ---- start_device --------------------------------------------------------- */

typedef struct InterruptResource {
  BOOLEAN present;
  ULONG vector;
  KIRQL level;
  KAFFINITY affinity;
  KINTERRUPT_MODE mode;
} InterruptResource;

static VOID record_bar(CardExtension *ext, const CM_PARTIAL_RESOURCE_DESCRIPTOR *raw,
                       const CM_PARTIAL_RESOURCE_DESCRIPTOR *translated,
                       const PCI_COMMON_CONFIG *config, BOOLEAN is_io_port, UCHAR *index) {
  *index = resource_to_bar_index((ULONGLONG)raw->u.Generic.Start.QuadPart, config);
  DbgPrint("BarIndex = 0x%08x\n", *index);
  if (*index == NO_BAR_INDEX) return;
  BarSlot *slot = &ext->bar[*index];
  slot->physical_address = (ULONGLONG)translated->u.Generic.Start.QuadPart;
  slot->length = translated->u.Generic.Length;
  slot->kernel_address = NULL;
  slot->is_io_port = is_io_port;
}

/* Walks the assigned resources into the BAR slots, mapping memory BARs. */
static NTSTATUS take_resources(CardExtension *ext, PCM_PARTIAL_RESOURCE_LIST raw,
                               PCM_PARTIAL_RESOURCE_LIST translated,
                               const PCI_COMMON_CONFIG *config, InterruptResource *interrupt) {
  if (raw == NULL || translated == NULL) return STATUS_SUCCESS;
  const ULONG count = raw->Count < translated->Count ? raw->Count : translated->Count;
  for (ULONG i = 0; i < count; ++i) {
    const CM_PARTIAL_RESOURCE_DESCRIPTOR *r = &raw->PartialDescriptors[i];
    const CM_PARTIAL_RESOURCE_DESCRIPTOR *t = &translated->PartialDescriptors[i];
    UCHAR index;
    switch (r->Type) {
      case CmResourceTypePort:
        record_bar(ext, r, t, config, TRUE, &index);
        break;
      case CmResourceTypeInterrupt:
        interrupt->present = TRUE;
        interrupt->level = (KIRQL)t->u.Interrupt.Level;
        interrupt->vector = t->u.Interrupt.Vector;
        interrupt->affinity = t->u.Interrupt.Affinity;
        interrupt->mode = r->Flags == CM_RESOURCE_INTERRUPT_LATCHED ? Latched : LevelSensitive;
        break;
      case CmResourceTypeMemory:
        record_bar(ext, r, t, config, FALSE, &index);
        if (index != NO_BAR_INDEX && !NT_SUCCESS(map_memory_bar(ext, index)) &&
            index == BRIDGE_BAR)
          return STATUS_INSUFFICIENT_RESOURCES;
        break;
      default:
        break;
    }
  }
  return STATUS_SUCCESS;
}

/* A window shorter than the registers the driver reaches through it counts
 * as missing: every access past its end would be a stray one. */
static NTSTATUS check_bar_mapped(CardExtension *ext, int index, ULONG span) {
  const BarSlot *slot = &ext->bar[index];
  if (slot->kernel_address != NULL && slot->length >= span) return STATUS_SUCCESS;
  DbgPrint(RM7X0_DEBUG_PREFIX "ERROR - BAR %d address not configured, unable to load driver\n",
           index);
  return STATUS_INSUFFICIENT_RESOURCES;
}

/* The library's scan finds the card by this value; a failure only means the
 * card is not found, so it is not reported. */
static VOID publish_card_id(CardExtension *ext) {
  HANDLE key;
  if (!NT_SUCCESS(IoOpenDeviceRegistryKey(ext->physical, PLUGPLAY_REGKEY_DEVICE, KEY_WRITE, &key)))
    return;
  UNICODE_STRING name = RTL_CONSTANT_STRING(L"CardID");
  ULONG value = ext->card_id;
  ZwSetValueKey(key, &name, 0, REG_DWORD, &value, sizeof value);
  ZwClose(key);
}

/* Every register access synchronises on the interrupt, so a card never
 * starts without one. */
static NTSTATUS connect_interrupt(PDEVICE_OBJECT device, const InterruptResource *resource) {
  CardExtension *ext = card_extension(device);
  if (!resource->present) return STATUS_INSUFFICIENT_RESOURCES;
  interrupt_disable(ext);  /* not connected yet: nothing to synchronise with */
  NTSTATUS status = IoConnectInterrupt(&ext->interrupt, interrupt_service, ext, NULL,
                                       resource->vector, resource->level, resource->level,
                                       resource->mode, TRUE, resource->affinity, FALSE);
  if (!NT_SUCCESS(status)) {
    ext->interrupt = NULL;
    DbgPrint(RM7X0_DEBUG_PREFIX "ERROR - IoConnectInterrupt() failed, status = 0x%08x\n",
             (ULONG)status);
    write_error_log(RM7X0_IO_INTERRUPT_FAILED, device);
    return status;
  }
  KeSynchronizeExecution(ext->interrupt, interrupt_enable, ext);
  ext->int_sources.word[0] |= SOURCE_FLAG_PCI;
  return STATUS_SUCCESS;
}

static NTSTATUS bring_up_card(PDEVICE_OBJECT device, PCM_PARTIAL_RESOURCE_LIST raw,
                              PCM_PARTIAL_RESOURCE_LIST translated) {
  CardExtension *ext = card_extension(device);
  PCI_COMMON_CONFIG config;
  RtlZeroMemory(&config, sizeof config);
  read_pci_config(device, 0, &config, PCI_CONFIG_BYTES);

  RtlZeroMemory(ext->bar, sizeof ext->bar);
  InterruptResource interrupt;
  RtlZeroMemory(&interrupt, sizeof interrupt);
  NTSTATUS status = take_resources(ext, raw, translated, &config, &interrupt);
  if (!NT_SUCCESS(status)) return status;
  status = check_bar_mapped(ext, BRIDGE_BAR, INTCSR + sizeof(ULONG));
  if (!NT_SUCCESS(status)) return status;
  status = check_bar_mapped(ext, CARD_BAR, CARD_REGISTER_SPAN);
  if (!NT_SUCCESS(status)) return status;

  /* Nothing shares these reads yet: the interrupt is not connected. */
  InterlockedExchange(&ext->stopping, 0);
  ext->card_id = card_read16(ext, REG_CARD_ID) & CARD_ID_SWITCHES;
  ext->cpld_version = card_read16(ext, REG_CPLD_VERSION);
  publish_card_id(ext);
  return connect_interrupt(device, &interrupt);
}

NTSTATUS start_device(PDEVICE_OBJECT device, PCM_PARTIAL_RESOURCE_LIST raw,
                      PCM_PARTIAL_RESOURCE_LIST translated) {
  CardExtension *ext = card_extension(device);
  NTSTATUS status = bring_up_card(device, raw, translated);
  if (!NT_SUCCESS(status)) {
    unmap_all_bars(ext);
    return status;
  }
  if (g_started_cards == 0) IoInvalidateDeviceRelations(ext->physical, RemovalRelations);
  card_reset(ext);
  InterlockedIncrement(&g_started_cards);
  InterlockedExchange(&ext->started, 1);
  set_interface_state(ext, TRUE);
  return STATUS_SUCCESS;
}

/* ---- stop_device and remove_device ---------------------------------------- */

/* Once no request handler runs on the card (the caller saw to it under the
 * request mutex) and the DPCs leave it alone (stopping): the home searches
 * and their timer end, the card's interrupt goes off and the DPCs are
 * flushed, then every axis is stopped, since nobody would supervise a drive
 * any more, the interpolation with them, and the waits that can no longer
 * end are cancelled. The registers and the interrupt object are still there. */
VOID quiesce_card(CardExtension *ext) {
  InterlockedExchange(&ext->stopping, 1);
  home_search_stop(ext);
  if (ext->interrupt != NULL) {
    KeSynchronizeExecution(ext->interrupt, interrupt_disable, ext);
    KeFlushQueuedDpcs();
    stop_axes(ext, ALL_AXES, CHIP_SUDDEN_STOP);
  }
  interpolation_stop(ext);
  waits_reset(ext);
}

/* Lets go of the card's interrupt and registers. No request handler, DPC or
 * timer runs on the card afterwards: requests see it stopped (under the
 * request mutex), and the card is quiesced while the registers are still
 * mapped and the interrupt still connected. */
VOID stop_device(PDEVICE_OBJECT device) {
  CardExtension *ext = card_extension(device);
  ExAcquireFastMutex(&ext->request_mutex);
  const LONG was_started = InterlockedExchange(&ext->started, 0);
  ExReleaseFastMutex(&ext->request_mutex);

  quiesce_card(ext);
  if (ext->interrupt != NULL) {
    IoDisconnectInterrupt(ext->interrupt);
    ext->interrupt = NULL;
  }
  /* Only once the interrupt is disconnected can no service routine queue
   * another DPC of the card: the flush after it leaves none queued or
   * running when the registers go and the device is deleted. */
  KeFlushQueuedDpcs();
  unmap_all_bars(ext);
  if (was_started) InterlockedDecrement(&g_started_cards);
}

/* The process's view went at its cleanup, in its own context: the removal
 * comes only once the last handle is closed, and the Plug and Play thread
 * could not unmap a view of another process. */
static VOID free_shared_buffer(CardExtension *ext) {
  SharedBuffer *buffer = &ext->buffer;
  if (buffer->mdl == NULL) return;
  IoFreeMdl(buffer->mdl);
  MmFreeContiguousMemory(buffer->kernel_address);
  RtlZeroMemory(buffer, sizeof *buffer);
}

VOID remove_device(PDEVICE_OBJECT device) {
  CardExtension *ext = card_extension(device);
  set_interface_state(ext, FALSE);
  home_search_stop(ext);
  release_axis_events(ext);
  free_shared_buffer(ext);
  if (ext->lower != NULL) IoDetachDevice(ext->lower);
  RtlFreeUnicodeString(&ext->interface_link);
  IoDeleteDevice(device);
}

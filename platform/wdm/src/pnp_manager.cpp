// The Plug and Play manager: a device node per card, its driver loaded once
// per module, AddDevice and the start with the card's resources, and the
// state-changing requests (stop, remove, surprise removal ...) sent to the top
// of a card's stack one at a time.
#include <map>
#include <mutex>

#include "kernel.h"
#include "sim_kernel.h"

namespace {

struct LoadedDriver {
  void* module = nullptr;
  PDRIVER_OBJECT object = nullptr;  // nullptr when loading or DriverEntry failed
};

std::mutex pnp_lock;  // one Plug and Play request at a time
std::vector<std::unique_ptr<kernel::DeviceNode>> device_nodes;
std::map<std::string, LoadedDriver> drivers;  // by module name
std::vector<sim::BuiltinDriver> builtin_drivers;
PDRIVER_OBJECT bus_driver = nullptr;

std::string instance_path_of(card::PciFunction& function) {
  const std::string instance = function.instance_id();
  return instance.find('\\') != std::string::npos ? instance : function.hardware_id() + "\\" + instance;
}

// The module name and entry point serving a hardware ID.
std::pair<std::string, PDRIVER_INITIALIZE> find_driver(const std::string& hardware_id, void** module) {
  *module = nullptr;
  if (!builtin_drivers.empty()) {
    for (const sim::BuiltinDriver& builtin : builtin_drivers)
      if (kernel::equal_nocase(builtin.hardware_id, hardware_id)) return {builtin.name, builtin.entry};
    return {"", nullptr};
  }
  const std::string name = kernel::module_for(hardware_id);
  if (name.empty() || drivers.count(name)) return {name, nullptr};
  const kernel::DriverModule loaded = kernel::load_module(name);
  *module = loaded.handle;
  return {name, loaded.entry};
}

// The driver object of a card's driver, loading the module and calling its
// DriverEntry the first time; nullptr when there is none.
PDRIVER_OBJECT driver_for(kernel::DeviceNode& node) {
  void* module;
  auto [name, entry] = find_driver(node.function->hardware_id(), &module);
  if (name.empty()) return nullptr;
  if (auto it = drivers.find(name); it != drivers.end()) return it->second.object;
  LoadedDriver& loaded = drivers[name];
  loaded.module = module;
  if (!entry) return nullptr;
  PDRIVER_OBJECT object = kernel::create_driver_object(name);
  UNICODE_STRING registry_path;
  kernel::make_unicode_string("\\Registry\\Machine\\System\\CurrentControlSet\\Services\\" + name, &registry_path);
  object->DriverInit = entry;
  const NTSTATUS status = entry(object, &registry_path);
  RtlFreeUnicodeString(&registry_path);
  if (!NT_SUCCESS(status)) {
    kernel::kernel_message("DriverEntry of %s failed with 0x%08x\n", name.c_str(), static_cast<unsigned>(status));
    kernel::delete_driver_object(object);
    return nullptr;
  }
  loaded.object = object;
  return object;
}

PDEVICE_OBJECT stack_top(kernel::DeviceNode& node) { return kernel::top_of_stack(node.pdo); }
bool has_stack(kernel::DeviceNode& node) { return node.pdo->AttachedDevice != nullptr; }

// Sends a Plug and Play IRP to the top of the node's stack and waits for it.
NTSTATUS send_pnp_irp(kernel::DeviceNode& node, UCHAR minor,
                      const std::function<void(PIO_STACK_LOCATION)>& setup = {}, ULONG_PTR* information = nullptr) {
  PDEVICE_OBJECT top = stack_top(node);
  PIRP irp = kernel::allocate_irp(top->StackSize, {});
  if (!irp) return STATUS_INSUFFICIENT_RESOURCES;
  irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = IRP_MJ_PNP;
  next->MinorFunction = minor;
  if (setup) setup(next);
  kernel::add_irp_reference(irp);
  const NTSTATUS status = kernel::send_and_wait(top, irp);
  if (information) *information = irp->IoStatus.Information;
  kernel::release_irp_reference(irp);
  return status;
}

NTSTATUS add_device(kernel::DeviceNode& node) {
  PDRIVER_OBJECT driver = driver_for(node);
  if (!driver || !driver->DriverExtension->AddDevice) return STATUS_NO_SUCH_DEVICE;
  const NTSTATUS status = driver->DriverExtension->AddDevice(driver, node.pdo);
  if (!NT_SUCCESS(status)) return status;
  PDEVICE_OBJECT top = stack_top(node);
  if (top->Flags & DO_DEVICE_INITIALIZING)
    kernel::verifier_fail("AddDevice returned with DO_DEVICE_INITIALIZING still set", "device %p",
                          static_cast<void*>(top));
  return status;
}

void tear_down(kernel::DeviceNode& node) {
  if (node.pdo->AttachedDevice)
    kernel::verifier_fail("function device still attached after IRP_MN_REMOVE_DEVICE", "device %p on PDO %p",
                          static_cast<void*>(node.pdo->AttachedDevice), static_cast<void*>(node.pdo));
  kernel::interfaces_disable_for(&node);
  node.started = false;
  node.start_completed = false;
}

NTSTATUS remove(kernel::DeviceNode& node) {
  node.remove_queried = false;
  node.remove_waits_for_close = false;
  const NTSTATUS status = send_pnp_irp(node, IRP_MN_REMOVE_DEVICE);
  tear_down(node);
  return status;
}

NTSTATUS start(kernel::DeviceNode& node) {
  PCM_RESOURCE_LIST raw, translated;
  kernel::pci_bus_build_resources(*node.function, &raw, &translated);
  const NTSTATUS status = send_pnp_irp(node, IRP_MN_START_DEVICE, [&](PIO_STACK_LOCATION next) {
    next->Parameters.StartDevice.AllocatedResources = raw;
    next->Parameters.StartDevice.AllocatedResourcesTranslated = translated;
  });
  kernel::pool_free(raw);
  kernel::pool_free(translated);
  node.started = NT_SUCCESS(status);
  node.start_completed = node.started;
  if (!node.started) remove(node);  // a device that fails to start is removed
  return status;
}

NTSTATUS add_and_start(kernel::DeviceNode& node) {
  if (!node.present) return STATUS_NO_SUCH_DEVICE;
  if (!has_stack(node)) {
    const NTSTATUS status = add_device(node);
    if (!NT_SUCCESS(status)) return status;
  }
  return start(node);
}

// Releases a relation list a driver answered.
void release_relations(ULONG_PTR information) {
  auto* relations = reinterpret_cast<PDEVICE_RELATIONS>(information);
  if (!relations) return;
  for (ULONG i = 0; i < relations->Count; ++i) ObfDereferenceObject(relations->Objects[i]);
  ExFreePool(relations);
}

NTSTATUS query_relations(kernel::DeviceNode& node, DEVICE_RELATION_TYPE type) {
  ULONG_PTR information = 0;
  const NTSTATUS status = send_pnp_irp(
      node, IRP_MN_QUERY_DEVICE_RELATIONS,
      [type](PIO_STACK_LOCATION next) { next->Parameters.QueryDeviceRelations.Type = type; }, &information);
  if (NT_SUCCESS(status)) release_relations(information);
  return status;
}

// A query that succeeded is what lets its stop or remove follow.
NTSTATUS send_query(kernel::DeviceNode& node, UCHAR minor, bool* queried) {
  const NTSTATUS status = send_pnp_irp(node, minor);
  *queried = NT_SUCCESS(status);
  return status;
}

// Windows' order: a stop only after a successful query-stop; an orderly
// removal only after a successful query-remove, which the manager vetoes
// while a file on the device is open; after a surprise removal the remove
// waits until the last file on the device has closed.
NTSTATUS handle(kernel::DeviceNode& node, sim::Pnp request) {
  using sim::Pnp;
  if (request == Pnp::Start) return add_and_start(node);
  if (!has_stack(node)) return STATUS_NO_SUCH_DEVICE;
  switch (request) {
    case Pnp::QueryStop: return send_query(node, IRP_MN_QUERY_STOP_DEVICE, &node.stop_queried);
    case Pnp::CancelStop:
      node.stop_queried = false;
      return send_pnp_irp(node, IRP_MN_CANCEL_STOP_DEVICE);
    case Pnp::Stop: {
      if (!node.stop_queried)
        kernel::verifier_fail("IRP_MN_STOP_DEVICE without a successful IRP_MN_QUERY_STOP_DEVICE",
                              "card %s", node.instance_path.c_str());
      node.stop_queried = false;
      const NTSTATUS status = send_pnp_irp(node, IRP_MN_STOP_DEVICE);
      node.started = false;
      return status;
    }
    case Pnp::QueryRemove:
      if (kernel::files_open_on(node.pdo) != 0) return STATUS_DEVICE_BUSY;  // vetoed: a file is open
      return send_query(node, IRP_MN_QUERY_REMOVE_DEVICE, &node.remove_queried);
    case Pnp::CancelRemove:
      node.remove_queried = false;
      return send_pnp_irp(node, IRP_MN_CANCEL_REMOVE_DEVICE);
    case Pnp::SurpriseRemoval: {
      node.present = false;
      return send_pnp_irp(node, IRP_MN_SURPRISE_REMOVAL);
    }
    case Pnp::Remove:
      if (node.present && !node.remove_queried)
        kernel::verifier_fail("IRP_MN_REMOVE_DEVICE without a successful IRP_MN_QUERY_REMOVE_DEVICE",
                              "card %s", node.instance_path.c_str());
      if (kernel::files_open_on(node.pdo) != 0) {
        node.remove_waits_for_close = true;
        return STATUS_PENDING;
      }
      return remove(node);
    case Pnp::QueryRemovalRelations: return query_relations(node, RemovalRelations);
    case Pnp::Start: break;
  }
  return STATUS_INVALID_PARAMETER;
}

kernel::DeviceNode* node_at(std::size_t card) {
  return card < device_nodes.size() ? device_nodes[card].get() : nullptr;
}

}  // namespace

namespace kernel {

std::vector<DeviceNode*> nodes() {
  std::vector<DeviceNode*> all;
  for (auto& node : device_nodes) all.push_back(node.get());
  return all;
}

void pnp_enumerate(const std::vector<card::PciFunction*>& functions, const std::vector<sim::BuiltinDriver>& builtins) {
  SystemContext system;
  std::lock_guard<std::mutex> lock(pnp_lock);
  builtin_drivers = builtins;
  bus_driver = pci_bus_create_driver();
  for (card::PciFunction* function : functions) {
    auto node = std::make_unique<DeviceNode>();
    node->function = function;
    node->instance_path = instance_path_of(*function);
    node->pdo = pci_bus_create_pdo(bus_driver, node.get());
    if (function->has_interrupt()) interrupt_register_source(translated_vector(*function), function);
    device_nodes.push_back(std::move(node));
  }
  for (auto& node : device_nodes) add_and_start(*node);
}

void pnp_remove_all() {
  SystemContext system;
  {
    std::lock_guard<std::mutex> lock(pnp_lock);
    for (auto it = device_nodes.rbegin(); it != device_nodes.rend(); ++it)
      if (has_stack(**it)) remove(**it);
  }
  worker_drain();
  KeFlushQueuedDpcs();
  {
    std::lock_guard<std::mutex> lock(pnp_lock);
    for (auto& [name, driver] : drivers) {
      if (!driver.object) continue;
      if (driver.object->DriverUnload) driver.object->DriverUnload(driver.object);
      check_driver_released_all(driver.object, name.c_str());
    }
  }
  timers_cancel_all();
  interrupts_stop();
  std::lock_guard<std::mutex> lock(pnp_lock);
  for (auto& [name, driver] : drivers) {
    if (driver.object) delete_driver_object(driver.object);
    unload_module(driver.module);
  }
  drivers.clear();
  for (auto& node : device_nodes) IoDeleteDevice(node->pdo);
  device_nodes.clear();
  delete_driver_object(bus_driver);
  bus_driver = nullptr;
  builtin_drivers.clear();
}

void pnp_file_closed(PDEVICE_OBJECT pdo) {
  worker_queue([pdo] {
    std::lock_guard<std::mutex> lock(pnp_lock);
    for (auto& node : device_nodes)  // the PDO itself may be gone with its machine
      if (node->pdo == pdo && node->remove_waits_for_close && has_stack(*node) && files_open_on(pdo) == 0)
        remove(*node);
  });
}

}  // namespace kernel

/* ntoskrnl */
VOID IoInvalidateDeviceRelations(PDEVICE_OBJECT DeviceObject, DEVICE_RELATION_TYPE Type) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "IoInvalidateDeviceRelations");
  kernel::DeviceNode* node = kernel::node_of(DeviceObject);
  if (!node)
    kernel::verifier_fail("IoInvalidateDeviceRelations on a device that is no PDO", "device %p",
                          static_cast<void*>(DeviceObject));
  // The query follows once the request now in progress has ended.
  kernel::worker_queue([node, Type] {
    std::lock_guard<std::mutex> lock(pnp_lock);
    if (has_stack(*node)) query_relations(*node, Type);
  });
}

namespace sim {

std::vector<CardDevices> devices() {
  std::lock_guard<std::mutex> lock(pnp_lock);
  std::vector<CardDevices> all;
  for (auto& node : device_nodes) {
    PDEVICE_OBJECT top = stack_top(*node);
    all.push_back(CardDevices{node->function, node->pdo, top == node->pdo ? nullptr : top, node->instance_path,
                              node->started});
  }
  return all;
}

NTSTATUS send_pnp(std::size_t card, Pnp request) {
  kernel::SystemContext system;
  std::lock_guard<std::mutex> lock(pnp_lock);
  kernel::DeviceNode* node = node_at(card);
  return node ? handle(*node, request) : STATUS_NO_SUCH_DEVICE;
}

}  // namespace sim

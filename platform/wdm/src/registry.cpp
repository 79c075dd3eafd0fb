// Device registry keys: the hardware key of each device node, opened by its
// driver and read back by user mode (SimQueryDeviceValue) and tests.
#include <mutex>

#include "kernel.h"
#include "sim_kernel.h"
#include "sim_native.h"

namespace {

struct KeyBody {
  kernel::DeviceNode* node;
  ACCESS_MASK access;
};

std::mutex registry_lock;

void free_key(void* body) { kernel::free_object(body); }
void no_handle_action(void*) {}
_OBJECT_TYPE key_object_type{{"Key", free_key, no_handle_action}};

NTSTATUS copy_value(const kernel::RegistryValue& value, uint32_t* type, void* data, uint32_t* length) {
  const auto size = static_cast<uint32_t>(value.data.size());
  if (type) *type = value.type;
  if (!length) return data ? STATUS_INVALID_PARAMETER : STATUS_SUCCESS;
  const uint32_t room = *length;
  *length = size;
  if (!data) return STATUS_SUCCESS;
  if (room < size) return STATUS_BUFFER_OVERFLOW;
  memcpy(data, value.data.data(), size);
  return STATUS_SUCCESS;
}

const kernel::RegistryValue* find_value(kernel::DeviceNode* node, const std::string& name) {
  auto it = node->values.find(kernel::lower(name));
  return it == node->values.end() ? nullptr : &it->second;
}

}  // namespace

namespace kernel {
POBJECT_TYPE key_type = &key_object_type;
}

/* ntoskrnl */
NTSTATUS IoOpenDeviceRegistryKey(PDEVICE_OBJECT DeviceObject, ULONG DevInstKeyType,
                                 ACCESS_MASK DesiredAccess, PHANDLE DevInstRegKey) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "IoOpenDeviceRegistryKey");
  kernel::DeviceNode* node = kernel::node_of(DeviceObject);
  if (!node) return STATUS_INVALID_DEVICE_REQUEST;  // only a PDO names a device node
  if (DevInstKeyType != PLUGPLAY_REGKEY_DEVICE) return STATUS_NOT_SUPPORTED;
  auto* key = static_cast<KeyBody*>(kernel::create_object(kernel::key_type, sizeof(KeyBody)));
  if (!key) return STATUS_INSUFFICIENT_RESOURCES;
  *key = KeyBody{node, DesiredAccess};
  *DevInstRegKey = kernel::insert_kernel_handle(key);
  return STATUS_SUCCESS;
}

/* ntoskrnl */
NTSTATUS ZwSetValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName, ULONG TitleIndex, ULONG Type,
                       PVOID Data, ULONG DataSize) {
  (void)TitleIndex;
  kernel::require_irql_at_most(PASSIVE_LEVEL, "ZwSetValueKey");
  NTSTATUS status;
  auto* key = static_cast<KeyBody*>(kernel::reference_handle(KeyHandle, kernel::key_type, KEY_SET_VALUE, KernelMode, &status));
  if (!key) return status;
  if ((key->access & KEY_SET_VALUE) == 0) {
    status = STATUS_ACCESS_DENIED;
  } else if (DataSize && !Data) {
    status = STATUS_INVALID_PARAMETER;
  } else {
    const auto* bytes = static_cast<const std::uint8_t*>(Data);
    std::lock_guard<std::mutex> lock(registry_lock);
    key->node->values[kernel::lower(kernel::narrow(ValueName))] =
        kernel::RegistryValue{Type, std::vector<std::uint8_t>(bytes, bytes + DataSize)};
  }
  ObfDereferenceObject(key);
  return status;
}

/* cfgmgr32: CM_Open_DevNode_Key + RegQueryValueEx */
SIM_STATUS SimQueryDeviceValue(const char* interface_path, const char* name, uint32_t* type, void* data,
                               uint32_t* length) {
  if (!interface_path || !name) return STATUS_INVALID_PARAMETER;
  if (!kernel::ensure_booted()) return STATUS_DEVICE_NOT_CONNECTED;
  bool enabled;
  kernel::DeviceNode* node = kernel::interface_node(interface_path, &enabled);
  if (!node) return STATUS_OBJECT_NAME_NOT_FOUND;
  std::lock_guard<std::mutex> lock(registry_lock);
  const kernel::RegistryValue* value = find_value(node, name);
  if (!value) return STATUS_OBJECT_NAME_NOT_FOUND;
  return copy_value(*value, type, data, length);
}

namespace sim {

bool device_value(std::size_t card, const std::string& name, ULONG* type, std::vector<std::uint8_t>* data) {
  const std::vector<kernel::DeviceNode*> all = kernel::nodes();
  if (card >= all.size()) return false;
  std::lock_guard<std::mutex> lock(registry_lock);
  const kernel::RegistryValue* value = find_value(all[card], name);
  if (!value) return false;
  if (type) *type = value->type;
  if (data) *data = value->data;
  return true;
}

}  // namespace sim

// Device interfaces: a class GUID registered on a PDO gets a symbolic link
// ("\??\PCI#VEN_7A72&DEV_0720#<instance>#{guid}"); user mode enumerates the
// enabled interfaces of present devices under "\\?\..." names.
#include <cstdio>
#include <mutex>

#include "kernel.h"
#include "sim_native.h"

namespace {

struct Interface {
  GUID guid;
  kernel::DeviceNode* node;
  std::string link;  // kernel form
  bool enabled;
};

std::mutex interfaces_lock;
std::vector<Interface> interfaces;  // in order of registration

std::string guid_text(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", g.Data1, g.Data2,
                g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                g.Data4[7]);
  return text;
}

std::string link_for(const kernel::DeviceNode& node, const GUID& guid) {
  std::string path = node.instance_path;
  for (char& c : path)
    if (c == '\\') c = '#';
  return "\\??\\" + path + "#" + guid_text(guid);
}

// "\\?\x" and "\??\x" name the same link.
std::string without_prefix(const std::string& link) {
  if (link.rfind("\\\\?\\", 0) == 0 || link.rfind("\\??\\", 0) == 0) return link.substr(4);
  return link;
}

std::string user_form(const std::string& link) { return "\\\\?\\" + without_prefix(link); }

// Under interfaces_lock.
Interface* find(const std::string& link) {
  for (Interface& entry : interfaces)
    if (kernel::equal_nocase(without_prefix(entry.link), without_prefix(link))) return &entry;
  return nullptr;
}

}  // namespace

namespace kernel {

void interfaces_disable_for(DeviceNode* node) {
  std::lock_guard<std::mutex> lock(interfaces_lock);
  for (Interface& entry : interfaces)
    if (entry.node == node) entry.enabled = false;
}

void interfaces_clear() {
  std::lock_guard<std::mutex> lock(interfaces_lock);
  interfaces.clear();
}

DeviceNode* interface_node(const std::string& link, bool* enabled) {
  std::lock_guard<std::mutex> lock(interfaces_lock);
  Interface* entry = find(link);
  if (!entry) return nullptr;
  *enabled = entry->enabled;
  return entry->node;
}

}  // namespace kernel

/* ntoskrnl */
NTSTATUS IoRegisterDeviceInterface(PDEVICE_OBJECT PhysicalDeviceObject, const GUID* InterfaceClassGuid,
                                   PUNICODE_STRING ReferenceString, PUNICODE_STRING SymbolicLinkName) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "IoRegisterDeviceInterface");
  kernel::DeviceNode* node = kernel::node_of(PhysicalDeviceObject);
  if (!node) return STATUS_INVALID_DEVICE_REQUEST;  // interfaces belong to PDOs
  if (ReferenceString && ReferenceString->Length) return STATUS_NOT_SUPPORTED;
  const std::string link = link_for(*node, *InterfaceClassGuid);
  {
    std::lock_guard<std::mutex> lock(interfaces_lock);
    if (!find(link)) interfaces.push_back(Interface{*InterfaceClassGuid, node, link, false});
  }
  return kernel::make_unicode_string(link, SymbolicLinkName) ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
}

/* ntoskrnl */
NTSTATUS IoSetDeviceInterfaceState(PUNICODE_STRING SymbolicLinkName, BOOLEAN Enable) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "IoSetDeviceInterfaceState");
  if (PsGetCurrentProcess() != kernel::the_system_process())
    kernel::verifier_fail("IoSetDeviceInterfaceState outside a system thread", "called in %s",
                          kernel::process_name(PsGetCurrentProcess()));
  std::lock_guard<std::mutex> lock(interfaces_lock);
  Interface* entry = find(kernel::narrow(SymbolicLinkName));
  if (!entry) return STATUS_OBJECT_NAME_NOT_FOUND;
  const bool was = entry->enabled;
  entry->enabled = Enable != FALSE;
  if (Enable && was) return STATUS_OBJECT_NAME_EXISTS;
  // Windows answers STATUS_OBJECT_NAME_NOT_FOUND; its documentation forbids
  // the call (e.g. at remove after the surprise removal disabled it).
  if (!Enable && !was)
    kernel::verifier_fail("device interface disabled twice", "%s was not enabled", entry->link.c_str());
  return STATUS_SUCCESS;
}

/* cfgmgr32: CM_Get_Device_Interface_List */
SIM_STATUS SimEnumDeviceInterface(const void* guid, uint32_t index, char* path, size_t path_size,
                                  size_t* required) {
  if (!guid) return STATUS_INVALID_PARAMETER;
  if (!kernel::ensure_booted()) return STATUS_DEVICE_NOT_CONNECTED;
  std::string found;
  {
    std::lock_guard<std::mutex> lock(interfaces_lock);
    uint32_t seen = 0;
    for (const Interface& entry : interfaces) {
      if (memcmp(&entry.guid, guid, sizeof(GUID)) != 0 || !entry.enabled || !entry.node->present) continue;
      if (seen++ == index) {
        found = user_form(entry.link);
        break;
      }
    }
  }
  if (found.empty()) return STATUS_NO_MORE_ENTRIES;
  if (required) *required = found.size() + 1;
  if (!path || path_size < found.size() + 1) return STATUS_BUFFER_TOO_SMALL;
  memcpy(path, found.c_str(), found.size() + 1);
  return STATUS_SUCCESS;
}

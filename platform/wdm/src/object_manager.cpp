// The object manager: reference-counted objects with a header before their
// body, and the process's handle table. User events made through
// SimCreateEvent are kernel event objects, so a driver can reference them by
// handle and keep them alive after the user closed the handle.
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>

#include "kernel.h"
#include "sim_native.h"



namespace {

constexpr std::uint32_t kObjectMagic = 0x6a624f21;  // "!Obj"

struct alignas(16) ObjectHeader {
  std::uint32_t magic;
  std::atomic<LONG_PTR> references;
  POBJECT_TYPE type;
};

ObjectHeader* header_of(const void* body) {
  return const_cast<ObjectHeader*>(static_cast<const ObjectHeader*>(body) - 1);
}

ObjectHeader* checked_header(const void* body, const char* routine) {
  ObjectHeader* header = body ? header_of(body) : nullptr;
  if (!header || header->magic != kObjectMagic)
    kernel::verifier_fail("not an object", "%s of %p", routine, body);
  return header;
}

// A handle of the user process's table, or of the kernel's own (a handle
// value with the top bit set, as Windows gives kernel handles); the access
// it grants is checked when user mode references it.
struct HandleEntry {
  void* body;
  ACCESS_MASK granted;
  bool kernel;
};

constexpr std::uintptr_t kKernelHandleBit = std::uintptr_t{1} << (sizeof(std::uintptr_t) * 8 - 1);
constexpr ACCESS_MASK kAllAccess = 0x001F0FFF;  // every standard and specific right

kernel::BriefLock handles_lock;
std::map<std::uintptr_t, HandleEntry> handle_table;
std::uintptr_t next_handle = 4;

void free_now(void* body) { kernel::free_object(body); }
void nothing(void*) {}

_OBJECT_TYPE event_object_type{{"Event", free_now, nothing}};
POBJECT_TYPE event_object_type_pointer = &event_object_type;

NTSTATUS reference_event(SIM_HANDLE handle, ACCESS_MASK access, PKEVENT* event) {
  NTSTATUS status;
  *event = static_cast<PKEVENT>(kernel::reference_handle(handle, kernel::event_type, access, UserMode, &status));
  return status;
}

// Under handles_lock.
HANDLE insert_entry(const HandleEntry& entry) {
  const std::uintptr_t handle = next_handle | (entry.kernel ? kKernelHandleBit : 0);
  next_handle += 4;
  handle_table[handle] = entry;
  return reinterpret_cast<HANDLE>(handle);
}

// Under handles_lock: why the handle cannot be referenced in this mode with
// this access, or STATUS_SUCCESS. A kernel handle is out of user mode's
// reach; the user process's handles are not in the System process's table.
NTSTATUS check_handle(const HandleEntry& entry, ACCESS_MASK desired, KPROCESSOR_MODE mode) {
  if (entry.kernel) return mode == UserMode ? STATUS_INVALID_HANDLE : STATUS_SUCCESS;
  if (PsGetCurrentProcess() == kernel::the_system_process()) return STATUS_INVALID_HANDLE;
  if (mode == UserMode && (desired & ~entry.granted) != 0) return STATUS_ACCESS_DENIED;
  return STATUS_SUCCESS;
}

}  // namespace

namespace kernel {

POBJECT_TYPE event_type = &event_object_type;

void* create_object(POBJECT_TYPE type, std::size_t body_size) {
  void* memory = std::calloc(1, sizeof(ObjectHeader) + body_size);
  if (!memory) return nullptr;
  auto* header = new (memory) ObjectHeader{kObjectMagic, {1}, type};
  return header + 1;
}

void free_object(void* body) {
  ObjectHeader* header = header_of(body);
  header->magic = 0;
  header->~ObjectHeader();
  std::free(header);
}

POBJECT_TYPE object_type(const void* body) {
  if (!body) return nullptr;
  ObjectHeader* header = header_of(body);
  return header->magic == kObjectMagic ? header->type : nullptr;
}

HANDLE insert_handle(void* body) {
  std::lock_guard<kernel::BriefLock> lock(handles_lock);
  return insert_entry({body, kAllAccess, false});
}

HANDLE insert_kernel_handle(void* body) {
  std::lock_guard<kernel::BriefLock> lock(handles_lock);
  return insert_entry({body, kAllAccess, true});
}

void* reference_handle(HANDLE handle, POBJECT_TYPE type, ACCESS_MASK desired, KPROCESSOR_MODE mode,
                       NTSTATUS* status, ACCESS_MASK* granted) {
  std::lock_guard<kernel::BriefLock> lock(handles_lock);
  auto it = handle_table.find(reinterpret_cast<std::uintptr_t>(handle));
  *status = it == handle_table.end() ? STATUS_INVALID_HANDLE : check_handle(it->second, desired, mode);
  if (!NT_SUCCESS(*status)) return nullptr;
  if (type && header_of(it->second.body)->type != type) {
    *status = STATUS_OBJECT_TYPE_MISMATCH;
    return nullptr;
  }
  ObfReferenceObject(it->second.body);
  if (granted) *granted = it->second.granted;
  return it->second.body;
}

bool is_user_handle(HANDLE handle) {
  std::lock_guard<kernel::BriefLock> lock(handles_lock);
  auto it = handle_table.find(reinterpret_cast<std::uintptr_t>(handle));
  return it != handle_table.end() && !it->second.kernel;
}

NTSTATUS close_handle(HANDLE handle) {
  void* body;
  {
    std::lock_guard<kernel::BriefLock> lock(handles_lock);
    auto it = handle_table.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handle_table.end()) return STATUS_INVALID_HANDLE;
    body = it->second.body;
    handle_table.erase(it);
  }
  header_of(body)->type->handle_closed(body);
  ObfDereferenceObject(body);
  return STATUS_SUCCESS;
}

std::vector<HANDLE> handles_of_type(POBJECT_TYPE type) {
  std::lock_guard<kernel::BriefLock> lock(handles_lock);
  std::vector<HANDLE> found;
  for (auto& [handle, entry] : handle_table)
    if (!entry.kernel && header_of(entry.body)->type == type) found.push_back(reinterpret_cast<HANDLE>(handle));
  return found;
}

}  // namespace kernel

POBJECT_TYPE* ExEventObjectType = &event_object_type_pointer;

/* ntoskrnl */
NTSTATUS ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK DesiredAccess, POBJECT_TYPE ObjectType,
                                   KPROCESSOR_MODE AccessMode, PVOID* Object,
                                   POBJECT_HANDLE_INFORMATION HandleInformation) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "ObReferenceObjectByHandle");
  // A handle the user passed is referenced in the requestor's mode, so its
  // access is checked: kernel mode would let a process reach what its handle
  // does not grant.
  if (AccessMode == KernelMode && PsGetCurrentProcess() != kernel::the_system_process() &&
      kernel::is_user_handle(Handle))
    kernel::verifier_fail("user-mode handle referenced with KernelMode access",
                          "handle %p, desired access 0x%x", Handle, static_cast<unsigned>(DesiredAccess));
  NTSTATUS status;
  ACCESS_MASK granted = 0;
  *Object = kernel::reference_handle(Handle, ObjectType, DesiredAccess, AccessMode, &status, &granted);
  if (HandleInformation && NT_SUCCESS(status)) {
    HandleInformation->HandleAttributes = 0;
    HandleInformation->GrantedAccess = granted;
  }
  return status;
}

/* ntoskrnl */
LONG_PTR ObfReferenceObject(PVOID Object) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "ObReferenceObject");
  return ++checked_header(Object, "ObReferenceObject")->references;
}

/* ntoskrnl */
LONG_PTR ObfDereferenceObject(PVOID Object) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "ObDereferenceObject");
  ObjectHeader* header = checked_header(Object, "ObDereferenceObject");
  const LONG_PTR left = --header->references;
  if (left < 0) kernel::verifier_fail("object dereferenced too often", "%p", Object);
  if (left == 0) header->type->last_reference(Object);
  return left;
}

/* ntoskrnl */
NTSTATUS ZwClose(HANDLE Handle) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "ZwClose");
  return kernel::close_handle(Handle);
}

/* ntdll: NtCreateEvent */
SIM_STATUS SimCreateEvent(int manual_reset, int initially_signalled, SIM_HANDLE* event) {
  auto* body = static_cast<PKEVENT>(kernel::create_object(kernel::event_type, sizeof(KEVENT)));
  if (!body) return STATUS_INSUFFICIENT_RESOURCES;
  KeInitializeEvent(body, manual_reset ? NotificationEvent : SynchronizationEvent,
                    initially_signalled ? TRUE : FALSE);
  *event = kernel::insert_handle(body);
  return STATUS_SUCCESS;
}

/* ntdll: NtSetEvent */
SIM_STATUS SimSetEvent(SIM_HANDLE handle) {
  PKEVENT event;
  const NTSTATUS status = reference_event(handle, EVENT_MODIFY_STATE, &event);
  if (!NT_SUCCESS(status)) return status;
  KeSetEvent(event, IO_NO_INCREMENT, FALSE);
  ObfDereferenceObject(event);
  return STATUS_SUCCESS;
}

/* ntdll: NtResetEvent */
SIM_STATUS SimResetEvent(SIM_HANDLE handle) {
  PKEVENT event;
  const NTSTATUS status = reference_event(handle, EVENT_MODIFY_STATE, &event);
  if (!NT_SUCCESS(status)) return status;
  KeResetEvent(event);
  ObfDereferenceObject(event);
  return STATUS_SUCCESS;
}

/* ntdll: NtWaitForMultipleObjects */
SIM_STATUS SimWaitForObjects(uint32_t count, const SIM_HANDLE* objects, int wait_all,
                             uint32_t timeout_ms, uint32_t* index) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !objects) return STATUS_INVALID_PARAMETER;
  const bool timed = timeout_ms != SIM_INFINITE && timeout_ms != 0;
  if (timed && !kernel::ensure_booted()) return STATUS_DEVICE_NOT_CONNECTED;
  std::vector<PVOID> events(count, nullptr);
  NTSTATUS status = STATUS_SUCCESS;
  for (uint32_t i = 0; i < count && NT_SUCCESS(status); ++i)
    status = reference_event(objects[i], SYNCHRONIZE, reinterpret_cast<PKEVENT*>(&events[i]));
  if (NT_SUCCESS(status)) {
    LARGE_INTEGER timeout;
    timeout.QuadPart = -static_cast<LONGLONG>(timeout_ms) * 10000;
    status = kernel::wait_for_objects(count, events.data(), wait_all ? WaitAll : WaitAny,
                                      timeout_ms == SIM_INFINITE ? nullptr : &timeout);
    if (static_cast<ULONG>(status) < count) {
      if (index) *index = static_cast<uint32_t>(status);
      status = STATUS_SUCCESS;
    }
  }
  for (PVOID event : events)
    if (event) ObfDereferenceObject(event);
  return status;
}

/* ntdll: NtDuplicateObject, within the process */
SIM_STATUS SimDuplicateHandle(SIM_HANDLE source, uint32_t access, SIM_HANDLE* target) {
  if (!target) return STATUS_INVALID_PARAMETER;
  std::lock_guard<kernel::BriefLock> lock(handles_lock);
  auto it = handle_table.find(reinterpret_cast<std::uintptr_t>(source));
  if (it == handle_table.end() || it->second.kernel) return STATUS_INVALID_HANDLE;
  if ((access & ~it->second.granted) != 0) return STATUS_ACCESS_DENIED;
  ObfReferenceObject(it->second.body);
  *target = insert_entry({it->second.body, access, false});
  return STATUS_SUCCESS;
}

/* ntdll: NtClose */
SIM_STATUS SimCloseHandle(SIM_HANDLE handle) {
  if (!kernel::is_user_handle(handle)) return STATUS_INVALID_HANDLE;  // none, or the kernel's
  return kernel::close_handle(handle);
}

// Files on devices and the requests a process sends on them: create, cleanup
// and close, buffered device control with overlapped completion, and the
// cancellation of a thread's pending requests.
#include <algorithm>
#include <mutex>
#include <new>
#include <set>

#include "kernel.h"
#include "sim_native.h"

namespace {

struct PendingRequest {
  PIRP irp;
  PKTHREAD thread;
};

struct FileState {
  PDEVICE_OBJECT top = nullptr;  // top of the stack when the file was opened
  bool opened = false;           // the driver accepted IRP_MJ_CREATE
  std::vector<PendingRequest> requests;
};

struct FileBody {
  FILE_OBJECT object;
  FileState state;
};

std::mutex files_lock;
std::set<FileBody*> live_files;
thread_local bool in_completion __attribute__((tls_model("initial-exec"))) = false;

PIRP file_irp(FileBody* file, UCHAR major) {
  PIRP irp = kernel::allocate_irp(file->state.top->StackSize, {});
  if (!irp) return nullptr;
  irp->RequestorMode = UserMode;
  irp->Tail.Overlay.OriginalFileObject = &file->object;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = major;
  next->FileObject = &file->object;
  return irp;
}

NTSTATUS send_file_request(FileBody* file, UCHAR major) {
  PIRP irp = file_irp(file, major);
  if (!irp) return STATUS_INSUFFICIENT_RESOURCES;
  return kernel::send_and_wait(file->state.top, irp);
}

void destroy_file(FileBody* file) {
  {
    std::lock_guard<std::mutex> lock(files_lock);
    live_files.erase(file);
  }
  if (file->state.opened) kernel::pnp_file_closed(file->object.DeviceObject);
  ObfDereferenceObject(file->state.top);
  ObfDereferenceObject(file->object.DeviceObject);
  file->state.~FileState();
  kernel::free_object(file);
}

void close_and_destroy(FileBody* file) {
  if (file->state.opened) send_file_request(file, IRP_MJ_CLOSE);
  destroy_file(file);
}

// The last reference may go in a completion, perhaps at DISPATCH_LEVEL; the
// close request is then sent later, at PASSIVE_LEVEL, from the worker.
void file_last_reference(void* body) {
  auto* file = static_cast<FileBody*>(body);
  if (KeGetCurrentIrql() == PASSIVE_LEVEL && !in_completion)
    close_and_destroy(file);
  else
    kernel::worker_queue([file] { close_and_destroy(file); });
}

void file_handle_closed(void* body) {
  auto* file = static_cast<FileBody*>(body);
  send_file_request(file, IRP_MJ_CLEANUP);
}

_OBJECT_TYPE file_object_type{{"File", file_last_reference, file_handle_closed}};
POBJECT_TYPE file_object_type_pointer = &file_object_type;

FileBody* create_file(PDEVICE_OBJECT pdo, PDEVICE_OBJECT top) {
  auto* file = static_cast<FileBody*>(kernel::create_object(&file_object_type, sizeof(FileBody)));
  if (!file) return nullptr;
  new (&file->state) FileState;
  file->object.Type = 5;  // IO_TYPE_FILE
  file->object.Size = sizeof(FILE_OBJECT);
  file->object.DeviceObject = pdo;
  KeInitializeEvent(&file->object.Event, NotificationEvent, FALSE);
  ObfReferenceObject(pdo);
  ObfReferenceObject(top);
  file->state.top = top;
  std::lock_guard<std::mutex> lock(files_lock);
  live_files.insert(file);
  return file;
}

// What a buffered device-control request needs when it completes.
struct ControlRequest {
  FileBody* file;
  void* out;
  uint32_t out_length;
  SIM_IO_STATUS* iosb;
  PKEVENT event;  // referenced user event, or nullptr
  KEVENT done;
  NTSTATUS status = STATUS_PENDING;
};

void forget_request(FileBody* file, PIRP irp) {
  std::lock_guard<std::mutex> lock(files_lock);
  std::erase_if(file->state.requests, [irp](const PendingRequest& r) { return r.irp == irp; });
}

void complete_control(PIRP irp, std::shared_ptr<ControlRequest> request) {
  const NTSTATUS status = irp->IoStatus.Status;
  void* system_buffer = irp->AssociatedIrp.SystemBuffer;
  // Information bytes go back, as Windows copies them: a driver that claims
  // more than the caller's buffer would overrun the caller's memory.
  const ULONG_PTR transferred = NT_ERROR(status) ? 0 : irp->IoStatus.Information;
  if (transferred > request->out_length)
    kernel::verifier_fail("request completed with more bytes than the caller's buffer holds",
                          "IRP %p: Information %zu, output buffer %u bytes", static_cast<void*>(irp),
                          static_cast<std::size_t>(transferred), request->out_length);
  if (transferred) memcpy(request->out, system_buffer, transferred);
  if (request->iosb) {
    // The caller may be polling the status (GetOverlappedResult) on another
    // thread: the count goes first, and the status is published last.
    request->iosb->Information = transferred;
    __atomic_store_n(&request->iosb->Status, static_cast<uintptr_t>(static_cast<uint32_t>(status)),
                     __ATOMIC_RELEASE);
  }
  if (system_buffer) kernel::pool_free(system_buffer);
  forget_request(request->file, irp);
  if (request->event) {
    KeSetEvent(request->event, IO_NO_INCREMENT, FALSE);
    ObfDereferenceObject(request->event);
  }
  request->status = status;
  KeSetEvent(&request->done, IO_NO_INCREMENT, FALSE);
  in_completion = true;
  ObfDereferenceObject(&request->file->object);
  in_completion = false;
  kernel::release_irp_reference(irp);
}

NTSTATUS reference_file(SIM_HANDLE handle, FileBody** file) {
  NTSTATUS status;
  *file = static_cast<FileBody*>(kernel::reference_handle(handle, &file_object_type, 0, UserMode, &status));
  return status;
}

PIRP build_control(const std::shared_ptr<ControlRequest>& request, uint32_t code, const void* in,
                   uint32_t in_length) {
  const uint32_t buffer_length = std::max(in_length, request->out_length);
  void* system_buffer = nullptr;
  if (buffer_length) {
    system_buffer = kernel::pool_allocate(buffer_length, 0x66756253);  // "Sbuf"
    if (!system_buffer) return nullptr;
    if (in_length) memcpy(system_buffer, in, in_length);
  }
  PIRP irp = file_irp(request->file, IRP_MJ_DEVICE_CONTROL);
  if (!irp) {
    if (system_buffer) kernel::pool_free(system_buffer);
    return nullptr;
  }
  irp->AssociatedIrp.SystemBuffer = system_buffer;
  irp->UserBuffer = request->out;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->Parameters.DeviceIoControl.IoControlCode = code;
  next->Parameters.DeviceIoControl.InputBufferLength = in_length;
  next->Parameters.DeviceIoControl.OutputBufferLength = request->out_length;
  return irp;
}

// Cancels the requests of one thread (nullptr: of every thread) on a file.
void cancel_requests(FileBody* only_file, PKTHREAD thread) {
  std::vector<PIRP> victims;
  {
    std::lock_guard<std::mutex> lock(files_lock);
    for (FileBody* file : live_files) {
      if (only_file && file != only_file) continue;
      for (const PendingRequest& request : file->state.requests)
        if (!thread || request.thread == thread) {
          kernel::add_irp_reference(request.irp);
          victims.push_back(request.irp);
        }
    }
  }
  for (PIRP irp : victims) {
    IoCancelIrp(irp);
    kernel::release_irp_reference(irp);
  }
}

}  // namespace

POBJECT_TYPE* IoFileObjectType = &file_object_type_pointer;

namespace kernel {

POBJECT_TYPE file_type = &file_object_type;

void files_cancel_all_requests() { cancel_requests(nullptr, nullptr); }

void files_close_all() {
  for (HANDLE handle : handles_of_type(file_type)) close_handle(handle);
}

std::size_t files_open_on(PDEVICE_OBJECT pdo) {
  std::lock_guard<std::mutex> lock(files_lock);
  return std::count_if(live_files.begin(), live_files.end(), [pdo](const FileBody* file) {
    return file->state.opened && file->object.DeviceObject == pdo;
  });
}

}  // namespace kernel

/* ntdll: NtCreateFile */
SIM_STATUS SimCreateFile(const char* interface_path, SIM_HANDLE* file) {
  if (!interface_path || !file) return STATUS_INVALID_PARAMETER;
  if (!kernel::ensure_booted()) return STATUS_DEVICE_NOT_CONNECTED;
  bool enabled = false;
  kernel::DeviceNode* node = kernel::interface_node(interface_path, &enabled);
  if (!node || !enabled) return STATUS_OBJECT_NAME_NOT_FOUND;
  PDEVICE_OBJECT top = kernel::top_of_stack(node->pdo);
  if (!node->present || top == node->pdo || (top->Flags & DO_DEVICE_INITIALIZING) ||
      !node->start_completed)
    return STATUS_NO_SUCH_DEVICE;
  FileBody* body = create_file(node->pdo, top);
  if (!body) return STATUS_INSUFFICIENT_RESOURCES;
  const NTSTATUS status = send_file_request(body, IRP_MJ_CREATE);
  if (!NT_SUCCESS(status)) {
    ObfDereferenceObject(body);  // never opened: no close follows
    return status;
  }
  body->state.opened = true;
  *file = kernel::insert_handle(body);
  return STATUS_SUCCESS;
}

/* ntdll: NtDeviceIoControlFile */
SIM_STATUS SimDeviceIoControl(SIM_HANDLE file, uint32_t code, const void* in, uint32_t in_length,
                              void* out, uint32_t out_length, SIM_HANDLE event, SIM_IO_STATUS* iosb) {
  if ((in_length && !in) || (out_length && !out)) return STATUS_INVALID_PARAMETER;
  if (METHOD_FROM_CTL_CODE(code) != METHOD_BUFFERED) return STATUS_NOT_SUPPORTED;  // only buffered I/O
  auto request = std::make_shared<ControlRequest>();
  NTSTATUS status = reference_file(file, &request->file);
  if (!NT_SUCCESS(status)) return status;
  if (event) {
    request->event = static_cast<PKEVENT>(
        kernel::reference_handle(event, kernel::event_type, EVENT_MODIFY_STATE, UserMode, &status));
    if (!request->event) {
      ObfDereferenceObject(request->file);
      return status;
    }
    KeResetEvent(request->event);
  }
  request->out = out;
  request->out_length = out_length;
  request->iosb = iosb;
  KeInitializeEvent(&request->done, NotificationEvent, FALSE);
  PIRP irp = build_control(request, code, in, in_length);
  if (!irp) {
    if (request->event) ObfDereferenceObject(request->event);
    ObfDereferenceObject(request->file);
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  {
    std::lock_guard<std::mutex> lock(files_lock);
    request->file->state.requests.push_back({irp, KeGetCurrentThread()});
  }
  kernel::add_irp_reference(irp);
  kernel::set_irp_finish(irp, [request](PIRP done) { complete_control(done, request); });
  status = IofCallDriver(request->file->state.top, irp);
  kernel::note_dispatch_status(irp, status);
  kernel::release_irp_reference(irp);
  if (status != STATUS_PENDING || event) return status;
  KeWaitForSingleObject(&request->done, UserRequest, UserMode, FALSE, nullptr);
  return request->status;
}

/* ntdll: NtCancelIoFile */
SIM_STATUS SimCancelIo(SIM_HANDLE file) {
  FileBody* body;
  const NTSTATUS status = reference_file(file, &body);
  if (!NT_SUCCESS(status)) return status;
  cancel_requests(body, KeGetCurrentThread());
  ObfDereferenceObject(body);
  return STATUS_SUCCESS;
}

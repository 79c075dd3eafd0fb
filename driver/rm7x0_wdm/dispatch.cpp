/* Create, close, cleanup, read/write and the device-control dispatcher with
 * its routing table. Every routine holds an in-flight reference while it runs
 * (so removal waits for it) and fails early on a card being removed. */
#include "rm7x0_driver.h"

namespace {

/* The in-flight reference of one dispatch routine, released on every exit. */
class IoReference {
 public:
  explicit IoReference(CardExtension *ext) : ext_(ext), held_(io_ref_acquire(ext)) {}
  ~IoReference() {
    if (held_) io_ref_release(ext_);
  }
  IoReference(const IoReference &) = delete;
  IoReference &operator=(const IoReference &) = delete;
  bool held() const { return held_; }

 private:
  CardExtension *ext_;
  bool held_;
};

/* Whether a handler's refusal word reaches word 0 of the reply; for the
 * other requests only the dispatcher's own checks change it. */
enum ReplyWord { WORD_IGNORED, WORD_REPLACES };

/* How a request is serialised with the others of its card. Referencing the
 * caller's handles is allowed only at passive level, below the request
 * mutex; the one request that does it touches no register and keeps its
 * events under the axis locks. */
enum Serialisation { UNDER_MUTEX, PASSIVE_LEVEL_ONLY };

struct Route {
  ULONG code;
  RequestHandler *handler;
  ReplyWord word;
  Serialisation serialisation = UNDER_MUTEX;
};

constexpr Route kRoutes[] = {
    {REQ_MAP_SHARED_BUFFER, map_shared_buffer, WORD_IGNORED},
    {REQ_UNMAP_SHARED_BUFFER, unmap_shared_buffer, WORD_IGNORED},
    {REQ_GET_DIPSW_ID, get_dipsw_id, WORD_IGNORED},
    {REQ_GET_RANGES, get_ranges, WORD_IGNORED},
    {REQ_SET_RANGE, set_range, WORD_REPLACES},
    {REQ_RESET, reset_card, WORD_IGNORED},
    {REQ_ATTACH_INT_EVENTS, attach_int_events, WORD_IGNORED, PASSIVE_LEVEL_ONLY},
    {REQ_DETACH_INT_EVENTS, detach_int_events, WORD_IGNORED},
    {REQ_GET_INT_STATUS, get_int_status, WORD_IGNORED},
    {REQ_CPLD_VER_GET, get_cpld_version, WORD_IGNORED},
    {REQ_SET_CUSTOMIZATION, set_customization, WORD_IGNORED},
    {REQ_REG_RW_TEST, test_register, WORD_REPLACES},
    /* ---- Handler families still to come --------------------------------
     * Axis configuration and home search, moves and the segment table,
     * status/stop/waits and interrupt actions, the Torix bus, compare trigger
     * and synchronous action: each family adds its routes here. Until then
     * their codes are absent and take the unknown-code path, as do
     * 0x221058, 0x221064 and the watchdog codes, which this driver never
     * serves. ------------------------------------------------------------ */
};

constexpr ULONG kFirstCommand = 0x401;
constexpr ULONG kLastCommand = 0x45B;
constexpr ULONG kCommandCount = kLastCommand - kFirstCommand + 1;

constexpr ULONG command_of(ULONG code) { return (code >> 2) & 0xFFF; }

/* Routes indexed by command number, built once at compile time. */
struct RouteIndex {
  const Route *by_command[kCommandCount];
};

constexpr RouteIndex build_route_index() {
  RouteIndex index{};
  for (const Route &route : kRoutes) index.by_command[command_of(route.code) - kFirstCommand] = &route;
  return index;
}

constexpr RouteIndex kRouteIndex = build_route_index();

const Route *find_route(ULONG code) {
  const ULONG command = command_of(code);
  if (command < kFirstCommand || command > kLastCommand) return nullptr;
  if (code != RM7X0_REQUEST(command)) return nullptr;  /* another type, method or access */
  return kRouteIndex.by_command[command - kFirstCommand];
}

constexpr ULONG kBlockBytes = sizeof(DriverRequest);

/* Runs a routed request on a started card; a stopped card has no registers
 * to reach and answers no block. */
NTSTATUS run_request(CardExtension *ext, PIRP irp, const Route *route, DriverRequest *block,
                     ULONG_PTR *information) {
  const bool locked = route->serialisation == UNDER_MUTEX;
  if (locked) ExAcquireFastMutex(&ext->request_mutex);
  RequestContext request = {ext, irp, block, STATUS_SUCCESS};
  if (ext->started) {
    block->slot[0] = DRV_SUCCESS;
    const USHORT word = route->handler(&request);
    if (route->word == WORD_REPLACES && word != DRV_SUCCESS) block->slot[0] = word;
    *information = request.status == STATUS_PENDING ? 0 : kBlockBytes;
  } else {
    request.status = STATUS_DEVICE_NOT_READY;
    *information = 0;
  }
  if (locked) ExReleaseFastMutex(&ext->request_mutex);
  return request.status;
}

/* A request code this driver does not serve: word 0x0215 when the caller's
 * buffer holds a block, and an invalid-device-request status. */
NTSTATUS refuse_unknown_code(PIRP irp, ULONG output_length) {
  if (output_length < kBlockBytes) return complete_request(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  ((DriverRequest *)irp->AssociatedIrp.SystemBuffer)->slot[0] = DRV_UNKNOWN_REQUEST;
  return complete_request(irp, STATUS_INVALID_DEVICE_REQUEST, kBlockBytes);
}

VOID switch_servos_off(CardExtension *ext) {
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    if (ext->axis[axis].output[OUTPUT_SERVO_STATE] == 1) set_servo_on(ext, 1u << axis, 0, 0);
  }
}

}  // namespace

NTSTATUS dispatch_device_control(PDEVICE_OBJECT device, PIRP irp) {
  CardExtension *ext = card_extension(device);
  IoReference reference(ext);
  if (!reference.held()) return complete_request(irp, STATUS_DELETE_PENDING, 0);

  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG input_length = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG output_length = stack->Parameters.DeviceIoControl.OutputBufferLength;
  const Route *route = find_route(code);
  if (route == nullptr) return refuse_unknown_code(irp, output_length);
  /* The block is read and written in place: both directions must hold it. */
  if (input_length < kBlockBytes || output_length < kBlockBytes)
    return complete_request(irp, STATUS_BUFFER_TOO_SMALL, 0);

  DriverRequest *block = (DriverRequest *)irp->AssociatedIrp.SystemBuffer;
  ULONG_PTR information = 0;
  const NTSTATUS status = run_request(ext, irp, route, block, &information);
  if (status == STATUS_PENDING) return STATUS_PENDING;  /* completed later, without data */
  return complete_request(irp, status, information);
}

/* One open handle per card; the check and the count are one interlocked step. */
NTSTATUS dispatch_create(PDEVICE_OBJECT device, PIRP irp) {
  CardExtension *ext = card_extension(device);
  IoReference reference(ext);
  if (!reference.held()) return complete_request(irp, STATUS_DELETE_PENDING, 0);
  if (InterlockedCompareExchange(&ext->open_count, 1, 0) != 0)
    return complete_request(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
  return complete_request(irp, STATUS_SUCCESS, 0);
}

/* Cleanup runs in the process that opened the card: its view of the shared
 * buffer goes with its handle. */
NTSTATUS dispatch_cleanup(PDEVICE_OBJECT device, PIRP irp) {
  CardExtension *ext = card_extension(device);
  IoReference reference(ext);
  if (reference.held()) {
    ExAcquireFastMutex(&ext->request_mutex);
    unmap_user_view(ext);
    ExReleaseFastMutex(&ext->request_mutex);
  }
  return complete_request(irp, STATUS_SUCCESS, 0);
}

/* Close switches off the servos the handle left on; a card being removed
 * only counts the handle. */
NTSTATUS dispatch_close(PDEVICE_OBJECT device, PIRP irp) {
  CardExtension *ext = card_extension(device);
  if (ext->open_count == 0) return complete_request(irp, STATUS_DEVICE_NOT_READY, 0);
  {
    IoReference reference(ext);
    if (reference.held()) {
      ExAcquireFastMutex(&ext->request_mutex);
      if (ext->started) switch_servos_off(ext);
      ExReleaseFastMutex(&ext->request_mutex);
    }
  }
  InterlockedDecrement(&ext->open_count);
  return complete_request(irp, STATUS_SUCCESS, 0);
}

NTSTATUS dispatch_read_write(PDEVICE_OBJECT device, PIRP irp) {
  IoReference reference(card_extension(device));
  if (!reference.held()) return complete_request(irp, STATUS_DELETE_PENDING, 0);
  return complete_request(irp, STATUS_NOT_IMPLEMENTED, 0);
}

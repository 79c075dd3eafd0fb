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
    /* Axis configuration (config_handlers.cpp). */
    {REQ_SET_PLS_CFG, set_pulse_config, WORD_IGNORED},
    {REQ_SET_ENC_CFG, set_encoder_config, WORD_IGNORED},
    {REQ_SET_LIMIT, set_limit_config, WORD_IGNORED},
    {REQ_SET_INP, set_in_position, WORD_IGNORED},
    {REQ_SET_ALARM, set_alarm_config, WORD_IGNORED},
    {REQ_SET_ALARM_RESET, set_alarm_reset_output, WORD_IGNORED},
    {REQ_SET_ERC, set_erc_output, WORD_IGNORED},
    {REQ_SET_GDO, set_general_output, WORD_IGNORED},
    {REQ_GET_OUT1_STATUS, get_out1_status, WORD_IGNORED},
    {REQ_SERVO_ON, switch_servo, WORD_IGNORED},
    {REQ_SET_IN3, set_in3_config, WORD_IGNORED},
    {REQ_SET_FILTER, set_input_filter, WORD_IGNORED},
    {REQ_SET_SOFTLIMIT, set_software_limit, WORD_REPLACES},
    {REQ_SET_HOME_CFG, set_home_config, WORD_REPLACES},
    {REQ_SET_CMP, set_comparators, WORD_IGNORED},
    /* Single-axis moves and their changes (move_handlers.cpp). The moves
     * and the target change answer only the words of their checks. */
    {REQ_VELOCITY_MOVE, velocity_move, WORD_REPLACES},
    {REQ_CONST_MOVE, const_move, WORD_REPLACES},
    {REQ_T_MOVE, t_move, WORD_REPLACES},
    {REQ_S_MOVE, s_move, WORD_REPLACES},
    {REQ_CHECK_AXES_MOVE, check_axes_move_request, WORD_REPLACES},
    {REQ_T_CHANGE_V, t_change_speed, WORD_REPLACES},
    {REQ_S_CHANGE_V, s_change_speed, WORD_REPLACES},
    {REQ_T_SET_AVTRI, t_set_avoid_triangle, WORD_IGNORED},
    {REQ_SET_SV_ACC, set_start_speed_and_rates, WORD_REPLACES},
    {REQ_CHANGE_P, change_target, WORD_REPLACES},
    /* Line and arc moves, continuous interpolation and its segment table
     * (interpolation_handlers.cpp). */
    {REQ_T_LINE2_MOVE, t_line2_move, WORD_REPLACES},
    {REQ_T_LINE3_MOVE, t_line3_move, WORD_REPLACES},
    {REQ_S_LINE2_MOVE, s_line2_move, WORD_REPLACES},
    {REQ_S_LINE3_MOVE, s_line3_move, WORD_REPLACES},
    {REQ_T_ARC2_MOVE, t_arc2_move, WORD_REPLACES},
    {REQ_CONTI_INTERP_BEGIN, conti_begin, WORD_REPLACES},
    {REQ_CONTI_INTERP_CONFIG, conti_config, WORD_REPLACES},
    {REQ_CONTI_INTERP_END, conti_end, WORD_REPLACES},
    {REQ_CONTI_INTERP_NEXT_READY, conti_next_ready, WORD_REPLACES},
    {REQ_CONTI_LINE2_MOVE, conti_line2_move, WORD_REPLACES},
    {REQ_CONTI_LINE3_MOVE, conti_line3_move, WORD_REPLACES},
    {REQ_CONTI_ARC2_MOVE, conti_arc2_move, WORD_REPLACES},
    {REQ_CONTI_LOAD_SEGMENT, conti_load_segment, WORD_REPLACES},
    {REQ_CONTI_INTERP_RUNNING_SEGMENT, conti_running_segment, WORD_IGNORED},
    /* Status, counters, stop, hold, waits and interrupt factors
     * (status_handlers.cpp, interrupt_actions.cpp). */
    {REQ_GET_DI_STATUS, get_di_status_request, WORD_IGNORED},
    {REQ_GET_ERROR_STATUS, get_error_status_request, WORD_IGNORED},
    {REQ_GET_IN3, get_in3, WORD_IGNORED},
    {REQ_SET_CMDCOUNTER, set_cmd_counter, WORD_IGNORED},
    {REQ_GET_CMDCOUNTER, get_cmd_counter, WORD_IGNORED},
    {REQ_SET_ENCCOUNTER, set_enc_counter, WORD_IGNORED},
    {REQ_GET_ENCCOUNTER, get_enc_counter, WORD_IGNORED},
    {REQ_MOTION_DONE, motion_done_request, WORD_IGNORED},
    {REQ_GET_SPEED, get_speed, WORD_IGNORED},
    {REQ_GET_ACC, get_acc, WORD_IGNORED},
    {REQ_GET_LATCH, get_latch, WORD_IGNORED},
    {REQ_STOP_MOVE, stop_move, WORD_IGNORED},
    {REQ_STOP_MOVE_ALL, stop_move_all, WORD_IGNORED},
    {REQ_DRV_START, drive_start, WORD_REPLACES},
    {REQ_DRV_HOLD, drive_hold, WORD_REPLACES},
    {REQ_SET_VRING, set_vring, WORD_REPLACES},
    {REQ_SET_MPG, set_mpg, WORD_IGNORED},
    {REQ_END_WAIT, end_wait, WORD_IGNORED},
    {REQ_SET_INT_FACTOR, set_int_factor_request, WORD_REPLACES},
    {REQ_GET_INT_FACTOR, get_int_factor, WORD_IGNORED},
    {REQ_SET_INT_ACTION, set_int_action, WORD_REPLACES},
    /* Home search (home_search.cpp). */
    {REQ_SET_HOME_CFG_EX, set_home_config_ex, WORD_REPLACES},
    {REQ_HOME_START, home_start, WORD_REPLACES},
    /* Torix remote-I/O bus (torix_handlers.cpp). The words are the
     * refusals of its reads and of its configuration. */
    {REQ_SET_TORIX_DO, set_torix_do, WORD_REPLACES},
    {REQ_GET_TORIX_DI, get_torix_di, WORD_REPLACES},
    {REQ_SCAN_TORIX_DI, scan_torix, WORD_IGNORED},
    {REQ_CONFIG_TORIX, config_torix, WORD_REPLACES},
    {REQ_SET_TORIX_INT, set_torix_int, WORD_IGNORED},
    {REQ_RESET_TORIX, reset_torix, WORD_IGNORED},
    {REQ_SET_TORIX_REG48, set_torix_aux, WORD_IGNORED},
    {REQ_GET_TORIX_DI_CACHED, get_torix_di_cached, WORD_REPLACES},
    /* Compare trigger, synchronous action, compare mask and the model-B
     * compare counters (compare_trigger.cpp). */
    {REQ_UPLOAD_COMPARE_TABLE, upload_compare_table, WORD_REPLACES},
    {REQ_CMPTRIG_CONFIG, cmptrig_config, WORD_REPLACES},
    {REQ_SET_SYNCH, set_synch, WORD_REPLACES},
    {REQ_SET_CMP_MASK_IN3, set_cmp_mask_in3, WORD_IGNORED},
    {REQ_GET_CMPCOUNTER, get_cmp_counter, WORD_IGNORED},
    {REQ_GET_CMPTRIGCOUNTER, get_cmp_trig_counter, WORD_IGNORED},
    {REQ_GET_CMP_PITCH, get_cmp_pitch, WORD_IGNORED},
    /* Codes without a route take the unknown-code path: 0x221058, 0x221064
     * and the watchdog codes, which this driver never serves. */
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

/* Runs a routed request on a started card, once the card is back from a
 * power-up or a rebalance; a stopped card, or one powered down, has no
 * registers to reach and answers no block. The handler works on a copy of the block:
 * a request it made pending may be completed (and its buffer gone) before
 * the handler returns, and the answer of a pending request has no data. */
NTSTATUS run_request(CardExtension *ext, PIRP irp, const Route *route, DriverRequest *block,
                     ULONG_PTR *information) {
  const bool locked = route->serialisation == UNDER_MUTEX;
  if (locked)
    request_gate_pass_and_lock(ext);
  else
    request_gate_pass(ext);
  DriverRequest answer = *block;
  RequestContext request = {ext, irp, &answer, STATUS_SUCCESS};
  if (ext->started && !read_interlocked(&ext->powered_down)) {
    if (locked) conti_settle_closed_run(ext);
    answer.slot[SLOT_STATUS] = DRV_SUCCESS;
    const USHORT word = route->handler(&request);
    if (route->word == WORD_REPLACES && word != DRV_SUCCESS) answer.slot[SLOT_STATUS] = word;
    if (request.status != STATUS_PENDING) *block = answer;
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
  ((DriverRequest *)irp->AssociatedIrp.SystemBuffer)->slot[SLOT_STATUS] = DRV_UNKNOWN_REQUEST;
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

/* Cleanup follows the file's last handle: the requests still waiting on it
 * end, and its view of the shared buffer goes, also on a card being
 * removed. */
NTSTATUS dispatch_cleanup(PDEVICE_OBJECT device, PIRP irp) {
  CardExtension *ext = card_extension(device);
  cancel_file_waiting_requests(ext, IoGetCurrentIrpStackLocation(irp)->FileObject);
  ExAcquireFastMutex(&ext->request_mutex);
  unmap_user_view(ext);
  ExReleaseFastMutex(&ext->request_mutex);
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

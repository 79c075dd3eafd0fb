/* Requests the dispatcher serves itself: the shared buffer, card ID, ranges,
 * reset, interrupt events, options and the diagnostic requests. Each runs
 * on a started card under the request mutex, except the event attachment
 * (see the routing table). */
#include "rm7x0_driver.h"

/* ---- shared buffer --------------------------------------------------------- */

/* Runs in the requesting process, whose address space receives the view. A
 * user-mode mapping that fails raises: the guard turns it into a request
 * that answers no address. */
USHORT map_shared_buffer(RequestContext *request) {
  SharedBuffer *buffer = &request->ext->buffer;
  if (buffer->user_address != NULL || buffer->mdl == NULL) return DRV_SUCCESS;
  PVOID user = NULL;
  const NTSTATUS mapped = run_guarded([&] {
    user = MmMapLockedPagesSpecifyCache(buffer->mdl, UserMode, MmCached, NULL, FALSE,
                                        NormalPagePriority);
  });
  if (!NT_SUCCESS(mapped) || user == NULL) return DRV_SUCCESS;
  buffer->user_address = user;
  buffer->user_process = PsGetCurrentProcess();
  ObReferenceObject(buffer->user_process);
  request->block->slot[MAP_SHARED_BUFFER_REPLY_ADDRESS] = (ULONG64)(LONG64)(LONG_PTR)user;
  set_slot(request->block, MAP_SHARED_BUFFER_REPLY_LENGTH, buffer->length);
  return DRV_SUCCESS;
}

/* The view can only be unmapped in the address space it lives in, while a
 * handle inherited or duplicated into another process sends the cleanup or
 * the unmap request from there: the thread attaches to the mapping's process
 * for the unmapping (a no-op when it runs there already). */
VOID unmap_user_view(CardExtension *ext) {
  SharedBuffer *buffer = &ext->buffer;
  if (buffer->user_address == NULL || buffer->mdl == NULL) return;
  KAPC_STATE attached;
  KeStackAttachProcess((PKPROCESS)buffer->user_process, &attached);
  MmUnmapLockedPages(buffer->user_address, buffer->mdl);
  KeUnstackDetachProcess(&attached);
  ObDereferenceObject(buffer->user_process);
  buffer->user_address = NULL;
  buffer->user_process = NULL;
}

USHORT unmap_shared_buffer(RequestContext *request) {
  unmap_user_view(request->ext);
  return DRV_SUCCESS;
}

/* ---- card ID, ranges, reset ------------------------------------------------- */

USHORT get_dipsw_id(RequestContext *request) {
  set_slot(request->block, GET_DIPSW_ID_REPLY_ID,
           card_read16_sync(request->ext, REG_CARD_ID) & CARD_ID_SWITCHES);
  return DRV_SUCCESS;
}

USHORT get_ranges(RequestContext *request) {
  for (int axis = 0; axis < AXIS_COUNT; ++axis)
    set_slot(request->block, RANGES_REPLY_FIRST + axis, request->ext->axis[axis].range);
  return DRV_SUCCESS;
}

USHORT set_range(RequestContext *request) {
  const ULONG axis_mask = slot_u16(request->block, SLOT_AXES);
  const ULONG range = slot_u32(request->block, SET_RANGE_RANGE);
  if (conti_defer_range(request->ext, axis_mask, range)) return DRV_SUCCESS;
  return chip_set_range(request->ext, axis_mask, range);
}

USHORT reset_card(RequestContext *request) {
  card_reset(request->ext);
  return get_ranges(request);
}

/* ---- interrupt events --------------------------------------------------------- */

/* The four handles lie as pointer-sized values from byte 8 of the block (slots
 * 1-4 in a 64-bit build). Either all four are taken, replacing (and
 * releasing) the events attached before, or the request fails with the
 * referencing status and the card keeps no event. */
USHORT attach_int_events(RequestContext *request) {
  HANDLE handles[AXIS_COUNT];
  RtlCopyMemory(handles, &request->block->slot[ATTACH_INT_EVENTS_FIRST], sizeof handles);
  PKEVENT events[AXIS_COUNT] = {};
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    /* The DPC signals and the attachment resets the event: both modify it. */
    NTSTATUS status = ObReferenceObjectByHandle(handles[axis], EVENT_MODIFY_STATE, *ExEventObjectType,
                                                request->irp->RequestorMode,
                                                (PVOID *)&events[axis], NULL);
    if (!NT_SUCCESS(status)) {
      for (int taken = 0; taken < axis; ++taken) ObDereferenceObject(events[taken]);
      release_axis_events(request->ext);
      request->status = status;
      return DRV_SUCCESS;
    }
  }
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    KeResetEvent(events[axis]);
    PKEVENT old = exchange_axis_event(request->ext, axis, events[axis]);
    if (old != NULL) ObDereferenceObject(old);
  }
  return DRV_SUCCESS;
}

USHORT detach_int_events(RequestContext *request) {
  release_axis_events(request->ext);
  return DRV_SUCCESS;
}

/* An axis mask without an axis bit names no axis: the request fails rather
 * than answering some other axis's factor. */
USHORT get_int_status(RequestContext *request) {
  const int axis = axis_mask_to_index(slot_u16(request->block, SLOT_AXES));
  if (axis < 0) {
    request->status = STATUS_INVALID_PARAMETER;
    return DRV_SUCCESS;
  }
  set_slot(request->block, AXIS_QUERY_REPLY_VALUE,
           (USHORT)InterlockedCompareExchange(&request->ext->axis[axis].interrupt_factor, 0, 0));
  return DRV_SUCCESS;
}

/* ---- options and diagnostics ---------------------------------------------------- */

#define CUSTOMIZATION_HOME_END_COUNTER_CLEAR 1
#define CUSTOMIZATION_LINE_ARC_OPTION 4

USHORT set_customization(RequestContext *request) {
  const USHORT value = slot_u16(request->block, SET_CUSTOMIZATION_VALUE);
  switch (slot_u16(request->block, SET_CUSTOMIZATION_TYPE)) {
    case CUSTOMIZATION_HOME_END_COUNTER_CLEAR:
      home_search_set_end_counter_clear(request->ext, value);
      break;
    case CUSTOMIZATION_LINE_ARC_OPTION:
      request->ext->interp.line_arc_option = value;
      break;
    default:  /* the library's own options: nothing for the driver */
      break;
  }
  return DRV_SUCCESS;
}

USHORT get_cpld_version(RequestContext *request) {
  set_slot(request->block, CPLD_VER_GET_REPLY_VERSION,
           card_read16_sync(request->ext, REG_CPLD_VERSION));
  set_slot(request->block, CPLD_VER_GET_REPLY_DATE_CODE, board_date_code(request->ext));
  return DRV_SUCCESS;
}

/* A register outside the mapped windows is refused: the word says why and
 * the request fails, so the caller never takes a refusal for a value read. */
USHORT test_register(RequestContext *request) {
  USHORT value = 0;
  const ULONG operation = slot_u16(request->block, REG_RW_TEST_OPERATION);
  if (!register_test(request->ext, operation, slot_u16(request->block, REG_RW_TEST_OFFSET),
                     slot_u16(request->block, REG_RW_TEST_DATA), &value)) {
    request->status = STATUS_INVALID_PARAMETER;
    return DRV_REGISTER_OUT_OF_WINDOW;
  }
  if (operation == REG_TEST_READ_CARD || operation == REG_TEST_READ_BRIDGE)
    set_slot(request->block, REG_RW_TEST_REPLY_VALUE, value);
  return DRV_SUCCESS;
}

// Opening, closing and resetting cards. Opening maps the driver's shared
// buffer into the process and reads the axis ranges; closing releases the
// events, unmaps the buffer and closes the handle; resetting re-reads the
// ranges the chip starts with.
#include "card_table.h"
#include "checks.h"
#include "int_events.h"
#include "model.h"
#include "request.h"

namespace {

HANDLE open_device(const CardRecord &card) {
  return CreateFileA(card.interface_path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED, nullptr);
}

bool map_shared_buffer(HANDLE device, CardRecord &card) {
  DriverRequest block{};
  if (!send_request(device, REQ_MAP_SHARED_BUFFER, block)) return false;
  // a user-space address, pointer-sized
  card.shared_buffer_address = block.slot[MAP_SHARED_BUFFER_REPLY_ADDRESS];
  card.shared_buffer_length = slot_u32(block, MAP_SHARED_BUFFER_REPLY_LENGTH);
  return true;
}

bool unmap_shared_buffer(HANDLE device) {
  DriverRequest block{};
  return send_request(device, REQ_UNMAP_SHARED_BUFFER, block);
}

// Asks for the four axis ranges (PPS) with REQ_GET_RANGES or REQ_RESET, which
// answer them alike, and sets up the axes from them.
bool read_ranges(uint8_t card, HANDLE device, DWORD code) {
  DriverRequest block{};
  if (!send_request(device, code, block)) return false;
  uint32_t ranges[AXES_PER_CARD];
  for (int axis = 0; axis < AXES_PER_CARD; ++axis)
    ranges[axis] = slot_u32(block, RANGES_REPLY_FIRST + axis);
  set_up_axes(card, ranges);
  return true;
}

// Unmaps the buffers of the given slots that are open and mapped.
void release_buffers(int first, int last) {
  for (int id = first; id <= last; ++id) {
    CardRecord &card = card_table.cards[id];
    if (card_is_open(card) && card.shared_buffer_address != 0 && unmap_shared_buffer(card.device))
      card.shared_buffer_address = 0;
  }
}

void close_open_handles(const bool opened_now[CARD_SLOTS]) {
  for (int id = 0; id < CARD_SLOTS; ++id) {
    if (!opened_now[id]) continue;
    CloseHandle(card_table.cards[id].device);
    card_table.cards[id].device = INVALID_HANDLE_VALUE;
  }
}

// Opens the handle of every found card. A card that is open already is never
// opened twice (the driver admits one handle): the call fails with
// ERROR_DEVICE_OPEN and that card keeps its handle; the handles this call
// opened are closed again.
ApiStatus open_found_cards(bool opened_now[CARD_SLOTS]) {
  for (int id = 0; id < CARD_SLOTS; ++id) {
    CardRecord &card = card_table.cards[id];
    if (!card_is_found(card)) continue;
    const HANDLE device = card_is_open(card) ? INVALID_HANDLE_VALUE : open_device(card);
    if (device == INVALID_HANDLE_VALUE) {
      close_open_handles(opened_now);
      return ERROR_DEVICE_OPEN;
    }
    card.device = device;
    opened_now[id] = true;
  }
  return SUCCESS_NO_ERROR;
}

// Maps the buffer and reads the ranges of each card opened now; a failure
// releases what was mapped and closes every handle opened now.
ApiStatus set_up_opened_cards(const bool opened_now[CARD_SLOTS]) {
  for (int id = 0; id < CARD_SLOTS; ++id) {
    if (!opened_now[id]) continue;
    CardRecord &card = card_table.cards[id];
    ApiStatus status = SUCCESS_NO_ERROR;
    if (!map_shared_buffer(card.device, card)) {
      release_buffers(0, id - 1);
      status = ERROR_MEMORY_MAP;
    } else if (!read_ranges(static_cast<uint8_t>(id), card.device, REQ_GET_RANGES)) {
      release_buffers(0, id);
      status = ERROR_IOCTL_FAILED;
    }
    if (status != SUCCESS_NO_ERROR) {
      close_open_handles(opened_now);
      return status;
    }
  }
  return SUCCESS_NO_ERROR;
}

// Counted before the card stops, so that what sees the card stopped by it
// also sees the count.
ApiStatus reset_card(uint8_t card) {
  ++card_resets[card];
  return read_ranges(card, card_device(card), REQ_RESET) ? SUCCESS_NO_ERROR : ERROR_CARD_RESET;
}

}  // namespace

// Exported as rm720_open and rm730_open.
RM7X0_EXPORT ApiStatus RM7X0_NAME(open)(uint8_t card) {
  if (const ApiStatus status = check_library()) return status;
  if (card >= CARD_SLOTS || !card_is_found(card_table.cards[card])) return ERROR_INVALID_CARD_ID;
  CardRecord &record = card_table.cards[card];
  const HANDLE device = open_device(record);
  if (device == INVALID_HANDLE_VALUE) return ERROR_DEVICE_OPEN;
  if (!map_shared_buffer(device, record)) {
    CloseHandle(device);
    return ERROR_MEMORY_MAP;
  }
  if (!read_ranges(card, device, REQ_GET_RANGES)) {
    unmap_shared_buffer(device);
    record.shared_buffer_address = 0;
    return CloseHandle(device) ? ERROR_IOCTL_FAILED : ERROR_DEVICE_CLOSE;
  }
  record.device = device;
  return SUCCESS_NO_ERROR;
}

// Exported as rm720_open_all and rm730_open_all.
RM7X0_EXPORT ApiStatus RM7X0_NAME(open_all)(void) {
  int16_t count = 0;
  if (const ApiStatus status = RM7X0_NAME(scan)(&count, nullptr)) return status;
  bool opened_now[CARD_SLOTS] = {};
  if (const ApiStatus status = open_found_cards(opened_now)) return status;
  return set_up_opened_cards(opened_now);
}

// Exported as rm720_close and rm730_close.
RM7X0_EXPORT ApiStatus RM7X0_NAME(close)(uint8_t card) {
  if (const ApiStatus status = check_card(card)) return status;
  CardRecord &record = card_table.cards[card];
  detach_int_events(card);
  // A card that is gone (surprise removal) refuses the unmap; its handle is
  // closed all the same, the driver unmapping the buffer at cleanup, so that
  // the removal can go ahead. The refusal is still reported.
  const bool unmapped = unmap_shared_buffer(record.device);
  record.shared_buffer_address = 0;
  if (!CloseHandle(record.device)) return ERROR_DEVICE_CLOSE;
  record.device = INVALID_HANDLE_VALUE;
  return unmapped ? SUCCESS_NO_ERROR : ERROR_MEMORY_UNMAP;
}

// Exported as rm720_close_all and rm730_close_all.
RM7X0_EXPORT ApiStatus RM7X0_NAME(close_all)(void) {
  if (const ApiStatus status = check_library()) return status;
  if (card_table.card_count == 0) return ERROR_NO_CARD_FOUND;
  for (int id = 0; id < CARD_SLOTS; ++id) {
    CardRecord &card = card_table.cards[id];
    if (!card_is_open(card)) continue;
    detach_int_events(static_cast<uint8_t>(id));
    if (unmap_shared_buffer(card.device)) card.shared_buffer_address = 0;
    if (CloseHandle(card.device)) card.device = INVALID_HANDLE_VALUE;
  }
  return SUCCESS_NO_ERROR;
}

// Exported as rm720_reset and rm730_reset.
RM7X0_EXPORT ApiStatus RM7X0_NAME(reset)(uint8_t card) {
  if (const ApiStatus status = check_card(card)) return status;
  return reset_card(card);
}

// Exported as rm720_reset_all and rm730_reset_all.
RM7X0_EXPORT ApiStatus RM7X0_NAME(reset_all)(void) {
  if (const ApiStatus status = check_library()) return status;
  if (card_table.card_count == 0) return ERROR_NO_CARD_FOUND;
  for (int id = 0; id < CARD_SLOTS; ++id) {
    if (!card_is_open(card_table.cards[id])) continue;
    if (const ApiStatus status = reset_card(static_cast<uint8_t>(id))) return status;
  }
  return SUCCESS_NO_ERROR;
}

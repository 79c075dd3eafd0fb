// Request blocks: filling their slots, sending them to a card's driver and
// judging the answer. Each export uses one of three styles:
//   A  request only: a failed call gives the export's own code, else 0;
//   B  value query: as A, then the export copies values out of the reply;
//   C  judged: as A, then a reply word other than DRV_SUCCESS is mapped by
//      map_driver_status (the export presets the status word first).
#pragma once

#include <cstdint>

#include "model.h"
#include "win32.h"

// The command number of a request code, which is also the ApiId of the
// export that sends it.
constexpr uint16_t api_id(DWORD request_code) { return (request_code >> 2) & 0xFFF; }

// Slot writers: each value travels in the low 32 bits of its slot with a
// zero high half; signed 16-bit values are sign-extended to 32 bits first.
inline void put_u32(DriverRequest &block, int slot, uint32_t value) { block.slot[slot] = value; }
inline void put_i32(DriverRequest &block, int slot, int32_t value) {
  put_u32(block, slot, static_cast<uint32_t>(value));
}
inline void put_i16(DriverRequest &block, int slot, int16_t value) {
  put_i32(block, slot, value);
}
// Pointer-sized values (event handles) travel whole.
inline void put_pointer(DriverRequest &block, int slot, const void *value) {
  block.slot[slot] = reinterpret_cast<uintptr_t>(value);
}

inline uint16_t slot_u16(const DriverRequest &block, int slot) {
  return static_cast<uint16_t>(block.slot[slot]);
}
inline uint32_t slot_u32(const DriverRequest &block, int slot) {
  return static_cast<uint32_t>(block.slot[slot]);
}
inline int32_t slot_i32(const DriverRequest &block, int slot) {
  return static_cast<int32_t>(slot_u32(block, slot));
}

inline void preset_status(DriverRequest &block) {
  block.slot[SLOT_STATUS] = (block.slot[SLOT_STATUS] & ~uint64_t{0xFFFF}) | REQUEST_STATUS_PRESET;
}
inline uint16_t status_word(const DriverRequest &block) { return slot_u16(block, SLOT_STATUS); }

// Sends the block to the device and waits for its answer in place.
bool send_request(HANDLE device, DWORD code, DriverRequest &block);
// Styles A and B: failure if the call fails, else 0.
ApiStatus request_only(HANDLE device, DWORD code, DriverRequest &block, ApiStatus failure);
// Style C's judgement of a reply: 0 for DRV_SUCCESS, else the mapped word.
ApiStatus judge_reply(const DriverRequest &block);
// Style C: failure if the call fails, 0 for DRV_SUCCESS, else the mapped word.
ApiStatus judged_request(HANDLE device, DWORD code, DriverRequest &block, ApiStatus failure);

// The handle of a card that the caller has checked.
HANDLE card_device(uint8_t card);

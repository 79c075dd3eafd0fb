#include "waited_request.h"

#include "driver_status.h"

namespace {

// The event's handle is closed on every path out.
class OwnEvent {
 public:
  OwnEvent() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~OwnEvent() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  OwnEvent(const OwnEvent &) = delete;
  OwnEvent &operator=(const OwnEvent &) = delete;
  HANDLE handle() const { return handle_; }

 private:
  HANDLE handle_;
};

ApiStatus judged_word(const DriverRequest &block) {
  const uint16_t word = status_word(block);
  if (word == DRV_SUCCESS) return SUCCESS_NO_ERROR;
  return map_driver_status(word, static_cast<int16_t>(slot_u16(block, 1)));
}

// The driver no longer waits for the axis's event; its answer is not judged.
void end_wait(HANDLE device, uint16_t axis, uint32_t end_wait_word) {
  DriverRequest block{};
  preset_status(block);
  put_u32(block, 1, axis);
  put_u32(block, 2, end_wait_word);
  send_request(device, REQ_END_WAIT, block);
}

}  // namespace

ApiStatus waited_request(uint8_t card, DWORD code, DriverRequest &block, ApiStatus own_failure,
                         uint16_t axis, uint32_t end_wait_word) {
  OwnEvent event;
  if (event.handle() == nullptr) return ERROR_OVERLAP_EVENT_CREATE;
  const HANDLE device = card_device(card);
  OVERLAPPED overlapped{};
  overlapped.hEvent = event.handle();
  DWORD returned = 0;
  if (DeviceIoControl(device, code, &block, sizeof block, &block, sizeof block, &returned,
                      &overlapped))
    return judged_word(block);
  if (GetLastError() != ERROR_IO_PENDING) return own_failure;

  const bool completed = GetOverlappedResult(device, &overlapped, &returned, TRUE) != FALSE;
  end_wait(device, axis, end_wait_word);
  if (!completed) return own_failure;
  // A completion with the block refused the start after the request was held;
  // the event's completion carries no data.
  return returned == sizeof block ? judged_word(block) : ApiStatus{SUCCESS_NO_ERROR};
}

#include "waited_request.h"

namespace {

WaitedOutcome collect(HANDLE device, OVERLAPPED &overlapped) {
  DWORD returned = 0;
  if (!GetOverlappedResult(device, &overlapped, &returned, TRUE)) return WaitedOutcome::CANCELLED;
  return returned == sizeof(DriverRequest) ? WaitedOutcome::ANSWERED : WaitedOutcome::COMPLETED;
}

}  // namespace

WaitedOutcome send_waited_request(HANDLE device, DWORD code, DriverRequest &block) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (overlapped.hEvent == nullptr) return WaitedOutcome::NO_EVENT;
  DWORD returned = 0;
  WaitedOutcome outcome = WaitedOutcome::ANSWERED;
  if (!DeviceIoControl(device, code, &block, sizeof block, &block, sizeof block, &returned,
                       &overlapped)) {
    outcome = GetLastError() == ERROR_IO_PENDING ? collect(device, overlapped)
                                                 : WaitedOutcome::FAILED;
  }
  CloseHandle(overlapped.hEvent);
  return outcome;
}

void end_wait(HANDLE device, uint16_t axis, uint32_t interrupt) {
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, END_WAIT_FACTOR, interrupt);
  send_request(device, REQ_END_WAIT, block);
}

// Requests that the driver may hold until an axis reaches an event (the end
// of a home search or of a drive): sent with an OVERLAPPED whose manual-reset
// event the caller's thread waits on. The event lives for one call.
#pragma once

#include <cstdint>

#include "request.h"

// REQ_END_WAIT slot 2: the interrupt the driver switches off after a wait.

enum class WaitedOutcome {
  NO_EVENT,   // CreateEventA failed; nothing was sent
  FAILED,     // DeviceIoControl failed with an error other than ERROR_IO_PENDING
  ANSWERED,   // the driver answered at once; the block holds its reply
  COMPLETED,  // the driver held the request and completed it when the event came
  CANCELLED,  // the held request was cancelled (reset, removal): the event never came
};

// Sends the block and, when the driver holds it, blocks the calling thread
// until the driver completes it. A held request that is completed with a
// reply (a start refused after it was held) counts as ANSWERED.
WaitedOutcome send_waited_request(HANDLE device, DWORD code, DriverRequest &block);
// Switches the interrupt of a finished wait off again; its answer is not judged.
void end_wait(HANDLE device, uint16_t axis, uint32_t interrupt);

// Events, waits and closing handles: the objects live in the simulated
// kernel's handle table; this layer checks arguments and translates results.
#include <windows.h>

#include "debug_channel.h"
#include "nt_status.h"
#include "threads.h"

namespace {

// Waits in the simulated kernel; answers as WaitFor*Object(s) does.
DWORD wait_for_objects(DWORD count, const HANDLE *handles, BOOL wait_all, DWORD milliseconds) {
  uint32_t index = 0;
  const SIM_STATUS status = SimWaitForObjects(count, handles, wait_all != FALSE, milliseconds, &index);
  if (status == STATUS_TIMEOUT) return WAIT_TIMEOUT;
  if (!nt_success(status)) {
    fail_with_status(status);
    return WAIT_FAILED;
  }
  return WAIT_OBJECT_0 + index;
}

}  // namespace

/***********************************************************************
 *           CreateEventA   (KERNEL32)
 */
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                           LPCSTR lpName) {
  if (lpName) {
    // Named events are shared between processes; the simulated machine has one process.
    TRACE(kernel32, "CreateEventA: named event \"%s\" is not supported", lpName);
    fail_with_error(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  SIM_HANDLE event = nullptr;
  const SIM_STATUS status = SimCreateEvent(bManualReset != FALSE, bInitialState != FALSE, &event);
  if (!nt_success(status)) {
    fail_with_status(status);
    return nullptr;
  }
  return event;
}

/***********************************************************************
 *           SetEvent   (KERNEL32)
 */
BOOL WINAPI SetEvent(HANDLE hEvent) {
  const SIM_STATUS status = SimSetEvent(hEvent);
  return nt_success(status) ? TRUE : fail_with_status(status);
}

/***********************************************************************
 *           ResetEvent   (KERNEL32)
 */
BOOL WINAPI ResetEvent(HANDLE hEvent) {
  const SIM_STATUS status = SimResetEvent(hEvent);
  return nt_success(status) ? TRUE : fail_with_status(status);
}

/***********************************************************************
 *           WaitForSingleObject   (KERNEL32)
 */
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return wait_for_objects(1, &hHandle, FALSE, dwMilliseconds);
}

/***********************************************************************
 *           WaitForMultipleObjects   (KERNEL32)
 */
DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll,
                                    DWORD dwMilliseconds) {
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
    fail_with_error(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  return wait_for_objects(nCount, lpHandles, bWaitAll, dwMilliseconds);
}

/***********************************************************************
 *           CloseHandle   (KERNEL32)
 */
BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (hObject == INVALID_HANDLE_VALUE || !hObject) return fail_with_error(ERROR_INVALID_HANDLE);
  if (close_thread_handle(hObject)) return TRUE;
  const SIM_STATUS status = SimCloseHandle(hObject);
  return nt_success(status) ? TRUE : fail_with_status(status);
}

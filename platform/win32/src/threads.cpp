// Threads: CreateThread runs the routine on a host thread; its handle is
// waitable (signalled when the routine returns) and gives the exit code.
#include "threads.h"

#include <map>
#include <mutex>
#include <thread>

#include "debug_channel.h"
#include "nt_status.h"

namespace {

struct ThreadRecord {
  bool running = true;
  bool handle_closed = false;
  DWORD exit_code = STILL_ACTIVE;
};

// One lock for the thread table.
std::mutex threads_lock;
std::map<HANDLE, ThreadRecord> threads;

void thread_ended(HANDLE handle, DWORD exit_code) {
  std::lock_guard<std::mutex> guard(threads_lock);
  ThreadRecord &record = threads.at(handle);
  record.running = false;
  record.exit_code = exit_code;
  SimSetEvent(handle);
  if (record.handle_closed) {
    SimCloseHandle(handle);
    threads.erase(handle);
  }
}

}  // namespace

bool close_thread_handle(HANDLE handle) {
  std::lock_guard<std::mutex> guard(threads_lock);
  auto found = threads.find(handle);
  if (found == threads.end() || found->second.handle_closed) return false;
  if (found->second.running) {
    found->second.handle_closed = true;
    return true;
  }
  SimCloseHandle(handle);
  threads.erase(found);
  return true;
}

/***********************************************************************
 *           CreateThread   (KERNEL32)
 *
 * Default security and stack only; a suspended start is not modelled.
 */
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                           LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (!lpStartAddress) {
    fail_with_error(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (dwCreationFlags != 0) {
    TRACE(kernel32, "CreateThread: creation flags 0x%x are not supported", dwCreationFlags);
    fail_with_error(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  SIM_HANDLE handle = nullptr;
  const SIM_STATUS status = SimCreateEvent(1, 0, &handle);
  if (!nt_success(status)) {
    fail_with_status(status);
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> guard(threads_lock);
    threads[handle] = ThreadRecord{};
  }
  std::thread([handle, lpStartAddress, lpParameter] {
    thread_ended(handle, lpStartAddress(lpParameter));
  }).detach();
  if (lpThreadId) *lpThreadId = static_cast<DWORD>(reinterpret_cast<uintptr_t>(handle));
  return handle;
}

/***********************************************************************
 *           GetExitCodeThread   (KERNEL32)
 */
BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  std::lock_guard<std::mutex> guard(threads_lock);
  auto found = threads.find(hThread);
  if (found == threads.end() || found->second.handle_closed || !lpExitCode)
    return fail_with_error(ERROR_INVALID_HANDLE);
  *lpExitCode = found->second.exit_code;
  return TRUE;
}

/***********************************************************************
 *           Sleep   (KERNEL32)
 */
void WINAPI Sleep(DWORD dwMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

// Files on devices: opening a device interface, device-control requests with
// and without an OVERLAPPED, their completion and cancellation.
#include <windows.h>

#include "debug_channel.h"
#include "nt_status.h"

namespace {

SIM_IO_STATUS *io_status_of(LPOVERLAPPED overlapped) {
  // OVERLAPPED.Internal and InternalHigh are laid out as the native I/O status.
  static_assert(offsetof(OVERLAPPED, Internal) == offsetof(SIM_IO_STATUS, Status));
  static_assert(offsetof(OVERLAPPED, InternalHigh) == offsetof(SIM_IO_STATUS, Information));
  return reinterpret_cast<SIM_IO_STATUS *>(overlapped);
}

// The status of an overlapped request; the completing thread writes it.
SIM_STATUS overlapped_status(const OVERLAPPED *overlapped) {
  return static_cast<SIM_STATUS>(__atomic_load_n(&overlapped->Internal, __ATOMIC_ACQUIRE));
}

BOOL device_control_waited(HANDLE device, DWORD code, LPVOID in, DWORD in_size, LPVOID out,
                           DWORD out_size, LPDWORD returned) {
  SIM_IO_STATUS io_status{};
  const SIM_STATUS status =
      SimDeviceIoControl(device, code, in, in_size, out, out_size, nullptr, &io_status);
  *returned = static_cast<DWORD>(io_status.Information);
  if (!nt_success(status)) return fail_with_status(status);
  return TRUE;
}

BOOL device_control_overlapped(HANDLE device, DWORD code, LPVOID in, DWORD in_size, LPVOID out,
                               DWORD out_size, LPDWORD returned, LPOVERLAPPED overlapped) {
  if (!overlapped->hEvent) {
    // Completion signalled on the file object itself is not modelled.
    TRACE(kernel32, "DeviceIoControl: an OVERLAPPED without an event is not supported");
    return fail_with_error(ERROR_NOT_SUPPORTED);
  }
  SIM_IO_STATUS *io_status = io_status_of(overlapped);
  io_status->Status = static_cast<uintptr_t>(STATUS_PENDING);
  io_status->Information = 0;  // the native call resets the event
  const SIM_STATUS status = SimDeviceIoControl(device, code, in, in_size, out, out_size,
                                               overlapped->hEvent, io_status);
  if (status == STATUS_PENDING) return fail_with_error(ERROR_IO_PENDING);
  if (returned) *returned = static_cast<DWORD>(io_status->Information);
  if (!nt_success(status)) return fail_with_status(status);
  return TRUE;
}

}  // namespace

/***********************************************************************
 *           CreateFileA   (KERNEL32)
 *
 * Opens a device-interface path; other files do not exist on the machine.
 */
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
  if (!lpFileName) {
    fail_with_error(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (dwCreationDisposition != OPEN_EXISTING) {
    // A device can be opened, never created.
    TRACE(kernel32, "CreateFileA(\"%s\"): disposition %u on a device", lpFileName,
          dwCreationDisposition);
    fail_with_error(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  TRACE(kernel32, "CreateFileA(\"%s\", access 0x%x, share 0x%x, flags 0x%x)", lpFileName,
        dwDesiredAccess, dwShareMode, dwFlagsAndAttributes);
  SIM_HANDLE file = nullptr;
  const SIM_STATUS status = SimCreateFile(lpFileName, &file);
  if (!nt_success(status)) {
    fail_with_status(status);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

/***********************************************************************
 *           DeviceIoControl   (KERNEL32)
 *
 * Without an OVERLAPPED the call returns when the request has completed. With
 * one it resets the OVERLAPPED's event and returns FALSE and ERROR_IO_PENDING
 * while the driver holds the request; GetOverlappedResult then collects it. Only the bytes that the
 * driver completed the request with are copied back to the output buffer.
 */
BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
  if (hDevice == INVALID_HANDLE_VALUE || !hDevice) return fail_with_error(ERROR_INVALID_HANDLE);
  if ((!lpInBuffer && nInBufferSize) || (!lpOutBuffer && nOutBufferSize))
    return fail_with_error(ERROR_INVALID_PARAMETER);
  if (lpOverlapped)
    return device_control_overlapped(hDevice, dwIoControlCode, lpInBuffer, nInBufferSize,
                                     lpOutBuffer, nOutBufferSize, lpBytesReturned, lpOverlapped);
  if (!lpBytesReturned) return fail_with_error(ERROR_INVALID_PARAMETER);
  return device_control_waited(hDevice, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                               nOutBufferSize, lpBytesReturned);
}

/***********************************************************************
 *           GetOverlappedResult   (KERNEL32)
 */
BOOL WINAPI GetOverlappedResult(HANDLE, LPOVERLAPPED lpOverlapped,
                                LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
  if (!lpOverlapped || !lpNumberOfBytesTransferred) return fail_with_error(ERROR_INVALID_PARAMETER);
  if (overlapped_status(lpOverlapped) == STATUS_PENDING) {
    if (!bWait) return fail_with_error(ERROR_IO_INCOMPLETE);
    uint32_t index = 0;
    const SIM_STATUS waited =
        SimWaitForObjects(1, &lpOverlapped->hEvent, 0, SIM_INFINITE, &index);
    if (!nt_success(waited)) return fail_with_status(waited);
  }
  const SIM_STATUS status = overlapped_status(lpOverlapped);
  *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
  if (status == STATUS_PENDING) return fail_with_error(ERROR_IO_INCOMPLETE);
  if (!nt_success(status)) return fail_with_status(status);
  return TRUE;
}

/***********************************************************************
 *           CancelIo   (KERNEL32)
 */
BOOL WINAPI CancelIo(HANDLE hFile) {
  if (hFile == INVALID_HANDLE_VALUE || !hFile) return fail_with_error(ERROR_INVALID_HANDLE);
  const SIM_STATUS status = SimCancelIo(hFile);
  return nt_success(status) ? TRUE : fail_with_status(status);
}

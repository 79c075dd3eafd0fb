// The Windows directory: C:\windows, which is the Wine prefix's
// drive_c/windows on the host (dos_path.h).
#include <windows.h>

#include <cstring>

#include "debug_channel.h"
#include "dos_path.h"
#include "nt_status.h"

namespace {

constexpr char windows_directory[] = "C:\\windows";

}  // namespace

/***********************************************************************
 *           GetWindowsDirectoryA   (KERNEL32)
 *
 * Returns the length copied without the terminator, or the size needed
 * with it when the buffer is too small (nothing copied), or 0 on failure.
 */
UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  if (host_drive_c().empty()) {
    TRACE(kernel32, "GetWindowsDirectoryA: neither WINEPREFIX nor HOME is set");
    fail_with_error(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  const UINT length = sizeof windows_directory - 1;
  if (!lpBuffer || uSize <= length) return length + 1;
  std::memcpy(lpBuffer, windows_directory, length + 1);
  return length;
}

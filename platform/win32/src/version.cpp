// The Windows version that the process reports. A test or a user chooses it
// with RM7X0_WINDOWS_VERSION="platform.major.minor" (for example "1.4.10" for
// Windows 98); without it the process runs on a supported NT version.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "debug_channel.h"
#include "nt_status.h"

namespace {

struct WindowsVersion {
  DWORD platform, major, minor, build;
};

constexpr WindowsVersion default_version = {VER_PLATFORM_WIN32_NT, 6, 1, 7601};

WindowsVersion chosen_version() {
  const char *text = std::getenv("RM7X0_WINDOWS_VERSION");
  if (!text) return default_version;
  unsigned platform, major, minor;
  char tail;
  if (std::sscanf(text, "%u.%u.%u%c", &platform, &major, &minor, &tail) != 3) {
    TRACE(kernel32, "RM7X0_WINDOWS_VERSION=\"%s\" is not platform.major.minor; using %u.%u.%u",
          text, default_version.platform, default_version.major, default_version.minor);
    return default_version;
  }
  return {platform, major, minor, 0};
}

}  // namespace

/***********************************************************************
 *           GetVersionExA   (KERNEL32)
 */
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  if (!lpVersionInformation) return fail_with_error(ERROR_NOACCESS);
  const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
    TRACE(kernel32, "GetVersionExA: wrong structure size %u", size);
    return fail_with_error(ERROR_INSUFFICIENT_BUFFER);
  }
  const WindowsVersion version = chosen_version();
  std::memset(lpVersionInformation, 0, size);
  lpVersionInformation->dwOSVersionInfoSize = size;
  lpVersionInformation->dwMajorVersion = version.major;
  lpVersionInformation->dwMinorVersion = version.minor;
  lpVersionInformation->dwBuildNumber = version.build;
  lpVersionInformation->dwPlatformId = version.platform;
  return TRUE;
}

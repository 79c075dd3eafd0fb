// Finding files by name: the callers use FindFirstFileA as an existence test
// of one file, so a search handle here covers exactly one name; wildcard
// patterns are refused rather than matched wrongly.
#include <windows.h>

#include <sys/stat.h>

#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "debug_channel.h"
#include "dos_path.h"
#include "nt_status.h"

namespace {

// One open search; its address is the search handle.
struct FindSearch {};

std::mutex searches_lock;
std::set<FindSearch *> open_searches;

// 100-ns intervals since 1601-01-01 (FILETIME) from seconds since 1970.
FILETIME file_time_of(time_t seconds) {
  constexpr uint64_t epoch_difference = 11644473600ull;
  const uint64_t ticks = (static_cast<uint64_t>(seconds) + epoch_difference) * 10000000ull;
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void fill_find_data(const char *windows_path, const struct stat &info, LPWIN32_FIND_DATAA data) {
  std::memset(data, 0, sizeof *data);
  data->dwFileAttributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  data->ftCreationTime = file_time_of(info.st_ctime);
  data->ftLastAccessTime = file_time_of(info.st_atime);
  data->ftLastWriteTime = file_time_of(info.st_mtime);
  const uint64_t size = static_cast<uint64_t>(info.st_size);
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size);
  const char *name = windows_path;
  for (const char *p = windows_path; *p; ++p)
    if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
  std::strncpy(data->cFileName, name, MAX_PATH - 1);
}

}  // namespace

/***********************************************************************
 *           FindFirstFileA   (KERNEL32)
 */
HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  if (!lpFileName || !lpFindFileData) {
    fail_with_error(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (std::strpbrk(lpFileName, "*?")) {
    TRACE(kernel32, "FindFirstFileA(\"%s\"): wildcard patterns are not supported", lpFileName);
    fail_with_error(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }
  std::string host_path;
  struct stat info;
  if (!host_path_of(lpFileName, &host_path) || stat(host_path.c_str(), &info) != 0) {
    TRACE(kernel32, "FindFirstFileA(\"%s\"): no such file (%s)", lpFileName, host_path.c_str());
    fail_with_error(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  fill_find_data(lpFileName, info, lpFindFileData);
  auto *search = new FindSearch;
  std::lock_guard<std::mutex> hold(searches_lock);
  open_searches.insert(search);
  return search;
}

/***********************************************************************
 *           FindClose   (KERNEL32)
 */
BOOL WINAPI FindClose(HANDLE hFindFile) {
  auto *search = static_cast<FindSearch *>(hFindFile);
  {
    std::lock_guard<std::mutex> hold(searches_lock);
    if (open_searches.erase(search) == 0) return fail_with_error(ERROR_INVALID_HANDLE);
  }
  delete search;
  return TRUE;
}

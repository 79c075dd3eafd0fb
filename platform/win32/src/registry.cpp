// Registry: the hardware keys of devices, whose values the simulated kernel keeps.
#include <windows.h>

#include <mutex>
#include <set>
#include <string>

#include "debug_channel.h"
#include "device_key.h"
#include "nt_status.h"

struct HKEY__ {
  std::string interface_path;
};

namespace {

std::mutex registry_lock;
std::set<HKEY> open_keys;  // under registry_lock

bool is_open_key(HKEY key) {
  std::lock_guard<std::mutex> hold(registry_lock);
  return open_keys.count(key) != 0;
}

LSTATUS error_of_query(SIM_STATUS status, bool size_query) {
  if (nt_success(status)) return ERROR_SUCCESS;
  const bool too_small = status == STATUS_BUFFER_TOO_SMALL || status == STATUS_BUFFER_OVERFLOW;
  if (too_small) return size_query ? ERROR_SUCCESS : ERROR_MORE_DATA;
  return static_cast<LSTATUS>(dos_error_from_status(status));
}

}  // namespace

HKEY open_device_key(const std::string &interface_path) {
  HKEY key = new HKEY__{interface_path};
  std::lock_guard<std::mutex> hold(registry_lock);
  open_keys.insert(key);
  return key;
}

/***********************************************************************
 *           RegQueryValueExA   (ADVAPI32)
 */
LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  if (!is_open_key(hKey)) return ERROR_INVALID_HANDLE;
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  uint32_t type = REG_NONE;
  uint32_t length = (lpData && lpcbData) ? *lpcbData : 0;
  const SIM_STATUS status = SimQueryDeviceValue(hKey->interface_path.c_str(),
                                                lpValueName ? lpValueName : "", &type,
                                                lpData, &length);
  const LSTATUS error = error_of_query(status, lpData == nullptr);
  TRACE(advapi32, "RegQueryValueExA(\"%s\", \"%s\"): status 0x%08x, %u bytes, error %d",
        hKey->interface_path.c_str(), lpValueName ? lpValueName : "", static_cast<unsigned>(status),
        length, error);
  if (error == ERROR_SUCCESS || error == ERROR_MORE_DATA) {
    if (lpType) *lpType = type;
    if (lpcbData) *lpcbData = length;
  }
  return error;
}

/***********************************************************************
 *           RegCloseKey   (ADVAPI32)
 */
LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  {
    std::lock_guard<std::mutex> hold(registry_lock);
    if (open_keys.erase(hKey) == 0) return ERROR_INVALID_HANDLE;
  }
  delete hKey;
  return ERROR_SUCCESS;
}

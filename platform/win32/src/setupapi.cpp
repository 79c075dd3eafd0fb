// SetupAPI: a device-information set is a snapshot of the present, enabled
// interfaces of one class, taken when the set is built.
#include <setupapi.h>

#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "debug_channel.h"
#include "device_key.h"
#include "nt_status.h"

namespace {

struct DeviceInfoSet {
  GUID interface_class;
  std::vector<std::string> interface_paths;
};

std::mutex setupapi_lock;
std::set<DeviceInfoSet *> live_sets;  // under setupapi_lock

DeviceInfoSet *live_set(HDEVINFO handle) {
  std::lock_guard<std::mutex> hold(setupapi_lock);
  auto *set = static_cast<DeviceInfoSet *>(handle);
  return live_sets.count(set) ? set : nullptr;
}

bool same_guid(const GUID &a, const GUID &b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// The interface paths of a class, in the simulated kernel's order.
bool enumerate_interfaces(const GUID &interface_class, std::vector<std::string> &paths) {
  for (uint32_t index = 0;; ++index) {
    size_t required = 0;
    SIM_STATUS status = SimEnumDeviceInterface(&interface_class, index, nullptr, 0, &required);
    if (status == STATUS_NO_MORE_ENTRIES) return true;
    std::string path(required, '\0');
    if (status == STATUS_BUFFER_TOO_SMALL)
      status = SimEnumDeviceInterface(&interface_class, index, path.data(), path.size(), &required);
    if (!nt_success(status)) {
      fail_with_status(status);
      return false;
    }
    path.resize(std::strlen(path.c_str()));
    paths.push_back(path);
  }
}

// Members are numbered from 1 in the Reserved fields, so that 0 means "not filled in".
ULONG_PTR member_tag(DWORD index) { return static_cast<ULONG_PTR>(index) + 1; }

// The interface path of a member, or nullptr when the tag names none of the set.
const std::string *member_path(const DeviceInfoSet &set, ULONG_PTR tag) {
  if (tag == 0 || tag > set.interface_paths.size()) return nullptr;
  return &set.interface_paths[tag - 1];
}

void fill_device_info(PSP_DEVINFO_DATA device_info, ULONG_PTR tag) {
  device_info->ClassGuid = GUID{};  // devices of this machine have no setup class
  device_info->DevInst = static_cast<DWORD>(tag);
  device_info->Reserved = tag;
}

DWORD detail_size_for(const std::string &path) {
  return static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                            path.size() + 1);
}

}  // namespace

/***********************************************************************
 *           SetupDiGetClassDevsA   (SETUPAPI)
 *
 * Interface classes only (DIGCF_DEVICEINTERFACE); the machine knows no
 * devices that are not present, so DIGCF_PRESENT changes nothing.
 */
HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID *ClassGuid, LPCSTR Enumerator, HWND,
                                     DWORD Flags) {
  if (!(Flags & DIGCF_DEVICEINTERFACE) || (Flags & DIGCF_ALLCLASSES) || Enumerator) {
    TRACE(setupapi, "SetupDiGetClassDevsA: flags 0x%x or an enumerator are not supported", Flags);
    fail_with_error(ERROR_INVALID_FLAGS);
    return INVALID_HANDLE_VALUE;
  }
  if (!ClassGuid) {
    fail_with_error(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto *set = new DeviceInfoSet{*ClassGuid, {}};
  if (!enumerate_interfaces(*ClassGuid, set->interface_paths)) {
    delete set;
    return INVALID_HANDLE_VALUE;
  }
  TRACE(setupapi, "SetupDiGetClassDevsA: %zu interfaces", set->interface_paths.size());
  std::lock_guard<std::mutex> hold(setupapi_lock);
  live_sets.insert(set);
  return set;
}

/***********************************************************************
 *           SetupDiEnumDeviceInterfaces   (SETUPAPI)
 */
BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID *InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
  const ::DeviceInfoSet *set = live_set(DeviceInfoSet);
  if (!set) return fail_with_error(ERROR_INVALID_HANDLE);
  if (DeviceInfoData) {
    TRACE(setupapi, "SetupDiEnumDeviceInterfaces: per-device enumeration is not supported");
    return fail_with_error(ERROR_INVALID_PARAMETER);
  }
  if (!InterfaceClassGuid || !DeviceInterfaceData) return fail_with_error(ERROR_INVALID_PARAMETER);
  if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
    return fail_with_error(ERROR_INVALID_USER_BUFFER);
  if (!same_guid(*InterfaceClassGuid, set->interface_class) ||
      MemberIndex >= set->interface_paths.size())
    return fail_with_error(ERROR_NO_MORE_ITEMS);
  DeviceInterfaceData->InterfaceClassGuid = set->interface_class;
  DeviceInterfaceData->Flags = SPINT_ACTIVE;
  DeviceInterfaceData->Reserved = member_tag(MemberIndex);
  return TRUE;
}

/***********************************************************************
 *           SetupDiGetDeviceInterfaceDetailA   (SETUPAPI)
 */
BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, LPDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData) {
  const ::DeviceInfoSet *set = live_set(DeviceInfoSet);
  if (!set) return fail_with_error(ERROR_INVALID_HANDLE);
  if (!DeviceInterfaceData || DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
    return fail_with_error(ERROR_INVALID_PARAMETER);
  const std::string *path = member_path(*set, DeviceInterfaceData->Reserved);
  if (!path) return fail_with_error(ERROR_INVALID_PARAMETER);
  if (DeviceInterfaceDetailData
          ? DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)
          : DeviceInterfaceDetailDataSize != 0)
    return fail_with_error(ERROR_INVALID_USER_BUFFER);
  if (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA))
    return fail_with_error(ERROR_INVALID_USER_BUFFER);

  const DWORD required = detail_size_for(*path);
  if (RequiredSize) *RequiredSize = required;
  if (DeviceInterfaceDetailDataSize < required) return fail_with_error(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(DeviceInterfaceDetailData->DevicePath, path->c_str(), path->size() + 1);
  if (DeviceInfoData) fill_device_info(DeviceInfoData, DeviceInterfaceData->Reserved);
  return TRUE;
}

/***********************************************************************
 *           SetupDiOpenDevRegKey   (SETUPAPI)
 *
 * The hardware key (DIREG_DEV) of the global configuration only.
 */
HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                 DWORD Scope, DWORD HwProfile, DWORD KeyType, REGSAM samDesired) {
  const HKEY failed = static_cast<HKEY>(INVALID_HANDLE_VALUE);
  const ::DeviceInfoSet *set = live_set(DeviceInfoSet);
  if (!set) return fail_with_error(ERROR_INVALID_HANDLE), failed;
  if (!DeviceInfoData || DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA))
    return fail_with_error(ERROR_INVALID_USER_BUFFER), failed;
  if (Scope != DICS_FLAG_GLOBAL || HwProfile != 0 || KeyType != DIREG_DEV) {
    TRACE(setupapi, "SetupDiOpenDevRegKey: scope %u, profile %u, key type %u not supported",
          Scope, HwProfile, KeyType);
    return fail_with_error(ERROR_INVALID_FLAGS), failed;
  }
  const std::string *path = member_path(*set, DeviceInfoData->Reserved);
  if (!path) return fail_with_error(ERROR_INVALID_PARAMETER), failed;
  TRACE(setupapi, "SetupDiOpenDevRegKey(\"%s\", access 0x%x)", path->c_str(), samDesired);
  return open_device_key(*path);
}

/***********************************************************************
 *           SetupDiDestroyDeviceInfoList   (SETUPAPI)
 */
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  auto *set = static_cast<::DeviceInfoSet *>(DeviceInfoSet);
  {
    std::lock_guard<std::mutex> hold(setupapi_lock);
    if (live_sets.erase(set) == 0) return fail_with_error(ERROR_INVALID_HANDLE);
  }
  delete set;
  return TRUE;
}

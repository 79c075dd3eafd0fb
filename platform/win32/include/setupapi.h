/* SetupAPI: enumeration of present device interfaces and their devices'
 * hardware registry keys. */
#ifndef RM7X0_SETUPAPI_H
#define RM7X0_SETUPAPI_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef PVOID HDEVINFO;

#define DIGCF_DEFAULT 0x00000001u
#define DIGCF_PRESENT 0x00000002u
#define DIGCF_ALLCLASSES 0x00000004u
#define DIGCF_PROFILE 0x00000008u
#define DIGCF_DEVICEINTERFACE 0x00000010u

#define DICS_FLAG_GLOBAL 0x00000001u
#define DICS_FLAG_CONFIGSPECIFIC 0x00000002u
#define DIREG_DEV 0x00000001u
#define DIREG_DRV 0x00000002u

#define SPINT_ACTIVE 0x00000001u
#define SPINT_DEFAULT 0x00000002u
#define SPINT_REMOVED 0x00000004u

typedef struct _SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

typedef struct _SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
} SP_DEVICE_INTERFACE_DATA, *PSP_DEVICE_INTERFACE_DATA;

typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_A {
  DWORD cbSize;
  CHAR DevicePath[ANYSIZE_ARRAY];
} SP_DEVICE_INTERFACE_DETAIL_DATA_A, *PSP_DEVICE_INTERFACE_DETAIL_DATA_A;

WINBASEAPI HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID *ClassGuid, LPCSTR Enumerator,
                                                HWND hwndParent, DWORD Flags);
WINBASEAPI BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet,
                                                   PSP_DEVINFO_DATA DeviceInfoData,
                                                   const GUID *InterfaceClassGuid,
                                                   DWORD MemberIndex,
                                                   PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData);
WINBASEAPI BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, LPDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData);
WINBASEAPI HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                            DWORD Scope, DWORD HwProfile, DWORD KeyType,
                                            REGSAM samDesired);
WINBASEAPI BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);

#ifdef __cplusplus
}
#endif

#endif

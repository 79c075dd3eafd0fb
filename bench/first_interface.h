// The path of the first present device interface of a class, as the
// libraries find their cards (empty when there is none).
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>

inline std::string first_interface_path(const GUID &guid) {
  HDEVINFO devices =
      SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (devices == INVALID_HANDLE_VALUE) return {};
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  std::string path;
  char buffer[1024];
  auto *detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer);
  detail->cbSize = sizeof *detail;
  if (SetupDiEnumDeviceInterfaces(devices, nullptr, &guid, 0, &data) &&
      SetupDiGetDeviceInterfaceDetailA(devices, &data, detail, sizeof buffer, nullptr, nullptr))
    path = detail->DevicePath;
  SetupDiDestroyDeviceInfoList(devices);
  return path;
}

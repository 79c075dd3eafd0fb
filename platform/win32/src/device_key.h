// The hardware keys of devices, opened by SetupAPI and read through the registry functions.
#pragma once

#include <windows.h>

#include <string>

// A key on the device behind the interface path; RegCloseKey releases it.
HKEY open_device_key(const std::string &interface_path);

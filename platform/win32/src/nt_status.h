// The native statuses that the simulated kernel's services answer, and their
// Win32 error codes (what RtlNtStatusToDosError does on Windows).
#pragma once

#include <windows.h>

#include <cstdint>

#include "sim_native.h"

constexpr SIM_STATUS STATUS_SUCCESS = 0x00000000;
constexpr SIM_STATUS STATUS_TIMEOUT = 0x00000102;
constexpr SIM_STATUS STATUS_PENDING = 0x00000103;
constexpr SIM_STATUS STATUS_BUFFER_OVERFLOW = static_cast<SIM_STATUS>(0x80000005u);
constexpr SIM_STATUS STATUS_NO_MORE_ENTRIES = static_cast<SIM_STATUS>(0x8000001Au);
constexpr SIM_STATUS STATUS_UNSUCCESSFUL = static_cast<SIM_STATUS>(0xC0000001u);
constexpr SIM_STATUS STATUS_NOT_IMPLEMENTED = static_cast<SIM_STATUS>(0xC0000002u);
constexpr SIM_STATUS STATUS_INVALID_HANDLE = static_cast<SIM_STATUS>(0xC0000008u);
constexpr SIM_STATUS STATUS_INVALID_PARAMETER = static_cast<SIM_STATUS>(0xC000000Du);
constexpr SIM_STATUS STATUS_NO_SUCH_DEVICE = static_cast<SIM_STATUS>(0xC000000Eu);
constexpr SIM_STATUS STATUS_INVALID_DEVICE_REQUEST = static_cast<SIM_STATUS>(0xC0000010u);
constexpr SIM_STATUS STATUS_NO_MEMORY = static_cast<SIM_STATUS>(0xC0000017u);
constexpr SIM_STATUS STATUS_ACCESS_DENIED = static_cast<SIM_STATUS>(0xC0000022u);
constexpr SIM_STATUS STATUS_BUFFER_TOO_SMALL = static_cast<SIM_STATUS>(0xC0000023u);
constexpr SIM_STATUS STATUS_OBJECT_TYPE_MISMATCH = static_cast<SIM_STATUS>(0xC0000024u);
constexpr SIM_STATUS STATUS_OBJECT_NAME_NOT_FOUND = static_cast<SIM_STATUS>(0xC0000034u);
constexpr SIM_STATUS STATUS_DEVICE_ALREADY_ATTACHED = static_cast<SIM_STATUS>(0xC0000038u);
constexpr SIM_STATUS STATUS_DELETE_PENDING = static_cast<SIM_STATUS>(0xC0000056u);
constexpr SIM_STATUS STATUS_INSUFFICIENT_RESOURCES = static_cast<SIM_STATUS>(0xC000009Au);
constexpr SIM_STATUS STATUS_DEVICE_NOT_CONNECTED = static_cast<SIM_STATUS>(0xC000009Du);
constexpr SIM_STATUS STATUS_DEVICE_NOT_READY = static_cast<SIM_STATUS>(0xC00000A3u);
constexpr SIM_STATUS STATUS_NOT_SUPPORTED = static_cast<SIM_STATUS>(0xC00000BBu);
constexpr SIM_STATUS STATUS_CANCELLED = static_cast<SIM_STATUS>(0xC0000120u);
constexpr SIM_STATUS STATUS_INVALID_DEVICE_STATE = static_cast<SIM_STATUS>(0xC0000184u);
constexpr SIM_STATUS STATUS_IO_DEVICE_ERROR = static_cast<SIM_STATUS>(0xC0000185u);
constexpr SIM_STATUS STATUS_DEVICE_REMOVED = static_cast<SIM_STATUS>(0xC00002B6u);

// Success and informational statuses; warnings (0x8...) and errors are not.
inline bool nt_success(SIM_STATUS status) { return status >= 0; }

DWORD dos_error_from_status(SIM_STATUS status);

// Sets the last error from a failed status; returns FALSE for the caller to pass on.
BOOL fail_with_status(SIM_STATUS status);
// Sets the last error; returns FALSE for the caller to pass on.
BOOL fail_with_error(DWORD error);

// The thread's last error and the mapping of native statuses onto it.
#include "nt_status.h"

namespace {

thread_local DWORD last_error __attribute__((tls_model("initial-exec"))) = ERROR_SUCCESS;

struct StatusMapping {
  SIM_STATUS status;
  DWORD error;
};

constexpr StatusMapping status_mappings[] = {
    {STATUS_SUCCESS, ERROR_SUCCESS},
    {STATUS_TIMEOUT, WAIT_TIMEOUT},
    {STATUS_PENDING, ERROR_IO_PENDING},
    {STATUS_BUFFER_OVERFLOW, ERROR_MORE_DATA},
    {STATUS_NO_MORE_ENTRIES, ERROR_NO_MORE_ITEMS},
    {STATUS_UNSUCCESSFUL, ERROR_GEN_FAILURE},
    {STATUS_NOT_IMPLEMENTED, ERROR_INVALID_FUNCTION},
    {STATUS_INVALID_HANDLE, ERROR_INVALID_HANDLE},
    {STATUS_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
    {STATUS_NO_SUCH_DEVICE, ERROR_FILE_NOT_FOUND},
    {STATUS_INVALID_DEVICE_REQUEST, ERROR_INVALID_FUNCTION},
    {STATUS_NO_MEMORY, ERROR_NOT_ENOUGH_MEMORY},
    {STATUS_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {STATUS_BUFFER_TOO_SMALL, ERROR_INSUFFICIENT_BUFFER},
    {STATUS_OBJECT_TYPE_MISMATCH, ERROR_INVALID_HANDLE},
    {STATUS_OBJECT_NAME_NOT_FOUND, ERROR_FILE_NOT_FOUND},
    {STATUS_DEVICE_ALREADY_ATTACHED, ERROR_DEVICE_ALREADY_ATTACHED},
    {STATUS_DELETE_PENDING, ERROR_ACCESS_DENIED},
    {STATUS_INSUFFICIENT_RESOURCES, ERROR_NO_SYSTEM_RESOURCES},
    {STATUS_DEVICE_NOT_CONNECTED, ERROR_DEVICE_NOT_CONNECTED},
    {STATUS_DEVICE_NOT_READY, ERROR_NOT_READY},
    {STATUS_NOT_SUPPORTED, ERROR_NOT_SUPPORTED},
    {STATUS_CANCELLED, ERROR_OPERATION_ABORTED},
    {STATUS_INVALID_DEVICE_STATE, ERROR_BAD_COMMAND},
    {STATUS_IO_DEVICE_ERROR, ERROR_IO_DEVICE},
    {STATUS_DEVICE_REMOVED, ERROR_DEVICE_REMOVED},
};

}  // namespace

DWORD dos_error_from_status(SIM_STATUS status) {
  for (const StatusMapping &mapping : status_mappings)
    if (mapping.status == status) return mapping.error;
  return ERROR_MR_MID_NOT_FOUND;  // what Windows answers for a status it cannot translate
}

BOOL fail_with_status(SIM_STATUS status) { return fail_with_error(dos_error_from_status(status)); }

BOOL fail_with_error(DWORD error) {
  last_error = error;
  return FALSE;
}

/***********************************************************************
 *           GetLastError   (KERNEL32)
 */
DWORD WINAPI GetLastError(void) { return last_error; }

/***********************************************************************
 *           SetLastError   (KERNEL32)
 */
void WINAPI SetLastError(DWORD dwErrCode) { last_error = dwErrCode; }

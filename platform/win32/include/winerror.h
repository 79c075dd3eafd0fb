/* Win32 error codes returned by GetLastError and the registry functions. */
#ifndef RM7X0_WINERROR_H
#define RM7X0_WINERROR_H

#define ERROR_SUCCESS                0L
#define NO_ERROR                     0L
#define ERROR_INVALID_FUNCTION       1L
#define ERROR_FILE_NOT_FOUND         2L
#define ERROR_PATH_NOT_FOUND         3L
#define ERROR_ACCESS_DENIED          5L
#define ERROR_INVALID_HANDLE         6L
#define ERROR_NOT_ENOUGH_MEMORY      8L
#define ERROR_NOT_READY              21L
#define ERROR_BAD_COMMAND            22L
#define ERROR_GEN_FAILURE            31L
#define ERROR_NOT_SUPPORTED          50L
#define ERROR_INVALID_PARAMETER      87L
#define ERROR_INSUFFICIENT_BUFFER    122L
#define ERROR_MORE_DATA              234L
#define WAIT_TIMEOUT                 258L
#define ERROR_NO_MORE_ITEMS          259L
#define ERROR_MR_MID_NOT_FOUND       317L
#define ERROR_DEVICE_ALREADY_ATTACHED 548L
#define ERROR_OPERATION_ABORTED      995L
#define ERROR_IO_INCOMPLETE          996L
#define ERROR_IO_PENDING             997L
#define ERROR_NOACCESS               998L
#define ERROR_INVALID_FLAGS          1004L
#define ERROR_IO_DEVICE              1117L
#define ERROR_DEVICE_NOT_CONNECTED   1167L
#define ERROR_NO_SYSTEM_RESOURCES    1450L
#define ERROR_DEVICE_REMOVED         1617L
#define ERROR_INVALID_USER_BUFFER    1784L

#endif

/* The native services of the simulated kernel that the user-mode stand-in
 * (platform/win32) is built on: what ntdll and cfgmgr32 are to kernel32,
 * advapi32 and setupapi on Windows. Plain C types only, so that the user-mode
 * headers never see the kernel's.
 *
 * The machine boots at the first call of a service that needs it (devices,
 * files, device values, timed waits; from the machine file named by
 * $RM7X0_MACHINE, else the embedded default) unless a test has booted one with
 * SimMachineBoot. Events work without a machine. Statuses are NTSTATUS values. */
#ifndef SIM_NATIVE_H
#define SIM_NATIVE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t SIM_STATUS;
typedef void *SIM_HANDLE;

/* Same layout as OVERLAPPED.Internal / InternalHigh: the final status and the
 * number of bytes transferred. */
typedef struct SIM_IO_STATUS {
  uintptr_t Status;
  uintptr_t Information;
} SIM_IO_STATUS;

#define SIM_INFINITE 0xFFFFFFFFu

/* Machine: boot from a description text (NULL: $RM7X0_MACHINE or the default);
 * fails with STATUS_DEVICE_ALREADY_ATTACHED when one runs. Shutdown removes
 * every card (the drivers see their remove requests) and unloads the drivers. */
SIM_STATUS SimMachineBoot(const char *description);
void SimMachineShutdown(void);

/* Objects of the process's handle table. */
SIM_STATUS SimCreateEvent(int manual_reset, int initially_signalled, SIM_HANDLE *event);
SIM_STATUS SimSetEvent(SIM_HANDLE event);
SIM_STATUS SimResetEvent(SIM_HANDLE event);
/* Waits for one (wait_all 0) or all of the objects; on success *index is the
 * index of the signalled object. STATUS_TIMEOUT when the time ran out; the
 * timeout runs on the machine's clock (a manual clock must be advanced). */
SIM_STATUS SimWaitForObjects(uint32_t count, const SIM_HANDLE *objects, int wait_all,
                             uint32_t timeout_ms, uint32_t *index);
/* A second handle to the object of source that grants only `access` (a
 * subset of what source grants; STATUS_ACCESS_DENIED otherwise). */
SIM_STATUS SimDuplicateHandle(SIM_HANDLE source, uint32_t access, SIM_HANDLE *target);
/* Closes any handle; for a file this sends the cleanup and close requests. */
SIM_STATUS SimCloseHandle(SIM_HANDLE handle);

/* Device interfaces: the index-th enabled interface of a class (guid: the 16
 * bytes of a GUID) on a present device. STATUS_NO_MORE_ENTRIES past the last;
 * STATUS_BUFFER_TOO_SMALL with *required set when path_size is too small. */
SIM_STATUS SimEnumDeviceInterface(const void *guid, uint32_t index, char *path,
                                  size_t path_size, size_t *required);
/* A value of the hardware (device) key of the device behind an interface path.
 * *length: in, the buffer size; out, the value's size. With data NULL only
 * the type and size are answered; STATUS_BUFFER_OVERFLOW when the buffer is
 * too small, STATUS_OBJECT_NAME_NOT_FOUND when there is no such value. */
SIM_STATUS SimQueryDeviceValue(const char *interface_path, const char *name,
                               uint32_t *type, void *data, uint32_t *length);

/* Files on devices: create sends IRP_MJ_CREATE to the device behind an
 * interface path. */
SIM_STATUS SimCreateFile(const char *interface_path, SIM_HANDLE *file);
/* A buffered device-control request. With an event the call returns
 * STATUS_PENDING when the driver pended it; completion then fills *iosb,
 * copies the reply into out and signals the event. Without an event the call
 * waits for completion. iosb->Information bytes are copied back to out. */
SIM_STATUS SimDeviceIoControl(SIM_HANDLE file, uint32_t code, const void *in,
                              uint32_t in_length, void *out, uint32_t out_length,
                              SIM_HANDLE event, SIM_IO_STATUS *iosb);
/* Cancels the pending requests that the calling thread sent on the file. */
SIM_STATUS SimCancelIo(SIM_HANDLE file);

#ifdef __cplusplus
}
#endif

#endif

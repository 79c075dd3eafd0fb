/* The kernel subset (WDM) that a function driver of this system programs
 * against: the real names, types, constants and semantics of the Windows
 * kernel routines it calls, provided by the simulated kernel in
 * librmplatform.so.
 *
 * Differences a driver writer may notice:
 * - LONG and ULONG are 32 bits as on Windows; WCHAR is the compiler's
 *   wchar_t (L"..." literals work), so UNICODE_STRING lengths count
 *   sizeof(WCHAR) bytes per character.
 * - The Plug and Play manager finds DriverEntry with dlsym: it must have C
 *   linkage and default visibility (the declaration below gives both).
 * - Rule violations that Driver Verifier would catch (IRQL, double
 *   completion, stray register access, ...) end the process with a message
 *   on stderr naming the rule. */
#ifndef RM7X0_WDM_H
#define RM7X0_WDM_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#ifdef __cplusplus
#define EXTERN_C extern "C"
#define WDM_BEGIN_DECLS extern "C" {
#define WDM_END_DECLS }
#else
#define EXTERN_C extern
#define WDM_BEGIN_DECLS
#define WDM_END_DECLS
#endif

/* Calling conventions and annotations: nothing on this platform. */
#define NTAPI
#define NTKERNELAPI
#define NTHALAPI
#define NTSYSAPI
#define DDKAPI
#define FASTCALL
#define IN
#define OUT
#define OPTIONAL
#define UNREFERENCED_PARAMETER(p) ((void)(p))
#define _In_
#define _In_opt_
#define _Out_
#define _Out_opt_
#define _Inout_
#define _Inout_opt_
#define _Use_decl_annotations_
#define _IRQL_requires_max_(irql)
#define _IRQL_requires_(irql)
#define _Dispatch_type_(type)
#define _Function_class_(name)
#define POINTER_ALIGNMENT

/* ------------------------------------------------------------------ types */

typedef void VOID, *PVOID;
typedef char CHAR, *PCHAR, CCHAR;
typedef unsigned char UCHAR, *PUCHAR, BOOLEAN, *PBOOLEAN, KIRQL, *PKIRQL;
typedef int16_t SHORT, CSHORT, *PSHORT;
typedef uint16_t USHORT, *PUSHORT;
typedef int32_t LONG, *PLONG;
typedef uint32_t ULONG, *PULONG, DWORD;
typedef int64_t LONGLONG, LONG64, *PLONGLONG;
typedef uint64_t ULONGLONG, ULONG64, *PULONGLONG;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR, *PULONG_PTR, KAFFINITY, *PKAFFINITY, KSPIN_LOCK, *PKSPIN_LOCK;
typedef size_t SIZE_T;
typedef wchar_t WCHAR, *PWCHAR, *PWSTR;
typedef const wchar_t *PCWSTR;
typedef const char *PCSTR, *PCSZ;
typedef LONG NTSTATUS, KPRIORITY;
typedef ULONG ACCESS_MASK;
typedef ULONG_PTR PFN_NUMBER, *PPFN_NUMBER;
typedef void *HANDLE, **PHANDLE;

#define TRUE 1
#define FALSE 0
#ifndef NULL
#define NULL 0
#endif

typedef union _LARGE_INTEGER {
  struct {
    ULONG LowPart;
    LONG HighPart;
  };
  struct {
    ULONG LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER, PHYSICAL_ADDRESS, *PPHYSICAL_ADDRESS;

typedef struct _LIST_ENTRY {
  struct _LIST_ENTRY *Flink;
  struct _LIST_ENTRY *Blink;
} LIST_ENTRY, *PLIST_ENTRY;

typedef struct _UNICODE_STRING {
  USHORT Length;        /* bytes, without a terminator */
  USHORT MaximumLength; /* bytes of Buffer */
  PWSTR Buffer;
} UNICODE_STRING, *PUNICODE_STRING;
typedef const UNICODE_STRING *PCUNICODE_STRING;

#ifndef GUID_DEFINED
#define GUID_DEFINED
typedef struct _GUID {
  unsigned int Data1;
  unsigned short Data2;
  unsigned short Data3;
  unsigned char Data4[8];
} GUID;
#endif
typedef GUID *LPGUID;
typedef const GUID *LPCGUID;

/* DEFINE_GUID declares the GUID; in the one translation unit that includes
 * <initguid.h> first it defines it. */
#undef DEFINE_GUID
#ifdef INITGUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  EXTERN_C const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#else
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) EXTERN_C const GUID name
#endif

/* ---------------------------------------------------------------- NTSTATUS */

#define NT_SUCCESS(s) (((NTSTATUS)(s)) >= 0)
#define NT_INFORMATION(s) ((((ULONG)(s)) >> 30) == 1)
#define NT_WARNING(s) ((((ULONG)(s)) >> 30) == 2)
#define NT_ERROR(s) ((((ULONG)(s)) >> 30) == 3)

#define STATUS_SUCCESS ((NTSTATUS)0x00000000L)
#define STATUS_WAIT_0 ((NTSTATUS)0x00000000L)
#define STATUS_WAIT_1 ((NTSTATUS)0x00000001L)
#define STATUS_WAIT_2 ((NTSTATUS)0x00000002L)
#define STATUS_WAIT_3 ((NTSTATUS)0x00000003L)
#define STATUS_ABANDONED ((NTSTATUS)0x00000080L)
#define STATUS_USER_APC ((NTSTATUS)0x000000C0L)
#define STATUS_ALERTED ((NTSTATUS)0x00000101L)
#define STATUS_TIMEOUT ((NTSTATUS)0x00000102L)
#define STATUS_PENDING ((NTSTATUS)0x00000103L)
#define STATUS_OBJECT_NAME_EXISTS ((NTSTATUS)0x40000000L)
#define STATUS_BUFFER_OVERFLOW ((NTSTATUS)0x80000005L)
#define STATUS_DEVICE_BUSY ((NTSTATUS)0x80000011L)
#define STATUS_NO_MORE_ENTRIES ((NTSTATUS)0x8000001AL)
#define STATUS_UNSUCCESSFUL ((NTSTATUS)0xC0000001L)
#define STATUS_NOT_IMPLEMENTED ((NTSTATUS)0xC0000002L)
#define STATUS_INFO_LENGTH_MISMATCH ((NTSTATUS)0xC0000004L)
#define STATUS_INVALID_HANDLE ((NTSTATUS)0xC0000008L)
#define STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000DL)
#define STATUS_NO_SUCH_DEVICE ((NTSTATUS)0xC000000EL)
#define STATUS_INVALID_DEVICE_REQUEST ((NTSTATUS)0xC0000010L)
#define STATUS_MORE_PROCESSING_REQUIRED ((NTSTATUS)0xC0000016L)
#define STATUS_NO_MEMORY ((NTSTATUS)0xC0000017L)
#define STATUS_ACCESS_DENIED ((NTSTATUS)0xC0000022L)
#define STATUS_BUFFER_TOO_SMALL ((NTSTATUS)0xC0000023L)
#define STATUS_OBJECT_TYPE_MISMATCH ((NTSTATUS)0xC0000024L)
#define STATUS_OBJECT_NAME_INVALID ((NTSTATUS)0xC0000033L)
#define STATUS_OBJECT_NAME_NOT_FOUND ((NTSTATUS)0xC0000034L)
#define STATUS_OBJECT_NAME_COLLISION ((NTSTATUS)0xC0000035L)
#define STATUS_DEVICE_ALREADY_ATTACHED ((NTSTATUS)0xC0000038L)
#define STATUS_DELETE_PENDING ((NTSTATUS)0xC0000056L)
#define STATUS_INSUFFICIENT_RESOURCES ((NTSTATUS)0xC000009AL)
#define STATUS_DEVICE_NOT_CONNECTED ((NTSTATUS)0xC000009DL)
#define STATUS_DEVICE_NOT_READY ((NTSTATUS)0xC00000A3L)
#define STATUS_NOT_SUPPORTED ((NTSTATUS)0xC00000BBL)
#define STATUS_DEVICE_DOES_NOT_EXIST ((NTSTATUS)0xC00000C0L)
#define STATUS_CANCELLED ((NTSTATUS)0xC0000120L)
#define STATUS_INVALID_DEVICE_STATE ((NTSTATUS)0xC0000184L)
#define STATUS_IO_DEVICE_ERROR ((NTSTATUS)0xC0000185L)
#define STATUS_NOT_FOUND ((NTSTATUS)0xC0000225L)
#define STATUS_DEVICE_REMOVED ((NTSTATUS)0xC00002B6L)
#define STATUS_POWER_STATE_INVALID ((NTSTATUS)0xC00002D3L)

/* -------------------------------------------------------------- IRQL, modes */

#define PASSIVE_LEVEL 0
#define LOW_LEVEL 0
#define APC_LEVEL 1
#define DISPATCH_LEVEL 2
#define CLOCK_LEVEL 13
#define PROFILE_LEVEL 15
#define HIGH_LEVEL 15

typedef CCHAR KPROCESSOR_MODE;
typedef enum _MODE { KernelMode, UserMode, MaximumMode } MODE;

typedef enum _KWAIT_REASON {
  Executive = 0,
  FreePage,
  PageIn,
  PoolAllocation,
  DelayExecution,
  Suspended,
  UserRequest,
} KWAIT_REASON;

typedef enum _WAIT_TYPE { WaitAll, WaitAny } WAIT_TYPE;
typedef enum _EVENT_TYPE { NotificationEvent, SynchronizationEvent } EVENT_TYPE;
typedef enum _TIMER_TYPE { NotificationTimer, SynchronizationTimer } TIMER_TYPE;

#define IO_NO_INCREMENT 0
#define EVENT_INCREMENT 1
#define THREAD_WAIT_OBJECTS 3
#define MAXIMUM_WAIT_OBJECTS 64

/* Threads and processes are opaque. */
typedef struct _KTHREAD *PKTHREAD, *PRKTHREAD;
typedef struct _KTHREAD *PETHREAD;
typedef struct _KPROCESS *PKPROCESS, *PEPROCESS;

/* Object manager. */
typedef struct _OBJECT_TYPE *POBJECT_TYPE;
typedef struct _OBJECT_HANDLE_INFORMATION {
  ULONG HandleAttributes;
  ACCESS_MASK GrantedAccess;
} OBJECT_HANDLE_INFORMATION, *POBJECT_HANDLE_INFORMATION;

#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define SYNCHRONIZE 0x00100000L
#define STANDARD_RIGHTS_REQUIRED 0x000F0000L
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_ALL 0x001F0000L
#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define GENERIC_EXECUTE 0x20000000L
#define GENERIC_ALL 0x10000000L
#define EVENT_QUERY_STATE 0x0001
#define EVENT_MODIFY_STATE 0x0002
#define EVENT_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x3)

/* ------------------------------------------------ dispatcher objects, locks */

typedef struct _DISPATCHER_HEADER {
  UCHAR Type; /* one of the DISPATCHER_* kinds of the simulated kernel */
  UCHAR Signalling;
  UCHAR Size;
  UCHAR Inserted;
  LONG SignalState;
  LIST_ENTRY WaitListHead;
} DISPATCHER_HEADER;

typedef struct _KEVENT {
  DISPATCHER_HEADER Header;
} KEVENT, *PKEVENT, *PRKEVENT;

typedef struct _FAST_MUTEX {
  LONG Count; /* 1 free, 0 owned, one less for each waiter */
  PKTHREAD Owner;
  ULONG Contention;
  KEVENT Event;
  ULONG OldIrql;
} FAST_MUTEX, *PFAST_MUTEX;

typedef struct _KDPC *PKDPC, *PRKDPC;
typedef VOID KDEFERRED_ROUTINE(PKDPC Dpc, PVOID DeferredContext, PVOID SystemArgument1,
                               PVOID SystemArgument2);
typedef KDEFERRED_ROUTINE *PKDEFERRED_ROUTINE;

typedef enum _KDPC_IMPORTANCE { LowImportance, MediumImportance, HighImportance } KDPC_IMPORTANCE;

typedef struct _KDPC {
  UCHAR Type;
  UCHAR Importance;
  USHORT Number;
  LIST_ENTRY DpcListEntry;
  PKDEFERRED_ROUTINE DeferredRoutine;
  PVOID DeferredContext;
  PVOID SystemArgument1;
  PVOID SystemArgument2;
  PVOID DpcData; /* non-null while the DPC is queued */
} KDPC;

typedef struct _KTIMER {
  DISPATCHER_HEADER Header; /* SignalState 1 once the timer has expired */
  LARGE_INTEGER DueTime;    /* interrupt time (100 ns) at which it expires */
  LIST_ENTRY TimerListEntry;
  PKDPC Dpc;
  LONG Period;
  ULONG Generation;         /* kernel's own: counts settings and cancels */
  ULONGLONG ClockTimer;     /* kernel's own: the timer on the machine's clock */
} KTIMER, *PKTIMER, *PRKTIMER;

typedef struct _KWAIT_BLOCK {
  PVOID Object;
} KWAIT_BLOCK, *PKWAIT_BLOCK;

/* Interrupt objects are opaque. */
typedef struct _KINTERRUPT *PKINTERRUPT;
typedef BOOLEAN KSERVICE_ROUTINE(PKINTERRUPT Interrupt, PVOID ServiceContext);
typedef KSERVICE_ROUTINE *PKSERVICE_ROUTINE;
typedef BOOLEAN KSYNCHRONIZE_ROUTINE(PVOID SynchronizeContext);
typedef KSYNCHRONIZE_ROUTINE *PKSYNCHRONIZE_ROUTINE;
typedef enum _KINTERRUPT_MODE { LevelSensitive, Latched } KINTERRUPT_MODE;

/* ----------------------------------------------------------------- memory */

typedef enum _POOL_TYPE {
  NonPagedPool = 0,
  PagedPool = 1,
  NonPagedPoolMustSucceed = 2,
  NonPagedPoolCacheAligned = 4,
  PagedPoolCacheAligned = 5,
  NonPagedPoolNx = 512,
} POOL_TYPE;

typedef enum _MEMORY_CACHING_TYPE { MmNonCached = 0, MmCached = 1, MmWriteCombined = 2 } MEMORY_CACHING_TYPE;
typedef enum _MM_PAGE_PRIORITY {
  LowPagePriority = 0,
  NormalPagePriority = 16,
  HighPagePriority = 32,
} MM_PAGE_PRIORITY;
typedef enum _LOCK_OPERATION { IoReadAccess, IoWriteAccess, IoModifyAccess } LOCK_OPERATION;

#define PAGE_SIZE 0x1000
#define PAGE_SHIFT 12
#define BYTE_OFFSET(va) ((ULONG)((ULONG_PTR)(va) & (PAGE_SIZE - 1)))
#define PAGE_ALIGN(va) ((PVOID)((ULONG_PTR)(va) & ~((ULONG_PTR)PAGE_SIZE - 1)))
#define ROUND_TO_PAGES(size) (((ULONG_PTR)(size) + PAGE_SIZE - 1) & ~((ULONG_PTR)PAGE_SIZE - 1))
#define BYTES_TO_PAGES(size) (((size) >> PAGE_SHIFT) + (((size) & (PAGE_SIZE - 1)) != 0))
#define ADDRESS_AND_SIZE_TO_SPAN_PAGES(va, size) \
  ((ULONG)((((ULONG_PTR)(va) & (PAGE_SIZE - 1)) + (size) + PAGE_SIZE - 1) >> PAGE_SHIFT))

typedef struct _MDL {
  struct _MDL *Next;
  CSHORT Size;
  CSHORT MdlFlags;
  PEPROCESS Process;
  PVOID MappedSystemVa;
  PVOID StartVa;
  ULONG ByteCount;
  ULONG ByteOffset;
  /* followed by the page frame numbers */
} MDL, *PMDL;

#define MDL_MAPPED_TO_SYSTEM_VA 0x0001
#define MDL_PAGES_LOCKED 0x0002
#define MDL_SOURCE_IS_NONPAGED_POOL 0x0004
#define MDL_IO_SPACE 0x0800

#define MmGetMdlVirtualAddress(mdl) ((PVOID)((PCHAR)((mdl)->StartVa) + (mdl)->ByteOffset))
#define MmGetMdlByteCount(mdl) ((mdl)->ByteCount)
#define MmGetMdlByteOffset(mdl) ((mdl)->ByteOffset)
#define MmGetMdlPfnArray(mdl) ((PPFN_NUMBER)((mdl) + 1))

/* ------------------------------------------------------------------ strings */

#define RTL_CONSTANT_STRING(s) \
  { (USHORT)(sizeof(s) - sizeof((s)[0])), (USHORT)sizeof(s), (PWSTR)(s) }

/* ------------------------------------------------------------- I/O manager */

typedef struct _DEVICE_OBJECT *PDEVICE_OBJECT;
typedef struct _DRIVER_OBJECT *PDRIVER_OBJECT;
typedef struct _FILE_OBJECT *PFILE_OBJECT;
typedef struct _IRP *PIRP;
typedef struct _IO_STACK_LOCATION *PIO_STACK_LOCATION;

typedef NTSTATUS DRIVER_INITIALIZE(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);
typedef DRIVER_INITIALIZE *PDRIVER_INITIALIZE;
typedef NTSTATUS DRIVER_ADD_DEVICE(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject);
typedef DRIVER_ADD_DEVICE *PDRIVER_ADD_DEVICE;
typedef NTSTATUS DRIVER_DISPATCH(PDEVICE_OBJECT DeviceObject, PIRP Irp);
typedef DRIVER_DISPATCH *PDRIVER_DISPATCH;
typedef VOID DRIVER_UNLOAD(PDRIVER_OBJECT DriverObject);
typedef DRIVER_UNLOAD *PDRIVER_UNLOAD;
typedef VOID DRIVER_STARTIO(PDEVICE_OBJECT DeviceObject, PIRP Irp);
typedef DRIVER_STARTIO *PDRIVER_STARTIO;
typedef VOID DRIVER_CANCEL(PDEVICE_OBJECT DeviceObject, PIRP Irp);
typedef DRIVER_CANCEL *PDRIVER_CANCEL;
typedef NTSTATUS IO_COMPLETION_ROUTINE(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);
typedef IO_COMPLETION_ROUTINE *PIO_COMPLETION_ROUTINE;
typedef VOID IO_DPC_ROUTINE(PKDPC Dpc, PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);
typedef IO_DPC_ROUTINE *PIO_DPC_ROUTINE;

#define IRP_MJ_CREATE 0x00
#define IRP_MJ_CREATE_NAMED_PIPE 0x01
#define IRP_MJ_CLOSE 0x02
#define IRP_MJ_READ 0x03
#define IRP_MJ_WRITE 0x04
#define IRP_MJ_QUERY_INFORMATION 0x05
#define IRP_MJ_SET_INFORMATION 0x06
#define IRP_MJ_FLUSH_BUFFERS 0x09
#define IRP_MJ_DEVICE_CONTROL 0x0e
#define IRP_MJ_INTERNAL_DEVICE_CONTROL 0x0f
#define IRP_MJ_SHUTDOWN 0x10
#define IRP_MJ_CLEANUP 0x12
#define IRP_MJ_POWER 0x16
#define IRP_MJ_SYSTEM_CONTROL 0x17
#define IRP_MJ_PNP 0x1b
#define IRP_MJ_MAXIMUM_FUNCTION 0x1b

#define IRP_MN_START_DEVICE 0x00
#define IRP_MN_QUERY_REMOVE_DEVICE 0x01
#define IRP_MN_REMOVE_DEVICE 0x02
#define IRP_MN_CANCEL_REMOVE_DEVICE 0x03
#define IRP_MN_STOP_DEVICE 0x04
#define IRP_MN_QUERY_STOP_DEVICE 0x05
#define IRP_MN_CANCEL_STOP_DEVICE 0x06
#define IRP_MN_QUERY_DEVICE_RELATIONS 0x07
#define IRP_MN_QUERY_INTERFACE 0x08
#define IRP_MN_QUERY_CAPABILITIES 0x09
#define IRP_MN_QUERY_RESOURCES 0x0A
#define IRP_MN_QUERY_RESOURCE_REQUIREMENTS 0x0B
#define IRP_MN_QUERY_DEVICE_TEXT 0x0C
#define IRP_MN_FILTER_RESOURCE_REQUIREMENTS 0x0D
#define IRP_MN_READ_CONFIG 0x0F
#define IRP_MN_WRITE_CONFIG 0x10
#define IRP_MN_EJECT 0x11
#define IRP_MN_SET_LOCK 0x12
#define IRP_MN_QUERY_ID 0x13
#define IRP_MN_QUERY_PNP_DEVICE_STATE 0x14
#define IRP_MN_QUERY_BUS_INFORMATION 0x15
#define IRP_MN_DEVICE_USAGE_NOTIFICATION 0x16
#define IRP_MN_SURPRISE_REMOVAL 0x17

#define IRP_MN_WAIT_WAKE 0x00
#define IRP_MN_POWER_SEQUENCE 0x01
#define IRP_MN_SET_POWER 0x02
#define IRP_MN_QUERY_POWER 0x03

/* Stack location control flags. */
#define SL_PENDING_RETURNED 0x01
#define SL_INVOKE_ON_CANCEL 0x20
#define SL_INVOKE_ON_SUCCESS 0x40
#define SL_INVOKE_ON_ERROR 0x80

/* Device object flags and characteristics. */
#define DO_VERIFY_VOLUME 0x00000002
#define DO_BUFFERED_IO 0x00000004
#define DO_EXCLUSIVE 0x00000008
#define DO_DIRECT_IO 0x00000010
#define DO_MAP_IO_BUFFER 0x00000020
#define DO_DEVICE_HAS_NAME 0x00000040
#define DO_DEVICE_INITIALIZING 0x00000080
#define DO_SHUTDOWN_REGISTERED 0x00000800
#define DO_BUS_ENUMERATED_DEVICE 0x00001000
#define DO_POWER_PAGABLE 0x00002000
#define DO_POWER_INRUSH 0x00004000
#define FILE_REMOVABLE_MEDIA 0x00000001
#define FILE_DEVICE_SECURE_OPEN 0x00000100

/* Device types and request codes. */
#define FILE_DEVICE_BUS_EXTENDER 0x0000002a
#define FILE_DEVICE_UNKNOWN 0x00000022
#define METHOD_BUFFERED 0
#define METHOD_IN_DIRECT 1
#define METHOD_OUT_DIRECT 2
#define METHOD_NEITHER 3
#define FILE_ANY_ACCESS 0
#define FILE_SPECIAL_ACCESS FILE_ANY_ACCESS
#define FILE_READ_ACCESS 0x0001
#define FILE_WRITE_ACCESS 0x0002
#define CTL_CODE(DeviceType, Function, Method, Access) \
  (((DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))
#define DEVICE_TYPE_FROM_CTL_CODE(code) (((ULONG)((code) & 0xffff0000)) >> 16)
#define METHOD_FROM_CTL_CODE(code) ((ULONG)((code) & 3))

typedef struct _IO_STATUS_BLOCK {
  union {
    NTSTATUS Status;
    PVOID Pointer;
  };
  ULONG_PTR Information;
} IO_STATUS_BLOCK, *PIO_STATUS_BLOCK;

typedef struct _DRIVER_EXTENSION {
  PDRIVER_OBJECT DriverObject;
  PDRIVER_ADD_DEVICE AddDevice;
  ULONG Count;
  UNICODE_STRING ServiceKeyName;
} DRIVER_EXTENSION, *PDRIVER_EXTENSION;

typedef struct _DRIVER_OBJECT {
  CSHORT Type;
  CSHORT Size;
  PDEVICE_OBJECT DeviceObject; /* the driver's devices, linked by NextDevice */
  ULONG Flags;
  PVOID DriverStart;
  ULONG DriverSize;
  PVOID DriverSection;
  PDRIVER_EXTENSION DriverExtension;
  UNICODE_STRING DriverName;
  PUNICODE_STRING HardwareDatabase;
  PVOID FastIoDispatch;
  PDRIVER_INITIALIZE DriverInit;
  PDRIVER_STARTIO DriverStartIo;
  PDRIVER_UNLOAD DriverUnload;
  PDRIVER_DISPATCH MajorFunction[IRP_MJ_MAXIMUM_FUNCTION + 1];
} DRIVER_OBJECT;

typedef struct _DEVOBJ_EXTENSION *PDEVOBJ_EXTENSION;

typedef struct _DEVICE_OBJECT {
  CSHORT Type;
  USHORT Size;
  LONG ReferenceCount;
  PDRIVER_OBJECT DriverObject;
  PDEVICE_OBJECT NextDevice;
  PDEVICE_OBJECT AttachedDevice; /* the device attached above this one */
  PIRP CurrentIrp;
  PVOID Timer;
  ULONG Flags;
  ULONG Characteristics;
  PVOID Vpb;
  PVOID DeviceExtension;
  ULONG DeviceType;
  CCHAR StackSize;
  ULONG AlignmentRequirement;
  KDPC Dpc; /* the DPC for ISR (IoInitializeDpcRequest) */
  ULONG ActiveThreadCount;
  KEVENT DeviceLock;
  USHORT SectorSize;
  PDEVOBJ_EXTENSION DeviceObjectExtension; /* the kernel's own record */
  PVOID Reserved;
} DEVICE_OBJECT;

typedef struct _FILE_OBJECT {
  CSHORT Type;
  CSHORT Size;
  PDEVICE_OBJECT DeviceObject;
  PVOID Vpb;
  PVOID FsContext;
  PVOID FsContext2;
  BOOLEAN DeletePending;
  BOOLEAN ReadAccess;
  BOOLEAN WriteAccess;
  ULONG Flags;
  UNICODE_STRING FileName;
  LARGE_INTEGER CurrentByteOffset;
  KEVENT Event;
} FILE_OBJECT;

typedef struct _IRP {
  CSHORT Type;
  USHORT Size;
  PMDL MdlAddress;
  ULONG Flags;
  union {
    struct _IRP *MasterIrp;
    LONG IrpCount;
    PVOID SystemBuffer;
  } AssociatedIrp;
  LIST_ENTRY ThreadListEntry;
  IO_STATUS_BLOCK IoStatus;
  KPROCESSOR_MODE RequestorMode;
  BOOLEAN PendingReturned;
  CHAR StackCount;
  CHAR CurrentLocation;
  BOOLEAN Cancel;
  KIRQL CancelIrql;
  CCHAR ApcEnvironment;
  UCHAR AllocationFlags;
  PIO_STATUS_BLOCK UserIosb;
  PKEVENT UserEvent;
  union {
    struct {
      PVOID UserApcRoutine;
      PVOID UserApcContext;
    } AsynchronousParameters;
    LARGE_INTEGER AllocationSize;
  } Overlay;
  PDRIVER_CANCEL CancelRoutine; /* change only with IoSetCancelRoutine */
  PVOID UserBuffer;
  union {
    struct {
      union {
        PVOID DriverContext[4];
      };
      PETHREAD Thread;
      PCHAR AuxiliaryBuffer;
      struct {
        LIST_ENTRY ListEntry;
        union {
          PIO_STACK_LOCATION CurrentStackLocation;
          ULONG PacketType;
        };
      };
      PFILE_OBJECT OriginalFileObject;
    } Overlay;
    PVOID CompletionKey;
  } Tail;
} IRP;

/* Resources. */
typedef enum _INTERFACE_TYPE {
  InterfaceTypeUndefined = -1,
  Internal = 0,
  Isa = 1,
  PCIBus = 5,
} INTERFACE_TYPE;

#define CmResourceTypeNull 0
#define CmResourceTypePort 1
#define CmResourceTypeInterrupt 2
#define CmResourceTypeMemory 3
#define CmResourceTypeDma 4
#define CmResourceTypeDeviceSpecific 5
#define CmResourceTypeBusNumber 6

typedef enum _CM_SHARE_DISPOSITION {
  CmResourceShareUndetermined = 0,
  CmResourceShareDeviceExclusive,
  CmResourceShareDriverExclusive,
  CmResourceShareShared,
} CM_SHARE_DISPOSITION;

#define CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE 0
#define CM_RESOURCE_INTERRUPT_LATCHED 1
#define CM_RESOURCE_MEMORY_READ_WRITE 0x0000
#define CM_RESOURCE_MEMORY_PREFETCHABLE 0x0004
#define CM_RESOURCE_PORT_MEMORY 0x0000
#define CM_RESOURCE_PORT_IO 0x0001

#pragma pack(push, 4)
typedef struct _CM_PARTIAL_RESOURCE_DESCRIPTOR {
  UCHAR Type;
  UCHAR ShareDisposition;
  USHORT Flags;
  union {
    struct {
      PHYSICAL_ADDRESS Start;
      ULONG Length;
    } Generic;
    struct {
      PHYSICAL_ADDRESS Start;
      ULONG Length;
    } Port;
    struct {
      ULONG Level;
      ULONG Vector;
      KAFFINITY Affinity;
    } Interrupt;
    struct {
      PHYSICAL_ADDRESS Start;
      ULONG Length;
    } Memory;
    struct {
      ULONG Channel;
      ULONG Port;
      ULONG Reserved1;
    } Dma;
    struct {
      ULONG Data[3];
    } DevicePrivate;
    struct {
      ULONG DataSize;
      ULONG Reserved1;
      ULONG Reserved2;
    } DeviceSpecificData;
  } u;
} CM_PARTIAL_RESOURCE_DESCRIPTOR, *PCM_PARTIAL_RESOURCE_DESCRIPTOR;
#pragma pack(pop)

typedef struct _CM_PARTIAL_RESOURCE_LIST {
  USHORT Version;
  USHORT Revision;
  ULONG Count;
  CM_PARTIAL_RESOURCE_DESCRIPTOR PartialDescriptors[1];
} CM_PARTIAL_RESOURCE_LIST, *PCM_PARTIAL_RESOURCE_LIST;

typedef struct _CM_FULL_RESOURCE_DESCRIPTOR {
  INTERFACE_TYPE InterfaceType;
  ULONG BusNumber;
  CM_PARTIAL_RESOURCE_LIST PartialResourceList;
} CM_FULL_RESOURCE_DESCRIPTOR, *PCM_FULL_RESOURCE_DESCRIPTOR;

typedef struct _CM_RESOURCE_LIST {
  ULONG Count;
  CM_FULL_RESOURCE_DESCRIPTOR List[1];
} CM_RESOURCE_LIST, *PCM_RESOURCE_LIST;

/* PCI configuration space. */
#define PCI_TYPE0_ADDRESSES 6
#define PCI_COMMON_HDR_LENGTH 64
#define PCI_WHICHSPACE_CONFIG 0x0
#define PCI_WHICHSPACE_ROM 0x52696350
#define PCI_ADDRESS_IO_SPACE 0x00000001
#define PCI_ADDRESS_MEMORY_TYPE_MASK 0x00000006
#define PCI_ADDRESS_MEMORY_PREFETCHABLE 0x00000008
#define PCI_ADDRESS_IO_ADDRESS_MASK 0xfffffffc
#define PCI_ADDRESS_MEMORY_ADDRESS_MASK 0xfffffff0
#define PCI_ADDRESS_ROM_ADDRESS_MASK 0xfffff800
#define PCI_ROMADDRESS_ENABLED 0x00000001

typedef struct _PCI_COMMON_CONFIG {
  USHORT VendorID;
  USHORT DeviceID;
  USHORT Command;
  USHORT Status;
  UCHAR RevisionID;
  UCHAR ProgIf;
  UCHAR SubClass;
  UCHAR BaseClass;
  UCHAR CacheLineSize;
  UCHAR LatencyTimer;
  UCHAR HeaderType;
  UCHAR BIST;
  union {
    struct {
      ULONG BaseAddresses[PCI_TYPE0_ADDRESSES];
      ULONG CIS;
      USHORT SubVendorID;
      USHORT SubSystemID;
      ULONG ROMBaseAddress;
      UCHAR CapabilitiesPtr;
      UCHAR Reserved1[3];
      ULONG Reserved2;
      UCHAR InterruptLine;
      UCHAR InterruptPin;
      UCHAR MinimumGrant;
      UCHAR MaximumLatency;
    } type0;
  } u;
  UCHAR DeviceSpecific[192];
} PCI_COMMON_CONFIG, *PPCI_COMMON_CONFIG;

/* Plug and Play. */
typedef enum _DEVICE_RELATION_TYPE {
  BusRelations,
  EjectionRelations,
  PowerRelations,
  RemovalRelations,
  TargetDeviceRelation,
  SingleBusRelations,
  TransportRelations,
} DEVICE_RELATION_TYPE;

typedef struct _DEVICE_RELATIONS {
  ULONG Count;
  PDEVICE_OBJECT Objects[1]; /* each referenced; the list is pool memory */
} DEVICE_RELATIONS, *PDEVICE_RELATIONS;

#define PLUGPLAY_REGKEY_DEVICE 1
#define PLUGPLAY_REGKEY_DRIVER 2
#define PLUGPLAY_REGKEY_CURRENT_HWPROFILE 4

/* Power. */
typedef enum _SYSTEM_POWER_STATE {
  PowerSystemUnspecified = 0,
  PowerSystemWorking = 1,
  PowerSystemSleeping1 = 2,
  PowerSystemSleeping2 = 3,
  PowerSystemSleeping3 = 4,
  PowerSystemHibernate = 5,
  PowerSystemShutdown = 6,
  PowerSystemMaximum = 7,
} SYSTEM_POWER_STATE, *PSYSTEM_POWER_STATE;

typedef enum _DEVICE_POWER_STATE {
  PowerDeviceUnspecified = 0,
  PowerDeviceD0,
  PowerDeviceD1,
  PowerDeviceD2,
  PowerDeviceD3,
  PowerDeviceMaximum,
} DEVICE_POWER_STATE, *PDEVICE_POWER_STATE;

typedef union _POWER_STATE {
  SYSTEM_POWER_STATE SystemState;
  DEVICE_POWER_STATE DeviceState;
} POWER_STATE, *PPOWER_STATE;

typedef enum _POWER_STATE_TYPE { SystemPowerState = 0, DevicePowerState } POWER_STATE_TYPE;

typedef enum _POWER_ACTION {
  PowerActionNone = 0,
  PowerActionReserved,
  PowerActionSleep,
  PowerActionHibernate,
  PowerActionShutdown,
  PowerActionShutdownReset,
  PowerActionShutdownOff,
  PowerActionWarmEject,
} POWER_ACTION;

typedef VOID REQUEST_POWER_COMPLETE(PDEVICE_OBJECT DeviceObject, UCHAR MinorFunction,
                                    POWER_STATE PowerState, PVOID Context,
                                    PIO_STATUS_BLOCK IoStatus);
typedef REQUEST_POWER_COMPLETE *PREQUEST_POWER_COMPLETE;

typedef struct _IO_STACK_LOCATION {
  UCHAR MajorFunction;
  UCHAR MinorFunction;
  UCHAR Flags;
  UCHAR Control;
  union {
    struct {
      PVOID SecurityContext;
      ULONG Options;
      USHORT FileAttributes;
      USHORT ShareAccess;
      ULONG EaLength;
    } Create;
    struct {
      ULONG Length;
      ULONG Key;
      LARGE_INTEGER ByteOffset;
    } Read;
    struct {
      ULONG Length;
      ULONG Key;
      LARGE_INTEGER ByteOffset;
    } Write;
    struct {
      ULONG OutputBufferLength;
      ULONG InputBufferLength;
      ULONG IoControlCode;
      PVOID Type3InputBuffer;
    } DeviceIoControl;
    struct {
      DEVICE_RELATION_TYPE Type;
    } QueryDeviceRelations;
    struct {
      ULONG WhichSpace;
      PVOID Buffer;
      ULONG Offset;
      ULONG Length;
    } ReadWriteConfig;
    struct {
      PCM_RESOURCE_LIST AllocatedResources;
      PCM_RESOURCE_LIST AllocatedResourcesTranslated;
    } StartDevice;
    struct {
      SYSTEM_POWER_STATE PowerState;
    } WaitWake;
    struct {
      ULONG SystemContext;
      POWER_STATE_TYPE Type;
      POWER_STATE State;
      POWER_ACTION ShutdownType;
    } Power;
    struct {
      PVOID Argument1;
      PVOID Argument2;
      PVOID Argument3;
      PVOID Argument4;
    } Others;
  } Parameters;
  PDEVICE_OBJECT DeviceObject;
  PFILE_OBJECT FileObject;
  PIO_COMPLETION_ROUTINE CompletionRoutine;
  PVOID Context;
} IO_STACK_LOCATION;

/* Error log. */
#define ERROR_LOG_MAXIMUM_SIZE 240
typedef struct _IO_ERROR_LOG_PACKET {
  UCHAR MajorFunctionCode;
  UCHAR RetryCount;
  USHORT DumpDataSize;
  USHORT NumberOfStrings;
  USHORT StringOffset;
  USHORT EventCategory;
  NTSTATUS ErrorCode;
  ULONG UniqueErrorValue;
  NTSTATUS FinalStatus;
  ULONG SequenceNumber;
  ULONG IoControlCode;
  LARGE_INTEGER DeviceOffset;
  ULONG DumpData[1];
} IO_ERROR_LOG_PACKET, *PIO_ERROR_LOG_PACKET;

/* Registry. */
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

WDM_BEGIN_DECLS

/* The driver's entry point, found by the Plug and Play manager by name. */
__attribute__((visibility("default"))) DRIVER_INITIALIZE DriverEntry;

/* ------------------------------------------------------------ IRQL (hal) */
KIRQL KeGetCurrentIrql(void);
VOID KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql);
VOID KeLowerIrql(KIRQL NewIrql);
KIRQL KeRaiseIrqlToDpcLevel(void);
PKTHREAD KeGetCurrentThread(void);
PETHREAD PsGetCurrentThread(void);
/* The one process of the simulated machine. */
PEPROCESS IoGetCurrentProcess(void);
PEPROCESS PsGetCurrentProcess(void);

/* ---------------------------------------------------- events and waiting */
VOID KeInitializeEvent(PRKEVENT Event, EVENT_TYPE Type, BOOLEAN State);
LONG KeSetEvent(PRKEVENT Event, KPRIORITY Increment, BOOLEAN Wait);
LONG KeResetEvent(PRKEVENT Event);
VOID KeClearEvent(PRKEVENT Event);
LONG KeReadStateEvent(PRKEVENT Event);
/* Timeouts: negative = relative, positive = absolute system time, in 100 ns,
 * on the machine's clock; NULL waits for ever. */
NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                               BOOLEAN Alertable, PLARGE_INTEGER Timeout);
NTSTATUS KeWaitForMultipleObjects(ULONG Count, PVOID Object[], WAIT_TYPE WaitType,
                                  KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                                  BOOLEAN Alertable, PLARGE_INTEGER Timeout,
                                  PKWAIT_BLOCK WaitBlockArray);
NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                PLARGE_INTEGER Interval);

/* --------------------------------------------- fast mutexes, spin locks */
VOID ExInitializeFastMutex(PFAST_MUTEX FastMutex);
VOID ExAcquireFastMutex(PFAST_MUTEX FastMutex);
VOID ExReleaseFastMutex(PFAST_MUTEX FastMutex);
BOOLEAN ExTryToAcquireFastMutex(PFAST_MUTEX FastMutex);
VOID KeInitializeSpinLock(PKSPIN_LOCK SpinLock);
VOID KeAcquireSpinLock(PKSPIN_LOCK SpinLock, PKIRQL OldIrql);
VOID KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql);
VOID KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK SpinLock);
VOID KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK SpinLock);

/* ------------------------------------------------------------- interlocked */
static inline LONG InterlockedIncrement(LONG volatile *a) { return __atomic_add_fetch(a, 1, __ATOMIC_SEQ_CST); }
static inline LONG InterlockedDecrement(LONG volatile *a) { return __atomic_sub_fetch(a, 1, __ATOMIC_SEQ_CST); }
static inline LONG InterlockedExchange(LONG volatile *t, LONG v) { return __atomic_exchange_n(t, v, __ATOMIC_SEQ_CST); }
static inline LONG InterlockedExchangeAdd(LONG volatile *a, LONG v) { return __atomic_fetch_add(a, v, __ATOMIC_SEQ_CST); }
static inline LONG InterlockedOr(LONG volatile *t, LONG v) { return __atomic_fetch_or(t, v, __ATOMIC_SEQ_CST); }
static inline LONG InterlockedAnd(LONG volatile *t, LONG v) { return __atomic_fetch_and(t, v, __ATOMIC_SEQ_CST); }
static inline LONG InterlockedCompareExchange(LONG volatile *d, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(d, &comparand, exchange, 0, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}
static inline PVOID InterlockedExchangePointer(PVOID volatile *t, PVOID v) {
  return __atomic_exchange_n(t, v, __ATOMIC_SEQ_CST);
}
static inline PVOID InterlockedCompareExchangePointer(PVOID volatile *d, PVOID exchange, PVOID comparand) {
  __atomic_compare_exchange_n(d, &comparand, exchange, 0, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

/* -------------------------------------------------------- DPCs and timers */
VOID KeInitializeDpc(PRKDPC Dpc, PKDEFERRED_ROUTINE DeferredRoutine, PVOID DeferredContext);
/* FALSE when the DPC is already queued (it is not queued twice). */
BOOLEAN KeInsertQueueDpc(PRKDPC Dpc, PVOID SystemArgument1, PVOID SystemArgument2);
BOOLEAN KeRemoveQueueDpc(PRKDPC Dpc);
VOID KeFlushQueuedDpcs(void);
VOID KeInitializeTimer(PKTIMER Timer);
VOID KeInitializeTimerEx(PKTIMER Timer, TIMER_TYPE Type);
/* Due time: negative = relative, positive = absolute system time (100 ns).
 * TRUE when the timer was already set (its earlier setting is cancelled). */
BOOLEAN KeSetTimer(PKTIMER Timer, LARGE_INTEGER DueTime, PKDPC Dpc);
BOOLEAN KeSetTimerEx(PKTIMER Timer, LARGE_INTEGER DueTime, LONG Period, PKDPC Dpc);
BOOLEAN KeCancelTimer(PKTIMER Timer);
BOOLEAN KeReadStateTimer(PKTIMER Timer);
ULONGLONG KeQueryInterruptTime(void);
VOID KeQuerySystemTime(PLARGE_INTEGER CurrentTime);
VOID KeQueryTickCount(PLARGE_INTEGER TickCount);
ULONG KeQueryTimeIncrement(void);

/* -------------------------------------------------------------- interrupts */
NTSTATUS IoConnectInterrupt(PKINTERRUPT *InterruptObject, PKSERVICE_ROUTINE ServiceRoutine,
                            PVOID ServiceContext, PKSPIN_LOCK SpinLock, ULONG Vector, KIRQL Irql,
                            KIRQL SynchronizeIrql, KINTERRUPT_MODE InterruptMode,
                            BOOLEAN ShareVector, KAFFINITY ProcessorEnableMask,
                            BOOLEAN FloatingSave);
VOID IoDisconnectInterrupt(PKINTERRUPT InterruptObject);
BOOLEAN KeSynchronizeExecution(PKINTERRUPT Interrupt, PKSYNCHRONIZE_ROUTINE SynchronizeRoutine,
                               PVOID SynchronizeContext);
KIRQL KeAcquireInterruptSpinLock(PKINTERRUPT Interrupt);
VOID KeReleaseInterruptSpinLock(PKINTERRUPT Interrupt, KIRQL OldIrql);

/* ------------------------------------------------------------------ memory */
/* Raises a kernel exception carrying the status. In this kernel it unwinds
 * as a C++ exception (KERNEL_EXCEPTION, below) to the caller's guard; one
 * that reaches the kernel unhandled ends the process, as the bugcheck on
 * Windows. */
VOID ExRaiseStatus(NTSTATUS Status);
PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag);
PVOID ExAllocatePool(POOL_TYPE PoolType, SIZE_T NumberOfBytes);
VOID ExFreePoolWithTag(PVOID P, ULONG Tag);
VOID ExFreePool(PVOID P);
/* Physically contiguous memory whose simulated physical addresses all lie at
 * or below HighestAcceptableAddress; NULL when no such block is free. */
PVOID MmAllocateContiguousMemory(SIZE_T NumberOfBytes, PHYSICAL_ADDRESS HighestAcceptableAddress);
VOID MmFreeContiguousMemory(PVOID BaseAddress);
PHYSICAL_ADDRESS MmGetPhysicalAddress(PVOID BaseAddress);
PMDL IoAllocateMdl(PVOID VirtualAddress, ULONG Length, BOOLEAN SecondaryBuffer,
                   BOOLEAN ChargeQuota, PIRP Irp);
VOID IoFreeMdl(PMDL Mdl);
VOID MmBuildMdlForNonPagedPool(PMDL MemoryDescriptorList);
/* UserMode mappings are a second view of the same memory (contiguous memory
 * only); NULL when the pages cannot be mapped. */
PVOID MmMapLockedPagesSpecifyCache(PMDL MemoryDescriptorList, KPROCESSOR_MODE AccessMode,
                                   MEMORY_CACHING_TYPE CacheType, PVOID RequestedAddress,
                                   ULONG BugCheckOnFailure, ULONG Priority);
PVOID MmMapLockedPages(PMDL MemoryDescriptorList, KPROCESSOR_MODE AccessMode);
VOID MmUnmapLockedPages(PVOID BaseAddress, PMDL MemoryDescriptorList);
/* Register windows: the address is not dereferenceable; reach the registers
 * with READ_REGISTER_* / WRITE_REGISTER_*. NULL when no device decodes the
 * whole range. */
PVOID MmMapIoSpace(PHYSICAL_ADDRESS PhysicalAddress, SIZE_T NumberOfBytes, MEMORY_CACHING_TYPE CacheType);
VOID MmUnmapIoSpace(PVOID BaseAddress, SIZE_T NumberOfBytes);

static inline PVOID MmGetSystemAddressForMdlSafe(PMDL Mdl, ULONG Priority) {
  if (Mdl->MdlFlags & (MDL_MAPPED_TO_SYSTEM_VA | MDL_SOURCE_IS_NONPAGED_POOL)) return Mdl->MappedSystemVa;
  return MmMapLockedPagesSpecifyCache(Mdl, KernelMode, MmCached, NULL, FALSE, Priority);
}

/* --------------------------------------------------------------- registers */
UCHAR READ_REGISTER_UCHAR(volatile UCHAR *Register);
USHORT READ_REGISTER_USHORT(volatile USHORT *Register);
ULONG READ_REGISTER_ULONG(volatile ULONG *Register);
VOID WRITE_REGISTER_UCHAR(volatile UCHAR *Register, UCHAR Value);
VOID WRITE_REGISTER_USHORT(volatile USHORT *Register, USHORT Value);
VOID WRITE_REGISTER_ULONG(volatile ULONG *Register, ULONG Value);

/* --------------------------------------------------------- run-time library */
#define RtlZeroMemory(d, n) memset((d), 0, (n))
#define RtlFillMemory(d, n, f) memset((d), (f), (n))
#define RtlCopyMemory(d, s, n) memcpy((d), (s), (n))
#define RtlMoveMemory(d, s, n) memmove((d), (s), (n))
#define RtlEqualMemory(a, b, n) (memcmp((a), (b), (n)) == 0)
VOID RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString);
VOID RtlFreeUnicodeString(PUNICODE_STRING UnicodeString);
LONG RtlCompareUnicodeString(PCUNICODE_STRING String1, PCUNICODE_STRING String2,
                             BOOLEAN CaseInSensitive);
BOOLEAN RtlEqualUnicodeString(PCUNICODE_STRING String1, PCUNICODE_STRING String2,
                              BOOLEAN CaseInSensitive);
/* Debug output: kept for tests, echoed to stderr when $RM7X0_DEBUG names the
 * calling module (or is "all"). */
ULONG DbgPrint(PCSTR Format, ...) __attribute__((format(printf, 1, 2)));
#if DBG
#define KdPrint(x) DbgPrint x
#else
#define KdPrint(x) ((void)0)
#endif
#define ASSERT(e) ((void)0)

/* ------------------------------------------------------------ I/O manager */
NTSTATUS IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                        PUNICODE_STRING DeviceName, ULONG DeviceType,
                        ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                        PDEVICE_OBJECT *DeviceObject);
/* Fatal (verifier) when a request is still pending on the device. */
VOID IoDeleteDevice(PDEVICE_OBJECT DeviceObject);
PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT SourceDevice, PDEVICE_OBJECT TargetDevice);
VOID IoDetachDevice(PDEVICE_OBJECT TargetDevice);
PDEVICE_OBJECT IoGetAttachedDeviceReference(PDEVICE_OBJECT DeviceObject);
NTSTATUS IoRegisterDeviceInterface(PDEVICE_OBJECT PhysicalDeviceObject, const GUID *InterfaceClassGuid,
                                   PUNICODE_STRING ReferenceString, PUNICODE_STRING SymbolicLinkName);
NTSTATUS IoSetDeviceInterfaceState(PUNICODE_STRING SymbolicLinkName, BOOLEAN Enable);
NTSTATUS IoOpenDeviceRegistryKey(PDEVICE_OBJECT DeviceObject, ULONG DevInstKeyType,
                                 ACCESS_MASK DesiredAccess, PHANDLE DevInstRegKey);
VOID IoInvalidateDeviceRelations(PDEVICE_OBJECT DeviceObject, DEVICE_RELATION_TYPE Type);

PIRP IoAllocateIrp(CCHAR StackSize, BOOLEAN ChargeQuota);
VOID IoFreeIrp(PIRP Irp);
VOID IoReuseIrp(PIRP Irp, NTSTATUS Iostatus);
/* A synchronous request of the calling thread: on completion the I/O manager
 * copies the status into IoStatusBlock, signals Event and frees the IRP. */
PIRP IoBuildSynchronousFsdRequest(ULONG MajorFunction, PDEVICE_OBJECT DeviceObject, PVOID Buffer,
                                  ULONG Length, PLARGE_INTEGER StartingOffset, PKEVENT Event,
                                  PIO_STATUS_BLOCK IoStatusBlock);
PIRP IoBuildDeviceIoControlRequest(ULONG IoControlCode, PDEVICE_OBJECT DeviceObject,
                                   PVOID InputBuffer, ULONG InputBufferLength, PVOID OutputBuffer,
                                   ULONG OutputBufferLength, BOOLEAN InternalDeviceIoControl,
                                   PKEVENT Event, PIO_STATUS_BLOCK IoStatusBlock);
NTSTATUS IofCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp);
VOID IofCompleteRequest(PIRP Irp, CCHAR PriorityBoost);
#define IoCallDriver(d, i) IofCallDriver((d), (i))
#define IoCompleteRequest(i, b) IofCompleteRequest((i), (b))
BOOLEAN IoCancelIrp(PIRP Irp);
VOID IoAcquireCancelSpinLock(PKIRQL Irql);
VOID IoReleaseCancelSpinLock(KIRQL Irql);
VOID IoSetCompletionRoutine(PIRP Irp, PIO_COMPLETION_ROUTINE CompletionRoutine, PVOID Context,
                            BOOLEAN InvokeOnSuccess, BOOLEAN InvokeOnError, BOOLEAN InvokeOnCancel);
VOID IoInitializeDpcRequest(PDEVICE_OBJECT DeviceObject, PIO_DPC_ROUTINE DpcRoutine);
VOID IoRequestDpc(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);

PVOID IoAllocateErrorLogEntry(PVOID IoObject, UCHAR EntrySize);
VOID IoWriteErrorLogEntry(PVOID ElEntry);
VOID IoFreeErrorLogEntry(PVOID ElEntry);

static inline PIO_STACK_LOCATION IoGetCurrentIrpStackLocation(PIRP Irp) {
  return Irp->Tail.Overlay.CurrentStackLocation;
}
static inline PIO_STACK_LOCATION IoGetNextIrpStackLocation(PIRP Irp) {
  return Irp->Tail.Overlay.CurrentStackLocation - 1;
}
static inline VOID IoSetNextIrpStackLocation(PIRP Irp) {
  Irp->CurrentLocation--;
  Irp->Tail.Overlay.CurrentStackLocation--;
}
static inline VOID IoSkipCurrentIrpStackLocation(PIRP Irp) {
  Irp->CurrentLocation++;
  Irp->Tail.Overlay.CurrentStackLocation++;
}
static inline VOID IoCopyCurrentIrpStackLocationToNext(PIRP Irp) {
  PIO_STACK_LOCATION current = IoGetCurrentIrpStackLocation(Irp);
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(Irp);
  memcpy(next, current, offsetof(IO_STACK_LOCATION, CompletionRoutine));
  next->Control = 0;
}
static inline VOID IoMarkIrpPending(PIRP Irp) {
  IoGetCurrentIrpStackLocation(Irp)->Control |= SL_PENDING_RETURNED;
}
static inline PDRIVER_CANCEL IoSetCancelRoutine(PIRP Irp, PDRIVER_CANCEL NewCancelRoutine) {
  return __atomic_exchange_n(&Irp->CancelRoutine, NewCancelRoutine, __ATOMIC_SEQ_CST);
}

/* --------------------------------------------------------- object manager */
extern POBJECT_TYPE *ExEventObjectType;
extern POBJECT_TYPE *IoFileObjectType;
NTSTATUS ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK DesiredAccess, POBJECT_TYPE ObjectType,
                                   KPROCESSOR_MODE AccessMode, PVOID *Object,
                                   POBJECT_HANDLE_INFORMATION HandleInformation);
LONG_PTR ObfReferenceObject(PVOID Object);
LONG_PTR ObfDereferenceObject(PVOID Object);
#define ObReferenceObject(o) ObfReferenceObject(o)
#define ObDereferenceObject(o) ObfDereferenceObject(o)
NTSTATUS ZwClose(HANDLE Handle);
NTSTATUS ZwSetValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName, ULONG TitleIndex, ULONG Type,
                       PVOID Data, ULONG DataSize);

/* ------------------------------------------------------------ power manager */
POWER_STATE PoSetPowerState(PDEVICE_OBJECT DeviceObject, POWER_STATE_TYPE Type, POWER_STATE State);
VOID PoStartNextPowerIrp(PIRP Irp);
NTSTATUS PoCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp);
/* Sends a new power request to the top of DeviceObject's stack from a system
 * thread; STATUS_PENDING when it was sent (CompletionFunction then runs). */
NTSTATUS PoRequestPowerIrp(PDEVICE_OBJECT DeviceObject, UCHAR MinorFunction, POWER_STATE PowerState,
                           PREQUEST_POWER_COMPLETE CompletionFunction, PVOID Context, PIRP *Irp);

WDM_END_DECLS

#ifdef __cplusplus
/* What ExRaiseStatus (and a kernel routine that raises, such as a failed
 * user-mode MmMapLockedPagesSpecifyCache) throws: the form __try/__except
 * takes in this kernel. */
struct KERNEL_EXCEPTION {
  NTSTATUS Status;
};
#endif

#endif

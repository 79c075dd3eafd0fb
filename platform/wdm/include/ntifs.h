/* The part of the installable-file-system kernel header that the card's
 * driver uses besides <ntddk.h>: attaching a thread to another process's
 * address space. */
#ifndef RM7X0_NTIFS_H
#define RM7X0_NTIFS_H
#include <ntddk.h>

typedef struct _KPROCESS *PRKPROCESS;

/* Opaque to drivers: where the thread returns when it detaches. */
typedef struct _KAPC_STATE {
  PEPROCESS attached_from;
  BOOLEAN attached;
} KAPC_STATE, *PKAPC_STATE, *PRKAPC_STATE;

WDM_BEGIN_DECLS
VOID KeStackAttachProcess(PRKPROCESS PROCESS, PRKAPC_STATE ApcState);
VOID KeUnstackDetachProcess(PRKAPC_STATE ApcState);
WDM_END_DECLS

#endif

/* The kernel subset for drivers that include <ntddk.h>: the same as <wdm.h>. */
#ifndef RM7X0_NTDDK_H
#define RM7X0_NTDDK_H
#include <wdm.h>
#endif

/* Included before every source of the Windows kernel driver, so that the
 * driver's sources compile unchanged against the MinGW-w64 DDK in C++:
 *  - its <wdm.h> defines InterlockedBitTestAndSet/Reset again after the
 *    compiler's intrinsic headers did; the intrinsic forms are left out;
 *  - its RTL_CONSTANT_STRING puts a string literal into the non-const Buffer
 *    of a UNICODE_STRING, which C++ forbids; the Windows DDK's own form casts. */
#ifndef RM7X0_DDK_COMPAT_H
#define RM7X0_DDK_COMPAT_H

#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <wdm.h>

#undef RTL_CONSTANT_STRING
#define RTL_CONSTANT_STRING(s) \
  { sizeof(s) - sizeof((s)[0]), sizeof(s), const_cast<PWSTR>(s) }

#endif

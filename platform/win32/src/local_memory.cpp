// Local heap: fixed blocks only, which is all the libraries allocate.
#include <windows.h>

#include <cstdlib>

#include "debug_channel.h"
#include "nt_status.h"

/***********************************************************************
 *           LocalAlloc   (KERNEL32)
 */
HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  if (uFlags & ~static_cast<UINT>(LPTR)) {
    TRACE(kernel32, "LocalAlloc: movable blocks (flags 0x%x) are not supported", uFlags);
    fail_with_error(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void *block = (uFlags & LMEM_ZEROINIT) ? std::calloc(1, uBytes ? uBytes : 1)
                                         : std::malloc(uBytes ? uBytes : 1);
  if (!block) fail_with_error(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

/***********************************************************************
 *           LocalFree   (KERNEL32)
 */
HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}

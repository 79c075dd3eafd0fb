/* Structured exception handling stand-in for stores into, and reads of, a
 * caller's memory. Where Windows code writes
 *
 *     __try { *count = n; } __except (EXCEPTION_EXECUTE_HANDLER) { return fault; }
 *
 * code here writes
 *
 *     if (!seh::try_store(count, n)) return fault;
 *
 * An address that is unmapped or not writable makes the copy fail (last error
 * ERROR_NOACCESS) where Windows would raise the access violation; the bytes
 * copied before the fault stay, as with __try around a copy loop. As with
 * structured exception handling, the success path costs no system call.
 * Thread-safe, and transparent to the sanitizers. */
#ifndef RM7X0_EXCPT_H
#define RM7X0_EXCPT_H

#include <stddef.h>

#define EXCEPTION_EXECUTE_HANDLER 1
#define EXCEPTION_CONTINUE_SEARCH 0
#define EXCEPTION_ACCESS_VIOLATION 0xC0000005u

#ifdef __cplusplus

namespace seh {

/* Copies size bytes into caller memory; false when the memory faults. */
__attribute__((visibility("default"))) bool try_copy_to(void *caller_memory, const void *source,
                                                        size_t size);
/* Copies size bytes out of caller memory; false when the memory faults. */
__attribute__((visibility("default"))) bool try_copy_from(void *destination,
                                                          const void *caller_memory, size_t size);

template <typename T>
bool try_store(T *caller_memory, const T &value) {
  return try_copy_to(caller_memory, &value, sizeof(T));
}

template <typename T>
bool try_load(T &value, const T *caller_memory) {
  return try_copy_from(&value, caller_memory, sizeof(T));
}

}  // namespace seh

#endif

#endif

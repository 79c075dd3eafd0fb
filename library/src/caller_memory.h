// Guarded stores into, and reads of, a caller's memory:
//
//     if (!seh::try_store(count, n)) return ERROR_ACCESS_VIOLATION_DATA_COPY;
//
// A bad address makes the copy fail instead of faulting the process. On Linux
// the platform's <excpt.h> carries the guard; on Windows, where <excpt.h> is the
// compiler's own, caller_memory_win32.cpp does.
#pragma once

#ifdef _WIN32
#include <cstddef>

namespace seh {

// Copies size bytes into caller memory; false when the memory faults.
bool try_copy_to(void *caller_memory, const void *source, size_t size);
// Copies size bytes out of caller memory; false when the memory faults.
bool try_copy_from(void *destination, const void *caller_memory, size_t size);

template <typename T>
bool try_store(T *caller_memory, const T &value) {
  return try_copy_to(caller_memory, &value, sizeof(T));
}

template <typename T>
bool try_load(T &value, const T *caller_memory) {
  return try_copy_from(&value, caller_memory, sizeof(T));
}

}  // namespace seh
#else
#include <excpt.h>
#endif

// Guarded copies to and from caller memory: the kernel copies on the process's
// behalf (process_vm_writev/readv on the own process), so a bad address comes
// back as EFAULT instead of a fault. No signal handler is involved, which keeps
// the guard thread-safe and out of the way of sanitizers.
#include <excpt.h>
#include <sys/uio.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>

#include "debug_channel.h"
#include "nt_status.h"

namespace {

enum class Direction { to_caller, from_caller };

bool kernel_copy(void *destination, const void *source, size_t size, Direction direction) {
  if (size == 0) return true;
  iovec local{}, remote{};
  if (direction == Direction::to_caller) {
    local = {const_cast<void *>(source), size};
    remote = {destination, size};
  } else {
    local = {destination, size};
    remote = {const_cast<void *>(source), size};
  }
  const pid_t self = getpid();
  const ssize_t copied = direction == Direction::to_caller
                             ? process_vm_writev(self, &local, 1, &remote, 1, 0)
                             : process_vm_readv(self, &local, 1, &remote, 1, 0);
  if (copied == static_cast<ssize_t>(size)) return true;
  TRACE(kernel32, "access violation %s %p (%zu bytes, errno %d)",
        direction == Direction::to_caller ? "writing" : "reading", remote.iov_base, size,
        copied < 0 ? errno : 0);
  fail_with_error(ERROR_NOACCESS);
  return false;
}

}  // namespace

namespace seh {

bool try_copy_to(void *caller_memory, const void *source, size_t size) {
  return kernel_copy(caller_memory, source, size, Direction::to_caller);
}

bool try_copy_from(void *destination, const void *caller_memory, size_t size) {
  return kernel_copy(destination, caller_memory, size, Direction::from_caller);
}

}  // namespace seh

// Guarded copies to and from caller memory, as structured exception handling
// guards them on Windows: the copy runs with a recovery point of its thread,
// and an access fault inside it jumps back there instead of ending the
// process. The success path is a plain copy, with no system call.
//
// A fault anywhere else goes on to the handler that was installed before ours
// (the sanitizers', Wine's, or the default action), so a handler installed
// later must chain to the one it replaces, as those do. Under ThreadSanitizer,
// which keeps SIGSEGV to itself, the kernel makes the copy instead.
#include <excpt.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/uio.h>
#include <unistd.h>
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "debug_channel.h"
#include "nt_status.h"

namespace {
#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer takes SIGSEGV for itself and does not let a handler jump out
// of it: under it the kernel makes the copy on the process's behalf instead,
// and a bad address comes back as EFAULT.
bool guarded_copy(void *destination, const void *source, size_t size, const void *caller_memory,
                  const char *what) {
  if (size == 0) return true;
  const bool writing = caller_memory == destination;
  iovec ours{writing ? const_cast<void *>(source) : destination, size};
  iovec callers{const_cast<void *>(caller_memory), size};
  const ssize_t copied = writing ? process_vm_writev(getpid(), &ours, 1, &callers, 1, 0)
                                 : process_vm_readv(getpid(), &ours, 1, &callers, 1, 0);
  if (copied == static_cast<ssize_t>(size)) return true;
  TRACE(kernel32, "access violation %s %p (%zu bytes)", what, caller_memory, size);
  fail_with_error(ERROR_NOACCESS);
  return false;
}
#else

// Where a fault inside a guarded copy of this thread resumes; nullptr outside.
// Initial-exec TLS: the signal handler must not call into the TLS resolver.
thread_local sigjmp_buf *t_recovery __attribute__((tls_model("initial-exec"))) = nullptr;

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS};
struct sigaction previous_handlers[2];

const struct sigaction &previous_handler_of(int signal_number) {
  return previous_handlers[signal_number == SIGSEGV ? 0 : 1];
}

// A fault outside our copies: what would have happened without us.
void pass_on(int signal_number, siginfo_t *info, void *context) {
  const struct sigaction &previous = previous_handler_of(signal_number);
  if (previous.sa_flags & SA_SIGINFO) {
    previous.sa_sigaction(signal_number, info, context);
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal_number);
  } else {
    // Returning re-runs the faulting instruction, which then takes the default action.
    signal(signal_number, SIG_DFL);
  }
}

void on_access_fault(int signal_number, siginfo_t *info, void *context) {
  if (sigjmp_buf *recovery = t_recovery) siglongjmp(*recovery, 1);
  pass_on(signal_number, info, context);
}

void install_handlers() {
  struct sigaction ours {};
  ours.sa_sigaction = on_access_fault;
  // SA_NODEFER: the jump back leaves the handler without restoring the signal
  // mask (restoring it is a system call), so the signal must not be blocked.
  ours.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
  sigemptyset(&ours.sa_mask);
  for (int i = 0; i < 2; ++i) sigaction(kFaultSignals[i], &ours, &previous_handlers[i]);
}

// Byte by byte, uninstrumented: the sanitizers must not look at an address
// before the processor does, and the compiler must not turn it into memcpy.
__attribute__((no_sanitize("address", "thread", "undefined"), noinline)) void copy_bytes(
    volatile unsigned char *destination, const volatile unsigned char *source, size_t size) {
  for (size_t i = 0; i < size; ++i) destination[i] = source[i];
}

bool guarded_copy(void *destination, const void *source, size_t size, const void *caller_memory,
                  const char *what) {
  if (size == 0) return true;
  static const bool installed = (install_handlers(), true);  // once; later calls only test a flag
  (void)installed;
  sigjmp_buf recovery;
  sigjmp_buf *const outer = t_recovery;
  if (sigsetjmp(recovery, 0) != 0) {
    t_recovery = outer;
    TRACE(kernel32, "access violation %s %p (%zu bytes)", what, caller_memory, size);
    fail_with_error(ERROR_NOACCESS);
    return false;
  }
  t_recovery = &recovery;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  copy_bytes(static_cast<volatile unsigned char *>(destination),
             static_cast<const volatile unsigned char *>(source), size);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  t_recovery = outer;
  return true;
}
#endif

}  // namespace

namespace seh {

bool try_copy_to(void *caller_memory, const void *source, size_t size) {
  return guarded_copy(caller_memory, source, size, caller_memory, "writing");
}

bool try_copy_from(void *destination, const void *caller_memory, size_t size) {
  return guarded_copy(destination, caller_memory, size, caller_memory, "reading");
}

}  // namespace seh

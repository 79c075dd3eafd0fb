// The kernel's checks of its callers, in the manner of Driver Verifier: a
// broken rule ends the process with a message that names it.
#include <cstdio>
#include <cstdlib>

#include "kernel.h"

namespace kernel {

void verifier_fail(const char* rule, const char* format, ...) {
  std::fprintf(stderr, "wdm verifier: %s: ", rule);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  std::abort();
}

void require_irql_at_most(KIRQL highest, const char* routine) {
  const KIRQL now = KeGetCurrentIrql();
  if (now > highest)
    verifier_fail("IRQL too high", "%s called at IRQL %u (at most %u allowed)", routine, now, highest);
}

void require_irql_at_least(KIRQL lowest, const char* routine) {
  const KIRQL now = KeGetCurrentIrql();
  if (now < lowest)
    verifier_fail("IRQL too low", "%s called at IRQL %u (at least %u required)", routine, now, lowest);
}

}  // namespace kernel

/* ntoskrnl */
VOID ExRaiseStatus(NTSTATUS Status) { throw KERNEL_EXCEPTION{Status}; }

namespace kernel {

void fail_unhandled_raise(const KERNEL_EXCEPTION& raised, const char* where) {
  verifier_fail("kernel exception not handled", "status 0x%08x raised in %s and no guard took it",
                static_cast<unsigned>(raised.Status), where);
}

}  // namespace kernel

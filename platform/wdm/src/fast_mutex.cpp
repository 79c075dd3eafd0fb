// Fast mutexes: held at APC_LEVEL; an owner that acquires again or a thread
// that releases another's mutex is caught.
#include "kernel.h"

/* ntoskrnl */
VOID ExInitializeFastMutex(PFAST_MUTEX FastMutex) {
  memset(FastMutex, 0, sizeof *FastMutex);
  FastMutex->Count = 1;
  KeInitializeEvent(&FastMutex->Event, SynchronizationEvent, FALSE);
}

static bool try_take(PFAST_MUTEX mutex, PKTHREAD me) {
  if (mutex->Count != 1) return false;
  mutex->Count = 0;
  __atomic_store_n(&mutex->Owner, me, __ATOMIC_RELAXED);  /* read by check_acquire unlocked */
  return true;
}

static void check_acquire(PFAST_MUTEX mutex, const char* routine) {
  kernel::require_irql_at_most(APC_LEVEL, routine);
  if (__atomic_load_n(&mutex->Owner, __ATOMIC_RELAXED) == KeGetCurrentThread())
    kernel::verifier_fail("fast mutex acquired recursively", "%s on %p", routine,
                          static_cast<void*>(mutex));
}

/* ntoskrnl */
VOID ExAcquireFastMutex(PFAST_MUTEX FastMutex) {
  check_acquire(FastMutex, "ExAcquireFastMutex");
  KIRQL old;
  KeRaiseIrql(APC_LEVEL, &old);
  PKTHREAD me = KeGetCurrentThread();
  kernel::dispatcher_wait_until([&] { return try_take(FastMutex, me); });
  FastMutex->OldIrql = old;
}

/* ntoskrnl */
BOOLEAN ExTryToAcquireFastMutex(PFAST_MUTEX FastMutex) {
  check_acquire(FastMutex, "ExTryToAcquireFastMutex");
  KIRQL old;
  KeRaiseIrql(APC_LEVEL, &old);
  bool taken = false;
  PKTHREAD me = KeGetCurrentThread();
  kernel::dispatcher_update([&] { taken = try_take(FastMutex, me); });
  if (!taken) {
    KeLowerIrql(old);
    return FALSE;
  }
  FastMutex->OldIrql = old;
  return TRUE;
}

/* ntoskrnl */
VOID ExReleaseFastMutex(PFAST_MUTEX FastMutex) {
  if (FastMutex->Owner != KeGetCurrentThread())
    kernel::verifier_fail("fast mutex released by a thread that does not own it", "mutex %p",
                          static_cast<void*>(FastMutex));
  if (KeGetCurrentIrql() != APC_LEVEL)
    kernel::verifier_fail("IRQL changed under a fast mutex", "released at IRQL %u",
                          KeGetCurrentIrql());
  const auto old = static_cast<KIRQL>(FastMutex->OldIrql);
  kernel::dispatcher_update([&] {
    __atomic_store_n(&FastMutex->Owner, nullptr, __ATOMIC_RELAXED);
    FastMutex->Count = 1;
  });
  KeLowerIrql(old);
}

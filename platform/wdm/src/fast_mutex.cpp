// Fast mutexes, as the real kernel has them: Count is 1 when free and falls
// below 0 by one for each waiter; an uncontended acquire or release is one
// interlocked operation, and only a contended one waits on (or sets) the
// mutex's synchronization event. Held at APC_LEVEL; an owner that acquires
// again or a thread that releases another's mutex is caught.
#include "kernel.h"

/* ntoskrnl */
VOID ExInitializeFastMutex(PFAST_MUTEX FastMutex) {
  memset(FastMutex, 0, sizeof *FastMutex);
  FastMutex->Count = 1;
  KeInitializeEvent(&FastMutex->Event, SynchronizationEvent, FALSE);
}

static void check_acquire(PFAST_MUTEX mutex, const char* routine) {
  kernel::require_irql_at_most(APC_LEVEL, routine);
  if (__atomic_load_n(&mutex->Owner, __ATOMIC_RELAXED) == KeGetCurrentThread())
    kernel::verifier_fail("fast mutex acquired recursively", "%s on %p", routine,
                          static_cast<void*>(mutex));
}

static void take(PFAST_MUTEX mutex, KIRQL old) {
  __atomic_store_n(&mutex->Owner, KeGetCurrentThread(), __ATOMIC_RELAXED);  // read unlocked
  mutex->OldIrql = old;
}

/* ntoskrnl */
VOID ExAcquireFastMutex(PFAST_MUTEX FastMutex) {
  check_acquire(FastMutex, "ExAcquireFastMutex");
  KIRQL old;
  KeRaiseIrql(APC_LEVEL, &old);
  if (__atomic_sub_fetch(&FastMutex->Count, 1, __ATOMIC_ACQUIRE) != 0) {
    __atomic_add_fetch(&FastMutex->Contention, 1, __ATOMIC_RELAXED);
    KeWaitForSingleObject(&FastMutex->Event, Executive, KernelMode, FALSE, nullptr);
  }
  take(FastMutex, old);
}

/* ntoskrnl */
BOOLEAN ExTryToAcquireFastMutex(PFAST_MUTEX FastMutex) {
  check_acquire(FastMutex, "ExTryToAcquireFastMutex");
  KIRQL old;
  KeRaiseIrql(APC_LEVEL, &old);
  LONG free = 1;
  if (!__atomic_compare_exchange_n(&FastMutex->Count, &free, 0, false, __ATOMIC_ACQUIRE,
                                   __ATOMIC_RELAXED)) {
    KeLowerIrql(old);
    return FALSE;
  }
  take(FastMutex, old);
  return TRUE;
}

/* ntoskrnl */
VOID ExReleaseFastMutex(PFAST_MUTEX FastMutex) {
  if (__atomic_load_n(&FastMutex->Owner, __ATOMIC_RELAXED) != KeGetCurrentThread())
    kernel::verifier_fail("fast mutex released by a thread that does not own it", "mutex %p",
                          static_cast<void*>(FastMutex));
  if (KeGetCurrentIrql() != APC_LEVEL)
    kernel::verifier_fail("IRQL changed under a fast mutex", "released at IRQL %u",
                          KeGetCurrentIrql());
  const auto old = static_cast<KIRQL>(FastMutex->OldIrql);
  __atomic_store_n(&FastMutex->Owner, nullptr, __ATOMIC_RELAXED);
  // Below 1 after the increment: a thread waits, and the event hands it the mutex.
  if (__atomic_add_fetch(&FastMutex->Count, 1, __ATOMIC_RELEASE) != 1)
    KeSetEvent(&FastMutex->Event, IO_NO_INCREMENT, FALSE);
  KeLowerIrql(old);
}

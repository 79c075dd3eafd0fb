// Spin locks: the lock word holds its owner's thread, so a recursive
// acquisition or a release by another thread is caught instead of hanging.
#include <thread>

#include "kernel.h"

namespace kernel {

void spin_acquire(PKSPIN_LOCK lock) {
  const auto me = reinterpret_cast<KSPIN_LOCK>(KeGetCurrentThread());
  for (;;) {
    KSPIN_LOCK expected = 0;
    if (__atomic_compare_exchange_n(lock, &expected, me, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED))
      break;
    if (expected == me)
      verifier_fail("spin lock acquired recursively", "the thread already holds spin lock %p",
                    static_cast<void*>(lock));
    std::this_thread::yield();  // the owner may have been preempted: this is no real processor
  }
  ++spin_locks_held();
}

void spin_release(PKSPIN_LOCK lock) {
  const auto me = reinterpret_cast<KSPIN_LOCK>(KeGetCurrentThread());
  if (__atomic_load_n(lock, __ATOMIC_RELAXED) != me)
    verifier_fail("spin lock released by a thread that does not hold it", "spin lock %p",
                  static_cast<void*>(lock));
  --spin_locks_held();
  __atomic_store_n(lock, 0, __ATOMIC_RELEASE);
}

bool spin_held_by_caller(PKSPIN_LOCK lock) {
  return __atomic_load_n(lock, __ATOMIC_RELAXED) ==
         reinterpret_cast<KSPIN_LOCK>(KeGetCurrentThread());
}

}  // namespace kernel

/* ntoskrnl */
VOID KeInitializeSpinLock(PKSPIN_LOCK SpinLock) { *SpinLock = 0; }

/* ntoskrnl */
VOID KeAcquireSpinLock(PKSPIN_LOCK SpinLock, PKIRQL OldIrql) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "KeAcquireSpinLock");
  KeRaiseIrql(DISPATCH_LEVEL, OldIrql);
  kernel::spin_acquire(SpinLock);
}

/* ntoskrnl */
VOID KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql) {
  kernel::spin_release(SpinLock);
  KeLowerIrql(NewIrql);
}

/* ntoskrnl */
VOID KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK SpinLock) {
  kernel::require_irql_at_least(DISPATCH_LEVEL, "KeAcquireSpinLockAtDpcLevel");
  kernel::spin_acquire(SpinLock);
}

/* ntoskrnl */
VOID KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK SpinLock) {
  kernel::require_irql_at_least(DISPATCH_LEVEL, "KeReleaseSpinLockFromDpcLevel");
  kernel::spin_release(SpinLock);
}

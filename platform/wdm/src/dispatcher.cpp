// Dispatcher objects (events, timers) and waits on them. One lock for all of
// them, as the dispatcher lock of the real kernel; each waiting thread has a
// wait block and wakes only when one of its objects is signalled or its
// timeout (on the machine's clock) passes.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "kernel.h"
#include "sim_kernel.h"

namespace {

std::mutex dispatcher_lock;

struct WaitBlock {
  WaitBlock(ULONG n, PVOID* list) : count(n), objects(list) {}
  const ULONG count;
  PVOID* const objects;
  bool timed_out = false;
  std::condition_variable wake;
};
std::vector<WaitBlock*> wait_blocks;  // under the dispatcher lock

// Under the dispatcher lock: the threads waiting on a signalled object look
// again; the others sleep on.
void wake_waiters_of(const DISPATCHER_HEADER* header) {
  if (header->SignalState <= 0) return;
  for (WaitBlock* block : wait_blocks) {
    if (std::find(block->objects, block->objects + block->count, header) != block->objects + block->count)
      block->wake.notify_one();
  }
}

void check_dispatcher_object(const DISPATCHER_HEADER* header, const char* routine) {
  switch (header->Type) {
    case kernel::kEventNotification:
    case kernel::kEventSynchronization:
    case kernel::kTimerNotification:
    case kernel::kTimerSynchronization:
      return;
    default:
      kernel::verifier_fail("wait on an object that is not a dispatcher object",
                            "%s on %p (type %u)", routine, static_cast<const void*>(header),
                            header->Type);
  }
}

bool auto_resets(const DISPATCHER_HEADER* header) {
  return header->Type == kernel::kEventSynchronization ||
         header->Type == kernel::kTimerSynchronization;
}

void consume(DISPATCHER_HEADER* header) {
  if (auto_resets(header)) header->SignalState = 0;
}

// Under the dispatcher lock: satisfies the wait when it can.
bool try_satisfy(ULONG count, PVOID objects[], WAIT_TYPE type, NTSTATUS* status) {
  auto header = [&](ULONG i) { return static_cast<DISPATCHER_HEADER*>(objects[i]); };
  if (type == WaitAny) {
    for (ULONG i = 0; i < count; ++i) {
      if (header(i)->SignalState > 0) {
        consume(header(i));
        *status = STATUS_WAIT_0 + static_cast<NTSTATUS>(i);
        return true;
      }
    }
    return false;
  }
  for (ULONG i = 0; i < count; ++i)
    if (header(i)->SignalState <= 0) return false;
  for (ULONG i = 0; i < count; ++i) consume(header(i));
  *status = STATUS_SUCCESS;
  return true;
}

void check_wait_irql(PLARGE_INTEGER timeout, const char* routine) {
  const KIRQL irql = KeGetCurrentIrql();
  if (irql > DISPATCH_LEVEL || (irql == DISPATCH_LEVEL && (!timeout || timeout->QuadPart != 0)))
    kernel::verifier_fail("wait at DISPATCH_LEVEL or above",
                          "%s with a non-zero timeout at IRQL %u", routine, irql);
}

}  // namespace

namespace kernel {

void signal_object(DISPATCHER_HEADER* header) { set_signal_state(header, 1); }

void set_signal_state(DISPATCHER_HEADER* header, LONG state) {
  std::lock_guard<std::mutex> lock(dispatcher_lock);
  header->SignalState = state;
  wake_waiters_of(header);
}

NTSTATUS wait_for_objects(ULONG count, PVOID objects[], WAIT_TYPE type, PLARGE_INTEGER timeout) {
  std::unique_lock<std::mutex> lock(dispatcher_lock);
  NTSTATUS status;
  if (try_satisfy(count, objects, type, &status)) return status;
  if (timeout && timeout->QuadPart == 0) return STATUS_TIMEOUT;

  WaitBlock block(count, objects);
  card::TimerId timer = 0;
  card::Clock* time = clock();
  if (timeout) {
    // The clock's callback takes the dispatcher lock: schedule and cancel
    // without holding it (cancel returns once a running callback is done).
    lock.unlock();
    timer = time->schedule(due_to_clock(timeout->QuadPart), [&block] {
      std::lock_guard<std::mutex> timeout_lock(dispatcher_lock);
      block.timed_out = true;
      block.wake.notify_one();
    });
    lock.lock();
  }
  wait_blocks.push_back(&block);
  for (;;) {
    if (try_satisfy(count, objects, type, &status)) break;
    if (block.timed_out) {
      status = STATUS_TIMEOUT;
      break;
    }
    block.wake.wait(lock);
  }
  wait_blocks.erase(std::find(wait_blocks.begin(), wait_blocks.end(), &block));
  lock.unlock();
  if (timeout) time->cancel(timer);
  return status;
}

}  // namespace kernel

namespace sim {

std::size_t waiting_threads() {
  std::lock_guard<std::mutex> lock(dispatcher_lock);
  return wait_blocks.size();
}

}  // namespace sim

/* ntoskrnl */
VOID KeInitializeEvent(PRKEVENT Event, EVENT_TYPE Type, BOOLEAN State) {
  memset(Event, 0, sizeof *Event);
  Event->Header.Type = Type == SynchronizationEvent ? kernel::kEventSynchronization
                                                    : kernel::kEventNotification;
  Event->Header.SignalState = State ? 1 : 0;
}

/* ntoskrnl */
LONG KeSetEvent(PRKEVENT Event, KPRIORITY Increment, BOOLEAN Wait) {
  (void)Increment;
  // With Wait, a wait follows at once: the caller must be able to wait.
  kernel::require_irql_at_most(Wait ? APC_LEVEL : DISPATCH_LEVEL, "KeSetEvent");
  std::lock_guard<std::mutex> lock(dispatcher_lock);
  const LONG previous = Event->Header.SignalState;
  Event->Header.SignalState = 1;
  wake_waiters_of(&Event->Header);
  return previous;
}

/* ntoskrnl */
LONG KeResetEvent(PRKEVENT Event) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "KeResetEvent");
  std::lock_guard<std::mutex> lock(dispatcher_lock);
  const LONG previous = Event->Header.SignalState;
  Event->Header.SignalState = 0;
  return previous;
}

/* ntoskrnl */
VOID KeClearEvent(PRKEVENT Event) { KeResetEvent(Event); }

/* ntoskrnl */
LONG KeReadStateEvent(PRKEVENT Event) {
  std::lock_guard<std::mutex> lock(dispatcher_lock);
  return Event->Header.SignalState;
}

/* ntoskrnl */
NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                               BOOLEAN Alertable, PLARGE_INTEGER Timeout) {
  return KeWaitForMultipleObjects(1, &Object, WaitAny, WaitReason, WaitMode, Alertable, Timeout,
                                  nullptr);
}

/* ntoskrnl */
NTSTATUS KeWaitForMultipleObjects(ULONG Count, PVOID Object[], WAIT_TYPE WaitType,
                                  KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                                  BOOLEAN Alertable, PLARGE_INTEGER Timeout,
                                  PKWAIT_BLOCK WaitBlockArray) {
  (void)WaitReason;
  (void)WaitMode;
  (void)Alertable;
  check_wait_irql(Timeout, "KeWaitForMultipleObjects");
  if (Count == 0 || Count > MAXIMUM_WAIT_OBJECTS ||
      (Count > THREAD_WAIT_OBJECTS && WaitBlockArray == nullptr))
    kernel::verifier_fail("bad wait", "KeWaitForMultipleObjects of %u objects, wait blocks %p",
                          Count, static_cast<void*>(WaitBlockArray));
  for (ULONG i = 0; i < Count; ++i)
    check_dispatcher_object(static_cast<DISPATCHER_HEADER*>(Object[i]), "KeWaitForMultipleObjects");
  return kernel::wait_for_objects(Count, Object, WaitType, Timeout);
}

/* ntoskrnl */
NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                PLARGE_INTEGER Interval) {
  (void)WaitMode;
  (void)Alertable;
  kernel::require_irql_at_most(APC_LEVEL, "KeDelayExecutionThread");
  card::Clock* time = kernel::clock();
  const card::SimTime due = kernel::due_to_clock(Interval->QuadPart);
  const card::SimTime now = time->now();
  // A manual clock moves only when told: the delay itself moves it.
  if (due > now && kernel::advance_manual_clock(due - now)) return STATUS_SUCCESS;
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  LARGE_INTEGER timeout = *Interval;
  PVOID objects[1] = {&done};
  kernel::wait_for_objects(1, objects, WaitAny, &timeout);
  return STATUS_SUCCESS;
}

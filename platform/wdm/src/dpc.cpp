// Deferred procedure calls: one queue, served at DISPATCH_LEVEL by one DPC
// thread per processor of the machine. A DPC already queued is not queued
// again; once dequeued it may be queued again and run on another processor
// while it still runs, and DPCs of one device run at the same time, as on a
// multiprocessor Windows machine.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>
#include <algorithm>

#include "kernel.h"

namespace {

std::mutex queue_lock;
std::condition_variable queue_changed;
std::deque<PKDPC> queue;
unsigned running = 0;  // DPCs running now, on any processor
bool stopping = false;
std::vector<std::thread> processors;
char queued_marker;  // DpcData of a queued DPC points here

// What one run of a DPC calls, taken while it is dequeued: once dequeued it
// may be queued again, with new arguments, before it runs.
struct DpcCall {
  PKDPC dpc;
  PKDEFERRED_ROUTINE routine;
  PVOID context;
  PVOID argument1;
  PVOID argument2;
};

void run(const DpcCall& call) {
  PKDEFERRED_ROUTINE routine = call.routine;
  kernel::set_irql(DISPATCH_LEVEL);
  try {
    routine(call.dpc, call.context, call.argument1, call.argument2);
  } catch (const KERNEL_EXCEPTION& raised) {
    kernel::fail_unhandled_raise(raised, "a DPC routine");
  }
  if (KeGetCurrentIrql() != DISPATCH_LEVEL || kernel::spin_locks_held() != 0)
    kernel::verifier_fail("DPC routine returned with a changed IRQL or a spin lock held",
                          "routine %p returned at IRQL %u holding %d spin locks",
                          reinterpret_cast<void*>(routine), KeGetCurrentIrql(),
                          kernel::spin_locks_held());
  kernel::set_irql(PASSIVE_LEVEL);
}

void dpc_loop() {
  kernel::become_system_thread();
  std::unique_lock<std::mutex> lock(queue_lock);
  for (;;) {
    queue_changed.wait(lock, [] { return stopping || !queue.empty(); });
    if (queue.empty()) return;  // stopping with nothing left to run
    PKDPC dpc = queue.front();
    queue.pop_front();
    const DpcCall call{dpc, dpc->DeferredRoutine, dpc->DeferredContext, dpc->SystemArgument1,
                       dpc->SystemArgument2};
    dpc->DpcData = nullptr;  // it may be queued again from here on
    ++running;
    lock.unlock();
    run(call);
    lock.lock();
    --running;
    queue_changed.notify_all();
  }
}

}  // namespace

namespace kernel {

void dpc_start(unsigned processor_count) {
  std::lock_guard<std::mutex> lock(queue_lock);
  stopping = false;
  for (unsigned i = 0; i < std::max(processor_count, 1u); ++i) processors.emplace_back(dpc_loop);
}

void dpc_stop() {
  {
    std::lock_guard<std::mutex> lock(queue_lock);
    stopping = true;
  }
  queue_changed.notify_all();
  for (std::thread& processor : processors) processor.join();
  processors.clear();
}

bool dpc_idle() {
  std::lock_guard<std::mutex> lock(queue_lock);
  return queue.empty() && running == 0;
}

void dpc_check_none_queued_in(const void* begin, std::size_t length, const char* what) {
  std::lock_guard<std::mutex> lock(queue_lock);
  const auto* low = static_cast<const char*>(begin);
  for (PKDPC dpc : queue) {
    const auto* at = reinterpret_cast<const char*>(dpc);
    if (at >= low && at < low + length)
      verifier_fail("memory freed with a DPC still queued in it", "%s holds queued DPC %p", what,
                    static_cast<void*>(dpc));
  }
}

}  // namespace kernel

/* ntoskrnl */
VOID KeInitializeDpc(PRKDPC Dpc, PKDEFERRED_ROUTINE DeferredRoutine, PVOID DeferredContext) {
  memset(Dpc, 0, sizeof *Dpc);
  Dpc->Type = 19;  // DpcObject
  Dpc->Importance = MediumImportance;
  Dpc->DeferredRoutine = DeferredRoutine;
  Dpc->DeferredContext = DeferredContext;
}

/* ntoskrnl */
BOOLEAN KeInsertQueueDpc(PRKDPC Dpc, PVOID SystemArgument1, PVOID SystemArgument2) {
  if (Dpc->DeferredRoutine == nullptr)
    kernel::verifier_fail("DPC not initialised", "KeInsertQueueDpc of %p", static_cast<void*>(Dpc));
  {
    std::lock_guard<std::mutex> lock(queue_lock);
    if (Dpc->DpcData != nullptr) return FALSE;
    Dpc->DpcData = &queued_marker;
    Dpc->SystemArgument1 = SystemArgument1;
    Dpc->SystemArgument2 = SystemArgument2;
    queue.push_back(Dpc);
  }
  queue_changed.notify_all();
  return TRUE;
}

/* ntoskrnl */
BOOLEAN KeRemoveQueueDpc(PRKDPC Dpc) {
  std::lock_guard<std::mutex> lock(queue_lock);
  if (Dpc->DpcData == nullptr) return FALSE;
  std::erase(queue, Dpc);
  Dpc->DpcData = nullptr;
  return TRUE;
}

/* ntoskrnl */
VOID KeFlushQueuedDpcs(void) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "KeFlushQueuedDpcs");
  std::unique_lock<std::mutex> lock(queue_lock);
  queue_changed.wait(lock, [] { return queue.empty() && running == 0; });
}

// Deferred procedure calls: one queue, served at DISPATCH_LEVEL by one DPC
// thread per processor of the machine, and by a thread that took an interrupt
// as its IRQL falls; never more at once than the machine has processors. A
// DPC already queued is not queued again; once dequeued it may be queued again
// and run on another processor while it still runs, and DPCs of one device run
// at the same time, as on a multiprocessor Windows machine.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>
#include <algorithm>

#include "kernel.h"

namespace {

kernel::BriefLock queue_lock;
std::condition_variable_any queue_changed;
// A DPC queued by a thread while it takes an interrupt is that thread's, as
// on the processor's own queue: the others leave it to that thread unless it
// finds every processor busy.
struct Queued {
  PKDPC dpc;
  std::thread::id taker;  // none: any processor runs it
};
std::deque<Queued> queue;
unsigned running = 0;  // DPCs running now, on any processor
std::vector<PKDPC> running_dpcs;  // their DPC objects, under queue_lock
unsigned processor_count = 1;
bool stopping = false;
std::vector<std::thread> processors;
char queued_marker;  // DpcData of a queued DPC points here
thread_local bool t_dpcs_run_here = false;

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

bool processor_free() { return running < processor_count; }

// Under queue_lock: the first DPC queued for `taker` (none: for any processor).
std::deque<Queued>::iterator first_for(std::thread::id taker) {
  return std::find_if(queue.begin(), queue.end(), [taker](const Queued& q) { return q.taker == taker; });
}

// Under queue_lock, with a processor free: runs a queued DPC.
void run_queued(std::unique_lock<kernel::BriefLock>& lock, std::deque<Queued>::iterator at) {
  PKDPC dpc = at->dpc;
  queue.erase(at);
  const DpcCall call{dpc, dpc->DeferredRoutine, dpc->DeferredContext, dpc->SystemArgument1,
                     dpc->SystemArgument2};
  dpc->DpcData = nullptr;  // it may be queued again from here on
  ++running;
  running_dpcs.push_back(dpc);
  lock.unlock();
  run(call);
  lock.lock();
  --running;
  running_dpcs.erase(std::find(running_dpcs.begin(), running_dpcs.end(), dpc));
  queue_changed.notify_all();
}

void dpc_loop() {
  kernel::become_system_thread();
  std::unique_lock<kernel::BriefLock> lock(queue_lock);
  for (;;) {
    queue_changed.wait(lock, [] {
      return (stopping && queue.empty()) || (processor_free() && first_for({}) != queue.end());
    });
    if (queue.empty()) return;  // stopping with nothing left to run
    run_queued(lock, first_for({}));
  }
}

}  // namespace

namespace kernel {

void dpc_start(unsigned processors_of_machine) {
  std::lock_guard<kernel::BriefLock> lock(queue_lock);
  stopping = false;
  processor_count = std::max(processors_of_machine, 1u);
  for (unsigned i = 0; i < processor_count; ++i) processors.emplace_back(dpc_loop);
}

DpcsRunHere::DpcsRunHere() { t_dpcs_run_here = true; }

DpcsRunHere::~DpcsRunHere() {
  t_dpcs_run_here = false;
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<kernel::BriefLock> lock(queue_lock);
  for (auto mine = first_for(me); mine != queue.end() && processor_free(); mine = first_for(me))
    run_queued(lock, mine);
  bool left = false;
  for (Queued& q : queue)
    if (q.taker == me) {
      q.taker = {};  // every processor was busy: the first free one runs it
      left = true;
    }
  if (left) queue_changed.notify_all();
}

void dpc_stop() {
  {
    std::lock_guard<kernel::BriefLock> lock(queue_lock);
    stopping = true;
  }
  queue_changed.notify_all();
  for (std::thread& processor : processors) processor.join();
  processors.clear();
}

bool dpc_idle() {
  std::lock_guard<kernel::BriefLock> lock(queue_lock);
  return queue.empty() && running == 0;
}

void dpc_check_none_queued_in(const void* begin, std::size_t length, const char* what) {
  std::lock_guard<kernel::BriefLock> lock(queue_lock);
  const auto* low = static_cast<const char*>(begin);
  for (const Queued& q : queue) {
    PKDPC dpc = q.dpc;
    const auto* at = reinterpret_cast<const char*>(dpc);
    if (at >= low && at < low + length)
      verifier_fail("memory freed with a DPC still queued in it", "%s holds queued DPC %p", what,
                    static_cast<void*>(dpc));
  }
  for (PKDPC dpc : running_dpcs) {
    const auto* at = reinterpret_cast<const char*>(dpc);
    if (at >= low && at < low + length)
      verifier_fail("memory freed while a DPC in it runs", "%s holds running DPC %p", what,
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
    std::lock_guard<kernel::BriefLock> lock(queue_lock);
    if (Dpc->DpcData != nullptr) return FALSE;
    Dpc->DpcData = &queued_marker;
    Dpc->SystemArgument1 = SystemArgument1;
    Dpc->SystemArgument2 = SystemArgument2;
    queue.push_back({Dpc, t_dpcs_run_here ? std::this_thread::get_id() : std::thread::id{}});
  }
  if (!t_dpcs_run_here) queue_changed.notify_all();
  return TRUE;
}

/* ntoskrnl */
BOOLEAN KeRemoveQueueDpc(PRKDPC Dpc) {
  std::lock_guard<kernel::BriefLock> lock(queue_lock);
  if (Dpc->DpcData == nullptr) return FALSE;
  std::erase_if(queue, [Dpc](const Queued& q) { return q.dpc == Dpc; });
  Dpc->DpcData = nullptr;
  return TRUE;
}

/* ntoskrnl */
VOID KeFlushQueuedDpcs(void) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "KeFlushQueuedDpcs");
  std::unique_lock<kernel::BriefLock> lock(queue_lock);
  queue_changed.wait(lock, [] { return queue.empty() && running == 0; });
}

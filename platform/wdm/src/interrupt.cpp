// Interrupt objects and the delivery of PCI interrupt lines. A line is taken
// by the thread that raised it, as by a processor: the card's clock thread at
// a drive's end, a thread whose register access raised it. At PASSIVE_LEVEL
// it is taken at once, else as the thread's IRQL falls there; the chain of
// service routines runs at device IRQL under each one's spin lock, then the
// DPCs they queued run on the same thread. Meanwhile each connected vector's
// own thread serves what is not taken, as another processor would. A line
// that no routine claims many times in a row is reported once and masked, so
// an interrupt storm neither hangs the machine nor spins a processor.
#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "kernel.h"

struct _KINTERRUPT {
  PKSERVICE_ROUTINE service_routine;
  PVOID service_context;
  KSPIN_LOCK own_lock;
  PKSPIN_LOCK lock;
  KIRQL irql;
  KIRQL synchronize_irql;
  ULONG vector;
  bool shared;
};

namespace {

constexpr unsigned kStormLimit = 1000;  // unclaimed services in a row
constexpr unsigned kPassesTakenAtOnce = 4;  // then the line's thread goes on
constexpr ULONG kVectorBase = 0x50;
constexpr KIRQL kLowestDeviceIrql = 3;

struct Line {
  ULONG vector = 0;
  std::vector<card::PciFunction*> sources;
  std::vector<PKINTERRUPT> chain;
  kernel::BriefLock lock;
  // Two wake-ups, so that a pass taken on the raising thread does not wake
  // the idle line thread (on a busy host, a needless switch in the middle of
  // the interrupt path): `kick` for the line thread's idle wait, `pass_done`
  // for a thread waiting for a pass of the chain to end.
  std::condition_variable_any kick;
  std::condition_variable_any pass_done;
  std::thread thread;
  bool stop = false;
  bool kicked = false;
  bool masked = false;
  bool servicing = false;  // a pass of the chain runs, on this line's thread or another
  unsigned unclaimed_in_row = 0;
  unsigned claimed_but_asserted_in_row = 0;
  unsigned passes = 0;
};

kernel::BriefLock lines_lock;
std::map<ULONG, std::unique_ptr<Line>> lines;
bool connect_fails = false;

bool asserted(Line& line) {
  for (card::PciFunction* source : line.sources)
    if (source->interrupt_asserted()) return true;
  return false;
}

bool claim(PKINTERRUPT interrupt) {
  KIRQL old = KeGetCurrentIrql();
  kernel::set_irql(interrupt->irql);
  kernel::spin_acquire(interrupt->lock);
  const BOOLEAN claimed = interrupt->service_routine(interrupt, interrupt->service_context);
  if (KeGetCurrentIrql() != interrupt->irql || kernel::spin_locks_held() != 1)
    kernel::verifier_fail("service routine returned with a changed IRQL or a spin lock held",
                          "ISR %p", reinterpret_cast<void*>(interrupt->service_routine));
  kernel::spin_release(interrupt->lock);
  kernel::set_irql(old);
  return claimed;
}

// Under line.lock: after a pass of the chain. A routine that claims the
// interrupt must have quieted its device: one that claims while the line
// stays asserted pass after pass says "mine" for an interrupt it did not
// serve (perhaps another device's on a shared line), and the processor
// would never leave the line.
void account(Line& line, bool claimed) {
  if (claimed) {
    line.unclaimed_in_row = 0;
    line.claimed_but_asserted_in_row = asserted(line) ? line.claimed_but_asserted_in_row + 1 : 0;
    if (line.claimed_but_asserted_in_row >= kStormLimit)
      kernel::verifier_fail("service routine claims an interrupt that stays asserted",
                            "vector 0x%x claimed %u times in a row and never released", line.vector,
                            line.claimed_but_asserted_in_row);
    return;
  }
  if (++line.unclaimed_in_row < kStormLimit) return;
  line.masked = true;
  kernel::kernel_message("interrupt storm on vector 0x%x: the line stays asserted and no "
                         "service routine claims it; the line is masked\n", line.vector);
}

// What the calling thread does with interrupts it raises.
enum class Taker {
  Processor,  // takes them itself once its IRQL allows
  Taking,     // is taking some now: they wait in its list for that to end
  LineThread  // a line's own thread: its loop looks again
};
thread_local Taker t_taker = Taker::Processor;
thread_local Line* t_own_line = nullptr;  // of a line's thread
// Vectors of the lines raised here and not yet taken (a vector, not the line:
// the machine may be shut down meanwhile).
thread_local std::vector<ULONG> t_pending;

Line* line_of(ULONG vector) {
  std::lock_guard<kernel::BriefLock> lock(lines_lock);
  auto found = lines.find(vector);
  return found == lines.end() ? nullptr : found->second.get();
}

bool wants_service(Line& line) { return !line.masked && !line.chain.empty() && asserted(line); }

// Under line.lock, which it releases while the routines run: one pass of the
// chain, the first routine that claims the interrupt ending it.
void run_pass(Line& line, std::unique_lock<kernel::BriefLock>& lock) {
  line.servicing = true;
  const std::vector<PKINTERRUPT> chain = line.chain;
  lock.unlock();
  bool claimed = false;
  for (PKINTERRUPT interrupt : chain)
    if (claim(interrupt)) {
      claimed = true;
      break;
    }
  lock.lock();
  line.servicing = false;
  ++line.passes;
  account(line, claimed);
  line.pass_done.notify_all();
}

void service_loop(Line* line) {
  kernel::become_system_thread();
  t_taker = Taker::LineThread;
  t_own_line = line;
  std::unique_lock<kernel::BriefLock> lock(line->lock);
  while (!line->stop) {
    if (line->servicing) {  // taken on another thread: it looks again after its pass
      line->pass_done.wait(lock, [line] { return line->stop || !line->servicing; });
      continue;
    }
    if (!wants_service(*line)) {
      line->kick.wait(lock, [line] { return line->stop || line->kicked; });
      line->kicked = false;
      continue;
    }
    run_pass(*line, lock);
  }
}

// Under line.lock: has the line's thread serve a line that wants it and
// that no pass looks at.
void hand_over_locked(Line& line) {
  if (line.servicing || !wants_service(line)) return;
  line.kicked = true;
  line.kick.notify_all();
}

void remember(const Line& line) {
  if (std::find(t_pending.begin(), t_pending.end(), line.vector) == t_pending.end())
    t_pending.push_back(line.vector);
  kernel::set_interrupt_pending(true);
}

// Passes of the chain on this thread while the line wants them; the line's
// thread goes on after a few, or when another thread's pass is under way.
void serve_here(Line& line) {
  std::unique_lock<kernel::BriefLock> lock(line.lock);
  for (unsigned pass = 0; pass < kPassesTakenAtOnce && !line.servicing && wants_service(line); ++pass)
    run_pass(line, lock);
  hand_over_locked(line);
}

// Takes the interrupts this thread raised, at PASSIVE_LEVEL: the service
// routines, then the DPCs they queued, and what those raised in turn.
void take_pending() {
  kernel::SystemContext arbitrary_thread;
  t_taker = Taker::Taking;
  while (!t_pending.empty()) {
    kernel::DpcsRunHere dpcs_run_here;
    while (!t_pending.empty()) {
      const ULONG vector = t_pending.back();
      t_pending.pop_back();
      if (Line* line = line_of(vector)) serve_here(*line);
    }
  }
  kernel::set_interrupt_pending(false);
  t_taker = Taker::Processor;
}

void hand_to_line_thread(Line& line) {
  std::lock_guard<kernel::BriefLock> lock(line.lock);
  hand_over_locked(line);
}

// The card says the line may have changed. The thread whose access or whose
// card time raised it takes it, as a processor does: at once at PASSIVE_LEVEL,
// else as its IRQL falls there. Meanwhile the line's thread may serve it.
void deliver(Line* line) {
  if (t_taker == Taker::LineThread) {
    if (line != t_own_line) hand_to_line_thread(*line);  // its own: its loop looks again
    return;
  }
  remember(*line);
  if (t_taker == Taker::Taking) return;
  if (KeGetCurrentIrql() == PASSIVE_LEVEL && kernel::spin_locks_held() == 0) {
    take_pending();
    return;
  }
  hand_to_line_thread(*line);
}

void stop_thread(Line& line) {
  {
    std::lock_guard<kernel::BriefLock> lock(line.lock);
    line.stop = true;
  }
  line.kick.notify_all();
  line.pass_done.notify_all();
  if (line.thread.joinable()) line.thread.join();
  line.stop = false;
}

NTSTATUS check_connect(Line* line, KIRQL irql, KIRQL synchronize_irql, bool shared) {
  if (line == nullptr || synchronize_irql < irql || irql < kLowestDeviceIrql)
    return STATUS_INVALID_PARAMETER;
  if (!line->chain.empty() && (!shared || !line->chain.front()->shared))
    return STATUS_INVALID_PARAMETER;  // a vector not shared by both sides
  return STATUS_SUCCESS;
}

}  // namespace

namespace kernel {

void interrupts_take_pending() {
  if (t_taker == Taker::Processor) take_pending();
}

ULONG translated_vector(card::PciFunction& function) {
  return kVectorBase + function.interrupt_vector();
}

KIRQL translated_level(card::PciFunction& function) {
  return static_cast<KIRQL>(kLowestDeviceIrql + function.interrupt_vector() % 9);
}

void interrupt_register_source(ULONG vector, card::PciFunction* function) {
  Line* line;
  {
    std::lock_guard<kernel::BriefLock> lock(lines_lock);
    auto& slot = lines[vector];
    if (!slot) {
      slot = std::make_unique<Line>();
      slot->vector = vector;
    }
    line = slot.get();
  }
  {
    std::lock_guard<kernel::BriefLock> lock(line->lock);
    line->sources.push_back(function);
  }
  function->on_interrupt_change([line] { deliver(line); });
}

void interrupts_start(bool fails) { connect_fails = fails; }

void interrupts_stop() {
  std::map<ULONG, std::unique_ptr<Line>> gone;
  {
    std::lock_guard<kernel::BriefLock> lock(lines_lock);
    gone.swap(lines);
  }
  for (auto& [vector, line] : gone) {
    for (card::PciFunction* source : line->sources) source->on_interrupt_change({});
    stop_thread(*line);
    for (PKINTERRUPT interrupt : line->chain)
      verifier_fail("interrupt still connected at shutdown", "vector 0x%x, ISR %p", vector,
                    reinterpret_cast<void*>(interrupt->service_routine));
  }
}

bool interrupts_idle() {
  std::lock_guard<kernel::BriefLock> all(lines_lock);
  for (auto& [vector, line] : lines) {
    std::lock_guard<kernel::BriefLock> lock(line->lock);
    if (line->chain.empty()) continue;  // nobody serves it: nothing to wait for
    if (line->servicing || line->kicked) return false;
    if (!line->masked && asserted(*line)) return false;
  }
  return true;
}

}  // namespace kernel

namespace kernel {

void interrupts_check_none_connected_for(const void* begin, std::size_t length, const char* what) {
  const auto* low = static_cast<const char*>(begin);
  std::lock_guard<kernel::BriefLock> lines_guard(lines_lock);
  for (auto& [vector, line] : lines) {
    std::lock_guard<kernel::BriefLock> lock(line->lock);
    for (PKINTERRUPT interrupt : line->chain) {
      const auto* context = static_cast<const char*>(interrupt->service_context);
      if (context >= low && context < low + length)
        verifier_fail("interrupt still connected", "%s: interrupt object %p on vector %u serves it",
                      what, static_cast<void*>(interrupt), vector);
    }
  }
}

}  // namespace kernel

/* ntoskrnl */
NTSTATUS IoConnectInterrupt(PKINTERRUPT* InterruptObject, PKSERVICE_ROUTINE ServiceRoutine,
                            PVOID ServiceContext, PKSPIN_LOCK SpinLock, ULONG Vector, KIRQL Irql,
                            KIRQL SynchronizeIrql, KINTERRUPT_MODE InterruptMode,
                            BOOLEAN ShareVector, KAFFINITY ProcessorEnableMask,
                            BOOLEAN FloatingSave) {
  (void)InterruptMode;
  (void)ProcessorEnableMask;
  (void)FloatingSave;
  kernel::require_irql_at_most(PASSIVE_LEVEL, "IoConnectInterrupt");
  *InterruptObject = nullptr;
  if (connect_fails) return STATUS_INSUFFICIENT_RESOURCES;
  Line* line = line_of(Vector);
  auto* interrupt = new _KINTERRUPT{ServiceRoutine, ServiceContext, 0, nullptr, Irql,
                                    SynchronizeIrql, Vector, ShareVector != FALSE};
  interrupt->lock = SpinLock ? SpinLock : &interrupt->own_lock;
  {
    std::unique_lock<kernel::BriefLock> lock(line ? line->lock : lines_lock);
    const NTSTATUS status = check_connect(line, Irql, SynchronizeIrql, ShareVector);
    if (!NT_SUCCESS(status)) {
      delete interrupt;
      return status;
    }
    line->chain.push_back(interrupt);
    line->masked = false;  // a new routine may claim what nobody claimed
    line->unclaimed_in_row = 0;
    line->claimed_but_asserted_in_row = 0;
    line->kicked = true;
    if (!line->thread.joinable()) line->thread = std::thread(service_loop, line);
  }
  line->kick.notify_all();
  *InterruptObject = interrupt;
  return STATUS_SUCCESS;
}

/* ntoskrnl */
VOID IoDisconnectInterrupt(PKINTERRUPT InterruptObject) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "IoDisconnectInterrupt");
  Line* line = line_of(InterruptObject->vector);
  bool last;
  {
    std::unique_lock<kernel::BriefLock> lock(line->lock);
    if (std::erase(line->chain, InterruptObject) == 0)
      kernel::verifier_fail("interrupt disconnected twice", "interrupt object %p",
                            static_cast<void*>(InterruptObject));
    // The routine may be running in the pass under way: wait for its end.
    const unsigned pass = line->passes;
    line->pass_done.wait(lock, [line, pass] { return !line->servicing || line->passes != pass; });
    last = line->chain.empty();
  }
  if (last) stop_thread(*line);
  delete InterruptObject;
}

/* ntoskrnl */
BOOLEAN KeSynchronizeExecution(PKINTERRUPT Interrupt, PKSYNCHRONIZE_ROUTINE SynchronizeRoutine,
                               PVOID SynchronizeContext) {
  if (Interrupt == nullptr)
    kernel::verifier_fail("KeSynchronizeExecution without an interrupt object",
                          "synchronise routine %p", reinterpret_cast<void*>(SynchronizeRoutine));
  const KIRQL old = KeAcquireInterruptSpinLock(Interrupt);
  const BOOLEAN result = SynchronizeRoutine(SynchronizeContext);
  KeReleaseInterruptSpinLock(Interrupt, old);
  return result;
}

/* ntoskrnl */
KIRQL KeAcquireInterruptSpinLock(PKINTERRUPT Interrupt) {
  kernel::require_irql_at_most(Interrupt->synchronize_irql, "KeAcquireInterruptSpinLock");
  const KIRQL old = KeGetCurrentIrql();
  kernel::set_irql(Interrupt->synchronize_irql);
  kernel::spin_acquire(Interrupt->lock);
  return old;
}

/* ntoskrnl */
VOID KeReleaseInterruptSpinLock(PKINTERRUPT Interrupt, KIRQL OldIrql) {
  kernel::spin_release(Interrupt->lock);
  kernel::set_irql(OldIrql);
}

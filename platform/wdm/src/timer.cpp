// Kernel timers on the machine's clock. When one expires, the clock's thread
// signals it and queues its DPC; the DPC runs on the DPC thread, never on the
// clock's. As on Windows, a timer expires only on a tick of the system clock:
// its due time is rounded up to the next tick ([Machine] TimerResolutionUs).
#include <mutex>
#include <set>

#include "kernel.h"

namespace {

std::mutex timers_lock;
std::set<PKTIMER> set_timers;  // inserted on the clock

void expire(PKTIMER timer, ULONG generation);

// Under timers_lock.
void schedule(PKTIMER timer, card::SimTime due) {
  const ULONG generation = timer->Generation;
  const card::SimTime at = kernel::timer_expiry(due);
  timer->ClockTimer = kernel::clock()->schedule(at, [timer, generation] { expire(timer, generation); });
  timer->Header.Inserted = TRUE;
  set_timers.insert(timer);
}

// All of an expiry happens under timers_lock, as on Windows under the
// dispatcher lock: once the timer reads as expired (a cancel answers FALSE),
// it is signalled, its DPC is queued and the expiry touches it no more, so a
// driver may flush the DPC and free the timer.
void expire(PKTIMER timer, ULONG generation) {
  LARGE_INTEGER now;
  KeQuerySystemTime(&now);
  std::lock_guard<std::mutex> lock(timers_lock);
  if (timer->Generation != generation) return;  // set again or cancelled meanwhile
  timer->Header.Inserted = FALSE;
  set_timers.erase(timer);
  if (timer->Period == 0) kernel::resource_released(kernel::Resource::Timer, timer);
  kernel::signal_object(&timer->Header);
  if (timer->Dpc)
    KeInsertQueueDpc(timer->Dpc, reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(now.LowPart)),
                     reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(now.HighPart)));
  if (timer->Period > 0) {
    const card::SimTime period = static_cast<card::SimTime>(timer->Period) * card::kNsPerMs;
    schedule(timer, kernel::clock()->now() + period);
  }
}

// Takes the timer off the clock; answers whether it was set. The clock's
// cancel waits for a running expiry, which takes timers_lock: called
// without it.
bool take_off_clock(PKTIMER timer) {
  bool was_set;
  card::TimerId clock_timer;
  {
    std::lock_guard<std::mutex> lock(timers_lock);
    was_set = timer->Header.Inserted;
    ++timer->Generation;
    timer->Header.Inserted = FALSE;
    set_timers.erase(timer);
    kernel::resource_released(kernel::Resource::Timer, timer);
    clock_timer = timer->ClockTimer;
  }
  if (was_set) kernel::clock()->cancel(clock_timer);
  return was_set;
}

}  // namespace

namespace kernel {

void timer_check_none_set_in(const void* begin, std::size_t length, const char* what) {
  std::lock_guard<std::mutex> lock(timers_lock);
  const auto* low = static_cast<const char*>(begin);
  for (PKTIMER timer : set_timers) {
    const auto* at = reinterpret_cast<const char*>(timer);
    if (at >= low && at < low + length)
      verifier_fail("memory freed with a kernel timer still set in it", "%s holds timer %p", what,
                    static_cast<void*>(timer));
  }
}

void timers_cancel_all() {
  std::set<PKTIMER> timers;
  {
    std::lock_guard<std::mutex> lock(timers_lock);
    timers = set_timers;
  }
  for (PKTIMER timer : timers) take_off_clock(timer);
}

}  // namespace kernel

/* ntoskrnl */
VOID KeInitializeTimerEx(PKTIMER Timer, TIMER_TYPE Type) {
  memset(Timer, 0, sizeof *Timer);
  Timer->Header.Type = Type == SynchronizationTimer ? kernel::kTimerSynchronization
                                                    : kernel::kTimerNotification;
}

/* ntoskrnl */
VOID KeInitializeTimer(PKTIMER Timer) { KeInitializeTimerEx(Timer, NotificationTimer); }

// A set timer is held in the name of the code that set it until it expires
// (a periodic one: until cancelled).
static BOOLEAN set_timer_for(const void* caller, PKTIMER Timer, LARGE_INTEGER DueTime, LONG Period,
                             PKDPC Dpc) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "KeSetTimerEx");
  const bool was_set = take_off_clock(Timer);
  kernel::set_signal_state(&Timer->Header, 0);
  std::lock_guard<std::mutex> lock(timers_lock);
  Timer->Dpc = Dpc;
  Timer->Period = Period;
  const card::SimTime at = kernel::due_to_clock(DueTime.QuadPart);
  Timer->DueTime.QuadPart = static_cast<LONGLONG>(at / 100);
  kernel::resource_acquired(kernel::Resource::Timer, Timer, caller);
  schedule(Timer, at);
  return was_set;
}

/* ntoskrnl */
BOOLEAN KeSetTimerEx(PKTIMER Timer, LARGE_INTEGER DueTime, LONG Period, PKDPC Dpc) {
  return set_timer_for(__builtin_return_address(0), Timer, DueTime, Period, Dpc);
}

/* ntoskrnl */
BOOLEAN KeSetTimer(PKTIMER Timer, LARGE_INTEGER DueTime, PKDPC Dpc) {
  return set_timer_for(__builtin_return_address(0), Timer, DueTime, 0, Dpc);
}

/* ntoskrnl */
BOOLEAN KeCancelTimer(PKTIMER Timer) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "KeCancelTimer");
  return take_off_clock(Timer);
}

/* ntoskrnl */
BOOLEAN KeReadStateTimer(PKTIMER Timer) { return Timer->Header.SignalState > 0; }

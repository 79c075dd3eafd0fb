// The kernel's time is the machine's clock: interrupt time counts from the
// clock's start, system time from a fixed boot date.
#include <mutex>

#include "kernel.h"

namespace {

// 2026-01-01 00:00 UTC in 100-ns units since 1601-01-01, the boot date.
constexpr LONGLONG kBootSystemTime = 134116992000000000LL;
constexpr card::SimTime kNsPer100 = 100;

card::Clock* the_clock = nullptr;
card::SimTime the_tick = 1;
std::function<void(card::SimTime)> the_advance;

}  // namespace

namespace kernel {

void set_clock(card::Clock* clock, std::function<void(card::SimTime)> advance) {
  the_clock = clock;
  the_advance = std::move(advance);
}

card::Clock* clock() { return the_clock; }

ULONGLONG interrupt_time() { return the_clock ? the_clock->now() / kNsPer100 : 0; }

card::SimTime due_to_clock(LONGLONG due) {
  const card::SimTime now = the_clock->now();
  if (due < 0) return now + static_cast<card::SimTime>(-due) * kNsPer100;
  const LONGLONG since_boot = due - kBootSystemTime;
  if (since_boot <= 0) return now;
  const card::SimTime at = static_cast<card::SimTime>(since_boot) * kNsPer100;
  return at > now ? at : now;
}

void set_timer_resolution(card::SimTime tick) { the_tick = tick > 0 ? tick : 1; }

card::SimTime timer_expiry(card::SimTime at) { return (at + the_tick - 1) / the_tick * the_tick; }

bool advance_manual_clock(card::SimTime delta) {
  if (!the_advance) return false;
  the_advance(delta);
  return true;
}

}  // namespace kernel

/* ntoskrnl */
ULONGLONG KeQueryInterruptTime(void) { return kernel::interrupt_time(); }

/* ntoskrnl */
VOID KeQuerySystemTime(PLARGE_INTEGER CurrentTime) {
  CurrentTime->QuadPart = kBootSystemTime + static_cast<LONGLONG>(kernel::interrupt_time());
}

// One tick of the system clock is 15.625 ms (156250 units of 100 ns).
constexpr ULONG kTimeIncrement = 156250;

/* ntoskrnl */
VOID KeQueryTickCount(PLARGE_INTEGER TickCount) {
  TickCount->QuadPart = static_cast<LONGLONG>(kernel::interrupt_time() / kTimeIncrement);
}

/* ntoskrnl */
ULONG KeQueryTimeIncrement(void) { return kTimeIncrement; }

// What the benchmarks read of the simulated machine behind the libraries,
// built apart from their user-mode code on the kernel's and the card model's
// headers.
#pragma once

#include <cstddef>
#include <cstdint>

// The machine's clock, in nanoseconds of simulated time.
std::uint64_t machine_now_ns();
// When the last drive of axis 0..3 of the card in slot card_slot ended, on
// the machine's clock.
std::uint64_t machine_last_drive_end_ns(std::size_t card_slot, int axis);
// How late the scaled clock's timers fired so far (all zero on a manual clock).
struct MachineTimerLateness {
  std::uint64_t fired;
  std::uint64_t worst_ns;
  double mean_ns;
  std::uint64_t behind_ns;  // how far the clock fell behind the wall clock (simulated)
};
MachineTimerLateness machine_timer_lateness();

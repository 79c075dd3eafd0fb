// What a technician does on the bench behind the library: faults injected on
// an axis of the simulated card, and the machine's manual clock stepped.
// Built on the kernel's and the card model's headers, apart from the tests'
// user-mode code.
#pragma once

#include <cstddef>
#include <cstdint>

enum class BenchFault { Alarm, EmergencyStop };

// Raises or clears a fault on axis 0..3 of the card in slot card_slot.
void bench_set_fault(std::size_t card_slot, int axis, BenchFault fault, bool on);
// Moves a manual clock on by the given microseconds, in steps of 100 us, and
// lets the interrupts, DPCs and timers that came due run.
void bench_advance_us(std::uint64_t microseconds);

// The field side of the card's Torix bus. Sets the points reaching the input
// module at address 8..15, and returns once the interrupt it raised has been
// served.
void bench_set_torix_input(std::size_t card_slot, int address, std::uint16_t points);
// What the output module at address 0..7 drives.
std::uint16_t bench_torix_output(std::size_t card_slot, int address);
// The bus's configuration word as last written.
std::uint16_t bench_torix_config(std::size_t card_slot);
// Returns once the interrupts and DPCs that came due have run.
void bench_settle();

// Moves a manual clock on by the given nanoseconds at once; the chip works
// out everything on the way, then the interrupts and DPCs that came due run.
void bench_advance_ns(std::uint64_t nanoseconds);

// Turns the hand wheel of axis 0..3 by `detents` (signed: minus turns it
// back), as a technician's hand would, and lets what it raised be served.
void bench_turn_hand_wheel(std::size_t card_slot, int axis, std::int64_t detents);

// What an instrument on the pulse output of axis 0..3 saw of its last drive:
// start and end of output (ns), the pulses output, the speed of the last
// pulse and the highest speed (PPS; path steps per second on a path's
// master). `running`: output goes on, and the figures are those of now.
struct BenchDrive {
  std::uint64_t started_ns = 0, ended_ns = 0;
  std::int64_t pulses = 0;
  double final_speed = 0, peak_speed = 0;
  bool running = false;
};
BenchDrive bench_last_drive(std::size_t card_slot, int axis);

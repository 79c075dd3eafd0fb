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

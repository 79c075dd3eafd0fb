// What the move tests see of the simulated machine behind the library: its
// manual clock, stepped to time a drive, and the chip's view of an axis of
// the first card. Built apart from the tests' user-mode code, on the
// kernel's and the card model's headers.
#pragma once

#include <cstdint>

// Simulated time in nanoseconds.
std::uint64_t probe_now_ns();
// Steps the manual clock by `ns`.
void probe_advance_ns(std::uint64_t ns);
// Steps it without waiting for the interrupts and DPCs it causes: a caller
// that polls meanwhile may see the card ahead of the driver.
void probe_step_clock_ns(std::uint64_t ns);
// Axis 0..3: driving, its command counter, its speed (PPS) and status register 1.
bool probe_axis_busy(int axis);
std::int32_t probe_command_counter(int axis);
std::uint16_t probe_status1(int axis);
// The step rate (PPS) at which the axis's last drive ended; while it drives, its present one.
double probe_final_speed(int axis);
// The driver's shadow of the axis's mode register 3 (bits 0-2: the profile).
std::uint16_t probe_mode3(int axis);
// Steps the clock by `step_ns` until no axis of the mask drives (at most
// `limit_ns`); the time of each axis's first idle step in end_ns[axis].
void probe_run_until_idle(unsigned axis_mask, std::uint64_t step_ns, std::uint64_t limit_ns,
                          std::uint64_t end_ns[4]);

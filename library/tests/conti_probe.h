// What the continuous-interpolation tests see of the driver behind the
// library on the first card: the ranges it keeps and its segment table.
// Built apart from the tests' user-mode code, on the kernel's headers.
#pragma once

#include <cstdint>

// The driver's range of the axis 0..3 (PPS).
std::uint32_t probe_driver_range(int axis);
// The remaining path length at which a table run switches its deceleration
// on, and the segments the table holds.
std::uint32_t probe_end_threshold();
unsigned probe_segment_count();
// Index of the next table segment the driver hands to the chip.
unsigned probe_next_segment();
// Holds the chip's interrupt input of the card inactive (a technician's
// stuck line: nothing reaches the driver), or gives it back to the chip.
void probe_hold_chip_interrupt(bool held);

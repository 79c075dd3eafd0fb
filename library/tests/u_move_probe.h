// What the U-shaped move tests see of the driver behind the library: the
// interrupt actions still armed on the first card. Built apart from the
// tests' user-mode code, on the kernel's and the driver's headers.
#pragma once

// Interrupt-action slots that still wait to release or start a drive.
int probe_armed_int_actions();

// What the compare-trigger tests see of the chip behind the library: the
// compare-output pulses of an axis. Built apart from the tests' user-mode
// code, on the card model's headers.
#pragma once

#include <cstddef>
#include <cstdint>

// Compare-output pulses of axis 0..3 of the card in slot card_slot since
// its synchronous action was last switched active.
std::uint32_t probe_compare_pulses(std::size_t card_slot, int axis);

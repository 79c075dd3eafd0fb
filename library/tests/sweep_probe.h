// What the export sweep compares before and after each refused call: the
// driver's record of a card (shadows, owners, tables, modes) and the chip's
// comparator side, as bytes. Built apart from the tests' user-mode code, on
// the kernel's and the card model's headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The state of the card in slot card_slot of the booted machine, without the
// fields that only the platform's bookkeeping moves (locks, reference
// counts, timer and event objects).
std::vector<std::uint8_t> probe_card_state(std::size_t card_slot);
// Returns once the machine is quiet: no interrupt waits and no DPC runs, so
// that what a call set going has landed.
void probe_wait_idle();
// A technician's drive on the chip itself, behind the driver's back: the
// axis accelerates (plus) at the given acceleration word until stopped.
void probe_accelerate(std::size_t card_slot, int axis, std::uint16_t acceleration_word);
// The number of requests the card's driver has open files for (0 or 1).
long probe_open_files(std::size_t card_slot);

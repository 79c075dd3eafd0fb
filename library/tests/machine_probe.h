// What an end-to-end test reads behind the library: the driver's register
// shadows of a card (from its device extension) and the simulated chip's
// view of an axis. Built apart from the tests' user-mode code, on the
// kernel's and the card model's headers.
#pragma once

#include <cstddef>
#include <cstdint>

struct AxisProbe {
  // The driver's shadows of the chip's write-only words.
  std::uint16_t mode1, mode2, ext_word1, ext_word2;
  std::uint8_t servo_state;
  std::int32_t feature_owner;  // 0 none, 1 software limit
  // The chip: status register 2 (bits 0/1 software limit +/-, 4 alarm) and
  // the input byte (bit 0 near home, 1 home, 2 index, 6 in position), each
  // sensor shown at the level the mode registers call active.
  std::uint16_t status2;
  std::uint8_t inputs;
};

// Axis 0..3 of the card in slot card_slot of the booted machine.
AxisProbe probe_axis(std::size_t card_slot, int axis);
// The driver's shadow of the card's output word (servo on and others).
std::uint16_t probe_output_word(std::size_t card_slot);
// A technician's drive on the chip itself, behind the driver's back: the
// axis runs continuously (plus) until stopped.
void probe_start_drive(std::size_t card_slot, int axis);
void probe_stop_drive(std::size_t card_slot, int axis);
// The card's power goes (D3) and comes back (D0), as over a sleep of the machine.
bool probe_sleep_and_wake(std::size_t card_slot);

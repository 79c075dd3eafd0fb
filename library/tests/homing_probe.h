// What the homing, stop and hand-wheel tests see behind the library on the
// first card of the booted machine: the driver's home-search state and its
// held requests, and the hand wheel and in-position input of the bench.
// Built apart from the tests' user-mode code, on the kernel's headers.
#pragma once

#include <cstddef>
#include <cstdint>

// What the driver keeps of an axis's extended home configuration.
struct HomeSetupProbe {
  std::uint16_t step_word, levels, mode;
  std::uint8_t option, direction;
};
HomeSetupProbe probe_home_setup(int axis);
// The home search of axis 0..3 runs (from its start to the end of its last step).
bool probe_home_search_active(int axis = 0);
// Requests that the driver holds (waiting for an axis's event).
std::size_t probe_held_requests();
// Turns the hand wheel of axis 0..3 by `detents` (signed).
void probe_turn_hand_wheel(int axis, std::int64_t detents);
// Sets the level of the in-position input of axis 0..3.
void probe_set_in_position(int axis, bool active);

#include "compare_probe.h"

#include <sim_kernel.h>

#include "card/card.h"

std::uint32_t probe_compare_pulses(std::size_t card_slot, int axis) {
  return sim::machine()->cards().at(card_slot)->chip().compare_output(axis).triggers;
}

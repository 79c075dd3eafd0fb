#include "homing_probe.h"

#include <sim_kernel.h>

#include "card/card.h"
// After the card model's headers: the driver's register names are macros.
#include "rm7x0_driver.h"

namespace {

CardExtension *extension() { return card_extension(sim::devices().at(0).fdo); }

card::MotionChip &chip() { return sim::machine()->cards().at(0)->chip(); }

template <typename Change>
void change_mechanics(int axis, Change change) {
  card::AxisMechanics mechanics = chip().mechanics(axis);
  change(mechanics);
  chip().set_mechanics(axis, mechanics);
}

}  // namespace

HomeSetupProbe probe_home_setup(int axis) {
  const HomeSearch &home = extension()->axis[axis].home;
  return {home.config[0], home.config[1], home.mode, home.option, home.direction};
}

bool probe_home_search_active(int axis) {
  return read_interlocked(&extension()->axis[axis].home.state) >= HOME_WAIT_FIRST_STEP;
}

std::size_t probe_held_requests() { return sim::pending_irps(sim::devices().at(0).fdo); }

void probe_turn_hand_wheel(int axis, std::int64_t detents) {
  change_mechanics(axis, [&](card::AxisMechanics &m) { m.hand_wheel += detents; });
}

void probe_set_in_position(int axis, bool active) {
  change_mechanics(axis, [&](card::AxisMechanics &m) { m.in_position = active; });
}

#include "u_move_probe.h"

#include <sim_kernel.h>

#include "rm7x0_driver.h"

int probe_armed_int_actions() {
  const CardExtension *ext = card_extension(sim::devices().at(0).fdo);
  int armed = 0;
  for (const IntActionSlot &slot : ext->actions.int_action)
    if (slot.state == INT_ACTION_COUNTING) ++armed;
  return armed;
}
